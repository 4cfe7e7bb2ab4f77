#!/bin/sh
# Runs a Windows test program under wine: under_wine.sh PREFIX PROGRAM.exe [FILE...] [-- WORD...]
# Each file is handed over as a Windows path, then a fresh work folder, then the words as they are. The
# program gets an X display of its own when none is set, the prefix is made ready first, and the
# wine server is stopped afterwards.
set -eu
prefix=$1 program=$2
shift 2
# A Chinese (PRC) system, as the program's users have: its ANSI code page is 936.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
xvfb=
if [ -z "${DISPLAY:-}" ]; then
    for n in 91 92 93 94 95 96 97 98; do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        export DISPLAY=":$n"
        break
    done
    sleep 1
fi
work=$(mktemp -d "$PWD/win32-work.XXXXXX")
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
sh "$(dirname "$0")/prepare_prefix.sh" "$prefix"
files=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    files="$files $(winepath -w "$1")"
    shift
done
[ $# -gt 0 ] && shift
# shellcheck disable=SC2086
wine "$program" $files "$(winepath -w "$work")" "$@"
