#!/bin/sh
# The disk memory modes (1 basic, 2 advanced with NTT products) against the standard mode
# (0) at the same FFT size: Pi (Chudnovsky, menu 0) and e (menu 2), each run pinned to one
# processor, the best of REPEAT.
# Prints the computation times and their ratio, the peak resident memory (/usr/bin/time)
# against the dialogue's "Mem=" estimate, and the largest disk space the run's directory
# took (polled every 20 ms) against the "MemDisk=" estimate. Run it on a quiet machine.
#
# usage: bench/disk_mode_vs_memory.sh ZEPRIX [DIGITS [FFT_K]]   (default 10000000 512)
#        MODES="0 1 2" MENUS="0 2" REPEAT=2 CPU=0 in the environment choose the runs.
set -eu
ZEPRIX=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
DIGITS=${2:-10000000}
K=${3:-512}
REPEAT=${REPEAT:-2}
MODES=${MODES:-0 1 2}
MENUS=${MENUS:-0 2}
CPU=${CPU:-0}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
cd "$WORK"

# one run: prints "<seconds> <peak RSS KB> <peak disk KB>"
run() {
    input=$1
    rm -rf run && mkdir run && cd run
    (while :; do du -sk . 2>/dev/null | cut -f1; sleep 0.02; done) > ../disk.txt &
    poll=$!
    printf "$input" | /usr/bin/time -f "%M" -o ../rss.txt taskset -c "$CPU" "$ZEPRIX" > ../out.txt
    kill $poll 2>/dev/null || true
    cd ..
    t=$(sed -n 's/^Total computation time : \([0-9.]*\) seconds.*/\1/p' out.txt)
    echo "$t $(cat rss.txt) $(sort -n disk.txt | tail -1)"
}
best() { sort -g | head -1; }

estimate() {  # menu mode -> "Mem= MemDisk=" of the row K
    printf "%s\n%s\n%s\n" "$1" "$2" "$DIGITS" | "$ZEPRIX" 2>/dev/null |
        sed -n "s/^FFT Size= *$K k, Mem=\([0-9]*\) K\(, MemDisk=\([0-9]*\) k\)\{0,1\}.*/\1 \3/p" | head -1
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $DIGITS digits, FFT $K k"
printf '%-4s %5s %9s %9s %11s %9s %11s %9s\n' what mode seconds ratio "peak RSS" "est." "peak disk" "est."
for menu in $MENUS; do
    name=$([ $menu = 0 ] && echo Pi || echo e)
    base=""
    for mode in $MODES; do
        input="$menu\n$mode\n$DIGITS\n$K\n0\n"
        [ $mode != 0 ] && input="${input}0\n"
        results=$(for _ in $(seq "$REPEAT"); do run "$input"; done)
        t=$(echo "$results" | cut -d' ' -f1 | best)
        rss=$(echo "$results" | cut -d' ' -f2 | sort -n | tail -1)
        dsk=$(echo "$results" | cut -d' ' -f3 | sort -n | tail -1)
        est=$(estimate $menu $mode)
        [ -z "$base" ] && base=$t
        printf '%-4s %5s %9s %9s %9s K %7s K %9s K %7s K\n' "$name" "$mode" "$t" \
            "$(awk -v a="$t" -v b="$base" 'BEGIN { printf "%.2f", a / b }')" "$rss" \
            "$(echo "$est" | cut -d' ' -f1)" "$dsk" "$(echo "$est" | cut -d' ' -f2)"
    done
done
