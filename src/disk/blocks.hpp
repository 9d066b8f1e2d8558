// Helpers of the disk block loops: the carry of one limb, and the work buffer lent to the
// loops for a while.
#pragma once

#include "disk/disk_int.hpp"

namespace zeprix::disk {

// t brought into [0, 10^12) and its carry returned: -1, 0 or +1 for canonical operands
// (two steps only for a short negative top limb, which lies in [-10^12, 0), or where a
// negative -1 top meets a borrow).
inline double NormaliseLimb(double& t) {
    constexpr double kBase = 1e12;
    double c = 0.0;
    while (t < 0.0) {
        t += kBase;
        c -= 1.0;
    }
    while (t >= kBase) {
        t -= kBase;
        c += 1.0;
    }
    return c;
}

// Lends the disk work buffer to the block loops for the life of the object.
struct LendWorkBuffer {
    LendWorkBuffer() {
        DiskMemory& m = Memory();
        m.lent = m.work.data();
        m.lentSize = m.workSize;
    }
    ~LendWorkBuffer() {
        Memory().lent = nullptr;
        Memory().lentSize = 0;
    }
    LendWorkBuffer(const LendWorkBuffer&) = delete;
    LendWorkBuffer& operator=(const LendWorkBuffer&) = delete;
};

}  // namespace zeprix::disk
