#!/usr/bin/env bash
# Cross-builds the core, a static fenwix-convert.exe and the core's tests for 64-bit Windows with
# MinGW-w64 from Debian, into build/windows/. Expat, GoogleTest and GeographicLib (which the
# tests check the geodesy against) are built for Windows once, into build/windows-deps/; {fmt}
# is used header-only. The tests run under Wine: scripts/test-windows.sh. The dialog is not
# built here: Debian has no Qt for Windows (see the README's "Windows" section).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deps=$root/build/windows-deps
out=$root/build/windows
jobs=$(nproc)

# Debian's versions of the libraries built from source. Plain `apt-get source expat` may pick a
# security-archive version whose files the mirror does not hold, so the versions are named.
expat_version=2.5.0-1+deb12u2
geographiclib_version=2.1.2-1

scripts/install-packages.sh g++-mingw-w64-x86-64-posix wine64 dpkg-dev cmake libfmt-dev \
  nlohmann-json3-dev libeigen3-dev libgtest-dev zip

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cross=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DFENWIX_WINDOWS_DEPS="$deps"
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" "${launcher[@]}"
  # -O2 as the Linux build: GCC 12 at -O3 warns falsely inside std::string (-Wrestrict).
  -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG")

# Fetches and unpacks a Debian source package into $deps/src, adding a deb-src entry for the
# release's main archive when the system has none.
fetch_source() {
  local package=$1 version=$2
  if ! grep -rqs '^\(Types:.*deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat >/etc/apt/sources.list.d/fenwix-deb-src.sources <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
  fi
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -qq "$package=$version" >/dev/null 2>&1)
}

build_deps() {
  rm -rf "$deps"
  mkdir -p "$deps/include"
  fetch_source expat "$expat_version"
  # Debian's patches test XML_DTD == 1, as the autotools configuration defines it; the CMake one
  # defines it empty.
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' \
    "$deps"/src/expat-2.5.0/expat/expat_config.h.cmake
  cmake -S "$deps"/src/expat-2.5.0/expat -B "$deps/build/expat" "${cross[@]}" -DEXPAT_SHARED_LIBS=OFF \
    -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
    -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
  cmake --build "$deps/build/expat" -j"$jobs" --target install >/dev/null

  cmake -S /usr/src/googletest -B "$deps/build/googletest" "${cross[@]}" -DBUILD_GMOCK=OFF \
    -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$deps/build/googletest" -j"$jobs" --target install >/dev/null

  fetch_source geographiclib "$geographiclib_version"
  cmake -S "$deps"/src/geographiclib-2.1.2 -B "$deps/build/geographiclib" "${cross[@]}" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_BOTH_LIBS=OFF -DBUILD_DOCUMENTATION=OFF \
    -DBUILD_MANPAGES=OFF -DEXAMPLEDIR= >/dev/null
  cmake --build "$deps/build/geographiclib" -j"$jobs" --target GeographicLib_STATIC >/dev/null
  mkdir -p "$deps/lib"
  cp -r "$deps/src/geographiclib-2.1.2/include/GeographicLib" "$deps/include/"
  cp "$deps/build/geographiclib/include/GeographicLib/Config.h" "$deps/include/GeographicLib/"
  cp "$deps/build/geographiclib/lib/libGeographicLib.a" "$deps/lib/"

  # {fmt} header-only, and the JSON headers, under a package configuration of their own.
  cp -r /usr/include/fmt /usr/include/nlohmann "$deps/include/"
  mkdir -p "$deps/lib/cmake/fmt" "$deps/share/cmake"
  cat >"$deps/lib/cmake/fmt/fmt-config.cmake" <<'CONFIG'
if(NOT TARGET fmt::fmt)
  add_library(fmt::fmt INTERFACE IMPORTED)
  set_target_properties(fmt::fmt PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/../../../include"
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
endif()
CONFIG
  cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
  touch "$deps/built"
}

[[ -f $deps/built ]] || build_deps

cmake -S . -B "$out" "${cross[@]}" -DFENWIX_BUILD_GUI=OFF -DFENWIX_WERROR=ON >/dev/null
cmake --build "$out" -j"$jobs"
