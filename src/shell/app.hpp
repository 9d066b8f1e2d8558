// The main routine: banner, resume road or menu, one action.
#pragma once

#include <memory>

#include "shell/constant.hpp"

namespace zeprix::shell {

// Exit status when the chosen entry or a resumed computation type is not available in
// this version: nothing was computed, which a script must be able to tell from success.
inline constexpr int kNotAvailableExitCode = 1;

// Creates the computation object of a type number (1, 2, 10, 20, 21, 30, 100); null when
// this version cannot compute that type.
std::unique_ptr<Constant> CreateConstant(long typeNumber);

// The whole program: returns the process exit status.
int ZeprixMain();

}  // namespace zeprix::shell
