/* Reference timings for the user-constant benchmark: ln 2, exp(1/2) and zeta(3) computed by
 * the Arb library to a number of decimal digits, the computation alone timed (no output).
 * Built and run by bench/userconst_vs_arb.sh; not part of the program or its tests.
 *
 * usage: arb_peer log2|exp_half|zeta3 DIGITS
 * prints: "<seconds> <first 20 digits>" */
#include <arb.h>
#include <arb_hypgeom.h>
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
    if (argc != 3) {
        fprintf(stderr, "usage: arb_peer log2|exp_half|zeta3 DIGITS\n");
        return 2;
    }
    const double digits = atof(argv[2]);
    const slong prec = (slong)(digits * 3.3219280948873623) + 64;
    arb_t x;
    arb_init(x);
    const double t0 = now();
    if (strcmp(argv[1], "log2") == 0) {
        arb_const_log2(x, prec);
    } else if (strcmp(argv[1], "exp_half") == 0) {
        arb_set_d(x, 0.5);
        arb_exp(x, x, prec);
    } else if (strcmp(argv[1], "zeta3") == 0) {
        arb_zeta_ui(x, 3, prec);
    } else {
        fprintf(stderr, "unknown constant %s\n", argv[1]);
        return 2;
    }
    const double t1 = now();
    char* s = arb_get_str(x, 20, ARB_STR_NO_RADIUS);
    printf("%.3f %s\n", t1 - t0, s);
    flint_free(s);
    arb_clear(x);
    flint_cleanup();
    return 0;
}
