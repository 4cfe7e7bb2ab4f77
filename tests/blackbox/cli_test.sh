#!/usr/bin/env bash
# Black-box checks of stepwick-cli as a script or a user sees it: output, exit status, bytes on disk.
set -u
CLI=${1:?usage: cli_test.sh path/to/stepwick-cli}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
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
bytes() { od -An -c "$1" | tr -s ' \n' ' '; }
fresh() { rm -rf "$WORK/d"; mkdir "$WORK/d"; }

# --- log text, exit status, defaults (foot, txt) ---
fresh
printf 'a\r\n' > "$WORK/d/a.txt"
printf 'b' > "$WORK/d/B.TXT"
printf 'h' > "$WORK/d/c.htm"
out=$("$CLI" --code '<x>' "$WORK/d"); rc=$?
check "defaults: exit 0" same "$rc" 0
check "defaults: log" same "$out" $'被处理的文件\na.txt\nB.TXT\n\n处理了2个文件。\n感谢您使用本软件！'
check "foot bytes" same "$(cat "$WORK/d/a.txt")" $'a\r\n<x>\r'
check "foot on a last line without a break" same "$(bytes "$WORK/d/B.TXT")" "$(printf 'b<x>\r\n' > "$WORK/e"; bytes "$WORK/e")"
check "other types untouched" same "$(cat "$WORK/d/c.htm")" "h"
check "output ends in one line break" same "$("$CLI" --code x --ext none "$WORK/d" | tail -c 1 | od -An -c | tr -d ' ')" '\n'

# --- head, code from standard input and from a file, one final break dropped, LF code written as CR LF ---
fresh
printf 'old\n' > "$WORK/d/a.htm"
printf 'l1\nl2\n' | "$CLI" --head --ext HTM "$WORK/d" > /dev/null
check "stdin code, head" same "$(bytes "$WORK/d/a.htm")" "$(printf 'l1\r\nl2\r\nold\n' > "$WORK/e"; bytes "$WORK/e")"
printf 'f1\r\n' > "$WORK/code"
"$CLI" --head --ext htm --code-file "$WORK/code" "$WORK/d" > /dev/null
check "code file, head" same "$(bytes "$WORK/d/a.htm")" "$(printf 'f1\r\nl1\r\nl2\r\nold\n' > "$WORK/e"; bytes "$WORK/e")"

# --- dry run lists in run order and changes nothing ---
fresh
printf '1' > "$WORK/d/b.txt"; printf '2' > "$WORK/d/A.txt"; printf '3' > "$WORK/d/.h.txt"
out=$("$CLI" --dry-run --code x "$WORK/d"); rc=$?
check "dry run output" same "$out" $'A.txt\nb.txt'
check "dry run exit" same "$rc" 0
check "dry run changes nothing" same "$(cat "$WORK/d/b.txt")" "1"

# --- failures: exit 1, one stderr line each, log line with the reason ---
fresh
printf 'a' > "$WORK/d/a.txt"; printf 'r' > "$WORK/d/r.txt"; chmod 0444 "$WORK/d/r.txt"
out=$("$CLI" --head --code x "$WORK/d" 2> "$WORK/err"); rc=$?
check "failure exit 1" same "$rc" 1
check "failure log" same "$out" $'被处理的文件\na.txt\nr.txt（未能处理：read-only file）\n\n处理了1个文件。\n有1个文件未能处理。\n感谢您使用本软件！'
check "failure stderr" same "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/r.txt: read-only file"
check "read-only untouched" same "$(cat "$WORK/d/r.txt")" "r"

# --- usage errors and unusable input: exit 2, nothing touched ---
fresh
printf 'a' > "$WORK/d/a.txt"
"$CLI" > /dev/null 2>&1; check "no folder: exit 2" same "$?" 2
"$CLI" --bogus "$WORK/d" > /dev/null 2>&1; check "unknown option: exit 2" same "$?" 2
"$CLI" --code > /dev/null 2>&1; check "missing argument: exit 2" same "$?" 2
"$CLI" --code x "$WORK/d" "$WORK/d" > /dev/null 2>&1; check "two folders: exit 2" same "$?" 2
"$CLI" --code x --ext a/b "$WORK/d" > /dev/null 2>&1; check "slash in type: exit 2" same "$?" 2
"$CLI" --code x "$WORK/nowhere" > /dev/null 2>"$WORK/err"; check "missing folder: exit 2" same "$?" 2
check "missing folder: reason" grep -q "No such file or directory" "$WORK/err"
"$CLI" --code $'\xff\xfe' "$WORK/d" > /dev/null 2>&1; check "code not UTF-8: exit 2" same "$?" 2
LC_ALL=C.UTF-8 "$CLI" --code '中文' "$WORK/d" > /dev/null 2>&1; check "UTF-8 locale takes Chinese" same "$?" 0
check "nothing touched by refused runs" same "$(bytes "$WORK/d/a.txt")" "$(printf 'a中文\r\n' > "$WORK/e"; bytes "$WORK/e")"
"$CLI" --code-file "$WORK/nofile" "$WORK/d" > /dev/null 2>&1; check "unreadable code file: exit 2" same "$?" 2

# --- the locale's character set: GBK (a locale built here, into a private folder) ---
mkdir -p "$WORK/locale"
if localedef -i zh_CN -f GBK "$WORK/locale/zh_CN.GBK" > /dev/null 2>&1; then
    fresh
    printf 'old\r\n' > "$WORK/d/g.txt"
    printf '\xef\xbb\xbfu8\r\n' > "$WORK/d/u.txt"
    LOCPATH=$WORK/locale LC_ALL=zh_CN.GBK "$CLI" --head --code '中文' "$WORK/d" > /dev/null 2>&1
    check "GBK locale: exit 0" same "$?" 0
    check "GBK locale: code in GBK" same "$(bytes "$WORK/d/g.txt")" "$(printf '\xd6\xd0\xce\xc4\r\nold\r\n' > "$WORK/e"; bytes "$WORK/e")"
    check "GBK locale: UTF-8 file keeps UTF-8" same "$(bytes "$WORK/d/u.txt")" "$(printf '\xef\xbb\xbf\xe4\xb8\xad\xe6\x96\x87\r\nu8\r\n' > "$WORK/e"; bytes "$WORK/e")"
    LOCPATH=$WORK/locale LC_ALL=zh_CN.GBK "$CLI" --head --code '😀' "$WORK/d" > /dev/null 2> "$WORK/err"
    check "GBK locale: code without a GBK form is refused" same "$?" 2
    check "GBK locale: says why" grep -q "cannot be written in GBK" "$WORK/err"
    check "GBK locale: refused code touched nothing" same "$(bytes "$WORK/d/g.txt")" "$(printf '\xd6\xd0\xce\xc4\r\nold\r\n' > "$WORK/e"; bytes "$WORK/e")"
else
    echo "skipped the GBK checks: localedef cannot build zh_CN.GBK here (package locales missing?)" >&2
fi

# --- help and version ---
check "version" same "$("$CLI" --version)" "stepwick-cli 1.01.0011"
"$CLI" --help | grep -q -- '--code-file'; check "help" same "$?" 0

# --- a FIFO never hangs the run ---
fresh
mkfifo "$WORK/d/p.txt"
printf 'a' > "$WORK/d/a.txt"
out=$(timeout 20 "$CLI" --head --code x "$WORK/d" 2>/dev/null); rc=$?
check "FIFO skipped, no hang" same "$rc" 0
check "FIFO not listed" same "$out" $'被处理的文件\na.txt\n\n处理了1个文件。\n感谢您使用本软件！'

# --- counts past 32767 ---
fresh
for i in $(seq -w 1 40000); do : > "$WORK/d/f$i.txt"; done
out=$("$CLI" --code x "$WORK/d" | tail -n 2 | head -n 1)
check "40000 files counted" same "$out" "处理了40000个文件。"
check "last file changed" same "$(bytes "$WORK/d/f40000.txt")" "$(printf 'x\r\n' > "$WORK/e"; bytes "$WORK/e")"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
