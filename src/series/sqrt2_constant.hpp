// The square root of 2 by the Newton inverse square root, verified by squaring.
#pragma once

#include <memory>
#include <string>

#include "core/clock.hpp"
#include "core/console.hpp"
#include "disk/disk_int.hpp"
#include "numbers/big_int.hpp"
#include "shell/constant.hpp"

namespace zeprix::series {

// sqrt(2) = 2 (1/sqrt(2)) (type 10). No series: it exercises the products and the Newton
// iteration, and checks itself by squaring its result. In the basic disk memory mode its
// two numbers are disk integers; its runs are never cut into chunks.
class Sqrt2Constant : public shell::Constant {
public:
    Sqrt2Constant() = default;
    ~Sqrt2Constant() override;

    long Compute() override;
    long TypeNumber() const override { return 10; }
    std::string GetName() const override { return "Sqrt2"; }
    std::string GetFileName() const override { return "sqrt2.txt"; }
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;
    bool ModeRunnable(long m) const override { return m >= 0 && m <= 2; }
    long Run() override;

private:
    long ComputeOnDisk();
    std::unique_ptr<numbers::BigInt> result_;
    std::unique_ptr<disk::DiskInt> diskResult_;
};

// The verification of a square Y of a truncated sqrt(2): a correct one is 1.999..9
// (every limb below the top 999999999999) or 2.000..0 (every limb below the top 0).
// Returns 12 i for the highest limb i (counted from 0 at the lowest) that differs from the
// expected value, 0 when none does. A square whose integer part is neither 1 nor 2 is
// wrong in every digit: 12 N(Y) is returned. Reads Y through WriteBuffer in chunks of at
// most 8000 limbs.
// Works on any storage of Y (in memory or on disk).
double WrongSqrt2Digits(numbers::MPInt& Y);

// The computation, written once for every storage of its two numbers X and Y. Ops:
//   void InvSqrt2IntoX()    X = 1/sqrt(2) to n - 1 fractional limbs (Y as scratch)
//   void DoubleX()          X = 2 X, n limbs
//   void SquareXIntoY()     Y = X^2 kept to its top n limbs
//   numbers::MPInt& Y()     the square, for the verification
template <class Ops>
void Sqrt2Stages(Ops& ops, double digits) {
    core::Print("\n");
    core::Print("Computing Sqrt(2) with %.0lf digits...\n", digits);
    double t0 = core::ElapsedSeconds();
    ops.InvSqrt2IntoX();
    ops.DoubleX();
    core::Print("Time of sqrt(2) computation : %.2lf\n", core::ElapsedSeconds() - t0);
    core::Print("\n");
    core::Print("Verification : Squaring ...\n");
    t0 = core::ElapsedSeconds();
    ops.SquareXIntoY();
    core::Print("Squaring Time : %.2lf\n", core::ElapsedSeconds() - t0);
    const double wrong = WrongSqrt2Digits(ops.Y());
    if (wrong > 12)
        core::Print("The last %.0lf digits of the result are wrong\n", wrong);
    else
        core::Print("The computation is OK\n");
}

}  // namespace zeprix::series
