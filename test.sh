#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest.
#   ./test.sh             the normal build, in build/
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/, then the fuzz check
#                         (tools/fuzz.sh check: clang, in build-fuzz/)
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh

# ccache keeps rebuilds cheap on a machine that built before.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

builddir=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  builddir=build-asan
  extra=(-DQE_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

jobs=$(nproc)
[ ! -f "$builddir/build.ninja" ] && cmake -S . -B "$builddir" -G Ninja "${launcher[@]}" "${extra[@]}"
cmake --build "$builddir" -j "$jobs"
ctest --test-dir "$builddir" --output-on-failure -j "$jobs"
# With the sanitizers: the fuzz targets (a clang build of their own) replay their corpora and kept crashers and
# fuzz each target for a fixed number of inputs from a fixed seed, so a run fails only on what a change broke.
if [ "${1:-}" = "--sanitize" ]; then
  bash tools/fuzz.sh check
fi
