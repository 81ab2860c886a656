#!/usr/bin/env bash
# Installs what is missing, builds, and starts the main program.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh

# ccache keeps rebuilds cheap on a machine that built before.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ ! -f build/build.ninja ] && cmake -S . -B build -G Ninja "${launcher[@]}"
cmake --build build -j "$(nproc)"

if [ -x build/bin/OGLPomu ]; then
  cd data && exec ../build/bin/OGLPomu "$@"
fi
echo "OGLPomu is not built yet: running the test suite's smoke case instead."
ctest --test-dir build --output-on-failure -R Smoke
