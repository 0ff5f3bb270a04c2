#!/usr/bin/env bash
# Builds the Windows version of the game with Debian's mingw-w64 into
# build-win/: the program in build-win/game/ (poromeko.exe, SDL2.dll and the
# content, ready to run under Wine), the zip poromeko-VERSION-win64.zip (one
# folder: the program, SDL2.dll, the content, README.txt and the licences;
# unzipped anywhere, it runs) and the installer
# poromeko-VERSION-win64-setup.exe (NSIS; per user, no administrator rights).
# Installs what is missing and builds SDL2, zlib, libpng and libepoxy for
# mingw once into a cache (scripts/windows_deps.sh,
# ~/.cache/poromeko/win-deps).
#
#   scripts/windows_build.sh [--tests]
#
# --tests also builds build-win/game/test_windows.exe, the SDL back end's
# window, key and gamepad tests for tests/windows/run.sh, and test_d3d9.exe,
# the Direct3D 9 device's scenes for tests/frames/run.sh (./test does).
# The last two lines printed are the zip and the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
ensure_packages "${WINDOWS_PACKAGES[@]}"

targets=()
case "${1:-}" in
  "") ;;
  --tests) targets=(--target all test_windows test_d3d9) ;;
  *) echo "usage: scripts/windows_build.sh [--tests]" >&2; exit 2 ;;
esac
version=$(sed -n 's/.*kVersion = "\([0-9.]*\)".*/\1/p' src/app/shell.h)
[ -n "$version" ] || { echo "windows_build: no kVersion in src/app/shell.h" >&2; exit 1; }

t=$SECONDS
deps=$(scripts/windows_deps.sh | tail -n 1)
echo "windows_build: libraries ready in $((SECONDS - t)) s ($deps)"

t=$SECONDS
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/MingwToolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPOROMEKO_WIN_DEPS="$deps" >/dev/null
cmake --build build-win -j"$(build_jobs)" "${targets[@]}"
echo "windows_build: program built in $((SECONDS - t)) s"

name=poromeko-$version-win64
stage=build-win/$name
rm -rf "$stage" "build-win/$name.zip" "build-win/$name-setup.exe"
cmake --install build-win --prefix "$stage" --strip >/dev/null
(cd build-win && cmake -E tar cf "$name.zip" --format=zip "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DICON="$PWD/content/Icons/poromeko.ico" \
  -DOUTFILE="$PWD/build-win/$name-setup.exe" dist/windows/installer.nsi

size() { echo "$(($(stat -c %s "$1") / 1024)) KiB"; }
echo "windows_build: zip $(size "build-win/$name.zip"), installer $(size "build-win/$name-setup.exe")"
echo "$PWD/build-win/$name.zip"
echo "$PWD/build-win/$name-setup.exe"
