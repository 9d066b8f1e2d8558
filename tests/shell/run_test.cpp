// The run: result-file header and run blocks, totals, check verdicts, chunks, clean-up.
#include <gtest/gtest.h>

#include <fstream>

#include "fake_constant.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

FakeConstant& Prepared(FakeConstant& c, long verdict = -1, long mode = 0) {
    c.digits = 1000000;
    c.mode = mode;
    c.fftSize = 65536;
    c.compressed = 0;
    c.checkVerdict = verdict;
    return c;
}

TEST(Run, WritesHeaderRunBlockAndTotals) {
    ThreadCountRestored restore;
    core::SetThreadCount(1);  // one thread: the report without a thread line
    TempWorkDir dir;
    ConsoleCapture io(" ");
    FakeConstant c;
    EXPECT_EQ(Prepared(c, 1).Run(), 1);
    EXPECT_EQ(c.computeCalls, 1);
    const std::string file = ReadFile("fake.txt");
    EXPECT_TRUE(file.starts_with("Program : Zeprix version 4.3 (fix 1), by Olmarek\n"
                                 "Computation of 1000000 digits of Fake\n"
                                 "Method used : none\n"
                                 "Size of FFT : 64 K\n"
                                 "Physical memory used : ~ 2612 K\n"
                                 "Disk memory used : ~ 1.91 Meg\n"
                                 "------------------------------------------------------------\n"
                                 "Computation run information :\n\n"
                                 "Start : "))
        << file;
    EXPECT_TRUE(Contains(file, "\nEnd   : "));
    EXPECT_TRUE(Contains(file, "\nDuration : 0.00 seconds\n"
                               "============================================================\n"
                               "Total computation time : 0.00 seconds (~ 0.00 hours)\n"
                               "============================================================\n"));
    EXPECT_FALSE(Contains(file, "disk swapping"));
    EXPECT_EQ(io.Output(), "---------------------------------------------------------------\n"
                           "Total computation time : 0.00 seconds(~ 0.00 hours)\n"
                           "Writing informations into file fake.txt\n"
                           "\n"
                           "The computation seems OK\n");
    core::SetThreadCount(3);  // several threads: the run block says how many
    FakeConstant c3;
    EXPECT_EQ(Prepared(c3, 1).Run(), 1);
    EXPECT_TRUE(Contains(ReadFile("fake.txt"), "\nDuration : 0.00 seconds\nThreads : 3\n"));
}

// The verdicts of the check; the disk time line of the disk modes; the swap files of a
// disk mode deleted up to the first gap in their numbers.
TEST(Run, CheckVerdictsDiskTimeAndSwapFiles) {
    for (long verdict : {-1L, 0L, 7L}) {
        TempWorkDir dir;
        for (const char* n : {"A000", "A001", "A003"}) std::ofstream(n) << "x";
        ConsoleCapture io(" ");
        FakeConstant c;
        Prepared(c, verdict, 1).Run();
        const std::string out = io.Output();
        EXPECT_EQ(Contains(out, "*** ERROR in computation ***\n"), verdict == 0);
        EXPECT_EQ(Contains(out, "The computation seems OK\n"), verdict > 0);
        EXPECT_TRUE(Contains(ReadFile("fake.txt"),
                             "\n\nTime spent in disk swapping : 0 s (reading 0, writing 0)\n"));
        EXPECT_TRUE(!fs::exists("A000") && !fs::exists("A001") && fs::exists("A003"));
    }
}

// A run that stops asks for the time threshold, keeps its result file under the temporary
// name and writes the base record. (Resumed runs: the chunked runs of the real constants in
// the program tests, and the command line's resume.)
TEST(Run, ChunkedRunStops) {
    TempWorkDir dir;
    ConsoleCapture io("0.5\n");
    FakeConstant c;
    Prepared(c, -1, 1).chunks = true;
    c.finishRun = 0;
    EXPECT_EQ(c.Run(), 0);
    EXPECT_EQ(c.timeThreshold, 1800);
    const std::string out = io.Output();
    EXPECT_TRUE(Contains(out, "Time threshold in hours (0 if single run wanted) : \n"));
    EXPECT_TRUE(Contains(out, "Do not forget to continue your computation in a next run !\n"));
    EXPECT_FALSE(Contains(out, "Total computation time") || Contains(out, "seems OK"));
    EXPECT_FALSE(fs::exists("fake.txt"));
    EXPECT_TRUE(Contains(ReadFile("fake.txt.incomplete"), "Computation run information"));
    EXPECT_TRUE(ReadFile("ParamZeprix").starts_with("99\n1000000.000000\n1\n65536\n0\n"));
}

// Every value of the base record must be one a real resumable run writes; anything else is
// refused with the line named, and the file stays in place.
TEST(Run, ParameterRecordsAreChecked) {
    // lines 2 to 7, the refusal ("" when the record is accepted)
    const std::pair<const char*, const char*> cases[] = {
        {"1000000.000000\n1\n65536\n0\n12.500000\n0\n", ""},
        {"1000000.000000\n2\n32768\n1\n0.000000\n4096\n", ""},
        {"1000000\n1\n65536\n0\n0\n", "line 7 (length of the result file) is missing"},
        {"", "line 2 (digits) is missing"},
        {"1e3\n1\n65536\n0\n0\n", "line 2 (digits) reads \"1e3\""},
        {"1000000\n0\n65536\n0\n0\n", "line 3 (mode) reads \"0\", the standard mode"},
        {"1000000\n1\n4611686018427387904\n0\n0\n",
         "line 4 (FFT size) reads \"4611686018427387904\""},
        {"1000000\n1\n65536\n2\n0\n", "line 5 (compressed output)"},
        {"1000000\n1\n65536\n0\nabc\n", "line 6 (time of the previous runs) reads \"abc\""},
    };
    TempWorkDir dir;
    for (const auto& [record, refusal] : cases) {
        SCOPED_TRACE(record);
        std::ofstream("ParamZeprix") << record;
        FILE* f = std::fopen("ParamZeprix", "r");
        FakeConstant c;
        if (*refusal) {
            EXPECT_TRUE(
                Contains(ExpectProgramExit([&] { c.LoadParameters(f); }),
                         "The parameter file \"ParamZeprix\" is damaged: " + std::string(refusal)));
        } else {
            ConsoleCapture io("");
            c.LoadParameters(f);
            EXPECT_EQ(c.digits, 1e6);
        }
        std::fclose(f);
        EXPECT_EQ(ReadFile("ParamZeprix"), record);
    }
}

}  // namespace
}  // namespace zeprix::test
