// Chinese remaindering of the number-theoretic-transform products.
#include "ntt/crt.hpp"

#include <algorithm>
#include <cstdio>

#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "core/fatal.hpp"

namespace zeprix::ntt {

namespace {

// The rebuild in progress, printed by the debug log when a fatal error stops it.
struct CRTRecord {
    long ncrt = 0;
    bool on = false;
};
CRTRecord gCRT;

void WriteCRTSection(std::FILE* log) {
    if (!gCRT.on) return;
    std::fprintf(log, "%s", core::kLogSectionLine);
    std::fprintf(log, "CRT is on\n");
    std::fprintf(log, "NCRT=%ld\n", gCRT.ncrt);
}

const bool kCRTSectionRegistered = [] {
    core::RegisterLogSection(25, WriteCRTSection);
    return true;
}();

constexpr std::int64_t kB = TinyInt::kBase;

// Floor division by 10^7 for |t| < 2^62.
inline std::int64_t FloorDivB(std::int64_t t, std::int64_t& rem) {
    std::int64_t q = t / kB;
    rem = t - q * kB;
    if (rem < 0) {
        rem += kB;
        --q;
    }
    return q;
}

}  // namespace

void TinyInt::Normalise() {
    std::int64_t carry = 0;
    for (std::int64_t& x : limbs) {
        std::int64_t rem;
        carry = FloorDivB(x + carry, rem);
        x = rem;
    }
    while (carry > 0) {
        limbs.push_back(carry % kB);
        carry /= kB;
    }
    while (limbs.size() > 1 && limbs.back() == 0) limbs.pop_back();
}

// m = hi 10^7 + lo: every partial product is below 10^7 (2^52 / 10^7) < 2^62.
void TinyInt::MulSmall(std::uint64_t m) {
    const auto hi = static_cast<std::int64_t>(m / kB), lo = static_cast<std::int64_t>(m % kB);
    std::vector<std::int64_t> r(limbs.size() + 2, 0);
    for (std::size_t j = 0; j < limbs.size(); ++j) {
        r[j] += limbs[j] * lo;
        r[j + 1] += limbs[j] * hi;
        std::int64_t rem;
        r[j + 1] += FloorDivB(r[j], rem);
        r[j] = rem;
    }
    limbs = std::move(r);
    Normalise();
}

std::uint64_t TinyInt::Mod(std::uint64_t p) const {
    u128 r = 0;
    for (std::size_t j = limbs.size(); j-- > 0;)
        r = (r * static_cast<std::uint64_t>(kB) + static_cast<std::uint64_t>(limbs[j])) % p;
    return static_cast<std::uint64_t>(r);
}

int TinyInt::Compare(const TinyInt& b) const {
    if (limbs.size() != b.limbs.size()) return limbs.size() < b.limbs.size() ? -1 : 1;
    for (std::size_t j = limbs.size(); j-- > 0;)
        if (limbs[j] != b.limbs[j]) return limbs[j] < b.limbs[j] ? -1 : 1;
    return 0;
}

void TinyInt::Subtract(const TinyInt& b) {
    std::int64_t borrow = 0;
    for (std::size_t j = 0; j < limbs.size(); ++j) {
        std::int64_t t = limbs[j] - (j < b.limbs.size() ? b.limbs[j] : 0) + borrow;
        borrow = t < 0 ? -1 : 0;
        limbs[j] = t < 0 ? t + kB : t;
    }
    if (borrow != 0 || b.limbs.size() > limbs.size())
        core::FatalError("Error in SubstractTinyInt, carry is not zero\n");
    while (limbs.size() > 1 && limbs.back() == 0) limbs.pop_back();
}

CRTBasis::CRTBasis(std::vector<std::uint64_t> primes) : primes_(std::move(primes)) {
    M_.limbs = {1};
    for (std::uint64_t p : primes_) {
        M_.MulSmall(p);
        moduli_.push_back(MakeModulus(p));
    }
    halfM_ = M_;  // (M + 1) / 2: M is odd, and 2 x < M exactly when x < (M + 1) / 2
    halfM_.limbs[0] += 1;
    for (std::size_t j = halfM_.limbs.size(); j-- > 0;) {
        const std::int64_t v = halfM_.limbs[j];
        halfM_.limbs[j] = v / 2;
        if (j > 0) halfM_.limbs[j - 1] += (v % 2) * kB;
    }
    halfM_.Normalise();
    for (std::size_t i = 0; i < primes_.size(); ++i) {
        TinyInt b;
        b.limbs = {1};
        for (std::size_t k = 0; k < primes_.size(); ++k)
            if (k != i) b.MulSmall(primes_[k]);
        factors_.push_back(InvMod(b.Mod(primes_[i]), primes_[i]));
        bases_.push_back(std::move(b));
    }
    for (std::size_t k = 0; k < primes_.size(); ++k) {
        TinyInt m = M_;
        m.MulSmall(k);
        multiples_.push_back(std::move(m));
    }
}

// x = sum t_i (M / p_i) with t_i = r_i factor_i mod p_i is below n M and congruent to r_i
// modulo every p_i; subtracting the largest multiple k M (k < n) not above it leaves the
// unique representative in [0, M). Each term adds below 10^7 10^7 + 2^52 / 10^7 10^7 <
// 2^53 to a limb, so eight terms between normalisations keep every limb below 2^62.
TinyInt CRTBasis::Rebuild(const std::vector<std::uint64_t>& residues) const {
    const std::size_t n = primes_.size();
    gCRT = {static_cast<long>(n), true};
    TinyInt x;
    x.limbs.assign(M_.limbs.size() + 2, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t t = MulMod(residues[i] % primes_[i], factors_[i], moduli_[i]);
        const auto hi = static_cast<std::int64_t>(t / kB), lo = static_cast<std::int64_t>(t % kB);
        const std::vector<std::int64_t>& b = bases_[i].limbs;
        for (std::size_t j = 0; j < b.size(); ++j) {
            x.limbs[j] += b[j] * lo;
            x.limbs[j + 1] += b[j] * hi;
        }
        if (i % 8 == 7) {
            x.Normalise();
            x.limbs.resize(std::max(x.limbs.size(), M_.limbs.size() + 2), 0);
        }
    }
    x.Normalise();
    for (std::size_t k = n; k-- > 1;)
        if (x.Compare(multiples_[k]) >= 0) {
            x.Subtract(multiples_[k]);
            break;
        }
    if (x.Compare(M_) >= 0) x.Subtract(M_);
    if (x.Compare(halfM_) >= 0) {
        // m = x / M from the top three limbs of M's length, for the message.
        double xm = 0, mm = 0;
        const std::size_t top = M_.limbs.size();
        for (std::size_t j = top; j-- > (top > 3 ? top - 3 : 0);) {
            xm = xm * static_cast<double>(kB) +
                 static_cast<double>(j < x.limbs.size() ? x.limbs[j] : 0);
            mm = mm * static_cast<double>(kB) + static_cast<double>(M_.limbs[j]);
        }
        core::Print("ERROR IN CRT, m=%.15lf>1 !\n", xm / mm);
        core::FatalError("ERROR IN CRT, m>0.5");
    }
    gCRT.on = false;
    return x;
}

}  // namespace zeprix::ntt
