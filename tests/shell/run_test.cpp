// The run: result-file header and run blocks, totals, check verdicts, chunks, clean-up.
#include <gtest/gtest.h>

#include <fstream>

#include "core/clock.hpp"
#include "core/parallel.hpp"
#include "fake_constant.hpp"
#include "shell/constant.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

void Touch(const char* name) { std::ofstream(name) << "x"; }

FakeConstant& Prepared(FakeConstant& c) {
    c.digits = 1000000;
    c.mode = 0;
    c.fftSize = 65536;
    c.compressed = 0;
    return c;
}

TEST(Run, WritesHeaderRunBlockAndTotals) {
    const int threads = core::ThreadCount();
    core::SetThreadCount(1);  // one thread: the report without a thread line
    TempWorkDir dir;
    ConsoleCapture io(" ");
    FakeConstant c;
    Prepared(c).checkVerdict = 1;
    EXPECT_EQ(c.Run(), 1);
    EXPECT_EQ(c.computeCalls, 1);

    std::string file = ReadFile("fake.txt");
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
    EXPECT_EQ(file.find("disk swapping"), std::string::npos);

    EXPECT_EQ(io.Output(), "---------------------------------------------------------------\n"
                           "Total computation time : 0.00 seconds(~ 0.00 hours)\n"
                           "Writing informations into file fake.txt\n"
                           "\n"
                           "The computation seems OK\n");

    // Several threads: the run block says how many.
    core::SetThreadCount(3);
    FakeConstant c3;
    Prepared(c3).checkVerdict = 1;
    EXPECT_EQ(c3.Run(), 1);
    EXPECT_TRUE(Contains(ReadFile("fake.txt"), "\nDuration : 0.00 seconds\nThreads : 3\n"));
    core::SetThreadCount(threads);
}

TEST(Run, CheckVerdictsAndDiskTimeLine) {
    for (long verdict : {-1L, 0L, 7L}) {
        TempWorkDir dir;
        ConsoleCapture io(" ");
        FakeConstant c;
        Prepared(c).checkVerdict = verdict;
        c.mode = 1;
        c.Run();
        const std::string out = io.Output();
        EXPECT_EQ(out.find("*** ERROR in computation ***\n") != std::string::npos, verdict == 0);
        EXPECT_EQ(out.find("The computation seems OK\n") != std::string::npos, verdict > 0);
        EXPECT_TRUE(Contains(ReadFile("fake.txt"),
                             "\n\nTime spent in disk swapping : 0 s (reading 0, writing 0)\n"));
    }
}

TEST(Run, DeletesSwapFilesUpToTheFirstGap) {
    TempWorkDir dir;
    for (const char* n : {"A000", "A001", "A003"}) Touch(n);
    ConsoleCapture io(" ");
    FakeConstant c;
    Prepared(c).Run();
    EXPECT_FALSE(fs::exists("A000"));
    EXPECT_FALSE(fs::exists("A001"));
    EXPECT_TRUE(fs::exists("A003"));
}

TEST(Run, ChunkedRunStopsThenResumedRunFinishes) {
    TempWorkDir dir;
    {
        // First run: threshold asked, Compute stops and writes the parameter file.
        ConsoleCapture io("0.5\n");
        FakeConstant c;
        Prepared(c).chunks = true;
        c.mode = 1;
        c.finishRun = 0;
        EXPECT_EQ(c.Run(), 0);
        EXPECT_EQ(c.timeThreshold, 1800);
        std::string out = io.Output();
        EXPECT_TRUE(Contains(out, "Time threshold in hours (0 if single run wanted) : \n"));
        EXPECT_TRUE(Contains(out, "Computation time of this run : "));
        EXPECT_TRUE(Contains(out, "Do not forget to continue your computation in a next run !\n"));
        EXPECT_EQ(out.find("Total computation time"), std::string::npos);
        EXPECT_EQ(out.find("seems OK"), std::string::npos);
    }
    // The stopped run keeps its result file under the temporary name only.
    EXPECT_FALSE(fs::exists("fake.txt"));
    EXPECT_TRUE(Contains(ReadFile("fake.txt.incomplete"), "Computation run information"));
    std::string param = ReadFile("ParamZeprix");
    EXPECT_EQ(param.rfind("99\n1000000.000000\n1\n65536\n0\n", 0), 0u) << param;

    {
        // Resumed run: base record read back, header not written again, file deleted.
        FILE* f = std::fopen("ParamZeprix", "r");
        long type = 0;
        ASSERT_EQ(std::fscanf(f, "%ld\n", &type), 1);
        EXPECT_EQ(type, 99);
        ConsoleCapture io("0\n");
        FakeConstant c;
        c.chunks = true;
        c.checkVerdict = 1;
        c.LoadParameters(f);
        std::fclose(f);
        EXPECT_TRUE(c.resumed);
        EXPECT_EQ(c.digits, 1000000);
        EXPECT_EQ(c.mode, 1);
        EXPECT_EQ(c.fftSize, 65536);
        EXPECT_EQ(c.Run(), 1);
        EXPECT_TRUE(Contains(io.Output(), "Total computation time : "));
    }
    EXPECT_FALSE(fs::exists("ParamZeprix"));
    EXPECT_FALSE(fs::exists("fake.txt.incomplete"));
    const std::string file = ReadFile("fake.txt");
    auto count = [&file](const char* part) {
        size_t n = 0;
        for (size_t p = file.find(part); p != std::string::npos; p = file.find(part, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("Program : Zeprix"), 1u);
    EXPECT_EQ(count("Computation run information"), 2u);
}

// Every value of the base record must be one a real resumable run writes; anything else is
// refused with the line named, and the file stays in place.
TEST(Run, ParameterRecordsAreChecked) {
    // lines 2 to 7, the refusal ("" when the record is accepted)
    const std::pair<const char*, const char*> cases[] = {
        {"1000000.000000\n1\n65536\n0\n12.500000\n0\n", ""},
        {"1000000.000000\n2\n32768\n1\n0.000000\n4096\n", ""},
        {"1000000\n1\n65536\n0\n0\n", "line 7 (length of the result file) is missing"},
        {"1000000\n1\n65536\n0\n0\n-5\n", "line 7 (length of the result file)"},
        {"1000000.000000\n1\n", "line 4 (FFT size) is missing"},
        {"", "line 2 (digits) is missing"},
        {"1e3\n1\n65536\n0\n0\n", "line 2 (digits) reads \"1e3\""},
        {"1000000.5\n1\n65536\n0\n0\n", "line 2 (digits)"},
        {"1e16\n1\n65536\n0\n0\n", "line 2 (digits)"},
        {"1000000\n0\n65536\n0\n0\n", "line 3 (mode) reads \"0\", the standard mode"},
        {"1000000\n3\n65536\n0\n0\n", "line 3 (mode) reads \"3\""},
        {"1000000\n1\n4611686018427387904\n0\n0\n",
         "line 4 (FFT size) reads \"4611686018427387904\""},
        {"1000000\n1\n131072\n0\n0\n", "line 4 (FFT size)"},  // mode 1 starts at 64 k
        {"1000000\n1\n65536\n2\n0\n", "line 5 (compressed output)"},
        {"1000000\n1\n65536\n0\n-1\n", "line 6 (time of the previous runs)"},
        {"1000000\n1\n65536\n0\nabc\n", "line 6 (time of the previous runs) reads \"abc\""},
    };
    TempWorkDir dir;
    for (const auto& [record, refusal] : cases) {
        SCOPED_TRACE(record);
        std::ofstream("ParamZeprix") << record;
        FILE* f = std::fopen("ParamZeprix", "r");
        FakeConstant c;
        if (*refusal) {
            const std::string msg = ExpectProgramExit([&] { c.LoadParameters(f); });
            EXPECT_TRUE(Contains(msg, "The parameter file \"ParamZeprix\" is damaged: " +
                                          std::string(refusal)));
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
