// The main routine: banner, resume road or menu, one action.
#pragma once

#include <memory>

#include "shell/constant.hpp"

namespace zeprix::app {

// Creates the computation object of a type number (1, 2, 10, 20, 21); null when this
// version cannot compute that type.
std::unique_ptr<shell::Constant> CreateConstant(long typeNumber);

// The whole program: returns the process exit status. Every early end (fatal error, end of
// input, refused file) arrives here as core::ProgramExit and becomes its status.
int ZeprixMain();

}  // namespace zeprix::app
