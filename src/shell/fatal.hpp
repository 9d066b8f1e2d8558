// Fatal-error routines: print, write the debug log "Zeprix.log", end with a nonzero status.
#pragma once

#include <string_view>

namespace zeprix::shell {

// Exit status of every fatal error (and of an end of input inside a dialogue). It is
// nonzero so that a script driving the program can never mistake a failed run for a
// finished one.
inline constexpr int kFatalExitCode = 2;

// The common fatal error: LoggedFatalError(msg, 1).
[[noreturn]] void FatalError(std::string_view msg);

// Prints msg, writes "Zeprix.log" (copy of the current result file, the message, the
// date and the debug groups whose switches are on) and, when exitAfter is nonzero, ends
// the program with kFatalExitCode. The message is written literally, never as a format.
void LoggedFatalError(std::string_view msg, long exitAfter);

// The Chinese-remainder error: the full log, then NCRT, the alpha values and m.
[[noreturn]] void CRTFatalError(std::string_view msg, double m, const double* alpha);

// Prints "ERROR occured. The error is :" and msg; writes no log.
[[noreturn]] void SimpleFatalError(std::string_view msg);

}  // namespace zeprix::shell
