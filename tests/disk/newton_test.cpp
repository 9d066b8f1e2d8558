// Newton iterations on disk integers against GMP: the reciprocal of worst-case and random
// operands and the inverse square roots of the callers' numbers. A small FFT (NFFT 1024:
// blocks of 341 limbs) makes every product of a few thousand limbs take many blocks and
// pieces.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disk/disk_newton.hpp"
#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

using disk::DiskInt;

class DiskNewton : public DiskTest {
protected:
    ConsoleCapture io{""};
};

Mpz PowB(long e) { return Pow10(12 * e); }

// y = 1/x to C limbs, x = X B^shift stored at Offset `offset`; checks the bound, the length
// and that x is unchanged.
void CheckInverse(const Mpz& X, long C, long shift = 0, long offset = 0) {
    DiskInt x, y, t;
    PutValue(x, "AA", X, mpz_sizeinbase(X.v, 10) / 12 + 9, 0);
    if (offset > 0) {  // the same value seen through a window that starts `offset` limbs in
        std::vector<double> v = GetLimbs(x);
        v.insert(v.begin(), static_cast<std::size_t>(offset), 7.0);
        PutLimbs(x, "AA", v, static_cast<long>(v.size()));
        disk::MoveOffset(x, offset);
    }
    x.Shift = shift;
    const long Nx = x._N;
    y.Init("PP", C - 1);
    t.Init("dtmp", C + 15);
    disk::Inverse(x, y, t);
    SCOPED_TRACE("C " + std::to_string(C) + " x " + X.str().substr(0, 40) + SeedNote());
    EXPECT_TRUE(x._N == Nx && x.Shift == shift && x.Offset == offset);
    EXPECT_TRUE(SameValue(Mantissa(x), X));
    EXPECT_FALSE(std::filesystem::exists("dtmpn-00"));  // the corrections' files are gone
    EXPECT_LE(y._N, C);
    EXPECT_GE(y._N, C - 1);
    // |y - 1/x| <= 4 units of y's last limb: |Y X - B^E| <= 4 X, E = -(Sx + Sy); the start
    // (C = 2) within 1.0004 10^-12 relative: |Y X - B^E| <= B^E / 999.
    const Mpz one = PowB(-(shift + y.Shift)), err = Sub(Mul(Mantissa(y), X), one);
    Mpz bound = Mul(X, Mpz(4));
    if (C == 2) mpz_tdiv_q_ui(bound.v, one.v, 999);
    EXPECT_LE(mpz_cmpabs(err.v, bound.v), 0) << "error " << err.str() << " x " << X.str();
}

// x just below and just above powers of B, 1, and random mantissas.
std::vector<Mpz> WorstOperands(long n) {
    // three limbs of nines then zeros; 2 - tiny (1/x has a long run of 0 limbs after 0.5)
    return {Mpz(1),
            PowB(n),
            Add(PowB(n - 1), Mpz(1)),
            AllNines(12 * n),
            Add(Mul(AllNines(36), PowB(n)), Mpz(5)),
            Sub(Mul(Mpz(2), PowB(n)), Mpz(1)),
            RandomLimbs(n, false)};
}

// Small targets against worst operands, x shorter and longer than the precision at either
// sign of Shift; targets across the restart (at 512 limbs) and of many blocks, from a
// window that starts inside x's files; random sizes; 10000 limbs.
TEST_F(DiskNewton, InverseAgainstGmp) {
    for (long C = 2; C <= 17; ++C)
        for (const Mpz& X : WorstOperands(C + 4)) CheckInverse(X, C, -3);
    for (long C : {3L, 8L, 40L})
        for (long n : {1L, 2L, 3L, 60L}) CheckInverse(RandomLimbs(n, false), C, 5 - n, 0);
    for (long C : {240L, 511L, 514L, 515L, 961L, 1365L}) {
        for (const Mpz& X : WorstOperands(C + 20)) CheckInverse(X, C, 7, 11);
        CheckInverse(RandomLimbs(C / 3, false), C);
    }
    for (int k = 0; k < 6; ++k)
        CheckInverse(RandomLimbs(RandomLong(1, 4000), false), RandomLong(3, 3000));
    CheckInverse(RandomLimbs(12000, false), 10000, -12000);
    CheckInverse(AllNines(12 * 10001), 10000);
}

// y = 1/sqrt(a) at C limbs: Y = floor(B^C / sqrt(a)) - 1 .. + 2, i.e. within 2 units.
TEST_F(DiskNewton, InverseSquareRoots) {
    for (long a : {2L, 8L, 10005L, 4L, 10000000L}) {
        for (long C : {2L, 3L, 4L, 7L, 16L, 255L, 256L, 257L, 1000L, 2900L, a == 2 ? 10000L : 5L}) {
            SCOPED_TRACE("a " + std::to_string(a) + " C " + std::to_string(C));
            DiskInt y, t;
            y.Init("PP", C - 1);
            t.Init("AA", C + 15);
            disk::InvSqrt(a, y, t);
            ASSERT_EQ(y._N, C);
            EXPECT_EQ(y.Shift, -C);
            EXPECT_FALSE(std::filesystem::exists("AAn-00"));
            Mpz F = PowB(2 * C);
            mpz_fdiv_q_ui(F.v, F.v, static_cast<unsigned long>(a));
            mpz_sqrt(F.v, F.v);
            const Mpz d = Sub(Mantissa(y), F);
            const long lo = C == 2 ? -1000000000 : -1, hi = -lo + 1;  // the start: 15 digits
            EXPECT_TRUE(mpz_cmp_si(d.v, lo) >= 0 && mpz_cmp_si(d.v, hi) <= 0) << d.str();
        }
    }
    DiskInt y, t;
    y.Init("PP", 9);
    t.Init("AA", 40);
    ZEPRIX_EXPECT_FATAL(disk::InvSqrt(1, y, t), "Error in InvSqrt, a must be between 2 and 10^7");
}

// Scratch one limb too short.
TEST_F(DiskNewton, ScratchTooSmall) {
    DiskInt x, y, t;
    PutValue(x, "AA", RandomLimbs(700, false), 800);
    y.Init("PP", 1999);
    t.Init("dtmp", 2014);
    ZEPRIX_EXPECT_FATAL(disk::Inverse(x, y, t), "Error in Inverse, scratch t is too small");
}

// A transfer that fails anywhere in the iterations ends the run through the fatal path, and
// the corrections' files are deleted all the same.
TEST_F(DiskNewton, DiskFailures) {
    for (long k : {1L, 5L, 25L, 70L, 150L}) {
        for (int sqrt = 0; sqrt < 2; ++sqrt) {
            DiskInt x, y, t;
            PutValue(x, "AA", RandomLimbs(400, false), 500);
            y.Init("PP", 499);
            t.Init("dtmp", 520);
            disk::testing::FailTransferAfter(k);
            EXPECT_TRUE(Contains(
                ExpectProgramExit([&] { sqrt ? disk::InvSqrt(8, y, t) : disk::Inverse(x, y, t); }),
                "did not succeed"));
            disk::testing::FailTransferAfter(0);
            EXPECT_FALSE(std::filesystem::exists("dtmpn-00")) << k;
        }
    }
}

}  // namespace
}  // namespace zeprix::test
