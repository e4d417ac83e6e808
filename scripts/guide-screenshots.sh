#!/usr/bin/env bash
# Takes the user guide's screenshots under Xvfb: the dialog filled in for the example job, a
# refused field, the similar-stations question, the result message, the check report with a
# reading left out, the weight profiles, the Options menu's angle units, the README's check
# report of the job with planted blunders, the blunder hunt on that job with its job file, the
# sketch's line menu, the adjustment test's report of a generated network with a blunder and
# its Options entry, the sketch's error ellipses, the station precision's datum and confidence,
# the relative precision, the seed check catching a seed typed in decimal degrees and a
# campaign of two field files. Run after a
# build of build/release; needs imagemagick, xdotool and the openbox window manager (for title
# bars), which it installs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} != --inside-xvfb ]]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-xvfb
fi
scripts/install-packages.sh imagemagick xdotool openbox
out=$(pwd)/docs/screenshots
# A short fixed folder, since the dialog shows its paths.
scratch=/tmp/fenwix-guide
rm -rf "$scratch" && mkdir -p "$scratch"
openbox &
wm=$!
trap 'kill $wm; rm -rf "$scratch"' EXIT
cp build/release/fenwix "$scratch/"
# The program's own settings in the scratch folder: two weight profiles, the second in use.
export XDG_CONFIG_HOME=$scratch/config
mkdir -p "$XDG_CONFIG_HOME/fenwix"
cat >"$XDG_CONFIG_HOME/fenwix/fenwix.conf" <<'INI'
[settings]
legacyStoreRead=true

[weights]
current=Total station TS-1
profiles\1\name=Default
profiles\1\angleSd=5
profiles\1\zenithSd=5
profiles\1\distanceSdMm=5
profiles\1\distancePpm=0
profiles\1\instrumentCentering=0
profiles\1\targetCentering=0
profiles\1\gnssScale=1
profiles\1\gnssHorizontalCentering=0
profiles\1\gnssVerticalCentering=0
profiles\2\name=Total station TS-1
profiles\2\angleSd=1
profiles\2\zenithSd=1
profiles\2\distanceSdMm=1
profiles\2\distancePpm=1.5
profiles\2\instrumentCentering=0.5
profiles\2\targetCentering=0.5
profiles\2\gnssScale=3
profiles\2\gnssHorizontalCentering=2
profiles\2\gnssVerticalCentering=5
profiles\size=2
INI
cp examples/checked-job.xml docs/check-report/planted-job.xml docs/screenshots/generated-network.xml \
  "$scratch/"

# A settings record beside the program: seed B1, local coordinates ticked, tolerance 0.05 in
# 3D, the example job and its output. The arguments: the latitude, then 1 to tick the
# geodetic box too, then another job's base name and seed, then the seed's longitude and height.
settings() {
  python3 - "$scratch" "$1" "${2:-0}" "${3:-checked-job}" "${4:-B1}" "${5:--75.4210}" "${6:-84.3}" <<'PY'
import struct, sys
folder, latitude, job, seed = sys.argv[1], float(sys.argv[2]), sys.argv[4], sys.argv[5].encode()
longitude, height = float(sys.argv[6]), float(sys.argv[7])
r = bytearray(1136)
r[0] = int(sys.argv[3])                                   # compute geodetic
r[1] = 1                                                  # compute local
r[2:2 + 6] = b"WGS 84"
struct.pack_into("<dd", r, 24, 6378137.0, 298.257223563)
r[40:40 + len(seed)] = seed
struct.pack_into("<7d", r, 56, latitude, longitude, height, 100000.0, 100000.0, 0.0, 0.05)
out, xml = (folder + "/" + job + ".txt").encode(), (folder + "/" + job + ".xml").encode()
r[113:113 + len(out)] = out
r[373:373 + len(xml)] = xml
open(folder + "/Fenwix.cfg", "wb").write(r)
PY
}

# Saves the screen cropped to the windows on it.
snap() {
  import -window root "$scratch/screen.png"
  convert "$scratch/screen.png" -trim +repage "$out/$1.png"
}

# Starts the dialog, runs the keys given, waits for the window named, and saves the screen.
# Besides keys: click:X,Y and rclick:X,Y click in the active window, type:TEXT types,
# snap:NAME saves the screen on the way.
shot() {
  local name=$1 wait_for=$2
  shift 2
  (cd "$scratch" && ./fenwix) &
  local pid=$!
  xdotool search --sync --name 'Convert Topcon' >/dev/null
  sleep 1
  local key
  for key in "$@"; do
    if [[ $key == hover:* ]]; then
      # hover:X,Y rests the pointer there, for a tooltip.
      IFS=, read -r x y <<<"${key#hover:}"
      xdotool getactivewindow mousemove --window %1 "$x" "$y"
      sleep 1.5
    elif [[ $key == drag:* ]]; then
      # drag:X1,Y1,X2,Y2 drags with the left button, a column's edge say.
      IFS=, read -r x y x2 y2 <<<"${key#drag:}"
      xdotool getactivewindow mousemove --window %1 "$x" "$y" mousedown 1
      sleep 0.3
      xdotool getactivewindow mousemove --window %1 "$x2" "$y2" sleep 0.3 mouseup 1
    elif [[ $key == click:* || $key == rclick:* ]]; then
      # click:X,Y clicks at that point of the active window's inside; rclick:X,Y right-clicks.
      IFS=, read -r x y <<<"${key#*click:}"
      xdotool getactivewindow mousemove --window %1 "$x" "$y" click "$([[ $key == r* ]] && echo 3 || echo 1)"
    elif [[ $key == type:* ]]; then
      xdotool type --delay 30 "${key#type:}"
    elif [[ $key == snap:* ]]; then
      sleep 0.5
      snap "${key#snap:}"
    else
      xdotool key --clearmodifiers "$key"
    fi
    sleep 0.5
  done
  [[ -z $wait_for ]] || xdotool search --sync --name "$wait_for" >/dev/null
  sleep 1
  snap "$name"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

settings 45.3015
shot guide-dialog ""
shot guide-similar-stations "Found two stations" alt+c
shot guide-success "^fenwix$" alt+c alt+d
# The report with the foresight to P3 (line 48) chosen and left out, then the next row chosen.
shot guide-report "^Check report" alt+c alt+d Return click:60,392 alt+l Down
shot guide-weights "^Instrument and GNSS precision$" alt+o Down Return
shot guide-units "" alt+o Down Down Right
settings 95 1
shot guide-validation "^fenwix$" alt+c
# The README's report: the job with planted blunders (surveyed near 46.3 N, 7.15 E), its first
# suspect (the vector on line 15) left out, the next suspect chosen. P12 and p12 are asked about
# first: they are different, as far as the dialog can tell.
settings 46.3 0 planted-job P10 7.15 30
shot check-report "^Check report" alt+c alt+d Return click:60,126 alt+l Down
# The guide's blunder hunt on the same job: the three suspects left out, the look-alike names
# made one, the edits listed and kept in a job file, and the job converted again.
shot guide-hunt-after "^Check report" alt+c alt+d Return click:60,126 alt+l Down alt+l Down \
  alt+l snap:guide-hunt-report click:60,560 alt+r snap:guide-hunt-rename Return alt+c \
  alt+f e snap:guide-hunt-edits alt+c alt+f a type:planted-job.fenwix Return alt+c Return
cp "$scratch/planted-job.fenwix" docs/check-report/
# The sketch of the same job: the menu of the line P10-P12, whose face reading is a suspect.
shot sketch-line-menu "" alt+c alt+d Return alt+c alt+v Return rclick:540,340 Down Down Right
# The adjustment test on a network of 30 stations from the benchmarks' generator, one slope
# distance in it 8 cm too long: the report opens with the test's summary line and names that
# distance first among the suspects. The generator prints the seed and its coordinates.
g++ -std=c++20 -O1 -Isrc -Ibench -o "$scratch/network-job" -x c++ - -x none \
  build/release/libfenwix_adjust.a build/release/libfenwix_geodesy.a <<'CPP'
#include <cstdio>
#include "geodesy/angles.h"
#include "survey_network.h"
using namespace fenwix;
int main(int, char** argv) {
  bench::NetworkLayout layout;
  layout.stations = 30;
  layout.gnss_step = 2;
  layout.setups_at_control = true;
  layout.setup_share = 1.0;
  layout.seed = 77;
  bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  // The first foresight's slope distance.
  size_t d = 2;
  while (net.input.observations[d].kind != AdjustedKind::SlopeDistance ||
         net.input.observations[d - 2].kind != AdjustedKind::HorizontalAngle) ++d;
  net.input.observations[d].value[0] += 0.08;
  if (!bench::WriteNetworkXml(argv[1], net)) return 1;
  const auto& t = net.truth[0];
  const Geodetic seed = CartesianToGeodetic(net.input.a, net.input.e2, t[0], t[1], t[2]);
  std::printf("%s %.10f %.10f %.4f\n", net.input.stations[0].name.c_str(),
              RadiansToDms(seed.phi), RadiansToDms(seed.lam), seed.h);
}
CPP
read -r seed latitude longitude height < <("$scratch/network-job" "$scratch/network-blunder.xml")
settings "$latitude" 1 network-blunder "$seed" "$longitude" "$height"
# Return on the result then means OK, whatever an earlier shot chose: the report opens by itself.
sed -i '/^lastChoice=/d' "$XDG_CONFIG_HOME/fenwix/fenwix.conf"
shot report-adjustment "^Check report" alt+c Return
# The Options menu's last entry, which turns the test on and off.
shot guide-adjustment-option "" alt+o Up
# The sketch of a generated network after the adjustment test: each station's error ellipse, the
# points that one setup alone sights on dotted lines.
settings 41.3128608600 0 generated-network P00001 9.4421293136 308.8903
shot sketch-ellipses "" alt+c alt+d Return alt+c alt+v Return
# The precision of the same network: the tooltip of the report's adjustment test, which names
# the datum and the confidence of the station precision; the sketch's legend, which says both
# under the ellipses' factor; and the relative precision section, opened at its first pairs.
shot guide-precision-datum "^Check report" alt+c alt+d Return hover:90,150
shot guide-precision-confidence "" alt+c alt+d Return alt+c alt+v Return
# The Values column widened to show whole rows; the section is the last, so End opens it and the
# Downs scroll its first pairs into view.
shot guide-relative-precision "^Check report" alt+c alt+d Return drag:497,175,940,175 \
  click:90,290 End Right $(printf 'Down %.0s' {1..20})
# The same network with the seed's latitude typed in decimal degrees (41.5246 for 41°31′28.6″):
# the seed check leads the report and names the slip; its button fills the seed fields.
settings 41.5246 0 generated-network P00001 9.4421293136 308.8903
shot guide-seed-check "^Check report" alt+c alt+d Return
# A campaign of two days: the list of field files, kept in the program's settings.
settings 45.3015
cp examples/checked-job.xml "$scratch/checked-job-day2.xml"
printf '\n[General]\nxml_files=%s, %s\n' "$scratch/checked-job.xml" "$scratch/checked-job-day2.xml" \
  >>"$XDG_CONFIG_HOME/fenwix/fenwix.conf"
shot guide-campaign ""
echo "Screenshots in $out"
