// Direct fixed-point summation of user series in GMP.
#include "oracle.hpp"

namespace zeprix::test {

namespace {

// r = round toward zero of a * p / q.
void MulRat(mpz_t r, const mpz_t a, const Rat& x) {
    mpz_mul_si(r, a, x.p);
    mpz_tdiv_q_ui(r, r, static_cast<unsigned long>(x.q > 0 ? x.q : -x.q));
    if (x.q < 0) mpz_neg(r, r);
}

// sum of the series part (without alpha, beta) times `one`.
void SeriesSum(const OracleSeries& s, const mpz_t one, mpz_t sum) {
    mpz_set_ui(sum, 0);
    Mpz zp, t, f, g;
    mpz_set(zp.v, one);
    if (s.kind == OracleSeries::Mode1) {
        mpz_set(t.v, one);
        for (long n = 1;; ++n) {
            s.F(n, f.v);
            s.G(n, g.v);
            mpz_mul(t.v, t.v, f.v);
            mpz_mul_si(t.v, t.v, s.Z.p);
            mpz_mul_si(g.v, g.v, s.Z.q);
            mpz_tdiv_q(t.v, t.v, g.v);
            if (mpz_sgn(t.v) == 0) break;
            mpz_add(sum, sum, t.v);
        }
        return;
    }
    for (long n = 1;; ++n) {
        MulRat(zp.v, zp.v, s.Z);  // one Z^n
        if (mpz_sgn(zp.v) == 0) break;
        switch (s.kind) {
            case OracleSeries::Mode0:
                s.F(n, f.v);
                s.G(n, g.v);
                mpz_mul(t.v, zp.v, f.v);
                mpz_tdiv_q(t.v, t.v, g.v);
                break;
            case OracleSeries::Log:
                mpz_tdiv_q_ui(t.v, zp.v, static_cast<unsigned long>(n));
                break;
            default:  // arctan, arctanh: odd n only
                if (n % 2 == 0) continue;
                mpz_tdiv_q_ui(t.v, zp.v, static_cast<unsigned long>(n));
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
            if (c[i] >= 0)
                mpz_add_ui(out, out, static_cast<unsigned long>(c[i]));
            else
                mpz_sub_ui(out, out, static_cast<unsigned long>(-c[i]));
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
    const bool negative = mpz_sgn(total.v) < 0;
    mpz_abs(total.v, total.v);
    Mpz p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(guard));
    mpz_tdiv_q(total.v, total.v, p.v);
    std::string s = total.str();
    if (static_cast<long>(s.size()) <= digits) s = std::string(static_cast<std::size_t>(digits + 1) - s.size(), '0') + s;
    // Built by appending: g++ 12 gives a false-positive -Wrestrict for `const char* + std::string`
    // (in std::string's inlined insert), which the ci preset turns into an error.
    std::string out = negative ? "-" : "";
    out += s.substr(0, s.size() - static_cast<std::size_t>(digits));
    out += '.';
    out += s.substr(s.size() - static_cast<std::size_t>(digits));
    return out;
}

}  // namespace zeprix::test
