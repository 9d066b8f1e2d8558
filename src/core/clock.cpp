// The elapsed-time clock and the calendar date of the reports.
#include "core/clock.hpp"

#include <chrono>
#include <ctime>

namespace zeprix::core {

namespace {
const auto kProgramStart = std::chrono::steady_clock::now();
}  // namespace

double ElapsedSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now() - kProgramStart).count();
}

std::string DateText() {
    std::time_t t = std::time(nullptr);
    char buf[64];
    // ctime_r: the same text as ctime(), ending in a newline.
    if (!ctime_r(&t, buf)) return "unknown date\n";
    return buf;
}

}  // namespace zeprix::core
