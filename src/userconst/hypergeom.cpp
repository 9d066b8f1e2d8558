// Hypergeom: definition dialogue, mode 0 conversion, checks and the stepped computation.
#include "userconst/hypergeom.hpp"

#include <algorithm>
#include <cmath>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/newton.hpp"
#include "numbers/schoolbook.hpp"
#include "series/split_series.hpp"
#include "series/stepped.hpp"
#include "userconst/parser.hpp"
#include "userconst/term_sizes.hpp"

namespace zeprix::userconst {

using core::Print;
using numbers::BigInt;

std::string ReadTextLine() {
    FILE* in = core::ConsoleIn();
    int ch;
    do {
        ch = std::fgetc(in);
    } while (ch == '\n' || ch == '\r');
    if (ch == EOF) core::EndOfInput();
    std::ungetc(ch, in);
    return core::ReadLine();
}

namespace {

constexpr double kLn10 = 2.302585092994046;

// The G-vanishing message with its value of n.
std::string VanishMessage(char which, double n) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Error, the polynomial %c vanish at the value n=%.0lf\n", which,
                  n);
    return buf;
}

// ln |P(i)| - ln |Q(i)| evaluated exactly (both nonzero), for the term-count estimate.
double LogRatio(const Polynom& p, const Polynom& q, double i) {
    return p.Value(i).LogAbs() - q.Value(i).LogAbs();
}

}  // namespace

// The term formula of the product form: a(n) = F(n) Znum, q(n) = G(n) Zden, c(n) = 1, one
// term per last baby step. Both are negated when q(n) < 0, so that every Q of the engine
// is positive whatever the signs of G and Z; a(n)/q(n) is unchanged.
class Hypergeom::Series : public series::SplitSeries {
public:
    explicit Series(const Hypergeom& h) : h_(h) {}

    bool IsLastBlock(double n0, double n1) const override { return n0 + 1 == n1; }

    void LastBabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) override {
        if (n1 != n0 + 1) core::FatalError("Error in Hypergeom::LastBabyStep, n1 != n0+1");
        const Int& znum = h_.Z.num;
        const Int& zden = h_.Z.den;
        SmallInt& a = A ? *A : P;  // without A, a(n) = 1 (UnitNumerators) and P = a(n)
        h_.F->Evaluate(n1, a);
        if (!(znum.Limbs() == 1 && znum.get().Limbs[0] == 1))
            numbers::MulSmallInt(a, znum.get(), a, 1);
        h_.G->Evaluate(n1, Q);
        if (!(zden.Limbs() == 1 && zden.get().Limbs[0] == 1))
            numbers::MulSmallInt(Q, zden.get(), Q, 1);
        const int s = Q.Sign();
        // Always on: a zero of G beyond the definition check would divide by zero.
        if (s == 0) core::FatalError(VanishMessage('G', n1));
        if (s < 0) {
            numbers::NegateSmallInt(a, a);
            numbers::NegateSmallInt(Q, Q);
        }
        if (A) A->CopyTo(P);
    }

    // The polynomials are only read: a copy shares them.
    std::unique_ptr<series::SplitSeries> CloneForThread() const override {
        return std::make_unique<Series>(h_);
    }

private:
    const Hypergeom& h_;
};

Hypergeom::Hypergeom(long type) : seriesType(type) {}

Hypergeom::~Hypergeom() {}

std::unique_ptr<Hypergeom> Hypergeom::ChooseSeries() {
    const char* prompt = "Enter your choice : ";
    Print("Enter your series type : \n");
    Print("[0] : General hypergeometric series\n");
    Print("[1] : arctan(Z)  = Z - Z^3/3 + Z^5/5 ...\n");
    Print("[2] : arctanh(Z) = Z + Z^3/3 + Z^5/5 ...\n");
    Print("[3] : log 1/(1-Z) = Z + Z^2/2 + Z^3/3 ...\n");
    Print("%s", prompt);
    auto h = std::make_unique<Hypergeom>(core::ReadLong(prompt));
    h->DefineSeries();
    return h;
}

namespace {

// Prints prompt, then reads lines until accept(line) holds.
template <class Accept>
std::string AskUntil(const char* prompt, Accept accept) {
    Print("%s", prompt);
    for (;;) {
        std::string line = ReadTextLine();
        if (accept(line)) return line;
    }
}

}  // namespace

void Hypergeom::DefineSeries() {
    if (seriesType < 0 || seriesType > 3) {
        Print("Error, the series type should be 0, 1, 2 or 3\n");
        return;  // no F and G: CheckDefinition refuses the series
    }
    if (seriesType == 0) {
        const char* prompt = "Enter your definition mode : ";
        Print("Choose your hypergeometric series definition mode : \n");
        Print("[0] : alpha + beta * sum_{n>=1}  F(n)/G(n) * Z^n\n");
        Print("[1] : alpha + beta * sum_{n>=1} [ prod_{1<=i<=n} (F(i)/G(i)) ] Z^n\n");
        Print("%s", prompt);
        definitionMode = core::ReadLong(prompt);
        Fraction f;
        textAlpha =
            AskUntil("Enter alpha : ", [&](const std::string& s) { return ParseFraction(s, f); });
        textBeta =
            AskUntil("Enter beta : ", [&](const std::string& s) { return ParseFraction(s, f); });
        textF = AskUntil("Enter expression for polynomial F(n) : ",
                         [](const std::string& s) { return ParsePolynomial(s) != nullptr; });
        textG = AskUntil("Enter expression for polynomial G(n) : ",
                         [](const std::string& s) { return ParsePolynomial(s) != nullptr; });
    }
    Fraction z;
    textZ = AskUntil("Enter Z : ", [&](const std::string& s) { return ParseFraction(s, z); });
    std::string why;
    if (!BuildFromTexts(why)) Print("Error in hypergeometric series definition\n");
}

bool Hypergeom::BuildFromTexts(std::string& why) {
    F.reset();
    G.reset();
    auto fraction = [&](const std::string& text, const char* what, Fraction& out) {
        std::string e;
        if (ParseFractionQuiet(text, out, e)) return true;
        why = std::string(what) + " \"" + text + "\": " + e;
        return false;
    };
    auto polynomial = [&](const std::string& text, const char* what) -> std::unique_ptr<Polynom> {
        ParseResult r = ParseExpressionText(text, 'n');
        if (r.ok) return BestForm(r.poly);
        why = std::string(what) + " \"" + text + "\": syntax error at column " +
              std::to_string(r.errorPos + 1) + (r.reason.empty() ? "" : " (" + r.reason + ")");
        return nullptr;
    };
    Fraction z;
    if (seriesType < 0 || seriesType > 3) {
        why = "Unknown type";
        return false;
    }
    if (seriesType == 0) {
        Fraction a, b;
        if (!fraction(textAlpha, "Alpha", a) || !fraction(textBeta, "Beta", b)) return false;
        auto f = polynomial(textF, "Polynomial F");
        if (!f) return false;
        auto g = polynomial(textG, "Polynomial G");
        if (!g) return false;
        if (!fraction(textZ, "Z", z)) return false;
        BuildSeries(*f, *g, z, a, b, definitionMode == 1 ? 1 : 0);
        return true;
    }
    if (!fraction(textZ, "Z", z)) return false;
    const PolynomStandard one(Int(1));
    if (seriesType == 3) {
        BuildSeries(one, PolynomStandard::Variable(), z, Fraction(Int(0), Int(1)),
                    Fraction(Int(1), Int(1)), 0);
        return true;
    }
    // arctan: Z - Z^3/3 + ... = Z + Z sum_{n>=1} (-Z^2)^n / (2n + 1); arctanh with +Z^2.
    const PolynomStandard g = PolynomStandard::Variable().Scale(Int(2)) + one;
    Fraction z2 = z * z;
    if (seriesType == 1) z2.num = -z2.num;
    BuildSeries(one, g, z2, z, z, 0);
    return true;
}

// Mode 0: with u(n) = F(n)/G(n) Z^n, u(n+1)/u(n) = F(n+1) G(n) Z / (G(n+1) F(n)); the new
// F and G are these products, and the first term u(1) = beta F(1)/G(1) Z moves into alpha
// and beta. Products that do not fit doubles keep their exact form.
void Hypergeom::BuildSeries(const Polynom& f, const Polynom& g, const Fraction& z,
                            const Fraction& a, const Fraction& b, long productForm) {
    Z = z.Normalised();
    alpha = a;
    beta = b;
    firstTermVanishes = false;
    if (productForm == 1) {
        F = f.Clone();
        G = g.Clone();
        return;
    }
    const PolynomStandard fs = f.ToStandard(), gs = g.ToStandard();
    const PolynomStandard f1 = f.Shift(1)->ToStandard(), g1 = g.Shift(1)->ToStandard();
    F = BestForm(f1 * gs);
    G = BestForm(g1 * fs);
    const Int f0 = f.Value(1), g0 = g.Value(1);
    if (f0.IsZero() || g0.IsZero()) {
        firstTermVanishes = true;  // refused by the checks
        return;
    }
    beta = beta * Fraction(f0, g0) * Z;
    alpha = alpha + beta;
}

double Hypergeom::LogRate() const {
    return G->LeadingCoefficient().LogAbs() + Z.den.LogAbs() - F->LeadingCoefficient().LogAbs() -
           Z.num.LogAbs();
}

double Hypergeom::Rate() const { return std::exp(LogRate()); }

std::string Hypergeom::CheckMessage() const {
    if (!F || !G) return "Error, the series type should be 0, 1, 2 or 3\n";
    if (firstTermVanishes)  // mode 0 with the user's F or G zero at n = 1
        return "Error, F(1) and G(1) must not be zero in definition mode 0\n";
    if (F->Degree() > G->Degree())
        return "Error, the series diverges: the degree of F is above the degree of G\n";
    const double lr = LogRate();
    if (!Superexponential() && !(lr > 0)) {
        char buf[128];
        std::snprintf(buf, sizeof buf,
                      "Error, the series is not geometrically convergent, rate=%lf\n",
                      std::exp(lr));
        return buf;
    }
    for (double n = 1; n <= 10; n += 1)
        if (G->Value(n).IsZero()) return VanishMessage('G', n);
    // Beyond 10: an integer zero of G lies below the Cauchy bound 1 + max |g_i / g_d|.
    const PolynomStandard g = G->ToStandard();
    double lb = -1e300;
    for (long i = 0; i < g.Degree(); ++i)
        lb = std::max(lb, g.c[static_cast<std::size_t>(i)].LogAbs() - g.c.back().LogAbs());
    // Candidates are screened in doubles with the coefficients scaled by the largest one:
    // only where |G(n)| is tiny next to sum |g_i| n^i is G(n) evaluated exactly.
    const double bound = std::min(1 + std::exp(std::min(lb, 30.0)), 1e5);
    double top = -1e300;
    for (const Int& c : g.c) top = std::max(top, c.LogAbs());
    std::vector<double> sc;
    for (const Int& c : g.c) sc.push_back(c.Sign() * std::exp(c.LogAbs() - top));
    for (double n = 11; n <= bound; n += 1) {
        double v = 0, mag = 0;
        for (std::size_t i = sc.size(); i-- > 0;) {
            v = v * n + sc[i];
            mag = mag * n + std::fabs(sc[i]);
        }
        if (std::fabs(v) <= 1e-6 * mag && G->Value(n).IsZero()) return VanishMessage('G', n);
    }
    return "";
}

long Hypergeom::CheckDefinition() {
    const std::string m = CheckMessage();
    if (m.empty()) return 1;
    Print("%s", m.c_str());
    return 0;
}

double Hypergeom::ApproximateValue() const {
    double K = 2 * std::log(1e15) / LogRate();
    if (!(K <= 1000) || Superexponential()) K = 1000;
    const double lz = Z.num.LogAbs() - Z.den.LogAbs();
    const int zs = Z.num.Sign() * Z.den.Sign();
    double term = 1, sum = 0;
    for (double n = 1; n < K; n += 1) {
        const Int fn = F->Value(n), gn = G->Value(n);
        if (gn.IsZero()) break;
        const int s = fn.Sign() * gn.Sign() * zs;
        if (s == 0) break;  // every later term is 0
        term *= s * std::exp(fn.LogAbs() - gn.LogAbs() + lz);
        sum += term;
        // Terms that fall faster than geometrically: stop once they no longer count.
        if (Superexponential() && std::fabs(term) < 1e-18 * std::fabs(sum) &&
            fn.LogAbs() - gn.LogAbs() + lz < 0)
            break;
    }
    return alpha.Value() + beta.Value() * sum;
}

void Hypergeom::WriteDefinition(FILE* f) const {
    if (seriesType == 0) {
        std::fprintf(f, "Definition mode : %ld\n", definitionMode);
        std::fprintf(f, "Alpha : %s\n", textAlpha.c_str());
        std::fprintf(f, "Beta : %s\n", textBeta.c_str());
        std::fprintf(f, "Polynomial F : %s\n", textF.c_str());
        std::fprintf(f, "Polynomial G : %s\n", textG.c_str());
    }
    std::fprintf(f, "Z : %s\n", textZ.c_str());
}

void Hypergeom::SetParameters(double d, long f, long m) {
    digits = d;
    fftSize = f;
    mode = m;
}

std::unique_ptr<BigInt> Hypergeom::TakeResult() {
    result = nullptr;
    return std::move(result_);
}

void Hypergeom::EstimateMemory(double F_, double& memory, double& disk) const {
    const double F3 = std::floor(F_ / 3);
    double L = std::trunc(digits * kLn10 / std::log(1e12)) + 1;
    if (L < F3) L = F3;
    memory = fft::FFTMemory(F_) + 32 * (F3 + 1) + 32 * (L + 1) +
             series::SplitSeries::ParallelMemory(F_, F3, !UnitNumerators());
    disk = 0;
}

// The first estimate x = D ln 10 / ln rate + 1 assumes terms exactly like rate^-n. With
// F(i)/G(i) -> lcF/lcG (1 + s/i + ..), the terms behave like C n^s rate^-n, and C and s can
// be large (F = n + 100, G = n: C n^100 / 100!). So ln |beta u(x)| is estimated: the sum of
// ln |F(i) Z / G(i)| exactly up to 20000 terms, then the asymptotic -ln rate + s / i, plus
// the geometric tail factor; x grows until the estimate is below -D ln 10.
double Hypergeom::TermCount(double extraDigits) const {
    const double D = digits + 100 + extraDigits;
    if (Superexponential()) return TermSizes(*this).CountFor(D);
    const double lr = LogRate();
    double x = D * kLn10 / lr + 1;
    if (!std::isfinite(x) || x < 1) return 1;
    const PolynomStandard f = F->ToStandard(), g = G->ToStandard();
    double s = 0;
    if (f.Degree() >= 1 && g.Degree() >= 1) {
        const double fd = f.c.back().ToDouble(), gd = g.c.back().ToDouble();
        s = f.c[f.c.size() - 2].ToDouble() / fd - g.c[g.c.size() - 2].ToDouble() / gd;
        if (!std::isfinite(s)) s = 0;
    }
    const double lz = Z.num.LogAbs() - Z.den.LogAbs();
    const double tail = -std::log1p(-std::exp(-lr));
    const double lbeta = beta.num.LogAbs() - beta.den.LogAbs();
    double m = 0, lu = 0;  // lu = ln |u(m)|
    for (int round = 0; round < 8; ++round) {
        const double limit = std::min(x, 20000.0);
        for (; m + 1 <= limit; m += 1) {
            const Int fm = F->Value(m + 1);
            if (fm.IsZero()) return std::max(x, m + 1);  // the series ends here
            lu += LogRatio(*F, *G, m + 1) + lz;
        }
        double est = lu;
        if (x > m) est += -(x - m) * lr + s * std::log(x / std::max(m, 1.0));
        const double excess = est + lbeta + tail + D * kLn10;
        if (excess <= 0) break;
        x += std::ceil(excess / lr) + 1;
    }
    return x;
}

// a(n) = F(n) Znum is 1 for every n and q(n) = G(n) Zden is positive (G's coefficients are
// not negative and G has no zero at n >= 1): the products A of the blocks are all 1, and
// binary splitting needs only P and Q (exp-like series sum Z^n / n!, Z = 1/q).
bool Hypergeom::UnitNumerators() const {
    if (F->Degree() != 0 || !(F->LeadingCoefficient() * Z.num - Int(1)).IsZero()) return false;
    for (const Int& c : G->ToStandard().c)
        if (c.Sign() < 0) return false;
    return true;
}

// The limbs the accumulated pair keeps after the step starting at b: the terms after b add
// at most e^t, t = LogTailFrom(b) (ln |scale| added), to the result, so a pair exact to
// 10^(-12 keep) relative needs keep = R + t / ln 10^12 limbs, plus two of margin, for an
// absolute error below 10^(-12 R). This follows the terms' own sizes, where the share
// b / N of the digits assumes terms that fall geometrically from the first one on (terms
// that first grow, or fall faster and faster, reach further).
std::vector<long> Hypergeom::StepKeeps(const TermSizes& sizes, const std::vector<double>& bounds,
                                       long R) const {
    const double lnScale = scale.num.LogAbs() - scale.den.LogAbs();
    std::vector<long> keeps;
    for (double b : bounds) {
        const double t = sizes.LogTailFrom(b, N) + lnScale;
        const double keep =
            std::isfinite(t) ? static_cast<double>(R) + std::ceil(t / std::log(1e12)) + 2 : 1;
        keeps.push_back(static_cast<long>(std::clamp(keep, 1.0, static_cast<double>(R))));
    }
    return keeps;
}

long Hypergeom::Compute() {
    // The terms must fall below 10^-(digits + 100) once multiplied by the scale.
    const double lnScale = scale.num.LogAbs() - scale.den.LogAbs();
    const double x = TermCount(std::max(0.0, lnScale / kLn10));
    termSize = std::max(F->LogValue(x + 1) + Z.num.LogAbs(), G->LogValue(x + 1) + Z.den.LogAbs());
    termSize = std::max(termSize, std::log(2.0));
    N = series::FloorWhole(x) + 1;
    giantThreshold = std::max(1L, static_cast<long>(1200 * std::log(1e4) / termSize));

    const long Fsize = fftSize;
    fft::FFTSession fftSession(Fsize);  // the FFT tables of this computation
    Series s(*this);
    s.keepsA = !UnitNumerators();
    s.giantThreshold = giantThreshold;
    s.AllocWorkAreas(termSize);

    // Every piece of the result (alpha' and each term beta' u(n)) is computed to the same
    // absolute precision, 100 digits below the last one written: pieces larger than 1, from
    // a large scale, terms that grow before they fall or pieces that cancel each other, get
    // the digits above the unit on top. A sum of pieces that cancel then loses nothing
    // (its digits are absolute), whatever the sizes the pieces have.
    const TermSizes sizes(*this);
    const double lnPiece =
        std::max(alpha.num.LogAbs() - alpha.den.LogAbs(), sizes.LogLargestTerm(N)) + lnScale;
    const double extra = lnPiece > 0 ? std::ceil(lnPiece / kLn10) + 2 : 0;
    series::SteppedSums sums;
    const long R = series::SteppedQuotientLength(digits + extra, Fsize);
    const std::vector<double> bounds =
        series::UniformSteps(N, series::TermsPerStep(Fsize, termSize));
    sums.Alloc(N, Fsize, R);
    PrintMemory();
    Print("Computing series with index N=%.0lf\n", N);
    series::EvaluateStepped(s, bounds, N, sums, StepKeeps(sizes, bounds, R));

    // alpha' + beta' P/Q with alpha' = scale alpha, beta' = scale beta, denominators > 0:
    // (alphaNum betaDen Q + alphaDen betaNum P) / (alphaDen betaDen Q).
    const Fraction a = (scale * alpha).Normalised();
    const Fraction b = (scale * beta).Normalised();
    BigInt& P = sums.accP;
    BigInt& Q = sums.accQ;
    BigInt& X = sums.X;
    BigInt scratch;
    scratch.Alloc(R + 2);
    scratch.SizeAlloc = R;
    X.SizeAlloc = R;
    BigInt::SmallIntMul(P, b.num.get(), X);
    X.CopyTo(P);
    BigInt::SmallIntMul(Q, b.den.get(), X);
    X.CopyTo(Q);
    BigInt::SmallIntMul(Q, a.num.get(), X);
    BigInt::SmallIntMul(P, a.den.get(), scratch);
    P.SizeAlloc = R + 1;
    numbers::AddBigInt(X, scratch, P);
    BigInt::SmallIntMul(Q, a.den.get(), X);
    X.CopyTo(Q);

    // The quotient of Newton's division needs num >= 0: divide |num| and restore the sign.
    const double t0 = core::ElapsedSeconds();
    const bool negative = P.Limbs[P._N - 1] < 0;
    auto negate = [](BigInt& v) {
        for (long i = 0; i < v._N; ++i) v.Limbs[i] = -v.Limbs[i];
        v.UpdateBigInt();
    };
    if (negative) negate(P);
    P.SizeAlloc = R + 1;
    Q.SizeAlloc = R + 2;
    X.SizeAlloc = R + 2;
    Q.TrimBigInt();
    ZEPRIX_CHECK(Q.Limbs[Q._N - 1] > 0,
                 "Error in Hypergeom::Compute, the denominator is not positive");
    const long k = std::max(newton::DivisionBlock(), 2L);
    BigInt inv, t;
    inv.Alloc(std::max(Fsize / 3, k));
    t.Alloc(std::max(Fsize / 3, k) + 16);
    if (!newton::IsZero(P)) newton::DivideBigInt(P, Q, X, t, inv);
    if (negative) negate(P);
    Print("Division time : %.2lf\n", core::ElapsedSeconds() - t0);

    result_ = std::make_unique<BigInt>(std::move(P));
    result = result_.get();
    sums.Free();
    scratch.Free();
    inv.Free();
    t.Free();
    s.FreeWorkAreas();
    return 1;
}

}  // namespace zeprix::userconst
