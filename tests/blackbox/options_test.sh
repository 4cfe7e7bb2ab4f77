#!/usr/bin/env bash
# Black-box checks that each run option reaches the run (once, remove, check, after-preamble, eol,
# -r) and of a code file read by its byte-order mark: log, exit status, bytes.
set -u
CLI=${1:?usage: options_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
chmod 0755 "$WORK"
trap 'umount "$WORK/d/mnt" 2>/dev/null; clear "$WORK"' EXIT
L=$'被处理的文件\n'
T=$'感谢您使用本软件！'

# --- check: names what lacks the code, exit 1; 0 when all hold it or nothing matched ---
fresh b.txt 'x\r\nb\r\n' c.txt 'c\r\n'
out=$("$CLI" --check --head --code x "$WORK/d")
expect "check: lists what lacks it, exit 1" "$?:$out" "1:c.txt"
holds "check: changed nothing" "$WORK/d/c.txt" 'c\r\n'
"$CLI" --check --foot --code x --ext none "$WORK/d" > /dev/null
expect "check: nothing matched: exit 0" "$?" 0
"$CLI" --head --once --code x "$WORK/d" > /dev/null
chmod 0444 "$WORK/d/b.txt"
out=$("$CLI" --check --head --code x "$WORK/d")
expect "once, then check: all hold it, a read-only file too" "$?:$out" "0:"
holds "once: added where it lacked" "$WORK/d/c.txt" 'x\r\nc\r\n'

# --- remove: the inverse, files without the code named and not counted ---
chmod 0644 "$WORK/d/b.txt"
printf 'c\r\n' > "$WORK/d/c.txt"
out=$("$CLI" --head --remove --code x "$WORK/d")
expect "remove: log" "$?:$out" "0:${L}"$'b.txt\nc.txt（未含此代码）\n\n处理了1个文件。\n'"$T"
holds "remove: bytes" "$WORK/d/b.txt" 'b\r\n'

# --- after-preamble and eol: a script with a code in front still runs, with LF breaks ---
fresh s.sh '#!/bin/sh\necho "$PWD"\n'
"$CLI" --head --after-preamble --eol match --ext sh --code 'cd /tmp' "$WORK/d" > /dev/null
holds "preamble + match" "$WORK/d/s.sh" '#!/bin/sh\ncd /tmp\necho "$PWD"\n'
"$CLI" --foot --eol lf --code $'1\n2' --ext sh "$WORK/d" > /dev/null
expect "eol lf: foot" "$(tail -c 4 "$WORK/d/s.sh" | od -An -c | tr -s ' ')" " 1 \n 2 \n"
"$CLI" --help > "$WORK/help"
for o in --code-file --once --remove --check --after-preamble '--eol crlf|lf|match' '-r, --recursive'; do
    expect "help names $o" "$(grep -qF -- "$o" "$WORK/help" && echo yes)" yes
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
out=$(as_user "$CLI" -r --code X "$WORK/d" 2> "$WORK/err")
expect "-r: exit and log" "$?:$out" "1:${L}"$'a.txt\nb/a.txt\nb/c/c.txt\nlocked/（未能处理：Permission denied）\nZ/z.txt\n\n处理了4个文件。\n有1个文件未能处理。\n'"$T"
expect "-r: stderr names the folder" "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/locked/: Permission denied"
if [ $mounted = yes ]; then
    holds "-r: mount point not entered" "$WORK/d/mnt/m.txt" 'o\r\n'
else
    echo "skipped the mount point check: cannot mount a tmpfs here" >&2
fi
printf 'n\r\n' > "$WORK/d/b/c/n.txt"
out=$(as_user "$CLI" -r --once --dry-run --code X "$WORK/d" 2> /dev/null)
expect "-r --dry-run --once lists paths, changes nothing; the locked folder fails" "$?:$out:$(cat "$WORK/d/b/c/n.txt")" $'1:b/c/n.txt:n\r'
umount "$WORK/d/mnt" 2> /dev/null

# --- a code file by its byte-order mark, whatever the locale (GBK: cli_test.sh) ---
fresh g.txt 'old\r\n'
printf '\xff\xfe\x2d\x4e\x87\x65' > "$WORK/code16"
LC_ALL=C "$CLI" --code-file "$WORK/code16" "$WORK/d" > /dev/null
holds "C locale: UTF-16 code file by its mark" "$WORK/d/g.txt" 'old\r\n\xe4\xb8\xad\xe6\x96\x87\r\n'
finish
