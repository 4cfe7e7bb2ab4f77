#!/bin/sh
# The manual pages render without a warning, and the options of stepwick-cli's manual are
# exactly those of its --help, so an option added to one and not the other is caught.
# Usage: check_manual.sh STEPWICK_CLI CLI_PAGE [OTHER_PAGE...]
set -u
cli=$1
cli_page=$2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

shift
for page in "$@"; do
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "$page renders with warnings: $out"
done

option_names() {
    grep -o -e '--\{0,1\}[A-Za-z0-9][A-Za-z0-9-]*' | sort -u
}
# The option column of --help: lines that start with blanks and a dash, cut where two blanks
# open the description.
help_options() {
    "$cli" --help | sed -n 's/^ \{1,\}\(-.*\)/\1/p' | sed 's/  .*//' | option_names
}
# The heads of the entries of the manual's OPTIONS section.
manual_options() {
    MANWIDTH=200 man -l "$cli_page" 2>/dev/null | sed -n '/^OPTIONS/,/^[A-Z]/p' |
        sed -n 's/^       \(-.*\)/\1/p' | option_names
}

help=$(help_options)
manual=$(manual_options)
[ -n "$help" ] || fail "no options found in --help"
missing=$(printf '%s\n' "$help" | grep -vxF -e "$manual")
[ -z "$missing" ] || fail "in --help but not in the manual:" $missing
extra=$(printf '%s\n' "$manual" | grep -vxF -e "$help")
[ -z "$extra" ] || fail "in the manual but not in --help:" $extra

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "manual pages render cleanly and match --help"
