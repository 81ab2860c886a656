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
if [ ! -x "build/bin/$program" ]; then
  steps=$(ninja -C build -t commands "$program" | wc -l)
  # About 2 s of one core per step without ccache on a machine of its own (a busy one takes longer); ccache makes a
  # cold build on a machine that built before much shorter.
  minutes=$(( (steps * 2 / jobs + 59) / 60 ))
  echo "run.sh: building $program and the libraries it needs: $steps steps on $jobs cores, about $minutes minute(s) on an idle machine"
fi
cmake --build build -j "$jobs" --target "$program"

cd data && exec "../build/bin/$program" "$@"
