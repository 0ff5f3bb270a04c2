#!/usr/bin/env bash
# Builds the browser version of the game into build-web/web: index.html,
# poromeko.js, poromeko.wasm and poromeko.data (the content), each also
# gzipped. Installs what is missing (emscripten and the tools that build
# SDL2, zlib and libpng for it), builds those libraries once into a cache
# (scripts/web_deps.sh, ~/.cache/poromeko/web-deps), and builds the desktop
# packer that shrinks the music of the download (poromeko-adpcm, in build/).
#
#   scripts/web_build.sh
#
# Prints the download's size at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
ensure_packages "${RUN_PACKAGES[@]}" "${WEB_PACKAGES[@]}"
# Debian's emcc finds its JavaScript helpers only with this set.
export NODE_PATH=/usr/share/nodejs

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(build_jobs)" --target poromeko-adpcm
deps=$(scripts/web_deps.sh | tail -n 1)
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DPOROMEKO_WEB_DEPS="$deps" -DPOROMEKO_ADPCM_TOOL="$PWD/build/tools/adpcm/poromeko-adpcm" \
  >/dev/null
cmake --build build-web -j"$(build_jobs)"

site=build-web/web
plain=$(stat -c %s "$site/index.html" "$site/poromeko.js" "$site/poromeko.wasm" \
  "$site/poromeko.data" | awk "{ s += \$1 } END { print s }")
packed=$(stat -c %s "$site/index.html" "$site/poromeko.js.gz" "$site/poromeko.wasm.gz" \
  "$site/poromeko.data.gz" | awk "{ s += \$1 } END { print s }")
echo "web build in $site: download $((packed / 1024)) KiB gzipped ($((plain / 1024)) KiB as files)"
