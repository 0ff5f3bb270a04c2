#!/usr/bin/env bash
# Builds the libraries the Windows build links against with Debian's
# mingw-w64, from Debian's own source packages, and installs them into a
# prefix: zlib and libpng (static), libepoxy (static; it loads OpenGL's
# functions from opengl32.dll and the driver) and SDL2 (SDL2.dll with its
# import library, and the static SDL2main).
#
#   scripts/windows_deps.sh [PREFIX]
#
# PREFIX defaults to $POROMEKO_WIN_DEPS, else ~/.cache/poromeko/win-deps. A
# prefix that already holds a complete build by this recipe is kept as it is
# and the script returns at once. The last line printed is the prefix.
#
# The sources come through `apt-get source` in a private apt configuration
# (scripts/debian_sources.sh), so nothing in /etc changes. Run as root,
# missing build tools are installed with apt-get.
set -euo pipefail

prefix=${1:-${POROMEKO_WIN_DEPS:-$HOME/.cache/poromeko/win-deps}}
here=$(cd "$(dirname "$0")/.." && pwd)

# Bump when the flags or the file lists below change, so old prefixes are
# rebuilt.
recipe=1
stamp="$prefix/win-deps.stamp"

complete() {
  [ -f "$stamp" ] && grep -qx "recipe $recipe" "$stamp" &&
    [ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/lib/libpng16.a" ] &&
    [ -f "$prefix/lib/libepoxy.a" ] && [ -f "$prefix/lib/libSDL2.dll.a" ] &&
    [ -f "$prefix/lib/libSDL2main.a" ] && [ -f "$prefix/bin/SDL2.dll" ] &&
    [ -f "$prefix/include/SDL2/SDL.h" ] && [ -f "$prefix/include/epoxy/gl.h" ] &&
    [ -f "$prefix/include/zlib.h" ] && [ -f "$prefix/include/png.h" ]
}

if complete; then
  echo "$prefix"
  exit 0
fi

# shellcheck source=scripts/setup.sh
source "$here/scripts/setup.sh"
ensure_packages g++-mingw-w64-x86-64-posix mingw-w64-tools dpkg-dev ninja-build meson cmake \
  python3 xz-utils

triple=x86_64-w64-mingw32
cc=$triple-gcc-posix
jobs=$(build_jobs)
started=$SECONDS

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-win-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

# shellcheck source=scripts/debian_sources.sh
source "$here/scripts/debian_sources.sh"
debian_sources "$work" zlib libpng1.6 libepoxy libsdl2
versions=("${source_versions[@]}")

stage="$work/prefix"
mkdir -p "$stage/include" "$stage/lib" "$stage/bin"

# --- zlib -------------------------------------------------------------------

t=$SECONDS
mkdir -p "$work/obj/zlib"
for name in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
  inftrees trees uncompr zutil; do
  $cc -O2 -c "$work/zlib/$name.c" -o "$work/obj/zlib/$name.o"
done
$triple-ar rcs "$stage/lib/libz.a" "$work"/obj/zlib/*.o
cp "$work/zlib/zlib.h" "$work/zlib/zconf.h" "$stage/include/"
echo "windows_deps: zlib built in $((SECONDS - t)) s"

# --- libpng -----------------------------------------------------------------

t=$SECONDS
png="$work/libpng1.6"
cp "$png/scripts/pnglibconf.h.prebuilt" "$png/pnglibconf.h"
mkdir -p "$work/obj/png"
for name in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans \
  pngwio pngwrite pngwtran pngwutil; do
  $cc -O2 -I"$stage/include" -c "$png/$name.c" -o "$work/obj/png/$name.o"
done
$triple-ar rcs "$stage/lib/libpng16.a" "$work"/obj/png/*.o
cp "$png/png.h" "$png/pngconf.h" "$png/pnglibconf.h" "$stage/include/"
echo "windows_deps: libpng built in $((SECONDS - t)) s"

# --- libepoxy ---------------------------------------------------------------

t=$SECONDS
cat >"$work/meson-cross.txt" <<EOF
[binaries]
c = '$cc'
cpp = '$triple-g++-posix'
ar = '$triple-ar'
strip = '$triple-strip'
windres = '$triple-windres'
pkg-config = 'false'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
meson setup "$work/epoxy-build" "$work/libepoxy" --cross-file "$work/meson-cross.txt" \
  --prefix "$stage" --libdir lib --buildtype release -Ddefault_library=static \
  -Ddocs=false -Dtests=false -Dglx=no -Degl=no -Dx11=false >"$work/epoxy.log" 2>&1 ||
  { tail -n 40 "$work/epoxy.log" >&2; exit 1; }
ninja -C "$work/epoxy-build" -j "$jobs" install >>"$work/epoxy.log" 2>&1 ||
  { tail -n 40 "$work/epoxy.log" >&2; exit 1; }
echo "windows_deps: libepoxy built in $((SECONDS - t)) s"

# --- SDL2 -------------------------------------------------------------------

t=$SECONDS
cmake -S "$work/libsdl2" -B "$work/sdl-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/MingwToolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" \
  -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF >"$work/sdl-configure.log" 2>&1 ||
  { tail -n 40 "$work/sdl-configure.log" >&2; exit 1; }
echo "windows_deps: SDL2 configured in $((SECONDS - t)) s"
t=$SECONDS
cmake --build "$work/sdl-build" -j "$jobs" >"$work/sdl-build.log" 2>&1 ||
  { tail -n 40 "$work/sdl-build.log" >&2; exit 1; }
cmake --install "$work/sdl-build" >/dev/null
$triple-strip --strip-unneeded "$stage/bin/SDL2.dll"
echo "windows_deps: SDL2 built in $((SECONDS - t)) s"

# The licences that go out with the game.
# Debian's copyright file where there is one, else the upstream licence.
mkdir -p "$stage/licenses"
licence() {
  local from=$1 name=$2 f
  for f in debian/copyright LICENSE.txt LICENSE COPYING; do
    if [ -f "$work/$from/$f" ]; then
      cp "$work/$from/$f" "$stage/licenses/$name.txt"
      return 0
    fi
  done
  echo "windows_deps: no licence file in $from" >&2
  return 1
}
licence zlib zlib
licence libpng1.6 libpng
licence libepoxy libepoxy
licence libsdl2 SDL2

# --- install ----------------------------------------------------------------

mkdir -p "$prefix"
rm -f "$stamp"
cp -a "$stage/." "$prefix/"
# The stamp goes in last: a prefix without it is built again.
printf '%s\n' "recipe $recipe" "${versions[@]}" >"$stamp"
complete || { echo "windows_deps: $prefix is incomplete after installing" >&2; exit 1; }
echo "windows_deps: done in $((SECONDS - started)) s"
echo "$prefix"
