// The elapsed-time clock and the calendar date of the reports.
#pragma once

#include <string>

namespace zeprix::core {

// Seconds of wall time since the program started, from a monotonic clock (never the
// processor time: a computation waiting on the disk must still count).
double ElapsedSeconds();
// Current local date and time as ctime() text (ends in a newline).
std::string DateText();

}  // namespace zeprix::core
