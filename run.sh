#!/usr/bin/env bash
# Installs what is missing, builds one program (and only what it needs) and starts it in the application folder
# data/, where its scripts, meshes and bitmaps are.
#   ./run.sh            the demo program: the main form with the demonstration scenes
#   ./run.sh OGLPomu    the OpenGL console demo (further arguments go to the program)
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh

program=demo
case "${1:-}" in
  OGLPomu|oglpomu) program=OGLPomu; shift ;;
  demo) shift ;;
esac

# ccache keeps rebuilds cheap on a machine that built before.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ ! -f build/build.ninja ] && cmake -S . -B build -G Ninja "${launcher[@]}"
# The program's target alone: the tests and benchmarks are built by test.sh.
cmake --build build -j "$(nproc)" --target "$program"

cd data && exec "../build/bin/$program" "$@"
