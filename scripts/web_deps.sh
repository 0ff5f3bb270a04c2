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
# The sources come through `apt-get source`, which needs deb-src entries that
# the machine has none of. They are derived here from the machine's own apt
# sources (same archives and suites of this release) in a private apt
# configuration under a temporary folder, so nothing in /etc changes. Run as
# root, missing build tools are installed with apt-get.
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
# apt fetches as the unprivileged _apt user when run as root; it must be able
# to reach the folders it writes to.
chmod 755 "$work"

# --- the sources ------------------------------------------------------------

# deb-src entries for every archive and suite of this release that the
# machine installs from. Other repositories (a vendor's own) seldom publish
# sources, and a missing index would fail the update.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "web_deps: no VERSION_CODENAME in /etc/os-release" >&2; exit 1; }
apt_dir="$work/apt"
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/src"
: >"$apt_dir/sources.list"

ours() { [ "$1" = "$codename" ] || [[ "$1" == "$codename"-* ]]; }

# One-line format: "deb [options] URI SUITE COMPONENT...".
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] || continue
  while read -r type rest; do
    [ "$type" = deb ] || continue
    options=""
    if [[ "$rest" == \[* ]]; then
      options="${rest%%]*}]"
      rest="${rest#*]}"
    fi
    read -r uri suite components <<<"$rest"
    ours "$suite" || continue
    echo "deb-src $options $uri $suite $components" >>"$apt_dir/sources.list"
  done <"$list"
done

# deb822 format: stanzas of "Field: value" lines separated by blank lines.
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  awk -v codename="$codename" '
    function flush(   i, n, s, kept, line) {
      if (types ~ /(^| )deb( |$)/ && enabled != "no") {
        n = split(suites, s, " ")
        kept = ""
        for (i = 1; i <= n; i++)
          if (s[i] == codename || index(s[i], codename "-") == 1) kept = kept " " s[i]
        if (kept != "") {
          print "Types: deb-src"
          print "Suites:" kept
          for (i = 1; i <= nother; i++) print other[i]
          print ""
        }
      }
      types = ""; suites = ""; enabled = ""; nother = 0
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    {
      field = tolower($1)
      value = $0; sub(/^[^:]*:[ \t]*/, "", value)
      if (field == "types:") types = value
      else if (field == "suites:") suites = value
      else if (field == "enabled:") enabled = tolower(value)
      else other[++nother] = $0
    }
    END { flush() }
  ' "$sources" >"$apt_dir/parts/$(basename "$sources")"
done

if ! grep -q . "$apt_dir/sources.list" "$apt_dir"/parts/* 2>/dev/null; then
  echo "web_deps: the apt sources name no archive of $codename to take source packages from" >&2
  exit 1
fi

apt_private=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
)
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
  chown -R _apt "$apt_dir/lists" "$apt_dir/cache" "$work/src"
fi

echo "web_deps: fetching the source packages"
apt-get "${apt_private[@]}" -qq update
# The newest version first; the release's own version if the archive that
# lists the newest cannot serve its files (seen with the security archive's
# sources behind a mirror).
fetch() {
  local package=$1
  if ! (cd "$work/src" && apt-get "${apt_private[@]}" -qq source --download-only "$package" 2>/dev/null); then
    rm -f "$work/src/${package}"_*
    (cd "$work/src" && apt-get "${apt_private[@]}" -qq source --download-only "$package/$codename")
  fi
}
fetch zlib
fetch libpng1.6
fetch libsdl2

# Unpacked with Debian's patches applied, as Debian builds them. apt has
# already checked the files against the archive's signed index.
versions=()
unpack() {
  local package=$1 dsc version
  dsc=$(ls "$work/src/${package}"_*.dsc)
  version=$(sed -n 's/^Version: //p' "$dsc")
  versions+=("$package $version")
  dpkg-source --no-check -x "$dsc" "$work/$package" >/dev/null
}
unpack zlib
unpack libpng1.6
unpack libsdl2
echo "web_deps: sources: ${versions[*]}"

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
