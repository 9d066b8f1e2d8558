#!/bin/sh
# Two builds of zeprix on the same whole runs: Pi (Chudnovsky, menu 0) and e (menu 2) in the
# standard mode at the fastest FFT size, decimal output; the runs of the two builds
# alternate, and the best of REPEAT wall times of each is kept. Prints the times and the
# ratio NEW/OLD per constant. Run it on a quiet machine (the load average is shown).
#
# usage: bench/before_after.sh OLD_ZEPRIX NEW_ZEPRIX
#   DIGITS  digit count (default 10000000)
#   REPEAT  runs of each build (default 5)
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

# One whole run; prints the wall seconds.
run() {
    printf '%s\n0\n%s\n%s\n0\n' "$2" "$DIGITS" "$K" > input.txt
    /usr/bin/time -f "%e" -o time.txt "$1" < input.txt > out.txt
    grep -q "The computation seems OK" out.txt || { echo "check failed: $1 menu $2" >&2; exit 1; }
    cat time.txt
}

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); digits $DIGITS, FFT $K k, best of $REPEAT"
for menu in 0 2; do
    best_old=""
    best_new=""
    i=0
    while [ "$i" -lt "$REPEAT" ]; do
        best_old=$(min "$best_old" "$(run "$OLD" "$menu")")
        best_new=$(min "$best_new" "$(run "$NEW" "$menu")")
        i=$((i + 1))
    done
    name=$([ "$menu" = 0 ] && echo Pi || echo e)
    awk -v n="$name" -v o="$best_old" -v w="$best_new" \
        'BEGIN { printf "%-3s old %.2f s  new %.2f s  new/old %.3f\n", n, o, w, w / o }'
done
