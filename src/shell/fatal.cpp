// Fatal-error routines (provisional: full debug log comes with the shell).
#include "shell/fatal.hpp"

#include <cstdio>
#include <cstdlib>

namespace zeprix::shell {

void LoggedFatalError(std::string_view msg, long exitAfter) {
    std::fprintf(stdout, "\n%.*s\n", static_cast<int>(msg.size()), msg.data());
    std::fflush(stdout);
    if (exitAfter) std::exit(kFatalExitCode);
}

void FatalError(std::string_view msg) {
    LoggedFatalError(msg, 1);
    std::exit(kFatalExitCode);
}

void CRTFatalError(std::string_view msg, double, const double*) { FatalError(msg); }

void SimpleFatalError(std::string_view msg) {
    std::fprintf(stdout, "ERROR occured. The error is :\n%.*s\n", static_cast<int>(msg.size()),
                 msg.data());
    std::fflush(stdout);
    std::exit(kFatalExitCode);
}

}  // namespace zeprix::shell
