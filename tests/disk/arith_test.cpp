// Disk arithmetic against GMP with a small FFT (NFFT 1024: product blocks of 341 limbs),
// so that products of a few thousand limbs take many blocks and pieces. Worst-case limbs
// (all 999999999999) first, then random operands (seed in the failure messages).
#include <gtest/gtest.h>

#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

using disk::DiskInt;
constexpr long kBlock = kNFFT / 3;  // 341
using DiskArith = DiskTest;

void ExpectCanonical(DiskInt& d) {
    const std::vector<double> v = GetLimbs(d);
    EXPECT_TRUE(IsCanonical(v.data(), d._N, 1e12)) << SeedNote();
}

// d holds x (its mantissa, canonical) at Shift `shift`.
void ExpectValue(DiskInt& d, const Mpz& x, long shift) {
    EXPECT_TRUE(SameValue(Mantissa(d), x));
    EXPECT_EQ(d.Shift, shift);
    ExpectCanonical(d);
}

TEST_F(DiskArith, SumsAndDifferences) {
    struct Case {
        long na, nb, sa, sb;
        int kind;
    };
    // Lengths around the 8000-limb blocks, Shifts that drop limbs of either operand.
    const Case cases[] = {{9000, 9000, 0, 0, 0}, {8001, 3, 0, 0, 0},    {3, 8001, 5, 0, 0},
                          {1, 1, 0, 0, 1},       {9000, 8999, 0, 0, 2}, {500, 700, -3, 4, 2},
                          {700, 500, 9, -2, 2},  {20, 8500, 0, 10, 1}};
    for (const Case& k : cases) {
        for (int lent = 0; lent < 2; ++lent) {
            // Both at the larger Shift s, their limbs below B^s dropped.
            const Mpz A = Operand(k.na, k.kind), B = Operand(k.nb, k.kind);
            const long s = std::max(k.sa, k.sb);
            const Mpz a1 = DropLimbs(A, s - k.sa), b1 = DropLimbs(B, s - k.sb);
            std::vector<double> buffer(30000);
            if (lent) disk::Memory().lent = buffer.data(), disk::Memory().lentSize = 30000;
            SCOPED_TRACE("na " + std::to_string(k.na) + " nb " + std::to_string(k.nb) + " lent " +
                         std::to_string(lent));
            DiskInt a, b, c;
            PutValue(a, "AA", A, 9100, k.sa);
            PutValue(b, "PP", B, 9100, k.sb);
            c.Init("QQ", 9100);
            disk::AddDiskInt(a, b, c);
            ExpectValue(c, Add(a1, b1), s);
            disk::SubstractDiskInt(a, b, c);
            ExpectValue(c, Sub(a1, b1), s);
            disk::SubstractDiskInt(b, a, b);  // in place
            ExpectValue(b, Sub(b1, a1), s);
            disk::Memory().lent = nullptr, disk::Memory().lentSize = 0;
        }
    }
    // A zero operand (_N = 0) copies the other, Shift included; a difference of -1.
    DiskInt a, z, c;
    PutValue(a, "AA", Mpz(5L), 4, 7);
    z.Init("PP", 4);
    c.Init("QQ", 4);
    disk::AddDiskInt(z, a, c);
    ExpectValue(c, Mpz(5L), 7);
    PutValue(z, "PP", Mpz(6L), 4, 7);
    disk::SubstractDiskInt(a, z, c);
    ExpectValue(c, Mpz(-1L), 7);
}

// Each piece product of a truncated product drops its limbs below the cut with their
// carry, less than 4 units of the lowest kept limb, and at most two pieces per block reach
// that limb.
long Tolerance(long na) { return 8 * (na / kBlock + 2); }

TEST_F(DiskArith, ProductsAndSquares) {
    // Lengths around the block (340, 341, 342), many blocks (2000), squares where the
    // lengths agree; capacities from the full product down to less than one operand.
    const long lengths[][2] = {{1, 1},      {340, 341}, {341, 342}, {342, 1},   {2000, 700},
                               {700, 2000}, {1, 2000},  {2000, 1},  {683, 683}, {1500, 1500}};
    for (int kind = 0; kind < 3; ++kind) {
        for (const auto& l : lengths) {
            const long na = l[0], nb = l[1];
            const Mpz A = Operand(na, kind == 2 ? 1 : kind), B = Operand(nb, kind);
            Big x(A, na + 2), bm(B, nb + 2);  // the operands in memory
            x.b.Exp = 3;
            bm.b.Exp = -5;
            for (long cap : {na + nb, na + nb - 1, (na + nb) / 2, std::max(nb - 3, 1L)}) {
                SCOPED_TRACE(std::to_string(na) + " x " + std::to_string(nb) + " limbs, capacity " +
                             std::to_string(cap) + ", kind " + std::to_string(kind));
                DiskInt a, b, c;
                PutValue(a, "AA", A, na, 3);
                PutValue(b, "PP", B, nb, -5);
                c.Init("QQ", cap - 1);  // SizeAlloc = cap
                const Mpz P = Mul(A, B);
                disk::MulDiskInt(a, b, c);
                CheckProduct(c, P, a._N, b._N, -2, Tolerance(a._N), "MulDiskInt");
                disk::MulDiskInt(a, bm.b, c);
                CheckProduct(c, P, a._N, b._N, -2, Tolerance(a._N), "MulDiskInt (BigInt b)");
                // One block of x, several blocks, x longer than b.
                disk::MulBigIntByDiskInt(x.b, b, c);
                CheckProduct(c, P, a._N, b._N, -2, Tolerance(a._N), "MulBigIntByDiskInt");
                if (na == nb) {
                    disk::SquareDiskInt(b, c);
                    CheckProduct(c, Mul(B, B), b._N, b._N, -10, Tolerance(b._N), "SquareDiskInt");
                }
                if (na <= kBlock && na <= b._N && cap >= b._N) {
                    const long nb1 = b._N;
                    b.SizeAlloc = cap;
                    disk::MulBigIntByDiskInt(x.b, b, b);  // in place
                    CheckProduct(b, P, a._N, nb1, -2, Tolerance(a._N),
                                 "MulBigIntByDiskInt in place");
                }
            }
        }
    }
}

TEST_F(DiskArith, SmallProductsAndHalves) {
    const double ms[] = {0, 1, 2, 2999, 3000, 3001, 999999, 1000000, 123456789012345, 1e15};
    for (int kind = 0; kind < 3; ++kind) {
        for (long n : {1L, 7999L, 8001L}) {
            const Mpz A = Operand(n, kind);
            for (double m : ms) {
                SCOPED_TRACE("n " + std::to_string(n) + " m " + std::to_string(m));
                const Mpz want = Mul(A, Mpz(static_cast<long>(m)));
                DiskInt a, d;
                PutValue(a, "AA", A, n + 3, -4);
                d.Init("dA", n + 3);
                disk::MulDiskIntBySmall(a, m, d);
                ExpectValue(d, want, -4);
                Big am(A, n + 2);  // any MPInt source
                disk::MulDiskIntBySmall(am.b, m, d);
                EXPECT_TRUE(SameValue(Mantissa(d), want)) << "BigInt source";
            }
            // Halving, odd and negative numbers included: the floor.
            for (const Mpz& x : {A, Mpz(1L), Mpz(-1L), Mpz(-3L)}) {
                Mpz want;
                mpz_fdiv_q_2exp(want.v, x.v, 1);
                DiskInt a;
                PutValue(a, "AA", x, n + 3, 6);
                disk::HalveDiskInt(a, a);
                ExpectValue(a, want, 6);
            }
        }
    }
}

TEST_F(DiskArith, Division) {
    // x / y to the precision of y: n0 = y's length. Lengths of one block or less, several
    // blocks (the loop corrects y while it is longer than n0 / 2, then x only), y with
    // leading nines (y times the inverse starts with a run of nines) and random.
    const std::pair<long, long> cases[] = {{1, 1},       {2, 2},       {5, 5},    {400, 400},
                                           {1000, 1000}, {1200, 1000}, {700, 400}};
    for (int kind = 0; kind < 2; ++kind) {
        for (const auto& [nx, ny] : cases) {
            const Mpz X = RandomLimbs(nx, false), Y = Operand(ny, kind);
            DiskInt x, y, z;
            PutValue(x, "A", X, nx);
            PutValue(y, "B", Y, ny);
            z.Init("dtmp", nx + 2);
            Big t(kBlock + 2), i(kBlock + 2);
            ConsoleCapture io("");
            disk::DivDiskInt(x, y, z, t.b, i.b);
            const std::string out = io.Output();
            EXPECT_EQ(out.rfind("Division : 0% \b\b\b", 0), 0u) << out;
            EXPECT_TRUE(Contains(out, "\b\b\b100%\b\b\b\b  Done\n"));
            // err = (x B^s - X / Y) / B^s in units of x's last limb, within 10 units of the
            // limb n0 places below x's top: |x Y B^s - X| <= 10 Y B^(s + max(0, N - n0)),
            // both sides times B^-s when s < 0.
            const long s = x.Shift, slack = std::max(0L, x._N - ny);
            const Mpz up = Pow10(12 * std::max(s, 0L)), down = Pow10(12 * std::max(-s, 0L));
            const Mpz d = Sub(Mul(Mul(Mantissa(x), Y), up), Mul(X, down));
            EXPECT_LE(mpz_cmpabs(d.v, Mul(Mul(Y, Mpz(10L)), Mul(Pow10(12 * slack), up)).v), 0)
                << "nx " << nx << " ny " << ny << " kind " << kind << SeedNote();
        }
    }
}

TEST_F(DiskArith, FatalPaths) {
    const Mpz A = RandomLimbs(600, false), B = RandomLimbs(500, false), Y = RandomLimbs(400, false);
    DiskInt a, b, c, y, z;
    Big t(kBlock + 2), i(kBlock + 2);
    auto product = [&] {
        PutValue(a, "AA", A, 600);
        PutValue(b, "PP", B, 500);
        c.Init("QQ", 1100);
    };
    EXPECT_GT(FailEachTransfer(product, [&] { disk::MulDiskInt(a, b, c); }), 10);
    EXPECT_TRUE(SameValue(Mantissa(c), Mul(A, B)));
    auto division = [&] {
        PutValue(a, "AA", A, 600);
        PutValue(y, "dP", Y, 400);
        z.Init("dA", 600);
    };
    EXPECT_GT(FailEachTransfer(division, [&] { disk::DivDiskInt(a, y, z, t.b, i.b); }), 10);
    // The operation records of the debug log (c cannot be written).
    product();
    c.Init("dQ", 1200);
    std::filesystem::create_directory("dQ-00");
    for (const char* op : {"MulDiskInt", "AddDiskInt"}) {  // the record of the last one only
        ExpectProgramExit(
            [&] { *op == 'M' ? disk::MulDiskInt(a, b, c) : disk::AddDiskInt(a, b, c); });
        const std::string log = ReadFile("Zeprix.log");
        EXPECT_TRUE(Contains(log, op + std::string(" is on\nNa=600, Nb=500, NcAlloc=1201\n")));
        EXPECT_EQ(Occurrences(log, " is on\n"), 1) << log;
    }
    // In place with a capacity below b's length.
    fft::ReusedFactor xf(t.b);
    b.SizeAlloc = 400;
    EXPECT_TRUE(
        Contains(ExpectProgramExit([&] { disk::SpecialMulByDiskInt(xf, b, b, 0, true, false); }),
                 "Problem in SpecialMulByDiskInt"));
}

}  // namespace
}  // namespace zeprix::test
