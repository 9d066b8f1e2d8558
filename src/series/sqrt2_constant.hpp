// The square root of 2 by the Newton inverse square root, verified by squaring.
#pragma once

#include <memory>
#include <string>

#include "numbers/big_int.hpp"
#include "shell/constant.hpp"

namespace zeprix::series {

// sqrt(2) = 2 (1/sqrt(2)) (type 10). No series: it exercises the products and the Newton
// iteration, and checks itself by squaring its result. Only the standard mode is
// available in this version.
class Sqrt2Constant : public shell::Constant {
public:
    Sqrt2Constant() = default;
    ~Sqrt2Constant() override;

    long Compute() override;
    long TypeNumber() const override { return 10; }
    std::string GetName() const override { return "Sqrt2"; }
    std::string GetFileName() const override { return "sqrt2.txt"; }
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;
    long Run() override;

private:
    std::unique_ptr<numbers::BigInt> result_;
};

// The verification of a square Y of a truncated sqrt(2): a correct one is 1.999..9
// (every limb below the top 999999999999) or 2.000..0 (every limb below the top 0).
// Returns 12 i for the highest limb i (counted from 0 at the lowest) that differs from the
// expected value, 0 when none does. A square whose integer part is neither 1 nor 2 is
// wrong in every digit: 12 N(Y) is returned. Reads Y through WriteBuffer in chunks of at
// most 8000 limbs.
double WrongSqrt2Digits(numbers::BigInt& Y);

}  // namespace zeprix::series
