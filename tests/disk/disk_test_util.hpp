// Helpers of the disk tests: DiskInts from and to limb vectors and GMP values.
#pragma once

#include <vector>

#include "disk/disk_int.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {

// d = the limbs (least significant first), _N = their count; capacity `size` (at least
// the count) and Shift `shift`.
inline void PutLimbs(disk::DiskInt& d, const char* name, const std::vector<double>& limbs,
                     long size = 0, long shift = 0) {
    const long n = static_cast<long>(limbs.size());
    d.Init(name, size > n ? size : n);
    disk::WriteLimbs(d, limbs.data(), n, 0);
    d._N = n;
    d.Shift = shift;
}

inline std::vector<double> GetLimbs(disk::DiskInt& d) {
    std::vector<double> v(static_cast<std::size_t>(d._N));
    d.WriteBuffer(v.data(), d._N, 0);
    return v;
}

// The mantissa (Shift ignored) of d.
inline Mpz Mantissa(disk::DiskInt& d) {
    const std::vector<double> v = GetLimbs(d);
    return LimbsToMpz(v.data(), d._N, 1e12);
}

// d = x in canonical form (complement top -1 when negative), capacity `size`.
inline void PutValue(disk::DiskInt& d, const char* name, const Mpz& x, long size, long shift = 0) {
    const long n = static_cast<long>(mpz_sizeinbase(x.v, 10)) / 12 + 2;
    Big b(x, n);
    PutLimbs(d, name, std::vector<double>(b.b.Limbs, b.b.Limbs + b.b._N), size, shift);
}

}  // namespace zeprix::test
