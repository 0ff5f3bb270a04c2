#!/usr/bin/env bash
# Makes the screenshots in docs/screenshots/: the loading screen, the screen
# after loading, and every model drawn by the game's own loaders. Needs a
# built tree (./run or ./test) and Xvfb; montage (imagemagick) for the sheets.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/docs/screenshots
mkdir -p "$out"
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
X=(xvfb-run -a -s "-screen 0 1280x1024x24")
cd build/game
"${X[@]}" ./poromeko --windowed --frames 8 --screenshot "$out/loading.png"
"${X[@]}" ./poromeko --windowed --frames 400 --screenshot "$out/after_loading.png"
view=../tools/viewer/poromeko-view
tmp=$(mktemp -d)
for m in planet sky_sphere Tree Stump flower fly butterfly Caterpillar BeetleBug BeetleBugFly; do
  "${X[@]}" "$view" "$tmp/$m.png" "XFile/$m.x"
done
parts=(XFile/PlayerUpBody.x XFile/PlayerDownBody.x XFile/PlayerHand.x)
"${X[@]}" "$view" "$tmp/player_idle.png" "${parts[@]}" --set 2 --time 0.5
"${X[@]}" "$view" "$tmp/player_run.png" "${parts[@]}" --set 0 --time 0.1
"${X[@]}" "$view" "$tmp/player_bite.png" "${parts[@]}" --set 3 --time 0.1
"${X[@]}" "$view" "$tmp/player_burp.png" "${parts[@]}" --set 1 --time 0.34
if command -v montage >/dev/null; then
  montage -label '%t' "$tmp"/*.png -tile 4x -geometry 320x240+4+4 "$out/models.png"
else
  cp "$tmp"/*.png "$out/"
fi
rm -rf "$tmp"
echo "screenshots in $out"
