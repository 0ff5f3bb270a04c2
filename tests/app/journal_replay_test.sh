#!/usr/bin/env bash
# Journals recorded by an earlier build replay to the very report that build
# printed, byte for byte: a whole autoplayed run that reaches the result and
# ranks its score, a restless autoplayed stretch (camera swings, pauses, a
# quit question), and a stretch played in English. A change to the rules, to
# the order of the random numbers or to what a key does shows here. Each run
# starts from the shipped ranking, in a copy of the game folder.
# Usage: journal_replay_test.sh GAME_DIR JOURNAL_DIR
set -euo pipefail
game_dir=$1
journals=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$game_dir"/. "$work"/
cd "$work"
cp Data/Ranking.txt ranking.orig

failed=0
for journal in "$journals"/*.journal; do
  name=$(basename "$journal" .journal)
  expected="$journals/$name.report"
  # The captions' language is part of the report: the journal's own, not the
  # system's.
  lang=ja
  if grep -q '"lang":"en"' "$expected"; then lang=en; fi
  cp ranking.orig Data/Ranking.txt
  ./poromeko --headless --lang "$lang" --replay "$journal" --report >"$name.json"
  if cmp -s "$expected" "$name.json"; then
    echo "$name: replayed to its report"
  else
    echo "$name: the replay differs from the recorded report:" >&2
    cat "$expected" "$name.json" >&2
    failed=1
  fi
done
exit $failed
