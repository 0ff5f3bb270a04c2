#!/usr/bin/env bash
# Makes the pictures in docs/screenshots/ from a built tree (./run or ./test
# builds it): the loading screen; play from three camera angles; the HUD in a
# known state, a tree drawn see-through and a butterfly taking flight (made by
# the GL tests that check those moments); a whole run replayed in a window:
# the title, the result with the creature burping over the counted score, and
# the title afterwards with the new best score; the title, the pause and the
# result in English (*_en.png); and every model drawn by the game's own
# loaders. Runs under Xvfb; montage (imagemagick), when present,
# puts the models on one sheet. Missing packages are installed as ./run does.
# The whole run takes about five minutes (a replay in a window runs at the
# game's own pace).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
ensure_packages "${SCREENSHOT_PACKAGES[@]}"
out=$PWD/docs/screenshots
mkdir -p "$out"
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
X=(xvfb-run -a -s "-screen 0 1280x1024x24")
build=$PWD/build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of the game folder: the build's own ranking is never touched.
cp -r "$build/game"/. "$work/game"/
cd "$work/game"
printf '1位,000000\n2位,000000\n3位,000000\n' >Data/Ranking.txt

# Journals: a header, then one line of key bits per update (held, pressed).
ENTER=0001 ESC=0002 UP=0010 Z=0800
journal() { printf 'poromeko-journal 1\nversion 1.00\nseed %s\n' "$1"; }
keys() { # keys BITS COUNT: the bits held for COUNT updates, pressed in the first
  local i
  printf '%s %s\n' "$1" "$1"
  for ((i = 1; i < $2; i++)); do printf '%s 0000\n' "$1"; done
}
idle() { keys 0000 "$1"; }

echo "loading screen"
"${X[@]}" ./poromeko --windowed --frames 3 --screenshot "$out/loading.png"

echo "play from three camera angles"
{
  journal 7
  idle 10; keys $ENTER 3; idle 3; keys $ENTER 3  # skip the intro, start
  idle 175                                       # the title's fade, the game's fade
  keys $UP 120                                   # walk a little
  keys $Z 45                                     # the camera swings a quarter
  keys $Z 45                                     # and another
} >yaws.txt
"${X[@]}" ./poromeko --windowed --replay yaws.txt \
  --shot 314:"$out/play_yaw_0.png" --shot 359:"$out/play_yaw_90.png" \
  --shot 403:"$out/play_yaw_180.png"

echo "HUD, see-through tree, butterfly"
POROMEKO_SCREENSHOT_DIR=$out "${X[@]}" "$build/tests/test_gl" \
  --gtest_filter='HudGlTest.*:WorldGlTest.*' >/dev/null

echo "a whole run, replayed in a window"
./poromeko --headless --seed 7 --autoplay --runs 1 --record run.txt --report >run.json
printf '1位,000000\n2位,000000\n3位,000000\n' >Data/Ranking.txt
# The title with its intro over, as a player who waits sees it (the
# autoplayer presses Enter at once, so the replay below leaves it early).
{
  journal 7
  idle 200
} >title.txt
"${X[@]}" ./poromeko --windowed --replay title.txt --shot 190:"$out/title.png"
echo "the title and the pause in English"
{
  journal 7
  idle 200                           # the title, its intro over
  keys $ENTER 3; idle 175            # the title's fade, the game's fade
  keys $UP 60                        # walk a little
  keys $ESC 3; idle 30               # pause
} >english.txt
"${X[@]}" ./poromeko --windowed --lang en --replay english.txt \
  --shot 190:"$out/title_en.png" --shot 470:"$out/pause_en.png"
# The update in which the score was ranked: the lines but the three of the
# header and the closing line.
ended=$(($(wc -l <run.txt) - 4))
{
  grep -v '^end ' run.txt  # more updates follow: the closing line goes
  idle 60          # the creature burps over the counted score
  keys $ENTER 3    # back to the title
  idle 200         # its intro, then the ranking under the crowns
} >whole.txt
# The run in English beside it, from a ranking of its own (each replay
# enters the score).
mkdir -p en
cp -r XFile Texture Sound Data poromeko en/
( cd en && "${X[@]}" ./poromeko --windowed --lang en --replay ../whole.txt \
  --shot $((ended + 30)):"$out/result_en.png" >/dev/null ) &
english=$!
sleep 3  # the two virtual X servers take numbers one after the other
"${X[@]}" ./poromeko --windowed --replay whole.txt --report \
  --shot $((ended + 30)):"$out/result.png" \
  --shot $((ended + 250)):"$out/title_after.png" >replay.json
wait $english
echo "recorded: $(cat run.json)"

echo "models"
view=$build/tools/viewer/poromeko-view
models=$work/models
mkdir -p "$models"
for m in planet sky_sphere Tree Stump flower fly butterfly Caterpillar BeetleBug BeetleBugFly; do
  "${X[@]}" "$view" "$models/$m.png" "XFile/$m.x"
done
parts=(XFile/PlayerUpBody.x XFile/PlayerDownBody.x XFile/PlayerHand.x)
"${X[@]}" "$view" "$models/player_idle.png" "${parts[@]}" --set 2 --time 0.5
"${X[@]}" "$view" "$models/player_run.png" "${parts[@]}" --set 0 --time 0.1
"${X[@]}" "$view" "$models/player_bite.png" "${parts[@]}" --set 3 --time 0.1
"${X[@]}" "$view" "$models/player_burp.png" "${parts[@]}" --set 1 --time 0.34
if ! command -v montage >/dev/null ||
  ! montage -font DejaVu-Sans -label '%t' "$models"/*.png -tile 4x -geometry 320x240+4+4 \
    "$out/models.png"; then
  cp "$models"/*.png "$out/"
fi
echo "screenshots in $out"
