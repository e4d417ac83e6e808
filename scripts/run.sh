#!/usr/bin/env bash
# Builds Fenwix and runs its main job: the dialog when a display is available, otherwise the
# command-line conversion of the bundled example job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
rm -rf build/release
cmake --preset release -DFENWIX_BUILD_TESTS=OFF
cmake --build --preset release -j"$(nproc)"
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x build/release/fenwix ]]; then
  exec build/release/fenwix
fi
mkdir -p build/example
build/release/fenwix-convert examples/small-job.xml build/example/small-job.txt
echo "The output went to $(pwd)/build/example/small-job.txt"
