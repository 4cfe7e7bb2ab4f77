#!/usr/bin/env bash
# Starts build/stepwick-screenshots (the windowed program built with the tests, plus a tour
# of its windows) under Xvfb with openbox on one 1280 x 1024 screen, lets it open each of its
# windows where they first open and save a PNG of each into the folder given, and, when
# ImageMagick's import is at hand, photographs the whole screen (window frames included) as
# desktop.png.
#   scripts/screenshots.sh OUTPUT_FOLDER [PROGRAM]
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 OUTPUT_FOLDER [PROGRAM]" >&2
    exit 2
fi
out=$(mkdir -p "$1" && cd "$1" && pwd)
program=${2:-"$(cd "$(dirname "$0")/.." && pwd)/build/stepwick-screenshots"}
[ -x "$program" ] || { echo "$0: $program is not built (run make build with the tests)" >&2; exit 1; }
for tool in xvfb-run openbox; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (run make setup)" >&2; exit 1; }
done

rm -f "$out/ready" "$out"/*.png "$out/screen.txt"

# Everything below runs inside the virtual display.
session=$(mktemp)
trap 'rm -f "$session"' EXIT
cat >"$session" <<'SESSION'
set -eu
out=$1 program=$2
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
timeout 60 "$program" "$out" &
app=$!
for _ in $(seq 1 150); do
    [ -e "$out/ready" ] && break
    sleep 0.2
done
if [ ! -e "$out/ready" ]; then
    echo "screenshots: the program did not open its windows in time" >&2
elif command -v import >/dev/null; then
    import -window root "$out/desktop.png"
fi
wait "$app" || status=$?
kill "$wm" 2>/dev/null || true
exit "${status:-0}"
SESSION

xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi 96" \
    bash "$session" "$out" "$program"
rm -f "$out/ready"
ls -1 "$out"
