// Entry point of the zeprix executable.
#include "app/app.hpp"

int main(int argc, char** argv) { return zeprix::app::ZeprixMain(argc, argv); }
