// The test series of the series tests: sum_{n>=1} prod_{i<=n} a(i)/q(i) with a(n) = -(n + 2)
// (the sign in a, as for user series) and q(n) = qScale n + 7, summed in GMP.
#pragma once

#include "support/test_support.hpp"

namespace zeprix::test {

struct Abc {
    Mpz A{1L}, P{0L}, Q{1L};
};

// The block of terms n0 + 1 .. n1 by the one-term recurrence P_k = P_{k-1} q(k) + A_k,
// A_k = A_{k-1} a(k), Q_k = Q_{k-1} q(k).
inline Abc Recurrence(double n0, double n1, long qScale = 3) {
    Abc r;
    for (double k = n0 + 1; k <= n1; k += 1) {
        const long q = qScale * static_cast<long>(k) + 7;
        mpz_mul_si(r.P.v, r.P.v, q);
        mpz_mul_si(r.A.v, r.A.v, -static_cast<long>(k + 2));
        mpz_add(r.P.v, r.P.v, r.A.v);
        mpz_mul_si(r.Q.v, r.Q.v, q);
    }
    return r;
}

}  // namespace zeprix::test
