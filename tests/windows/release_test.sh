#!/usr/bin/env bash
# The release archive as a user unpacks it: every file there, and a program that runs. (What it
# imports: system_imports.sh.)
set -u
ZIP=${1:?usage: release_test.sh stepwick-VERSION-windows-EDITION.zip}
. "$(dirname "$0")/../blackbox/checks.sh"
top=$(basename "$ZIP" .zip)

expect "the archive's files" "$(cmake -E tar tf "$ZIP" | grep -v "/$" | sort)" \
    "$(printf '%s\n' "$top/LICENSE.txt" "$top/README.md" "$top/stepwick-cli.exe")"
(cd "$WORK" && cmake -E tar xf "$ZIP")
exe=$WORK/$top/stepwick-cli.exe
version=$(cd "$WORK" && wine "$exe" --version 2>&1)
if [ $? = 77 ]; then # this machine starts no program of the edition: the rest is still checked
    echo "$version: the unpacked program was not started" >&2
else
    expect "the unpacked program runs" "$version" "stepwick-cli 1.01.0011"
fi
expect "the licence names its holder" "$(grep -c 'Morlend Inc' "$WORK/$top/LICENSE.txt")" 2
finish
