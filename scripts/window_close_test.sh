#!/usr/bin/env bash
# Closes the game's real window at each moment of the game, under Xvfb: while
# it asks whether to play full screen, while loading, on the title, in play,
# paused and on the result. The close is the
# one a window manager's close button sends (a WM_DELETE_WINDOW message, by
# scripts/close_window.c). The game must exit 0 where it was (its --report
# line names the scene), and the AddressSanitizer build must find no leak.
#
#   scripts/window_close_test.sh GAME [MOMENT...]
#
# MOMENT is question, loading, title, play, pause or result (all by
# default). The
# pause and the result are reached by replaying journals made here: Enter
# pressed through the title and the fades (Enter pauses the play), or only
# through the title (the run then plays out its three minutes untouched, so
# the result moment takes at least three and a half minutes).
set -uo pipefail

game=${1:?usage: scripts/window_close_test.sh GAME [MOMENT...]}
shift
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")
here=$(cd "$(dirname "$0")/.." && pwd)
moments=("$@")
[ ${#moments[@]} -gt 0 ] || moments=(question loading title play pause result)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy

# Mesa's software driver is unloaded when the window's GL context goes; what
# its globals pointed to then looks leaked to LeakSanitizer at exit. Keeping
# the driver loaded (preloaded, after the sanitizer runtime, which must come
# first) leaves only real leaks to report.
preload=""
if ldd "$game" | grep -q libasan; then
  asan=$(ldd "$game" | sed -n 's/.*libasan[^ ]* => \([^ ]*\) .*/\1/p')
  dri=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1)
  [ -z "$dri" ] || preload="$asan:$dri"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-close.XXXXXX")
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/close_window" "$here/scripts/close_window.c" -lX11 || exit 1
mkdir -p "$work/game"
for dir in XFile Texture Sound Data; do cp -r "$(dirname "$game")/$dir" "$work/game/"; done

# Journals: Enter pressed every other update for the first `presses` updates,
# then nothing for `idle` updates.
journal() {
  local presses=$1 idle=$2 i
  printf 'poromeko-journal 1\nversion 1.00\nseed 3\n'
  for ((i = 0; i < presses; ++i)); do
    if ((i % 2 == 0)); then echo "0001 0001"; else echo "0000 0000"; fi
  done
  for ((i = 0; i < idle; ++i)); do echo "0000 0000"; done
}
journal 400 40000 >"$work/pause.txt"
journal 40 40000 >"$work/result.txt"

failures=0
for moment in "${moments[@]}"; do
  case $moment in
    # Asked in the window, before any scene is made.
    question) args=(); at=0; expect='"scene":"none"' ;;
    loading) args=(--windowed); at=0; expect='"scene":"loading"' ;;
    title) args=(--windowed --seed 3); at=300; expect='"scene":"title"' ;;
    play) args=(--windowed --seed 3 --autoplay); at=900; expect='"scene":"play","[^}]*"paused":false' ;;
    pause) args=(--windowed --replay "$work/pause.txt"); at=900; expect='"paused":true' ;;
    result) args=(--windowed --replay "$work/result.txt"); at=11400; expect='"scene":"result"' ;;
    *) echo "unknown moment $moment" >&2; exit 2 ;;
  esac
  # The moment is known from outside by the picture the game writes after
  # that update of the run (--shot); the window is closed once it is there.
  rm -f "$work/at.png"
  [ "$at" -eq 0 ] || args+=(--shot "$at:$work/at.png")
  start=$(date +%s)
  PRELOAD=$preload xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    LD_PRELOAD=$PRELOAD "$1" --data "$2" --report "${@:6}" >"$3/out.txt" \
      2>"$3/err.txt" &
    pid=$!
    if [ "$4" -gt 0 ]; then
      while [ ! -s "$3/at.png" ] && kill -0 $pid 2>/dev/null; do sleep 0.2; done
    fi
    "$3/close_window" 60 || echo "no window to close" >>"$3/err.txt"
    # A game that does not end within a minute of the close hangs.
    for ((i = 0; i < 600; ++i)); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -0 $pid 2>/dev/null && { echo "HANG" >>"$3/err.txt"; kill -KILL $pid; }
    wait $pid
    echo $? >"$3/status"' _ "$game" "$work/game" "$work" "$at" "$moment" "${args[@]}"
  status=$(cat "$work/status" 2>/dev/null || echo none)
  report=$(cat "$work/out.txt")
  took=$(( $(date +%s) - start ))
  if [ "$status" = 0 ] && grep -qE "$expect" <<<"$report" &&
    ! grep -q "Sanitizer\|HANG\|no window to close" "$work/err.txt"; then
    printf 'close during %-8s ok: exit 0 after %3d s, %s\n' "$moment" "$took" \
      "$(grep -oE '"scene":"[a-z]+"|"paused":(true|false)|"ticks":[0-9]+' <<<"$report" | tr '\n' ' ')"
  else
    failures=$((failures + 1))
    echo "FAIL: close during $moment: exit $status, report: $report" >&2
    tail -n 30 "$work/err.txt" >&2
  fi
done
[ "$failures" -eq 0 ] || { echo "window close: $failures failures" >&2; exit 1; }
echo "window close: every moment exits 0"
