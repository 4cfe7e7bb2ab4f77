#!/usr/bin/env bash
# stepwick-cli under a low open-file limit, without /proc, and with a large code: every file
# changed, nothing left behind, memory bounded by the code's size.
set -u
CLI=${1:?usage: odd_systems_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
files() { # N files holding "x" CR LF
    fresh; for i in $(seq 1 "$1"); do printf 'x\r\n' > "$WORK/d/f$i.txt"; done
}
leftovers() { ls -A "$WORK/d" | grep -c '^\.stepwick-'; }

# ulimit -n 40 sets the soft and the hard limit: the run must not ask for more.
files 300
for pos in head foot; do
    out=$( (ulimit -n 40 && "$CLI" --$pos --code C "$WORK/d") 2>&1)
    expect "ulimit -n 40, $pos" "$?:$(tail -2 <<<"$out" | head -1)" "0:处理了300个文件。"
done
holds "ulimit -n 40: bytes" "$WORK/d/f300.txt" 'C\r\nx\r\nC\r\n'

if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    files 20
    out=$(unshare -m sh -c 'umount /proc && exec "$0" --head --code P "$1"' "$CLI" "$WORK/d" 2>&1)
    expect "no /proc" "$?:$(tail -2 <<<"$out" | head -1):$(leftovers)" "0:处理了20个文件。:0"
    holds "no /proc: bytes" "$WORK/d/f7.txt" 'P\r\nx\r\n'
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
    expect "20 MiB code, $args: KiB of memory within bounds" "$([ "$kb" -le $(((3 * 20 + 32) * 1024)) ] && echo yes || echo "$kb")" yes
done
expect "20 MiB code: size of f1.txt, nothing left" "$(stat -c %s "$WORK/d/f1.txt"):$(leftovers)" "$((2 * (20 * 1024 * 1024 + 2) + 3)):0"
finish
