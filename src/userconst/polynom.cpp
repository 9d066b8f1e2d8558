// Polynomial arithmetic, evaluation and size estimates.
#include "userconst/polynom.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/fatal.hpp"

namespace zeprix::userconst {

namespace {

constexpr double kDoubleLimit = 1e15;  // PolynomDouble coefficients lie in (-10^15, 10^15)

// ln sum_i exp(t_i), the terms being ln(|c_i| x^i); -inf when every term is -inf.
double LogSumExp(const std::vector<double>& t) {
    double m = -std::numeric_limits<double>::infinity();
    for (double v : t) m = std::max(m, v);
    if (!std::isfinite(m)) return m;
    double s = 0;
    for (double v : t) s += std::exp(v - m);
    return m + std::log(s);
}

}  // namespace

Int Polynom::Value(double x) const {
    Int r;
    Evaluate(x, r.get());
    return r;
}

PolynomStandard::PolynomStandard(std::vector<Int> coefficients) : c(std::move(coefficients)) {
    Normalise();
}

PolynomStandard PolynomStandard::Variable() { return PolynomStandard({Int(0), Int(1)}); }

void PolynomStandard::Normalise() {
    while (c.size() > 1 && c.back().IsZero()) c.pop_back();
}

long PolynomStandard::MaxLimbs() const {
    long m = 0;
    for (const Int& x : c) m = std::max(m, x.Limbs());
    return m;
}

Int PolynomStandard::LeadingCoefficient() const { return c.empty() ? Int(0) : c.back(); }

// The size estimate is taken in logarithms, ln sum |c_i| x^i = logsumexp(ln|c_i| + i ln x),
// so that neither large coefficients nor large x overflow.
double PolynomStandard::LogValue(double x) const {
    std::vector<double> t;
    const double lx = std::log(x);
    for (std::size_t i = 0; i < c.size(); ++i)
        t.push_back(c[i].LogAbs() + static_cast<double>(i) * lx);
    return LogSumExp(t);
}

// Horner: r = c_d, then r = r x + c_i for i = d - 1 .. 0.
void PolynomStandard::Evaluate(double x, SmallInt& r) const {
    if (c.empty()) {
        r.Set(0);
        return;
    }
    const SmallInt& top = c.back().get();
    if (r.SizeAlloc < top._N) r.Alloc(top._N);
    top.CopyTo(r);
    for (long i = Degree() - 1; i >= 0; --i) {
        numbers::ShortMulSmallInt(r, x, r);
        numbers::AddSmallInt(r, c[static_cast<std::size_t>(i)].get(), r);
    }
}

// Horner with the polynomial (n + a): R = R (n + a) + c_i.
std::unique_ptr<Polynom> PolynomStandard::Shift(double a) const {
    const PolynomStandard na({Int(static_cast<long>(a)), Int(1)});
    PolynomStandard r(c.empty() ? Int(0) : c.back());
    for (long i = Degree() - 1; i >= 0; --i)
        r = r * na + PolynomStandard(c[static_cast<std::size_t>(i)]);
    return std::make_unique<PolynomStandard>(std::move(r));
}

std::unique_ptr<Polynom> PolynomStandard::Simplify() const {
    auto d = std::make_unique<PolynomDouble>();
    for (const Int& x : c) {
        // A value in (-10^15, 10^15) has at most two limbs, three in complement form
        // (top -1); Horner over them stays exact: every partial value is a multiple of
        // 10^8 below 10^16 or the final value below 2^53.
        if (x.Limbs() > 3) return nullptr;
        const double v = x.ToDouble();
        if (!(v > -kDoubleLimit && v < kDoubleLimit)) return nullptr;
        d->c.push_back(v);
    }
    return d;
}

void PolynomStandard::PrintDegree(FILE* f) const { std::fprintf(f, "Degree=%ld\n", Degree()); }

std::unique_ptr<Polynom> PolynomStandard::Clone() const {
    return std::make_unique<PolynomStandard>(*this);
}

PolynomStandard PolynomStandard::operator+(const PolynomStandard& b) const {
    PolynomStandard r;
    const std::size_t n = std::max(c.size(), b.c.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (i < c.size() && i < b.c.size())
            r.c.push_back(c[i] + b.c[i]);
        else
            r.c.push_back(i < c.size() ? c[i] : b.c[i]);
    }
    r.Normalise();
    return r;
}

PolynomStandard PolynomStandard::operator-(const PolynomStandard& b) const { return *this + (-b); }

PolynomStandard PolynomStandard::operator-() const {
    PolynomStandard r;
    for (const Int& x : c) r.c.push_back(-x);
    return r;
}

PolynomStandard PolynomStandard::operator*(const PolynomStandard& b) const {
    if (c.empty() || b.c.empty()) return PolynomStandard();
    PolynomStandard r;
    r.c.assign(c.size() + b.c.size() - 1, Int(0));
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i].IsZero()) continue;
        for (std::size_t j = 0; j < b.c.size(); ++j) r.c[i + j] = r.c[i + j] + c[i] * b.c[j];
    }
    r.Normalise();
    return r;
}

PolynomStandard PolynomStandard::Scale(const Int& k) const {
    PolynomStandard r;
    for (const Int& x : c) r.c.push_back(x * k);
    r.Normalise();
    return r;
}

PolynomStandard PolynomStandard::Power(long e) const {
    if (e < 0) core::FatalError("Error in PolynomStandard::Power, power should be positive");
    if (e == 0) return PolynomStandard(Int(1));
    PolynomStandard r = *this;
    for (long i = 1; i < e; ++i) r = r * *this;
    return r;
}

Int PolynomDouble::LeadingCoefficient() const {
    return c.empty() ? Int(0) : Int(static_cast<long>(c.back()));
}

double PolynomDouble::LogValue(double x) const {
    std::vector<double> t;
    const double lx = std::log(x);
    for (std::size_t i = 0; i < c.size(); ++i)
        t.push_back(std::log(std::fabs(c[i])) + static_cast<double>(i) * lx);
    return LogSumExp(t);
}

// Horner with each coefficient added into limb 0 (|limb 0 + c| < 10^8 + 10^15 < 2^53) and
// the carries propagated by UpdateSmallInt, which may need one limb more.
void PolynomDouble::Evaluate(double x, SmallInt& r) const {
    if (c.empty()) {
        r.Set(0);
        return;
    }
    r.Set(c.back());
    for (long i = Degree() - 1; i >= 0; --i) {
        numbers::ShortMulSmallInt(r, x, r);
        if (r.SizeAlloc < r._N + 2 && !r.IsView()) r.Realloc(r._N + 2);
        r.Limbs[0] += c[static_cast<std::size_t>(i)];
        r.UpdateSmallInt();
    }
}

PolynomStandard PolynomDouble::ToStandard() const {
    PolynomStandard p;
    for (double v : c) p.c.push_back(Int(static_cast<long>(v)));
    p.Normalise();
    return p;
}

std::unique_ptr<Polynom> PolynomDouble::Shift(double a) const { return ToStandard().Shift(a); }

void PolynomDouble::PrintDegree(FILE* f) const {
    bool first = true;
    for (long i = Degree(); i >= 0; --i) {
        const double v = c[static_cast<std::size_t>(i)];
        if (v == 0 && Degree() > 0) continue;
        std::fprintf(f, first ? "%.0lf" : (v < 0 ? " - %.0lf" : " + %.0lf"),
                     first ? v : std::fabs(v));
        if (i > 0) std::fprintf(f, "*n^%ld", i);
        first = false;
    }
    std::fprintf(f, "\n");
}

std::unique_ptr<Polynom> PolynomDouble::Clone() const {
    return std::make_unique<PolynomDouble>(*this);
}

std::unique_ptr<Polynom> BestForm(const PolynomStandard& p) {
    if (auto d = p.Simplify()) return d;
    return p.Clone();
}

}  // namespace zeprix::userconst
