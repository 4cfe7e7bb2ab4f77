#!/bin/sh
# Makes the wine prefix the Windows tests run in: PREFIX (created when missing), with the fonts the
# windows name mapped to Debian's (宋体, and SimSun, the Chinese system's window font, to AR PL UMing
# CN; Arial to Liberation Sans) and the Chinese
# characters of Latin captions linked to the Song face, as a Chinese Windows links them to SimSun.
# A second argument sets the screen's DPI (96 unless given).
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
dpi=$(printf 'dword:%08x' "${2:-96}")
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
fi
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
# uming.ttc,AR PL UMing CN as REG_MULTI_SZ
link='hex(7):75,00,6d,00,69,00,6e,00,67,00,2e,00,74,00,74,00,63,00,2c,00,41,00,52,00,20,00,50,00,4c,00,20,00,55,00,4d,00,69,00,6e,00,67,00,20,00,43,00,4e,00,00,00,00,00'
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"宋体"="AR PL UMing CN"' '"SimSun"="AR PL UMing CN"' '"NSimSun"="AR PL UMing CN"' \
    '"Arial"="Liberation Sans"' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]' \
    "\"Arial\"=$link" "\"Liberation Sans\"=$link" '' \
    '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=$dpi" '' \
    '[HKEY_CURRENT_CONFIG\Software\Fonts]' "\"LogPixels\"=$dpi" '' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$reg"
wine regedit /S "$(winepath -w "$reg")"
