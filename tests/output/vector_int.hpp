// A number in a plain vector of limbs, for the output tests.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "numbers/mpint.hpp"

namespace zeprix::test {

// A number held in a plain vector of limbs with a chosen limb width and exponent.
class VectorInt : public numbers::MPInt {
public:
    VectorInt(std::vector<double> limbs, int k, long exp)
        : limbs_(std::move(limbs)), k_(k), e_(exp) {
        _N = static_cast<long>(limbs_.size());
    }
    int TypeCode() const override { return 9; }
    void WriteBuffer(double* buf, long count, long first) override {
        ++reads;
        maxRead = std::max(maxRead, count);
        for (long i = 0; i < count; ++i) buf[i] = limbs_[static_cast<size_t>(first + i)];
    }
    int Sign() override { return limbs_.back() < 0 ? -1 : (limbs_.back() > 0 ? 1 : 0); }
    int DigitsPerLimb() const override { return k_; }
    long Exponent() const override { return e_; }
    long reads = 0, maxRead = 0;

private:
    std::vector<double> limbs_;
    int k_;
    long e_;
};

// integer part `ip` followed by the fraction digits `frac` (padded with zeros to whole
// limbs of k digits).
inline VectorInt FromDigits(double ip, std::string frac, int k) {
    while (frac.size() % static_cast<size_t>(k)) frac.push_back('0');
    long nf = static_cast<long>(frac.size()) / k;
    std::vector<double> limbs(static_cast<size_t>(nf) + 1);
    for (long f = 0; f < nf; ++f)
        limbs[static_cast<size_t>(nf - 1 - f)] =
            std::stod(frac.substr(static_cast<size_t>(f * k), static_cast<size_t>(k)));
    limbs.back() = ip;
    return VectorInt(limbs, k, -nf);
}

}  // namespace zeprix::test
