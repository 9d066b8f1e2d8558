// Constant: the computation framework every computable constant shares.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zeprix::core {
class AtomicFile;
}
namespace zeprix::numbers {
class MPInt;
}

namespace zeprix::shell {

// The version string of the program, shown by the banner and the result-file header.
inline constexpr const char* kVersion = "4.3 (fix 1)";
// Name of the parameter file of a chunked computation.
inline constexpr const char* kParamFileName = "ParamZeprix";

// The digit counts a computation accepts. The largest is far beyond what any machine
// holds, and small enough that every size derived from it stays an exact whole number.
inline constexpr double kMinDigits = 10000;
inline constexpr double kMaxDigits = 1e15;

// Parses a digit count as the digits question reads it: a whole number, optionally
// followed by one of k (10^3), K (2^10), m (10^6), M (2^20), g (10^9), G (2^30), such as
// "20000", "1m" or "1.5m". False for any other word and for a count that is not whole
// ("10000.9"); the range is the caller's to check.
bool ParseDigitCount(const std::string& word, double& out);

// Abstract computation. A subclass supplies Compute, its names and its memory estimates;
// the base owns the parameter dialogue, the run, the report and the result output.
class Constant {
public:
    double digits = 0;                 // decimal digits to compute (a whole number)
    long mode = -1;                    // 0 standard, 1 basic disk memory, 2 advanced disk memory
    long fftSize = 0;                  // FFT size in points (size in k times 1024)
    long compressed = -1;              // 1: compressed result files, 0: decimal text file
    double previousTime = 0;           // seconds spent in earlier runs of this computation
    double timeThreshold = 0;          // chunk threshold in seconds; 0 means a single run
    double runStart = 0;               // ElapsedSeconds() when Compute was started
    bool resumed = false;              // the parameters came from "ParamZeprix"
    long resultLength = 0;             // resumed: bytes of the result file the record covers
    numbers::MPInt* result = nullptr;  // the computed constant, set by Compute

    Constant();
    Constant(const Constant&) = delete;
    Constant& operator=(const Constant&) = delete;
    virtual ~Constant();

    // Computes the constant into result. Returns nonzero when finished, 0 when the chunk
    // threshold stopped the run (after the parameter file was written).
    virtual long Compute() = 0;
    // The parameter dialogue: mode, digits, FFT size, compressed output.
    virtual void ChooseParameters();
    // Base record of the parameter file (type, digits, mode, FFT size, compressed, time, and
    // the length of the result file so far).
    virtual void SaveParameters(FILE* f);
    // Reads lines 2 to 7 of the base record. Each value must be one a real resumable run
    // writes (whole digits from 10^4 to 10^15, mode 1 or 2, an FFT size of the table for
    // those digits, compressed 0 or 1, a nonnegative time, a nonnegative length); anything
    // else ends the program with a message naming the line, and the file is left in place.
    virtual void LoadParameters(FILE* f);
    virtual long TypeNumber() const = 0;
    virtual std::string GetName() const = 0;
    virtual std::string GetFileName() const = 0;
    // The "Method used" line, for the classes that have one.
    virtual void WriteMethod(FILE* f) const;
    // Estimated memory in bytes and disk in kilobytes for an FFT of fftPoints points.
    // disk is left as it was when the class has no estimate for the current mode.
    virtual void EstimateMemory(double fftPoints, double& memory, double& disk) const = 0;
    // Rows first .. last-1 of the FFT table and the ten time factors.
    virtual void GetFFTModes(long& first, long& last, double factors[10]) const;
    virtual void PrintMemory() const;
    // The time-threshold dialogue of chunked runs.
    virtual void ChooseChunks();
    // -1 no check, 0 bad result, other values good.
    virtual long Check() { return -1; }
    // The run: header, Compute with the clock, run block, totals, check, digits, clean-up.
    virtual long Run();
    virtual long DiskModesAvailable() const { return 1; }
    // Whether a computation in this mode can run in this version (the disk memory modes
    // cannot yet). The dialogue refuses the others, and a resumed record of one is not run.
    virtual bool ModeRunnable(long m) const { return m == 0; }
    virtual long ChunksEnabled() const { return 0; }
    // Deletes the disk files that the parameter record names; Run calls it once the record
    // is gone, so that a run killed just before never finds a record of missing files.
    virtual void ReleaseRecordedFiles() {}
    // Writes the digits (decimal file or compressed files).
    virtual void AppendResult();

    // The fastest FFT size in k for the current digits (before the cap), see the dialogue.
    long FastestFFTSizeK() const;

    // The rows of the FFT table for the current mode and digits, fastest first; empty when
    // no size of the mode suits the digits.
    struct FFTRow {
        long sizeK;
        bool fastest;
        double factor;  // time factor against the fastest row, 0 when none is known
    };
    std::vector<FFTRow> FFTTable() const;

private:
    // The mode question, asked until the answer is a mode that can run.
    long AskMode() const;
    // The FFT table of the dialogue, and the FFT size question (asked until the answer is
    // one of the table's sizes).
    void PrintFFTTable(const std::vector<FFTRow>& rows) const;
    static long AskFFTSizeK(const std::vector<FFTRow>& rows);
    // The result file's header and the block of one run.
    void WriteHeader(FILE* f) const;
    void WriteRunBlock(FILE* f, const std::string& start, const std::string& end,
                       double duration) const;
    [[noreturn]] static void Damaged(long lineNo, const char* what, const std::string& why);

    // The result file while Run writes it (under its temporary name).
    std::unique_ptr<core::AtomicFile> resultFile_;
};

// Returns 1 when a threshold is set and this run has gone past it.
long TimeThresholdReached(const Constant& c);

// Creates "ParamZeprix" and writes c's parameters into it.
void SaveParameterFile(Constant& c);

}  // namespace zeprix::shell
