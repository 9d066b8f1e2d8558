// Sizes of the terms of a user series.
#include "userconst/term_sizes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "userconst/hypergeom.hpp"

namespace zeprix::userconst {

namespace {

constexpr double kLn10 = 2.302585092994046;
constexpr double kMinusInf = -std::numeric_limits<double>::infinity();

// The coefficient of n^(d-1) over the leading one (0 for a constant).
double SecondRatio(const PolynomStandard& p) {
    if (p.Degree() < 1) return 0;
    const double r = p.c[p.c.size() - 2].ToDouble() / p.c.back().ToDouble();
    return std::isfinite(r) ? r : 0;
}

// ln |P(i)| for whole i >= 1: Horner in long doubles (64-bit mantissa) where that is
// exact enough, else exactly. A long double sum of d + 1 terms has a relative error below
// about d 2^-63 |P|max / |P(i)|, |P|max = sum |c_k| i^k: where P(i) is not below 10^-9
// |P|max, ln |P(i)| is off by less than 10^-8, which no term count or limb count can see
// even summed over the whole exact range. Near a root (or past the long double range) the
// integer value is used.
class FastLog {
public:
    explicit FastLog(const Polynom& p) : p_(p) {
        const PolynomStandard s = p.ToStandard();
        for (const Int& c : s.c) c_.push_back(static_cast<long double>(c.ToDouble()));
        for (long double c : c_)
            if (!std::isfinite(c)) exact_ = true;
        if (c_.size() > 500) exact_ = true;  // i^d could leave the long double range
    }
    // ln |P(i)|, -infinity for P(i) = 0.
    double operator()(double i) const {
        if (!exact_) {
            long double v = 0, mag = 0;
            const long double x = i;
            for (std::size_t k = c_.size(); k-- > 0;) {
                v = v * x + c_[k];
                mag = mag * x + std::fabs(c_[k]);
            }
            if (std::isfinite(mag) && std::fabs(v) > 1e-9L * mag)
                return static_cast<double>(std::log(std::fabs(v)));
        }
        return p_.Value(i).LogAbs();
    }

private:
    const Polynom& p_;
    std::vector<long double> c_;
    bool exact_ = false;
};

}  // namespace

TermSizes::TermSizes(const Hypergeom& h) {
    const PolynomStandard f = h.F->ToStandard(), g = h.G->ToStandard();
    const double lz = h.Z.num.LogAbs() - h.Z.den.LogAbs();
    k_ = static_cast<double>(g.Degree() - f.Degree());
    c_ = f.c.back().LogAbs() - g.c.back().LogAbs() + lz;
    s_ = SecondRatio(f) - SecondRatio(g);
    prefix_.push_back(h.beta.num.LogAbs() - h.beta.den.LogAbs());
    const FastLog logF(*h.F), logG(*h.G);
    for (double i = 1; i <= kExact; i += 1) {
        const double lf = logF(i);
        if (lf == kMinusInf) {
            ends_ = true;
            break;
        }
        prefix_.push_back(prefix_.back() + lf - logG(i) + lz);
    }
    m_ = static_cast<double>(prefix_.size() - 1);
    suffixMax_ = prefix_;
    for (std::size_t i = suffixMax_.size() - 1; i-- > 0;)
        suffixMax_[i] = std::max(suffixMax_[i], suffixMax_[i + 1]);
}

double TermSizes::Model(double x) const {
    return prefix_.back() + c_ * (x - m_) - k_ * (std::lgamma(x + 1) - std::lgamma(m_ + 1)) +
           s_ * std::log(x / std::max(m_, 1.0));
}

bool TermSizes::Falling(double x) const { return c_ - k_ * std::log(x + 1) + s_ / (x + 1) < 0; }

double TermSizes::LogTerm(double x) const {
    if (x <= m_) return prefix_[static_cast<std::size_t>(x)];
    return ends_ ? kMinusInf : Model(x);
}

// x is negligible when its term, times the factor 1 / (1 - r) that bounds the sum of the
// terms after it (r the ratio of the next term, below 1 and falling), is below e^target.
bool TermSizes::Negligible(double x, double target) const {
    const double next = LogTerm(x + 1) - LogTerm(x);
    if (!(next < 0)) return LogTerm(x) == kMinusInf;
    return LogTerm(x) - std::log1p(-std::exp(next)) < target;
}

double TermSizes::CountFor(double D) const {
    const double target = -D * kLn10 - std::log(2.0);  // half a unit: margin for the model
    double last = 0;                                   // the last term that counts
    for (double n = 0; n < m_; n += 1)
        if (!Negligible(n, target)) last = n;
    if (ends_) return last + 1;
    // Beyond the exact range: from a falling point on the model decreases for good; the
    // first negligible term after it is found by doubling, then by bisection.
    double lo = m_;
    if (Negligible(lo, target) && Falling(lo)) return (last < m_ - 1 ? last : m_) + 1;
    double hi = 2 * lo;
    while (!(Negligible(hi, target) && Falling(hi))) {
        lo = hi;
        hi *= 2;
    }
    while (hi - lo > 1) {
        const double mid = std::floor((lo + hi) / 2);
        if (Negligible(mid, target) && Falling(mid))
            hi = mid;
        else
            lo = mid;
    }
    return hi + 1;
}

double TermSizes::MaxFrom(double b, double N) const {
    if (b < m_) {
        const double exact = suffixMax_[static_cast<std::size_t>(b)];
        return ends_ ? exact : std::max(exact, MaxFrom(m_, N));
    }
    if (ends_) return kMinusInf;
    // The model rises to at most one peak, then falls: walk up from b by 2 % steps until it
    // falls; its value there bounds the rest.
    double best = Model(b), x = b;
    while (!Falling(x) && x < N) {
        x = std::min(std::max(x * 1.02, x + 1), N);
        best = std::max(best, Model(x));
    }
    return best;
}

double TermSizes::LogTailFrom(double b, double N) const {
    return MaxFrom(b, N) + std::log(std::max(N - b, 1.0));
}

}  // namespace zeprix::userconst
