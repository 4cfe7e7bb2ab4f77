#!/usr/bin/env bash
# Black-box checks of stepwick-cli's run options (once, remove, check, after-preamble, eol, -r),
# the three-letter extensions and a code file read by its byte-order mark: log, exit status, bytes.
set -u
CLI=${1:?usage: options_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
chmod 0755 "$WORK"
trap 'umount "$WORK/d/mnt" 2>/dev/null; clear "$WORK"' EXIT
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }
L=$'被处理的文件\n'
T=$'感谢您使用本软件！'

# --- once: the second run changes nothing; dry run lists only what lacks the code ---
fresh
printf 'a\r\n' > "$WORK/d/a.txt"
printf 'x\r\nb\r\n' > "$WORK/d/b.txt"
check "once: dry run lists what lacks it" same "$("$CLI" --head --once --dry-run --code x "$WORK/d")" "a.txt"
out=$("$CLI" --head --once --code x "$WORK/d"); rc=$?
check "once: log" same "$out" "${L}a.txt"$'\nb.txt（已含此代码，未再添加）\n\n处理了1个文件。\n有1个文件已含此代码，未再添加。\n'"$T"
check "once: exit 0" same "$rc" 0
check "once: bytes" same "$(hex "$WORK/d/a.txt")" "$(printf 'x\r\na\r\n' > "$WORK/e"; hex "$WORK/e")"
touch -d '2001-01-01' "$WORK/d/a.txt"
"$CLI" --head --once --code x "$WORK/d" > /dev/null
check "once: second run leaves the mtime" same "$(stat -c %Y "$WORK/d/a.txt")" "$(date -d 2001-01-01 +%s)"

# --- check: names what lacks the code, exit 1; 0 when all hold it or nothing matched ---
printf 'c\r\n' > "$WORK/d/c.txt"
out=$("$CLI" --check --head --code x "$WORK/d"); rc=$?
check "check: lists what lacks it" same "$out" "c.txt"
check "check: exit 1" same "$rc" 1
check "check: changed nothing" same "$(cat "$WORK/d/c.txt")" $'c\r'
"$CLI" --check --foot --code x --ext none "$WORK/d" > /dev/null; check "check: nothing matched: exit 0" same "$?" 0
rm "$WORK/d/c.txt"
chmod 0444 "$WORK/d/b.txt"
out=$("$CLI" --check --head --code x "$WORK/d"); rc=$?
check "check: all hold it, a read-only file too" same "$rc:$out" "0:"
chmod 0644 "$WORK/d/b.txt"
"$CLI" --check --remove --code x "$WORK/d" > /dev/null 2>&1; check "check with remove: usage error" same "$?" 2

# --- remove: the exact inverse, files without the code named and not counted ---
out=$("$CLI" --head --remove --code x "$WORK/d"); rc=$?
check "remove: log" same "$rc:$out" "0:${L}"$'a.txt\nb.txt\n\n处理了2个文件。\n'"$T"
check "remove: a.txt as before" same "$(hex "$WORK/d/a.txt")" "$(printf 'a\r\n' > "$WORK/e"; hex "$WORK/e")"
out=$("$CLI" --head --remove --code x "$WORK/d")
check "remove: nothing left to remove" same "$out" "${L}"$'a.txt（未含此代码）\nb.txt（未含此代码）\n\n处理了0个文件。\n'"$T"
printf 'f\nx\r\n' > "$WORK/d/f.txt"
"$CLI" --foot --remove --code x "$WORK/d" > /dev/null
check "remove: foot cut back" same "$(hex "$WORK/d/f.txt")" "$(printf 'f\n' > "$WORK/e"; hex "$WORK/e")"

# --- after-preamble and eol match: a script with a code in front still runs, with LF breaks ---
fresh
printf '#!/bin/sh\necho "$PWD"\n' > "$WORK/d/s.sh"
printf '<?xml version="1.0"?>\n<!DOCTYPE html>\n<html/>' > "$WORK/d/p.htm"
"$CLI" --head --after-preamble --eol match --ext sh --code 'cd /tmp' "$WORK/d" > /dev/null
check "preamble + match: script runs" same "$(sh "$WORK/d/s.sh")" "/tmp"
check "preamble + match: bytes" same "$(cat "$WORK/d/s.sh")" $'#!/bin/sh\ncd /tmp\necho "$PWD"'
"$CLI" --head --after-preamble --code '<s/>' --ext htm "$WORK/d" > /dev/null
check "preamble: XML declaration and DOCTYPE stay first" same "$(hex "$WORK/d/p.htm")" \
    "$(printf '<?xml version="1.0"?>\n<!DOCTYPE html>\n<s/>\r\n<html/>\r\n' > "$WORK/e"; hex "$WORK/e")"
"$CLI" --foot --eol lf --code $'1\n2' --ext htm "$WORK/d" > /dev/null
check "eol lf: foot" same "$(tail -c 4 "$WORK/d/p.htm" | od -An -c | tr -s ' ')" " 1 \n 2 \n"
"$CLI" --eol cr --code x "$WORK/d" > /dev/null 2>&1; check "eol: unknown value: exit 2" same "$?" 2
"$CLI" --help > "$WORK/help"
for o in --code-file --once --remove --check --after-preamble '--eol crlf|lf|match' '-r, --recursive'; do
    check "help names $o" grep -qF -- "$o" "$WORK/help"
done

# --- three-letter extensions take longer ones; others and wildcards match exactly ---
fresh
for n in a.htm b.html c.HTMLX d.ht e.xhtml f.asp g.aspx h.php5; do : > "$WORK/d/$n"; done
# What the core's own tests match by type, seen through the option: case, longer types, wildcards.
for want in 'HTM:a.htm b.html c.HTMLX ' 'asp:f.asp g.aspx ' 'php:h.php5 ' 'h?m:a.htm '; do
    check "--ext ${want%%:*}" same "$("$CLI" --dry-run --ext "${want%%:*}" --code x "$WORK/d" | tr '\n' ' ')" "${want#*:}"
done

# --- -r: name order, files before subfolders, hidden folders, links, mounts, unreadable ones ---
fresh
mkdir -p "$WORK/d/b/c" "$WORK/d/Z" "$WORK/d/.git" "$WORK/d/locked" "$WORK/d/mnt" "$WORK/outside"
for f in d/a.txt d/b/a.txt d/b/c/c.txt d/Z/z.txt d/.git/g.txt d/locked/l.txt outside/o.txt; do printf 'o\r\n' > "$WORK/$f"; done
ln -s "$WORK/outside" "$WORK/d/link"
chmod -R a+rwX "$WORK/d" "$WORK/outside"
chmod 0 "$WORK/d/locked"
mounted=no
if [ "$(id -u)" = 0 ] && mount -t tmpfs stepwick-test "$WORK/d/mnt" 2> /dev/null; then
    printf 'o\r\n' > "$WORK/d/mnt/m.txt"; chmod -R a+rwX "$WORK/d/mnt"; mounted=yes
fi
# Root reads any folder: the run goes as another user so that "locked" stays shut.
as_user() { if [ "$(id -u)" = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi; }
out=$(as_user "$CLI" -r --code X "$WORK/d" 2> "$WORK/err"); rc=$?
check "-r: log" same "$out" "${L}"$'a.txt\nb/a.txt\nb/c/c.txt\nlocked/（未能处理：Permission denied）\nZ/z.txt\n\n处理了4个文件。\n有1个文件未能处理。\n'"$T"
check "-r: exit 1" same "$rc" 1
check "-r: stderr names the folder" same "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/locked/: Permission denied"
check "-r: subfolder file changed" same "$(cat "$WORK/d/b/c/c.txt")" $'o\r\nX\r'
check "-r: hidden folder, link target untouched" same "$(cat "$WORK/d/.git/g.txt" "$WORK/outside/o.txt")" $'o\r\no\r'
if [ $mounted = yes ]; then
    check "-r: mount point not entered" same "$(cat "$WORK/d/mnt/m.txt")" $'o\r'
else
    echo "skipped the mount point check: cannot mount a tmpfs here" >&2
fi
check "-r --check lists paths" same "$(as_user "$CLI" -r --check --code X --ext txt "$WORK/d" 2> /dev/null)" ""
printf 'n\r\n' > "$WORK/d/b/c/n.txt"
check "-r --dry-run --once lists paths" same "$(as_user "$CLI" -r --once --dry-run --code X "$WORK/d" 2> /dev/null)" "b/c/n.txt"
umount "$WORK/d/mnt" 2> /dev/null

# --- a code file by its byte-order mark, whatever the locale (GBK: cli_test.sh) ---
fresh
printf 'old\r\n' > "$WORK/d/g.txt"
printf '\xff\xfeu\x00\r\x00\n\x00' > "$WORK/d/w.txt"
printf '\xff\xfe\x2d\x4e\x87\x65' > "$WORK/code16"
LC_ALL=C "$CLI" --code-file "$WORK/code16" "$WORK/d" > /dev/null
check "C locale: UTF-16 code file by its mark" same "$(hex "$WORK/d/g.txt")" "$(printf 'old\r\n\xe4\xb8\xad\xe6\x96\x87\r\n' > "$WORK/e"; hex "$WORK/e")"
check "UTF-16 file gets UTF-16" same "$(hex "$WORK/d/w.txt")" "fffe75000d000a002d4e87650d000a00"
finish
