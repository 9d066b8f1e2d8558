// The command line: one action named by the arguments, checked in full before anything
// starts, then run by the menu's own routines with the arguments as their dialogue's answers.
#pragma once

#include <string>
#include <vector>

namespace zeprix::app {

// What the arguments ask for, once every one of them is checked.
struct Request {
    enum class Action {
        kExit,         // nothing to run: help, version or bad arguments, with `status`
        kCompute,      // menu entries 0 to 4: the constant of `typeNumber`
        kComputeFile,  // menu entry 6: a constant defined in a .zeprix file
        kDecompress,   // menu entry 7
        kCheckPi,      // menu entry 8
        kResume,       // the resume road of "ParamZeprix"
    };
    Action action = Action::kExit;
    int status = 0;
    long typeNumber = 0;
    // The directory the run works in ("" for the working directory).
    std::string directory;
    // The answers of the action's dialogue, in the order it asks its questions.
    std::vector<std::string> answers;
    // Decompression to standard output: the digits alone go there, the dialogue and the
    // messages to standard error.
    bool digitsToStandardOutput = false;
};

// Reads the arguments (without the program name). Help and version are printed here, and
// so is a bad argument: one line naming it and what was expected, then the usage line on
// standard error, status kFatalExitCode. A damaged compressed result ends the program here
// through the fatal path (core::ProgramExit). Nothing is ever written.
Request ReadCommandLine(const std::vector<std::string>& args);

}  // namespace zeprix::app
