// The class part of a parameter file in the disk modes.
#include "series/resume_record.hpp"

#include <algorithm>

#include "core/fatal.hpp"
#include "disk/disk_record.hpp"
#include "shell/constant.hpp"

namespace zeprix::series {

std::unique_ptr<disk::DiskInt> NewDiskInt(const char* name, long size) {
    auto d = std::make_unique<disk::DiskInt>();
    d->Init(name, size);
    return d;
}

void FreeDiskInts(std::initializer_list<std::unique_ptr<disk::DiskInt>*> numbers) {
    for (std::unique_ptr<disk::DiskInt>* d : numbers)
        if (*d) {
            (*d)->Free();
            d->reset();
        }
}

void SaveResumeRecord(std::FILE* f, long state,
                      std::initializer_list<const disk::DiskInt*> numbers) {
    std::fprintf(f, "%ld\n%ld\n", state, static_cast<long>(numbers.size()));
    for (const disk::DiskInt* d : numbers) {
        std::fprintf(f, "%s\n", d->Name);
        disk::SaveDiskRecord(f, *d);
    }
}

disk::DiskInt* ResumeRecord::Find(const std::string& name) const {
    for (const auto& d : numbers)
        if (d && name == d->Name) return d.get();
    return nullptr;
}

std::unique_ptr<disk::DiskInt> ResumeRecord::Take(const std::string& name) {
    for (auto& d : numbers)
        if (d && name == d->Name) return std::move(d);
    return nullptr;
}

void RefuseResume(const std::string& why) {
    core::UserError("The parameter file \"" + std::string(shell::kParamFileName) +
                    "\" cannot be resumed: " + why +
                    ".\nThe files are left in place: delete the parameter file to start a new "
                    "computation.");
}

ResumeRecord LoadNumbers(std::FILE* f, long state, std::initializer_list<const char*> names,
                         long limbs) {
    ResumeRecord r;
    r.state = state;
    long count = 0;
    if (std::fscanf(f, "%ld", &count) != 1 || count < 1 || count > static_cast<long>(names.size()))
        RefuseResume("the count of its disk integers is missing or impossible");
    for (long k = 0; k < count; ++k) {
        char name[20] = {};
        if (std::fscanf(f, "%19s", name) != 1 ||
            std::none_of(names.begin(), names.end(),
                         [&](const char* n) { return std::string(n) == name; }) ||
            r.Find(name))
            RefuseResume("it names no disk integer of this computation where one belongs");
        auto d = std::make_unique<disk::DiskInt>();
        d->Init(name, limbs);
        const std::string why = disk::LoadDiskRecord(f, *d);
        if (!why.empty()) RefuseResume(why);
        r.numbers.push_back(std::move(d));
    }
    return r;
}

}  // namespace zeprix::series
