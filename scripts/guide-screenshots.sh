#!/usr/bin/env bash
# Takes the user guide's screenshots under Xvfb: the dialog filled in for the example job, a
# refused field, the similar-stations question and the result message. Run after a build of
# build/release; needs imagemagick, xdotool and the
# openbox window manager (for title bars), which it installs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} != --inside-xvfb ]]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-xvfb
fi
for p in imagemagick xdotool openbox; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
done
out=$(pwd)/docs/screenshots
# A short fixed folder, since the dialog shows its paths.
scratch=/tmp/fenwix-guide
rm -rf "$scratch" && mkdir -p "$scratch"
openbox &
wm=$!
trap 'kill $wm; rm -rf "$scratch"' EXIT
cp build/release/fenwix "$scratch/"
cp examples/checked-job.xml "$scratch/"

# A settings record beside the program: seed B1, local coordinates ticked, tolerance 0.05 in
# 3D, the example job and its output. The arguments: the latitude, then 1 to tick the
# geodetic box too.
settings() {
  python3 - "$scratch" "$1" "${2:-0}" <<'PY'
import struct, sys
folder, latitude = sys.argv[1], float(sys.argv[2])
r = bytearray(1136)
r[0] = int(sys.argv[3])                                   # compute geodetic
r[1] = 1                                                  # compute local
r[2:2 + 6] = b"WGS 84"
struct.pack_into("<dd", r, 24, 6378137.0, 298.257223563)
r[40:42] = b"B1"
struct.pack_into("<7d", r, 56, latitude, -75.4210, 84.3, 100000.0, 100000.0, 0.0, 0.05)
out, xml = (folder + "/checked-job.txt").encode(), (folder + "/checked-job.xml").encode()
r[113:113 + len(out)] = out
r[373:373 + len(xml)] = xml
open(folder + "/Fenwix.cfg", "wb").write(r)
PY
}

# Starts the dialog, runs the keys given, waits for the window named, and saves the screen
# cropped to the windows on it.
shot() {
  local name=$1 wait_for=$2
  shift 2
  (cd "$scratch" && ./fenwix) &
  local pid=$!
  xdotool search --sync --name 'Convert Topcon' >/dev/null
  sleep 1
  local key
  for key in "$@"; do
    xdotool key --clearmodifiers "$key"
    sleep 0.5
  done
  [[ -z $wait_for ]] || xdotool search --sync --name "$wait_for" >/dev/null
  sleep 1
  import -window root "$scratch/screen.png"
  convert "$scratch/screen.png" -trim +repage "$out/$name.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

settings 45.3015
shot guide-dialog ""
shot guide-similar-stations "Found two stations" alt+c
shot guide-success "^fenwix$" alt+c alt+d
shot guide-report "^Check report$" alt+c alt+d Return
settings 95 1
shot guide-validation "^fenwix$" alt+c
echo "Screenshots in $out"
