#!/usr/bin/env bash
# The release archive as a user unpacks it: every file there, and a program that runs on a bare
# Windows, needing no DLL but the system's.
set -u
ZIP=${1:?usage: release_test.sh stepwick-VERSION-windows-x86_64.zip OBJDUMP}
OBJDUMP=${2:?usage: release_test.sh stepwick-VERSION-windows-x86_64.zip OBJDUMP}
. "$(dirname "$0")/../blackbox/checks.sh"
top=$(basename "$ZIP" .zip)

expect "the archive's files" "$(cmake -E tar tf "$ZIP" | grep -v "/$" | sort)" \
    "$(printf '%s\n' "$top/LICENSE.txt" "$top/README.md" "$top/stepwick-cli.exe")"
(cd "$WORK" && cmake -E tar xf "$ZIP")
exe=$WORK/$top/stepwick-cli.exe
# Only the system's own libraries: no libstdc++, libgcc or libwinpthread to ship beside it.
imports=$("$OBJDUMP" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr a-z A-Z | sort -u)
expect "imports only system libraries" \
    "$(grep -vxE 'KERNEL32.DLL|MSVCRT.DLL|UCRTBASE.DLL|API-MS-WIN-CRT-[A-Z0-9-]+.DLL|ADVAPI32.DLL|USER32.DLL|SHELL32.DLL' <<<"$imports")" ""
expect "imports: KERNEL32 among them" "$(grep -c '^KERNEL32.DLL$' <<<"$imports")" 1
expect "the unpacked program runs" "$(cd "$WORK" && wine "$exe" --version 2>&1)" "stepwick-cli 1.01.0011"
expect "the licence names its holder" "$(grep -c 'Morlend Inc' "$WORK/$top/LICENSE.txt")" 2
finish
