#!/usr/bin/env bash
# The libFuzzer targets of tests/fuzz/, built with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/ (the g++ builds are not touched).
#
#   tools/fuzz.sh check [RUNS]                 replays every seed corpus, every kept crasher and every cut and
#                                              flipped byte of the seeds in damaged_seeds, then fuzzes each
#                                              target for RUNS inputs (default 20000; the script target, slower,
#                                              a tenth of them) from a fixed seed and a fresh
#                                              corpus, so that every run tries the same inputs; fails on any crash
#                                              (CI runs this: it fails on what a change broke, never on luck);
#                                              the targets run side by side, one on each processor
#   tools/fuzz.sh campaign [SECONDS] [TARGET...]  fuzzes each target (default: all) for SECONDS (default 600),
#                                              growing build-fuzz/corpus/TARGET; crashes go to build-fuzz/artifacts/
#   tools/fuzz.sh reproduce TARGET FILE...     runs the target on the given inputs (a crasher, say)
#   tools/fuzz.sh seeds                        rewrites the generated seeds and dictionaries in tests/fuzz/
#
# Targets: xfile (.x text), bmp (BMP files), objstream (object streams), bodyfile (saved-body files), lispvalue
# (saved script values), lisp (script text evaluated on a physics-only world). A crash found is kept as a
# regression input: copy it into tests/fuzz/crashers/TARGET/ once it is mended.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
builddir=$root/build-fuzz
targets=(xfile bmp objstream bodyfile lispvalue lisp)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build() {
  if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (tools/deps.sh installs it)" >&2
    exit 1
  fi
  if [ ! -f "$builddir/build.ninja" ]; then
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    CC=clang CXX=clang++ cmake -S . -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE= -DQE_SANITIZE=ON -DQE_FUZZ=ON \
      -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
  fi
  cmake --build "$builddir" --target fuzz_all -j "$(nproc)"
}

# The read-only seed folders of a target: the generated or hand-made seeds of tests/fuzz/corpus/, and real files.
seeds() {
  local t=$1
  local dirs=("$root/tests/fuzz/corpus/$t")
  case $t in
    xfile) dirs+=("$root/tests/testdata/x" "$root/data") ;;
    bmp) dirs+=("$root/tests/testdata/bmp" "$root/data") ;;
    lisp) dirs+=("$root/tests/lisp/cases" "$root/tests/engine/cases") ;;
  esac
  for d in "${dirs[@]}"; do
    [ -d "$d" ] && echo "$d"
  done
}

dicts() {
  case $1 in
    bodyfile | lispvalue) echo "$root/tests/fuzz/dict/names.dict" ;;
    *) echo "$root/tests/fuzz/dict/$1.dict" ;;
  esac
}

# Options of every fuzzing run of a target. Scripts may run for ever: the script target spends a budget per input,
# and what still runs past the timeout is passed over (fork mode) rather than taken for a crash.
options() {
  local t=$1
  local opts=(-timeout=10 -rss_limit_mb=2560 -print_final_stats=1 "-dict=$(dicts "$t")"
    "-artifact_prefix=$builddir/artifacts/$t/")
  [ "$t" = lisp ] && opts+=(-fork=1 -ignore_timeouts=1 -ignore_ooms=0 -ignore_crashes=0)
  echo "${opts[@]}"
}

# Runs a target in its own working folder (the engine writes its logs there).
run() {
  local t=$1
  shift
  mkdir -p "$builddir/work/$t" "$builddir/artifacts/$t" "$builddir/corpus/$t"
  (cd "$builddir/work/$t" && "$builddir/bin/fuzz_$t" "$@")
}

replay() {
  local t=$1
  local inputs
  mapfile -t inputs < <(seeds "$t")
  [ -d "$root/tests/fuzz/crashers/$t" ] && inputs+=("$root/tests/fuzz/crashers/$t")
  local log=$builddir/work/$t/replay.log
  mkdir -p "$builddir/work/$t"
  if ! run "$t" -runs=0 -timeout=30 "${inputs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $t fails on a kept input (log: $log)" >&2
    return 1
  fi
  echo "== $t: replayed $(grep -oE 'Done [0-9]+ runs' "$log" | tail -n 1) of ${inputs[*]#$root/}"
}

# Every cut and every flipped byte of the seeds named here (TARGET/FILE under tests/fuzz/corpus/), replayed like
# the kept inputs: streams whose readers once failed on exactly such damage.
damaged_seeds=(lispvalue/bodies.val)

damaged() {
  local seed=$1
  local t=${seed%%/*}
  local dir=$builddir/work/$t/damaged
  rm -rf "$dir"
  mkdir -p "$dir"
  python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
for i in range(len(data)):
    open(f"{sys.argv[2]}/cut{i}", "wb").write(data[:i])
    flipped = bytearray(data)
    flipped[i] ^= 0x5A
    open(f"{sys.argv[2]}/flip{i}", "wb").write(flipped)
' "$root/tests/fuzz/corpus/$seed" "$dir"
  local log=$builddir/work/$t/damaged.log
  if ! QE_FUZZ_SAME_BLOCKS=1 run "$t" -runs=0 -timeout=30 "$dir" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $t fails on a damaged copy of $seed (log: $log)" >&2
    return 1
  fi
  echo "== $t: every cut and flipped byte of $seed: $(grep -oE 'Done [0-9]+ runs' "$log" | tail -n 1)"
}

fuzz() {
  local t=$1 seconds=$2
  local inputs opts
  mapfile -t inputs < <(seeds "$t")
  read -r -a opts <<<"$(options "$t")"
  echo "== $t: fuzzing for $seconds s"
  local log=$builddir/work/$t/fuzz.log
  mkdir -p "$builddir/work/$t"
  if ! run "$t" -max_total_time="$seconds" "${opts[@]}" "$builddir/corpus/$t" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $t found a crash (log: $log, input: $builddir/artifacts/$t/)" >&2
    return 1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs|cov: ' "$log" | tail -n 2
}

# The repeatable fuzzing of the check: a fixed seed, a fixed number of inputs, a fresh corpus. The script target runs
# without fork mode here, so its inputs come one after another in the same order; the time limit only guards CI's
# budget on a slow machine (stopping early tries a prefix of the same inputs, never others).
fuzz_fixed() {
  local t=$1 runs=$2
  local inputs opts
  [ "$t" = lisp ] && runs=$((runs / 10))
  mapfile -t inputs < <(seeds "$t")
  opts=(-seed=1 "-runs=$runs" -max_total_time=120 -timeout=10 -rss_limit_mb=2560 -print_final_stats=1
    "-dict=$(dicts "$t")" "-artifact_prefix=$builddir/artifacts/$t/")
  local corpus=$builddir/work/$t/check-corpus
  rm -rf "$corpus"
  mkdir -p "$corpus"
  echo "== $t: fuzzing $runs inputs from seed 1"
  local log=$builddir/work/$t/check.log
  if ! run "$t" "${opts[@]}" "$corpus" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $t found a crash (log: $log, input: $builddir/artifacts/$t/)" >&2
    return 1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$log" | tail -n 1
}

# All the check does for one target: its kept inputs, the damaged copies of its seeds, then the fixed fuzzing.
check_target() {
  local t=$1 runs=$2
  replay "$t"
  for seed in "${damaged_seeds[@]}"; do
    [ "${seed%%/*}" = "$t" ] && damaged "$seed"
  done
  fuzz_fixed "$t" "$runs"
}

command=${1:-check}
shift || true
case $command in
  check)
    runs=${1:-20000}
    build
    # Each target is one process on one processor: as many targets at once as there are processors, each saying
    # what it did once all have ended, in the order of the list.
    for t in "${targets[@]}"; do mkdir -p "$builddir/work/$t"; done
    status=0
    printf '%s\n' "${targets[@]}" |
      xargs -P "$(nproc)" -I '{}' sh -c "exec bash \"\$0\" check-target '{}' $runs >'$builddir/work/{}/check.out' 2>&1" \
        "$root/tools/fuzz.sh" || status=1
    for t in "${targets[@]}"; do cat "$builddir/work/$t/check.out"; done
    exit $status
    ;;
  check-target)
    check_target "$1" "${2:-20000}"
    ;;
  campaign)
    seconds=${1:-600}
    shift || true
    chosen=("$@")
    [ ${#chosen[@]} -eq 0 ] && chosen=("${targets[@]}")
    build
    status=0
    for t in "${chosen[@]}"; do fuzz "$t" "$seconds" || status=1; done
    exit $status
    ;;
  reproduce)
    t=$1
    shift
    build
    files=()
    for f in "$@"; do files+=("$(realpath "$f")"); done
    run "$t" "${files[@]}"
    ;;
  seeds)
    build
    tmp=$(mktemp -d)
    "$builddir/bin/fuzz_seeds" "$tmp" >/dev/null
    for t in objstream bodyfile lispvalue; do
      rm -rf "$root/tests/fuzz/corpus/$t"
      mkdir -p "$root/tests/fuzz/corpus/$t"
      cp "$tmp/$t"/* "$root/tests/fuzz/corpus/$t/"
    done
    cp "$tmp/names.dict" "$root/tests/fuzz/dict/names.dict"
    rm -rf "$tmp"
    # The builtin names of the script target, from their registrations.
    {
      echo "# Builtin names and the words the reader and evaluator know (tools/fuzz.sh seeds writes it)."
      for w in lambda cond nil t quote "(" ")" "'" '"' . ";"; do echo "\"${w//\"/\\\"}\""; done
      grep -rhoE 'LispRegisterBuiltin\([^;]*"[^"]+"\)' lisp engine | sed -E 's/.*"([^"]+)"\)$/"\1"/' | sort -u
    } >"$root/tests/fuzz/dict/lisp.dict"
    ;;
  *)
    sed -n '2,19p' "$0"
    exit 2
    ;;
esac
