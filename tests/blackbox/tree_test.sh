#!/usr/bin/env bash
# Black-box checks of stepwick-cli -r over trees: the order of the walk, what it does not enter (hidden
# folders, links, mounts, a folder reached twice), folders it cannot read, deep trees and few
# descriptors, and runs whose trees overlap.
set -u
CLI=${1:?usage: tree_test.sh path/to/stepwick-cli}
. "$(dirname "$0")/checks.sh"
unmount() { for m in "$WORK"/d/mnt "$WORK"/d/bound "$WORK"/d/again; do umount "$m" 2> /dev/null; done; }
trap 'unmount; clear "$WORK"' EXIT
L=$'被处理的文件\n'
T=$'感谢您使用本软件！'
root=no
[ "$(id -u)" = 0 ] && root=yes
# Root reads any folder: a run goes as another user so that a shut folder stays shut. That user runs a
# copy of the program from the scratch folder, which it can reach wherever the build lies.
cp "$CLI" "$WORK/cli" && chmod 0755 "$WORK" "$WORK/cli"
as_user() { if [ $root = yes ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi; }

# --- name order, files before subfolders; hidden folders, links and mounts not entered; a folder
# that cannot be read is one folder's failure ---
fresh
mkdir -p "$WORK/d/b/c" "$WORK/d/Z" "$WORK/d/.git" "$WORK/d/locked" "$WORK/d/mnt" "$WORK/d/bound" \
    "$WORK/d/again" "$WORK/outside"
for f in d/a.txt d/b/a.txt d/b/c/c.txt d/Z/z.txt d/.git/g.txt d/locked/l.txt outside/o.txt; do
    printf 'o\r\n' > "$WORK/$f"
done
ln -s "$WORK/outside" "$WORK/d/link"
chmod -R a+rwX "$WORK/d" "$WORK/outside"
chmod 0 "$WORK/d/locked"
# Another file system, a folder from outside bound in (same device), and a folder of the tree bound
# in a second time.
mounted=no
if [ $root = yes ] && mount -t tmpfs stepwick-test "$WORK/d/mnt" 2> /dev/null &&
    mount --bind "$WORK/outside" "$WORK/d/bound" && mount --bind "$WORK/d/b" "$WORK/d/again"; then
    printf 'o\r\n' > "$WORK/d/mnt/m.txt"; chmod -R a+rwX "$WORK/d/mnt"; mounted=yes
else
    echo "skipped the mount checks: mounting needs root" >&2
fi
out=$(as_user "$WORK/cli" -r --code X "$WORK/d" 2> "$WORK/err")
expect "-r: exit and log" "$?:$out" "1:${L}"$'a.txt\nb/a.txt\nb/c/c.txt\nlocked/（未能处理：Permission denied）\nZ/z.txt\n\n处理了4个文件。\n有1个文件夹未能处理。\n'"$T"
expect "-r: stderr names the folder" "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/locked/: Permission denied"
holds "-r: a file reached through two folders gets the code once" "$WORK/d/b/a.txt" 'o\r\nX\r\n'
holds "-r: a folder bound in from outside is not entered" "$WORK/outside/o.txt" 'o\r\n'
[ $mounted = yes ] && holds "-r: another file system is not entered" "$WORK/d/mnt/m.txt" 'o\r\n'
printf 'n\r\n' > "$WORK/d/b/c/n.txt"
out=$(as_user "$WORK/cli" -r --once --dry-run --code X "$WORK/d" 2> /dev/null)
expect "-r --dry-run --once lists paths, changes nothing; the shut folder fails" "$?:$out:$(cat "$WORK/d/b/c/n.txt")" $'1:b/c/n.txt:n\r'
exec 9< "$WORK/d/Z" && flock 9 # as another run holds it
out=$(as_user "$WORK/cli" -r --dry-run --code X "$WORK/d" 2>&1 > /dev/null)
exec 9<&-
expect "-r --dry-run: a folder another run holds is named" \
    "$(grep -c "^stepwick-cli: $WORK/d/Z/: another run is changing this folder$" <<<"$out")" 1
printf 'n\r\nX\r\n' > "$WORK/d/b/c/n.txt"
out=$(as_user "$WORK/cli" -r --check --code X "$WORK/d/" 2> "$WORK/err")
expect "-r --check: every file read holds the code, but a folder could not be read" "$?:$out:$(cat "$WORK/err")" \
    "1::stepwick-cli: $WORK/d/locked/: Permission denied"
unmount

# --- deep trees: 10,000 levels, paths far past the system's limit, few descriptors ---
# A command run inside the folder depth levels of d/ below the first argument; env -C steps a
# hundred levels at a time, as no single path may be longer than the system allows.
HUNDRED=$(printf 'd/%.0s' $(seq 100))
inside() { # folder depth command...
    local at=(env -C "$1") depth=$2
    shift 2
    for _ in $(seq $((depth / 100))); do at+=(env -C "$HUNDRED"); done
    [ $((depth % 100)) -gt 0 ] && at+=(env -C "$(printf 'd/%.0s' $(seq $((depth % 100))))")
    "${at[@]}" "$@"
}
mkdir "$WORK/deep" && (cd "$WORK/deep" && mkdir -p "$(printf 'd/%.0s' $(seq 10000))")
inside "$WORK/deep" 10000 sh -c 'printf "o\r\n" > a.txt'
out=$( (ulimit -n 40 && "$CLI" -r --code X "$WORK/deep") 2>&1)
expect "10,000 levels: exit, the file's path, the count" "$?:$(sed -n 2p <<<"$out"):$(tail -2 <<<"$out" | head -1)" \
    "0:$(printf 'd/%.0s' $(seq 10000))a.txt:处理了1个文件。"
holds "10,000 levels: the deepest file" <(inside "$WORK/deep" 10000 cat a.txt) 'o\r\nX\r\n'
# A file on each of 60 levels: each folder's files and its batches within the same few descriptors.
p="$WORK/sixty"
for i in $(seq 60); do mkdir "$p" && printf 'o\r\n' > "$p/f.txt"; p="$p/d"; done
for pos in head foot; do
    out=$( (ulimit -n 40 && "$CLI" -r --$pos --code X "$WORK/sixty") 2>&1)
    expect "ulimit -n 40, 60 levels, $pos" "$?:$(tail -2 <<<"$out" | head -1)" "0:处理了60个文件。"
done
holds "ulimit -n 40, 60 levels: the deepest file" "$WORK/sixty/$(printf 'd/%.0s' $(seq 59))f.txt" 'X\r\no\r\nX\r\n'

# --- runs whose trees overlap: the second is refused at once and touches nothing ---
# n/sub holds enough files that the first run's log fills the pipe it writes to: that run holds its
# folders until the test reads the rest.
long=$(printf 'x%.0s' $(seq 250))
mkdir -p "$WORK/n/sub/$long/$long" "$WORK/n/side"
for i in $(seq 1100); do printf 'o\n' > "$WORK/n/sub/$long/$long/f$i.txt"; done
printf 'o\n' > "$WORK/n/side/s.txt"
held() { # first folder, second folder, what the second run should say and exit with
    beside_first "$CLI" -r --code FIRST "$WORK/$1" -- "$CLI" -r --code SECOND "$WORK/$2"
    expect "$1 held, run on $2" "$held_status:$(cat "$WORK/err")" "$3"
}
busy="another run is changing this folder"
held n n "2:stepwick-cli: $WORK/n: $busy"
held n n/sub "2:stepwick-cli: $WORK/n/sub: $busy"
held n/sub n "2:stepwick-cli: $WORK/n: $busy"
expect "refused runs touched nothing" "$(grep -rl SECOND "$WORK/n")" ""
held n/sub n/side "0:"
holds "runs side by side both go on" "$WORK/n/side/s.txt" 'o\nFIRST\r\nFIRST\r\nSECOND\r\n'
holds "every first run changed its files once" "$WORK/n/sub/$long/$long/f1100.txt" 'o\nFIRST\r\nFIRST\r\nFIRST\r\nFIRST\r\n'

finish
