// The main routine: banner, resume road or menu, one action; or the command line's action.
#pragma once

#include <memory>

#include "shell/constant.hpp"

namespace zeprix::app {

// Creates the computation object of a type number (1, 2, 10, 20, 21); null when this
// version cannot compute that type.
std::unique_ptr<shell::Constant> CreateConstant(long typeNumber);

// The whole program: returns the process exit status. Without arguments (argc 1) the menu
// program; with arguments the one action they name (see command_line.hpp). Every early end
// (fatal error, end of input, refused file) arrives here as core::ProgramExit and becomes
// its status.
int ZeprixMain(int argc, const char* const* argv);

}  // namespace zeprix::app
