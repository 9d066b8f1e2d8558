// The class part of a parameter file in the disk modes: the state of the computation and
// the disk integers it refers to, each with its name and record (header and checksum).
#pragma once

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "disk/disk_int.hpp"

namespace zeprix::series {

// A disk integer with its own name and capacity (no file touched yet).
std::unique_ptr<disk::DiskInt> NewDiskInt(const char* name, long size);
// Deletes the files of the numbers that are set and drops them.
void FreeDiskInts(std::initializer_list<std::unique_ptr<disk::DiskInt>*> numbers);

// Writes "%ld\n" state, "%ld\n" count, then for each number its name on a line and its
// record.
void SaveResumeRecord(std::FILE* f, long state,
                      std::initializer_list<const disk::DiskInt*> numbers);

// Reads what SaveResumeRecord wrote: the state (which validState must accept), then each
// number, whose name must be one of `names`, sized `limbs`, checked against its files. A
// record that cannot be resumed ends the program with a message saying why; the files
// are left in place.
struct ResumeRecord {
    long state = 0;
    std::vector<std::unique_ptr<disk::DiskInt>> numbers;
    // The number of that name, or null.
    disk::DiskInt* Find(const std::string& name) const;
    // Hands over the number of that name (null when the record has none).
    std::unique_ptr<disk::DiskInt> Take(const std::string& name);
};
template <class ValidState>
ResumeRecord LoadResumeRecord(std::FILE* f, ValidState validState,
                              std::initializer_list<const char*> names, long limbs);

// The non-template part of LoadResumeRecord.
[[noreturn]] void RefuseResume(const std::string& why);
ResumeRecord LoadNumbers(std::FILE* f, long state, std::initializer_list<const char*> names,
                         long limbs);

template <class ValidState>
ResumeRecord LoadResumeRecord(std::FILE* f, ValidState validState,
                              std::initializer_list<const char*> names, long limbs) {
    long state = 0;
    if (std::fscanf(f, "%ld", &state) != 1 || !validState(state))
        RefuseResume("its series state is missing or impossible");
    return LoadNumbers(f, state, names, limbs);
}

}  // namespace zeprix::series
