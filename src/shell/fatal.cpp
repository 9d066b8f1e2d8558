// Fatal-error routines and the debug log "Zeprix.log".
#include "shell/fatal.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/console.hpp"
#include "shell/constant.hpp"
#include "shell/debug_state.hpp"

namespace zeprix::shell {

DebugState gDebug;

namespace {

const char* const kMaintainer = "zeprix-bugs@users.noreply.zeprix.org";
const char* const kBox = "==================================\n";
const char* const kDash32 = "--------------------------------\n";

void WriteText(FILE* f, std::string_view s) { std::fwrite(s.data(), 1, s.size(), f); }

// The debug groups whose switches are on, in a fixed order.
void WriteDebugGroups(FILE* log) {
    const DebugState& d = gDebug;
    if (d.nttSetup.initialised == 1) {
        std::fprintf(log, "NNTTMax=%ld\n", d.nttSetup.NNTTMax);
        std::fprintf(log, "NbPrimes=%ld, PrimeExponent=%ld\n", d.nttSetup.NbPrimes,
                     d.nttSetup.PrimeExponent);
    }
    if (d.nttProduct.on == 1) {
        const NttProductRecord& p = d.nttProduct;
        std::fprintf(log, "%s", kDash32);
        std::fprintf(log, "NTT product is on\n");
        std::fprintf(log, "Na=%ld, Nb=%ld, Nc=%ld\n", p.Na, p.Nb, p.Nc);
        std::fprintf(log, "NCRT=%ld, NNTT=%ld, CRTNbDec=%ld\n", p.NCRT, p.NNTT, p.CRTNbDec);
        std::fprintf(log, "NTT0AlreadyComputed =%ld\n", p.NTT0AlreadyComputed);
        std::fprintf(log, "nFFT0AlreadyComputed =%ld\n", p.nFFT0AlreadyComputed);
        std::fprintf(log, "NCRTNTT0AlreadyComputed =%ld\n", p.NCRTNTT0AlreadyComputed);
    }
    if (d.giantStep.value != 0) {
        std::fprintf(log, "%s", kDash32);
        std::fprintf(log, "Giant step is on, value=%d\n", d.giantStep.value);
        std::fprintf(log, "n0=%.0lf, n1=%.0lf\n", d.giantStep.n0, d.giantStep.n1);
        std::fprintf(log, "DoComputeA = %ld\n", d.giantStep.DoComputeA);
    }
    if (d.diskGiantStep.value != 0) {
        const DiskGiantStepRecord& g = d.diskGiantStep;
        std::fprintf(log, "%s", kDash32);
        std::fprintf(log, "Giant step disk is on, value=%d\n", g.value);
        std::fprintf(log, "n0=%.0lf, n1=%.0lf\n", g.n0, g.n1);
        std::fprintf(log, "nBigIntLimit=%ld\n", g.nBigIntLimit);
        std::fprintf(log, "DoComputeA = %ld\n", g.DoComputeA);
        std::fprintf(log, "Depth=%d\n", g.Depth);
    }
    if (d.diskProduct.on != 0) {
        std::fprintf(log, "%s", kDash32);
        std::fprintf(log, "MulDiskInt is on\n");
        std::fprintf(log, "Na=%ld, Nb=%ld, NcAlloc=%ld\n", d.diskProduct.Na, d.diskProduct.Nb,
                     d.diskProduct.NcAlloc);
    }
    if (d.diskAddition.on != 0) {
        std::fprintf(log, "%s", kDash32);
        std::fprintf(log, "AddDiskInt is on\n");
        std::fprintf(log, "Na=%ld, Nb=%ld, NcAlloc=%ld\n", d.diskAddition.Na, d.diskAddition.Nb,
                     d.diskAddition.NcAlloc);
    }
}

}  // namespace

void LoggedFatalError(std::string_view msg, long exitAfter) {
    // A fault inside the error path itself must not loop: the second one just ends.
    static bool inside = false;
    if (inside) std::_Exit(kFatalExitCode);
    inside = true;

    FILE* log = std::fopen("Zeprix.log", "w");
    FILE* resultFile = nullptr;
    if (gCurrentComputation) resultFile = std::fopen(gCurrentComputation->GetFileName().c_str(), "r");

    FILE* out = ConsoleOut();
    WriteText(out, "\n");
    WriteText(out, msg);
    WriteText(out, "\n");
    std::fprintf(out, "An error was encountered, please send the Zeprix.log file to\n");
    std::fprintf(out, "%s (non overclocked processors only !)\n\n", kMaintainer);
    std::fflush(out);

    if (log) {
        if (resultFile) {
            int ch;
            while ((ch = std::fgetc(resultFile)) != EOF) std::fputc(ch, log);
        }
        std::fprintf(log, "\n");
        std::fprintf(log, "%s", kBox);
        std::fprintf(log, "=             ERROR              =\n");
        std::fprintf(log, "%s", kBox);
        std::fprintf(log, "\n");
        std::fprintf(log, "%s\n", DateText().c_str());
        std::fprintf(log, "\n");
        WriteText(log, msg);
        std::fprintf(log, "\n\n");
        std::fprintf(log, "%s", kBox);
        std::fprintf(log, "=          DEBUG INFORMATION     =\n");
        std::fprintf(log, "%s", kBox);
        std::fprintf(log, "\n");
        WriteDebugGroups(log);
        std::fclose(log);
    }
    if (resultFile) std::fclose(resultFile);
    inside = false;
    if (exitAfter) std::exit(kFatalExitCode);
}

void FatalError(std::string_view msg) {
    LoggedFatalError(msg, 1);
    std::exit(kFatalExitCode);  // not reached
}

void CRTFatalError(std::string_view msg, double m, const double* alpha) {
    LoggedFatalError(msg, 0);
    FILE* log = std::fopen("Zeprix.log", "a");
    if (log) {
        long ncrt = gDebug.nttProduct.NCRT;
        std::fprintf(log, "---------------------------\n");
        std::fprintf(log, "\n");
        std::fprintf(log, "NCRT=%ld\n", ncrt);
        for (long i = 0; i < ncrt && alpha; ++i) std::fprintf(log, "alpha[%ld]=%.0lf\n", i, alpha[i]);
        std::fprintf(log, "\n");
        std::fprintf(log, "m=%.10lf\n", m);
        std::fclose(log);
    }
    std::exit(kFatalExitCode);
}

void SimpleFatalError(std::string_view msg) {
    FILE* out = ConsoleOut();
    std::fprintf(out, "ERROR occured. The error is :\n");
    WriteText(out, msg);
    std::fprintf(out, "\n");
    std::fflush(out);
    std::exit(kFatalExitCode);
}

}  // namespace zeprix::shell
