#!/usr/bin/env bash
# Times .ci/run as CI meets it: a fresh clone of the committed state of this checkout, no ccache, on the given
# processors only (two by default, as CI may have).
#   tools/ci_time.sh [CPUS] [COMMAND]    CPUS as taskset takes them (default 0,1); COMMAND run in the clone
#                                        (default: bash .ci/run; ./test.sh, say, for the normal build and tests)
# It prints the wall time, the processor time of everything run (user + system), the load of the machine while it
# ran (others' work slows a shared machine), and where the time went: each build's compile and link steps summed
# from Ninja's log, and the slowest tests. The clone and its logs stay in the temporary folder it names.
set -euo pipefail
cpus=${1:-0,1}
shift || true
command=("$@")
[ ${#command[@]} -eq 0 ] && command=(bash .ci/run)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/ci-time.XXXXXX)
git clone -q "$root" "$work/clone"

# The load, sampled every ten seconds while the run lasts.
(while sleep 10; do cut -d' ' -f1 /proc/loadavg; done) >"$work/load" &
sampler=$!
trap 'kill "$sampler" 2>/dev/null || true' EXIT

echo "ci_time.sh: ${command[*]} in a clone of $(git -C "$root" rev-parse --short HEAD) on processors $cpus (load now: $(cut -d' ' -f1-3 /proc/loadavg)); log: $work/run.log"
status=0
(cd "$work/clone" && CCACHE_DISABLE=1 CI=true /usr/bin/time -f '%e %U %S' -o "$work/time" \
  taskset -c "$cpus" "${command[@]}") >"$work/run.log" 2>&1 || status=$?
kill "$sampler" 2>/dev/null || true

grep -E '^test\.sh: |^== |tests passed|Total Test time' "$work/run.log" || true
# time's last line (a failed command adds one before it).
read -r wall user sys < <(tail -n 1 "$work/time")
load=$(awk '{ s += $1; n++ } END { if (n) printf "%.1f", s / n; else print "?" }' "$work/load")
echo "ci_time.sh: exit $status; ${wall} s wall, $(awk "BEGIN { printf \"%.0f\", $user + $sys }") s of processor time (user $user, system $sys); mean load ${load} on $(nproc) processors"

# Build steps by kind, from each build folder's Ninja log (end - start, in processor-seconds at one step a core).
for log in "$work"/clone/build*/.ninja_log; do
  [ -f "$log" ] || continue
  python3 - "$log" <<'EOF'
import sys, collections
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if not l.startswith("#")]
kinds = collections.defaultdict(lambda: [0, 0.0])
for start, end, _, out, _ in rows:
    s = (int(end) - int(start)) / 1000
    if out.endswith(".o"):
        where = "/" + out
        kind = "fuzz units" if "/fuzz" in where else "test units" if "/tests/" in where else "bench units" if "/bench/" in where else "library units"
    elif out.endswith(".a"):
        kind = "archives"
    else:
        kind = "links and other"
    kinds[kind][0] += 1
    kinds[kind][1] += s
folder = sys.argv[1].split("/")[-2]
print(f"ci_time.sh: {folder}: " + "; ".join(f"{k} {n} steps {s:.0f} s" for k, (n, s) in sorted(kinds.items())))
slow = sorted(rows, key=lambda r: int(r[0]) - int(r[1]))[:5]
name = lambda out: out.split("/")[-1] if "/Unity/" not in out else out.split("/")[-3].replace(".dir", "") + "/" + out.split("/")[-1]
print("  slowest: " + ", ".join(f"{name(r[3])} {(int(r[1]) - int(r[0])) / 1000:.0f} s" for r in slow))
EOF
done
echo "ci_time.sh: slowest tests:"
grep -E 'Test +#[0-9]+: .* sec$' "$work/run.log" | awk '{ print $(NF-1), $0 }' | sort -rn | head -n 10 | cut -d' ' -f2- || true
exit "$status"
