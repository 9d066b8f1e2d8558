// FileConstant: a constant defined as sum_i beta_i H_i of hypergeometric series, with its
// interactive definition, its ".zeprix" definition file and its computation.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "shell/constant.hpp"
#include "userconst/fraction.hpp"
#include "userconst/hypergeom.hpp"

namespace zeprix::userconst {

// Largest number of series in one constant (a guard against corrupted counts).
inline constexpr long kMaxSeries = 1000;
// Largest definition file read (a guard against reading an unrelated huge file).
inline constexpr long kMaxFileBytes = 1L << 22;

class FileConstant : public shell::Constant {
public:
    FileConstant() = default;
    ~FileConstant() override;

    // The dialogue of menu entry 5: name, comments, series; saves NAME.zeprix.
    void DefineConstant();
    // Menu entry 6: asks for a file name (suffix optional), reads it and prints a summary.
    void LoadConstantFile();
    // Reads the definition from an open file named fileName (the name is used in messages).
    // A damaged file is a fatal error naming the file, the line and what was wrong.
    void ReadConstantFile(FILE* f, const std::string& fileName);
    // The same from a text; false with a message (never ends the program, never prints).
    bool ParseConstantText(const std::string& text, std::string& error);
    void WriteConstantFile(FILE* f) const;
    double ApproximateConstant() const;

    long Compute() override;
    long TypeNumber() const override { return 100; }
    std::string GetName() const override { return name; }
    // The name followed by ".txt"; a '/' in the name becomes '_' (the file stays in the
    // working directory).
    std::string GetFileName() const override;
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;
    long DiskModesAvailable() const override { return 0; }
    long ChunksEnabled() const override { return 0; }

    std::string name;
    std::string comments;  // each comment line followed by "\n"
    long count = -1;
    std::vector<Fraction> betas;
    std::vector<std::string> betaTexts;
    std::vector<std::unique_ptr<Hypergeom>> series;

private:
    std::unique_ptr<numbers::BigInt> sum_;
};

}  // namespace zeprix::userconst
