#!/bin/sh
# User constants against the Arb library (a reference only, never in the program or its
# tests): ln 2 (examples/ln2_machin: 18 atanh(1/26) - 2 atanh(1/4801) + 8 atanh(1/8749)),
# exp(1/2) (examples/exp_half) and zeta(3) (examples/zeta3), each at the digit counts given,
# the program at the fastest FFT size. Both sides are timed for the computation alone: the
# program's own "Total computation time" and Arb's call. The best of REPEAT runs is kept,
# every run pinned to one processor; run it on a quiet machine (the load is shown).
#
# needs: libflint-dev libflint-arb-dev (apt-get install), a release build of zeprix
# usage: bench/userconst_vs_arb.sh ZEPRIX [DIGITS...]      (default digits: 1000000 10000000)
#   REPEAT runs of each (default 3); CPU the processor (default 0); ZETA3_DIGITS (1000000)
set -eu

ZEPRIX=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
DIGITS=${*:-"1000000 10000000"}
REPEAT=${REPEAT:-3}
CPU=${CPU:-0}
HERE=$(cd "$(dirname "$0")" && pwd)
EXAMPLES=$HERE/../examples

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
cc -O2 -o "$WORK/arb_peer" "$HERE/arb_peer.c" -I/usr/include/flint -lflint-arb -lflint -lgmp -lm
cd "$WORK"
cp "$EXAMPLES/ln2_machin.zeprix" "$EXAMPLES/exp_half.zeprix" "$EXAMPLES/zeta3.zeprix" .

fastest_k() {
    awk -v d="$1" 'BEGIN { if (d <= 12288) { print 1; exit } n = 2; while (n * 12 * 1024 < d) n *= 2; print n }'
}
best() { sort -g | head -1; }

ours() {  # file digits -> seconds
    k=$(fastest_k "$2")
    for _ in $(seq "$REPEAT"); do
        printf '6\n%s\n0\n%s\n%s\n0\n' "$1" "$2" "$k" | taskset -c "$CPU" "$ZEPRIX" |
            sed -n 's/^Total computation time : \([0-9.]*\) seconds.*/\1/p'
        rm -f ./*.txt
    done | best
}
theirs() {  # constant digits -> seconds
    for _ in $(seq "$REPEAT"); do
        taskset -c "$CPU" "$WORK/arb_peer" "$1" "$2" | cut -d' ' -f1
    done | best
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %10s %10s %10s %8s\n' constant digits zeprix arb ratio
row() {
    z=$(ours "$1" "$3")
    a=$(theirs "$2" "$3")
    printf '%-10s %10s %10s %10s %8s\n' "$1" "$3" "$z" "$a" "$(awk -v z="$z" -v a="$a" 'BEGIN { printf "%.2f", z / a }')"
}
for d in $DIGITS; do
    row ln2_machin log2 "$d"
    row exp_half exp_half "$d"
done
row zeta3 zeta3 "${ZETA3_DIGITS:-1000000}"
