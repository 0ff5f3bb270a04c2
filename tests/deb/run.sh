#!/usr/bin/env bash
# Checks the Debian package of the game: lintian finds no error in it, it
# installs with apt-get, the installed game (/usr/games/poromeko) plays an
# autoplayed run from the root folder and keeps its ranking in the player's
# data folder, and it removes cleanly. Run as root; the package must not be
# installed already (the test removes it again).
#
#   tests/deb/run.sh PACKAGE.deb
set -euo pipefail
deb=$(cd "$(dirname "${1:?usage: tests/deb/run.sh PACKAGE.deb}")" && pwd)/$(basename "$1")
[ -f "$deb" ] || { echo "run.sh: $deb is missing" >&2; exit 2; }
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
if dpkg-query -W -f='${Status}' poromeko 2>/dev/null | grep -q "install ok installed"; then
  fail "poromeko is installed already; the test would remove it"
fi
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/setup.sh
source "$here/scripts/setup.sh"
ensure_packages lintian
echo "deb test: $(basename "$deb"), $(($(stat -c %s "$deb") / 1024)) KiB"

lintian --allow-root --fail-on error "$deb" || fail "lintian found errors"
echo "deb test: lintian found no error"

home=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-deb.XXXXXX")
cleanup() {
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq poromeko >/dev/null 2>&1 || true
  rm -rf "$home"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
  >"$home/apt.log" 2>&1 || { cat "$home/apt.log" >&2; fail "apt-get could not install it"; }
[ -x /usr/games/poromeko ] || fail "no /usr/games/poromeko after installing"
report=$(cd / && HOME=$home XDG_DATA_HOME= /usr/games/poromeko --headless --seed 7 --autoplay \
  --runs 1 --report)
grep -q '"scene":"result"' <<<"$report" || fail "the installed game did not play a run: $report"
score=$(sed -n 's/.*"lastRun":{"score":\([0-9]*\).*/\1/p' <<<"$report")
grep -q "^1位,0*$score\$" "$home/.local/share/poromeko/Ranking.txt" ||
  fail "the installed game did not rank $score in ~/.local/share/poromeko"
echo "deb test: /usr/games/poromeko played from / and ranked $score in ~/.local/share/poromeko"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq poromeko >/dev/null
[ ! -e /usr/games/poromeko ] && [ ! -e /usr/share/poromeko ] || fail "removing left the game behind"
echo "deb test: removed"
