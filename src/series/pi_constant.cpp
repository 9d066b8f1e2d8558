// Pi by binary splitting of the Chudnovsky or a Ramanujan series, stepped evaluation,
// one division, an inverse square root and a final product.
#include "series/pi_constant.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/inv_sqrt.hpp"
#include "newton/newton.hpp"
#include "ntt/disk_ntt.hpp"
#include "numbers/schoolbook.hpp"
#include "series/builtin_common.hpp"
#include "series/pi_stages.hpp"
#include "series/stepped.hpp"
#include "series/thresholds.hpp"

namespace zeprix::series {

using core::Print;
using numbers::BigInt;
using numbers::SmallInt;

namespace {

// Known ten-digit groups of Pi: the digits in places pos + 1 .. pos + 10 after the point.
constexpr KnownGroup kKnownGroups[] = {
    {10000, 5667227966},      {20000, 2038565390},      {30000, 3572905691},
    {50000, 3009369188},      {100000, 4126002437},     {200000, 5202072786},
    {300000, 7512520542},     {500000, 6973910175},     {1000000, 3092756283},
    {2000000, 6121731251},    {3000000, 6970679155},    {5000000, 5683761688},
    {10000000, 2591513361},   {20000000, 1731393365},   {30000000, 1208785807},
    {50000000, 5645211683},   {100000000, 2150588095},  {200000000, 565111298},
    {999999990, 5275045519},  {1999999990, 3009559510}, {3999999990, 2268447216},
    {5999999990, 5298777327},
};

// C in base-10^8 limbs, least significant first.
constexpr double kChudC[] = {60032000, 9390588, 1};  // 10939058860032000 = 640320^3 / 24
constexpr double kRamaC[] = {73907232, 30};          // 3073907232 = 396^4 / 8
// c(k) = base + slope k.
constexpr double kChudBase = 13591409, kChudSlope = 545140134;
constexpr double kRamaBase = 1103, kRamaSlope = 26390;
// The final factors: 426880 sqrt(10005) = 4270934400 / sqrt(10005) = 640320^(3/2) / 12,
// and 9801 / sqrt(8).
constexpr double kChudK0 = 4270934400, kRamaK0 = 9801;
constexpr long kChudRoot = 10005, kRamaRoot = 8;

bool IsEven(double k) { return FloorWhole(k / 2) * 2 == k; }

}  // namespace

// ---- the series ------------------------------------------------------------------------

PiSeries::PiSeries(long m) : method(m), termsPerLeaf(m == 0 ? 2 : 1) {
    linear.Alloc(8);
    constantFactor.Alloc(8);
}

PiSeries::~PiSeries() {
    linear.Free();
    constantFactor.Free();
}

std::unique_ptr<SplitSeries> PiSeries::CloneForThread() const {
    auto twin = std::make_unique<PiSeries>(method);
    twin->termsPerLeaf = termsPerLeaf;
    return twin;
}

void PiSeries::SetC(SmallInt& r) const {
    const double* c = method == 0 ? kChudC : kRamaC;
    const long n = method == 0 ? 3 : 2;
    if (r.SizeAlloc < n) r.Alloc(n);
    for (long i = 0; i < n; ++i) r.Limbs[i] = c[i];
    r._N = n;
}

// linear = base + slope k, exact: slope k by ShortMulSmallInt (k < 2^53 / 10^9 is far
// beyond any term count), then base added to the lowest limb and carried.
void PiSeries::SetLinear(double k) {
    linear.Set(method == 0 ? kChudSlope : kRamaSlope);
    numbers::ShortMulSmallInt(linear, k, linear);
    linear.Limbs[0] += method == 0 ? kChudBase : kRamaBase;
    linear.UpdateSmallInt();
}

bool PiSeries::IsLastBlock(double n0, double n1) const {
    return n1 - n0 <= static_cast<double>(termsPerLeaf);
}

// Chudnovsky: the block (n0, n1) starts with the term n0 + 1 of sign (-1)^n0.
int PiSeries::ExpectedSign(double n0) const {
    if (method != 0) return 1;
    return IsEven(n0) ? 1 : -1;
}

void PiSeries::LastBabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) {
    if (n1 - n0 == 2 && method == 0)
        TwoTerms(n0, *A, P, Q);
    else
        OneTerm(n1, *A, P, Q);
}

// A = a(k), P = sign(k) c(k) a(k), Q = q(k).
void PiSeries::OneTerm(double k, SmallInt& A, SmallInt& P, SmallInt& Q) {
    if (method == 0) {
        A.Set(6 * k - 5);
        numbers::ShortMulSmallInt(A, 2 * k - 1, A);
        numbers::ShortMulSmallInt(A, 6 * k - 1, A);
    } else {
        A.Set(4 * k - 3);
        numbers::ShortMulSmallInt(A, 2 * k - 1, A);
        numbers::ShortMulSmallInt(A, 4 * k - 1, A);
    }
    SetLinear(k);
    numbers::MulSmallInt(linear, A, P, 1);
    if (method == 0 && IsEven(k)) numbers::NegateSmallInt(P, P);
    SetC(Q);
    for (int i = 0; i < 3; ++i) numbers::ShortMulSmallInt(Q, k, Q);
}

// The terms k = n0 + 1 and k + 1 at once: with the join of the two one-term blocks,
//   A = a(k) a(k+1),  Q = q(k) q(k+1),
//   P = sign(k) (c(k) a(k) q(k+1) - c(k+1) a(k) a(k+1)),
// since the second term carries the opposite sign. sign(k) = (-1)^n0.
void PiSeries::TwoTerms(double n0, SmallInt& A, SmallInt& P, SmallInt& Q) {
    const double n1 = n0 + 2, k = n0 + 1;
    A.Set(6 * n0 + 1);  // a(k)
    numbers::ShortMulSmallInt(A, 2 * n0 + 1, A);
    numbers::ShortMulSmallInt(A, 6 * n0 + 5, A);
    Q.Set(n1);  // q(k + 1) = n1^3 C
    numbers::ShortMulSmallInt(Q, n1, Q);
    numbers::ShortMulSmallInt(Q, n1, Q);
    SetC(constantFactor);
    numbers::MulSmallInt(Q, constantFactor, Q, 1);
    numbers::MulSmallInt(Q, A, P, 1);  // a(k) q(k+1)
    SetLinear(k);
    numbers::MulSmallInt(P, linear, P, 1);        // c(k) a(k) q(k+1)
    numbers::ShortMulSmallInt(A, 6 * n0 + 7, A);  // a(k) a(k+1)
    numbers::ShortMulSmallInt(A, 2 * n0 + 3, A);
    numbers::ShortMulSmallInt(A, 6 * n0 + 11, A);
    SetLinear(k + 1);
    numbers::MulSmallInt(linear, A, linear, 1);  // c(k+1) a(k) a(k+1)
    numbers::SubstractSmallInt(P, linear, P);
    for (int i = 0; i < 3; ++i) numbers::ShortMulSmallInt(Q, k, Q);  // q(k) q(k+1)
    numbers::MulSmallInt(Q, constantFactor, Q, 1);
    if (!IsEven(n0)) numbers::NegateSmallInt(P, P);
}

double PiLnC(long method) {
    return method == 0 ? std::log(10939058860032000.0) : std::log(3073907232.0);
}

double PiTermCount(long method, double digits) {
    const double D = digits + 100;
    return std::trunc(D * (method == 0 ? 0.07052186177715092 : 0.12531328320802004) + 1);
}

// The table: with the budget B = F3 ln 10^12 and s(k) = 3 ln k + ln C + 1 the log-size
// attributed to term k, the nominal step s0 = trunc(B / termSize) is adjusted term by
// term until the estimated size E of the step's numbers (its factors, plus h termSize for
// the recursion's spare limbs) meets B.
std::vector<double> PiStepTable(double N, long F, double termSize, double lnC) {
    const double B = static_cast<double>(F / 3) * std::log(1e12);
    const double s0 = std::trunc(B / termSize);
    const double h = std::trunc(std::log(std::max(s0, 1.0)) / std::log(2.0)) + 2;
    auto s = [&](double k) { return 3 * std::log(std::max(k, 1.0)) + lnC + 1; };
    auto xlnx = [](double v) { return v > 0 ? v * std::log(v) : 0.0; };
    std::vector<double> b{0};
    double x = 0;
    while (x < N) {
        x += s0;
        const double y = x - s0 / 2;
        double E = 6 * (xlnx(x) - xlnx(y)) + h * termSize + s0 * (lnC + 1);
        while (E > B && x > 0) {
            x -= 1;
            E -= s(x);
        }
        while (E < B) {
            E += s(x);
            x += 1;
        }
        if (x <= b.back()) core::FatalError("Error, your size of FFT is probably too small");
        b.push_back(x);
    }
    // b.back() >= N: the last full step is halved, the rest up to N is the tail.
    const std::size_t J = b.size() - 1;
    if (J == 1) return {0};  // the first step reaches N: one step (0, N)
    b[J] = b[J - 1];
    const double mid = FloorWhole((b[J - 1] + b[J - 2]) / 2);
    if (mid > b[J - 2]) {
        b[J - 1] = mid;
    } else {  // a step of one term cannot be halved
        b.erase(b.begin() + static_cast<long>(J - 1));
    }
    return b;
}

// ---- the constant ----------------------------------------------------------------------

PiConstant::PiConstant(long m) : method(m) {}

PiConstant::~PiConstant() {}

void PiConstant::WriteMethod(FILE* f) const {
    std::fprintf(f, method == 0 ? "Method used : Chudnovsky\n" : "Method used : Ramanujan\n");
}

void PiConstant::SizeSeries() {
    const double D = digits + 100;
    const double N0 = D * (method == 0 ? 0.07052186177715092 : 0.12531328320802004) + 1;
    termSize = 3 * std::log(N0) + PiLnC(method);
    N = std::trunc(N0);
    giantThreshold = static_cast<long>(kPiGiantLeafLog / termSize);
}

void PiConstant::EstimateMemory(double F, double& memory, double& disk) const {
    const double F3 = std::floor(F / 3);
    double L = std::trunc(digits * std::log(10.0) / std::log(1e12)) + 1;
    if (L < F3) L = F3;
    if (mode == 0) {
        const double c = std::max(L + 2, 2 * F3);
        memory = fft::FFTMemory(F) + 24 * (F3 + 1) + 16 * (L + 1) + 8 * (c + 1) +
                 SplitSeries::ParallelMemory(F, F3, true);
        disk = 0;
        return;
    }
    if (mode == 1 || mode == 2) {  // disk modes: memory bounded by the FFT size
        // Measured: the FFT tables, about 13 doubles per limb of a product block (the step's
        // numbers, the disk buffers, in-memory products of short operands) and the program
        // itself (4 MB); on disk the five numbers of R + 2 limbs (pair, next pair, AA).
        const double R =
            std::max(std::trunc((digits + 100) * std::log(10.0) / std::log(1e12)) + 1, F3) + 2;
        memory = fft::FFTMemory(F) + 105 * (F3 + 1) + 4000 * 1024.0 +
                 SplitSeries::ParallelMemory(F, F3, true);
        disk = 5 * R * 8 / 1024;
        if (mode == 2) {  // and a step's block on disk with its work numbers: about 4 e
            double e = F3;
            while (2.5 * e < R - 2) e = 2 * e + 1;
            disk += 4 * e * 8 / 1024;
            memory += ntt::NttEngine::MemoryBytes(F);
            disk += ntt::NttEngine::DiskBytes(R) / 1024;
        }
        return;
    }
    memory = fft::FFTMemory(F) + 32 * (F3 + 1) + 16 * F3;
    if (mode == 2) disk = digits * 4.5 / 1024;
}

void PiConstant::GetFFTModes(long& first, long& last, double factors[10]) const {
    Constant::GetFFTModes(first, last, factors);
    BuiltinTimeFactors(mode, factors);
}

long PiConstant::Run() { return Constant::Run(); }

PiFormula PiFormulaOf(long method) {
    if (method == 0) return {kChudBase, -1, kChudK0, kChudRoot};
    return {kRamaBase, +1, kRamaK0, kRamaRoot};
}

namespace {

// The stages after the series in memory, on the accumulated pair of the stepped
// evaluation. Every number keeps R limbs (100 guard digits): the division and the inverse
// square root are within a few units of their last limbs, the products floor once each.
// X is the scratch of the constant term and of the inverse square root (capacity R + 24),
// then the result.
struct MemoryFinish {
    SteppedSums& s;
    long R;

    void AddConstantTerm(const PiFormula& f) {
        s.X.SizeAlloc = R + 1;
        s.accP.SizeAlloc = R + 1;
        BigInt::ShortMul(s.accQ, f.base, s.X);
        if (f.sign < 0)
            numbers::SubstractBigInt(s.X, s.accP, s.accP);
        else
            numbers::AddBigInt(s.accP, s.X, s.accP);
        ZEPRIX_CHECK(s.accP.Limbs[s.accP._N - 1] > 0,
                     "Error in PiConstant::Compute, the sum is not positive");
    }
    void DivideQByP() {
        s.accQ.SizeAlloc = R + 1;
        s.accP.TrimBigInt();
        newton::DivideBigInt(s.accQ, s.accP, s.X, s.stepP, s.stepQ);
    }
    void InvSqrtIntoP(long root) {  // to R - 1 limbs
        s.X.SizeAlloc = R + 23;
        s.accP.SizeAlloc = R - 1;
        newton::InvSqrtBigInt(root, s.accP, s.X);
    }
    void ScaleP(double k0) {
        s.accP.SizeAlloc = R + 1;
        BigInt::ShortMul(s.accP, k0, s.accP);
    }
    void FinalProduct() {
        s.X.SizeAlloc = R + 2;
        fft::MulBigInt(s.accQ, s.accP, s.X);
    }
    static bool StageDone(long) { return true; }
};

}  // namespace

// Standard mode. After the series, accP/accQ = P(0, N)/Q(0, N) = the sum over k = 1 .. N
// (signs included, truncated to R limbs by the stepped evaluation); the tail beyond N is
// below 10^-(digits + 100); the stages of PiFinalStages form pi from them.
long PiConstant::Compute() {
    if (mode != 0) return ComputeOnDisk();
    SizeSeries();
    const long F = fftSize;
    fft::FFTSession fftSession(F);  // the FFT tables of this computation

    PiSeries series(method);
    series.giantThreshold = giantThreshold;
    series.keepsA = true;
    series.AllocWorkAreas(termSize);

    const long R = SteppedQuotientLength(digits, F);
    SteppedSums s;
    s.Alloc(N, F, R);
    s.X.Alloc(R + 24);  // also the scratch of the inverse square root (capacity + 24)
    s.X.SizeAlloc = R;
    const std::vector<double> bounds = PiStepTable(N, F, termSize, PiLnC(method));

    PrintMemory();
    Print("Computing series with index N=%.0lf\n", N);
    EvaluateStepped(series, bounds, N, s);
    series.FreeWorkAreas();

    MemoryFinish ops{s, R};
    long stage = kSeriesDone;
    PiFinalStages(ops, PiFormulaOf(method), stage);
    ZEPRIX_CHECK(newton::TopPosition(s.X) == 1 && s.X.Limbs[s.X._N - 1] == 3,
                 "Error in PiConstant::Compute, the result is not near pi");

    result_ = std::make_unique<BigInt>(std::move(s.X));
    result = result_.get();
    s.Free();
    return 1;
}

long PiConstant::Check() {
    if (!result) return 0;
    return MatchKnownGroups(*result, digits, kKnownGroups);
}

}  // namespace zeprix::series
