#!/bin/sh
# Photographs stepwick.exe's four windows under wine, in wine's own desktop (its window frames)
# on a 1280 x 1024 Xvfb screen: mainform.png, texts.png, filebro.png, about.png and desktop.png
# into the folder given. Needs the MinGW build with its window tests (window_driver.exe,
# stepwick-test.exe) and ImageMagick.
#   scripts/screenshots-win32.sh OUTPUT_FOLDER [BUILD_FOLDER]
set -eu
[ $# -ge 1 ] || { echo "usage: $0 OUTPUT_FOLDER [BUILD_FOLDER]" >&2; exit 2; }
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=$(cd "${2:-$(dirname "$0")/../build-w}" && pwd)
for tool in Xvfb import convert wine; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
export WINEPREFIX="$build/wine/shots-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
for n in 71 72 73 74 75 76 77 78; do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
fifo=$(mktemp -u)
mkfifo "$fifo"
trap 'rm -f "$fifo"; wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
sh "$(dirname "$0")/../tests/win32/prepare_prefix.sh" "$WINEPREFIX"

work=$(mktemp -d)
sleep 600 >"$fifo" &
holder=$!
wine explorer /desktop=stepwick,1280x1024 "$build/window_driver.exe" --tour \
    "$(winepath -w "$build/stepwick-test.exe")" "$(winepath -w "$work")" <"$fifo" >"$out/places.txt" &
tour=$!
for _ in $(seq 100); do
    [ "$(wc -l <"$out/places.txt")" -ge 4 ] && break
    sleep 0.3
done
sleep 2
import -window root "$out/desktop.png"
while read -r name left top width height; do
    convert "$out/desktop.png" -crop "${width}x${height}+${left}+${top}" +repage "$out/$name.png"
done <"$out/places.txt"
echo >"$fifo" || true
kill "$holder" 2>/dev/null || true
wait "$tour" || true
rm -rf "$work"
echo "$out: $(cd "$out" && ls)"
