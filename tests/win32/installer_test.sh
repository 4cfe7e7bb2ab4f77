#!/bin/sh
# The installer under wine: installer_test.sh PREFIX SETUP.exe DRIVER.exe
# Installs silently, checks the programs and the Start-menu shortcut, starts the installed
# stepwick.exe and closes it, uninstalls silently, and checks that nothing the installer put down
# remains: no file, no shortcut, no folder, no uninstall entry.
set -eu
prefix=$1 setup=$2 driver=$3
here=$(dirname "$0")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
check "registered the uninstaller" wine reg query "$key" /v QuietUninstallString
check "the installed stepwick.exe starts and closes" \
    wine "$driver" --start-and-close "C:\\Program Files\\Stepwick\\stepwick.exe"
check "the installed stepwick-cli.exe runs" sh -c "wine '$dir/stepwick-cli.exe' --version | grep -q 1.01.0011"

wine "$dir/uninstall.exe" /S
# The uninstaller runs on from a copy of itself so that it can delete its own file.
wineserver -w
check "uninstalled every file and the folder" test ! -e "$dir"
check "removed the shortcut" test ! -e "$link"
check "removed the uninstall entry" sh -c "! wine reg query '$key' >/dev/null 2>&1"
exit $((fails > 0))
