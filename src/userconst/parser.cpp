// Recursive-descent parser of polynomial and fraction texts.
#include "userconst/parser.hpp"

#include <algorithm>

#include "core/console.hpp"

namespace zeprix::userconst {

namespace {

class Parser {
public:
    Parser(const std::string& text, char variable) : t_(text), var_(variable) {}

    ParseResult Run() {
        ParseResult out;
        PolynomStandard p;
        const int r = Expression(p);
        if (r == 1 && pos_ < Size()) Fail(pos_);  // a character left over
        out.ok = r == 1 && errorPos_ < 0 && reason_.empty();
        out.errorPos = out.ok ? -1 : errorPos_;
        out.reason = reason_;
        out.usedVariable = usedVariable_;
        if (out.ok) out.poly = std::move(p);
        return out;
    }

private:
    long Size() const { return static_cast<long>(t_.size()); }
    int Cur() const {
        return pos_ < Size() ? static_cast<unsigned char>(t_[static_cast<std::size_t>(pos_)]) : -1;
    }
    bool AtDigit() const { return Cur() >= '0' && Cur() <= '9'; }
    void Advance() {
        ++pos_;
        while (Cur() == ' ') ++pos_;
    }
    // Records the first error position only.
    int Fail(long at) {
        if (errorPos_ < 0) errorPos_ = at;
        return -1;
    }
    int Refuse(const char* why) {
        if (reason_.empty()) reason_ = why;
        return Fail(pos_);
    }

    // Cost of a product of a and b in limb products, and the size limits of its result.
    bool ProductFits(const PolynomStandard& a, const PolynomStandard& b) {
        if (a.Degree() + b.Degree() > kMaxDegree) return false;
        if (a.MaxLimbs() + b.MaxLimbs() + 1 > kMaxCoefficientLimbs) return false;
        work_ += static_cast<double>(a.c.size() * b.c.size()) *
                 static_cast<double>(a.MaxLimbs() * b.MaxLimbs());
        return work_ <= kMaxWork;
    }
    static constexpr const char* kTooLarge =
        "This expression is too large (degree at most 100, coefficients of at most 2000 digits).";

    // One or more digits (blanks between them are skipped like everywhere).
    int Integer(Int& k) {
        k = Int(0);
        long digits = 0;
        while (AtDigit()) {
            if (++digits > kMaxCoefficientLimbs * 8) return Refuse(kTooLarge);
            k.AppendDigit(Cur() - '0');
            Advance();
        }
        return 1;
    }

    int Expression(PolynomStandard& res) {
        if (pos_ >= Size()) return Fail(pos_);
        if (++depth_ > kMaxNesting) return Refuse("This expression is nested too deeply.");
        bool negate = false;
        if (Cur() == '-') {
            negate = true;
            Advance();
        }
        int r = Term(res);
        if (r != 1) {
            --depth_;
            if (r == 0 && negate) return Fail(pos_);
            return r;
        }
        if (negate) res = -res;
        while (Cur() == '+' || Cur() == '-') {
            const bool plus = Cur() == '+';
            Advance();
            PolynomStandard t;
            r = Term(t);
            if (r == 0) return Fail(pos_);
            if (r < 0) return -1;
            if (t.MaxLimbs() + 1 > kMaxCoefficientLimbs ||
                res.MaxLimbs() + 1 > kMaxCoefficientLimbs)
                return Refuse(kTooLarge);
            res = plus ? res + t : res - t;
        }
        --depth_;
        return 1;
    }

    int Term(PolynomStandard& res) {
        int r = Factor(res);
        if (r != 1) return r;
        while (Cur() == '*') {
            Advance();
            PolynomStandard f;
            r = Factor(f);
            if (r == 0) return Fail(pos_);
            if (r < 0) return -1;
            if (!ProductFits(res, f)) return Refuse(kTooLarge);
            res = res * f;
        }
        return 1;
    }

    int Factor(PolynomStandard& res) {
        if (!AtDigit()) return Power(res);
        Int k;
        if (Integer(k) < 0) return -1;
        PolynomStandard p;
        const int r = Power(p);
        if (r < 0) return -1;
        if (r == 0) {
            res = PolynomStandard(k);
            return 1;
        }
        const PolynomStandard kp(k);
        if (!ProductFits(kp, p)) return Refuse(kTooLarge);
        res = p.Scale(k);
        return 1;
    }

    int Power(PolynomStandard& res) {
        const int r = Primary(res);
        if (r != 1) return r;
        if (Cur() != '^') return 1;
        Advance();
        if (!AtDigit()) return Fail(pos_);
        long e = 0;
        while (AtDigit()) {
            if (e <= 1000000) e = e * 10 + (Cur() - '0');
            Advance();
        }
        if (e > 1000000) return Fail(pos_);
        if (e >= 2) {
            // Check the whole power before building it.
            if (res.Degree() * e > kMaxDegree) return Refuse(kTooLarge);
            if (res.MaxLimbs() * e + e > kMaxCoefficientLimbs) return Refuse(kTooLarge);
            PolynomStandard acc = res;
            for (long i = 1; i < e; ++i) {
                if (!ProductFits(acc, res)) return Refuse(kTooLarge);
                acc = acc * res;
            }
            res = std::move(acc);
        } else {
            res = res.Power(e);  // e = 0 gives 1
        }
        return 1;
    }

    int Primary(PolynomStandard& res) {
        if (Cur() == var_) {
            usedVariable_ = true;
            Advance();
            res = PolynomStandard::Variable();
            return 1;
        }
        if (AtDigit()) {
            Int k;
            if (Integer(k) < 0) return -1;
            res = PolynomStandard(k);
            return 1;
        }
        if (Cur() == '(') {
            Advance();
            const int r = Expression(res);
            if (r == 0) return Fail(pos_);
            if (r < 0) return -1;
            if (Cur() != ')') return Fail(pos_);
            Advance();
            return 1;
        }
        return 0;
    }

    const std::string& t_;
    const char var_;
    long pos_ = 0;
    long errorPos_ = -1;
    long depth_ = 0;
    double work_ = 0;
    bool usedVariable_ = false;
    std::string reason_;
};

}  // namespace

ParseResult ParseExpressionText(const std::string& text, char variable) {
    return Parser(text, variable).Run();
}

void PrintSyntaxError(const std::string& text, long errorPos, const std::string& reason) {
    core::Print("Syntax error in your expression : \n");
    core::Print("\n");
    core::Print("%s\n", text.c_str());
    core::Print("%s",
                std::string(errorPos > 0 ? static_cast<std::size_t>(errorPos) : 0, ' ').c_str());
    core::Print("^^^...\n");
    if (!reason.empty()) core::Print("%s\n", reason.c_str());
}

std::unique_ptr<Polynom> ParsePolynomial(const std::string& text) {
    ParseResult r = ParseExpressionText(text, 'n');
    if (!r.ok) {
        PrintSyntaxError(text, r.errorPos, r.reason);
        return nullptr;
    }
    return BestForm(r.poly);
}

namespace {

// 1 accepted, 0 refused silently (a side with the variable), -1 syntax error (report in
// errorPos/reason relative to the whole text), -2 zero denominator.
int ParseFractionCore(const std::string& text, Fraction& out, long& errorPos, std::string& reason) {
    const std::size_t slash = text.find('/');
    const std::string left = text.substr(0, slash);
    ParseResult a = ParseExpressionText(left, '%');
    if (!a.ok) {
        errorPos = a.errorPos;
        reason = a.reason;
        return -1;
    }
    if (a.usedVariable || a.poly.Degree() != 0) return 0;
    Int den(1);
    if (slash != std::string::npos) {
        // The '/' is a consumed character: the blanks after it are skipped.
        const std::size_t start = std::min(text.find_first_not_of(' ', slash + 1), text.size());
        const std::string right = text.substr(start);
        ParseResult b = ParseExpressionText(right, '%');
        if (!b.ok) {
            errorPos = std::max(b.errorPos, 0L) + static_cast<long>(start);
            reason = b.reason;
            return -1;
        }
        if (b.usedVariable || b.poly.Degree() != 0) return 0;
        den = b.poly.c[0];
    }
    if (den.IsZero()) return -2;
    out = Fraction(a.poly.c[0], den);
    return 1;
}

}  // namespace

bool ParseFraction(const std::string& text, Fraction& out) {
    long pos = -1;
    std::string reason;
    const int r = ParseFractionCore(text, out, pos, reason);
    if (r == -1) PrintSyntaxError(text, pos, reason);
    if (r == -2) core::Print("Error, the denominator of a fraction cannot be zero\n");
    return r == 1;
}

bool ParseFractionQuiet(const std::string& text, Fraction& out, std::string& error) {
    long pos = -1;
    std::string reason;
    const int r = ParseFractionCore(text, out, pos, reason);
    if (r == -1)
        error = "syntax error at column " + std::to_string(pos + 1) +
                (reason.empty() ? "" : " (" + reason + ")");
    if (r == 0) error = "not a constant";
    if (r == -2) error = "zero denominator";
    return r == 1;
}

}  // namespace zeprix::userconst
