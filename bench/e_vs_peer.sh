#!/bin/sh
# e against the GMP baseline: whole runs through a pipe, best of REPEAT, same session.
#
# usage: bench/e_vs_peer.sh [ZEPRIX [PEER]]
#   ZEPRIX  the zeprix executable (default: $ZEPRIX, else build/release/src/zeprix)
#   PEER    the baseline built from peer_gmp_chud.c (default: $PEER, else
#           build/release/peer_gmp_chud); build it with
#           cc -O2 -march=native <peers>/peer_gmp_chud.c -o build/release/peer_gmp_chud -lgmp -lm
#   DIGITS  digit counts (default "1000000 10000000"), REPEAT runs each (default 3).
#
# Zeprix runs menu 2 (sum 1/n!), standard mode, the fastest FFT size, decimal output into
# e.txt; the baseline computes e and writes its digits to a file. Both are timed from
# start to exit (wall clock). Printed per size: the times, the ratio zeprix/baseline (the
# target is <= 0.7), zeprix's split into series, division and output (the rest: start-up,
# check and the decimal file), its peak memory against the estimate of the dialogue, and
# the baseline's peak memory. Run it on a quiet machine: the load average is shown.
set -eu

ZEPRIX=${1:-${ZEPRIX:-build/release/src/zeprix}}
PEER=${2:-${PEER:-build/release/peer_gmp_chud}}
DIGITS=${DIGITS:-"1000000 10000000"}
REPEAT=${REPEAT:-3}

for exe in "$ZEPRIX" "$PEER"; do
    [ -x "$exe" ] || { echo "not executable: $exe" >&2; exit 2; }
done
ZEPRIX=$(cd "$(dirname "$ZEPRIX")" && pwd)/$(basename "$ZEPRIX")
PEER=$(cd "$(dirname "$PEER")" && pwd)/$(basename "$PEER")

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
cd "$WORK"

# Fastest FFT size in k offered by the dialogue: the smallest power of two n >= 2 with
# n * 12 * 1024 >= digits (1 up to 12288 digits).
fastest_k() {
    awk -v d="$1" 'BEGIN { if (d <= 12288) { print 1; exit } n = 2; while (n * 12 * 1024 < d) n *= 2; print n }'
}

# Runs "$@" under /usr/bin/time; prints "seconds peak_kb".
timed() {
    /usr/bin/time -f "%e %M" -o time.txt "$@"
    cat time.txt
}

echo "machine: $(nproc) cores, $(uname -m); load average:$(uptime | sed 's/.*average://')"
printf '%-10s %8s %8s %7s | %7s %7s %7s | %9s %9s %9s\n' digits zeprix_s gmp_s ratio \
    series division output zep_kB est_kB gmp_kB

for d in $DIGITS; do
    k=$(fastest_k "$d")
    best_z=""; best_p=""
    for _ in $(seq "$REPEAT"); do
        rm -f e.txt
        set -- $(timed sh -c "printf '2\n0\n$d\n$k\n0\n' | '$ZEPRIX' > out.txt")
        if ! grep -q "The computation seems OK" out.txt; then
            echo "zeprix failed at $d digits:" >&2; tail -5 out.txt >&2; exit 1
        fi
        if [ -z "$best_z" ] || awk -v a="$1" -v b="$best_z" 'BEGIN { exit !(a < b) }'; then
            best_z=$1; mem_z=$2
            series=$(sed -n 's/^Series computing time : //p' out.txt)
            division=$(sed -n 's/^Division time : //p' out.txt)
            total=$(sed -n 's/^Total computation time : \([0-9.]*\) seconds.*/\1/p' out.txt)
            estimate=$(sed -n "s/^FFT Size= *$k k, Mem=\([0-9]*\) K.*/\1/p" out.txt)
        fi
        set -- $(timed "$PEER" e "$d" peer.txt 2> peer_err.txt)
        if [ -z "$best_p" ] || awk -v a="$1" -v b="$best_p" 'BEGIN { exit !(a < b) }'; then
            best_p=$1; mem_p=$2
        fi
    done
    # Zeprix's output share: the whole run minus the computation it reports.
    output=$(awk -v w="$best_z" -v c="$total" 'BEGIN { printf "%.2f", w - c }')
    ratio=$(awk -v z="$best_z" -v p="$best_p" 'BEGIN { printf "%.2f", z / p }')
    printf '%-10s %8s %8s %7s | %7s %7s %7s | %9s %9s %9s\n' "$d" "$best_z" "$best_p" "$ratio" \
        "$series" "$division" "$output" "$mem_z" "$estimate" "$mem_p"
done
