// The check of a compressed Pi result: binary digits deduced from the stored decimal digits
// against binary digits from Bellard's formula.
#include "verify/check_pi.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/atomic_file.hpp"
#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "disk/disk_arith.hpp"
#include "disk/disk_int.hpp"
#include "fft/fft_state.hpp"
#include "output/compressed.hpp"
#include "verify/bellard.hpp"

namespace zeprix::verify {

using core::Print;

// checked is a whole number of digits (a multiple of 36), so floor(checked / 36) is exact.
// log2 10 is irrational, so checked log2 10 is never a whole number for checked > 0; in
// long double its error stays below 10^-18 checked, which moves p by one only when the
// product lies that close to a whole number. p then still lies beyond the checked digits
// by less than two bits, and both sides of the check use the same p.
CheckRange ClampCheckIndex(double index, double digits) {
    CheckRange r;
    double d = index;
    if (d + 100 > digits) d = digits - 100;
    d = 36 * std::floor(d / 36);
    r.checked = d > 0 ? d : 0;
    const long double log2of10 = 3.321928094887362347870319429489390175864831393L;
    r.position = static_cast<long>(std::floor(static_cast<long double>(r.checked) * log2of10)) + 1;
    return r;
}

namespace {

// Disk integers of the check: their files go when the check ends, on every path.
struct Scratch {
    disk::DiskInt d;
    Scratch() = default;
    Scratch(const char* name, long size) { d.Init(name, size); }
    ~Scratch() {
        if (d.Name[0]) d.Free();
    }
};

// The scratch numbers' files are removed by their owners on every path through the code;
// these are removed too when a signal ends the program in the middle of the check.
std::vector<std::string> ScratchFileNames(long limbs) {
    std::vector<std::string> files;
    const long lastFile = limbs / disk::kLimbsPerFile + 1;
    for (const char* name : {"PiD", "TwoPow", "b", "tmp"})
        for (long k = 0; k <= lastFile; ++k) {
            char file[32];
            std::snprintf(file, sizeof file, "%s-%02ld", name, k);
            files.emplace_back(file);
        }
    return files;
}

// The top `count` limbs of the packed number src into dst (limbs src._N - count ..
// src._N - 1), with the exponent that keeps their weights.
void CopyTopLimbs(disk::DiskInt& src, long count, disk::DiskInt& dst) {
    std::vector<double> block(static_cast<std::size_t>(disk::kBlockLimbs));
    const long low = src._N - count;
    for (long i = 0; i < count; i += disk::kBlockLimbs) {
        const long n = std::min(disk::kBlockLimbs, count - i);
        src.WriteBuffer(block.data(), n, low + i);
        disk::WriteLimbs(dst, block.data(), n, i);
    }
    dst._N = count;
    dst.Shift = src.Shift + low;
    disk::Trim(dst);  // the padding limbs above the top
}

}  // namespace

// Squares from the top bit down: after the step for bit t the result is 2^(floor(p0 / t)),
// p0 the position asked; every operation is exact integer arithmetic on disk integers.
void TwoPow(long p, disk::DiskInt& t) {
    const long size =
        static_cast<long>(static_cast<double>(p) * std::log(2.0) / std::log(1e12) + 10);
    t.Init("TwoPow", size);
    Scratch b("b", size);
    long bit = 1;
    while (bit <= p) bit *= 2;
    const double one = 1;
    disk::WriteLimbs(t, &one, 1, 0);
    t._N = 1;
    t.Shift = 0;
    for (; bit >= 1; bit /= 2) {
        disk::SquareDiskInt(t, b.d);
        if (p < bit) {
            disk::CopyToDiskInt(b.d, t);
        } else {
            disk::MulDiskIntBySmall(b.d, 2, t);
            p -= bit;
        }
    }
}

namespace {

// frac(2^p x), x the stored Pi cut to its top limbs, to the 12 digits of one limb:
// 1. The top limbs (checked / 12 + 12 of them, or the whole file) hold the integer limb,
//    at most two padding limbs and at least checked + 108 digits below the point, so the
//    cut costs less than 10^-(checked + 108); times 2^p < 2 10^checked that is far below
//    the 2^-24 compared.
// 2. 2^p is exact, and the product keeps about 100 limbs below the point: the few units
//    its truncation may miss in its lowest limb do not reach the limb read here.
double FractionFromFile(disk::DiskInt& pi, const output::CompressedInfo& info,
                        const CheckRange& r) {
    const long limbs = std::min(static_cast<long>(r.checked / 12 + 12), pi._N);
    const core::FilesRemovedOnExit onSignal(ScratchFileNames(2 * limbs + 200),  // the largest: tmp
                                            false);
    // The FFT of the computation that wrote the file; the disk products cut their operands
    // into blocks that this FFT multiplies.
    fft::FFTSession session(info.fftSize);
    disk::InitDiskMemory(info.fftSize);
    Scratch piD("PiD", limbs);
    CopyTopLimbs(pi, limbs, piD.d);
    Scratch two;
    TwoPow(r.position, two.d);
    Scratch tmp("tmp", piD.d.SizeAlloc + 100);
    disk::MulDiskInt(piD.d, two.d, tmp.d);
    const long below = -1 - tmp.d.Shift;  // the limb just below the point
    ZEPRIX_CHECK(below >= 0 && below < tmp.d._N,
                 "Error in CheckPi, the product has no limb below the point");
    double limb = 0;
    tmp.d.WriteBuffer(&limb, 1, below);
    return limb / 1e12;
}

}  // namespace

void CheckPi(const std::string& name) {
    const output::CompressedInfo info = output::ReadCompressedInfo(name);
    if (info.digits < kMinCheckDigits) {
        core::UserError("Error, the compressed result " + name + " holds " +
                        std::to_string(static_cast<long>(info.digits)) +
                        " digits: the check needs at least 136 (36 checked, 100 beyond them).");
    }
    disk::DiskInt pi;
    output::OpenCompressed(info, pi);

    const char* const kStars = "*******************************************************\n";
    Print("%s", kStars);
    Print("*              Pi digits verification                 *\n");
    Print("%s", kStars);
    Print("\n");
    Print("\n");
    Print("The file contains %.0lf decimal digits.\n", info.digits);
    const char* prompt = "Index of decimal digit until you want to check the result : ";
    Print("%s", prompt);
    CheckRange r;
    for (;;) {
        r = ClampCheckIndex(core::ReadDouble(prompt), info.digits);
        if (r.checked > 0) break;
        Print("Error, the index must be at least 36.\n%s", prompt);
    }
    const double p = static_cast<double>(r.position);
    Print("\n");
    Print("Checking the first %.0lf digits,\n", r.checked);
    Print("by computing %ld binary digits at binary position %.0lf\n", kCheckedBits, p);
    Print("\n");
    Print("First step : deduce the binary digits from the Pi result file...\n");
    double t0 = core::ElapsedSeconds();
    const double frac1 = FractionFromFile(pi, info, r);
    Print("End of first step, time=%.2lf\n", core::ElapsedSeconds() - t0);
    Print("Binary digits : ");
    PrintBinaryDigits(frac1, kCheckedBits);

    Print("Second step : deduce the binary digits from Fabrice Bellard formula...\n");
    t0 = core::ElapsedSeconds();
    const double frac2 = BellardFraction(r.position);
    Print("End of second step, time=%.2lf\n", core::ElapsedSeconds() - t0);
    Print("Binary digits : ");
    PrintBinaryDigits(frac2, kCheckedBits);

    // The two fractions are compared modulo 1: values on either side of a whole number
    // (0.99999... and 0.00000...) are close, whatever their binary digits.
    double d = frac1 - frac2;
    if (d > 0.5) d -= 1;
    if (d < -0.5) d += 1;
    d *= 0x1p24;
    Print("\n\n");
    if (d * d < 1) {
        Print("The computed %ld binary digits are identical.\n", kCheckedBits);
        Print("The first %.0lf digits of the Pi computation are good\n", r.checked);
        Print("with a very high probability\n");
    } else {
        Print("The check shows that your first %.0lf digits are not OK\n", r.checked);
    }
    // pi's object goes; the compressed files stay.
}

}  // namespace zeprix::verify
