#!/usr/bin/env bash
# Installs the Debian packages that building and testing Fenwix need, when any is missing.
# With package names as arguments it installs those instead (the Windows build, the
# screenshots), each only when missing.
set -euo pipefail
if (($#)); then
  packages=("$@")
else
  packages=(build-essential cmake libexpat1-dev libfmt-dev libgtest-dev libgmock-dev qt6-base-dev
    libgeographiclib-dev libbenchmark-dev nlohmann-json3-dev libeigen3-dev libmetis-dev nettle-dev xvfb
    xauth locales
    clang-format
    # the Debian package, its icon sizes and the checks of the manual pages and desktop entry
    dpkg-dev file librsvg2-bin man-db groff-base desktop-file-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
(($#)) && exit 0
# A locale with a decimal comma, for the tests that prove the output ignores the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  locale-gen
fi
