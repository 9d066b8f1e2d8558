// Constant: the computation framework every computable constant shares.
#include "shell/constant.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "disk/disk_times.hpp"
#include "numbers/limbs.hpp"
#include "numbers/mpint.hpp"
#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"

namespace zeprix::shell {

using core::DateText;
using core::ElapsedSeconds;
using core::Print;
using core::ReadDouble;
using core::ReadLong;
using core::ReadWord;

namespace {
const char* const kDashes60 = "------------------------------------------------------------\n";
const char* const kDashes63 = "---------------------------------------------------------------\n";
const char* const kEquals60 = "============================================================\n";

const char* ModeName(long mode) {
    return mode == 1 ? "basic disk memory mode" : "advanced disk memory mode";
}

}  // namespace

// A decimal number (digits, at most one point) with an optional single k/K/m/M/g/G
// multiplier and nothing else; a leading minus sign is read so that the caller can say the
// count is too small.
bool ParseDigitCount(const std::string& word, double& out) {
    static const char* const kSuffixes = "kKmMgG";
    static const double kMultipliers[] = {1e3, 1024, 1e6, 1048576, 1e9, 1073741824};
    std::string number = word;
    double mult = 1;
    if (!number.empty()) {
        if (const char* s = std::strchr(kSuffixes, number.back()); s && *s) {
            mult = kMultipliers[s - kSuffixes];
            number.pop_back();
        }
    }
    std::size_t i = (!number.empty() && number[0] == '-') ? 1 : 0;
    std::size_t digitsSeen = 0, points = 0;
    for (std::size_t k = i; k < number.size(); ++k) {
        if (number[k] >= '0' && number[k] <= '9')
            ++digitsSeen;
        else if (number[k] == '.' && ++points == 1)
            continue;
        else
            return false;
    }
    if (digitsSeen == 0 || number.size() > 40) return false;
    const double x = std::strtod(number.c_str(), nullptr) * mult;
    if (!std::isfinite(x) || x != std::floor(x)) return false;
    out = x;
    return true;
}

namespace {

// Reads the digit count, asked again until it is a whole number from 10000 to kMaxDigits.
double AskDigits() {
    const char* prompt = "Number of decimal digits : ";
    for (;;) {
        Print("%s", prompt);
        const std::string word = ReadWord();
        double d;
        if (!ParseDigitCount(word, d)) {
            Print("\"%s\" is not a number of digits (a whole number, optionally followed by one "
                  "of k, K, m, M, g, G), please try again.\n",
                  word.c_str());
            continue;
        }
        if (d < kMinDigits) {
            Print("Error, should compute at least 10000 digits\n");
            continue;
        }
        if (d > kMaxDigits) {
            Print("Error, at most %.0lf digits can be computed\n", kMaxDigits);
            continue;
        }
        if (std::strpbrk(word.c_str(), "kKmMgG")) Print("(%.0lf digits)\n", d);
        return d;
    }
}

// Reads one line of the parameter file without its line end; false at the end of the file.
bool ReadRecordLine(FILE* f, std::string& line) {
    line.clear();
    int ch;
    while ((ch = std::fgetc(f)) != EOF && ch != '\n') {
        if (line.size() > 64) return true;  // far longer than any value: damaged anyway
        line.push_back(static_cast<char>(ch));
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return ch != EOF || !line.empty();
}

}  // namespace

long Constant::FastestFFTSizeK() const {
    if (digits <= 12288) return 1;
    long n = 2;
    while (static_cast<double>(n) * 12 * 1024 < digits) n *= 2;
    return n;
}

std::vector<Constant::FFTRow> Constant::FFTTable() const {
    long first = 0, last = 0;
    double factor[10];
    GetFFTModes(first, last, factor);
    long n = FastestFFTSizeK();
    if (n > (32768L << first)) n = 32768L << first;
    std::vector<FFTRow> rows;
    for (long i = first; i < last; ++i) {
        const long s = n >> i;
        if (s == 0) continue;
        rows.push_back({s, i == first, factor[i]});
    }
    return rows;
}

long Constant::AskMode() const {
    const char* prompt = "Enter your choice : ";
    Print("Choose your computation mode :\n");
    Print("[0] standard mode (no disk memory used)\n");
    Print("[1] basic disk memory mode (for big computations)\n");
    Print("[2] advanced disk memory mode (for huge computations)\n");
    Print("%s", prompt);
    for (;;) {
        const long m = ReadLong(prompt);
        if (m < 0 || m > 2)
            Print("Error, the computation mode is 0, 1 or 2.\n%s", prompt);
        else if (!ModeRunnable(m))
            Print("The %s is not available yet in this version: choose the standard mode (0).\n%s",
                  ModeName(m), prompt);
        else
            return m;
    }
}

void Constant::ChooseParameters() {
    // 1. Computation mode and digits, until the mode has an FFT size for the digits.
    std::vector<FFTRow> rows;
    for (;;) {
        if (DiskModesAvailable()) {
            mode = AskMode();
            Print("\n");
        } else {
            Print("Computation mode : standard (no disk swapping mode available)\n");
            mode = 0;
        }
        digits = AskDigits();
        rows = FFTTable();
        if (!rows.empty()) break;
        Print("Error, the %s has no FFT size for %.0lf digits: choose another mode.\n\n",
              ModeName(mode), digits);
    }

    // 2. The table of FFT sizes, from the fastest down, and the size: one of the table.
    PrintFFTTable(rows);
    fftSize = AskFFTSizeK(rows) * 1024;
    Print("\n");

    // 4. Compressed output.
    const char* cprompt =
        "Compressed output (also useful to specify output format) ? [0=No, 1=Yes] : ";
    Print("%s", cprompt);
    for (;;) {
        compressed = ReadLong(cprompt);
        if (compressed == 1) {
            // The decompression dialogue must be able to name the files again.
            const std::string problem = output::CompressedNameProblem(GetName());
            if (problem.empty()) break;
            Print("The name \"%s\" cannot name compressed files (%s): answer 0.\n%s",
                  GetName().c_str(), problem.c_str(), cprompt);
            continue;
        }
        if (compressed == 0) break;
        Print("Error, please answer 0 or 1.\n%s", cprompt);
    }
    Print("\n");
}

void Constant::PrintFFTTable(const std::vector<FFTRow>& rows) const {
    Print("Possible FFT modes, with approximate needed memory :\n");
    Print("\n");
    for (const FFTRow& row : rows) {
        double mem = 0, disk = 0;
        EstimateMemory(static_cast<double>(row.sizeK) * 1024, mem, disk);
        Print("FFT Size=%4ld k, Mem=%.0lf K", row.sizeK, mem / 1024);
        if (mode != 0) Print(", MemDisk=%.0lf k", disk);
        if (row.fastest)
            Print(" (Fastest mode)\n");
        else if (row.factor > 0)
            Print(" (Time: Fastest mode * %.1lf) \n", row.factor);
        else
            Print("\n");
    }
    Print("...\n\n");
}

long Constant::AskFFTSizeK(const std::vector<FFTRow>& rows) {
    const char* prompt = "Enter FFT Size in k :";
    Print("%s", prompt);
    for (;;) {
        const long value = ReadLong(prompt);
        bool offered = false;
        for (const FFTRow& row : rows) offered = offered || row.sizeK == value;
        if (offered) return value;
        if (value > rows.front().sizeK)
            Print("Error, your FFT size is too large\n%s", prompt);
        else
            Print("Error, the FFT size must be one of the sizes above (%ld to %ld k).\n%s",
                  rows.back().sizeK, rows.front().sizeK, prompt);
    }
}

void Constant::GetFFTModes(long& first, long& last, double factors[10]) const {
    for (int i = 0; i < 10; ++i) factors[i] = 0;
    if (mode == 0) {
        first = 0;
        last = 6;
    } else if (mode == 1) {
        first = 1;
        last = 7;
    } else {
        first = 2;
        last = 8;
    }
}

void Constant::WriteMethod(FILE*) const {}

void Constant::PrintMemory() const {
    if (core::ThreadCount() > 1) Print("Threads : %d\n", core::ThreadCount());
    Print("Total Physical Memory Allocated = %.0lf Kbytes\n",
          static_cast<double>(numbers::gMemoryCounter) / 1024);
}

void Constant::ChooseChunks() {
    const char* prompt = "Time threshold in hours (0 if single run wanted) : ";
    Print("Chunks : in this mode, you can do your computation\n");
    Print("in several runs by entering a time threshold for the current\n");
    Print("run. The next run will start where the current run has stopped.\n");
    Print("%s", prompt);
    // Hours to seconds; -1 stops once, right after the series (for tests and for a user who
    // wants the series on disk before the rest); any other value below 0 means no threshold.
    timeThreshold = ReadDouble(prompt);
    if (timeThreshold > 0)
        timeThreshold *= 3600;
    else if (timeThreshold != -1)
        timeThreshold = 0;
    Print("\n");
}

// The time on line 6 includes this run so far. A record is written at every resumable
// point, not only when the run stops, so previousTime itself is left as it is: the run's
// total adds its own duration once, when it ends.
void Constant::SaveParameters(FILE* f) {
    std::fprintf(f, "%ld\n", TypeNumber());
    std::fprintf(f, "%lf\n", digits);
    std::fprintf(f, "%ld\n", mode);
    std::fprintf(f, "%ld\n", fftSize);
    std::fprintf(f, "%ld\n", compressed);
    std::fprintf(f, "%lf\n", previousTime + ElapsedSeconds() - runStart);
    // The bytes of the result file that hold the header and the blocks of finished runs: a
    // run killed while it wrote more (its digits, its block) left text that the next run cuts.
    long length = 0;
    if (resultFile_) {
        resultFile_->Flush();
        length = std::ftell(resultFile_->get());
    }
    std::fprintf(f, "%ld\n", length);
}

// Every value must be one that a real run writes: a record that does not read back whole,
// or holds anything else, must not start a computation (a huge FFT size would allocate
// until the machine gives up). The file is left in place for the user to look at.
void Constant::LoadParameters(FILE* f) {
    resumed = true;
    long lineNo = 1;
    std::string text;
    auto next = [&](const char* what) {
        ++lineNo;
        if (!ReadRecordLine(f, text)) Damaged(lineNo, what, "is missing");
    };
    auto refuse = [&](const char* what, const std::string& why) {
        Damaged(lineNo, what, "reads \"" + text + "\", " + why);
    };

    next("digits");
    if (!core::ParseDouble(text, digits) || digits != std::floor(digits) || digits < kMinDigits ||
        digits > kMaxDigits)
        refuse("digits", "not a whole number from 10000 to 10^15");
    next("mode");
    if (!core::ParseLong(text, mode) || mode < 0 || mode > 2)
        refuse("mode", "not a computation mode");
    if (mode == 0) refuse("mode", "the standard mode, whose runs are never resumed");
    next("FFT size");
    bool offered = false;
    if (core::ParseLong(text, fftSize))
        for (const FFTRow& row : FFTTable()) offered = offered || row.sizeK * 1024 == fftSize;
    if (!offered) refuse("FFT size", "not an FFT size of this mode for these digits");
    next("compressed output");
    if (!core::ParseLong(text, compressed) || (compressed != 0 && compressed != 1))
        refuse("compressed output", "neither 0 nor 1");
    next("time of the previous runs");
    if (!core::ParseDouble(text, previousTime) || previousTime < 0)
        refuse("time of the previous runs", "not a nonnegative number of seconds");
    next("length of the result file");
    if (!core::ParseLong(text, resultLength) || resultLength < 0)
        refuse("length of the result file", "not a nonnegative number of bytes");
}

void Constant::Damaged(long lineNo, const char* what, const std::string& why) {
    core::UserError("The parameter file \"" + std::string(kParamFileName) + "\" is damaged: line " +
                    std::to_string(lineNo) + " (" + what + ") " + why +
                    ".\nThe file is left in place: delete it to start a new computation.");
}

void SaveParameterFile(Constant& c) {
    // Written beside and renamed over the previous one: a run killed while writing it
    // resumes from the previous stop instead of from a damaged record.
    core::AtomicFile f(kParamFileName, "w");
    c.SaveParameters(f.get());
    f.Commit();
}

long TimeThresholdReached(const Constant& c) {
    return (c.timeThreshold > 0 && ElapsedSeconds() - c.runStart > c.timeThreshold) ? 1 : 0;
}

// The result file is written under its temporary name (see core::AtomicFile) and renamed
// into place after the last digit, so that a file named NAME.txt is always complete. A run
// that stops at its chunk threshold keeps the temporary file, header and run blocks, for
// the next run to continue; a resumed run keeps it on any failure too, since the parameter
// file of the last stop still points at it.
long Constant::Run() {
    if (!ModeRunnable(mode)) {
        Print("The %s is not available yet in this version.\n", ModeName(mode));
        core::ExitProgram(core::kNotAvailableExitCode);
    }
    if (ChunksEnabled()) ChooseChunks();
    const std::string fileName = GetFileName();

    // A resumed run continues the kept temporary file (kept from its opening on), cut to
    // what the record covers; a file shorter than that lost its text: it starts anew.
    if (resumed) {
        const std::string temp = fileName + core::kIncompleteSuffix;
        std::error_code ec;
        const auto size = std::filesystem::file_size(temp, ec);
        if (!ec) {
            if (static_cast<long>(size) >= resultLength)
                std::filesystem::resize_file(temp, static_cast<std::uintmax_t>(resultLength), ec);
            else
                std::filesystem::remove(temp, ec);
        }
    }
    resultFile_ = std::make_unique<core::AtomicFile>(fileName, resumed ? "a" : "w");
    FILE* f = resultFile_->get();
    if (std::ftell(f) == 0) WriteHeader(f);  // a fresh start, or a resumed run whose file was lost
    resultFile_->Flush();
    core::SetLogSourceFile(resultFile_->tempName());
    if (mode != 0) {
        disk::gDiskReadTime = 0;
        disk::gDiskWriteTime = 0;
    }

    const std::string start = DateText();
    runStart = ElapsedSeconds();
    const long finished = Compute();
    const double duration = ElapsedSeconds() - runStart;
    const std::string end = DateText();

    WriteRunBlock(f, start, end, duration);
    resultFile_->Flush();

    Print("%s", kDashes63);
    double total = duration;
    if (ChunksEnabled()) {
        Print("Computation time of this run : %.2lf seconds\n", duration);
        if (!finished) {
            SaveParameterFile(*this);  // the record now covers this run's block too
            previousTime += duration;
            if (previousTime > 0)
                Print("Time including previous run: %.2lf seconds\n", previousTime);
            Print("Do not forget to continue your computation in a next run !\n");
            resultFile_->CloseAndKeep();
            resultFile_.reset();
            core::SetLogSourceFile("");
            return 0;
        }
        total = duration + previousTime;
    }
    Print("Total computation time : %.2lf seconds(~ %.2lf hours)\n", total, total / 3600);
    Print("Writing informations into file %s\n", fileName.c_str());
    std::fprintf(f, "%s", kEquals60);
    std::fprintf(f, "Total computation time : %.2lf seconds (~ %.2lf hours)\n", total,
                 total / 3600);
    std::fprintf(f, "%s", kEquals60);
    resultFile_->Flush();
    Print("\n");

    const long check = Check();
    if (check == 0)
        Print("*** ERROR in computation ***\n");
    else if (check != -1)
        Print("The computation seems OK\n");

    AppendResult();
    resultFile_->Commit();
    resultFile_.reset();
    core::SetLogSourceFile("");
    // A finished computation needs no record any more, whether this run was resumed from
    // one or wrote one on its way (a disk-mode run records every resumable point).
    if (resumed || ChunksEnabled()) std::remove(kParamFileName);
    ReleaseRecordedFiles();
    if (result) result->Free();
    for (int i = 0; i < 1000; ++i) {
        char swap[16];
        std::snprintf(swap, sizeof swap, "A%03d", i);
        if (std::remove(swap) != 0) break;
    }
    return 1;
}

void Constant::WriteHeader(FILE* f) const {
    std::fprintf(f, "Program : Zeprix version %s, by Olmarek\n", kVersion);
    std::fprintf(f, "Computation of %.0lf digits of %s\n", digits, GetName().c_str());
    WriteMethod(f);
    std::fprintf(f, "Size of FFT : %ld K\n", fftSize / 1024);
    double mem = 0, disk = 0;
    EstimateMemory(static_cast<double>(fftSize), mem, disk);
    std::fprintf(f, "Physical memory used : ~ %.0lf K\n", mem / 1024);
    std::fprintf(f, "Disk memory used : ~ %.2lf Meg\n", disk / 1024);
}

void Constant::WriteRunBlock(FILE* f, const std::string& start, const std::string& end,
                             double duration) const {
    std::fprintf(f, "%s", kDashes60);
    std::fprintf(f, "Computation run information :\n\n");
    std::fprintf(f, "Start : %s", start.c_str());
    std::fprintf(f, "End   : %s", end.c_str());
    std::fprintf(f, "Duration : %.2lf seconds\n", duration);
    // A run on one thread keeps the report it always had.
    if (core::ThreadCount() > 1) std::fprintf(f, "Threads : %d\n", core::ThreadCount());
    if (mode != 0) {
        std::fprintf(f, "\n");
        std::fprintf(f, "Time spent in disk swapping : %.0lf s (reading %.0lf, writing %.0lf)\n",
                     disk::gDiskReadTime + disk::gDiskWriteTime, disk::gDiskReadTime,
                     disk::gDiskWriteTime);
    }
}

// A compressed run writes the packed files instead of the digits; the result file keeps its
// header, run blocks and total time. The packed format holds positive numbers only, so a
// negative result (a user constant can be one) goes to the result file as decimal text.
void Constant::AppendResult() {
    if (!result || !resultFile_) return;
    const std::string name = GetName();
    if (compressed && result->Sign() >= 0) {
        Print("Compressing result file ...\n");
        output::WriteCompressed(*result, digits, name, fftSize);
        Print("\n");
        return;
    }
    if (compressed)
        Print("A negative result cannot be stored compressed: "
              "the digits are written as decimal text.\n");
    Print("Appending result to file %s ...", GetFileName().c_str());
    output::WriteResult(*result, name.c_str(), digits, resultFile_->get(), 0, 1);
    resultFile_->Flush();
    Print("\n");
}

Constant::Constant() = default;
Constant::~Constant() = default;

}  // namespace zeprix::shell
