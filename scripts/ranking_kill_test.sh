#!/usr/bin/env bash
# Kills a process that keeps rewriting the ranking file with SIGKILL at
# random moments, RUNS times, and checks after every kill that the file
# holds three whole lines ("1位,005000" and so on, best first).
#
# Usage: ranking_kill_test.sh WRITER [RUNS]
#   WRITER  the ranking_writer test program
set -u

writer=${1:?usage: ranking_kill_test.sh WRITER [RUNS]}
runs=${2:-200}

dir=$(mktemp -d "${TMPDIR:-/tmp}/poromeko_kill.XXXXXX")
trap 'rm -rf "$dir"' EXIT
file=$dir/Ranking.txt
printf '1位,005000\n2位,003000\n3位,001000\n' >"$file"

# Exactly three lines, ranks 1, 2, 3 in order, each a score of six digits or
# more, the last one ended.
whole() {
  [ -f "$1" ] || return 1
  [ "$(wc -l <"$1")" -eq 3 ] || return 1
  [ "$(LC_ALL=C grep -cE '^[123]位,[0-9]{6,}$' "$1")" -eq 3 ] || return 1
  [ "$(cut -c1 "$1" | tr -d '\n')" = 123 ] || return 1
  [ "$(tail -c1 "$1" | od -An -c | tr -d ' ')" = '\n' ]
}

failures=0
changed=0
previous=$(cksum <"$file")
start=$(date +%s%N)
for ((i = 1; i <= runs; i++)); do
  "$writer" "$file" &
  pid=$!
  # 1 to 25 milliseconds: the first write comes a few milliseconds after the
  # start, so most kills land among the writes.
  sleep "0.$(printf '%03d' $((RANDOM % 25 + 1)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if ! whole "$file"; then
    failures=$((failures + 1))
    echo "run $i: the ranking is not three whole lines:"
    od -c "$file" | head -n 8
    # Go on from a good file.
    printf '1位,005000\n2位,003000\n3位,001000\n' >"$file"
  fi
  now=$(cksum <"$file")
  [ "$now" != "$previous" ] && changed=$((changed + 1))
  previous=$now
done
elapsed=$((($(date +%s%N) - start) / 1000000))
# Kills that came between the new file's creation and its rename leave the
# new file behind under its temporary name.
cut_short=$(find "$dir" -name '.Ranking.txt.*' | wc -l)

echo "ranking kill test: $runs runs, $failures failures, the file changed in $changed runs," \
  "$cut_short writes cut short, ${elapsed} ms"
if [ "$changed" -eq 0 ]; then
  echo "the writer never finished a write before it was killed: the test proved nothing"
  exit 1
fi
[ "$failures" -eq 0 ]
