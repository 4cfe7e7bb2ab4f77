# Shared by the black-box scripts: a scratch folder removed at exit, and counted checks.
WORK=$(mktemp -d)
# A folder a check shut (chmod 0) is opened first: without root, rm cannot enter it.
clear() { chmod -R u+rwX "$1" 2> /dev/null; rm -rf "$1"; }
trap 'clear "$WORK"' EXIT
failures=0
passes=0

check() { # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then
        passes=$((passes + 1))
    else
        echo "FAIL: $what" >&2
        failures=$((failures + 1))
    fi
}
same() { [ "$1" = "$2" ] || { printf 'expected: %q\n     got: %q\n' "$2" "$1" >&2; return 1; }; }
fresh() { clear "$WORK/d"; mkdir "$WORK/d"; }
# The counts, and the script's status.
finish() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
