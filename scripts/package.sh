#!/usr/bin/env bash
# Builds the Debian package fenwix_<version>_amd64.deb in build/release from what changed since
# the last build, and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh >&2
[[ -f build/release/CMakeCache.txt ]] || cmake --preset release >&2
cmake --build --preset release -j"$(nproc)" >&2
cpack --preset release >&2
ls "$(pwd)"/build/release/fenwix_*_amd64.deb
