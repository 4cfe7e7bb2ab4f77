#!/usr/bin/env bash
# Benchmarks of stepwick-cli against the floor (bench/floor.c: the cheapest rewrite, no flush)
# and against cp plus a flush, on data made here, on the disk. Each pair runs alternately
# (A B A B ...) on fresh copies; the ratio column is the median of the per-round ratios.
# Usage: bench/run.sh [rounds]      (rounds >= 5; default 5)
#        CASES=14 bench/run.sh      runs only cases 1 and 4 (default: all, 123456789)
#        BENCH_ROWS=1 bench/run.sh  also prints each round's figures (stderr)
#        BASELINE=other/stepwick-cli CASES=0 bench/run.sh
#                                   case 1's head with this build against another, side by side
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-5}
CASES=${CASES:-123456789}
want() { [[ $CASES == *$1* ]]; }
[ "$ROUNDS" -ge 5 ] || { echo "at least 5 rounds" >&2; exit 2; }
BUILD=build-bench
DATA=$PWD/build/bench-data
CODE='<!-- Copyright (c) Morlend Inc. 2026 -->'   # 40 bytes
NEW_CODE='<!-- Copyright (c) Morlend Inc. 2027 -->' # what case 8 puts in CODE's stead
[ ${#CODE} -eq 40 ] || { echo "code must be 40 bytes" >&2; exit 2; }
REMOVED=$PWD/build/.bench-removed # when a bench last removed its data
trap 'rm -rf "$DATA"; touch "$REMOVED"' EXIT

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DSTEPWICK_BUILD_TESTS=OFF -DSTEPWICK_BUILD_BENCH=ON > /dev/null
cmake --build "$BUILD" -j "$(nproc)" --target stepwick-cli gui_bench floor durable_floor measure paste_bench > /dev/null
CLI=$PWD/$BUILD/stepwick-cli
GUI=$PWD/$BUILD/gui_bench
PASTE=$PWD/$BUILD/paste_bench
FLOOR=$PWD/$BUILD/floor
DURABLE_FLOOR=$PWD/$BUILD/durable_floor
MEASURE=$PWD/$BUILD/measure
mkdir -p "$DATA"

say() { echo "... $*" >&2; }
# ext4 without a journal does not reuse an inode freed in the last minute (the last six while its
# table block is unwritten): it steps over each such inode every time it creates a file. Right
# after another bench's removal every run pays that on every file it writes, a small folder most.
wait_for_freed_inodes() {
    local age
    [ -e "$REMOVED" ] || return 0
    age=$(($(date +%s) - $(stat -c %Y "$REMOVED")))
    if [ "$age" -lt 360 ]; then
        say "the last bench removed its data $age s ago: waiting $((360 - age)) s until its inodes can be reused"
        sleep $((360 - age))
    fi
}
# Removing many files keeps this disk busy for a minute or more after rm returns (each freed block
# is discarded): a case waits, at most three minutes, until the last ten seconds were quiet.
quiet_disk() {
    local i
    [ -r /proc/pressure/io ] || return 0
    for i in $(seq 1 180); do
        awk '/^some/ {split($2, a, "="); exit !(a[2] < 2)}' /proc/pressure/io && return 0
        sleep 1
    done
    say "the disk is still busy; measuring anyway"
}
timed() { "$MEASURE" "$@"; } # prints "wall-seconds cpu-seconds peakKiB" (bench/measure.c)
median() { sort -g | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { echo "$1 / $2" | bc -l; }

make_small_files() { # folder count
    local dir=$1 n=$2
    rm -rf "$dir"; mkdir -p "$dir"
    # 4 KiB of CR LF text: 64 lines of 62 characters + CR LF; written by the shell itself.
    local line body i
    line=$(printf '%061d' 0 | tr 0 x)
    body=$(for i in $(seq 1 64); do printf '%s%02d\r\n' "${line:0:60}" "$i"; done)
    for i in $(seq -w 1 "$n"); do printf '%s' "$body" > "$dir/page$i.txt"; done
}

fresh_copy() { # template target
    rm -rf "$2"
    cp -a "$1" "$2"
    sync
}

# Rows: "wallA wallB cpuA cpuB peakA peakB" per round; "-" where a figure was not measured.
report() { # name, file of rows
    local name=$1 f=$2
    col() { cut -d' ' -f"$1" "$f"; }
    local ma mb wr cr pa pb
    ma=$(col 1 | median); mb=$(col 2 | median)
    wr=$(awk '{print $1 / $2}' "$f" | median)
    if [ "$(col 3 | head -n 1)" = - ]; then cr=-; else cr=$(awk '{print $3 / $4}' "$f" | median); fi
    mib() { if [ "$1" = - ]; then echo -; else printf '%.1f MiB' "$(echo "$1 / 1024" | bc -l)"; fi; }
    pa=$(mib "$(col 5 | sort -n | tail -n 1)"); pb=$(mib "$(col 6 | sort -n | tail -n 1)")
    [ "$cr" = - ] || cr=$(printf '%.2f' "$cr")
    printf '%-40s %9.3f s %9.3f s %6.2f %6s %12s %12s\n' "$name" "$ma" "$mb" "$wr" "$cr" "$pa" "$pb"
    MEDIAN_A=$ma
}

# A and B alternate, each on a fresh copy. The copies stay until the bench ends (see case 4).
pairs=0
pair_case() { # name template cmdA cmdB
    local name=$1 template=$2 a=$3 b=$4 f wa ca pa wb cb pb w
    quiet_disk
    say "$name"
    f=$(mktemp)
    for r in $(seq 1 "$ROUNDS"); do
        w=$DATA/pair$((pairs += 1))
        fresh_copy "$template" "$w-a"
        read -r wa ca pa < <($a "$w-a")
        fresh_copy "$template" "$w-b"
        read -r wb cb pb < <($b "$w-b")
        echo "$wa $wb $ca $cb $pa $pb" >> "$f"
    done
    [ -z "${BENCH_ROWS:-}" ] || cat "$f" >&2
    report "$name" "$f"
    rm -f "$f"
}

head_cli() { timed "$CLI" --head --code "$CODE" "$1"; }
foot_cli() { timed "$CLI" --foot --code "$CODE" "$1"; }
replace_cli() { timed "$CLI" --head --replace "$CODE" --code "$NEW_CODE" "$1"; }
before_body_cli() { timed "$CLI" --before '</body>' --code "$CODE" "$1"; }
head_floor() { timed "$FLOOR" head "$1" "$CODE"; }
head_baseline() { timed "$BASELINE" --head --code "$CODE" "$1"; }
foot_floor() { timed "$FLOOR" foot "$1" "$CODE"; }
# Another program's download: 4 GB written and not yet flushed when the run starts. Once it is
# removed, the disk gets a few seconds to write what is left of it (on a virtual disk, also what
# the host holds) before the quiet round.
busy() { # command folder: the command run while 4 GB wait unflushed
    dd if=/dev/zero of="$DATA/busy" bs=1M count=4000 status=none
    "$1" "$2"
    rm -f "$DATA/busy"
    sync; sleep 5
}
durable_floor() { timed "$DURABLE_FLOOR" "$1" "$CODE"; }
busy_head_cli() { busy head_cli "$1"; }
busy_durable_floor() { busy durable_floor "$1"; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), data on $(df -h "$DATA" | awk 'NR==2 {print $1}') ($(findmnt -no FSTYPE -T "$DATA")), load $(cut -d' ' -f1-3 /proc/loadavg)"

if want 4; then
# 4, first, before the other cases remove their copies: time per file as the folder grows; the
# three sizes take turns in every round, so that the disk's drift between minutes falls on all of
# them alike. Copies of every case stay until the bench ends: ext4 without a journal makes every
# new file step over the inodes freed in the last minutes in its folder's block group, so removing
# 100,000 files right before a run of 1,000 would measure the removal, not the run. For the same
# reason each size has a parent folder of its own: the old files a 100,000-file run frees are not
# in the block group where the next 1,000-file run makes its new ones.
wait_for_freed_inodes
say "4 growth: making 1,000, 10,000 and 100,000 files"
sizes="1000 10000 100000"
for n in $sizes; do make_small_files "$DATA/size$n/grow" "$n"; done
quiet_disk
for r in $(seq 1 "$ROUNDS"); do
    for n in $sizes; do
        fresh_copy "$DATA/size$n/grow" "$DATA/size$n/work$r"
        read -r t _ < <(head_cli "$DATA/size$n/work$r")
        echo "$t" >> "$DATA/.grow$n"
        [ -z "${BENCH_ROWS:-}" ] || echo "round $r: $n files $t s" >&2
    done
done
printf '%-40s %11s %13s\n' "growth (head)" "median" "per file"
for n in $sizes; do
    m=$(median < "$DATA/.grow$n")
    us=$(echo "$m * 1000000 / $n" | bc -l)
    printf '%-40s %9.3f s %10.1f us\n' "4 head $n files" "$m" "$us"
    echo "$us" >> "$DATA/.perfile"
done
printf '%-40s %11s %10.2f\n' "4 slowest / fastest per file" "" "$(sort -g "$DATA/.perfile" | awk 'NR==1 {lo=$1} {hi=$1} END {print hi/lo}')"
fi

if want 0 && [ ! -x "${BASELINE:-}" ]; then echo "case 0 needs BASELINE=<another stepwick-cli>" >&2; exit 2; fi
if [[ $CASES == *[01235689]* ]]; then
    echo
    printf '%-40s %11s %11s %6s %6s %12s %12s\n' "case" "stepwick" "other" "ratio" "cpu" "peak stepwick" "peak other"
fi
if want 0 || want 1 || want 2 || want 5 || want 6 || want 8 || want 9; then say "making 10,000 files of 4 KiB"; make_small_files "$DATA/small10k" 10000; fi
if want 1; then pair_case "1 head 10k x 4 KiB vs floor" "$DATA/small10k" head_cli head_floor; QUIET=$MEDIAN_A; fi
if want 0; then pair_case "0 head 10k vs baseline build" "$DATA/small10k" head_cli head_baseline; fi
# 8 and 9: case 1's files with CODE at their head, and with a </body> line at their end; each
# against a head run on the same files.
if want 8; then
    fresh_copy "$DATA/small10k" "$DATA/held10k" && "$CLI" --head --code "$CODE" "$DATA/held10k" > /dev/null
    pair_case "8 replace head 10k vs head" "$DATA/held10k" replace_cli head_cli
fi
if want 9; then
    fresh_copy "$DATA/small10k" "$DATA/body10k" && "$CLI" --foot --code '</body>' "$DATA/body10k" > /dev/null
    pair_case "9 before </body> 10k vs head" "$DATA/body10k" before_body_cli head_cli
fi
if want 2; then pair_case "2 foot 10k x 4 KiB vs floor" "$DATA/small10k" foot_cli foot_floor; fi
if want 6; then
    pair_case "6 head 10k, 4 GB unflushed vs quiet" "$DATA/small10k" busy_head_cli head_cli
    # Case 6's quiet rounds follow the removal of the busy rounds' 4 GB, which slows them too; case
    # 1's rounds of the same run follow no such removal.
    if [ -n "${QUIET:-}" ]; then
        printf '%-40s %9.3f s %9.3f s %6.2f\n' "6 busy vs case 1's quiet rounds" "$MEDIAN_A" "$QUIET" \
            "$(ratio "$MEDIAN_A" "$QUIET")"
    fi
    # What this disk allows: where a flush of the whole file system would write the 4 GB too, each
    # new file is flushed alone, which costs even the floor of a durable head.
    pair_case "6 durable floor, 4 GB unflushed vs quiet" "$DATA/small10k" busy_durable_floor durable_floor
    pair_case "6 head, 4 GB unflushed vs durable floor" "$DATA/small10k" busy_head_cli busy_durable_floor
fi

if want 3; then
# 3: one 1 GiB file; each round rewrites the same file (it grows by one line a round), against
# cp and a flush of the copy: the floor of any durable rewrite.
quiet_disk
say "3 head 1 GiB vs cp + sync"
big=$DATA/big
rm -rf "$big"; mkdir -p "$big"
{ yes 'The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGH.' | sed 's/$/\r/' | head -c 1073741824 > "$big/huge.txt"; } || true
f=$(mktemp)
for r in $(seq 1 "$ROUNDS"); do
    sync
    read -r wa ca pa < <(timed "$CLI" --head --code "$CODE" "$big")
    sync
    read -r wb cb pb < <(timed bash -c 'cp "$1" "$2" && sync "$2"' _ "$big/huge.txt" "$big/huge.copy")
    rm -f "$big/huge.copy"
    echo "$wa $wb $ca $cb $pa $pb" >> "$f"
done
report "3 head 1 GiB vs cp + sync" "$f"
rm -f "$f"; rm -rf "$big"
fi

if want 5; then
# 5: the same 10,000-file head run started from the main window (offscreen), against the tool.
# The window runs twice, the second time with the first run's 10,000 lines already in its log.
quiet_disk
say "5 window vs tool"
f=$(mktemp); g=$(mktemp)
for r in $(seq 1 "$ROUNDS"); do
    w=$DATA/window$r
    fresh_copy "$DATA/small10k" "$w-1"; fresh_copy "$DATA/small10k" "$w-2"
    /usr/bin/time -o "$DATA/.time" -f '%M' env QT_QPA_PLATFORM=offscreen "$GUI" "$CODE" "$w-1" "$w-2" \
        > "$DATA/.gui" 2> /dev/null
    read -r ga gb lines < "$DATA/.gui"
    pg=$(tail -n 1 "$DATA/.time")
    fresh_copy "$DATA/small10k" "$w-tool"
    read -r tc cc pc < <(head_cli "$w-tool")
    echo "$ga $tc - - $pg $pc" >> "$f"
    echo "$gb $ga - - - -" >> "$g"
done
report "5 window vs tool, head 10k" "$f"
report "5 window 2nd run vs 1st (log)" "$g"
rm -f "$f" "$g"
fi

if want 7; then
# 7: a code of 10 million characters on one line pasted into the code window (offscreen), then
# 20 characters typed into the middle of a normal code of 10,000 lines, each shown before the next.
say "7 code window, 10 MB line pasted, keys in 10,000 lines"
f=$(mktemp)
for r in $(seq 1 "$ROUNDS"); do
    env QT_QPA_PLATFORM=offscreen "$PASTE" 10 2> /dev/null | awk '{print $2, $6}' >> "$f"
done
echo
printf '%-40s %9.3f s\n' "7 paste 10 MB line (median)" "$(cut -d' ' -f1 "$f" | median)"
printf '%-40s %9.4f s\n' "7 keystroke in 10k lines (median)" "$(cut -d' ' -f2 "$f" | median)"
rm -f "$f"
fi
