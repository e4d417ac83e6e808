#!/bin/sh
# Builds the XML reader fuzz target with clang's libFuzzer under ASan and UBSan, and a seed corpus.
#   fuzz/build.sh [build-dir]          (default: build-fuzz beside the sources)
# Run, for example:
#   build-fuzz/xml_reader_fuzz -dict=fuzz/xml.dict -max_total_time=600 build-fuzz/corpus
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out/corpus"
CXX=${CXX:-clang++-14}
"$CXX" -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$root/src" \
  "$root/fuzz/xml_reader_fuzz.cpp" \
  "$root"/src/xml/*.cpp "$root"/src/model/*.cpp "$root/src/geodesy/angles.cpp" \
  -lexpat -o "$out/xml_reader_fuzz"
# Seeds: the reader's test fixtures and a small job, each behind a chunk-size byte.
for f in "$root"/tests/data/xml/*.xml "$root"/fuzz/seeds/*.xml; do
  { printf '\003'; cat "$f"; } > "$out/corpus/$(basename "$f").seed"
done
echo "built $out/xml_reader_fuzz"
