// Int: value semantics over SmallInt arithmetic.
#include "userconst/integer.hpp"

#include <cmath>
#include <limits>

namespace zeprix::userconst {

Int::Int() : p_(std::make_unique<SmallInt>()) { p_->Set(0); }

Int::Int(long v) : p_(std::make_unique<SmallInt>()) { p_->Set(static_cast<double>(v)); }

Int::Int(const SmallInt& s) : p_(std::make_unique<SmallInt>()) {
    p_->Alloc(s._N + 1);
    s.CopyTo(*p_);
    p_->Trim();
}

Int::Int(const Int& o) : Int(o.get()) {}

Int& Int::operator=(const Int& o) {
    if (this != &o) *this = Int(o);
    return *this;
}

int Int::Sign() const { return p_->Sign(); }

double Int::ToDouble() const {
    double r = 0;
    for (long i = p_->_N - 1; i >= 0; --i) r = r * 1e8 + p_->Limbs[i];
    return r;
}

double Int::LogAbs() const {
    const Int a = Abs();
    const SmallInt& s = a.get();
    const long n = s._N;
    if (a.IsZero()) return -std::numeric_limits<double>::infinity();
    double top = 0;
    const long k = n < 3 ? n : 3;
    for (long i = n - 1; i >= n - k; --i) top = top * 1e8 + s.Limbs[i];
    return std::log(top) + static_cast<double>(n - k) * std::log(1e8);
}

Int Int::operator+(const Int& b) const {
    Int r;
    numbers::AddSmallInt(get(), b.get(), r.get());
    return r;
}

Int Int::operator-(const Int& b) const {
    Int r;
    numbers::SubstractSmallInt(get(), b.get(), r.get());
    return r;
}

Int Int::operator*(const Int& b) const {
    Int r;
    numbers::MulSmallInt(get(), b.get(), r.get(), 1);
    return r;
}

Int Int::operator-() const {
    Int r;
    numbers::NegateSmallInt(get(), r.get());
    return r;
}

void Int::AppendDigit(int digit) {
    numbers::ShortMulSmallInt(*p_, 10, *p_);
    Int d(digit);
    numbers::AddSmallInt(*p_, d.get(), *p_);
}

}  // namespace zeprix::userconst
