#!/bin/sh
# The installer under wine: installer_test.sh PREFIX SETUP.exe DRIVER.exe OBJDUMP [win32]
# Installs silently, checks the programs (stripped, of the system's own processor) and the
# Start-menu shortcut, starts the installed stepwick.exe and closes it, uninstalls silently, and
# checks that nothing the installer put down remains: no file, no shortcut, no folder, no uninstall
# entry. With win32, on a 32-bit system, where the 64-bit driver cannot start the program.
set -eu
# The installer is a 32-bit program, whichever edition it installs.
if [ -n "${STEPWICK_NO_32BIT_PROGRAMS-}" ]; then
    echo "skipped: $STEPWICK_NO_32BIT_PROGRAMS" >&2
    exit 77
fi
prefix=$1 setup=$2 driver=$3 objdump=$4 arch=${5:-win64}
here=$(dirname "$0")
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fails=0
check() { # check DESCRIPTION COMMAND...
    what=$1
    shift
    if "$@"; then echo "PASS $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}
. "$here/../support/x_display.sh"
xvfb_pid=''
trap 'wineserver -k 2>/dev/null || true; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 1280x1024x24
fi
sh "$here/prepare_prefix.sh" "$prefix"

c="$prefix/drive_c"
dir="$c/Program Files/Stepwick"
link="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/批量代码添加器.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Stepwick'

wine "$setup" /S
wineserver -w
check "installed both programs and the uninstaller" \
    test -f "$dir/stepwick.exe" -a -f "$dir/stepwick-cli.exe" -a -f "$dir/uninstall.exe"
check "installed the Start-menu shortcut" test -f "$link"
format=pei-x86-64 view=/reg:64
[ "$arch" = win32 ] && format=pei-i386 view=/reg:32
for exe in stepwick.exe stepwick-cli.exe; do
    check "installed $exe for the system's processor" sh -c "'$objdump' -f '$dir/$exe' | grep -q 'file format $format\$'"
    check "installed $exe stripped" sh -c "! '$objdump' -h '$dir/$exe' | grep -q '\.debug_'"
done
check "registered the uninstaller" wine reg query "$key" /v QuietUninstallString $view
[ "$arch" = win32 ] || check "the installed stepwick.exe starts and closes" \
    wine "$driver" --start-and-close "C:\\Program Files\\Stepwick\\stepwick.exe"
check "the installed stepwick-cli.exe runs" sh -c "wine '$dir/stepwick-cli.exe' --version | grep -q 1.01.0011"

wine "$dir/uninstall.exe" /S
# The uninstaller runs on from a copy of itself so that it can delete its own file.
wineserver -w
check "uninstalled every file and the folder" test ! -e "$dir"
check "removed the shortcut" test ! -e "$link"
check "removed the uninstall entry" sh -c "! wine reg query '$key' $view >/dev/null 2>&1"
exit $((fails > 0))
