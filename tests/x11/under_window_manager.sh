#!/bin/sh
# Runs a program on a virtual X display managed by openbox, so that window-manager
# behaviour (stacking state, placement) can be checked for real.
#   under_window_manager.sh PROGRAM [ARGS...]
# Exits 77 (skipped) when the X tools are not installed.
set -eu

if [ "${1:-}" != "--inside" ]; then
    for tool in xvfb-run Xvfb xauth openbox xprop xwininfo; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed" >&2
            exit 77
        fi
    done
    exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" sh "$0" --inside "$@"
fi
shift

openbox >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true' EXIT
# openbox announces itself on the root window once it manages the screen.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "openbox did not start" >&2
        exit 1
    fi
    sleep 0.1
done

status=0
QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
