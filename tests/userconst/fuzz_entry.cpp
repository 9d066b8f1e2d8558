// Fuzz entry points: the parser and the constant-file reader on arbitrary bytes.
#include "fuzz_entry.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "numbers/small_int.hpp"
#include "userconst/file_constant.hpp"
#include "userconst/parser.hpp"

namespace zeprix::test {

namespace {

void Require(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "fuzz promise broken: %s\n", what), std::abort();
}

}  // namespace

void FuzzParserInput(const std::uint8_t* data, std::size_t size) {
    numbers::InitSmallIntConstants();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const userconst::ParseResult r = userconst::ParseExpressionText(text, 'n');
    if (r.ok) {
        Require(r.poly.Degree() >= 0 && r.poly.Degree() <= userconst::kMaxDegree, "degree");
        Require(r.poly.Degree() == 0 || !r.poly.c.back().IsZero(), "leading zero");
        Require(r.poly.MaxLimbs() <= userconst::kMaxCoefficientLimbs + 1, "coefficient size");
        if (auto d = r.poly.Simplify())  // the double form evaluates like the exact one
            for (double x : {0.0, 1.0, 7.0})
                Require((d->Value(x) - r.poly.Value(x)).IsZero(), "double form");
    } else {
        Require(r.errorPos >= -1 && r.errorPos <= static_cast<long>(size), "error position");
    }
    userconst::Fraction f;
    std::string why;
    if (userconst::ParseFractionQuiet(text, f, why)) Require(!f.den.IsZero(), "zero denominator");
}

void FuzzConstantFileInput(const std::uint8_t* data, std::size_t size) {
    numbers::InitSmallIntConstants();
    userconst::FileConstant c, d;
    std::string error;
    if (!c.ParseConstantText(std::string(reinterpret_cast<const char*>(data), size), error)) {
        Require(!error.empty(), "empty error message");
        return;
    }
    Require(c.count >= 1 && static_cast<long>(c.series.size()) == c.count, "series count");
    for (const auto& h : c.series)
        Require(h && h->F && h->G && h->CheckMessage().empty() && h->Rate() > 1,
                "unchecked series");
    // Written back and read again into the same definition.
    char* buf = nullptr;
    std::size_t len = 0;
    FILE* m = open_memstream(&buf, &len);
    c.WriteConstantFile(m);
    std::fclose(m);
    const std::string again(buf, len);
    std::free(buf);
    Require(d.ParseConstantText(again, error), "written file does not read back");
    Require(d.name == c.name && d.comments == c.comments && d.count == c.count, "header");
    for (std::size_t i = 0; i < c.series.size(); ++i) {
        const userconst::Hypergeom &a = *c.series[i], &b = *d.series[i];
        Require(c.betaTexts[i] == d.betaTexts[i] && a.seriesType == b.seriesType &&
                    a.textZ == b.textZ && a.textF == b.textF && a.textG == b.textG &&
                    a.textAlpha == b.textAlpha && a.textBeta == b.textBeta &&
                    a.definitionMode == b.definitionMode,
                "series texts");
        Require((a.Z.num - b.Z.num).IsZero() && (a.Z.den - b.Z.den).IsZero(), "Z");
    }
}

}  // namespace zeprix::test
