#!/bin/sh
# Zeprix on 1 and on 2 threads (ZEPRIX_THREADS), against the GMP baseline and Arb: whole
# runs of Pi and e, best of REPEAT, then the FFT product against mpz_mul.
#
# usage: bench/threads.sh [ZEPRIX]
#   ZEPRIX   the zeprix executable (default: $ZEPRIX, else build/release/src/zeprix)
#   DIGITS   digit counts (default "10000000"; e.g. "10000000 100000000")
#   CONSTS   constants (default "pi e")
#   THREADS  thread counts (default "1 2"); the first is the reference of the speed-up
#   FFT_K    FFT size in k for every size (default: the program's own choice, the fastest
#            size of the dialogue's table that fits in memory)
#   REPEAT   turns (default 1): each turn runs every thread count once, in order; the rows
#            show the best of the turns, and with REPEAT > 1 the ratio of every turn and
#            their mean (the machine's speed drifts: a turn compares runs minutes apart)
#   PEER     the GMP baseline program built from peer_gmp_chud.c (see the peers' README:
#            cc -O2 -march=native <peers>/peer_gmp_chud.c -o /tmp/peer_gmp_chud -lgmp -lm);
#            unset: no baseline
#   ARB      1: Arb's Pi (bench/arb_pi.c, built here when the Arb headers are installed;
#            Debian: libflint-arb-dev, or libflint-dev with FLINT 3), at the sizes of
#            ARB_DIGITS (default "100000000", or DIGITS when it has no 10^8); 0: none
#            (default 1); ARB_THREADS FLINT's threads (default 1)
#   PROBE_MB sizes in MB of the arrays of memory_probe (next to the executable:
#            ../bench/memory_probe), run before and after the rest (default "16 128", the
#            transform arrays at 10^7 and 10^8 digits); 0: none
#   MUL      1: bench_fft_mul (next to the executable: ../bench/bench_fft_mul) with each
#            thread count at MUL_DIGITS (default DIGITS); 0: none (default 1)
#
# Zeprix runs its command line (`zeprix CONST DIGITS --mode 0 [--fft K]`) in an empty
# directory, pinned with taskset to as many processors as it has threads when there are
# that many (no pinning otherwise). Printed per row: the wall time from start to exit
# (digits written), the program's own "Total computation time" (the computation alone),
# the speed-up over the first thread count, and for the last thread count the ratios
# zeprix/baseline and zeprix/Arb: zeprix's wall time over the total_s the baselines report
# (their computation, the conversion to decimal and the write of the digits to a file).
# The baselines' digits are compared with zeprix's (first and last ten). Run it on a quiet
# machine: the load average is shown. Every file goes into a temporary directory that is
# removed at the end.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ZEPRIX=${1:-${ZEPRIX:-build/release/src/zeprix}}
DIGITS=${DIGITS:-10000000}
CONSTS=${CONSTS:-"pi e"}
THREADS=${THREADS:-"1 2"}
FFT_K=${FFT_K:-}
REPEAT=${REPEAT:-1}
PEER=${PEER:-}
ARB=${ARB:-1}
ARB_THREADS=${ARB_THREADS:-1}
MUL=${MUL:-1}
MUL_DIGITS=${MUL_DIGITS:-$DIGITS}
PROBE_MB=${PROBE_MB:-"16 128"}
if [ -z "${ARB_DIGITS:-}" ]; then
    ARB_DIGITS=100000000
    case " $DIGITS " in *" 100000000 "*) ;; *) ARB_DIGITS=$DIGITS ;; esac
fi

abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[ -x "$ZEPRIX" ] || { echo "not executable: $ZEPRIX" >&2; exit 2; }
ZEPRIX=$(abs "$ZEPRIX")
if [ -n "$PEER" ]; then
    [ -x "$PEER" ] || { echo "PEER not executable: $PEER" >&2; exit 2; }
    PEER=$(abs "$PEER")
fi
MULBENCH=$(dirname "$ZEPRIX")/../bench/bench_fft_mul
PROBE=$(dirname "$ZEPRIX")/../bench/memory_probe
CPUS=$(nproc)

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
cd "$WORK"

# "taskset -c 0-(T-1)" when the machine has T processors, else nothing.
pin() {
    if [ "$1" -le "$CPUS" ] && command -v taskset >/dev/null; then
        echo "taskset -c 0-$(($1 - 1))"
    fi
}
# Wall seconds of "$@" (its output into out.txt, its errors into err.txt).
wall() {
    t0=$(date +%s.%N)
    "$@" > out.txt 2> err.txt || { echo "failed: $*" >&2; tail -5 out.txt err.txt >&2; exit 1; }
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
# True when $1 is empty or more than $2.
above() { [ -z "$1" ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a + 0 > b + 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
# The first and last ten decimals of a zeprix result file.
# (head and tail: awk takes a minute over a line of 10^8 digits)
ends() {
    sed -n '/ = [0-9]*\.$/,$p' "$1" | sed 's/:.*//' | tr -cd '0-9' > ends.txt
    echo "$(head -c 11 ends.txt | tail -c 10)...$(tail -c 10 ends.txt)"
}

arb_exe=""
if [ "$ARB" = 1 ]; then
    # Arb 2 (its own headers and library) or FLINT 3 (arb.h among FLINT's headers).
    for flags in "-lflint-arb -lflint" "-lflint"; do
        # shellcheck disable=SC2086
        if cc -O2 -o arb_pi "$HERE/arb_pi.c" -I/usr/include/flint $flags -lgmp -lm 2>/dev/null; then
            arb_exe=$WORK/arb_pi
            break
        fi
    done
    [ -n "$arb_exe" ] || echo "Arb not installed (libflint-arb-dev or libflint-dev): no Arb column"
fi

echo "machine: $CPUS processors, $(uname -m); load average:$(uptime | sed 's/.*average://')"
# What a second processor adds to streaming through memory right now, at the sizes of the
# transform arrays at 10^7 and 10^8 digits: the ceiling of the speed-up of the large
# transforms (shown again at the end, since it drifts).
# shellcheck disable=SC2086
probe() { [ "$PROBE_MB" = 0 ] || ! [ -x "$PROBE" ] || "$PROBE" $PROBE_MB | sed 's/^/# /'; }
probe
printf '%-5s %-10s %6s %7s %9s %9s %7s %9s %7s %9s %7s\n' const digits fft threads wall_s \
    compute_s speedup peer_s z/peer arb_s z/arb
for const in $CONSTS; do
    for d in $DIGITS; do
        fft=""
        [ -n "$FFT_K" ] && fft="--fft $FFT_K"
        first="" peer_t="" arb_t="" want=""
        # The baselines first (their digits are the reference of the check).
        if [ -n "$PEER" ]; then
            for _ in $(seq "$REPEAT"); do
                $(pin 1) "$PEER" "$const" "$d" peer.txt 2> peer_err.txt
                t=$(sed -n 's/.*total_s=\([0-9.]*\).*/\1/p' peer_err.txt)
                if above "$peer_t" "$t"; then peer_t=$t; fi
            done
            tr -cd '0-9' < peer.txt > ends.txt
            want="$(head -c 10 ends.txt)...$(tail -c 10 ends.txt)"
            rm -f peer.txt
        fi
        arb_here=""
        case " $ARB_DIGITS " in *" $d "*) [ "$const" = pi ] && arb_here=$arb_exe ;; esac
        if [ -n "$arb_here" ]; then
            for _ in $(seq "$REPEAT"); do
                got=$($(pin "$ARB_THREADS") "$arb_exe" "$d" "$ARB_THREADS" arb.txt 2> arb_err.txt)
                t=$(sed -n 's/.*total_s=\([0-9.]*\).*/\1/p' arb_err.txt)
                if above "$arb_t" "$t"; then arb_t=$t; fi
            done
            rm -f arb.txt
            if [ -n "$want" ] && [ "$got" != "$want" ]; then
                echo "Arb and the baseline disagree at $d digits: $got / $want" >&2; exit 1
            fi
            want=$got
        fi
        last=$(echo "$THREADS" | awk '{ print $NF }')
        # The thread counts take turns (1, 2, 1, 2, ...), so that a drift of the machine's
        # speed over minutes falls on both alike; each turn's ratio first/last is kept.
        pairs=""
        for _ in $(seq "$REPEAT"); do
            turn_first=""
            for th in $THREADS; do
                rm -f ./*.txt
                # shellcheck disable=SC2046,SC2086
                t=$(wall env ZEPRIX_THREADS="$th" $(pin "$th") "$ZEPRIX" "$const" "$d" --mode 0 $fft)
                c=$(sed -n 's/^Total computation time : \([0-9.]*\) seconds.*/\1/p' out.txt)
                got=$(ends "$const.txt")
                k=$(sed -n 's/^Size of FFT : \([0-9]*\) K$/\1/p' "$const.txt")
                if [ -n "$want" ] && [ "$got" != "$want" ]; then
                    echo "zeprix ($th threads) and the baselines disagree at $d digits of $const:" \
                        "$got / $want" >&2
                    exit 1
                fi
                eval "b=\${best_$th:-}"
                if above "$b" "$t"; then eval "best_$th=$t comp_$th=$c"; fi
                eval "all_$th=\"\${all_$th:-} $t\""
                turn_first=${turn_first:-$t}
                [ "$th" = "$last" ] && pairs="$pairs $(ratio "$turn_first" "$t")"
            done
        done
        first=""
        for th in $THREADS; do
            eval "best=\$best_$th comp=\$comp_$th"
            unset "best_$th" "comp_$th"
            first=${first:-$best}
            zp="-" za="-"
            if [ "$th" = "$last" ]; then
                [ -n "$peer_t" ] && zp=$(ratio "$best" "$peer_t")
                [ -n "$arb_t" ] && za=$(ratio "$best" "$arb_t")
            fi
            printf '%-5s %-10s %5sk %7s %9s %9s %7s %9s %7s %9s %7s\n' "$const" "$d" "$k" "$th" \
                "$best" "$comp" "$(ratio "$first" "$best")" "${peer_t:--}" "$zp" "${arb_t:--}" "$za"
        done
        if [ "$REPEAT" -gt 1 ]; then
            echo "$pairs" | awk -v c="$const" -v d="$d" '{ s = 0; for (i = 1; i <= NF; i++) s += $i;
                printf "      turns of %s %s, wall first/last:%s  mean %.2f\n", c, d, $0, s / NF }'
            # The median wall time of each thread count, and first/last of the medians: one
            # slow or fast turn moves neither.
            meds=""
            for th in $THREADS; do
                eval "list=\$all_$th"
                # shellcheck disable=SC2086
                m=$(echo $list | tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 }
                    END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
                unset "all_$th"
                meds="$meds $m"
            done
            echo "$meds" | awk -v t="$THREADS" '{ printf "      median wall (threads %s):%s  first/last %.2f\n", t, $0, $1 / $NF }'
        fi
        rm -f ./*.txt
    done
done

if [ "$MUL" = 1 ]; then
    if [ -x "$MULBENCH" ]; then
        echo
        echo "FFT product (MulBigInt) against mpz_mul, best of 3 (mpz_mul on one thread):"
        for th in $THREADS; do
            # shellcheck disable=SC2086
            ZEPRIX_THREADS=$th $(pin "$th") "$MULBENCH" $MUL_DIGITS --benchmark_repetitions=3 \
                > mul.txt 2>&1 || { cat mul.txt >&2; exit 1; }
            grep '^RATIO' mul.txt
        done
    else
        echo "no $MULBENCH (a release build with the benchmarks): no product timings"
    fi
fi
probe
echo "load average after:$(uptime | sed 's/.*average://')"
