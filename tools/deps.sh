#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need, and only those missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  libx11-dev libxft-dev libfreetype-dev libfontconfig-dev fonts-vlgothic
  xvfb xauth xdotool xclip
  gnuplot-nox
  python3
  clang libclang-rt-dev llvm
  linux-perf
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
