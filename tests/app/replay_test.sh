#!/usr/bin/env bash
# A recorded run replays to the identical report: a whole autoplayed run
# recorded headless, replayed twice headless, and its first 1500 updates
# replayed in a real window (when a display is there) against the same
# stretch replayed headless. A journal whose seed was changed is refused, one
# cut short replays with a warning, and an output that cannot be written
# (the journal, the report) makes the exit code say so. Runs in a copy of
# the game folder, so the build's own ranking is never touched.
# Usage: replay_test.sh GAME_DIR
set -euo pipefail
game_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$game_dir"/. "$work"/
cd "$work"
cp Data/Ranking.txt ranking.orig

run() {  # run ARGS... : one run from the shipped ranking, its report on stdout
  cp ranking.orig Data/Ranking.txt
  ./poromeko "$@" --report
}

run --headless --seed 7 --autoplay --runs 1 --record whole.txt >recorded.json
grep -q '"scene":"result"' recorded.json || { echo "the run did not reach its result" >&2; cat recorded.json; exit 1; }
for i in 1 2; do
  run --headless --replay whole.txt >replayed$i.json
  if ! cmp -s recorded.json replayed$i.json; then
    echo "replay $i differs from the recorded run:" >&2
    cat recorded.json replayed$i.json >&2
    exit 1
  fi
done
echo "replayed twice: $(cat recorded.json)"

# Another seed written into the journal: refused, exit 2, nothing played.
sed 's/^seed 7$/seed 8/' whole.txt >edited.txt
code=0
./poromeko --headless --replay edited.txt --report >edited.json 2>edited.err || code=$?
if [ $code -ne 2 ] || [ -s edited.json ] || ! grep -q "seed or the keys were changed" edited.err; then
  echo "the edited journal was not refused as changed (exit $code):" >&2
  cat edited.err edited.json >&2
  exit 1
fi
# An output asked for that cannot be written: said, and exit code 1.
for what in journal report; do
  code=0
  if [ $what = journal ]; then
    ./poromeko --headless --seed 7 --autoplay --frames 4000 --record /dev/full 2>full.err || code=$?
  else
    ./poromeko --headless --seed 7 --frames 10 --report >/dev/full 2>full.err || code=$?
  fi
  if [ $code -ne 1 ] || ! grep -q "$what" full.err; then
    echo "the $what written to a full disk gave exit $code:" >&2
    cat full.err >&2
    exit 1
  fi
done
echo "an edited journal is refused; a lost journal or report gives exit 1"

if [ -n "${DISPLAY:-}" ]; then
  head -n $((3 + 1500)) whole.txt >part.txt
  run --headless --replay part.txt >part_headless.json 2>part.err
  grep -q "replaying it unchecked" part.err ||
    { echo "a journal cut short replayed without a word" >&2; exit 1; }
  run --windowed --replay part.txt >part_window.json
  if ! cmp -s part_headless.json part_window.json; then
    echo "the windowed replay differs from the headless one:" >&2
    cat part_headless.json part_window.json >&2
    exit 1
  fi
  echo "windowed replay matches: $(cat part_window.json)"
fi
