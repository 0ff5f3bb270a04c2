#!/usr/bin/env bash
# The start-up question in the game's own window, answered as a player
# would (xdotool types and clicks into the real window): Y for full screen,
# Enter for the window chosen to begin with, a click on the Yes button, and
# the arrow key with Enter. Each time the game must say what was answered
# (--verbose) and go on to load and reach the title.
# Usage: question_test.sh GAME_DIR (needs a display; exit 77 without
# DISPLAY or xdotool, which counts as skipped)
set -uo pipefail
game_dir=$1
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit 77; }
command -v xdotool >/dev/null || { echo "no xdotool: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$game_dir"/. "$work"/
cd "$work"

failures=0
# answer EXPECTED ACTION...: starts the game, waits for its window, does
# ACTION to it ($w is the window) and checks the answer and the title.
answer() {
  local expected=$1 w="" i
  shift
  ./poromeko --frames 240 --report --verbose >out.txt 2>err.txt &
  local pid=$!
  for ((i = 0; i < 300; ++i)); do
    w=$(xdotool search --name "ver1.00" 2>/dev/null | head -n 1)
    [ -n "$w" ] && break
    sleep 0.1
  done
  if [ -z "$w" ]; then
    echo "FAIL ($*): no window" >&2
    kill "$pid" 2>/dev/null
    failures=$((failures + 1))
    return
  fi
  sleep 0.5  # its first picture
  xdotool windowfocus --sync "$w"
  eval "$*"
  wait "$pid"
  local status=$?
  if [ "$status" -eq 0 ] && grep -q "answered in the window: $expected" err.txt &&
    grep -q '"scene":"title"' out.txt; then
    echo "$*: $expected, then the title"
  else
    echo "FAIL ($*): exit $status, expected '$expected' and the title" >&2
    cat out.txt err.txt >&2
    failures=$((failures + 1))
  fi
}
answer "full screen" 'xdotool key y'
answer "a window" 'xdotool key Return'
answer "full screen" 'xdotool mousemove --window "$w" 280 340 click 1'
answer "full screen" 'xdotool key Left Return'
[ "$failures" -eq 0 ] || exit 1
