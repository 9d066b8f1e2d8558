// The product of large disk integers by number-theoretic transforms modulo the special
// primes, one prime at a time, the residues of the other primes in files A000.., B000..;
// the exact product rebuilt by Chinese remaindering into the result's limbs.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/disk_arith.hpp"
#include "ntt/primes.hpp"

namespace zeprix::core {
class FilesRemovedOnExit;
}

namespace zeprix::ntt {

class PointSplitter;
class PointRebuilder;

// Registered as the disk layer's engine of large products (mode 2 of a computation).
// Memory: two arrays of NNTTMax points (one prime's transforms of both operands) and
// blocks of a few hundred thousand points for the conversions.
class NttProduct final : public disk::LargeProduct {
public:
    // InitNTT(nnttMax, digits); stale residue files of an earlier run are removed first.
    NttProduct(long nnttMax, double digits);
    ~NttProduct() override;
    NttProduct(const NttProduct&) = delete;
    NttProduct& operator=(const NttProduct&) = delete;

    void Multiply(disk::DiskInt& a, numbers::MPInt& b, disk::DiskInt& c) override;
    void Square(disk::DiskInt& a, disk::DiskInt& c) override;
    void BlockProductUsed() override {
        LastProductWasNTT = false;
        KeepResidues = false;
    }

    // c = a b (b may be a: a square), truncated to c's SizeAlloc: the limbs below the top
    // SizeAlloc are dropped, with the points that only reach them. With freeA (freeB) the
    // operand's files are deleted as soon as its residues are computed. Operands may be
    // negative in complement form (top limb -1); c then is too.
    void MulDiskIntByNTT(disk::DiskInt& a, numbers::MPInt& b, disk::DiskInt& c, bool freeA,
                         bool freeB);

    const NttState& State() const { return st_; }

    // Set by a caller that will multiply the same first operand again: the transforms of
    // its residues stay in the A files and the next product with that first operand (same
    // files, same limbs: checked by a checksum of its limbs) reads them instead of
    // computing them. Cleared by every product.
    bool KeepResidues = false;
    bool NTT0AlreadyComputed = false;  // the kept transforms belong to the last first operand
    bool LastProductWasNTT = false;

private:
    struct Kept;
    void MultiplyPrimes(bool square, bool reuse, bool keep, long firstPoint, long productPoints);
    bool KeptMatches(disk::DiskInt& a);
    long Residues(numbers::MPInt& x, long limbs, bool negative, char file, double* prime0,
                  std::uint64_t* checksum);
    void Rebuild(disk::DiskInt& c, long firstPoint, long productPoints, long L, long skip,
                 bool negative);
    void RemoveResidueFiles(char file, long from);

    NttState st_;
    long ncrt_ = 0, nntt_ = 0, d_ = 0;  // the product in progress
    long pointsA_ = 0, pointsB_ = 0;
    long blockPoints_ = 12;      // points of a conversion or rebuild block
    std::vector<double> A_, B_;  // one prime's points of the two operands
    std::unique_ptr<PointSplitter> splitter_;
    std::unique_ptr<PointRebuilder> rebuilder_;
    std::unique_ptr<Kept> kept_;
    std::unique_ptr<core::FilesRemovedOnExit> keptFiles_;
};

// The NTT product of a computation in mode 2: capacity twice the FFT size (rounded up to a
// power of two), registered with the disk layer for the life of the object.
class NttEngine {
public:
    NttEngine(long fftSize, double digits);
    ~NttEngine();
    NttEngine(const NttEngine&) = delete;
    NttEngine& operator=(const NttEngine&) = delete;
    NttProduct& Product() { return product_; }

    // Bytes of memory the product needs besides the FFT: its two arrays of points, its
    // conversion blocks, and the buffers of the threads that share its work.
    static double MemoryBytes(double fftSize);
    // Bytes of disk the residue files of a product of two numbers of `limbs` limbs take at
    // most: the points of both operands for every prime but one (the primes carry about
    // seven decimal digits each, so n primes and d digits a point have n / d near 1/7).
    static double DiskBytes(double limbs) { return 2.0 * 8.0 * 12.0 * limbs / 7.0 + 1e6; }

private:
    NttProduct product_;
};

// The name of the residue file of prime i: 'A' or 'B' and i as three digits.
std::string ResidueFileName(char file, long prime);

}  // namespace zeprix::ntt
