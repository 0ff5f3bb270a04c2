#!/usr/bin/env bash
# Plays the browser build in headless Chromium (tests/web/web_test.mjs): the
# loading screen, the title, Enter into play, the play screen against the
# desktop game's picture of the same seeded run, the pace of the updates, and
# a whole autoplayed run whose score must stay in the ranking after a reload;
# then plays with a stand-in gamepad (tests/web/gamepad_test.mjs, under a
# minute). Takes about seven minutes, most of it the three-minute run.
#
#   tests/web/run.sh SITE_DIR DESKTOP_GAME [RESULTS_DIR]
#
# SITE_DIR holds index.html, poromeko.js, poromeko.wasm and poromeko.data
# (build-web/web). DESKTOP_GAME is the desktop build's executable
# (build/game/poromeko), run under a virtual X server for the reference
# picture. The screenshots go to RESULTS_DIR, by default results/ beside
# SITE_DIR. WEB_TEST_VERBOSE=1 prints the page's console as it comes. Exits
# non-zero when a check fails.
set -euo pipefail

usage="usage: tests/web/run.sh SITE_DIR DESKTOP_GAME [RESULTS_DIR]"
site=${1:?$usage}
game=${2:?$usage}
here=$(cd "$(dirname "$0")/../.." && pwd)
site=$(cd "$site" && pwd)
results=${3:-$(dirname "$site")/results}

for file in index.html poromeko.js poromeko.wasm; do
  [ -f "$site/$file" ] || [ -f "$site/$file.gz" ] || { echo "run.sh: $site has no $file" >&2; exit 2; }
done
[ -x "$game" ] || { echo "run.sh: $game is not an executable" >&2; exit 2; }
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")

# shellcheck source=scripts/setup.sh
source "$here/scripts/setup.sh"
ensure_packages chromium xvfb xauth nodejs python3

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-web-run.XXXXXX")
server=""
stop_server() {
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_server EXIT

python3 "$here/scripts/serve_web.py" "$site" --port 0 >"$work/server.out" 2>"$work/server.err" &
server=$!
url=""
for _ in $(seq 1 100); do
  url=$(sed -n 's/^serving .* at \(http:[^ ]*\)$/\1/p' "$work/server.out")
  [ -n "$url" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.err" >&2; exit 2; }
  sleep 0.1
done
[ -n "$url" ] || { echo "run.sh: the web server did not start" >&2; exit 2; }
echo "serving $site at $url"

flags=()
[ -z "${WEB_TEST_VERBOSE:-}" ] || flags+=(--verbose)
status=0
node --experimental-websocket --no-warnings "$here/tests/web/web_test.mjs" \
  --url "$url" --desktop "$game" --results "$results" "${flags[@]}" || status=$?
# The pad's checks run whatever the first found; either failing fails the run.
pad_status=0
node --experimental-websocket --no-warnings "$here/tests/web/gamepad_test.mjs" \
  --url "$url" "${flags[@]}" || pad_status=$?
[ "$status" -ne 0 ] || status=$pad_status
exit "$status"
