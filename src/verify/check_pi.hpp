// The check of a compressed Pi result: binary digits deduced from the stored decimal digits
// against binary digits from Bellard's formula.
#pragma once

#include <string>

namespace zeprix::disk {
class DiskInt;
}

namespace zeprix::verify {

// Binary digits compared.
inline constexpr long kCheckedBits = 24;
// A file must hold this many digits for a check of at least one group of 36 digits: the
// checked index stays 100 digits below the end.
inline constexpr double kMinCheckDigits = 136;

// The digits checked for an index typed by the user on a file of `digits` digits, and the
// binary position p just beyond them: the index is lowered to digits - 100, then to a
// multiple of 36, and p = floor(checked log2 10) + 1 (so 2^(p-1) < 10^checked < 2^p).
struct CheckRange {
    double checked = 0;
    long position = 0;
};
CheckRange ClampCheckIndex(double index, double digits);

// t = 2^p exactly, a disk integer in base 10^12 named "TwoPow", by squarings and
// doublings from the top bit of p (scratch "b").
void TwoPow(long p, disk::DiskInt& t);

// Menu entry 8 on the compressed result `name` (always "Pi"): asks the index, prints both
// lines of binary digits and the verdict. A missing or damaged result, or one of fewer
// than kMinCheckDigits digits, ends the program with a message before the question.
void CheckPi(const std::string& name);

}  // namespace zeprix::verify
