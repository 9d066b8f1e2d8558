#!/bin/sh
# Two builds of zeprix on the same whole runs: Pi (Chudnovsky, menu 0) and e (menu 2) in the
# standard mode at the fastest FFT size, decimal output; the runs of the two builds
# alternate, and the best of REPEAT wall times of each is kept. Prints the times and the
# ratio NEW/OLD per constant, for the whole run (start to exit, the result file written and,
# where the build syncs it, on disk) and for the computation alone (the run's own "Total
# computation time"). Run it on a quiet machine (the load average is shown).
#
# usage: bench/before_after.sh OLD_ZEPRIX NEW_ZEPRIX
#   DIGITS  digit count (default 10000000)
#   REPEAT  runs of each build (default 5)
#   CPU     the processor every run is pinned to (default 0)
set -eu

OLD=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
NEW=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
DIGITS=${DIGITS:-10000000}
REPEAT=${REPEAT:-5}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
cd "$WORK"

fastest_k() {
    awk -v d="$1" 'BEGIN { if (d <= 12288) { print 1; exit } n = 2; while (n * 12 * 1024 < d) n *= 2; print n }'
}
K=$(fastest_k "$DIGITS")
# Every run on the same processor: on a small virtual machine the two processors can run
# at different speeds, and a run moved between them says more about them than the build.
PIN=""
command -v taskset >/dev/null 2>&1 && PIN="taskset -c ${CPU:-0}"

# One whole run; prints the wall seconds and the computation seconds.
run() {
    printf '%s\n0\n%s\n%s\n0\n' "$2" "$DIGITS" "$K" > input.txt
    $PIN /usr/bin/time -f "%e" -o time.txt "$1" < input.txt > out.txt
    grep -q "The computation seems OK" out.txt || { echo "check failed: $1 menu $2" >&2; exit 1; }
    sync  # the previous run's file must not be written back during the next run
    echo "$(cat time.txt) $(sed -n 's/^Total computation time : \([0-9.]*\).*/\1/p' out.txt)"
}

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); digits $DIGITS, FFT $K k, best of $REPEAT"
for menu in 0 2; do
    wo="" wn="" co="" cn=""
    i=0
    while [ "$i" -lt "$REPEAT" ]; do
        set -- $(run "$OLD" "$menu")
        wo=$(min "$wo" "$1")
        co=$(min "$co" "$2")
        set -- $(run "$NEW" "$menu")
        wn=$(min "$wn" "$1")
        cn=$(min "$cn" "$2")
        i=$((i + 1))
    done
    name=$([ "$menu" = 0 ] && echo Pi || echo e)
    awk -v n="$name" -v wo="$wo" -v wn="$wn" -v co="$co" -v cn="$cn" 'BEGIN {
        printf "%-3s whole run: old %.2f s, new %.2f s, new/old %.3f;", n, wo, wn, wn / wo
        printf "  computation: old %.2f s, new %.2f s, new/old %.3f\n", co, cn, cn / co }'
done
