#!/usr/bin/env bash
# A recorded run replays to the identical report: a whole autoplayed run
# recorded headless, replayed twice headless, and its first 1500 updates
# replayed in a real window (when a display is there) against the same
# stretch replayed headless. Runs in a copy of the game folder, so the
# build's own ranking is never touched.
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

if [ -n "${DISPLAY:-}" ]; then
  head -n $((3 + 1500)) whole.txt >part.txt
  run --headless --replay part.txt >part_headless.json
  run --windowed --replay part.txt >part_window.json
  if ! cmp -s part_headless.json part_window.json; then
    echo "the windowed replay differs from the headless one:" >&2
    cat part_headless.json part_window.json >&2
    exit 1
  fi
  echo "windowed replay matches: $(cat part_window.json)"
fi
