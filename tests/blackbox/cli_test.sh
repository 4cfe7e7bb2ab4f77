#!/usr/bin/env bash
# Black-box checks of stepwick-cli as a script or a user sees it: output, exit status, bytes on disk.
set -u
CLI=${1:?usage: cli_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
bytes() { od -An -c "$1" | tr -s ' \n' ' '; }

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
# A code ending in a blank line keeps it: only the last line's own break goes.
printf 'l1\nl2\n\n' | "$CLI" --head --ext HTM "$WORK/d" > /dev/null
check "stdin code, head" same "$(bytes "$WORK/d/a.htm")" "$(printf 'l1\r\nl2\r\n\r\nold\n' > "$WORK/e"; bytes "$WORK/e")"
printf 'f1\r\n' > "$WORK/code"
"$CLI" --head --ext htm --code-file "$WORK/code" "$WORK/d" > /dev/null
check "code file, head" same "$(bytes "$WORK/d/a.htm")" "$(printf 'f1\r\nl1\r\nl2\r\n\r\nold\n' > "$WORK/e"; bytes "$WORK/e")"

# --- dry run lists in run order and changes nothing ---
fresh
printf '1' > "$WORK/d/b.txt"; printf '2' > "$WORK/d/A.txt"; printf '3' > "$WORK/d/.h.txt"
out=$("$CLI" --dry-run --code x "$WORK/d"); rc=$?
check "dry run output" same "$out" $'A.txt\nb.txt'
check "dry run exit" same "$rc" 0
check "dry run changes nothing" same "$(cat "$WORK/d/b.txt")" "1"

# --- refusals: exit 2, one message naming the argument or file and the reason, nothing touched ---
fresh
printf 'a' > "$WORK/d/a.txt"
mkdir "$WORK/sub"
refused() { # the message, then the command; standard input as the caller gives it
    local want=$1 rc
    shift
    "$@" > "$WORK/out" 2> "$WORK/err"; rc=$? # not in $( ): a closed input would take the pipe's number
    same "$rc:$(cat "$WORK/out"):$(head -n 1 "$WORK/err")" "2::stepwick-cli: $want"
}
check "no folder" refused "no folder given" "$CLI"
check "unknown option" refused "unknown option: --bogus" "$CLI" --bogus "$WORK/d"
check "unknown argument" refused "unknown option: -dashdir" "$CLI" --code X -dashdir
check "missing argument" refused "missing argument for --code" "$CLI" --code
check "two folders" refused "only one folder may be given, not also $WORK/d" "$CLI" --code x "$WORK/d" "$WORK/d"
check "slash in type" refused "the file type may not hold '/': a/b" "$CLI" --code x --ext a/b "$WORK/d"
check "missing folder, named as typed" refused "$WORK/nowhere: No such file or directory" "$CLI" --code x "$WORK/nowhere"
check "code not UTF-8" refused "the code is not valid UTF-8 text" "$CLI" --code $'\xff\xfe' "$WORK/d"
check "missing code file" refused "cannot read the code from $WORK/nofile: No such file or directory" \
    "$CLI" --code-file "$WORK/nofile" "$WORK/d"
check "code file a folder" refused "cannot read the code from $WORK/sub: Is a directory" \
    "$CLI" --code-file "$WORK/sub" "$WORK/d"
check "code file read error" refused "cannot read the code from /proc/self/mem: Input/output error" \
    "$CLI" --code-file /proc/self/mem "$WORK/d"
check "standard input closed" refused "cannot read the code from standard input: standard input is closed" \
    "$CLI" "$WORK/d" <&-
check "standard input a folder" refused "cannot read the code from standard input: Is a directory" \
    "$CLI" "$WORK/d" < "$WORK/sub"
check "another run holds the folder" refused "$WORK/d: another run is changing this folder" \
    flock "$WORK/d" "$CLI" --code x "$WORK/d"
# Without a display, make run stops before it builds and says what to do instead.
env -u DISPLAY -u WAYLAND_DISPLAY make -s -C "$(dirname "$0")/../.." run BUILD="$WORK/nobuild" > /dev/null 2> "$WORK/err"
check "make run without a display" same "$?:$(test -e "$WORK/nobuild"; echo $?)" "2:1"
check "make run without a display: says what to do" grep -q "xvfb-run make run" "$WORK/err"
LC_ALL=C.UTF-8 "$CLI" --code '中文' "$WORK/d" > /dev/null 2>&1; check "UTF-8 locale takes Chinese" same "$?" 0
check "nothing touched by refused runs" same "$(bytes "$WORK/d/a.txt")" "$(printf 'a中文\r\n' > "$WORK/e"; bytes "$WORK/e")"

# --- standard streams: a closed one never receives the log; a log that cannot be written is exit 3 ---
"$CLI" --code x "$WORK/d" <&- >&- 2>&-
check "closed streams: exit 0" same "$?" 0
check "closed streams: the files get the code, not the log" same "$(bytes "$WORK/d/a.txt")" \
    "$(printf 'a中文\r\nx\r\n' > "$WORK/e"; bytes "$WORK/e")"
for args in --help --version "--dry-run $WORK/d" "--code y $WORK/d"; do
    "$CLI" $args > /dev/full 2> "$WORK/err"
    check "full disk, $args: exit 3, said once" same "$?:$(cat "$WORK/err")" \
        "3:stepwick-cli: write error: No space left on device"
done
printf 'old' > "$WORK/d/changes.txt"
"$CLI" --head --code h "$WORK/d" > "$WORK/d/changes.txt" 2> /dev/null
check "log into a file of the run: that file is left alone" same "$?:$(cat "$WORK/d/changes.txt")" \
    "1:被处理的文件"$'\na.txt\nchanges.txt（未能处理：it is this run\'s own output）\n\n处理了1个文件。\n有1个文件未能处理。\n感谢您使用本软件！'

# --- failures and names: exit 1, one stderr line per failure, the reason in the log; names shown
# with escapes, one line each, no control sequence reaching the terminal ---
fresh
printf 'n' > "$WORK/d/"$'tab\there\033[31m\n.txt'
printf 'r' > "$WORK/d/"$'\xff\\.txt'
chmod 0444 "$WORK/d/"$'\xff\\.txt'
out=$("$CLI" --head --code x "$WORK/d" 2> "$WORK/err")
check "failure exit 1" same "$?" 1
check "failure and escaped names in the log" same "$out" '被处理的文件
tab\there\033[31m\n.txt
\377\\.txt（未能处理：read-only file）

处理了1个文件。
有1个文件未能处理。
感谢您使用本软件！'
check "failure on standard error, escaped" same "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/\\377\\\\.txt: read-only file"
check "read-only untouched" same "$(cat "$WORK/d/"$'\xff\\.txt')" "r"
check "the file keeps its name" same "$(cat "$WORK/d/"$'tab\there\033[31m\n.txt')" $'x\r\nn\r'

# --- a folder that refuses new files: the message blames the folder, not the writable target ---
if [ "$(id -u)" = 0 ]; then
    fresh
    printf 'a' > "$WORK/d/a.txt"
    chmod 0666 "$WORK/d/a.txt"; chmod 0555 "$WORK/d"; chmod 0755 "$WORK"
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$CLI" --head --code x "$WORK/d" > /dev/null 2> "$WORK/err"
    check "temporary file refused: says where" same "$?:$(cat "$WORK/err")" \
        "1:stepwick-cli: $WORK/d/a.txt: cannot create a temporary file in $WORK/d: Permission denied"
    chmod 0755 "$WORK/d"
else
    echo "skipped the temporary-file check: needs root to run as another user" >&2
fi

# --- the locale's character set: GBK (a locale built here, into a private folder) ---
mkdir -p "$WORK/locale"
if localedef -i zh_CN -f GBK "$WORK/locale/zh_CN.GBK" > /dev/null 2>&1; then
    fresh
    printf 'old\r\n' > "$WORK/d/g.txt"
    printf '\xef\xbb\xbfu8\r\n' > "$WORK/d/u.txt"
    gbk() { LOCPATH=$WORK/locale LC_ALL=zh_CN.GBK "$CLI" "$@"; }
    gbk --head --code $'\xd6\xd0\xce\xc4' "$WORK/d" > /dev/null 2>&1
    check "GBK locale: a code typed in GBK: exit 0" same "$?" 0
    gbkFile=$(printf '\xd6\xd0\xce\xc4\r\nold\r\n' > "$WORK/e"; bytes "$WORK/e")
    check "GBK locale: code in GBK" same "$(bytes "$WORK/d/g.txt")" "$gbkFile"
    check "GBK locale: UTF-8 file keeps UTF-8" same "$(bytes "$WORK/d/u.txt")" "$(printf '\xef\xbb\xbf\xe4\xb8\xad\xe6\x96\x87\r\nu8\r\n' > "$WORK/e"; bytes "$WORK/e")"
    gbk --head --once --code $'\xd6\xd0\xce\xc4' "$WORK/d" > /dev/null 2>&1
    check "GBK locale: once finds the code" same "$(bytes "$WORK/d/g.txt")" "$gbkFile"
    gbk --head --code $'\x81' "$WORK/d" > /dev/null 2> "$WORK/err"
    check "GBK locale: code not valid in GBK is refused" same "$?" 2
    check "GBK locale: says it is no GBK" grep -q "not valid GBK" "$WORK/err"
    printf '\xef\xbb\xbf\xf0\x9f\x98\x80' > "$WORK/code"
    gbk --head --code-file "$WORK/code" "$WORK/d" > /dev/null 2> "$WORK/err"
    check "GBK locale: code without a GBK form is refused" same "$?" 2
    check "GBK locale: says why" grep -q "cannot be written in GBK" "$WORK/err"
    check "GBK locale: refused codes touched nothing" same "$(bytes "$WORK/d/g.txt")" "$gbkFile"
    # The whole log in GBK: fixed texts, a GBK name, the system's reason.
    fresh
    : > "$WORK/d/"$'\xd6\xd0.txt'
    : > "$WORK/d/i.txt"
    if chattr +i "$WORK/d/i.txt" 2> /dev/null; then
        LOCPATH=$WORK/locale LC_ALL=zh_CN.GBK "$CLI" --code x "$WORK/d" > "$WORK/out" 2> /dev/null
        chattr -i "$WORK/d/i.txt"
        check "GBK locale: the log is GBK throughout" same "$(iconv -f GBK -t UTF-8 "$WORK/out")" \
            $'被处理的文件\ni.txt（未能处理：不允许的操作）\n中.txt\n\n处理了1个文件。\n有1个文件未能处理。\n感谢您使用本软件！'
    else
        echo "skipped the GBK reason check: chattr +i needs root on ext2/3/4" >&2
    fi
else
    echo "skipped the GBK checks: localedef cannot build zh_CN.GBK here (package locales missing?)" >&2
fi

# --- version (help: options_test.sh) ---
check "version" same "$("$CLI" --version)" "stepwick-cli 1.01.0011"

# --- a FIFO never hangs the run ---
fresh
mkfifo "$WORK/d/p.txt"
printf 'a' > "$WORK/d/a.txt"
out=$(timeout 20 "$CLI" --head --code x "$WORK/d" 2>/dev/null); rc=$?
check "FIFO skipped, no hang" same "$rc" 0
check "FIFO not listed" same "$out" $'被处理的文件\na.txt\n\n处理了1个文件。\n感谢您使用本软件！'

# --- many files: a closed pipe and a signal each stop a run between two files; counts past 32767 ---
fresh
for i in $(seq -w 1 40000); do : > "$WORK/d/f$i.txt"; done
changed() { grep -rl "$1" "$WORK/d" | sed 's|.*/||' | LC_ALL=C sort; }
"$CLI" --code p "$WORK/d" 2> "$WORK/err" | head -n 2 > /dev/null
check "closed pipe: exit 3, said once" same "${PIPESTATUS[0]}:$(cat "$WORK/err")" "3:stepwick-cli: write error: Broken pipe"
n=$(changed p | wc -l)
check "closed pipe: stopped early" test "$n" -lt 40000
check "closed pipe: the first files changed, the rest untouched" same "$(changed p)" "$(ls "$WORK/d" | head -n "$n")"

"$CLI" --head --code s "$WORK/d" > "$WORK/log" 2>&1 &
pid=$!
for _ in $(seq 3000); do [ "$(wc -l < "$WORK/log")" -gt 2 ] && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid"
check "interrupt: exit 130" same "$?" 130
logged=$(grep '^f' "$WORK/log")
n=$(echo "$logged" | wc -l)
check "interrupt: stopped early" test "$n" -lt 40000
check "interrupt: exactly the logged files changed" same "$(changed s)" "$logged"
check "interrupt: count, then the cancelled line" same "$(tail -n 3 "$WORK/log")" \
    "处理了${n}个文件。"$'\n已取消，其余文件未作改动。\n感谢您使用本软件！'

out=$("$CLI" --code x "$WORK/d" | tail -n 2 | head -n 1)
check "40000 files counted" same "$out" "处理了40000个文件。"
check "last file changed" same "$(bytes "$WORK/d/f40000.txt")" "$(printf 'x\r\n' > "$WORK/e"; bytes "$WORK/e")"

finish
