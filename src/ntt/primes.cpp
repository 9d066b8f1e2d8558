// The special primes h^2 + 1, their certification and roots, the NTT state, and the choice
// of transform length and number of primes for one product.
#include "ntt/primes.hpp"

#include <cmath>

#include "core/console.hpp"

namespace zeprix::ntt {

namespace {

// floor(sqrt(n)) exactly.
u64 ISqrt(u64 n) {
    u64 r = static_cast<u64>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

}  // namespace

u64 CertifySpecialPrime(u64 h) {
    const Modulus m = MakeModulus(h * h + 1, h);
    const u64 quarter = (m.p - 1) / 4;
    for (u64 a = 3; a <= 999; ++a) {
        const u64 r = PowMod(a % m.p, quarter, m);
        const u64 r2 = MulMod(r, r, m);
        if (r2 != 1 && r2 != m.p - 1) return 0;  // a^(p-1) != 1 or a square root of 1 != +-1
        if (r == h) return a;
    }
    return 0;
}

NttState InitNTT(long nnttMax, double digits) {
    ZEPRIX_CHECK(nnttMax >= 4 && std::has_single_bit(static_cast<u64>(nnttMax)),
                 "InitNTT: the transform capacity must be a power of two >= 4");
    NttState st;
    st.NNTTMax = nnttMax;
    st.PrimeExponent = std::countr_zero(static_cast<u64>(nnttMax));
    st.RowLength = 2;
    while (st.RowLength * st.RowLength < nnttMax) st.RowLength *= 2;

    const double wanted = std::trunc(2.0 * digits * (2.0 / 13.0) / static_cast<double>(nnttMax));
    ZEPRIX_CHECK(wanted + 10.0 <= static_cast<double>(kMaxPrimes),
                 "ERROR, too many primes required !\n");
    const long nbPrimes = static_cast<long>(wanted) + 10;

    const int e = std::max(13, (st.PrimeExponent + 1) / 2);
    ZEPRIX_CHECK(2 * e <= kMaxModulusBits, "InitNTT: the transform capacity is too large");
    const u64 step = u64{1} << e;
    // j < 2^e for every candidate (sqrt(2.7 10^15) < 2^26 <= 2^(2e)), as the certificate
    // requires; and p = (j 2^e)^2 + 1 <= 2.7 10^15 since 2.7 10^15 is not a square.
    for (u64 j = ISqrt(kPrimeLimit) / step; j > 0 && st.NbPrimes() < nbPrimes; --j) {
        const u64 h = j * step;
        const u64 a = CertifySpecialPrime(h);
        if (a == 0) continue;
        SpecialPrime sp;
        sp.mod = MakeModulus(h * h + 1, h);
        sp.base = a;
        sp.root = PowMod(a, (sp.mod.p - 1) / static_cast<u64>(nnttMax), sp.mod);
        st.Primes.push_back(sp);
    }
    ZEPRIX_CHECK(st.NbPrimes() == nbPrimes, "ERROR, not a sufficient number of special primes !");
    return st;
}

long PrimesForLength(const NttState& st, long nntt, long limbs, long& crtNbDec) {
    const double lnN = std::log(static_cast<double>(nntt));
    const long points = nntt / 12 * 12;
    double s = 0.0;
    long n = 0;
    crtNbDec = 0;
    while (crtNbDec <= 0 || crtNbDec * points < 12 * limbs) {
        ZEPRIX_CHECK(n < st.NbPrimes(), "Pb, NCRT is too large");
        s += std::log(static_cast<double>(st.Primes[static_cast<size_t>(n)].mod.p));
        ++n;
        // The sum of at most 1000 logarithms below 36 is off by less than 10^-11: the margin
        // keeps a quotient just below an integer from rounding up (docs/notes/ntt.md).
        crtNbDec = static_cast<long>(std::floor((s - lnN) / 2.0 / std::log(10.0) - 1e-9));
    }
    return n;
}

long ChooseBestCRT(const NttState& st, long na, long nb, long& nntt, long& crtNbDec) {
    nntt = st.NNTTMax;
    long n = PrimesForLength(st, nntt, na + nb, crtNbDec);
    while (n < 5 && nntt / 2 >= 16) {
        nntt /= 2;
        if (nntt < 512) core::Print("Pb in ChooseBestCRT, NNTT is too small\n");
        n = PrimesForLength(st, nntt, na + nb, crtNbDec);
    }
    return n;
}

}  // namespace zeprix::ntt
