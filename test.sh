#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest.
#   ./test.sh               the normal build, in build/
#   ./test.sh --sanitize    AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/, then the fuzz check
#                           (tools/fuzz.sh check: clang, in build-fuzz/)
#   ./test.sh -L quick      further arguments go to CTest: here only the tests labelled quick (x11, slow: the
#                           others), -R NAME by name
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh

builddir=build
extra=()
sanitize=
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  shift
  builddir=build-asan
  # The benchmarks are built (and checked) by the normal build; run under the sanitizers they would measure nothing.
  extra=(-DQE_SANITIZE=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

# ccache keeps rebuilds cheap on a machine that built before.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

jobs=$(nproc)
started=$SECONDS
if [ ! -f "$builddir/build.ninja" ]; then
  echo "test.sh: configuring the build in $builddir/ (once)"
  cmake -S . -B "$builddir" -G Ninja "${launcher[@]}" "${extra[@]}" >/dev/null
fi
cmake --build "$builddir" -j "$jobs"
echo "test.sh: $builddir/ built in $((SECONDS - started)) s on $jobs cores"

started=$SECONDS
status=0
ctest --test-dir "$builddir" --output-on-failure -j "$jobs" "$@" || status=$?
echo "test.sh: the tests of $builddir/ ran in $((SECONDS - started)) s"
[ "$status" -eq 0 ] || exit "$status"

# With the sanitizers: the fuzz targets (a clang build of their own) replay their corpora and kept crashers and
# fuzz each target for a fixed number of inputs from a fixed seed, so a run fails only on what a change broke.
if [ -n "$sanitize" ]; then
  started=$SECONDS
  bash tools/fuzz.sh check
  echo "test.sh: the fuzz check took $((SECONDS - started)) s"
fi
