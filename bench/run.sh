#!/usr/bin/env bash
# Benchmarks of stepwick-cli against GNU sed and cp, on data made here, on the disk.
# Each pair runs alternately (A B A B ...) on fresh copies of the data; medians are printed.
# Usage: bench/run.sh [rounds]      (rounds >= 5; default 5)
#        CASES=14 bench/run.sh      runs only cases 1 and 4 (default: all, 12345)
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-5}
CASES=${CASES:-12345}
want() { [[ $CASES == *$1* ]]; }
[ "$ROUNDS" -ge 5 ] || { echo "at least 5 rounds" >&2; exit 2; }
BUILD=build-bench
DATA=$PWD/build/bench-data
CODE='<!-- Copyright (c) Morlend Inc. 2026 -->'   # 40 bytes
[ ${#CODE} -eq 40 ] || { echo "code must be 40 bytes" >&2; exit 2; }

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DSTEPWICK_BUILD_TESTS=OFF -DSTEPWICK_BUILD_BENCH=ON > /dev/null
cmake --build "$BUILD" -j "$(nproc)" --target stepwick-cli gui_bench > /dev/null
CLI=$PWD/$BUILD/stepwick-cli
GUI=$PWD/$BUILD/gui_bench
mkdir -p "$DATA"

now() { date +%s.%N; }
timed() { # prints "seconds peakKiB" with sub-millisecond wall time
    local t0 t1 rss
    t0=$(now)
    /usr/bin/time -o "$DATA/.rss" -f '%M' "$@" > /dev/null 2> /dev/null || true
    t1=$(now)
    rss=$(tail -n 1 "$DATA/.rss")
    echo "$(echo "$t1 - $t0" | bc -l) $rss"
}
median() { sort -g | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

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

report() { # name, file with lines "a b ratio rssA rssB"
    local name=$1 f=$2
    local ma mb mr ra rb
    ma=$(cut -d' ' -f1 "$f" | median); mb=$(cut -d' ' -f2 "$f" | median)
    mr=$(cut -d' ' -f3 "$f" | median)
    ra=$(cut -d' ' -f4 "$f" | sort -n | tail -n 1); rb=$(cut -d' ' -f5 "$f" | sort -n | tail -n 1)
    printf '%-34s %9.3f s %9.3f s %7.3f %9.1f MiB %9.1f MiB\n' "$name" "$ma" "$mb" "$mr" \
        "$(echo "$ra / 1024" | bc -l)" "$(echo "$rb / 1024" | bc -l)"
}

pair_case() { # name template cmdA-function cmdB-function
    local name=$1 template=$2 a=$3 b=$4
    local f; f=$(mktemp)
    for r in $(seq 1 "$ROUNDS"); do
        fresh_copy "$template" "$DATA/work"
        read -r ta rssa < <($a "$DATA/work")
        fresh_copy "$template" "$DATA/work"
        read -r tb rssb < <($b "$DATA/work")
        echo "$ta $tb $(echo "$ta / $tb" | bc -l) $rssa $rssb" >> "$f"
    done
    report "$name" "$f"
    rm -f "$f"
}

head_cli() { timed "$CLI" --head --code "$CODE" "$1"; }
foot_cli() { timed "$CLI" --foot --code "$CODE" "$1"; }
head_sed() { timed bash -c 'sed -i "1i\\$0" "$1"/*.txt' "$CODE" "$1"; }
foot_sed() { timed bash -c 'sed -i "\$a\\$0" "$1"/*.txt' "$CODE" "$1"; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(sed --version | head -n 1), data on $(df -h "$DATA" | awk 'NR==2 {print $1}')"
printf '%-34s %11s %11s %7s %13s %13s\n' "case" "stepwick" "other" "ratio" "peak stepwick" "peak other"

if want 1 || want 2 || want 5; then make_small_files "$DATA/small10k" 10000; fi
if want 1; then pair_case "1 head 10k x 4 KiB vs sed 1i" "$DATA/small10k" head_cli head_sed; fi
if want 2; then pair_case "2 foot 10k x 4 KiB vs sed \$a" "$DATA/small10k" foot_cli foot_sed; fi

if want 3; then
# 3: one 1 GiB file; each round rewrites the same file (it grows by one line a round).
# cp leaves its copy in memory for later writing; stepwick puts the new file on disk before it
# replaces the old one, so "cp + sync" (the floor of a copy that is on disk) is shown as well.
big=$DATA/big
rm -rf "$big"; mkdir -p "$big"
{ yes 'The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGH.' | sed 's/$/\r/' | head -c 1073741824 > "$big/huge.txt"; } || true
sync
f=$(mktemp); g=$(mktemp)
for r in $(seq 1 "$ROUNDS"); do
    sync
    read -r ta rssa < <(timed "$CLI" --head --code "$CODE" "$big")
    sync
    read -r tb rssb < <(timed cp "$big/huge.txt" "$big/huge.copy")
    rm -f "$big/huge.copy"; sync
    read -r tc rssc < <(timed bash -c 'cp "$1" "$2" && sync "$2"' _ "$big/huge.txt" "$big/huge.copy")
    rm -f "$big/huge.copy"
    echo "$ta $tb $(echo "$ta / $tb" | bc -l) $rssa $rssb" >> "$f"
    echo "$ta $tc $(echo "$ta / $tc" | bc -l) $rssa $rssc" >> "$g"
done
report "3 head 1 GiB vs cp" "$f"
report "3 head 1 GiB vs cp + sync" "$g"
rm -f "$f" "$g"
rm -rf "$big"
fi

if want 5; then
# 5: the same 10,000-file head run started from the main window (offscreen), against the tool.
# The window runs twice, the second time with the first run's 10,000 lines already in its log.
f=$(mktemp); g=$(mktemp)
for r in $(seq 1 "$ROUNDS"); do
    fresh_copy "$DATA/small10k" "$DATA/work1"; fresh_copy "$DATA/small10k" "$DATA/work2"
    read -r ga gb lines < <(QT_QPA_PLATFORM=offscreen "$GUI" "$CODE" "$DATA/work1" "$DATA/work2" 2>/dev/null)
    rm -rf "$DATA/work1" "$DATA/work2"
    fresh_copy "$DATA/small10k" "$DATA/work"
    read -r tc rssc < <(head_cli "$DATA/work")
    echo "$ga $tc $(echo "$ga / $tc" | bc -l) 0 $rssc" >> "$f"
    echo "$gb $ga $(echo "$gb / $ga" | bc -l) 0 0" >> "$g"
done
report "5 window vs tool, head 10k" "$f"
report "5 window 2nd run vs 1st (log)" "$g"
rm -f "$f" "$g"
fi

if want 4; then
# 4: time per file as the folder grows.
echo
printf '%-34s %11s %13s\n' "growth (head)" "median" "per file"
for n in 1000 10000 100000; do
    make_small_files "$DATA/grow" "$n"
    sync
    f=$(mktemp)
    for r in $(seq 1 "$ROUNDS"); do
        sync
        read -r t _ < <(timed "$CLI" --head --code "$CODE" "$DATA/grow")
        echo "$t" >> "$f"
    done
    m=$(median < "$f")
    printf '%-34s %9.3f s %10.1f us\n' "4 head $n files" "$m" "$(echo "$m * 1000000 / $n" | bc -l)"
    rm -f "$f"
done
fi
rm -rf "$DATA/grow" "$DATA/work"
