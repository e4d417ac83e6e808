#!/usr/bin/env bash
# Packs the Windows build into build/windows/fenwix-<version>-windows-x86_64.zip and prints its
# path: fenwix-convert.exe (static, nothing else needed), the README, the licence, the user guide
# and the program's manual page as text, all with Windows line ends.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -f build/windows/fenwix-convert.exe ]] || scripts/build-windows.sh >&2
version=$(sed -n 's/^project(Fenwix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=fenwix-$version-windows-x86_64
stage=build/windows/$name
rm -rf "$stage" "build/windows/$name.zip"
mkdir -p "$stage"
cp build/windows/fenwix-convert.exe "$stage/"
crlf() { sed 's/\r\?$/\r/' "$1" >"$2"; }
crlf README.md "$stage/README.txt"
[[ -f LICENSE ]] && crlf LICENSE "$stage/LICENSE.txt"
crlf docs/user-guide.md "$stage/user-guide.txt"
LC_ALL=C.UTF-8 MANWIDTH=80 MANROFFOPT=-rHY=0 man -l docs/man/fenwix-convert.1 2>/dev/null | col -bx >"$stage/manual.tmp"
crlf "$stage/manual.tmp" "$stage/fenwix-convert.txt"
rm "$stage/manual.tmp"
(cd build/windows && zip -q -r -X "$name.zip" "$name")
rm -rf "$stage"
ls "$(pwd)/build/windows/$name.zip"
