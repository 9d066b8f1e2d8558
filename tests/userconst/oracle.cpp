// Direct fixed-point summation of user series in GMP.
#include "oracle.hpp"

namespace zeprix::test {

namespace {

// r = a * p / q, rounded toward zero.
void MulRat(mpz_t r, const mpz_t a, const Rat& x) {
    mpz_mul_si(r, a, x.p);
    mpz_tdiv_q(r, r, Mpz(x.q).v);
}

// The sum of the series part (without alpha and beta) times `one`: term by term, each
// truncated, until a term (Mode1) or one Z^n (the others) is 0.
void SeriesSum(const OracleSeries& s, const mpz_t one, mpz_t sum) {
    Mpz zp, t, f, g;
    mpz_set_ui(sum, 0);
    mpz_set(zp.v, one);  // Mode1: the running term; otherwise one Z^n
    for (long n = 1; mpz_sgn(zp.v) != 0; ++n) {
        if (s.kind == OracleSeries::Mode0 || s.kind == OracleSeries::Mode1) {
            s.F(n, f.v);
            s.G(n, g.v);
        }
        if (s.kind == OracleSeries::Mode1) {
            mpz_mul(zp.v, zp.v, f.v);
            mpz_mul_si(zp.v, zp.v, s.Z.p);
            mpz_mul_si(g.v, g.v, s.Z.q);
            mpz_tdiv_q(t.v, zp.v, g.v);
            mpz_set(zp.v, t.v);
            mpz_add(sum, sum, t.v);
            continue;
        }
        MulRat(zp.v, zp.v, s.Z);
        if (s.kind == OracleSeries::Mode0) {
            mpz_mul(t.v, zp.v, f.v);
            mpz_tdiv_q(t.v, t.v, g.v);
        } else {  // log: every n; arctan(h): odd n, arctan alternating
            mpz_tdiv_q_ui(t.v, zp.v, static_cast<unsigned long>(n));
            if (s.kind != OracleSeries::Log && n % 2 == 0) mpz_set_ui(t.v, 0);
            if (s.kind == OracleSeries::Arctan && (n / 2) % 2 == 1) mpz_neg(t.v, t.v);
        }
        mpz_add(sum, sum, t.v);
    }
}

}  // namespace

std::function<void(long, mpz_t)> PolyFn(std::vector<long> c) {
    return [c](long n, mpz_t out) {
        mpz_set_ui(out, 0);
        for (std::size_t i = c.size(); i-- > 0;) {
            mpz_mul_si(out, out, n);
            mpz_add(out, out, Mpz(c[i]).v);
        }
    };
}

std::string OracleValue(const std::vector<OracleSeries>& all, long digits) {
    const long guard = 40;
    Mpz one, total, sum, t;
    mpz_ui_pow_ui(one.v, 10, static_cast<unsigned long>(digits + guard));
    for (const OracleSeries& s : all) {
        SeriesSum(s, one.v, sum.v);
        if (s.kind == OracleSeries::Mode0 || s.kind == OracleSeries::Mode1) {
            MulRat(sum.v, sum.v, s.beta);
            MulRat(t.v, one.v, s.alpha);
            mpz_add(sum.v, sum.v, t.v);
        }
        MulRat(sum.v, sum.v, s.scale);
        mpz_add(total.v, total.v, sum.v);
    }
    mpz_tdiv_q(total.v, total.v, Pow10(guard).v);
    const bool negative = mpz_sgn(total.v) < 0;
    Mpz fraction, p = Pow10(digits);
    mpz_abs(total.v, total.v);
    mpz_tdiv_qr(total.v, fraction.v, total.v, p.v);
    mpz_add(fraction.v, fraction.v, p.v);  // a leading 1 keeps the leading zeros
    return std::string(negative ? "-" : "") + total.str() + "." + fraction.str().substr(1);
}

}  // namespace zeprix::test
