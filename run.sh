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
if [ ! -f build/build.ninja ]; then
  echo "run.sh: configuring the build in build/ (once)"
  cmake -S . -B build -G Ninja "${launcher[@]}" >/dev/null
fi
# The program's target alone: the tests and benchmarks are built by test.sh.
jobs=$(nproc)
steps=$(ninja -C build -n "$program" 2>/dev/null | grep -c '^\[' || true)
if [ "$steps" -gt 20 ]; then
  # About 4 s of one core per step, cold, on a 2020s desktop; ccache makes a rebuild much faster.
  minutes=$(( (steps * 4 / jobs + 59) / 60 ))
  echo "run.sh: building $program: $steps steps on $jobs cores, about $minutes minute(s) the first time"
fi
cmake --build build -j "$jobs" --target "$program"

cd data && exec "../build/bin/$program" "$@"
