#!/bin/sh
# Pi and sqrt(2) against the GMP baseline: whole runs through a pipe, best of REPEAT, same
# session.
#
# usage: bench/pi_vs_peer.sh [ZEPRIX [PEER]]
#   ZEPRIX  the zeprix executable (default: $ZEPRIX, else build/release/src/zeprix)
#   PEER    the baseline built from peer_gmp_chud.c (default: $PEER, else
#           build/release/peer_gmp_chud); build it with
#           cc -O2 -march=native <peers>/peer_gmp_chud.c -o build/release/peer_gmp_chud -lgmp -lm
#   PI_DIGITS    Pi digit counts (default "1000000 10000000")
#   SQRT2_DIGITS sqrt(2) digit counts (default "10000000")
#   REPEAT       runs each (default 3)
#
# Zeprix runs menu 0 (Pi, Chudnovsky) or 4 (sqrt(2)), standard mode, the fastest FFT size,
# decimal output; the baseline computes the same constant (Chudnovsky binary splitting,
# or the integer square root) and writes its digits to a file. Both are timed from start
# to exit (wall clock). Printed per size: the times, the ratio zeprix/baseline (the target
# is <= 0.7), zeprix's split (Pi: series, division, inverse square root, final product;
# sqrt(2): the square root and the squaring of the verification) and its output share (the
# whole run minus the computation it reports: start-up, check and the decimal file), its
# peak memory against the estimate of the dialogue, and the baseline's peak memory. Run it
# on a quiet machine: the load average is shown.
set -eu

ZEPRIX=${1:-${ZEPRIX:-build/release/src/zeprix}}
PEER=${2:-${PEER:-build/release/peer_gmp_chud}}
PI_DIGITS=${PI_DIGITS:-"1000000 10000000"}
SQRT2_DIGITS=${SQRT2_DIGITS:-"10000000"}
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

# The seconds of a line "LABEL : x" of the run's output ("-" when missing).
field() {
    v=$(sed -n "s/^$1 : \([0-9.]*\).*/\1/p" out.txt | head -1)
    echo "${v:--}"
}

# bench CONST MENU DIGITS: one row.
bench() {
    const=$1 menu=$2 d=$3
    k=$(fastest_k "$d")
    best_z=""; best_p=""
    for _ in $(seq "$REPEAT"); do
        rm -f pi.txt sqrt2.txt
        set -- $(timed sh -c "printf '$menu\n0\n$d\n$k\n0\n' | '$ZEPRIX' > out.txt")
        ok="The computation seems OK"
        [ "$const" = sqrt2 ] && ok="The computation is OK"
        if ! grep -q "$ok" out.txt; then
            echo "zeprix failed at $d digits of $const:" >&2; tail -5 out.txt >&2; exit 1
        fi
        if [ -z "$best_z" ] || awk -v a="$1" -v b="$best_z" 'BEGIN { exit !(a < b) }'; then
            best_z=$1; mem_z=$2
            if [ "$const" = pi ]; then
                s1=$(field "Series computing time"); s2=$(field "Division time")
                s3=$(field "InvSqrt time"); s4=$(field "Final huge multiplication time")
            else
                s1=$(field "Time of sqrt(2) computation"); s2=$(field "Squaring Time"); s3=-; s4=-
            fi
            total=$(sed -n 's/^Total computation time : \([0-9.]*\) seconds.*/\1/p' out.txt)
            estimate=$(sed -n "s/^FFT Size= *$k k, Mem=\([0-9]*\) K.*/\1/p" out.txt)
        fi
        set -- $(timed "$PEER" "$const" "$d" peer.txt 2> peer_err.txt)
        if [ -z "$best_p" ] || awk -v a="$1" -v b="$best_p" 'BEGIN { exit !(a < b) }'; then
            best_p=$1; mem_p=$2
        fi
    done
    output=$(awk -v w="$best_z" -v c="$total" 'BEGIN { printf "%.2f", w - c }')
    ratio=$(awk -v z="$best_z" -v p="$best_p" 'BEGIN { printf "%.2f", z / p }')
    printf '%-6s %-9s %8s %8s %6s | %6s %6s %6s %6s %6s | %8s %8s %8s\n' "$const" "$d" \
        "$best_z" "$best_p" "$ratio" "$s1" "$s2" "$s3" "$s4" "$output" "$mem_z" "$estimate" "$mem_p"
}

echo "machine: $(nproc) cores, $(uname -m); load average:$(uptime | sed 's/.*average://')"
echo "split: pi = series, division, invsqrt, final product, output; sqrt2 = sqrt, squaring, -, -, output"
printf '%-6s %-9s %8s %8s %6s | %6s %6s %6s %6s %6s | %8s %8s %8s\n' const digits zeprix_s \
    gmp_s ratio t1 t2 t3 t4 output zep_kB est_kB gmp_kB
for d in $PI_DIGITS; do bench pi 0 "$d"; done
for d in $SQRT2_DIGITS; do bench sqrt2 4 "$d"; done
echo "load average after:$(uptime | sed 's/.*average://')"
