# Shared by the black-box scripts: a scratch folder removed at exit, and counted checks.
WORK=$(mktemp -d)
# A folder a check shut (chmod 0) is opened first: without root, rm cannot enter it.
clear() { chmod -R u+rwX "$1" 2> /dev/null; rm -rf "$1"; }
trap 'clear "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() { # what, got, wanted
    [ "$2" = "$3" ] || fail "$1"$'\n'"$(printf 'expected: %q\n     got: %q' "$3" "$2")"
}
# A file's bytes against what printf makes of a format.
holds() { expect "$1" "$(od -An -tx1 -v "$2")" "$(printf "$3" | od -An -tx1 -v)"; }
# An empty folder d, then each NAME BYTES pair written into it (BYTES as printf's format).
fresh() {
    clear "$WORK/d"; mkdir "$WORK/d"
    while [ $# -gt 1 ]; do printf "$2" > "$WORK/d/$1"; shift 2; done
}
finish() { echo "$failures failed"; [ "$failures" -eq 0 ]; }
# FIRST... -- SECOND...: the first command's log fills the pipe it writes to, so that it holds its
# folders until the rest is read; the second runs meanwhile (its status in held_status, its
# messages in $WORK/err). Then the first must go on to its end.
beside_first() {
    local first=() pid
    while [ "$1" != -- ]; do first+=("$1"); shift; done
    shift
    mkfifo "$WORK/log"
    "${first[@]}" > "$WORK/log" &
    pid=$!
    exec 3< "$WORK/log"
    rm "$WORK/log"
    read -r _ <&3
    "$@" > /dev/null 2> "$WORK/err"
    held_status=$?
    cat <&3 > /dev/null
    exec 3<&-
    wait $pid
    expect "${first[*]}: went on beside the second run" "$?" 0
}
