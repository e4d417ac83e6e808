#!/usr/bin/env bash
# Builds what changed since the last start (configuring once) and runs Fenwix's main job: the
# dialog when a display is available, otherwise the command-line conversion of the bundled
# example job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
if [[ ! -f build/release/CMakeCache.txt ]]; then
  cmake --preset release -DFENWIX_BUILD_TESTS=OFF
fi
# Only the two programs: a tree configured with tests does not build them here.
cmake --build --preset release -j"$(nproc)" --target fenwix-convert $(
  grep -q '^FENWIX_BUILD_GUI:BOOL=ON' build/release/CMakeCache.txt && echo fenwix)
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x build/release/fenwix ]]; then
  exec build/release/fenwix
fi
mkdir -p build/example
build/release/fenwix-convert examples/small-job.xml build/example/small-job.txt
echo "The output went to $(pwd)/build/example/small-job.txt"
