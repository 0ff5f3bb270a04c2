#!/usr/bin/env bash
# Plays the Windows build under Wine, in a Wine prefix of its own whose user
# is called ユーザー (so %APPDATA% and the install folder hold non-ASCII
# letters), beside the Linux build of the same sources:
#  - the SDL back end's window, key and gamepad tests pass
#    (test_windows.exe, when built: Alt+Enter and F11, virtual gamepads);
#  - the program prints --version and --help, runs headless and in a window
#    (its screenshot an 800 x 600 PNG) and plays sound (SDL's disk driver);
#  - the language follows the user's Windows (Wine's, from LC_ALL here);
#  - unzipped into C:\ゲーム, an autoplayed run of seed 7 reaches the result,
#    ranks its score in %APPDATA%\poromeko\Ranking.txt and reports the same
#    line as the Linux game; each replays the other's journal to that line;
#  - the ranking's rules hold the Windows way: two games ranking at once
#    both keep their scores (the lock), a garbage ranking is kept aside,
#    temporary files that a killed write left go once a minute old;
#  - the title and play, drawn on both for the same update by the same GL
#    device, agree on at least 99.9 % of pixels within 2/255
#    (tests/windows/compare_pictures.mjs);
#  - the installer installs silently (/S), the program its Start-menu entry
#    starts plays a run and keeps its ranking, and the uninstaller removes
#    the program and leaves the ranking.
# With WINDOWS_WHOLE_RUN=1 it also replays seed 7's whole run in a window on
# both (about three minutes at the game's own pace, both at once) and compares
# the result screen. Everything runs under one virtual X server; Wine's
# processes are ended at the end, whatever happens.
#
#   tests/windows/run.sh WIN_BUILD LINUX_GAME [RESULTS_DIR]
#
# WIN_BUILD is build-win (scripts/windows_build.sh: the zip and the
# installer), LINUX_GAME the Linux build's executable (build/game/poromeko).
# The pictures and the differences go to RESULTS_DIR, by default
# WIN_BUILD/results. Exits non-zero when a check fails.
set -euo pipefail
usage="usage: tests/windows/run.sh WIN_BUILD LINUX_GAME [RESULTS_DIR]"
win_build=$(cd "${1:?$usage}" && pwd)
linux_game=${2:?$usage}
results=${3:-$win_build/results}
here=$(cd "$(dirname "$0")/../.." && pwd)
[ -x "$linux_game" ] || { echo "run.sh: $linux_game is not an executable" >&2; exit 2; }
linux_game=$(cd "$(dirname "$linux_game")" && pwd)/$(basename "$linux_game")
version=$(sed -n 's/.*kVersion = "\([0-9.]*\)".*/\1/p' "$here/src/app/shell.h")
zip=$win_build/poromeko-$version-win64.zip
setup=$win_build/poromeko-$version-win64-setup.exe
for f in "$zip" "$setup"; do
  [ -f "$f" ] || { echo "run.sh: $f is missing (scripts/windows_build.sh makes it)" >&2; exit 2; }
done

# shellcheck source=scripts/setup.sh
source "$here/scripts/setup.sh"
ensure_packages "${WINDOWS_TEST_PACKAGES[@]}" nodejs python3

if [ -z "${POROMEKO_WINE_X:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env POROMEKO_WINE_X=1 "$0" "$win_build" \
    "$linux_game" "$results"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/poromeko-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko to ask for, no menu entries made on the Linux desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export USER=ユーザー LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
finish() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
mkdir -p "$results"
rm -f "$results"/*.png

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
stage_start=$SECONDS
stage() {
  echo "windows test: $1 ($((SECONDS - stage_start)) s so far)"
}
# A Windows path for a Linux one.
winpath() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }

stage "a Wine prefix for the user ユーザー"
wineboot -i >/dev/null 2>&1
wineserver -w
drive_c=$WINEPREFIX/drive_c
profile=$drive_c/users/$USER
[ -d "$profile" ] || fail "Wine made no profile folder for $USER"
ranking=$profile/AppData/Roaming/poromeko/Ranking.txt

if [ -f "$win_build/game/test_windows.exe" ]; then
  stage "the SDL back end's window, key and gamepad tests"
  wine "$win_build/game/test_windows.exe" --gtest_brief=1 || fail "test_windows.exe failed"
fi

stage "the zip, unpacked into C:\\ゲーム"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$zip" "$drive_c/ゲーム"
zipped=$drive_c/ゲーム/poromeko-$version-win64
[ -f "$zipped/poromeko.exe" ] && [ -f "$zipped/SDL2.dll" ] && [ -f "$zipped/README.txt" ] ||
  fail "the zip lacks the program, SDL2.dll or README.txt"
game=$zipped/poromeko.exe

stage "--version, --help and a wrong option"
out=$(wine "$game" --version)
[ "$out" = "poromeko $version" ] || fail "--version printed '$out'"
wine "$game" --help | grep -q -- "--replay" || fail "--help does not print the usage"
code=0
wine "$game" --no-such-option >/dev/null 2>&1 || code=$?
[ "$code" -eq 2 ] || fail "a wrong option exited $code, not 2"

stage "headless, and in a window with a screenshot"
wine "$game" --headless --frames 600 >/dev/null
wine "$game" --windowed --frames 120 --screenshot "$(winpath "$work")\\shot.png" >/dev/null
sig=$(od -An -tx1 -N8 "$work/shot.png" | tr -d ' \n')
size=$(od -An -tu1 -j16 -N8 "$work/shot.png" | tr -s ' ' | sed 's/^ //')
[ "$sig" = "89504e470d0a1a0a" ] && [ "$size" = "0 0 3 32 0 0 2 88" ] ||
  fail "the window's screenshot is not an 800 x 600 PNG"

stage "sound, written by SDL's disk driver"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$(winpath "$work")\\sound.raw" \
  wine "$game" --windowed --frames 240 >/dev/null
python3 - "$work/sound.raw" <<'EOF' || fail "the game played no sound"
import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
loud = sum(1 for s in samples if abs(s) > 256)
print(f"  {len(samples) // 2} frames of sound, {loud} samples above -42 dBFS")
sys.exit(0 if loud > 1000 else 1)
EOF

# The Linux game plays in a folder of its own: the content linked, the
# shipped ranking copied.
linux_data() {
  local dir=$1 from
  from=$(dirname "$linux_game")
  rm -rf "$dir"
  mkdir -p "$dir"
  for d in XFile Texture Sound; do ln -s "$from/$d" "$dir/$d"; done
  cp -r "$here/content/Data" "$dir/"
}
fresh_ranking() { rm -f "$ranking"; }

stage "the language of the user's Windows, unless --lang says"
# Wine takes its language from LC_ALL, and with a locale this machine has
# not generated it can only name files in ASCII: the build's own copy plays.
lang_of() {
  LC_ALL=$1 wine "$win_build/game/poromeko.exe" --headless --frames 2 "${@:2}" --report 2>/dev/null |
    sed -n 's/.*"lang":"\([a-z]*\)".*/\1/p'
}
[ "$(lang_of ja_JP.UTF-8)" = ja ] || fail "a Japanese Windows did not get Japanese"
[ "$(lang_of de_DE.UTF-8)" = en ] || fail "a German Windows did not get English"
[ "$(lang_of de_DE.UTF-8 --lang ja)" = ja ] || fail "--lang ja did not win over Windows' language"
echo "  Japanese for a Japanese Windows, English for another, --lang first"
# From here on both systems play in Japanese, whatever this machine's
# locale makes of Wine's language.
same=(--lang ja)

stage "seed 7 played by the autoplayer on both"
fresh_ranking
wine "$game" --headless "${same[@]}" --seed 7 --autoplay --runs 1 \
  --record "$(winpath "$work")\\win.txt" --report >"$work/win.json"
linux_data "$work/linux"
"$linux_game" --data "$work/linux" --headless "${same[@]}" --seed 7 --autoplay --runs 1 \
  --record "$work/linux.txt" --report >"$work/linux.json"
echo "  Windows: $(cat "$work/win.json")"
grep -q '"scene":"result"' "$work/win.json" || fail "the run did not reach the result"
cmp -s "$work/win.json" "$work/linux.json" || fail "Linux reported $(cat "$work/linux.json")"
score=$(sed -n 's/.*"lastRun":{"score":\([0-9]*\).*/\1/p' "$work/win.json")
[ -f "$ranking" ] || fail "no ranking in %APPDATA%\\poromeko"
grep -q "^1位,0*$score\$" <(tr -d '\r' <"$ranking") ||
  fail "the ranking does not hold the score $score first: $(cat "$ranking")"
cmp -s "$zipped/Data/Ranking.txt" "$here/content/Data/Ranking.txt" ||
  fail "the game wrote beside its program instead of in %APPDATA%"
echo "  ranked $score in C:\\users\\$USER\\AppData\\Roaming\\poromeko\\Ranking.txt"

stage "each system replays the other's journal to the same report"
fresh_ranking
wine "$game" --headless "${same[@]}" --replay "$(winpath "$work")\\linux.txt" --report \
  >"$work/win-replay.json"
linux_data "$work/linux"
"$linux_game" --data "$work/linux" --headless "${same[@]}" --replay "$work/win.txt" --report \
  >"$work/linux-replay.json"
cmp -s "$work/win-replay.json" "$work/linux.json" ||
  fail "Wine replayed the Linux journal to $(cat "$work/win-replay.json")"
cmp -s "$work/linux-replay.json" "$work/win.json" ||
  fail "Linux replayed the Windows journal to $(cat "$work/linux-replay.json")"
echo "  the same line both ways"

stage "the ranking's rules: two games at once, a garbage file, leftovers"
folder=$(dirname "$ranking")
printf 'garbage\001\002\n' >"$ranking"
printf 'killed' >"$folder/.Ranking.txt.Ab12Cd"
touch -d '2 minutes ago' "$folder/.Ranking.txt.Ab12Cd"
printf 'writing' >"$folder/.Ranking.txt.Zz98Yy"
wine "$game" --headless --seed 7 --autoplay --runs 1 --report >"$work/first.json" 2>/dev/null &
first=$!
wine "$game" --headless --seed 11 --autoplay --runs 1 --report >"$work/second.json" 2>/dev/null
wait "$first"
scores=$(tr -d '\r' <"$ranking")
for json in "$work/first.json" "$work/second.json"; do
  s=$(sed -n 's/.*"lastRun":{"score":\([0-9]*\).*/\1/p' "$json")
  grep -q ",0*$s\$" <<<"$scores" || fail "a game ranking at the same time lost its score $s: $scores"
done
kept=("$ranking".bad-*)
[ -f "${kept[0]}" ] && grep -q garbage "${kept[0]}" || fail "the garbage ranking was not kept aside"
[ ! -e "$folder/.Ranking.txt.Ab12Cd" ] || fail "a minute-old temporary file was left"
[ -e "$folder/.Ranking.txt.Zz98Yy" ] || fail "a temporary file of a write in progress was removed"
rm -f "$ranking".bad-* "$folder/.Ranking.txt.Zz98Yy"
echo "  both scores kept, the garbage kept as $(basename "${kept[0]}"), the leftover gone"

stage "the title and play, pixel for pixel"
journal() { printf 'poromeko-journal 1\nversion %s\nseed %s\n' "$version" "$1"; }
keys() { # keys BITS COUNT: the bits held for COUNT updates, pressed in the first
  local i
  printf '%s %s\n' "$1" "$1"
  for ((i = 1; i < $2; i++)); do printf '%s 0000\n' "$1"; done
}
{
  journal 7
  keys 0000 200                       # the title's intro plays out
  keys 0001 3; keys 0000 3; keys 0001 3 # start
  keys 0000 175                       # the fades
  keys 0010 120                       # walk
  keys 0800 45                        # swing the camera
} >"$work/pictures.txt"
shots=(190:title 504:play 549:play_swung)
win_shots=()
linux_shots=()
for s in "${shots[@]}"; do
  win_shots+=(--shot "${s%%:*}:$(winpath "$results")\\windows_${s#*:}.png")
  linux_shots+=(--shot "${s%%:*}:$results/linux_${s#*:}.png")
done
fresh_ranking
# Both on the same GL device: Direct3D 9 against GL is tests/frames/run.sh's.
wine "$game" --windowed --renderer gl "${same[@]}" --replay "$(winpath "$work")\\pictures.txt" \
  "${win_shots[@]}" >/dev/null
linux_data "$work/linux"
"$linux_game" --data "$work/linux" --windowed "${same[@]}" --replay "$work/pictures.txt" \
  "${linux_shots[@]}" >/dev/null
for s in "${shots[@]}"; do
  name=${s#*:}
  node "$here/tests/windows/compare_pictures.mjs" "$results/linux_$name.png" \
    "$results/windows_$name.png" "$results/difference_$name.png" ||
    fail "the $name pictures differ"
done

if [ "${WINDOWS_WHOLE_RUN:-0}" = 1 ]; then
  stage "seed 7's whole run in a window on both: the result"
  # The journal without its closing line, and more updates after it.
  grep -v '^end ' "$work/linux.txt" >"$work/run.txt"
  ended=$(($(wc -l <"$work/run.txt") - 3)) # the update in which the score was ranked
  {
    cat "$work/run.txt"
    keys 0000 60 # the creature burps over the counted score
  } >"$work/whole.txt"
  fresh_ranking
  linux_data "$work/linux"
  "$linux_game" --data "$work/linux" --windowed "${same[@]}" --replay "$work/whole.txt" \
    --shot "$((ended + 30)):$results/linux_result.png" >/dev/null &
  linux_pid=$!
  wine "$game" --windowed --renderer gl "${same[@]}" --replay "$(winpath "$work")\\whole.txt" \
    --shot "$((ended + 30)):$(winpath "$results")\\windows_result.png" >/dev/null
  wait "$linux_pid"
  node "$here/tests/windows/compare_pictures.mjs" "$results/linux_result.png" \
    "$results/windows_result.png" "$results/difference_result.png" ||
    fail "the result pictures differ"
fi

stage "the installer, silently"
wine "$setup" /S
wineserver -w
installed=$profile/AppData/Local/Programs/poromeko
link="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/ポロメコ.lnk"
[ -f "$installed/poromeko.exe" ] && [ -f "$installed/uninstall.exe" ] ||
  fail "nothing installed in $installed"
[ -f "$link" ] || fail "no Start-menu entry"
mapfile -t entry < <(python3 "$here/tests/windows/lnk_target.py" "$link")
echo "  the Start-menu entry starts ${entry[0]}, icon ${entry[2]}"
target=$(wine winepath -u "${entry[0]}" 2>/dev/null | tr -d '\r')
[ "$target" -ef "$installed/poromeko.exe" ] || fail "the entry starts ${entry[0]}"
[[ "${entry[2]}" == *poromeko.exe* ]] || fail "the entry's icon is not the program's"
before=$(tr -d '\r' <"$ranking")
(cd "$(dirname "$target")" &&
  wine "$target" --headless --seed 11 --autoplay --runs 1 --report >"$work/installed.json")
grep -q '"scene":"result"' "$work/installed.json" || fail "the installed game did not play a run"
after=$(tr -d '\r' <"$ranking")
score=$(sed -n 's/.*"lastRun":{"score":\([0-9]*\).*/\1/p' "$work/installed.json")
[ "$before" != "$after" ] && grep -q ",0*$score\$" <<<"$after" ||
  fail "the installed game did not rank $score in %APPDATA%"

stage "the uninstaller, silently"
wine "$installed/uninstall.exe" /S
wineserver -w
[ ! -e "$installed/poromeko.exe" ] && [ ! -e "$installed/XFile" ] || fail "the program is still there"
[ ! -e "$link" ] || fail "the Start-menu entry is still there"
[ "$(tr -d '\r' <"$ranking")" = "$after" ] || fail "the ranking did not survive the uninstaller"
echo "  the program gone, the ranking kept"

stage "all passed"
