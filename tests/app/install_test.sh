#!/usr/bin/env bash
# The game as a player gets it: started from another folder it finds its
# content; installed into a prefix it runs from /, keeps its ranking in the
# player's data folder (never in the installed files), and its desktop entry
# and metainfo pass the desktop's own validators.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# From another working folder, the build's own game finds its content.
(cd / && "$build/game/poromeko" --headless --frames 60 --report >"$work/cwd.json")
grep -q '"scene":"title"' "$work/cwd.json" ||
  { echo "started from /, the game did not reach its title:" >&2; cat "$work/cwd.json" >&2; exit 1; }

# A folder named with --data that does not hold the game: one line, exit 2.
code=0
(cd / && "$build/game/poromeko" --headless --data "$work/nothing" --frames 60) \
  >"$work/data.out" 2>"$work/data.err" || code=$?
if [ $code -ne 2 ] || [ "$(wc -l <"$work/data.err")" -ne 1 ] || [ -s "$work/data.out" ]; then
  echo "--data naming a folder without the game gave exit $code and said:" >&2
  cat "$work/data.err" "$work/data.out" >&2
  exit 1
fi
# A planet that is not a regular file, beside the executable: the game says
# what is wrong with it there, instead of looking for its files elsewhere,
# and goes on without it (over an empty sphere, as for a folder in its
# place) or ends; it never waits on the FIFO.
mkdir "$work/fifo"
cp -r "$build/game/." "$work/fifo/"
rm "$work/fifo/XFile/planet.x"
mkfifo "$work/fifo/XFile/planet.x"
code=0
(cd / && timeout 60 "$work/fifo/poromeko" --headless --frames 60) 2>"$work/fifo.err" || code=$?
if [ $code -gt 1 ] || ! grep -q "planet.x: a FIFO, not a regular file" "$work/fifo.err" ||
  grep -q "not in /" "$work/fifo.err"; then
  echo "a FIFO for the planet gave exit $code and said:" >&2
  cat "$work/fifo.err" >&2
  exit 1
fi
rm -rf "$work/fifo"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/poromeko share/poromeko/XFile/planet.x share/poromeko/Data/Ranking.txt \
  share/icons/hicolor/256x256/apps/poromeko.png share/icons/hicolor/16x16/apps/poromeko.png \
  share/applications/io.github.poromeko.Poromeko.desktop \
  share/metainfo/io.github.poromeko.Poromeko.metainfo.xml; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
shipped=$(cat "$prefix/share/poromeko/Data/Ranking.txt")

export XDG_DATA_HOME=$work/xdg
(cd / && "$prefix/bin/poromeko" --headless --seed 3 --autoplay --runs 1 --report \
  >"$work/run.json" 2>"$work/run.err")
grep -q "the ranking is kept in $XDG_DATA_HOME/poromeko/Ranking.txt" "$work/run.err" ||
  { echo "the installed game did not say where its ranking is:" >&2; cat "$work/run.err" >&2; exit 1; }
grep -q '"runs":1' "$work/run.json" || { echo "the installed game did not finish its run" >&2; exit 1; }
ranking=$XDG_DATA_HOME/poromeko/Ranking.txt
[ -f "$ranking" ] || { echo "no ranking in $ranking" >&2; exit 1; }
grep -Eq '^1位,[0-9]{6,}$' "$ranking" || { echo "bad ranking:" >&2; cat "$ranking" >&2; exit 1; }
[ "$(cat "$prefix/share/poromeko/Data/Ranking.txt")" = "$shipped" ] ||
  { echo "the installed ranking was written" >&2; exit 1; }
echo "installed run: $(cat "$work/run.json")"
echo "ranking: $(head -n 1 "$ranking")"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/io.github.poromeko.Poromeko.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/io.github.poromeko.Poromeko.metainfo.xml"
fi
