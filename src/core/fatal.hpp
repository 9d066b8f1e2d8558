// How the program ends early: internal fatal errors (with the debug log), errors of the user
// or the machine (a message, no log), and the exception that carries the exit status.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zeprix::core {

// Exit status of every fatal error, of a refused input file and of an end of input inside a
// dialogue. It is nonzero so that a script driving the program can never mistake a failed
// run for a finished one.
inline constexpr int kFatalExitCode = 2;
// Exit status when the chosen entry or a resumed computation is not available in this
// version: nothing was computed, which a script must be able to tell from success.
inline constexpr int kNotAvailableExitCode = 1;

// Thrown by every path that ends the program early. Library code never calls exit: the
// entry point catches this and returns status(), so destructors run on the way out (a
// result file being written is removed, not left looking complete) and tests can observe
// a fatal error in-process.
class ProgramExit : public std::runtime_error {
public:
    ProgramExit(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// Runs the exit hooks (see OnProgramExit) and throws ProgramExit(status, message).
[[noreturn]] void ExitProgram(int status, std::string_view message = {});

// The common internal error: LoggedFatalError(msg, 1).
[[noreturn]] void FatalError(std::string_view msg);

// An internal error: prints msg and the request to send the log, writes "Zeprix.log" (copy
// of the log source file, the message, the date and the registered debug sections) and,
// when exitAfter is nonzero, ends the program with kFatalExitCode. The message is written
// literally, never as a format. Where no log can be written, the console says so instead
// of asking for a file that does not exist.
void LoggedFatalError(std::string_view msg, long exitAfter);

// Prints "ERROR occured. The error is :" and msg; writes no log.
[[noreturn]] void SimpleFatalError(std::string_view msg);

// An error of the user's input or of the machine (a bad input file, a directory that
// cannot be written, a full disk): prints msg, which says what went wrong and what to do,
// and ends with kFatalExitCode. No log: there is nothing for the maintainer to see.
[[noreturn]] void UserError(std::string_view msg);

// Registers fn to run when the program ends early through ExitProgram or a signal that
// ends it (see InstallSignalHandlers); the last registered runs first. fn must be
// async-signal-safe. Returns an id for RemoveExitHook.
using ExitHook = void (*)(void* arg);
int OnProgramExit(ExitHook fn, void* arg);
void RemoveExitHook(int id);

// SIGINT, SIGTERM, SIGHUP and SIGPIPE run the exit hooks and end the process with status
// 128 + signal; SIGXFSZ is ignored so that a write past the file-size limit fails with an
// error the writer reports, instead of killing the process silently.
void InstallSignalHandlers();

}  // namespace zeprix::core
