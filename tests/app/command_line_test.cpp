// The command line against the menu: each command gives the files the menu gives for the
// same answers, reads nothing from standard input, and bad arguments write nothing.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "app/child_run.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "Usage: zeprix [CONSTANT DIGITS | decompress NAME | check-pi [INDEX] | resume] [OPTIONS]\n";

std::set<std::string> Listing(const fs::path& dir = ".") {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Runs the menu with each of `inputs` in directory `dir` (created), and returns `file`
// from there.
std::string MenuResult(const std::string& dir, const std::vector<std::string>& inputs,
                       const std::string& file) {
    fs::create_directory(dir);
    fs::current_path(dir);
    for (const std::string& input : inputs) EXPECT_EQ(RunProgram(ZEPRIX_EXE, input).status, 0);
    fs::current_path("..");
    return ReadFile(fs::path(dir) / file);
}

TEST(CommandLine, ComputationsWriteWhatTheMenuWrites) {
    TempWorkDir dir;
    fs::copy_file(fs::path(ZEPRIX_SOURCE_DIR) / "examples" / "ln2.zeprix", "ln2.zeprix");
    // arguments, the menu's answers, result file
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"pi 20000", "0\n0\n20000\n2\n0\n", "pi.txt"},
        {"pi-ramanujan 20k --fft 1", "1\n0\n20k\n1\n0\n", "pi.txt"},
        {"e 20000 --mode=1 --fft 1", "2\n1\n20000\n1\n0\n0\n", "e.txt"},
        {"e-inverse 30000 --mode 2", "3\n2\n30000\n1\n0\n0\n", "e.txt"},
        {"sqrt2 20000 --mode 1 --compressed", "4\n1\n20000\n1\n1\n", "sqrt2.txt"},
        {"ln2 20000", "6\n../ln2.zeprix\n20000\n2\n0\n", "ln2.txt"},
    };
    for (const auto& [args, input, file] : cases) {
        SCOPED_TRACE(args);
        const std::string menu = MenuResult("menu", {input}, file);
        fs::create_directory("cli");
        // From the parent directory: --output puts every file into cli/.
        const std::set<std::string> before = Listing();
        const ProgramRun r = RunCommand(args + std::string(" --output cli"));
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Listing(), before);
        EXPECT_EQ(Listing("cli"), Listing("menu"));
        for (const std::string& f : Listing("cli"))  // the compressed files, to the byte
            EXPECT_TRUE(f == file || ReadFile("cli/" + f) == ReadFile("menu/" + f)) << f;
        EXPECT_FALSE(menu.empty());
        EXPECT_TRUE(SameText(Timeless(ReadFile(fs::path("cli") / file)), Timeless(menu)));
        fs::remove_all("cli");
        fs::remove_all("menu");
    }
}

TEST(CommandLine, DecompressAndCheckPiAnswerTheDialogues) {
    TempWorkDir dir;
    ASSERT_EQ(RunCommand("pi 20000 --compressed").status, 0);
    // arguments, the menu's answers after the choice of Pi, its output file
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"decompress Pi --output a.txt", "1\nm.txt\n0\n0\n", "a.txt"},
        {"decompress pi --range 101:200 --output b.txt", "1\nm.txt\n1\n100\n200\n0\n", "b.txt"},
        {"decompress Pi --every 10:1k --output c.txt", "1\nm.txt\n2\n10\n1000\n0\n", "c.txt"},
    };
    for (const auto& [args, input, file] : cases) {
        SCOPED_TRACE(args);
        ASSERT_EQ(RunProgram(ZEPRIX_EXE, "7\n0\n" + std::string(input)).status, 0);
        const ProgramRun r = RunCommand(args);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(SameText(ReadFile(file), ReadFile("m.txt")));
        EXPECT_TRUE(ReadFile(file).size() > 100);
    }
    // To standard output: the digits alone, the dialogue on standard error.
    const ProgramRun all = RunCommand("decompress Pi");
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_TRUE(SameText(all.out, ReadFile("a.txt")));
    EXPECT_TRUE(Contains(all.err, "Decompressing Pi file"));

    const ProgramRun check = RunCommand("check-pi 10000");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_TRUE(Contains(check.out, "The first 9972 digits of the Pi computation are good\n"));
    EXPECT_TRUE(Contains(RunCommand("check-pi").out, "The first 19872 digits of the Pi"));
}

TEST(CommandLine, ResumeContinuesAChunkedRunAsTheMenuDoes) {
    TempWorkDir dir;
    // -1 stops once, right after the series.
    const std::string menu = MenuResult("menu", {"0\n1\n20000\n1\n0\n-1\n", "0\n"}, "pi.txt");
    fs::create_directory("cli");
    fs::current_path("cli");
    ASSERT_EQ(RunCommand("pi 20000 --mode 1 --chunk -1").status, 0);
    ASSERT_TRUE(fs::exists("ParamZeprix") && !fs::exists("pi.txt"));
    // A new computation would write over the waiting one's files.
    const ProgramRun refused = RunCommand("e 20000 --mode 1");
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Contains(refused.err, "zeprix: ParamZeprix: a chunked computation waits"));

    const ProgramRun resumed = RunCommand("resume");
    EXPECT_EQ(resumed.status, 0) << resumed.out;
    EXPECT_TRUE(Contains(resumed.out, "Time threshold in hours (0 if single run wanted) : 0\n"));
    EXPECT_TRUE(SameText(Timeless(ReadFile("pi.txt")), Timeless(menu)));
    EXPECT_EQ(Listing(), std::set<std::string>{"pi.txt"});

    const ProgramRun nothing = RunCommand("resume");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(Contains(nothing.err, "there is no \"ParamZeprix\" in the working directory"));
}

TEST(CommandLine, BadArgumentsAreNamedAndWriteNothing) {
    TempWorkDir dir;
    ASSERT_EQ(RunCommand("pi 10000 --compressed").status, 0);  // for decompress and check-pi
    std::ofstream("bad.zeprix") << "no constant here\n";
    fs::copy_file(fs::path(ZEPRIX_SOURCE_DIR) / "examples" / "ln2.zeprix", "ln2.zeprix");
    fs::remove("pi.txt");
    const std::set<std::string> files = Listing();
    // arguments, the start of the message line after "zeprix: "
    const std::tuple<const char*, const char*> cases[] = {
        {"--mode 1", "CONSTANT DIGITS: missing"},
        {"pi", "pi: the number of digits is missing"},
        {"tau 20000", "tau: not a constant"},
        {"pi 9999", "9999: too few digits"},
        {"pi 20000 extra", "extra: one argument too many"},
        {"pi 20000 --mode 3", "--mode 3: expected 0"},
        {"pi 20000 --mode 2", "--mode 2: no FFT size of this mode suits 20000 digits"},
        {"pi 20000 --fft 4", "--fft 4: not an FFT size of the table for 20000 digits in mode 0; "
                             "expected one of 2, 1"},
        {"pi 20000 --chunk 1", "--chunk 1: a time threshold goes only with modes 1 and 2"},
        {"e 20000 --mode 1 --chunk soon", "--chunk soon: not a number"},
        {"pi 20000 --colour", "--colour: unknown option"},
        {"pi 20000 --output nowhere", "--output nowhere: not a directory"},
        {"bad.zeprix 20000", "bad.zeprix: not a constant definition"},
        {"ln2 20000 --mode 1", "--mode 1: a constant of a .zeprix file is computed in memory"},
        {"missing.zeprix 20000", "missing.zeprix: no such file"},
        {"decompress", "decompress: the name of the result is missing"},
        {"decompress E", "E: no compressed result of that name here"},
        {"decompress Pi --range 200:100", "--range 200:100: expected FIRST:LAST with 1 <="},
        {"decompress Pi --output Pi-00", "--output Pi-00: a file of the compressed result"},
        {"check-pi 35", "35: leaves no digit to check"},
        {"resume --chunk", "--chunk: its value is missing"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const ProgramRun r = RunCommand(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("zeprix: " + std::string(message))) << r.err;
        EXPECT_TRUE(r.err.ends_with(kUsage) &&
                    r.err.find('\n') + 1 + std::strlen(kUsage) == r.err.size())
            << r.err;
        EXPECT_EQ(Listing(), files);
    }

    const ProgramRun help = RunCommand("pi --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(kUsage) && Contains(help.out, "Exit status: 0 done;"));
    const ProgramRun version = RunCommand("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zeprix 4.3 (fix 1)\n");
    EXPECT_EQ(Listing(), files);
}

}  // namespace
}  // namespace zeprix::test
