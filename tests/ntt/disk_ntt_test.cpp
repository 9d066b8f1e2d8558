// NTT products of disk integers against GMP: lengths around the switch from the block
// product and far beyond it, squares, negative operands, truncated results, the reuse of
// a first operand's transforms; and what a run leaves on disk (stale residue files of an
// earlier run, transfers that fail).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ntt/disk_ntt.hpp"
#include "../disk/disk_test_util.hpp"

namespace zeprix::test {
namespace {

using disk::DiskInt;
using DiskNtt = DiskTest;  // NNTTMax 2048; products above 2389 limbs take the NTT

// Residue files: A000, B001, ...
bool ResidueFilesLeft() {
    for (const auto& e : std::filesystem::directory_iterator(".")) {
        const std::string name = e.path().filename().string();
        if (name.size() == 4 && (name[0] == 'A' || name[0] == 'B')) return true;
    }
    return false;
}

TEST_F(DiskNtt, ProductsAgainstGmp) {
    ntt::NttEngine engine(kNFFT, 4e5);
    // Just below and at the switch from the block product (2389 and 2390 result limbs),
    // unequal lengths, a one-limb factor, far beyond (many primes); capacities from full to
    // a third.
    const long lengths[][2] = {{1194, 1195}, {1195, 1195}, {2000, 391},
                               {3000, 1},    {4000, 4000}, {9000, 5000}};
    for (int kind = 0; kind < 3; ++kind) {
        for (const auto& l : lengths) {
            const long na = l[0], nb = l[1];
            const Mpz A = Operand(na, kind), B = Operand(nb, kind == 2 ? 1 : kind);
            for (long cap : {na + nb + 1, na + nb - 1, (na + nb) / 3}) {
                SCOPED_TRACE(std::to_string(na) + " x " + std::to_string(nb) + " limbs, capacity " +
                             std::to_string(cap) + ", kind " + std::to_string(kind));
                DiskInt a, b, c;
                PutValue(a, "AA", A, na + 1, 3);
                PutValue(b, "PP", B, nb + 1, -5);
                c.Init("QQ", cap - 1);  // SizeAlloc = cap
                disk::MulDiskInt(a, b, c);
                CheckProduct(c, Mul(A, B), a._N, b._N, -2, 4);
                EXPECT_EQ(engine.Product().LastProductWasNTT, a._N + b._N > 2389 && cap > 2389);
                Big bm(B, nb + 2);  // the second factor in memory
                bm.b.Exp = -5;
                engine.Product().MulDiskIntByNTT(a, bm.b, c, false, false);
                CheckProduct(c, Mul(A, B), a._N, b._N, -2, 4);
                disk::SquareDiskInt(a, c);
                CheckProduct(c, Mul(A, A), a._N, a._N, 6, 4);
                EXPECT_FALSE(ResidueFilesLeft());
            }
        }
    }
}

// The same limbs on 1, 2, 3 and 8 threads, and GMP's: a negative operand, a product whose
// first operand's transforms are kept, a truncated one that reads them, a square. The
// capacity (NNTTMax 16384) gives 4096-point transforms of 6 primes and conversion and
// rebuild blocks of 136 groups, all shared out in chunks.
TEST_F(DiskNtt, SameProductsOnAnyNumberOfThreads) {
    ThreadCountRestored restore;
    ntt::NttEngine engine(8192, 4e5);
    ntt::NttProduct& ntt = engine.Product();
    Mpz A = Operand(9000, 1), B = Operand(5000, 1);
    mpz_neg(B.v, B.v);
    DiskInt a, b;
    PutValue(a, "AA", A, 9001);
    PutValue(b, "PP", B, 5002);
    std::vector<double> first[3];
    for (int threads : {1, 2, 3, 8}) {
        core::SetThreadCount(threads);
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(std::to_string(threads) + " threads, product " + std::to_string(k));
            DiskInt c;
            c.Init("QQ", k == 1 ? 9000 : 14002);
            ntt.KeepResidues = k == 0;
            if (k < 2)
                ntt.MulDiskIntByNTT(a, b, c, false, false);
            else
                ntt.Square(b, c);
            EXPECT_EQ(ntt.NTT0AlreadyComputed, k == 1);
            CheckProduct(c, k < 2 ? Mul(A, B) : Mul(B, B), k < 2 ? a._N : b._N, b._N, 0, 4);
            if (threads == 1) first[k] = GetLimbs(c);
            EXPECT_EQ(GetLimbs(c), first[k]);
        }
    }
    EXPECT_FALSE(ResidueFilesLeft());
}

// A first operand multiplied again reads its kept transforms; a changed limb, or another
// first operand, is noticed and its transforms are computed afresh.
TEST_F(DiskNtt, KeptTransformsAreReusedOnlyForTheSameOperand) {
    ntt::NttEngine engine(kNFFT, 4e5);
    ntt::NttProduct& ntt = engine.Product();
    const Mpz A = Operand(3000, 1), B1 = Operand(2500, 1), B2 = Operand(2500, 2);
    DiskInt a, b1, b2, c, d;
    PutValue(a, "AA", A, 3001);
    PutValue(b1, "PP", B1, 2501);
    PutValue(b2, "QQ", B2, 2501);
    c.Init("dA", 6000);
    d.Init("dP", 6000);
    ntt.KeepResidues = true;
    ntt.MulDiskIntByNTT(a, b1, c, false, false);
    EXPECT_FALSE(ntt.NTT0AlreadyComputed);
    EXPECT_TRUE(std::filesystem::exists("A000"));
    ntt.KeepResidues = true;
    ntt.MulDiskIntByNTT(a, b2, d, false, false);
    EXPECT_TRUE(ntt.NTT0AlreadyComputed);
    CheckProduct(c, Mul(A, B1), 3000, 2500, 0, 4);
    CheckProduct(d, Mul(A, B2), 3000, 2500, 0, 4);
    // One limb of a changes (same files, same length): the kept transforms are not used.
    const double limb = 7;
    disk::WriteLimbs(a, &limb, 1, 1234);
    Mpz A2 = Mantissa(a);
    ntt.MulDiskIntByNTT(a, b1, c, false, false);
    EXPECT_FALSE(ntt.NTT0AlreadyComputed);
    CheckProduct(c, Mul(A2, B1), 3000, 2500, 0, 4);
    EXPECT_FALSE(ResidueFilesLeft());  // not kept: every residue file is gone
}

// Residue files of an earlier run (a kill) never feed a product: the engine removes them
// when it starts. A transfer that fails (a full disk) is a fatal error, and the files of
// the interrupted product are gone.
TEST_F(DiskNtt, StaleFilesAndFailedTransfers) {
    for (const char* name : {"A000", "A001", "B001", "B004"})
        std::ofstream(name) << std::string(100000, 'x');
    ntt::NttEngine engine(kNFFT, 4e5);
    EXPECT_FALSE(ResidueFilesLeft());
    const Mpz A = Operand(2000, 1), B = Operand(1500, 1);
    DiskInt a, b, c;
    PutValue(a, "AA", A, 2001);
    PutValue(b, "PP", B, 1501);
    bool first = true;  // the debug log shows the product that failed
    const long transfers = FailEachTransfer(
        [&] { c.Init("QQ", 3600); }, [&] { disk::MulDiskInt(a, b, c); },
        [&] {
            EXPECT_FALSE(ResidueFilesLeft());
            EXPECT_TRUE(!first || Contains(ReadFile("Zeprix.log"),
                                           "NTT product is on\nNa=2000, Nb=1500, Nc=3601\nNCRT="));
            first = false;
        });
    EXPECT_GT(transfers, 10);
    CheckProduct(c, Mul(A, B), 2000, 1500, 0, 4);
}

}  // namespace
}  // namespace zeprix::test
