#!/usr/bin/env bash
# Builds the libraries the browser build links against (zlib, libpng and
# SDL2) with emscripten, from Debian's own source packages, and installs them
# into a prefix (include/, include/SDL2/, lib/libz.a, lib/libpng16.a,
# lib/libSDL2.a). emscripten's own ports download their sources while
# building, which cannot work without the internet.
#
#   scripts/web_deps.sh [PREFIX]
#
# PREFIX defaults to $POROMEKO_WEB_DEPS, else ~/.cache/poromeko/web-deps. A
# prefix that already holds a complete build by this recipe is kept as it is
# and the script returns at once. The last line printed is the prefix.
#
# The sources come through `apt-get source` in a private apt configuration
# (scripts/debian_sources.sh), so nothing in /etc changes. Run as root,
# missing build tools are installed with apt-get.
set -euo pipefail

prefix=${1:-${POROMEKO_WEB_DEPS:-$HOME/.cache/poromeko/web-deps}}
here=$(cd "$(dirname "$0")/.." && pwd)

# Bump when the flags or the file lists below change, so old prefixes are
# rebuilt.
recipe=1
stamp="$prefix/web-deps.stamp"

complete() {
  [ -f "$stamp" ] && grep -qx "recipe $recipe" "$stamp" &&
    [ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/lib/libpng16.a" ] &&
    [ -f "$prefix/lib/libSDL2.a" ] && [ -f "$prefix/include/SDL2/SDL.h" ] &&
    [ -f "$prefix/include/zlib.h" ] && [ -f "$prefix/include/png.h" ]
}

if complete; then
  echo "$prefix"
  exit 0
fi

# shellcheck source=scripts/setup.sh
source "$here/scripts/setup.sh"
ensure_packages emscripten dpkg-dev ninja-build cmake xz-utils

# Debian's emscripten finds its JavaScript helpers (acorn) only through this.
export NODE_PATH=/usr/share/nodejs
jobs=$(build_jobs)
started=$SECONDS

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-web-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- the sources ------------------------------------------------------------

# shellcheck source=scripts/debian_sources.sh
source "$here/scripts/debian_sources.sh"
debian_sources "$work" zlib libpng1.6 libsdl2
versions=("${source_versions[@]}")

stage="$work/prefix"
mkdir -p "$stage/include" "$stage/lib"

# --- zlib -------------------------------------------------------------------

t=$SECONDS
mkdir -p "$work/obj/zlib"
for name in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
  inftrees trees uncompr zutil; do
  emcc -O2 -DHAVE_UNISTD_H -c "$work/zlib/$name.c" -o "$work/obj/zlib/$name.o"
done
emar rcs "$stage/lib/libz.a" "$work"/obj/zlib/*.o
cp "$work/zlib/zlib.h" "$work/zlib/zconf.h" "$stage/include/"
echo "web_deps: zlib built in $((SECONDS - t)) s"

# --- libpng -----------------------------------------------------------------

t=$SECONDS
png="$work/libpng1.6"
cp "$png/scripts/pnglibconf.h.prebuilt" "$png/pnglibconf.h"
mkdir -p "$work/obj/png"
for name in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans \
  pngwio pngwrite pngwtran pngwutil; do
  emcc -O2 -I"$stage/include" -c "$png/$name.c" -o "$work/obj/png/$name.o"
done
emar rcs "$stage/lib/libpng16.a" "$work"/obj/png/*.o
ln -s libpng16.a "$stage/lib/libpng.a"
cp "$png/png.h" "$png/pngconf.h" "$png/pnglibconf.h" "$stage/include/"
echo "web_deps: libpng built in $((SECONDS - t)) s"

# --- SDL2 -------------------------------------------------------------------

# Without threads: a threaded wasm needs cross-origin isolation headers that a
# plain static server does not send.
t=$SECONDS
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
emcmake cmake -S "$work/libsdl2" -B "$work/sdl-build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" \
  -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_PTHREADS=OFF >"$work/sdl-configure.log" 2>&1 ||
  { tail -n 40 "$work/sdl-configure.log" >&2; exit 1; }
echo "web_deps: SDL2 configured in $((SECONDS - t)) s"
t=$SECONDS
cmake --build "$work/sdl-build" -j "$jobs" >"$work/sdl-build.log" 2>&1 ||
  { tail -n 40 "$work/sdl-build.log" >&2; exit 1; }
cmake --install "$work/sdl-build" >/dev/null
echo "web_deps: SDL2 built in $((SECONDS - t)) s"

# --- install ----------------------------------------------------------------

mkdir -p "$prefix"
rm -f "$stamp"
cp -a "$stage/." "$prefix/"
# The stamp goes in last: a prefix without it is built again.
printf '%s\n' "recipe $recipe" "${versions[@]}" >"$stamp"
complete || { echo "web_deps: $prefix is incomplete after installing" >&2; exit 1; }
echo "web_deps: done in $((SECONDS - started)) s"
echo "$prefix"
