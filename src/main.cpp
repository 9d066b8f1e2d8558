// Entry point of the zeprix executable.
#include "app/app.hpp"

int main() { return zeprix::app::ZeprixMain(); }
