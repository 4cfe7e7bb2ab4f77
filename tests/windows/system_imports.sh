#!/usr/bin/env bash
# Every function the built programs import, checked against what Windows 7 SP1 has: a program that
# imports one function more fails to start there at all, whatever it does. Calls only newer
# systems have are looked up at run time instead (GetProcAddress), and never show here.
# usage: system_imports.sh OBJDUMP TABLE PROGRAM.exe...
set -u
OBJDUMP=${1:?usage: system_imports.sh OBJDUMP TABLE PROGRAM.exe...}
TABLE=${2:?usage: system_imports.sh OBJDUMP TABLE PROGRAM.exe...}
shift 2
. "$(dirname "$0")/../blackbox/checks.sh"

# "DLL FUNCTION" per import, the DLL in capitals; "#N" for one imported by ordinal.
imports() {
    "$OBJDUMP" -p "$1" | awk -F'\t' '
        /^\tDLL Name: / { sub(/.*DLL Name: /, ""); dll = toupper($0); next }
        /^$/ { dll = "" }
        dll != "" && /^\t[0-9a-f]+\t/ { n = split($3, word, " "); print dll, (n >= 2 ? word[2] : "#" word[1]) }'
}

known=$(awk '{ sub(/#.*/, ""); for (i = 2; i <= NF; i++) print $1, $i }' "$TABLE" | sort -u)
for exe in "$@"; do
    got=$(imports "$exe" | sort -u)
    expect "$(basename "$exe") imports something" "$([ -n "$got" ] && echo yes)" yes
    missing=$(comm -23 <(echo "$got") <(echo "$known"))
    [ -z "$missing" ] || fail "$(basename "$exe") imports what Windows 7 SP1 lacks:"$'\n'"$missing"
done
finish
