// Digits of constants by GMP alone (the tests' independent oracle), "I.DDD" truncated to
// the requested number of decimals.
#include "support/gmp_constants.hpp"

#include <cmath>

#include "support/test_support.hpp"

namespace zeprix::test {

namespace {

using Leaf = void (*)(unsigned long a, unsigned long q, mpz_t P, mpz_t Q, mpz_t T);
// Binary splitting of sum_{a < k < b} of the terms that leaf describes (T = P * coefficient;
// blocks join as T = T1 Q2 + P1 T2, P = P1 P2, Q = Q1 Q2).
void Split(unsigned long a, unsigned long b, unsigned long q, Leaf leaf, mpz_t P, mpz_t Q,
           mpz_t T) {
    if (b - a == 1) return leaf(a, q, P, Q, T);
    const unsigned long m = (a + b) / 2;
    Mpz P2, Q2, T2;
    Split(a, m, q, leaf, P, Q, T);
    Split(m, b, q, leaf, P2.v, Q2.v, T2.v);
    mpz_mul(T, T, Q2.v);
    mpz_addmul(T, T2.v, P);
    mpz_mul(Q, Q, Q2.v);
    mpz_mul(P, P, P2.v);
}

std::string WithPoint(const Mpz& x) {
    std::string s = x.str();
    s.insert(s.begin() + 1, '.');
    return s;
}

}  // namespace

// exp(1/q) = sum_{k>=0} 1/(k! q^k); the terms past K below 10^-(digits + 20).
std::string GmpExp(long digits, unsigned long q) {
    unsigned long K = 2;
    for (double lf = 0; lf <= (static_cast<double>(digits) + 20) * std::log(10.0); ++K)
        lf += std::log(static_cast<double>(K * q));
    Mpz P, Q, T;
    Split(
        0, K, q,
        [](unsigned long a, unsigned long qq, mpz_t p, mpz_t d, mpz_t t) {
            mpz_set_ui(p, 1), mpz_set_ui(d, (a + 1) * qq), mpz_set_ui(t, 1);
        },
        P.v, Q.v, T.v);
    mpz_add(T.v, T.v, Q.v);  // the term 1
    T = Mul(T, Pow10(digits));
    mpz_fdiv_q(T.v, T.v, Q.v);
    return WithPoint(T);
}

// pi = 426880 sqrt(10005) Q / T, one Chudnovsky term per leaf, 20 guard digits.
std::string GmpPi(long digits) {
    const long g = digits + 20;
    Mpz P, Q, T, s = Mul(Pow10(2 * g), Mpz(10005L));
    Split(
        0, static_cast<unsigned long>(static_cast<double>(g) / 14.18) + 2, 0,
        [](unsigned long a, unsigned long, mpz_t p, mpz_t d, mpz_t t) {
            mpz_set_ui(p, 1);
            mpz_set_ui(d, 1);
            if (a > 0) {
                mpz_set_ui(p, (6 * a - 5) * (2 * a - 1));
                mpz_mul_ui(p, p, 6 * a - 1);
                mpz_set_ui(d, a * a);
                mpz_mul_ui(d, d, a);
                mpz_mul_ui(d, d, 10939058860032000UL);
            }
            mpz_mul_ui(t, p, 545140134UL * a + 13591409UL);
            if (a & 1) mpz_neg(t, t);
        },
        P.v, Q.v, T.v);
    mpz_sqrt(s.v, s.v);
    s = Mul(Mul(s, Mpz(426880L)), Q);
    mpz_tdiv_q(s.v, s.v, T.v);
    mpz_tdiv_q(s.v, s.v, Pow10(20).v);
    return WithPoint(s);
}

std::string GmpSqrt2(long digits) {
    Mpz s = Mul(Pow10(2 * digits), Mpz(2L));
    mpz_sqrt(s.v, s.v);
    return WithPoint(s);
}

}  // namespace zeprix::test
