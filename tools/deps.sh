#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need, and only those missing.
# One dpkg-query answers for all of them; once they are all there, a stamp in build/ (the package list, newer than
# dpkg's database) skips even that, until the list or the installed packages change.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  libx11-dev libxft-dev libfreetype-dev libfontconfig-dev libxdamage-dev fonts-vlgothic
  xvfb xauth xdotool xclip xdg-utils
  gnuplot-nox
  python3
  clang libclang-rt-dev llvm
  linux-perf
)

stamp=build/.packages-installed
wanted="${packages[*]}"
status_db=/var/lib/dpkg/status
if [ -f "$stamp" ] && [ "$stamp" -nt "$status_db" ] && [ "$(<"$stamp")" = "$wanted" ]; then
  exit 0
fi

declare -A installed=()
while read -r name state; do
  [ "$state" = "install ok installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)

missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mkdir -p build
echo "$wanted" >"$stamp"
