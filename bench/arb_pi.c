/* Reference timing for bench/threads.sh: Pi computed by the Arb library to a number of
 * decimal digits, then turned into a decimal string, each step timed. Not part of the
 * program or its tests; the script builds it only where the Arb headers are installed.
 *
 * usage: arb_pi DIGITS [THREADS [OUT]]
 *   THREADS  FLINT's thread count (default 1); OUT: a file for "3." and the digits
 * prints on stderr:
 *   TIMING tool=arb const=pi digits=N threads=T compute_s=... output_s=... total_s=...
 * (output_s: the conversion to decimal and the write, when OUT is given) and on stdout the
 * first and last ten digits after the point. */
#include <arb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: arb_pi DIGITS [THREADS [OUT]]\n");
        return 2;
    }
    const long digits = atol(argv[1]);
    const int threads = argc > 2 ? atoi(argv[2]) : 1;
    if (digits < 20 || threads < 1) {
        fprintf(stderr, "arb_pi: DIGITS >= 20 and THREADS >= 1 expected\n");
        return 2;
    }
    flint_set_num_threads(threads);
    /* 3.32193 bits a digit, and some guard bits so that the digits asked for are exact
     * unless a run of 9s or 0s sits at the end. */
    const slong prec = (slong)((double)(digits + 10) * 3.3219280948873623) + 64;
    arb_t x;
    arb_init(x);
    const double t0 = now();
    arb_const_pi(x, prec);
    const double t1 = now();
    /* "3." and digits + 10 decimals, no radius: the last ten dropped below. */
    char* s = arb_get_str(x, digits + 11, ARB_STR_NO_RADIUS);
    const size_t len = strlen(s);
    if (len < (size_t)digits + 2 || strncmp(s, "3.", 2) != 0) {
        fprintf(stderr, "arb_pi: unexpected string of %zu characters\n", len);
        return 1;
    }
    s[digits + 2] = '\0';
    if (argc > 3) {
        FILE* f = fopen(argv[3], "w");
        if (!f || fputs(s, f) < 0 || fputc('\n', f) < 0 || fclose(f) != 0) {
            fprintf(stderr, "arb_pi: cannot write %s\n", argv[3]);
            return 1;
        }
    }
    const double t2 = now();
    printf("%.10s...%s\n", s + 2, s + digits + 2 - 10);
    fprintf(stderr,
            "TIMING tool=arb const=pi digits=%ld threads=%d compute_s=%.3f output_s=%.3f "
            "total_s=%.3f\n",
            digits, threads, t1 - t0, t2 - t1, t2 - t0);
    flint_free(s);
    arb_clear(x);
    flint_cleanup();
    return 0;
}
