// Helpers of the disk tests: their fixture, DiskInts from and to limb vectors and GMP values,
// the check of a truncated product, failing transfers.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "disk/disk_arith.hpp"
#include "disk/disk_int.hpp"
#include "fft/multiply.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {

// A small FFT (NFFT 1024: product blocks of 341 limbs), so that products of a few thousand
// limbs take many blocks and pieces; the disk memory for it; a temporary working directory.
constexpr long kNFFT = 1024;
class DiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        fft::SetupFFT(kNFFT);
        disk::InitDiskMemory(kNFFT);
    }
    TempWorkDir dir;
};

// An operand of n limbs: all 999999999999 (kind 0), random (1), random of either sign (2).
inline Mpz Operand(long n, int kind) {
    return kind == 0 ? AllNines(12 * n) : RandomLimbs(n, kind == 2);
}

// d = the limbs (least significant first), _N = their count; capacity `size` (at least
// the count) and Shift `shift`.
inline void PutLimbs(disk::DiskInt& d, const char* name, const std::vector<double>& limbs,
                     long size = 0, long shift = 0) {
    const long n = static_cast<long>(limbs.size());
    d.Init(name, size > n ? size : n);
    disk::WriteLimbs(d, limbs.data(), n, 0);
    d._N = n;
    d.Shift = shift;
}

inline std::vector<double> GetLimbs(disk::DiskInt& d) {
    std::vector<double> v(static_cast<std::size_t>(d._N));
    d.WriteBuffer(v.data(), d._N, 0);
    return v;
}

// The mantissa (Shift ignored) of d.
inline Mpz Mantissa(disk::DiskInt& d) {
    const std::vector<double> v = GetLimbs(d);
    return LimbsToMpz(v.data(), d._N, 1e12);
}

// d = x in canonical form (complement top -1 when negative), capacity `size`.
inline void PutValue(disk::DiskInt& d, const char* name, const Mpz& x, long size, long shift = 0) {
    const long n = static_cast<long>(mpz_sizeinbase(x.v, 10)) / 12 + 2;
    Big b(x, n);
    PutLimbs(d, name, std::vector<double>(b.b.Limbs, b.b.Limbs + b.b._N), size, shift);
}

// c = P B^shift with the limbs below its capacity dropped: cut0 = Na + Nb - SizeAlloc of
// them (none when the product fits), or one more (where a truncated product rounds up to
// the next power of 10^12, or for the -1 top of a negative product); exact when nothing is
// dropped, else within `tol` units of the lowest kept limb.
inline void CheckProduct(disk::DiskInt& c, const Mpz& P, long na, long nb, long shift, long tol,
                         const char* what = "") {
    const long cut = c.Shift - shift, cut0 = std::max(0L, na + nb - c.SizeAlloc);
    EXPECT_TRUE(cut == cut0 || (cut == cut0 + 1 && (cut0 > 0 || mpz_sgn(P.v) < 0)))
        << what << ": cut " << cut;
    ASSERT_LE(c._N, c.SizeAlloc) << what;
    const Mpz d = Sub(Mantissa(c), DropLimbs(P, cut));
    EXPECT_LE(mpz_cmpabs_ui(d.v, cut == 0 ? 0UL : static_cast<unsigned long>(tol)), 0)
        << what << ": off by " << d.str() << SeedNote();
    const std::vector<double> v = GetLimbs(c);
    EXPECT_TRUE(IsCanonical(v.data(), c._N, 1e12)) << what << SeedNote();
}

// The k-th file transfer fails, k = 1, 2, ... until op completes: every interrupted run
// ends through the fatal path with a disk message, after which `check` runs. Returns the
// number of transfers.
inline long FailEachTransfer(
    const std::function<void()>& setup, const std::function<void()>& op,
    const std::function<void()>& check = [] {}) {
    for (long k = 1;; ++k) {
        setup();
        disk::testing::FailTransferAfter(k);
        ConsoleCapture io("");
        try {
            op();
        } catch (const core::ProgramExit& e) {
            EXPECT_TRUE(e.status() != 0 && Contains(e.what(), "ERROR in ")) << "transfer " << k;
            check();
            continue;
        }
        disk::testing::FailTransferAfter(0);
        return k - 1;
    }
}

}  // namespace zeprix::test
