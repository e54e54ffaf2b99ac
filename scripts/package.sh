#!/bin/sh
# Builds the release: tastomat-<version>-windows.zip with the 64-bit and the
# 32-bit tastomat.exe, the user guides LIESMICH.TXT (German) and README.TXT
# (English) and LICENSE.TXT. The guides are kept in docs/release as UTF-8 with
# LF line ends and go into the zip, like LICENSE, in code page 1252 with CR LF,
# so that Notepad on old Windows shows them as they are meant; a character
# that code page cannot hold fails the build. The same sources give the same
# bytes; the entries' time is that of the last commit (or SOURCE_DATE_EPOCH).
# Usage: scripts/package.sh [DIR]   (default build; the exes are built in
# DIR/package-x64 and DIR/package-x86, the zip goes to DIR). Prints the zip's
# path as its last line.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
cd "$here"
out=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
for arch in x64 x86; do
    cmake --preset "windows-$arch" -B "$out/package-$arch" -DTASTOMAT_TESTS=OFF >/dev/null
    cmake --build "$out/package-$arch" -j 2 --target tastomat >/dev/null
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/package-x64/CMakeCache.txt")
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
top="tastomat-$version"
zip="$out/$top-windows.zip"
rm -f "$zip"
python3 tools/make_zip.py --epoch "$epoch" "$zip" \
    "$top/x64/tastomat.exe=$out/package-x64/tastomat.exe" \
    "$top/x86/tastomat.exe=$out/package-x86/tastomat.exe" \
    --text "$top/LIESMICH.TXT=docs/release/LIESMICH.txt" \
    --text "$top/README.TXT=docs/release/README.txt" \
    --text "$top/LICENSE.TXT=LICENSE"
echo "$zip"
