// Process-wide time counters of disk transfers, reported in each run block.
#include "disk/disk_times.hpp"

namespace zeprix::disk {

double gDiskReadTime = 0;
double gDiskWriteTime = 0;

}  // namespace zeprix::disk
