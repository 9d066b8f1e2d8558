// The command line: the arguments checked one by one against what the menu's dialogue would
// accept, and turned into that dialogue's answers.
#include "app/command_line.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string_view>

#include "app/app.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "disk/disk_int.hpp"
#include "output/compressed.hpp"
#include "shell/constant.hpp"
#include "userconst/file_constant.hpp"
#include "verify/check_pi.hpp"

namespace zeprix::app {

namespace {

namespace fs = std::filesystem;
using Action = Request::Action;

constexpr const char* kUsage =
    "Usage: zeprix [CONSTANT DIGITS | decompress NAME | check-pi [INDEX] | resume] [OPTIONS]";

// The built-in constants by name, in the order of the menu.
struct NamedConstant {
    const char* name;
    long typeNumber;
    const char* description;
};
constexpr NamedConstant kConstants[] = {
    {"pi", 1, "Pi by the Chudnovsky series, the fastest (menu entry 0)"},
    {"pi-ramanujan", 2, "Pi by Ramanujan's series (menu entry 1)"},
    {"e", 20, "e by the exponential series exp(1) (menu entry 2)"},
    {"e-inverse", 21, "e by the exponential series 1/exp(-1) (menu entry 3)"},
    {"sqrt2", 10, "the square root of 2 (menu entry 4)"},
};
constexpr const char* kConstantNames = "pi, pi-ramanujan, e, e-inverse, sqrt2";

// A bad argument, as written, and what is wrong with it: what was expected.
struct BadArgument {
    std::string argument;
    std::string problem;
};

[[noreturn]] void Bad(const std::string& argument, const std::string& problem) {
    throw BadArgument{argument, problem};
}

std::string Whole(double x) {
    char s[32];
    std::snprintf(s, sizeof s, "%.0f", x);
    return s;
}

// The words after the command word: the positional ones, and each option given (at most
// once) with its value ("" for a flag).
struct Words {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> options;

    const std::string* Find(std::string_view name) const {
        const auto it = options.find(name);
        return it == options.end() ? nullptr : &it->second;
    }
};

// A word starting with "--" is an option: one of `valued` takes the next argument as its
// value whatever it looks like (so "--chunk -1" works), or the text after '=' in
// "--mode=1"; one of `flags` takes none. Every word after "--" is positional.
Words SplitWords(const std::vector<std::string>& args, std::size_t first,
                 std::initializer_list<std::string_view> valued,
                 std::initializer_list<std::string_view> flags, std::size_t maxPositional,
                 const char* positionalNames) {
    Words w;
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || !a.starts_with("--")) {
            if (w.positional.size() == maxPositional)
                Bad(a, std::string("one argument too many; expected ") + positionalNames);
            w.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const auto in = [&](std::initializer_list<std::string_view> names) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        if (!in(valued) && !in(flags)) {
            std::string known;
            for (std::string_view o : valued) known += (known.empty() ? "" : ", ") + std::string(o);
            for (std::string_view o : flags) known += (known.empty() ? "" : ", ") + std::string(o);
            Bad(a, known.empty() ? "unknown option; expected no option here"
                                 : "unknown option; expected one of " + known);
        }
        if (w.Find(name)) Bad(a, "given twice; expected it once at most");
        std::string value;
        if (in(flags)) {
            if (eq != std::string::npos) Bad(a, "takes no value; expected " + name + " alone");
        } else if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            Bad(a, "its value is missing; expected a value after it");
        }
        w.options[name] = value;
    }
    return w;
}

double DigitCount(const std::string& word) {
    double d = 0;
    if (!shell::ParseDigitCount(word, d))
        Bad(word,
            "not a number of digits; expected a whole number, optionally followed by k, K, m, "
            "M, g or G (such as 20000 or 1m)");
    if (d < shell::kMinDigits) Bad(word, "too few digits; expected at least 10000");
    if (d > shell::kMaxDigits) Bad(word, "too many digits; expected at most 10^15");
    return d;
}

// A position in the digits ("1", "250000", "1m"): a whole number of at least 1.
double DigitPosition(const std::string& argument, const std::string& word, const char* form) {
    double d = 0;
    if (!shell::ParseDigitCount(word, d) || d < 1)
        Bad(argument, std::string("expected ") + form + ", whole numbers of at least 1");
    return d;
}

// The two numbers of "A:B".
std::pair<double, double> NumberPair(const std::string& option, const std::string& value,
                                     const char* form) {
    const std::string argument = option + " " + value;
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos) Bad(argument, std::string("expected ") + form);
    return {DigitPosition(argument, value.substr(0, colon), form),
            DigitPosition(argument, value.substr(colon + 1), form)};
}

// The constant named by CONSTANT: a built-in name, or a .zeprix file read and parsed here
// (the path as given, or with ".zeprix" added, as the file question tries it). A file's
// absolute path becomes the answer of the file question, which comes first.
std::unique_ptr<shell::Constant> NamedConstantOf(const std::string& word, Request& r) {
    for (const NamedConstant& c : kConstants)
        if (word == c.name) {
            r.action = Action::kCompute;
            r.typeNumber = c.typeNumber;
            return CreateConstant(c.typeNumber);
        }
    std::error_code ec;
    fs::path path = word;
    if (!fs::exists(path, ec) && fs::exists(word + ".zeprix", ec)) path = word + ".zeprix";
    if (!fs::exists(path, ec)) {
        if (word.ends_with(".zeprix") || word.find('/') != std::string::npos)
            Bad(word, "no such file; expected a constant or the path of a .zeprix file");
        Bad(word, std::string("not a constant; expected one of ") + kConstantNames +
                      " or the path of a .zeprix file");
    }
    if (fs::is_directory(path, ec)) Bad(word, "a directory; expected a .zeprix file");
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Bad(word, std::string("cannot be read (") + std::strerror(errno) + ")");
    char buf[65536];
    for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) {
        text.append(buf, got);
        if (static_cast<long>(text.size()) > userconst::kMaxFileBytes) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) Bad(word, "cannot be read; expected a readable .zeprix file");
    if (static_cast<long>(text.size()) > userconst::kMaxFileBytes)
        Bad(word, "too large to be a constant definition; expected a .zeprix file");
    auto c = std::make_unique<userconst::FileConstant>();
    std::string error;
    if (!c->ParseConstantText(text, error)) {
        std::replace(error.begin(), error.end(), '\n', ' ');
        Bad(word, "not a constant definition (" + error + "); expected a file as help.txt says");
    }
    r.action = Action::kComputeFile;
    r.answers.push_back(fs::absolute(path).string());
    return c;
}

double PhysicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<double>(pages) * static_cast<double>(pageSize)
                                     : 0;
}

// The directory of --output: it must exist and take new files.
std::string OutputDirectory(const Words& w) {
    const std::string* dir = w.Find("--output");
    if (!dir) return "";
    std::error_code ec;
    if (dir->empty() || !fs::is_directory(*dir, ec))
        Bad("--output " + *dir, "not a directory; expected an existing directory");
    if (::access(dir->c_str(), W_OK | X_OK) != 0)
        Bad("--output " + *dir, std::string("cannot be written (") + std::strerror(errno) +
                                    "); expected a directory that takes new files");
    return *dir;
}

// The answer of the time-threshold question: --chunk's hours, 0 (one run to the end)
// without it.
std::string ChunkAnswer(const Words& w) {
    const std::string* hours = w.Find("--chunk");
    if (!hours) return "0";
    double h = 0;
    if (!core::ParseDouble(*hours, h))
        Bad("--chunk " + *hours,
            "not a number; expected hours (0 for one run to the end, -1 to stop once right "
            "after the series)");
    return *hours;
}

Request ComputeRequest(const std::vector<std::string>& args) {
    const Words w = SplitWords(args, 0, {"--mode", "--fft", "--chunk", "--output"},
                               {"--compressed"}, 2, "CONSTANT DIGITS and options");
    if (w.positional.empty())
        Bad("CONSTANT DIGITS", "missing; expected a constant and a number of digits first");
    if (w.positional.size() == 1)
        Bad(w.positional[0], "the number of digits is missing; expected CONSTANT DIGITS");
    Request r;
    const std::unique_ptr<shell::Constant> c = NamedConstantOf(w.positional[0], r);
    const std::string& digitsWord = w.positional[1];
    c->digits = DigitCount(digitsWord);
    const std::string digitsText = Whole(c->digits) + " digits";

    c->mode = 0;
    if (const std::string* m = w.Find("--mode")) {
        const std::string argument = "--mode " + *m;
        long mode = -1;
        if (!core::ParseLong(*m, mode) || mode < 0 || mode > 2)
            Bad(argument,
                "expected 0 (standard), 1 (basic disk memory) or 2 (advanced disk memory)");
        if (mode != 0 && !c->DiskModesAvailable())
            Bad(argument, "a constant of a .zeprix file is computed in memory; expected 0");
        if (!c->ModeRunnable(mode))
            Bad(argument, "not available for this constant in this version; expected 0");
        c->mode = mode;
    }
    const std::string modeText = "mode " + std::to_string(c->mode);
    const std::vector<shell::Constant::FFTRow> rows = c->FFTTable();
    if (rows.empty())
        Bad("--mode " + std::to_string(c->mode), "no FFT size of this mode suits " + digitsText +
                                                     "; expected a lower mode or more digits");

    long fftK = 0;
    if (const std::string* k = w.Find("--fft")) {
        long size = 0;
        const bool number = core::ParseLong(*k, size);
        std::string sizes;
        for (const auto& row : rows) {
            if (number && row.sizeK == size) fftK = size;
            sizes += (sizes.empty() ? "" : ", ") + std::to_string(row.sizeK);
        }
        if (!fftK)
            Bad("--fft " + *k, "not an FFT size of the table for " + digitsText + " in " +
                                   modeText + "; expected one of " + sizes);
    } else {
        // The table's rows run from the fastest down: the first that fits in memory.
        const double memory = PhysicalMemory();
        for (const auto& row : rows) {
            double mem = 0, disk = 0;
            c->EstimateMemory(static_cast<double>(row.sizeK) * 1024, mem, disk);
            if (memory == 0 || mem <= memory) {
                fftK = row.sizeK;
                break;
            }
        }
        if (!fftK)
            Bad(digitsWord, "no FFT size of " + modeText + " fits in the " +
                                Whole(memory / 1048576) + " MB of memory for " + digitsText +
                                "; expected fewer digits, a disk memory mode or --fft");
    }

    const bool compressed = w.Find("--compressed") != nullptr;
    if (compressed) {
        const std::string problem = output::CompressedNameProblem(c->GetName());
        if (!problem.empty())
            Bad("--compressed", "the name \"" + c->GetName() + "\" cannot name compressed files (" +
                                    problem + "); expected no --compressed");
    }
    if (const std::string* hours = w.Find("--chunk"); hours && !c->ChunksEnabled())
        Bad("--chunk " + *hours,
            "a time threshold goes only with modes 1 and 2 of pi, pi-ramanujan, e and e-inverse");
    const std::string chunk = ChunkAnswer(w);

    r.directory = OutputDirectory(w);
    std::error_code ec;
    if (fs::exists(fs::path(r.directory.empty() ? "." : r.directory) / shell::kParamFileName, ec))
        Bad(shell::kParamFileName,
            "a chunked computation waits in this directory; expected 'zeprix resume' to "
            "continue it (or the file deleted to give it up)");

    if (c->DiskModesAvailable()) r.answers.push_back(std::to_string(c->mode));
    r.answers.push_back(digitsWord);
    r.answers.push_back(std::to_string(fftK));
    r.answers.push_back(compressed ? "1" : "0");
    if (c->ChunksEnabled()) r.answers.push_back(chunk);
    return r;
}

Request DecompressRequest(const std::vector<std::string>& args) {
    const Words w =
        SplitWords(args, 1, {"--range", "--every", "--output"}, {}, 1, "NAME and options");
    if (w.positional.empty())
        Bad("decompress", "the name of the result is missing; expected Pi, E, Sqrt2 or the name "
                          "of a user constant");
    const std::string& word = w.positional[0];
    std::string name = word;
    std::error_code ec;
    // The constants' names on the command line stand for their results' names.
    if (!fs::exists(name + "-info", ec))
        for (const NamedConstant& c : kConstants)
            if (word == c.name) name = CreateConstant(c.typeNumber)->GetName();
    if (const std::string problem = output::CompressedNameProblem(name); !problem.empty())
        Bad(word, "cannot name a compressed result (" + problem + ")");
    if (!fs::exists(name + "-info", ec))
        Bad(word, "no compressed result of that name here (no file " + name +
                      "-info); expected the name of one, such as Pi after 'zeprix pi DIGITS "
                      "--compressed'");
    const output::CompressedInfo info = output::ReadCompressedInfo(name);  // ends if damaged

    Request r;
    r.action = Action::kDecompress;
    if (name == "Pi" || name == "E" || name == "Sqrt2") {
        r.answers.push_back(name == "Pi" ? "0" : name == "E" ? "1" : "2");
    } else {
        r.answers.push_back("3");
        r.answers.push_back(name);
    }
    if (const std::string* file = w.Find("--output")) {
        const std::string argument = "--output " + *file;
        const fs::path parent = fs::path(*file).parent_path();
        if (file->empty() || fs::is_directory(*file, ec) ||
            !(parent.empty() || fs::is_directory(parent, ec)))
            Bad(argument, "expected the name of a file in an existing directory");
        // The files the digits are read from (the question refuses them too).
        std::vector<std::string> sources = {name + "-info"};
        for (long k = 0; k <= (info.limbs / 3 * 2 - 1) / disk::kLimbsPerFile; ++k) {
            char suffix[24];
            std::snprintf(suffix, sizeof suffix, "-%02ld", k);
            sources.push_back(name + suffix);
        }
        for (const std::string& s : sources)
            if (s == *file || fs::equivalent(s, *file, ec))
                Bad(argument, "a file of the compressed result itself; expected another name");
        r.answers.push_back("1");
        r.answers.push_back(*file);
    } else {
        r.digitsToStandardOutput = true;
    }

    const std::string* range = w.Find("--range");
    const std::string* every = w.Find("--every");
    if (range && every) Bad("--every " + *every, "goes not with --range; expected one of them");
    if (range) {
        const auto [first, last] = NumberPair("--range", *range, "FIRST:LAST");
        if (first > last || last > info.digits)
            Bad("--range " + *range, "expected FIRST:LAST with 1 <= FIRST <= LAST <= " +
                                         Whole(info.digits) + ", the digits of " + name);
        r.answers.insert(r.answers.end(), {"1", Whole(first - 1), Whole(last)});
    } else if (every) {
        const auto [x, y] = NumberPair("--every", *every, "X:Y");
        if (x > info.digits)
            Bad("--every " + *every,
                "expected X at most " + Whole(info.digits) + ", the digits of " + name);
        r.answers.insert(r.answers.end(), {"2", Whole(x), Whole(y)});
    } else {
        r.answers.push_back("0");
    }
    r.answers.push_back("0");  // the default layout
    return r;
}

Request CheckPiRequest(const std::vector<std::string>& args) {
    const Words w = SplitWords(args, 1, {}, {}, 1, "INDEX alone");
    std::error_code ec;
    if (!fs::exists("Pi-info", ec))
        Bad("check-pi", "no compressed Pi here (no file Pi-info); expected one, such as from "
                        "'zeprix pi DIGITS --compressed'");
    const output::CompressedInfo info = output::ReadCompressedInfo("Pi");  // ends if damaged
    double index = info.digits;
    if (!w.positional.empty()) {
        const std::string& word = w.positional[0];
        if (!shell::ParseDigitCount(word, index))
            Bad(word, "not an index; expected a whole number of digits (such as 10000 or 1m)");
        if (verify::ClampCheckIndex(index, info.digits).checked <= 0)
            Bad(word, "leaves no digit to check; expected at least 36, and the check stays 100 "
                      "digits below the " +
                          Whole(info.digits) + " digits of the file");
    }
    Request r;
    r.action = Action::kCheckPi;
    r.answers.push_back(Whole(index));
    return r;
}

Request ResumeRequest(const std::vector<std::string>& args) {
    const Words w = SplitWords(args, 1, {"--chunk", "--output"}, {}, 0, "options only");
    Request r;
    r.action = Action::kResume;
    r.answers.push_back(ChunkAnswer(w));
    r.directory = OutputDirectory(w);
    const fs::path record =
        fs::path(r.directory.empty() ? "." : r.directory) / shell::kParamFileName;
    std::error_code ec;
    if (!fs::exists(record, ec)) {
        std::fprintf(stderr,
                     "zeprix: there is no \"%s\" in %s: no chunked computation waits there to "
                     "be continued.\n",
                     shell::kParamFileName,
                     r.directory.empty() ? "the working directory" : r.directory.c_str());
        Request none;
        none.status = core::kFatalExitCode;
        return none;
    }
    return r;
}

// help.txt beside an installed program (PREFIX/bin/zeprix, PREFIX/share/zeprix/help.txt).
std::string HelpTextPlace() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path help = exe.parent_path().parent_path() / "share" / "zeprix" / "help.txt";
        if (fs::exists(help, ec)) return help.lexically_normal().string();
    }
    return "help.txt (in the sources, or in share/zeprix/ of an installation)";
}

void PrintHelp() {
    std::printf(
        "%s\n\n"
        "Computes mathematical constants to many decimal digits. Without arguments it shows\n"
        "its menu and asks its questions on standard input; with arguments it runs one\n"
        "action and reads nothing from standard input.\n\n"
        "  zeprix CONSTANT DIGITS [--mode M] [--fft K] [--compressed] [--chunk HOURS]\n"
        "                         [--output DIR]\n"
        "      computes CONSTANT to DIGITS decimal digits into its result file\n"
        "      (pi.txt, e.txt, sqrt2.txt, NAME.txt)\n"
        "  zeprix decompress NAME [--range FIRST:LAST | --every X:Y] [--output FILE]\n"
        "      writes the compressed result NAME (Pi, E, Sqrt2 or a user constant's name)\n"
        "      as decimal text\n"
        "  zeprix check-pi [INDEX]\n"
        "      checks the compressed Pi up to digit INDEX (default: as far as it goes)\n"
        "  zeprix resume [--chunk HOURS] [--output DIR]\n"
        "      continues the chunked computation recorded in \"ParamZeprix\"\n"
        "  zeprix --help | --version\n\n"
        "Constants:\n",
        kUsage);
    for (const NamedConstant& c : kConstants) std::printf("  %-13s %s\n", c.name, c.description);
    std::printf(
        "  FILE.zeprix   a constant defined in a file (menu entry 6; examples in\n"
        "                share/zeprix/examples/)\n\n"
        "DIGITS: a whole number of at least 10000, optionally followed by k (10^3), K (2^10),\n"
        "m (10^6), M (2^20), g (10^9) or G (2^30): 20000, 1m, 1.5m.\n\n"
        "Options of a computation:\n"
        "  --mode M        0 standard, in memory (the default); 1 basic and 2 advanced disk\n"
        "                  memory modes, for pi, pi-ramanujan, e, e-inverse and sqrt2\n"
        "  --fft K         FFT size in k, one of the menu's table for these digits and mode\n"
        "                  (default: the fastest whose memory estimate fits in memory)\n"
        "  --compressed    the digits go to the packed files NAME-00, ..., NAME-info\n"
        "  --chunk HOURS   modes 1 and 2 of pi, pi-ramanujan, e and e-inverse: stop at the\n"
        "                  first resumable point after HOURS hours (default 0: one run to\n"
        "                  the end; -1: once, right after the series); 'zeprix resume'\n"
        "                  continues\n"
        "  --output DIR    work in the existing directory DIR: the result and every\n"
        "                  temporary file go there\n"
        "Options of decompress:\n"
        "  --range FIRST:LAST  the digits FIRST to LAST after the point (default: all)\n"
        "  --every X:Y         X digits every Y digits\n"
        "  --output FILE       into FILE (default: standard output, the messages then go to\n"
        "                      standard error)\n\n"
        "Exit status: 0 done; 1 not available in this version; 2 bad arguments, or the run\n"
        "could not finish (a message says why). A signal ends it with its own status.\n\n"
        "User constants and the .zeprix format: %s\n",
        HelpTextPlace().c_str());
}

}  // namespace

Request ReadCommandLine(const std::vector<std::string>& args) {
    try {
        for (const std::string& a : args) {
            if (a == "--") break;
            if (a == "--help" || a == "-h") {
                PrintHelp();
                return Request{};
            }
        }
        if (args.empty()) Bad("", "no argument; expected a command");
        const std::string& command = args[0];
        if (command == "--version") {
            if (args.size() > 1) Bad(args[1], "one argument too many; expected --version alone");
            std::printf("zeprix %s\n", shell::kVersion);
            return Request{};
        }
        if (command == "decompress") return DecompressRequest(args);
        if (command == "check-pi") return CheckPiRequest(args);
        if (command == "resume") return ResumeRequest(args);
        return ComputeRequest(args);
    } catch (const BadArgument& b) {
        std::fprintf(stderr, "zeprix: %s: %s\n%s\n", b.argument.c_str(), b.problem.c_str(), kUsage);
        Request r;
        r.status = core::kFatalExitCode;
        return r;
    }
}

}  // namespace zeprix::app
