// DiskInt: an integer in base 10^12 whose limbs live in files NAME-00, NAME-01, ... and
// move between disk and memory in blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "numbers/big_int.hpp"
#include "numbers/mpint.hpp"

namespace zeprix::disk {

class LargeProduct;

// Limbs per file: every byte offset of a file (8 bytes a limb) fits a 32-bit position.
inline constexpr long kLimbsPerFile = 250000000;
// Limbs of the local blocks that the block loops move at a time (64000 bytes).
inline constexpr long kBlockLimbs = 8000;

// Value = sum over i < _N of limb[i] * 10^(12 (i + Shift)); the top limb may be -1
// (complement form of a negative number), every other limb lies in 0 .. 999999999999 once
// normalised. Limb p of the number is limb p + Offset of the file sequence: file
// floor((p + Offset) / kLimbsPerFile), at byte 8 ((p + Offset) mod kLimbsPerFile).
//
// The object describes the number; the files are the number. Destroying the object leaves
// the files on disk (a chunked run resumes from them, a compressed result stays
// readable); Free() deletes them. Two DiskInts alive at the same time must have different
// names, since a DiskInt owns its files.
class DiskInt : public numbers::MPInt {
public:
    long SizeAlloc = 0;  // capacity in limbs (requested size + 1)
    long Shift = 0;      // limb exponent
    long Offset = 0;     // position of limb 0 in the file sequence
    char Name[20] = {};  // base name of the files (at most 19 characters)
    int Packed = 0;      // nonzero: the files hold the packed stream of three limbs in 16 bytes

    DiskInt() = default;
    ~DiskInt() override = default;

    // Names the number and sets its capacity to size + 1 limbs; _N, Shift and Offset
    // become 0. No file is touched. A name longer than 19 characters is a fatal error.
    void Init(const char* name, long size);
    // Deletes the number's files 0 .. floor(SizeAlloc 4e-9); missing files are not an error.
    void Free() override;
    int TypeCode() const override { return 3; }
    // Reads limbs first .. first + count - 1 into buf (unpacking packed storage).
    void WriteBuffer(double* buf, long count, long first) override;
    int DigitsPerLimb() const override { return 12; }
    long Exponent() const override { return Shift; }

    // Name of file k: Name followed by "-" and k as two decimal digits.
    std::string FileName(long k) const;

    // The header record: _N, Shift and Offset, one "%ld\n" line each.
    void SaveHeader(std::FILE* f) const;
    // Reads the three values back; false when a value is missing or not a number.
    bool LoadHeader(std::FILE* f);
};

// File level: count doubles at double position first of the named file. The file is
// created when it does not exist yet (write). Opening, positioning or transfer failures
// are fatal disk errors. The transfer time (positioning and transfer) is added to the
// disk time counters.
void WriteFileBuffer(const std::string& file, const double* buf, long first, long count);
void ReadFileBuffer(const std::string& file, double* buf, long first, long count);

// Limbs first .. first + count - 1 of d (Offset added), across as many files as needed.
// Nothing when count is 0. These move raw doubles: on packed storage they address the
// packed stream.
void WriteLimbs(const DiskInt& d, const double* buf, long count, long first);
void ReadLimbs(const DiskInt& d, double* buf, long count, long first);

// Writes count zero limbs at positions 0 .. count - 1, in blocks.
void ZeroDiskInt(const DiskInt& d, long count);
// d = source (a DiskInt, packed or not, or any MPInt read through WriteBuffer), in blocks
// of kBlockLimbs: d's _N and Shift become the source's; d keeps its name and Offset.
void CopyToDiskInt(numbers::MPInt& source, DiskInt& d);
// Moves d's window over its files: _N grows by Offset - o, Shift by o - Offset, then
// Offset = o. Limbs that stay inside the window keep their values.
void MoveOffset(DiskInt& d, long o);
// Copies _N, Shift and Offset.
void CopyHeader(const DiskInt& from, DiskInt& to);

// Carry normalisation: every limb into 0 .. 999999999999 with exact floors; a final
// carry of -1 over a top limb 999999999999 turns that limb into -1, any other carry is
// appended as a new top limb (fatal "ERROR in UpdateDiskInt, allocation of a is too
// small\n" beyond SizeAlloc). Ends with Trim when the top is 0 or negative.
void UpdateDiskInt(DiskInt& d);
// Drops high zero limbs (a zero number keeps _N = 1) and folds a run of 999999999999
// limbs under a -1 top into a single -1.
void Trim(DiskInt& d);

// Packing of three base-10^12 limbs (l0 least significant) into four base-10^9 words.
void PackGroup(const double limbs[3], std::uint32_t words[4]);
void UnpackGroup(const std::uint32_t words[4], double limbs[3]);

// The process-wide buffers of the disk arithmetic, set up by InitDiskMemory.
struct DiskMemory {
    std::vector<double> work;       // DiskWorkBuffer: 2 floor(n / 3) + 1 doubles
    long workSize = 0;              // DiskWorkSize: 2 floor(n / 3)
    double* lent = nullptr;         // LentBuffer: a large buffer lent to the block loops
    long lentSize = 0;              // LentBufferSize
    long nFFT = 0;                  // the FFT capacity the buffers were sized for
    long blockLimbs = 0;            // floor(n / 3): the limbs of one product block
    numbers::BigInt block;          // a block of a product's first factor (floor(n / 3) limbs)
    std::vector<double> piece;      // a piece of a product's second factor (floor(n / 3) + 1)
    LargeProduct* large = nullptr;  // the product engine of large products, if registered
};
DiskMemory& Memory();

// Called by a computation that enters a disk mode, with n the FFT capacity in limbs:
// sizes the work buffers from it and clears the lent buffer and the registered large
// product engine. The FFT state itself belongs to the computation (its FFTSession).
void InitDiskMemory(long n);

namespace testing {
// The k-th file transfer from now (k >= 1) fails as a full disk (a write) or a file cut
// short (a read) would; 0 turns the failure off. Lets tests require a clean fatal error
// wherever an operation is interrupted.
void FailTransferAfter(long k);
}  // namespace testing

}  // namespace zeprix::disk
