#!/usr/bin/env bash
# Simulated play, headless, for as long as asked: the autoplayer with
# mischief (pauses answered with N or Y, camera swings, runs given up and
# started again, the result screen) on a copy of the game's content.
#
#   scripts/soak.sh GAME [UPDATES] [SEED]
#
# GAME is a built poromeko (the AddressSanitizer build: build-asan/game or
# build-soak/game; its content lies beside it). UPDATES defaults to 216000,
# an hour of play at 60 updates a second; 18000 is five minutes.
#
# It fails when the game crashes or exits non-zero (a debug build stops by
# itself on an object at a non-finite place), when AddressSanitizer finds a
# leak or a bad access, when memory does not stay flat (the resident memory
# is printed every simulated minute; the last sample must lie within 5 % of
# the tenth minute's, or of the middle one's in a run shorter than 20
# minutes), or when the ranking file is not three valid lines at the end.
# It prints the memory curve and the speed.
set -euo pipefail

game=${1:?usage: scripts/soak.sh GAME [UPDATES] [SEED]}
updates=${2:-216000}
seed=${3:-20240607}
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")
here=$(cd "$(dirname "$0")/.." && pwd)
minute=3600

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/game"
for dir in XFile Texture Sound Data; do cp -r "$(dirname "$game")/$dir" "$work/game/"; done
rm -f "$work/game/Data/Ranking.txt"

# A small quarantine: freed memory held back to catch late uses would otherwise
# fill for the first half hour and hide the game's own curve.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}:quarantine_size_mb=8
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "soak: $updates updates (seed $seed) of $game"
start=$(date +%s.%N)
set +e
"$game" --headless --data "$work/game" --seed "$seed" --autoplay=mischief \
  --frames "$((updates + 1))" --rss-every "$minute" --report \
  >"$work/report.json" 2>"$work/stderr.txt"
status=$?
set -e
end=$(date +%s.%N)

fail() {
  echo "soak: $*" >&2
  grep -v "rss after update" "$work/stderr.txt" | tail -n 40 >&2 || true
  exit 1
}

[ "$status" -eq 0 ] || fail "the game exited with status $status"
grep -q "not at a finite place" "$work/stderr.txt" && fail "an object left the finite world"
grep -q "ERROR: AddressSanitizer\|ERROR: LeakSanitizer\|runtime error:" "$work/stderr.txt" &&
  fail "the sanitizers found a fault"

mapfile -t rss < <(sed -n 's/^poromeko: rss after update [0-9]*: \([0-9]*\) kB$/\1/p' "$work/stderr.txt")
samples=${#rss[@]}
[ "$samples" -ge 2 ] || fail "too few memory samples ($samples)"
ref=10
[ "$samples" -ge 20 ] || ref=$(( (samples + 1) / 2 ))
first=${rss[$((ref - 1))]}
last=${rss[$((samples - 1))]}
echo "soak: resident memory (kB) at each simulated minute:"
for ((i = 0; i < samples; ++i)); do printf '  minute %3d: %s\n' "$((i + 1))" "${rss[$i]}"; done
awk -v a="$first" -v b="$last" -v ref="$ref" 'BEGIN {
  d = (b - a) / a * 100
  printf "soak: last sample %d kB is %+.2f %% of minute %d (%d kB)\n", b, d, ref, a
  exit (d > 5 || d < -5) ? 1 : 0 }' || fail "memory did not stay flat"

# The ranking the mischief left behind: three lines, best first.
ranking="$work/game/Data/Ranking.txt"
if [ -e "$ranking" ]; then
  [ "$(wc -l <"$ranking")" -eq 3 ] || fail "the ranking does not hold three lines"
  grep -qvxE '[123]位,[0-9]{6}' "$ranking" && fail "the ranking holds a bad line"
  sort -t, -k2,2nr -c "$ranking" 2>/dev/null || fail "the ranking is not best first"
  echo "soak: ranking $(tr '\n' ' ' <"$ranking")"
fi

runs=$(sed -n 's/.*"runs":\([0-9]*\).*/\1/p' "$work/report.json")
awk -v n="$updates" -v s="$start" -v e="$end" -v runs="${runs:-?}" 'BEGIN {
  printf "soak: %d updates in %.0f s (%.0f updates a second), %s runs reached their result\n",
    n, e - s, n / (e - s), runs }'
# The mischief comes from the autoplayer's own generator: a recorded stretch
# replays to the same place, update for update.
"$game" --headless --data "$work/game" --seed "$seed" --autoplay=mischief --frames 6000 \
  --record "$work/journal.txt" --report >"$work/recorded.json" 2>/dev/null ||
  fail "the recorded stretch failed"
"$game" --headless --data "$work/game" --replay "$work/journal.txt" --report \
  >"$work/replayed.json" 2>/dev/null || fail "the replay failed"
cmp -s "$work/recorded.json" "$work/replayed.json" ||
  fail "the replay ended elsewhere: $(cat "$work/recorded.json") / $(cat "$work/replayed.json")"
echo "soak: a recorded stretch of mischief replays to the same report"
echo "soak: passed"
