// Running the program's command line as a child process, and a result file's text without
// what changes from one run to the next.
#pragma once

#include <sstream>
#include <string>

#include "support/test_support.hpp"

namespace zeprix::test {

// Runs zeprix with the blank-separated `args` in the current directory, standard input
// empty (a question read from it would end the run with "End of input"), standard error
// apart. threads: null keeps the environment's ZEPRIX_THREADS, "" removes it, else sets it.
inline ProgramRun RunCommand(const std::string& args, const char* threads = nullptr) {
    RunOptions o{.threads = threads, .apartErr = true};
    std::istringstream in(args);
    for (std::string w; in >> w;) o.args.push_back(w);
    return RunProgram(ZEPRIX_EXE, "", o);
}

// A result file without the lines that hold times and dates, the memory estimate (it
// grows with the threads' scratch space) and the thread count.
inline std::string Timeless(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Start :") || line.starts_with("End   :") ||
            line.starts_with("Duration :") || line.starts_with("Total computation time") ||
            line.starts_with("Time spent in disk swapping") ||
            line.starts_with("Physical memory used") || line.starts_with("Threads :"))
            continue;
        out += line + '\n';
    }
    return out;
}

}  // namespace zeprix::test
