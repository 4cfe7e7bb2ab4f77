#!/usr/bin/env bash
# stepwick-cli under a low open-file limit, without /proc, and with a large code: every file
# changed, nothing left behind, memory bounded by the code's size.
set -u
CLI=${1:?usage: odd_systems_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
files() { # N files holding "x" CR LF
    fresh; for i in $(seq 1 "$1"); do printf 'x\r\n' > "$WORK/d/f$i.txt"; done
}
leftovers() { ls -A "$WORK/d" | grep -c '^\.stepwick-'; }

# ulimit -n 40 sets the soft and the hard limit: the run must not ask for more.
files 300
for pos in head foot; do
    out=$( (ulimit -n 40 && "$CLI" --$pos --code C "$WORK/d") 2>&1); rc=$?
    [ "$rc" = 0 ] && grep -q '^处理了300个文件。$' <<<"$out" || fail "ulimit -n 40, $pos: exit $rc: $(tail -3 <<<"$out")"
done
[ "$(od -An -c "$WORK/d/f300.txt" | tr -s ' \n' ' ')" = " C \r \n x \r \n C \r \n " ] || fail "ulimit -n 40: bytes of f300.txt"

if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    files 20
    out=$(unshare -m sh -c 'umount /proc && exec "$0" --head --code P "$1"' "$CLI" "$WORK/d" 2>&1); rc=$?
    [ "$rc" = 0 ] && grep -q '^处理了20个文件。$' <<<"$out" || fail "no /proc: exit $rc: $out"
    [ "$(cat "$WORK/d/f7.txt")" = "$(printf 'P\r\nx\r\n')" ] || fail "no /proc: bytes of f7.txt"
    [ "$(leftovers)" = 0 ] || fail "no /proc: temporary files left"
else
    echo "SKIP: no /proc case needs root and unshare"
fi

# A 20 MiB code over two files takes at most three times its size plus 32 MiB, also where a
# UTF-16 file needs it in another form, and where a file is searched for it.
files 2
printf '\xff\xfeu\0' > "$WORK/d/u16.txt"
head -c 20M /dev/zero | tr '\0' 'a' > "$WORK/code"
for args in --head --foot "--head --once"; do
    kb=$( { /usr/bin/time -f '%M' "$CLI" $args --code-file "$WORK/code" "$WORK/d" > /dev/null; } 2>&1 | tail -1)
    [ "$kb" -le $(( (3 * 20 + 32) * 1024 )) ] || fail "20 MiB code, $args: $kb KiB of memory"
done
[ "$(stat -c %s "$WORK/d/f1.txt")" = $(( 2 * (20 * 1024 * 1024 + 2) + 3 )) ] || fail "20 MiB code: size of f1.txt"
[ "$(leftovers)" = 0 ] || fail "20 MiB code: temporary files left"

finish
