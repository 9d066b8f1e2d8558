// Process-wide time counters of disk transfers, reported in each run block.
#pragma once

namespace zeprix::disk {

// Seconds spent reading and writing disk-resident numbers in the current run.
extern double gDiskReadTime;
extern double gDiskWriteTime;

}  // namespace zeprix::disk
