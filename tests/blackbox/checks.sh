# Shared by the black-box scripts: a scratch folder removed at exit, and counted checks.
WORK=$(mktemp -d)
# A folder a check shut (chmod 0) is opened first: without root, rm cannot enter it.
clear() { chmod -R u+rwX "$1" 2> /dev/null; rm -rf "$1"; }
trap 'clear "$WORK"' EXIT
failures=0
expect() { # what, got, wanted
    [ "$2" = "$3" ] && return
    printf 'FAIL: %s\nexpected: %q\n     got: %q\n' "$1" "$3" "$2" >&2
    failures=$((failures + 1))
}
# A file's bytes against what printf makes of a format.
holds() { expect "$1" "$(od -An -tx1 -v "$2")" "$(printf "$3" | od -An -tx1 -v)"; }
fresh() { clear "$WORK/d"; mkdir "$WORK/d"; }
finish() { echo "$failures failed"; [ "$failures" -eq 0 ]; }
