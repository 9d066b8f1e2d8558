// Constant: the computation framework every computable constant shares.
#include "shell/constant.hpp"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "disk/disk_times.hpp"
#include "numbers/limbs.hpp"
#include "numbers/mpint.hpp"
#include "output/decimal_writer.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"

namespace zeprix::shell {

using core::DateText;
using core::ElapsedSeconds;
using core::FatalError;
using core::Print;
using core::ReadDouble;
using core::ReadLong;
using core::ReadWord;

namespace {
const char* const kDashes60 = "------------------------------------------------------------\n";
const char* const kDashes63 = "---------------------------------------------------------------\n";
const char* const kEquals60 = "============================================================\n";

// The largest digit count the dialogue accepts: far beyond what any machine holds, and
// small enough that every size derived from it stays an exact whole number.
constexpr double kMaxDigits = 1e15;

FILE* OpenOrDie(const std::string& name, const char* how) {
    FILE* f = std::fopen(name.c_str(), how);
    if (!f) FatalError("Error, cannot open the result file " + name);
    return f;
}
}  // namespace

long Constant::FastestFFTSizeK() const {
    if (digits <= 12288) return 1;
    long n = 2;
    while (static_cast<double>(n) * 12 * 1024 < digits) n *= 2;
    return n;
}

// Reads the digit count: a number with an optional k/K/m/M/g/G multiplier, rounded down,
// asked again until it is at least 10000.
static double AskDigits() {
    for (;;) {
        Print("Number of decimal digits : ");
        std::string word = ReadWord();
        double mult = 1;
        size_t pos = word.find_first_of("kKmMgG");
        if (pos != std::string::npos && pos > 0) {
            switch (word[pos]) {
                case 'k': mult = 1000; break;
                case 'K': mult = 1024; break;
                case 'm': mult = 1000000; break;
                case 'M': mult = 1048576; break;
                case 'g': mult = 1000000000; break;
                default: mult = 1073741824; break;
            }
            word.resize(pos);
        }
        double x = std::atof(word.c_str()) * mult;
        double d = std::isfinite(x) ? std::floor(x) : 0;
        if (d < 10000) {
            Print("Error, should compute at least 10000 digits\n");
            continue;
        }
        if (d > kMaxDigits) {
            Print("Error, at most %.0lf digits can be computed\n", kMaxDigits);
            continue;
        }
        if (mult != 1) Print("(%.0lf digits)\n", d);
        return d;
    }
}

void Constant::ChooseParameters() {
    // 1. Computation mode.
    if (DiskModesAvailable()) {
        const char* prompt = "Enter your choice : ";
        Print("Choose your computation mode :\n");
        Print("[0] standard mode (no disk memory used)\n");
        Print("[1] basic disk memory mode (for big computations)\n");
        Print("[2] advanced disk memory mode (for huge computations)\n");
        Print("%s", prompt);
        mode = ReadLong(prompt);
        Print("\n");
    } else {
        Print("Computation mode : standard (no disk swapping mode available)\n");
        mode = 0;
    }

    // 2. Digits.
    digits = AskDigits();

    // 3. The table of FFT sizes, from the fastest down.
    long first = 0, last = 0;
    double factor[10];
    GetFFTModes(first, last, factor);
    long n = FastestFFTSizeK();
    if (n > (32768L << first)) n = 32768L << first;
    Print("Possible FFT modes, with approximate needed memory :\n");
    Print("\n");
    for (long i = first; i < last; ++i) {
        long s = n >> i;
        if (s == 0) continue;
        double mem = 0, disk = 0;
        EstimateMemory(static_cast<double>(s) * 1024, mem, disk);
        Print("FFT Size=%4ld k, Mem=%.0lf K", s, mem / 1024);
        if (mode != 0) Print(", MemDisk=%.0lf k", disk);
        if (i == first)
            Print(" (Fastest mode)\n");
        else if (factor[i] > 0)
            Print(" (Time: Fastest mode * %.1lf) \n", factor[i]);
        else
            Print("\n");
    }
    Print("...\n\n");

    // 4. FFT size: the largest offered power of two not above the entry.
    const char* fftPrompt = "Enter FFT Size in k :";
    long largest = n >> first;
    long value;
    for (;;) {
        Print("%s", fftPrompt);
        value = ReadLong(fftPrompt);
        if (value > largest) {
            Print("Error, your FFT size is too large\n");
            continue;
        }
        if (value <= 0) {
            Print("Error, the FFT size must be a positive number of k\n");
            continue;
        }
        break;
    }
    Print("\n");
    while (n > value) n >>= 1;
    fftSize = n * 1024;

    // 5. Compressed output.
    const char* cprompt = "Compressed output (also useful to specify output format) ? [0=No, 1=Yes] : ";
    Print("%s", cprompt);
    compressed = ReadLong(cprompt);
    Print("\n");
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
    Print("Total Physical Memory Allocated = %.0lf Kbytes\n",
          static_cast<double>(numbers::gMemoryCounter) / 1024);
}

void Constant::ChooseChunks() {
    const char* prompt = "Time threshold in hours (0 if single run wanted) : ";
    Print("Chunks : in this mode, you can do your computation\n");
    Print("in several runs by entering a time threshold for the current\n");
    Print("run. The next run will start where the current run has stopped.\n");
    Print("%s", prompt);
    timeThreshold = ReadDouble(prompt);
    if (timeThreshold > 0)
        timeThreshold *= 3600;
    else
        timeThreshold = 0;
    Print("\n");
}

void Constant::SaveParameters(FILE* f) {
    previousTime += ElapsedSeconds() - runStart;
    std::fprintf(f, "%ld\n", TypeNumber());
    std::fprintf(f, "%lf\n", digits);
    std::fprintf(f, "%ld\n", mode);
    std::fprintf(f, "%ld\n", fftSize);
    std::fprintf(f, "%ld\n", compressed);
    std::fprintf(f, "%lf\n", previousTime);
}

void Constant::LoadParameters(FILE* f) {
    resumed = true;
    int got = std::fscanf(f, "%lf\n", &digits);
    got += std::fscanf(f, "%ld\n", &mode);
    got += std::fscanf(f, "%ld\n", &fftSize);
    got += std::fscanf(f, "%ld\n", &compressed);
    got += std::fscanf(f, "%lf\n", &previousTime);
    // A record that does not read back whole must not start a computation on garbage.
    if (got != 5 || !(digits >= 10000 && digits <= kMaxDigits) || mode < 0 || mode > 2 ||
        fftSize < 1024 || (fftSize & (fftSize - 1)) != 0 || !(previousTime >= 0)) {
        Print("The parameter file \"%s\" is damaged: its parameters do not read back.\n"
              "Delete it to start a new computation.\n",
              kParamFileName);
        core::ExitProgram(core::kFatalExitCode, "damaged parameter file");
    }
}

void SaveParameterFile(Constant& c) {
    FILE* f = std::fopen(kParamFileName, "w");
    if (!f) FatalError("Error, cannot write the parameter file ParamZeprix");
    c.SaveParameters(f);
    // A parameter file that did not reach the disk whole would resume from garbage.
    if (std::fflush(f) != 0 || std::ferror(f)) {
        std::fclose(f);
        FatalError("Error, cannot write the parameter file ParamZeprix");
    }
    if (std::fclose(f) != 0) FatalError("Error, cannot write the parameter file ParamZeprix");
}

long TimeThresholdReached(const Constant& c) {
    return (c.timeThreshold > 0 && ElapsedSeconds() - c.runStart > c.timeThreshold) ? 1 : 0;
}

long Constant::Run() {
    if (ChunksEnabled()) ChooseChunks();
    std::string fileName = GetFileName();
    std::string name = GetName();

    if (!resumed) {
        FILE* f = OpenOrDie(fileName, "w");
        std::fprintf(f, "Program : Zeprix version %s, by Olmarek\n", kVersion);
        std::fprintf(f, "Computation of %.0lf digits of %s\n", digits, name.c_str());
        WriteMethod(f);
        std::fprintf(f, "Size of FFT : %ld K\n", fftSize / 1024);
        double mem = 0, disk = 0;
        EstimateMemory(static_cast<double>(fftSize), mem, disk);
        std::fprintf(f, "Physical memory used : ~ %.0lf K\n", mem / 1024);
        std::fprintf(f, "Disk memory used : ~ %.2lf Meg\n", disk / 1024);
        std::fclose(f);
    }
    if (mode != 0) {
        disk::gDiskReadTime = 0;
        disk::gDiskWriteTime = 0;
    }

    std::string start = DateText();
    runStart = ElapsedSeconds();
    long finished = Compute();
    double duration = ElapsedSeconds() - runStart;
    std::string end = DateText();

    FILE* f = OpenOrDie(fileName, "a");
    std::fprintf(f, "%s", kDashes60);
    std::fprintf(f, "Computation run information :\n\n");
    std::fprintf(f, "Start : %s", start.c_str());
    std::fprintf(f, "End   : %s", end.c_str());
    std::fprintf(f, "Duration : %.2lf seconds\n", duration);
    if (mode != 0) {
        std::fprintf(f, "\n");
        std::fprintf(f, "Time spent in disk swapping : %.0lf s (reading %.0lf, writing %.0lf)\n",
                     disk::gDiskReadTime + disk::gDiskWriteTime, disk::gDiskReadTime, disk::gDiskWriteTime);
    }
    std::fclose(f);

    Print("%s", kDashes63);
    double total = duration;
    if (ChunksEnabled()) {
        Print("Computation time of this run : %.2lf seconds\n", duration);
        if (!finished) {
            if (previousTime > 0) Print("Time including previous run: %.2lf seconds\n", previousTime);
            Print("Do not forget to continue your computation in a next run !\n");
            return 0;
        }
        total = duration + previousTime;
    }
    Print("Total computation time : %.2lf seconds(~ %.2lf hours)\n", total, total / 3600);
    Print("Writing informations into file %s\n", fileName.c_str());
    f = OpenOrDie(fileName, "a");
    std::fprintf(f, "%s", kEquals60);
    std::fprintf(f, "Total computation time : %.2lf seconds (~ %.2lf hours)\n", total,
                 total / 3600);
    std::fprintf(f, "%s", kEquals60);
    std::fclose(f);
    Print("\n");

    long check = Check();
    if (check == 0)
        Print("*** ERROR in computation ***\n");
    else if (check != -1)
        Print("The computation seems OK\n");

    AppendResult();
    if (resumed) std::remove(kParamFileName);
    if (result) result->Free();
    for (int i = 0; i < 1000; ++i) {
        char swap[8];
        std::snprintf(swap, sizeof swap, "A%03d", i);
        if (std::remove(swap) != 0) break;
    }
    return 1;
}

void Constant::AppendResult() {
    if (!result) return;
    if (compressed) {
        Print("Compressed output is not available yet in this version: "
              "the digits are written as decimal text.\n");
    }
    std::string fileName = GetFileName();
    std::string name = GetName();
    Print("Appending result to file %s ...", fileName.c_str());
    FILE* f = OpenOrDie(fileName, "a");
    output::WriteResult(*result, name.c_str(), digits, f, 0, 1);
    // Digits that did not all reach the file must not look like a finished result.
    bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0) failed = true;
    if (failed) FatalError("Error, the digits could not be written to " + fileName);
    Print("\n");
}

}  // namespace zeprix::shell
