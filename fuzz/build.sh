#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer under ASan and UBSan, and their seed corpora:
# the XML reader alone, and the whole conversion (pipeline_fuzz).
#   fuzz/build.sh [build-dir]          (default: build-fuzz beside the sources)
# Each source is compiled to its own object (through ccache when it is installed, JOBS at a time,
# default 1), so a rebuild after a change recompiles only what changed.
# Run, for example:
#   build-fuzz/xml_reader_fuzz -dict=fuzz/xml.dict -max_total_time=600 build-fuzz/corpus
#   build-fuzz/pipeline_fuzz -dict=fuzz/xml.dict -max_len=8192 -max_total_time=600 \
#     build-fuzz/pipeline-corpus
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out/corpus" "$out/pipeline-corpus" "$out/obj"
CXX=${CXX:-clang++-14}
launcher=$(command -v ccache || true)
flags="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
  -fno-sanitize-recover=undefined -DFENWIX_VERSION=\"fuzz\" -I $root/src -I /usr/include/eigen3"

# Prints the object file of each source given, compiling those it needs.
objects() {
  for f in "$@"; do
    echo "$f"
  done | xargs -P "${JOBS:-1}" -I{} sh -c '
    o="$1/obj/$(echo "$2" | sed "s|^$3/||; s|/|_|g").o"
    rm -f "$o" && $4 $5 $6 -c "$2" -o "$o"' sh "$out" {} "$root" "$launcher" "$CXX" "$flags"
  for f in "$@"; do
    echo "$out/obj/$(echo "$f" | sed "s|^$root/||; s|/|_|g").o"
  done
}

reader_sources="$root/fuzz/xml_reader_fuzz.cpp $(echo "$root"/src/xml/*.cpp "$root"/src/reduce/*.cpp \
  "$root"/src/model/*.cpp "$root"/src/platform/*.cpp) $root/src/geodesy/angles.cpp"
# shellcheck disable=SC2086
"$CXX" $flags $(objects $reader_sources) -lexpat -lnettle -o "$out/xml_reader_fuzz"
# Seeds: the reader's test fixtures and a small job, each behind a chunk-size byte.
for f in "$root"/tests/data/xml/*.xml "$root"/fuzz/seeds/*.xml; do
  { printf '\003'; cat "$f"; } > "$out/corpus/$(basename "$f").seed"
done

pipeline_sources="$root/fuzz/pipeline_fuzz.cpp $(echo "$root"/src/app/*.cpp "$root"/src/approx/*.cpp \
  "$root"/src/writer/*.cpp "$root"/src/checks/*.cpp "$root"/src/sketch/*.cpp "$root"/src/xml/*.cpp \
  "$root"/src/reduce/*.cpp "$root"/src/adjust/*.cpp \
  "$root"/src/model/*.cpp "$root"/src/geodesy/*.cpp "$root"/src/job/*.cpp "$root"/src/platform/*.cpp \
  "$root"/src/weights/*.cpp)"
# shellcheck disable=SC2086
"$CXX" $flags $(objects $pipeline_sources) -lexpat -lfmt -lnettle -o "$out/pipeline_fuzz"
# Seeds of the whole conversion: the end-to-end and approximate-coordinate fixtures behind a head
# that computes local and geodetic coordinates, without a budget too, answering "different".
for f in "$root"/tests/data/*/*.xml "$root"/fuzz/seeds/*.xml; do
  { printf '\013\001\001\132\100\125\000\000'; cat "$f"; } \
    > "$out/pipeline-corpus/$(basename "$(dirname "$f")")-$(basename "$f").seed"
done
# A job file as the second part, after a NUL byte: a left-out element and a rename.
for f in "$root"/fuzz/seeds/*.fenwix; do
  { printf '\013\001\001\132\100\125\000\000'; cat "$root/tests/data/jobs/checked-job.xml"; printf '\000'
    cat "$f"; } > "$out/pipeline-corpus/job-$(basename "$f").seed"
done
# Drawn paths at the end (see pipeline_fuzz.cpp): an output and an input, the last byte their
# length. Octal 375 is "x.txt", 376 "in.xml", 360 a blank, 341 "../", 344 "up/", 354 "inner/",
# 340 "..", 342 "/", 366 an escape sequence, 352 a link out of the folder.
n=0
for drawn in '\375\376\002' '\360\341\375\376\004' '\344\375\376\376\004' \
  '\354\340\342\344\375\376\376\376\376\376\012' '\375\366\376\376\004' '\352\376\002'; do
  n=$((n + 1))
  { printf '\013\001\001\132\100\125\000\000'; cat "$root/tests/data/jobs/small-job.xml"
    printf "$drawn"; } > "$out/pipeline-corpus/paths-$n.seed"
done
echo "built $out/xml_reader_fuzz and $out/pipeline_fuzz"
