// The record of a disk integer that a resumable computation keeps in its parameter file:
// where the number stands in its files, and enough to tell whether the files still hold it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "disk/disk_int.hpp"

namespace zeprix::disk {

// A 64-bit checksum of limbs 0 .. _N - 1 of d (their bit patterns, in order), read in
// blocks. Any change of one limb, of the order of two limbs or of the length changes it
// except with probability about 2^-64.
std::uint64_t Checksum(const DiskInt& d);

// Writes d's record: the header (_N, Shift and Offset, one "%ld\n" line each), then one
// line "%016llx\n" with the checksum of the limbs in use.
void SaveDiskRecord(std::FILE* f, const DiskInt& d);

// Reads a record written by SaveDiskRecord into d (named and sized by the caller) and
// checks it against the files: "" when they hold the number the record describes,
// otherwise why not (a value missing or impossible, a file missing or too short, limbs
// that changed since the record was written). The files are only read.
std::string LoadDiskRecord(std::FILE* f, DiskInt& d);

}  // namespace zeprix::disk
