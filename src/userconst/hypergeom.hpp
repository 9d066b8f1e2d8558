// Hypergeom: one user series H = alpha + beta sum_{n>=1} prod_{i<=n} F(i) Z / G(i), its
// dialogue, checks, approximate value, definition lines and computation.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "numbers/big_int.hpp"
#include "shell/constant.hpp"
#include "userconst/fraction.hpp"
#include "userconst/polynom.hpp"

namespace zeprix::userconst {

class TermSizes;

// Reads one line of the console after skipping newline characters (the text of a typed
// value), of any length; a trailing carriage return is dropped. End of input ends the
// program (core::EndOfInput).
std::string ReadTextLine();

class Hypergeom : public shell::Constant {
public:
    // seriesType: 0 general, 1 arctan(Z), 2 arctanh(Z), 3 log 1/(1-Z); others are invalid
    // (a series that CheckDefinition refuses).
    explicit Hypergeom(long seriesType);
    ~Hypergeom() override;

    // The dialogue of a new series: prints the type menu, reads the type and defines it.
    static std::unique_ptr<Hypergeom> ChooseSeries();
    // Asks the definition of this series' type (mode, alpha, beta, F, G for type 0; Z).
    void DefineSeries();
    // Builds F, G, Z, alpha, beta from the texts; false (with why) when a text does not parse.
    bool BuildFromTexts(std::string& why);
    // The usable-series checks; prints the reason and returns 0 when refused.
    long CheckDefinition();
    // The same without printing: "" when usable, else the message.
    std::string CheckMessage() const;
    // Terms decrease like (1/Rate())^n; LogRate() = ln Rate() computed without overflow.
    // For a series whose F has a lower degree than G the terms fall faster than any
    // geometric series (Superexponential()); Rate() then only compares the leading
    // coefficients.
    double Rate() const;
    double LogRate() const;
    bool Superexponential() const { return F && G && F->Degree() < G->Degree(); }
    // alpha + beta sum in doubles (at most 1000 terms).
    double ApproximateValue() const;
    // The definition lines ("Definition mode : ", "Alpha : ", ..., "Z : ").
    void WriteDefinition(FILE* f) const;
    void SetParameters(double digits, long fftSize, long mode);
    // Multiplies the whole series by s (the beta_i of a sum of series): folded into alpha
    // and beta exactly before the final division.
    void SetScale(const Fraction& s) { scale = s; }
    // Gives up ownership of the computed result (null before Compute).
    std::unique_ptr<numbers::BigInt> TakeResult();
    // Number of terms that make the tail negligible for D = digits + 100 + extraDigits digits.
    double TermCount(double extraDigits = 0) const;

    long Compute() override;
    long TypeNumber() const override { return 30; }
    std::string GetName() const override { return "UserConstant"; }
    std::string GetFileName() const override { return "UserConstant.txt"; }
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;

    long seriesType;
    long definitionMode = 1;
    std::string textF, textG, textAlpha, textBeta, textZ;
    std::unique_ptr<Polynom> F, G;  // product form (null until built)
    Fraction Z, alpha, beta;        // Z with a positive denominator
    Fraction scale{Int(1), Int(1)};
    bool firstTermVanishes = false;  // mode 0 with F(1) = 0: the product form cannot start
    double N = 0;
    double termSize = 0;
    long giantThreshold = 0;

private:
    class Series;
    std::unique_ptr<numbers::BigInt> result_;
    bool UnitNumerators() const;
    std::vector<long> StepKeeps(const TermSizes& sizes, const std::vector<double>& bounds,
                                long R) const;
    void BuildSeries(const Polynom& f, const Polynom& g, const Fraction& z, const Fraction& a,
                     const Fraction& b, long mode);
};

}  // namespace zeprix::userconst
