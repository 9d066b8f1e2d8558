// Newton iterations on disk integers: the reciprocal of a DiskInt and the inverse square
// root of a small whole number, with the shifted accumulation step they share.
#pragma once

#include <vector>

#include "disk/disk_int.hpp"

namespace zeprix::disk {

// On the limbs (mantissas, the Shifts are the caller's): y := y B^shift + sign u, B = 10^12,
// sign +1 or -1, shift >= 0, normalised with carries of -1, 0 or +1 that run as far up as
// they must (a borrow through a run of zero limbs, a carry through a run of 999999999999).
// A carry out of the top is appended as a new top limb (a -1 top folds as in Trim).
// When y B^shift would be longer than y's SizeAlloc, prints
// "\n\nPb in ShiftAndAdd, NN=%ld, SizeAlloc=%ld\n" with that length and the capacity and
// goes on (the limbs are written all the same). u._N = 0 adds nothing. y and u must not
// share limbs; u is unchanged. Works in blocks of the disk work buffer (InitDiskMemory).
void ShiftAndAdd(DiskInt& y, long shift, DiskInt& u, int sign);

// y = 1/x to C = y.SizeAlloc limbs (C >= 2), with the progress display
// "Inverse :  0%" .. "\b\b\b%2.0lf%%" .. "\b\b\b  Done\n".
//
// x must be positive with a nonzero top limb; it is unchanged afterwards (its Shift, _N
// and Offset are moved during the call and restored). On return y's Shift makes its value
// the reciprocal and, for C >= 3, |y - 1/x| <= 4 units of y's last limb; y has C limbs
// (fewer when its top limbs are 0, i.e. 1/x just above a power of 10^12). C = 2 returns
// the two-limb starting value, which is only correct to about one limb.
//
// t is scratch with SizeAlloc >= C + 16 for the products x y. The corrections y (1 - x y)
// go to a DiskInt named after t with "n" appended (t's name at most 18 characters), whose
// files are deleted on return. x, y, t and that name must all differ. Method and error
// budget: docs/notes/disk_newton.md.
void Inverse(DiskInt& x, DiskInt& y, DiskInt& t);

// y = 1/sqrt(a) to C = y.SizeAlloc limbs (C >= 2), 2 <= a <= 10^7 (fatal
// "Error in InvSqrt, a must be between 2 and 10^7" otherwise), with the progress display
// "SquareRoot :  0%" .. "\b\b\b%2.0lf%%" .. "\b\b\b  Done\n".
//
// On return y has C limbs at Shift -C (all fractional) and, for C >= 3,
// |y - 1/sqrt(a)| <= 2 units of 10^(-12 C); C = 2 returns the two-limb starting value.
// t is scratch with SizeAlloc >= C + 16 for the squares; the corrections go to a DiskInt
// named after t with "n" appended, as for Inverse. y, t and that name must all differ.
void InvSqrt(long a, DiskInt& y, DiskInt& t);

namespace detail {

// One step of a schedule: y, whose error term |u| (u = 1 - x y, or 1 - a y^2) is at most
// about 10^-digits, goes to `length` limbs; then (cut > 0) y is cut to its top `cut`
// limbs, which restarts the doublings so that they land on the target.
struct NewtonStep {
    long length;
    long cut;
    double digits;
};
// The steps that Inverse and InvSqrt take to reach C limbs (empty for C <= 2).
std::vector<NewtonStep> InverseSchedule(long C);
std::vector<NewtonStep> InvSqrtSchedule(long a, long C);

}  // namespace detail

}  // namespace zeprix::disk
