#!/usr/bin/env bash
# Peak resident memory of the windowed game through a whole scripted run:
# a journal is recorded headless (title, one run of play, the result), then
# replayed in a window under Xvfb with Mesa's software rasteriser, and the
# kernel's high-water mark (VmHWM) of the game is read until it exits.
#
#   bench/peak_rss.sh GAME [SEED]
#
# GAME is a built poromeko with its content beside it (build/game/poromeko).
# Prints the peak, and the resident memory by kind (anonymous, mapped files)
# at the last sample, in MiB. Run from anywhere; needs xvfb-run.
set -euo pipefail

game=${1:?usage: bench/peak_rss.sh GAME [SEED]}
seed=${2:-7}
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")
work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-rss.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$game" --headless --seed "$seed" --autoplay --runs 1 --record "$work/run.txt" >/dev/null

cat >"$work/sample.sh" <<'EOF'
#!/usr/bin/env bash
# Starts the game and samples its status file every 20 ms until it exits.
"$@" &
pid=$!
peak=0 anon=0 file=0
while kill -0 "$pid" 2>/dev/null; do
  if status=$(cat "/proc/$pid/status" 2>/dev/null); then
    hwm=$(awk '/^VmHWM:/ {print $2}' <<<"$status")
    if [ -n "$hwm" ]; then
      peak=$hwm
      anon=$(awk '/^RssAnon:/ {print $2}' <<<"$status")
      file=$(awk '/^RssFile:/ {print $2}' <<<"$status")
    fi
  fi
  sleep 0.02
done
wait "$pid"
code=$?
printf 'peak %d kB\nanon %d kB\nfile %d kB\nexit %d\n' "$peak" "$anon" "$file" "$code"
EOF
chmod +x "$work/sample.sh"

LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$work/sample.sh" "$game" --windowed --replay "$work/run.txt" >"$work/out.txt" 2>"$work/err.txt" ||
  true
peak=$(awk '/^peak/ {print $2}' "$work/out.txt")
anon=$(awk '/^anon/ {print $2}' "$work/out.txt")
file=$(awk '/^file/ {print $2}' "$work/out.txt")
code=$(awk '/^exit/ {print $2}' "$work/out.txt")
if [ -z "$peak" ] || [ "$code" != 0 ]; then
  echo "peak_rss: the windowed replay failed (exit ${code:-?})" >&2
  cat "$work/err.txt" >&2
  exit 1
fi
awk -v p="$peak" -v a="$anon" -v f="$file" 'BEGIN {
  printf "peak resident memory: %.1f MiB (at the end: anonymous %.1f MiB, mapped files %.1f MiB)\n",
         p / 1024, a / 1024, f / 1024 }'
