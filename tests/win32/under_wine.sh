#!/bin/sh
# Runs a Windows test program under wine: under_wine.sh PREFIX PROGRAM.exe [FILE...] [-- WORD...]
# Each file is handed over as a Windows path, then a fresh work folder, then the words as they are. The
# program gets an X display of its own when none is set, the prefix is made ready first, and the
# wine server is stopped afterwards. STEPWICK_WINE_DPI sets the prefix's screen DPI (96).
set -eu
prefix=$1 program=$2
shift 2
# A Chinese (PRC) system, as the program's users have: its ANSI code page is 936.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
. "$(dirname "$0")/../support/x_display.sh"
xvfb_pid='' work=''
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 1280x1024x24
fi
work=$(mktemp -d "$PWD/win32-work.XXXXXX")
sh "$(dirname "$0")/prepare_prefix.sh" "$prefix" "${STEPWICK_WINE_DPI:-96}"
files=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    files="$files $(winepath -w "$1")"
    shift
done
[ $# -gt 0 ] && shift
# shellcheck disable=SC2086
wine "$program" $files "$(winepath -w "$work")" "$@"
