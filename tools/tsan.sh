#!/usr/bin/env bash
# ThreadSanitizer build of the window, renderer and program tests, in build-tsan/ (the other builds are not
# touched), and a run of each of their tests in a process of its own, as ctest runs them.
#
#   tools/tsan.sh [FILTER]   builds, then runs every test of test_scene, test_winui, test_render and test_app whose name
#                            matches the gtest FILTER (default: all); fails on any test that fails or any report
#                            (a data race, a lock-order inversion, a use of a freed mutex)
#
# Mesa's driver is not instrumented: what happens inside it is suppressed by tools/tsan.supp, and nothing else is.
# The programs the tests start (the demo) are built with the sanitizer too, and their reports fail the test that
# started them through their exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
builddir=$root/build-tsan
filter=${1:-*}
jobs=${TSAN_JOBS:-4}
programs=(test_scene test_winui test_render test_app)

if [ ! -f "$builddir/build.ninja" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$builddir" -G Ninja "${launcher[@]}" \
    -DCMAKE_C_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
fi
cmake --build "$builddir" -j "$jobs" --target "${programs[@]}" demo embed_host

# A report ends the process with exit code 66, so that the test fails on it.
# Mesa's softpipe driver: llvmpipe compiles its shaders with LLVM's JIT, whose locks (freed and reused unseen by
# the sanitizer) read as lock-order cycles through our context's lock and fill the sanitizer's table of held locks.
export GALLIUM_DRIVER=${GALLIUM_DRIVER:-softpipe}
export TSAN_OPTIONS="suppressions=$root/tools/tsan.supp exitcode=66 halt_on_error=0 second_deadlock_stack=1 history_size=4 ${TSAN_OPTIONS:-}"
logs=$builddir/tsan-logs
rm -rf "$logs"
mkdir -p "$logs"

# One line per test: program, test name.
list=$logs/tests.txt
: >"$list"
for program in "${programs[@]}"; do
  "$builddir/bin/$program" --gtest_list_tests --gtest_filter="$filter" | awk -v p="$program" '
    /^[^ ]/ { suite = $1 }
    /^  / { print p, suite $1 }' >>"$list"
done

run_one() {
  local program=$1 name=$2
  local folder=${program#test_}
  local work=$builddir/testrun/$folder
  mkdir -p "$work"
  local log=$logs/$name.log
  # Without address-space randomisation: the sanitizer's fixed memory layout must not meet a random mapping.
  if (cd "$work" && setarch "$(uname -m)" -R "$builddir/bin/$program" --gtest_filter="$name") >"$log" 2>&1 &&
    ! grep -q "WARNING: ThreadSanitizer" "$log"; then
    echo "passed $name"
  else
    echo "FAILED $name (log: ${log#$root/})"
  fi
}
export -f run_one
export builddir logs root

results=$logs/results.txt
xargs -P "$jobs" -L 1 bash -c 'run_one "$0" "$1"' <"$list" | tee "$results" | grep -v '^passed' || true
passed=$(grep -c '^passed' "$results" || true)
failed=$(grep -c '^FAILED' "$results" || true)
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
