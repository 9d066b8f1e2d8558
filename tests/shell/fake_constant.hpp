// A test-only constant that drives the framework without computing anything.
#pragma once

#include <cstdio>
#include <string>

#include "core/console.hpp"
#include "fft/fft_state.hpp"
#include "shell/constant.hpp"

namespace zeprix::test {

class FakeConstant : public shell::Constant {
public:
    long checkVerdict = -1;  // what Check returns
    long finishRun = 1;      // what Compute returns
    bool chunks = false;     // ChunksEnabled
    bool diskModes = true;   // DiskModesAvailable
    int computeCalls = 0;

    long Compute() override {
        ++computeCalls;
        if (!finishRun) shell::SaveParameterFile(*this);
        return finishRun;
    }
    long TypeNumber() const override { return 99; }
    std::string GetName() const override { return "Fake"; }
    std::string GetFileName() const override { return "fake.txt"; }
    void WriteMethod(FILE* f) const override { std::fprintf(f, "Method used : none\n"); }
    void EstimateMemory(double F, double& memory, double& disk) const override {
        memory = fft::FFTMemory(F);
        disk = digits * 2 / 1024;
    }
    long Check() override { return checkVerdict; }
    long DiskModesAvailable() const override { return diskModes ? 1 : 0; }
    long ChunksEnabled() const override { return chunks ? 1 : 0; }
    bool ModeRunnable(long m) const override { return diskModesRun || m == 0; }
    bool diskModesRun = true;  // ModeRunnable for modes 1 and 2
};

}  // namespace zeprix::test
