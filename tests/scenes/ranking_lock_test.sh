#!/usr/bin/env bash
# Two games that finish at the same moment both keep their scores: two
# processes read the ranking as their runs start, wait for the same signal,
# then enter different scores into the one file, RUNS times over. Both
# scores must be in the file every time.
#
# Usage: ranking_lock_test.sh WRITER [RUNS]
#   WRITER  the ranking_writer test program
set -u
writer=${1:?usage: ranking_lock_test.sh WRITER [RUNS]}
runs=${2:-50}
dir=$(mktemp -d "${TMPDIR:-/tmp}/poromeko_lock.XXXXXX")
trap 'rm -rf "$dir"' EXIT
file=$dir/Ranking.txt

lost=0
for ((i = 1; i <= runs; i++)); do
  printf '1位,000000\n2位,000000\n3位,000000\n' >"$file"
  rm -f "$dir/go"
  a=$((1000 + i))
  b=$((2000 + i))
  "$writer" enter "$file" "$a" "$dir/go" &
  pa=$!
  "$writer" enter "$file" "$b" "$dir/go" &
  pb=$!
  sleep 0.05  # both have read the ranking and wait
  touch "$dir/go"
  wait "$pa" || { echo "run $i: the first game's score did not rank" >&2; lost=$((lost + 1)); }
  wait "$pb" || { echo "run $i: the second game's score did not rank" >&2; lost=$((lost + 1)); }
  if ! grep -q ",00$a\$" "$file" || ! grep -q ",00$b\$" "$file"; then
    echo "run $i: a score was lost:" >&2
    cat "$file" >&2
    lost=$((lost + 1))
  fi
done
if [ "$lost" -ne 0 ]; then
  echo "FAIL: $lost scores lost in $runs runs" >&2
  exit 1
fi
echo "both scores kept in all $runs runs"
