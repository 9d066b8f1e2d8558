// Fatal-error routines, the exit hooks and the signal handlers.
#include "core/fatal.hpp"

#include <csignal>
#include <cstdio>

#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "core/parallel.hpp"

namespace zeprix::core {

namespace {

const char* const kMaintainer = "zeprix-bugs@users.noreply.zeprix.org";

void WriteText(FILE* f, std::string_view s) { std::fwrite(s.data(), 1, s.size(), f); }

// Exit hooks live in a fixed table so that a signal handler can walk it without locks or
// allocation; a slot with fn == nullptr is free.
struct HookSlot {
    ExitHook fn = nullptr;
    void* arg = nullptr;
};
constexpr int kMaxHooks = 16;
HookSlot gHooks[kMaxHooks];
volatile std::sig_atomic_t gHooksRunning = 0;

void RunExitHooks() {
    if (gHooksRunning) return;
    gHooksRunning = 1;
    for (int i = kMaxHooks - 1; i >= 0; --i) {
        ExitHook fn = gHooks[i].fn;
        if (fn) fn(gHooks[i].arg);
    }
    gHooksRunning = 0;
}

// While another thread of a parallel call reports its error, this one only stops: the
// console and the log show the operation that failed first, once.
void StopQuietlyIfAnotherThreadFailed(std::string_view msg) {
    if (RequestStop()) throw ProgramExit(kFatalExitCode, std::string(msg));
}

extern "C" void OnEndingSignal(int sig) {
    RunExitHooks();
    // End with the signal's own status, as the default action would.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

int OnProgramExit(ExitHook fn, void* arg) {
    for (int i = 0; i < kMaxHooks; ++i) {
        if (!gHooks[i].fn) {
            gHooks[i].arg = arg;
            gHooks[i].fn = fn;
            return i;
        }
    }
    FatalError("Error, too many exit hooks");
}

void RemoveExitHook(int id) {
    if (id >= 0 && id < kMaxHooks) gHooks[id].fn = nullptr;
}

void InstallSignalHandlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, OnEndingSignal);
    std::signal(SIGXFSZ, SIG_IGN);
}

void ExitProgram(int status, std::string_view message) {
    RunExitHooks();
    throw ProgramExit(status, std::string(message));
}

void LoggedFatalError(std::string_view msg, long exitAfter) {
    // A fault inside the error path itself must not loop: the second one just ends.
    thread_local bool inside = false;
    if (inside) ExitProgram(kFatalExitCode, msg);
    if (exitAfter) StopQuietlyIfAnotherThreadFailed(msg);
    inside = true;

    FILE* out = ConsoleOut();
    WriteText(out, "\n");
    WriteText(out, msg);
    WriteText(out, "\n");
    if (WriteDebugLog(msg)) {
        std::fprintf(out, "An error was encountered, please send the Zeprix.log file to\n");
        std::fprintf(out, "%s (non overclocked processors only !)\n\n", kMaintainer);
    } else {
        std::fprintf(out,
                     "An internal error was encountered, and the debug log Zeprix.log could not\n"
                     "be written here. Please report the message above to\n%s\n\n",
                     kMaintainer);
    }
    std::fflush(out);
    inside = false;
    if (exitAfter) ExitProgram(kFatalExitCode, msg);
}

void FatalError(std::string_view msg) {
    LoggedFatalError(msg, 1);
    ExitProgram(kFatalExitCode, msg);  // not reached
}

void SimpleFatalError(std::string_view msg) {
    StopQuietlyIfAnotherThreadFailed(msg);
    FILE* out = ConsoleOut();
    std::fprintf(out, "ERROR occured. The error is :\n");
    WriteText(out, msg);
    std::fprintf(out, "\n");
    std::fflush(out);
    ExitProgram(kFatalExitCode, msg);
}

void UserError(std::string_view msg) {
    StopQuietlyIfAnotherThreadFailed(msg);
    FILE* out = ConsoleOut();
    WriteText(out, "\n");
    WriteText(out, msg);
    WriteText(out, "\n");
    std::fflush(out);
    ExitProgram(kFatalExitCode, msg);
}

}  // namespace zeprix::core
