#!/bin/sh
# Runs a program on a virtual X display of its own, managed by openbox, so that window-manager
# behaviour (stacking state, placement) can be checked for real.
#   under_window_manager.sh PROGRAM [ARGS...]
# Exits 77 (skipped) when the X tools are not installed.
set -eu

for tool in Xvfb openbox xprop xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

. "$(dirname "$0")/../support/x_display.sh"
xvfb_pid='' wm=''
trap 'kill $wm $xvfb_pid 2>/dev/null || true' EXIT
start_xvfb 1024x768x24 -dpi 96
openbox >/dev/null 2>&1 &
wm=$!
# openbox announces itself on the root window once it manages the screen.
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { echo "openbox did not start" >&2; exit 1; }

status=0
QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
