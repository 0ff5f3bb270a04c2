#!/usr/bin/env bash
# Breaks the game's files one at a time and checks that the game never
# crashes or hangs over them.
#
#   scripts/fault_injection.sh GAME [TABLE] [FILE...]
#
# GAME is a built poromeko with its content beside it (build/game/poromeko,
# or the AddressSanitizer build in build-asan/game). Every content file
# (XFile/*, Texture/*, Sound/*, Data/*, or the FILEs given, relative to the
# content folder) is replaced, in a copy of the game's folder, by an empty
# file, the first half of itself, as many random bytes, and a directory;
# the game then plays headless with the autoplayer (a whole run for the
# data files, the first 1500 updates for the rest). It must either run
# (exit 0) or stop with its error box on standard error and exit 1: a
# signal, a sanitizer report or a run past the time limit fails the script.
# The outcome of each file and fault goes to TABLE (Markdown) when given.
#
# Then what is no file at all, or far too large, stands in place of a
# texture, a sound held and one streamed, a model, the tuning file, the
# placement file and a --replay journal: a FIFO with no writer, a link to
# /dev/zero and a 2 GB sparse file (no disk used). Each run (200 updates)
# must end within SPECIAL_TIME_LIMIT seconds (20) with at most
# SPECIAL_PEAK_MB of memory (1024), and say why it passed the file over.
# A tuning file the player may not read (mode 000) must be told in one line.
#
# The ranking file is then put in harm's way: read-only, in a read-only
# folder, on a full disk, replaced by a symbolic link, and as 10 MB of
# garbage (with and without three good lines in front). The old scores must
# survive and standard error must say what happened.
set -uo pipefail

game=${1:?usage: scripts/fault_injection.sh GAME [TABLE] [FILE...]}
table=${2:-}
shift $(($# >= 2 ? 2 : $#))
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")
here=$(cd "$(dirname "$0")/.." && pwd)
content=$(dirname "$game")
limit=${FAULT_TIME_LIMIT:-300}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-faults.XXXXXX")
chmod 755 "$work"
mounted=""
cleanup() {
  [ -z "$mounted" ] || umount "$mounted" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  for dir in XFile Texture Sound Data; do
    for f in "$content/$dir"/*; do files+=("$dir/$(basename "$f")"); done
  done
fi
faults=(empty truncated random directory)
failures=0

# A fresh copy of the game's folder (files hard-linked: the game replaces
# files, it never writes into them).
fresh() {
  rm -rf "$work/game"
  mkdir -p "$work/game"
  for dir in XFile Texture Sound Data; do cp -al "$content/$dir" "$work/game/"; done
  rm -f "$work/game/Data/Ranking.txt"
  printf '1位,000000\n2位,000000\n3位,000000\n' >"$work/game/Data/Ranking.txt"
}

# Runs the game; sets `outcome` and returns non-zero for a crash or a hang.
play() {
  local args=("$@")
  timeout -s KILL "$limit" "${runner[@]}" "$game" --headless --data "$work/game" --seed 11 \
    --autoplay "${args[@]}" --report >"$work/out.txt" 2>"$work/err.txt"
  status=$?
  if grep -q "ERROR: AddressSanitizer\|ERROR: LeakSanitizer\|runtime error:" "$work/err.txt"; then
    outcome="SANITIZER REPORT"
    return 1
  fi
  case $status in
    0) outcome="runs" ;;
    1) if grep -q "^poromeko: " "$work/err.txt"; then outcome="stops (exit 1)"; else
         outcome="EXIT 1 WITHOUT A MESSAGE"; return 1; fi ;;
    137) outcome="HANG (killed after $limit s)"; return 1 ;;
    *) outcome="EXIT $status"; return 1 ;;
  esac
  return 0
}

runner=()
declare -A result
for f in "${files[@]}"; do
  for fault in "${faults[@]}"; do
    fresh
    target="$work/game/$f"
    size=$(stat -c %s "$content/$f")
    rm -rf "$target"
    case $fault in
      empty) : >"$target" ;;
      truncated) head -c $((size / 2)) "$content/$f" >"$target" ;;
      random) head -c "$size" /dev/urandom >"$target" ;;
      directory) mkdir "$target" ;;
    esac
    case $f in
      Data/*) args=(--runs 1) ;;
      *) args=(--frames 1500) ;;
    esac
    if play "${args[@]}"; then
      name=$(basename "$f")
      if [ "$outcome" = runs ] && grep -qF "$name" "$work/err.txt"; then outcome="runs, reported"; fi
    else
      failures=$((failures + 1))
      mkdir -p "$here/build/faults"
      cp "$work/err.txt" "$here/build/faults/$(echo "$f" | tr / _).$fault.stderr" 2>/dev/null
      echo "FAIL: $f $fault: $outcome" >&2
      tail -n 5 "$work/err.txt" >&2
    fi
    result["$f|$fault"]=$outcome
    printf '%-28s %-10s %s\n' "$f" "$fault" "$outcome"
  done
done

if [ -n "$table" ]; then
  {
    echo "| File | empty | truncated | random bytes | directory |"
    echo "|---|---|---|---|---|"
    for f in "${files[@]}"; do
      echo "| $f | ${result["$f|empty"]} | ${result["$f|truncated"]} | ${result["$f|random"]} | ${result["$f|directory"]} |"
    done
  } >"$table"
fi

# --- No file at all, or far too large ---------------------------------------
special_limit=${SPECIAL_TIME_LIMIT:-20}
special_peak=${SPECIAL_PEAK_MB:-1024}
timer=()
[ -x /usr/bin/time ] && timer=(/usr/bin/time -f %M -o "$work/peak.txt")
[ ${#timer[@]} -gt 0 ] || echo "no /usr/bin/time here: peak memory is not checked" >&2
# Plays 200 updates; sets `outcome` and returns non-zero for a crash, a hang,
# a run without a word about `name`, or memory past the bound.
play_special() {  # name, game arguments...
  local name=$1
  shift
  rm -f "$work/peak.txt"
  "${timer[@]}" timeout -s KILL "$special_limit" "${runner[@]}" "$game" --headless \
    --data "$work/game" --frames 200 "$@" >"$work/out.txt" 2>"$work/err.txt"
  status=$?
  local peak=0
  [ -s "$work/peak.txt" ] && peak=$(($(tail -n 1 "$work/peak.txt") / 1024))
  if grep -q "ERROR: AddressSanitizer\|ERROR: LeakSanitizer\|runtime error:" "$work/err.txt"; then
    outcome="SANITIZER REPORT"
    return 1
  fi
  case $status in
    0 | 1 | 2) ;;
    137) outcome="HANG (killed after $special_limit s)"; return 1 ;;
    *) outcome="EXIT $status"; return 1 ;;
  esac
  if ! grep -qF "$name" "$work/err.txt"; then
    outcome="EXIT $status WITHOUT A WORD ABOUT $name"
    return 1
  fi
  if [ "$peak" -gt "$special_peak" ]; then
    outcome="$peak MB AT PEAK (over $special_peak)"
    return 1
  fi
  outcome="exit $status, ${peak} MB: $(grep -m1 -F "$name" "$work/err.txt" | cut -c1-110)"
  return 0
}
runner=()
special_files=(Texture/num.png Sound/miss.wav Sound/game_bgm.wav XFile/fly.x Data/game_data.ini
  Data/ObjectPos.csv journal)
for f in "${special_files[@]}"; do
  for fault in fifo device sparse; do
    fresh
    target="$work/game/$f"
    rm -rf "$target"
    case $fault in
      fifo) mkfifo "$target" ;;
      device) ln -s /dev/zero "$target" ;;
      sparse) truncate -s 2G "$target" ;;
    esac
    name=$f
    args=(--seed 11 --autoplay)
    if [ "$f" = journal ]; then name=$target; args=(--replay "$target"); fi
    if ! play_special "$name" "${args[@]}"; then
      failures=$((failures + 1))
      echo "FAIL: $f as a $fault: $outcome" >&2
      tail -n 5 "$work/err.txt" >&2
    fi
    printf '%-28s %-10s %s\n' "$f" "$fault" "$outcome"
  done
done

# A tuning file the player may not read: one line that says so, not one per
# value. Permissions bind a player, not root, so the game runs as nobody.
if [ "$(id -u)" -eq 0 ]; then runner=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
fresh
chmod -R a+rX "$work/game"
cp --remove-destination "$content/Data/game_data.ini" "$work/game/Data/game_data.ini"
chmod 000 "$work/game/Data/game_data.ini"
if play_special Data/game_data.ini --seed 11 --autoplay &&
   [ "$(grep -c "game_data.ini" "$work/err.txt")" -eq 1 ] &&
   grep -q "cannot read Data/game_data.ini: Permission denied" "$work/err.txt"; then
  printf '%-28s %-10s %s\n' Data/game_data.ini "mode 000" "$outcome"
else
  failures=$((failures + 1))
  echo "FAIL: Data/game_data.ini at mode 000: not one line saying it cannot be read" >&2
  grep "game_data.ini" "$work/err.txt" | head -n 3 >&2
fi
runner=()

# --- The ranking file -------------------------------------------------------
ranking="$work/game/Data/Ranking.txt"
old=$'1位,999999\n2位,000005\n3位,000000\n'
kept=${old%$'\n'}  # as $(cat) reads it back
check() {  # description, condition
  if eval "$2"; then
    printf '%-44s ok: %s\n' "ranking $1" "$3"
  else
    failures=$((failures + 1))
    echo "FAIL: ranking $1: $3" >&2
    sed 's/^/  stderr: /' "$work/err.txt" | grep -v "rss after" | tail -n 8 >&2
  fi
}
score() { sed -n 's/.*"lastRun":{"score":\([0-9]*\).*/\1/p' "$work/out.txt"; }
merged() {  # the old ranking with the run's score entered
  printf '1位,999999\n2位,%06d\n3位,000005\n' "$(score)"
}

# Read-only file and read-only folder: permissions bind a player, not root,
# so the game runs as nobody there.
if [ "$(id -u)" -eq 0 ]; then runner=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
fresh
chmod -R a+rX "$work/game"
printf '%s' "$old" >"$ranking"
chmod 444 "$ranking"
chmod 777 "$work/game/Data"
play --runs 1
check "read-only file" '[ "$(cat "$ranking")" = "$(merged)" ]' \
  "$outcome; the folder may replace it: $(tr '\n' ' ' <"$ranking")"
# A game folder the player cannot write keeps the ranking in their data
# folder, started as a copy of the folder's: the old scores go along, the
# folder's file stays as it was. With nowhere to write at all, the scores
# stay where they were and the game says so.
mkdir -p "$work/xdg" "$work/xdg-ro"
chmod 777 "$work/xdg"
chmod 555 "$work/xdg-ro"
fresh
chmod -R a+rX "$work/game"
printf '%s' "$old" >"$ranking"
chmod 555 "$work/game/Data"
XDG_DATA_HOME=$work/xdg play --runs 1
check "in a read-only folder" '[ "$(cat "$ranking")" = "$kept" ] &&
  [ "$(cat "$work/xdg/poromeko/Ranking.txt")" = "$(merged)" ]' \
  "$outcome; kept, and in the data folder: $(tr '\n' ' ' <"$work/xdg/poromeko/Ranking.txt")"
fresh
chmod -R a+rX "$work/game"
printf '%s' "$old" >"$ranking"
chmod 555 "$work/game/Data"
XDG_DATA_HOME=$work/xdg-ro play --runs 1
check "with nowhere to write" '[ "$(cat "$ranking")" = "$kept" ] &&
  grep -q "was not saved" "$work/err.txt"' \
  "$outcome; kept, and: $(grep -m1 "not saved" "$work/err.txt")"
chmod 755 "$work/game/Data"
runner=()

# A full disk: the Data folder on a small tmpfs, filled up.
fresh
rm -rf "$work/game/Data"
mkdir "$work/game/Data"
if mount -t tmpfs -o size=64k tmpfs "$work/game/Data" 2>/dev/null; then
  mounted="$work/game/Data"
  cp "$content/Data/game_data.ini" "$content/Data/ObjectPos.csv" "$work/game/Data/"
  printf '%s' "$old" >"$ranking"
  dd if=/dev/zero of="$work/game/Data/filler" bs=1k 2>/dev/null
  play --runs 1
  check "on a full disk" '[ "$(cat "$ranking")" = "$kept" ] &&
    grep -q "was not saved" "$work/err.txt"' \
    "$outcome; kept, and: $(grep -m1 "not saved" "$work/err.txt")"
  umount "$mounted"
  mounted=""
else
  # No mounting here: a file size limit of 0 fails every write the same way
  # (EFBIG instead of ENOSPC); SIGXFSZ is ignored so the write reports it.
  cp "$content/Data/game_data.ini" "$content/Data/ObjectPos.csv" "$work/game/Data/"
  printf '%s' "$old" >"$ranking"
  (trap '' XFSZ; ulimit -f 0; play --runs 1)
  check "on a full disk (ulimit -f 0)" '[ "$(cat "$ranking")" = "$kept" ]' \
    "kept"
fi

# A symbolic link to a file elsewhere: read through, replaced by a file; the
# file it pointed to is not touched.
fresh
mkdir -p "$work/elsewhere"
printf '%s' "$old" >"$work/elsewhere/scores.txt"
ln -sf "$work/elsewhere/scores.txt" "$ranking"
play --runs 1
check "as a symbolic link" '[ ! -L "$ranking" ] && [ "$(cat "$ranking")" = "$(merged)" ] &&
  [ "$(cat "$work/elsewhere/scores.txt")" = "$kept" ]' \
  "$outcome; the link's target untouched, the ranking: $(tr '\n' ' ' <"$ranking")"

# 10 MB of garbage: no scores to keep, each line reported; then the same
# after three good lines, whose scores must stay.
fresh
head -c 10M /dev/urandom >"$work/garbage"
cp "$work/garbage" "$ranking"
play --runs 1
check "as 10 MB of garbage" '[ "$(sed -n 1p "$ranking")" = "$(printf "1位,%06d" "$(score)")" ] &&
  grep -q "no score" "$work/err.txt" && cmp -s "$work/garbage" "$ranking".bad-*' \
  "$outcome; $(grep -m1 "no score" "$work/err.txt"), the garbage kept as $(ls "$ranking".bad-* 2>/dev/null)"
fresh
{ printf '%s' "$old"; head -c 10M /dev/urandom; } >"$ranking"
play --runs 1
check "as good lines and 10 MB of garbage" '[ "$(cat "$ranking")" = "$(merged)" ]' \
  "$outcome; $(tr '\n' ' ' <"$ranking")"

if [ "$failures" -ne 0 ]; then
  echo "fault injection: $failures failures" >&2
  exit 1
fi
echo "fault injection: the game never crashed or hung"
