// Entry point of the zeprix executable.
#include "shell/app.hpp"

int main() { return zeprix::shell::ZeprixMain(); }
