#!/usr/bin/env bash
# Times the first ./run.sh as a new user meets it: a fresh clone of the committed state of this checkout, built
# without ccache on the given processors, until the demo's main form is mapped (on an Xvfb of the script's own).
#   tools/first_window.sh [CPUS]      CPUS as taskset takes them, 0-3 (four cores) by default
# It prints the seconds to the first window and the processor time the build took (on a busy machine, that over the
# number of cores is what the wait would be on an idle one), keeps run.sh's output in the temporary folder it names,
# and ends the demo. The packages must be there (tools/deps.sh).
set -euo pipefail
cpus=${1:-0-3}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
xvfb=
demo=
cleanup() {
  [ -n "$demo" ] && kill -- "-$demo" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work/clone"
}
trap cleanup EXIT

for tool in Xvfb xdotool taskset setsid git; do
  command -v "$tool" >/dev/null || { echo "first_window.sh: $tool is missing (tools/deps.sh installs it)" >&2; exit 1; }
done

git clone -q "$root" "$work/clone"
# The X server of our own: it writes its display number once it is ready.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 30 -u "$displayfd" number
export DISPLAY=":$number"

echo "first_window.sh: cold ./run.sh of $(git -C "$root" rev-parse --short HEAD) on processors $cpus (load now: $(cut -d' ' -f1-3 /proc/loadavg))"
start=$(date +%s.%N)
CCACHE_DISABLE=1 setsid taskset -c "$cpus" "$work/clone/run.sh" >"$work/run.log" 2>&1 &
demo=$!
# The main form's caption; xdotool looks every half second.
if ! timeout 3600 xdotool search --sync --onlyvisible --name "^Orvelle Physics Engine Demo$" >/dev/null; then
  echo "first_window.sh: no window within an hour; run.sh said:" >&2
  tail -n 20 "$work/run.log" >&2
  exit 1
fi
end=$(date +%s.%N)
# run.sh ends by becoming the demo: the processor time of all it waited for (the build) is still counted with it.
read -r -a stat <"/proc/$demo/stat"
cpu=$(awk "BEGIN { printf \"%.0f\", (${stat[15]} + ${stat[16]}) / $(getconf CLK_TCK) }")
kill -- "-$demo" 2>/dev/null || true
demo=
echo "first_window.sh: the first window after $(awk "BEGIN { printf \"%.1f\", $end - $start }") s; the build took $cpu s of processor time (load now: $(cut -d' ' -f1-3 /proc/loadavg)); run.sh's output: $work/run.log"
