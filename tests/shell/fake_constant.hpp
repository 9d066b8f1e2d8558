// A test-only constant that drives the framework without computing anything.
#pragma once

#include <cstdio>
#include <string>

#include "shell/console.hpp"
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
        memory = shell::FFTMemory(F);
        disk = digits * 2 / 1024;
    }
    long Check() override { return checkVerdict; }
    long DiskModesAvailable() const override { return diskModes ? 1 : 0; }
    long ChunksEnabled() const override { return chunks ? 1 : 0; }
};

// Redirects the console to an input text and captures what is printed.
class ConsoleCapture {
public:
    explicit ConsoleCapture(const std::string& input) : input_(input) {
        in_ = fmemopen(input_.data(), input_.size(), "r");
        out_ = open_memstream(&buf_, &len_);
        shell::SetConsole(in_, out_);
    }
    ~ConsoleCapture() {
        shell::SetConsole(nullptr, nullptr);
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
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
    char* buf_ = nullptr;
    size_t len_ = 0;
};

}  // namespace zeprix::test
