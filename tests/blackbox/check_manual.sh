#!/usr/bin/env bash
# The manual pages render without a warning, and the options of stepwick-cli's manual are
# exactly those of its --help, so an option added to one and not the other is caught.
# Usage: check_manual.sh STEPWICK_CLI CLI_PAGE [OTHER_PAGE...]
set -u
cli=$1 cli_page=$2
. "$(dirname "$0")/checks.sh"
shift
for page in "$@"; do
    expect "$page renders without warnings" "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" ""
done

option_names() { grep -o -e '--\{0,1\}[A-Za-z0-9][A-Za-z0-9-]*' | sort -u; }
# The option column of --help: lines that start with blanks and a dash, cut where two blanks
# open the description.
help=$("$cli" --help | sed -n 's/^ \{1,\}\(-.*\)/\1/p' | sed 's/  .*//' | option_names)
# The heads of the entries of the manual's OPTIONS section.
manual=$(MANWIDTH=200 man -l "$cli_page" 2>/dev/null | sed -n '/^OPTIONS/,/^[A-Z]/p' |
    sed -n 's/^       \(-.*\)/\1/p' | option_names)
[ -n "$help" ] || fail "no options found in --help"
expect "the manual's options are those of --help" "$manual" "$help"
finish
