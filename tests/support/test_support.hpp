// Shared test helpers: GMP oracle conversions, seeded operands, canaries, an owning BigInt,
// temporary directories, the console and the fatal path.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/console.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"

namespace zeprix::test {

// RAII wrapper of an mpz_t.
struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(long x) { mpz_init_set_si(v, x); }
    explicit Mpz(const char* dec) { mpz_init_set_str(v, dec, 10); }
    Mpz(const Mpz& o) { mpz_init_set(v, o.v); }
    Mpz& operator=(const Mpz& o) {
        mpz_set(v, o.v);
        return *this;
    }
    ~Mpz() { mpz_clear(v); }
    operator mpz_ptr() { return v; }
    operator mpz_srcptr() const { return v; }
    std::string str() const;
};

// Value of limbs[0 .. n-1] in base `base` (limbs may be non-canonical or negative);
// divide and conquer, so that numbers of millions of digits convert quickly.
Mpz LimbsToMpz(const double* limbs, long n, double base);
// Integer value of a SmallInt.
Mpz ToMpz(const numbers::SmallInt& a);
// Mantissa value of a BigInt (sum of limb[i] 10^(12 i)), the exponent ignored.
Mpz MantissaToMpz(const numbers::BigInt& a);
// Full value of a BigInt with Exp >= 0: mantissa * 10^(12 Exp).
Mpz ToMpz(const numbers::BigInt& a);

// Sets a SmallInt to x in canonical form (complement form when negative).
void FromMpz(const mpz_t x, numbers::SmallInt& r);
// Sets a BigInt (already allocated with enough capacity) to x, exponent 0, canonical form.
// shortTop: a negative x's -1 top merged into the limb below (top in (-10^12, 0)), so
// that x takes as many limbs as |x| does.
void FromMpz(const mpz_t x, numbers::BigInt& r, bool shortTop = false);

// True when every limb below the top lies in [0, base) and the top limb is nonzero unless
// the number is the single limb 0, and no -1 top sits on a (base - 1) limb.
bool IsCanonical(const double* limbs, long n, double base);

// x + y, x - y, x y, floor(x / y), 10^e, floor(x / 10^k), and floor(x / 10^(12 k)): x with
// its k lowest base-10^12 limbs dropped.
Mpz Add(const Mpz& x, const Mpz& y);
Mpz Sub(const Mpz& x, const Mpz& y);
Mpz Mul(const Mpz& x, const Mpz& y);
Mpz FloorDiv(const Mpz& x, const Mpz& y);
Mpz Pow10(long e);
Mpz DropDigits(const Mpz& x, long k);
inline Mpz DropLimbs(const Mpz& x, long k) { return DropDigits(x, 12 * k); }
// got == want, or a failure that shows both values and the seed.
::testing::AssertionResult SameValue(const Mpz& got, const Mpz& want);

// Seeded random source. The default seed is fixed; ZEPRIX_TEST_SEED overrides it.
// Put SeedNote() in failure messages so that a failure can be replayed.
std::string SeedNote();
std::mt19937_64& Rng();
long RandomLong(long lo, long hi);
// Random nonnegative integer of exactly `digits` decimal digits (top digit nonzero).
Mpz RandomDigits(long digits);
// Random integer with |x| < 10^digits, sign chosen at random when `allowNegative`.
Mpz RandomSigned(long digits, bool allowNegative);
// A number of `digits` nines (the worst case for carries): 10^digits - 1.
Mpz AllNines(long digits);
// `digits` decimal digits in runs of 9s, of 0s and of random digits (long carry chains);
// negative at random when allowNegative.
Mpz CarryHeavy(long digits, bool allowNegative);
// Random x of exactly n base-10^12 limbs (top limb nonzero); negative at random if allowed.
Mpz RandomLimbs(long n, bool allowNegative);
// n limbs all equal to `limb` (12 digits), e.g. 999999999999 or 500050005000: the
// operands that drive a convolution to the extremes of its digit range.
Mpz RepeatedLimb(long n, double limb, bool negative);

// Canary limbs: kCanaryLimbs values that nothing may overwrite, placed after a buffer.
inline constexpr long kCanaryLimbs = 8;
void SetCanaries(double* p);
bool CanariesIntact(const double* p);

// A BigInt that owns its block: `capacity` limbs, the spare limb (0), then canaries.
struct Big {
    numbers::BigInt b;
    explicit Big(long capacity);
    Big(const Mpz& x, long capacity, bool shortTop = false);  // FromMpz
    ~Big() { b.Free(); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
    // The spare limb still 0 and the canaries untouched: nothing written past the capacity.
    bool Intact() const;
    Mpz Value() const { return MantissaToMpz(b); }
};

// A fresh temporary directory that becomes the working directory for the object's life;
// the previous working directory is restored and the directory removed afterwards.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::filesystem::path prev_;
};

// What a run of a program printed and how it ended.
struct ProgramRun {
    int status = -1;  // exit status, -1 when a signal ended the run
    int signal = 0;   // the signal that ended it, 0 when it exited
    std::string out;  // standard output, and standard error unless `apartErr`
    std::string err;  // standard error with `apartErr`
};
struct RunOptions {
    std::vector<std::string> args{};  // command-line arguments
    const char* threads = nullptr;    // ZEPRIX_THREADS: null keeps it, "" removes it
    bool apartErr = false;            // standard error into ProgramRun::err
    long fileLimit = 0;               // RLIMIT_FSIZE in bytes (0: none)
    int sig = 0;                      // a signal sent after `delay` (0: none)
    std::chrono::microseconds delay{};
};
// Runs `exe` in the current directory with `input` on its standard input (through a file,
// so that the end of the input is a real end of file). The output goes through a pipe, so
// a file-size limit only hits the files (SIGXFSZ is the program's to ignore).
ProgramRun RunProgram(const char* exe, const std::string& input, const RunOptions& o = {});

// A file-size limit on this process for the object's life (SIGXFSZ ignored): a write past
// it fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long bytes);
    ~FileSizeLimit();

private:
    rlimit saved_{};
};

// The thread count set back to what it was when the object goes.
struct ThreadCountRestored {
    int saved = core::ThreadCount();
    ~ThreadCountRestored() { core::SetThreadCount(saved); }
};

// Redirects the console to an input text and captures what is printed.
class ConsoleCapture {
public:
    explicit ConsoleCapture(const std::string& input) : input_(input) {
        in_ = fmemopen(input_.data(), input_.size(), "r");
        out_ = open_memstream(&buf_, &len_);
        core::SetConsole(in_, out_);
    }
    ~ConsoleCapture() {
        core::SetConsole(prevIn_, prevOut_);
        std::fclose(in_);
        std::fclose(out_);
        std::free(buf_);
    }
    std::string Output() {
        std::fflush(out_);
        return std::string(buf_, len_);
    }

private:
    std::string input_;
    FILE* prevIn_ = core::ConsoleIn();
    FILE* prevOut_ = core::ConsoleOut();
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
    char* buf_ = nullptr;
    size_t len_ = 0;
};

// Runs f, which must end the program early (core::ProgramExit) with `status`; returns the
// exit's message ("" after a test failure when f returned normally). The console output is
// captured; the debug log, if any, lands in the current directory.
std::string ExpectProgramExit(const std::function<void()>& f, int status = core::kFatalExitCode);

// No file of the current directory has ".incomplete" in its name (an unfinished write).
::testing::AssertionResult NoIncompleteFiles();
// Reads a whole file into a string ("" when missing).
std::string ReadFile(const std::filesystem::path& p);
// What `write` puts into a memory stream.
std::string MemoryFile(const std::function<void(FILE*)>& write);
// The value of constant `name` in a result file of `digits` digits: "-" (when negative),
// the integer part, "." and the decimals, with the counters, blanks and line breaks dropped.
std::string ResultValue(const std::string& text, const std::string& name, long digits);
// How many times part stands in text.
long Occurrences(const std::string& text, const std::string& part);
// text holds part, or a failure that shows both.
::testing::AssertionResult Contains(const std::string& text, const std::string& part);
// got == want, or a failure that shows where the two texts first differ.
::testing::AssertionResult SameText(const std::string& got, const std::string& want);

}  // namespace zeprix::test

// The statement must end the program through the fatal path with a message containing msg;
// it runs in a fresh temporary directory, where the debug log lands.
#define ZEPRIX_EXPECT_FATAL(stmt, msg)                                                   \
    do {                                                                                 \
        ::zeprix::test::TempWorkDir zeprixFatalDir_;                                     \
        const std::string zeprixMsg_ = ::zeprix::test::ExpectProgramExit([&] { stmt; }); \
        EXPECT_NE(zeprixMsg_.find(msg), std::string::npos) << zeprixMsg_;                \
    } while (0)
