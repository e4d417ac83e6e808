#!/usr/bin/env bash
# Builds Fenwix from scratch and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
rm -rf build/release
cmake --preset release
cmake --build --preset release -j"$(nproc)"
ctest --preset release -j"$(nproc)"
