#!/usr/bin/env bash
# Runs what scripts/build-windows.sh built under Wine: every core test program, its GoogleTest
# summary read, then the Windows and the Linux fenwix-convert on the example jobs, with and
# without approximate coordinates, their outputs compared byte for byte. The Windows program
# also writes under a non-ASCII name twice, the second run replacing the first output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=$root/build/windows
linux_convert=${FENWIX_LINUX_CONVERT:-$root/build/release/fenwix-convert}
wine=$(command -v wine || echo /usr/lib/wine/wine64)
export WINEPREFIX=$root/build/windows-deps/wine WINEDEBUG=-all LANG=C.UTF-8
fail() {
  echo "windows: $*" >&2
  exit 1
}
[[ -x $linux_convert ]] || fail "no Linux program at $linux_convert (build the release preset)"
# One Wine server for the whole run, kept up between the programs instead of started and
# stopped around each one; stopped at the end.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
scratch=$(mktemp -d)
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
# The server works in the prefix's folder, which a fresh checkout does not have yet.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
[[ -d $WINEPREFIX/drive_c ]] || "$wine" wineboot --init >/dev/null 2>&1

passed=0
for program in "$win"/tests/fenwix_*_tests.exe; do
  log=$win/$(basename "$program" .exe).log
  status=0
  # The tests find their data under the source tree's Unix path, which Wine reaches as Z:.
  (cd "$win/tests" && "$wine" "$program" >"$log" 2>&1) || status=$?
  summary=$(grep -E '^\[  PASSED  \] [0-9]+ tests?\.' "$log" || true)
  if ((status != 0)) || [[ -z $summary ]] || grep -q '^\[  FAILED  \]' "$log"; then
    grep -E '^\[  FAILED  \]' "$log" >&2 || tail -20 "$log" >&2
    fail "$(basename "$program") failed (exit $status); log: $log"
  fi
  count=$(sed -E 's/^\[  PASSED  \] ([0-9]+).*/\1/' <<<"$summary")
  passed=$((passed + count))
  echo "windows: $(basename "$program"): $count passed"
done
echo "windows: $passed tests passed under Wine"

compared=0
for job in examples/*.xml; do
  name=$(basename "$job" .xml)
  for variant in plain approx; do
    options=()
    [[ $variant == approx ]] && options=(--seed B1 --geodetic --local)
    "$linux_convert" "${options[@]}" "$job" "$scratch/$name-$variant.linux.txt" </dev/null >/dev/null
    (cd "$scratch" && "$wine" "$win/fenwix-convert.exe" "${options[@]}" "$root/$job" \
      "$name-$variant.windows.txt" </dev/null >/dev/null)
    cmp "$scratch/$name-$variant.linux.txt" "$scratch/$name-$variant.windows.txt" ||
      fail "$name ($variant): the Windows output differs from the Linux one"
    compared=$((compared + 1))
  done
done
echo "windows: $compared outputs of the example jobs are byte for byte the Linux ones"

# A name outside every single-byte code page, in a folder with one; converted twice, so that
# the second output replaces the first.
folder="$scratch/Vermessung Höhe"
mkdir -p "$folder"
cp examples/small-job.xml "$folder/Tag ü 1 Łódź.xml"
for run in 1 2; do
  (cd "$folder" && "$wine" "$win/fenwix-convert.exe" "Tag ü 1 Łódź.xml" "Tag ü 1 Łódź.txt" \
    </dev/null >/dev/null) || fail "conversion $run under a non-ASCII name failed"
done
cmp "$folder/Tag ü 1 Łódź.txt" "$scratch/small-job-plain.linux.txt" ||
  fail "the output under a non-ASCII name differs from the Linux one"
[[ $(ls "$folder" | wc -l) == 2 ]] || fail "files left beside the output: $(ls "$folder")"
echo "windows: a second conversion under a non-ASCII name replaced the first"
