// The main routine: banner, resume road or menu, one action; or the command line's action.
#include "app/app.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "numbers/small_int.hpp"
#include "output/compressed.hpp"
#include "series/e_constant.hpp"
#include "series/pi_constant.hpp"
#include "series/sqrt2_constant.hpp"
#include "userconst/file_constant.hpp"
#include "verify/check_pi.hpp"

namespace zeprix::app {

using core::kFatalExitCode;
using core::kNotAvailableExitCode;
using core::Print;
using core::ReadLong;
using shell::Constant;
using shell::kParamFileName;

namespace {

// The computation types: the type number of the parameter file, the factory, and whether a
// run of that type can be cut into chunks and resumed.
struct ComputationType {
    long typeNumber;
    std::unique_ptr<Constant> (*create)();
    bool resumable;
};

template <class T, auto... Args>
std::unique_ptr<Constant> Make() {
    return std::make_unique<T>(Args...);
}

constexpr ComputationType kTypes[] = {
    {1, Make<series::ChudnovskyPi>, true},    {2, Make<series::RamanujanPi>, true},
    {10, Make<series::Sqrt2Constant>, false}, {20, Make<series::EConstant, 0>, true},
    {21, Make<series::EConstant, 1>, true},
};

const ComputationType* FindType(long typeNumber) {
    for (const ComputationType& t : kTypes)
        if (t.typeNumber == typeNumber) return &t;
    return nullptr;
}

}  // namespace

std::unique_ptr<Constant> CreateConstant(long typeNumber) {
    const ComputationType* t = FindType(typeNumber);
    return t ? t->create() : nullptr;
}

namespace {

void PrintBanner() {
    Print("Zeprix, version %s (constants to billions of digits by binary splitting) \n",
          shell::kVersion);
    Print("Home page, news and updates : https://zeprix.example.org/\n");
}

int NotAvailable() {
    Print("This menu entry is not available yet in this version.\n");
    return kNotAvailableExitCode;
}

// The resume road: the parameter file names the computation and all its parameters.
int Resume(std::FILE* file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(file, std::fclose);
    std::string first;
    for (int ch; (ch = std::fgetc(file)) != EOF && ch != '\n' && first.size() < 64;)
        first.push_back(static_cast<char>(ch));
    while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.pop_back();
    long type = 0;
    if (!core::ParseLong(first, type)) {
        Print("The parameter file \"%s\" is empty or damaged: its first line should hold the\n"
              "type of the computation to resume. Delete it to start a new computation.\n",
              kParamFileName);
        return kFatalExitCode;
    }
    const ComputationType* t = FindType(type);
    if (!t || !t->resumable) {
        Print("The parameter file \"%s\" names computation type %ld, which cannot be\n"
              "resumed. Delete it to start a new computation.\n",
              kParamFileName, type);
        return kFatalExitCode;
    }
    std::unique_ptr<Constant> c = t->create();
    c->LoadParameters(file);
    if (!c->ModeRunnable(c->mode)) {
        Print("The parameter file \"%s\" continues a computation in a disk memory mode, which\n"
              "this version cannot run yet. The file is left in place.\n",
              kParamFileName);
        return kNotAvailableExitCode;
    }
    Print("A Parameter file exists that permits to go on with previous\n");
    Print("runs on the following parameters :\n\n");
    Print("Constant computed         : %s\n", c->GetName().c_str());
    c->WriteMethod(core::ConsoleOut());
    Print("Number of digits          : %.0lf\n", c->digits);
    Print("Duration of previous runs : %.0lf seconds\n", c->previousTime);
    Print("\n");
    Print("If you do not want to continue this computation, kill\n");
    Print("the execution and destroy the file named \"ParamZeprix\".\n");
    Print("\n");
    c->Run();
    return 0;
}

// Choices 0 to 4 and 6: dialogue, then run.
int Compute(std::unique_ptr<Constant> c) {
    if (!c) return NotAvailable();
    c->ChooseParameters();
    c->Run();
    return 0;
}

// Choice 5: the definition dialogue of a local object; it saves a file and computes nothing.
int DefineUserConstant() {
    userconst::FileConstant c;
    c.DefineConstant();
    return 0;
}

// Choice 6: load a ".zeprix" file, then the common steps.
int ComputeUserConstant() {
    auto c = std::make_unique<userconst::FileConstant>();
    c->LoadConstantFile();
    return Compute(std::move(c));
}

int Menu() {
    const char* prompt = "Enter your choice : ";
    Print("Menu : \n");
    Print("[0] Compute Pi with Chudnovsky method (Fastest)\n");
    Print("[1] Compute Pi with Ramanujan method\n");
    Print("[2] Compute E by the exponential series exp(1)\n");
    Print("[3] Compute E by the exponential series 1/exp(-1)\n");
    Print("[4] Compute Sqrt(2) (useful for testing)\n");
    Print("[5] Define your constant with hypergeometric series\n");
    Print("[6] Compute a user constant from a .zeprix file\n");
    Print("[7] Decompress a result file\n");
    Print("[8] Check a compress result Pi file\n");
    Print("%s", prompt);
    long choice = ReadLong(prompt);
    Print("\n");
    switch (choice) {
        case 0: return Compute(CreateConstant(1));
        case 1: return Compute(CreateConstant(2));
        case 2: return Compute(CreateConstant(20));
        case 3: return Compute(CreateConstant(21));
        case 4: return Compute(CreateConstant(10));
        case 5: return DefineUserConstant();
        case 6: return ComputeUserConstant();
        case 7: output::Decompress(); return 0;
        case 8: verify::CheckPi("Pi"); return 0;
        default: return 0;
    }
}

// A checked command line: the menu entry it stands for, in its directory, with its answers.
int RunRequest(const Request& r) {
    if (!r.directory.empty() && ::chdir(r.directory.c_str()) != 0)
        core::UserError("Error, cannot work in the directory " + r.directory + " (" +
                        std::strerror(errno) + ").");
    if (r.digitsToStandardOutput) core::SetConsole(nullptr, stderr);
    core::SetAnswers(r.answers);
    PrintBanner();
    switch (r.action) {
        case Request::Action::kCompute: return Compute(CreateConstant(r.typeNumber));
        case Request::Action::kComputeFile: return ComputeUserConstant();
        case Request::Action::kDecompress:
            output::Decompress(r.digitsToStandardOutput ? stdout : nullptr);
            return 0;
        case Request::Action::kCheckPi: verify::CheckPi("Pi"); return 0;
        case Request::Action::kResume:
            if (FILE* f = std::fopen(kParamFileName, "r")) return Resume(f);
            core::UserError(std::string("Error, the file \"") + kParamFileName +
                            "\" cannot be read (" + std::strerror(errno) + ").");
        case Request::Action::kExit: break;
    }
    return r.status;
}

}  // namespace

int ZeprixMain(int argc, const char* const* argv) {
    try {
        core::InstallSignalHandlers();
        numbers::InitSmallIntConstants();
        if (argc > 1) {
            // What the checks report (a damaged input file) goes where bad arguments go.
            core::SetConsole(nullptr, stderr);
            const Request r = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
            core::SetConsole(nullptr, nullptr);
            return r.action == Request::Action::kExit ? r.status : RunRequest(r);
        }
        PrintBanner();
        if (FILE* f = std::fopen(kParamFileName, "r")) return Resume(f);
        return Menu();
    } catch (const core::ProgramExit& e) {
        return e.status();
    }
}

}  // namespace zeprix::app
