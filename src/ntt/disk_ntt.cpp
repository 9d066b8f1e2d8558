// The NTT product of disk integers: residues of the operands' points for every prime (the
// first prime's in memory, the others in files), one prime at a time the transforms and
// the point-by-point product, and the Chinese remaindering of the product's points into
// the result's limbs.
#include "ntt/disk_ntt.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "core/atomic_file.hpp"
#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "ntt/crt.hpp"
#include "ntt/points.hpp"
#include "ntt/transform.hpp"

namespace zeprix::ntt {

using disk::DiskInt;
using numbers::MPInt;

namespace {

constexpr double kBase = 1e12;
// Most points of one conversion or rebuild block (a multiple of 12). A block of P points
// takes P (n + d / 12) doubles (n primes' residues and the limbs they come from or go to);
// blocks are made smaller so that this stays within NNTTMax doubles.
constexpr long kBlockPoints = 12 * 4096;

// What the debug log prints about the NTT: the state after InitNTT, the product running.
struct NttRecord {
    bool init = false;
    long nnttMax = 0, nbPrimes = 0, exponent = 0;
    bool on = false;
    long na = 0, nb = 0, nc = 0, ncrt = 0, nntt = 0, d = 0;
    long already = 0, ncrtAlready = 0;
};
NttRecord gNtt;

void WriteInitSection(std::FILE* log) {
    if (!gNtt.init) return;
    std::fprintf(log, "NNTTMax=%ld\n", gNtt.nnttMax);
    std::fprintf(log, "NbPrimes=%ld, PrimeExponent=%ld\n", gNtt.nbPrimes, gNtt.exponent);
}
void WriteProductSection(std::FILE* log) {
    if (!gNtt.on) return;
    std::fprintf(log, "%sNTT product is on\n", core::kLogSectionLine);
    std::fprintf(log, "Na=%ld, Nb=%ld, Nc=%ld\n", gNtt.na, gNtt.nb, gNtt.nc);
    std::fprintf(log, "NCRT=%ld, NNTT=%ld, CRTNbDec=%ld\n", gNtt.ncrt, gNtt.nntt, gNtt.d);
    std::fprintf(log, "NTT0AlreadyComputed =%ld\n", gNtt.already);
    std::fprintf(log, "nFFT0AlreadyComputed =%ld\n", gNtt.already ? gNtt.nntt : 0L);
    std::fprintf(log, "NCRTNTT0AlreadyComputed =%ld\n", gNtt.ncrtAlready);
}
const bool kSectionsRegistered = [] {
    core::RegisterLogSection(10, WriteInitSection);
    core::RegisterLogSection(20, WriteProductSection);
    return true;
}();

// 1 for a number in complement form (top limb -1), 0 otherwise; any other negative top
// limb is not a normalised number.
bool IsNegative(MPInt& x) {
    double top = 0;
    x.WriteBuffer(&top, 1, x._N - 1);
    ZEPRIX_CHECK(top >= -1.0, "Error in MulDiskIntByNTT, the operand is not normalised");
    return top < 0;
}

std::uint64_t Mix(std::uint64_t h, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    h ^= bits + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

// One limb of B^k - x from the limb v of x (x's lower limbs done, borrow 1 while they were
// all 0): B - 1 - v + borrow, which is B only for v = 0 with a borrow still running.
inline double ComplementLimb(double v, double& borrow) {
    v = kBase - 1.0 - v + borrow;
    borrow = v == kBase ? 1.0 : 0.0;
    return v == kBase ? 0.0 : v;
}

// Limbs of the magnitude of x, block by block from limb 0: for a number in complement form
// (value = lower limbs - B^(n-1)) the magnitude B^(n-1) - lower is formed with a borrow
// that runs up, the top limb taking what is left (0 or 1).
class MagnitudeReader {
public:
    MagnitudeReader(MPInt& x, long limbs, bool negative)
        : x_(x), limbs_(limbs), negative_(negative) {}
    void Read(double* buf, long count, long first, std::uint64_t& checksum) {
        x_.WriteBuffer(buf, count, first);
        for (long k = 0; k < count; ++k) checksum = Mix(checksum, buf[k]);
        for (long k = 0; k < count; ++k) {
            double& v = buf[k];
            const bool top = first + k == limbs_ - 1;
            if (negative_) {
                if (top) {
                    v = carry_;
                    continue;
                }
                v = ComplementLimb(v, carry_);
            }
            ZEPRIX_CHECK(v >= 0.0 && v < kBase,
                         "Error in MulDiskIntByNTT, the operand is not normalised");
        }
    }

private:
    MPInt& x_;
    long limbs_;
    bool negative_;
    double carry_ = 1.0;
};

}  // namespace

NttEngine::NttEngine(long fftSize, double digits)
    : product_(
          static_cast<long>(std::bit_ceil(static_cast<std::uint64_t>(std::max(2 * fftSize, 4L)))),
          digits) {
    disk::RegisterLargeProduct(&product_);
}

NttEngine::~NttEngine() { disk::RegisterLargeProduct(nullptr); }

double NttEngine::MemoryBytes(double fftSize) {
    const double n =
        static_cast<double>(std::bit_ceil(static_cast<std::uint64_t>(std::max(2 * fftSize, 4.0))));
    // A_ and B_ (16 NNTTMax bytes), the blocks of a conversion or a rebuild (NNTTMax doubles
    // at most), the tables of the points' conversions. Every thread beyond the first: its
    // transform buffer (8 max(R1, R2) <= 8 sqrt(2 NNTTMax) doubles), its scratch of a chunk
    // of the conversions and the rebuild, and its stack, within 256 KiB.
    const double extra = static_cast<double>(core::ThreadCount() - 1);
    return 24.0 * n + 1e6 + extra * (64.0 * std::sqrt(2.0 * n) + 262144.0);
}

std::string ResidueFileName(char file, long prime) {
    char name[8];
    std::snprintf(name, sizeof name, "%c%03ld", file, prime % 1000);
    return name;
}

// The first operand whose transforms the A files hold.
struct NttProduct::Kept {
    std::string name;
    long n = 0, shift = 0, offset = 0, ncrt = 0, nntt = 0, d = 0;
    std::uint64_t checksum = 0;
};

NttProduct::NttProduct(long nnttMax, double digits) {
    RemoveResidueFiles('A', 0);
    RemoveResidueFiles('B', 0);
    st_ = InitNTT(nnttMax, digits);
    gNtt.init = true;
    gNtt.nnttMax = st_.NNTTMax;
    gNtt.nbPrimes = st_.NbPrimes();
    gNtt.exponent = st_.PrimeExponent;
}

NttProduct::~NttProduct() {
    RemoveResidueFiles('A', 0);
    RemoveResidueFiles('B', 0);
    gNtt.init = false;
}

void NttProduct::RemoveResidueFiles(char file, long from) {
    for (long i = from; i < kMaxPrimes; ++i) ::unlink(ResidueFileName(file, i).c_str());
}

void NttProduct::Multiply(DiskInt& a, MPInt& b, DiskInt& c) {
    MulDiskIntByNTT(a, b, c, false, false);
}

void NttProduct::Square(DiskInt& a, DiskInt& c) { MulDiskIntByNTT(a, a, c, false, false); }

// Residues of x's points (limbs, magnitude) for every prime: prime 0's into prime0 (the
// rest of its NNTT points cleared), the others' into the files `file`001, ...; returns
// the number of points (the rest are 0).
long NttProduct::Residues(MPInt& x, long limbs, bool negative, char file, double* prime0,
                          std::uint64_t* checksum) {
    // Points from ceil(12 limbs / d) up are 0; the choice of NNTT and d keeps the others
    // below NNTT (docs/notes/ntt.md, section 4).
    ZEPRIX_CHECK((12 * limbs + d_ - 1) / d_ <= nntt_, "Pb, NCRT is too large");
    const long points = std::min(12 * ((limbs + d_ - 1) / d_), nntt_);
    const long groupsPerBlock = blockPoints_ / 12;
    const long G = groupsPerBlock * d_;
    std::vector<double> limbBuf(static_cast<size_t>(G));
    std::vector<double> out(static_cast<size_t>(ncrt_ * blockPoints_));
    std::vector<double*> outp;
    for (long i = 0; i < ncrt_; ++i) outp.push_back(out.data() + i * blockPoints_);
    MagnitudeReader reader(x, limbs, negative);
    std::uint64_t sum = 0;  // of x's limbs as stored, as LimbChecksum
    for (long first = 0; first < limbs; first += G) {
        core::StopIfRequested();
        const long count = std::min(G, limbs - first);
        reader.Read(limbBuf.data(), count, first, sum);
        const long groups = (count + d_ - 1) / d_;
        std::fill(limbBuf.begin() + count, limbBuf.begin() + groups * d_, 0.0);
        splitter_->Residues(limbBuf.data(), groups, outp.data());
        const long at = first / d_ * 12;
        const long n = std::min(12 * groups, points - at);
        if (n <= 0) continue;
        std::copy(outp[0], outp[0] + n, prime0 + at);
        for (long i = 1; i < ncrt_; ++i)
            disk::WriteFileBuffer(ResidueFileName(file, i), outp[static_cast<size_t>(i)], at, n);
    }
    std::fill(prime0 + points, prime0 + nntt_, 0.0);
    if (checksum) *checksum = sum;
    return points;
}

namespace {
std::uint64_t LimbChecksum(MPInt& x) {
    std::vector<double> buf(static_cast<size_t>(disk::kBlockLimbs));
    std::uint64_t sum = 0;
    for (long first = 0; first < x._N; first += disk::kBlockLimbs) {
        const long count = std::min(disk::kBlockLimbs, x._N - first);
        x.WriteBuffer(buf.data(), count, first);
        for (long j = 0; j < count; ++j) sum = Mix(sum, buf[static_cast<size_t>(j)]);
    }
    return sum;
}
}  // namespace

// The kept transforms serve a when they were made for the same files, the same window and
// the same product shape, and a's limbs are still those they were made from.
bool NttProduct::KeptMatches(DiskInt& a) {
    if (!kept_) return false;
    const Kept& k = *kept_;
    return k.name == a.Name && k.n == a._N && k.shift == a.Shift && k.offset == a.Offset &&
           k.ncrt == ncrt_ && k.nntt == nntt_ && k.d == d_ && LimbChecksum(a) == k.checksum;
}

// One prime at a time: the transforms (a's read from its kept transforms with reuse, and
// kept with keep), the point-by-point product, the inverse; the product's points from
// firstPoint up go over the prime's B file (the last prime's stay in A_).
void NttProduct::MultiplyPrimes(bool square, bool reuse, bool keep, long firstPoint,
                                long productPoints) {
    for (long i = 0; i < ncrt_; ++i) {
        core::StopIfRequested();
        const NttPlan plan(st_, i, nntt_);
        const std::string aFile = ResidueFileName('A', i), bFile = ResidueFileName('B', i);
        // b's residues are read while a's are transformed (the transform takes the reading
        // thread back when the read is done); the file transfers stay one at a time.
        const auto readB = [&] {
            if (square || i == 0) return;
            disk::ReadFileBuffer(bFile, B_.data(), 0, pointsB_);
            std::fill(B_.begin() + pointsB_, B_.end(), 0.0);
        };
        if (reuse) {
            disk::ReadFileBuffer(aFile, A_.data(), 0, nntt_);
            readB();
        } else {
            if (i > 0) {
                disk::ReadFileBuffer(aFile, A_.data(), 0, pointsA_);
                std::fill(A_.begin() + pointsA_, A_.end(), 0.0);
            }
            const auto forwardA = [&] { plan.Forward(A_.data()); };
            core::RunBoth(std::ref(forwardA), std::ref(readB));
            if (keep) disk::WriteFileBuffer(aFile, A_.data(), 0, nntt_);
        }
        if (!keep && (reuse || i > 0)) ::unlink(aFile.c_str());
        if (square) {
            PointwiseSquare(A_.data(), nntt_, plan.Mod());
        } else {
            plan.Forward(B_.data());
            PointwiseMul(A_.data(), B_.data(), nntt_, plan.Mod());
        }
        plan.Inverse(A_.data());
        if (i < ncrt_ - 1 && productPoints > firstPoint)
            disk::WriteFileBuffer(bFile, A_.data() + firstPoint, 0, productPoints - firstPoint);
    }
}

void NttProduct::MulDiskIntByNTT(DiskInt& a, MPInt& b, DiskInt& c, bool freeA, bool freeB) {
    const bool square = static_cast<void*>(&b) == static_cast<void*>(&a);
    ZEPRIX_ASSERT(static_cast<void*>(&c) != static_cast<void*>(&a) &&
                  static_cast<void*>(&c) != static_cast<void*>(&b));
    const long na = a._N, nb = b._N;
    ncrt_ = ChooseBestCRT(st_, na, nb, nntt_, d_);
    gNtt.on = true;
    gNtt.na = na;
    gNtt.nb = nb;
    gNtt.nc = c.SizeAlloc;
    gNtt.ncrt = ncrt_;
    gNtt.nntt = nntt_;
    gNtt.d = d_;
    gNtt.already = gNtt.ncrtAlready = 0;
    struct Off {  // the log is written when a fatal error happens, before this runs
        ~Off() { gNtt.on = false; }
    } off;
    const bool negA = IsNegative(a), negB = square ? negA : IsNegative(b);
    const bool negative = negA != negB;
    const long L = na + nb;
    if (nntt_ > st_.NNTTMax) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "Problem, NNTT=%ld is too big in MulDiskIntByNTT\n", nntt_);
        core::FatalError(msg);
    }
    if (!splitter_ || splitter_->NbPrimes() != ncrt_ || splitter_->DigitsPerPoint() != d_) {
        std::vector<std::uint64_t> primes;
        for (long i = 0; i < ncrt_; ++i) primes.push_back(st_.Primes[static_cast<size_t>(i)].mod.p);
        splitter_ = std::make_unique<PointSplitter>(d_, primes);
        rebuilder_ = std::make_unique<PointRebuilder>(primes, d_);
    }
    blockPoints_ = std::clamp(st_.NNTTMax / (12 * (ncrt_ + d_ / 12 + 1)) * 12, 12L, kBlockPoints);
    A_.resize(static_cast<size_t>(nntt_));
    if (!square) B_.resize(static_cast<size_t>(nntt_));

    // The limbs of c: the top SizeAlloc of the product (one more for the -1 top of a
    // negative one); the points that only reach the dropped limbs are not rebuilt.
    const long outLimbs = std::min(L + (negative ? 1 : 0), c.SizeAlloc);
    const long skip = L + (negative ? 1 : 0) - outLimbs;
    const long spread = 2 * d_ + static_cast<long>(std::log10(static_cast<double>(nntt_))) + 2;
    long firstPoint = skip > 0 ? (12 * skip - spread) / d_ : 0;
    firstPoint = std::max(0L, firstPoint / 12 * 12);

    // Residues of the operands: a's (or its kept transforms), then b's.
    const bool reuse = KeptMatches(a);
    NTT0AlreadyComputed = reuse;
    gNtt.already = reuse ? 1 : 0;
    gNtt.ncrtAlready = reuse ? ncrt_ : 0;
    core::FilesRemovedOnExit files(
        [&] {
            std::vector<std::string> names;
            for (long i = 0; i < ncrt_; ++i) names.push_back(ResidueFileName('B', i));
            return names;
        }(),
        true);
    const bool keep = KeepResidues;
    std::vector<std::string> aNames;
    for (long i = 0; i < ncrt_; ++i) aNames.push_back(ResidueFileName('A', i));
    if (!reuse) {
        kept_.reset();
        keptFiles_.reset();
    }
    auto aFiles = std::make_unique<core::FilesRemovedOnExit>(aNames, !(keep || reuse));
    std::uint64_t checksum = 0;
    if (!reuse) {
        pointsA_ = Residues(a, na, negA, 'A', A_.data(), &checksum);
        if (freeA) a.Free();
    }
    if (!square) {
        pointsB_ = Residues(b, nb, negB, 'B', B_.data(), nullptr);
        if (freeB) b.Free();
    }

    const long productPoints = std::min(nntt_, pointsA_ + (square ? pointsA_ : pointsB_) - 1);
    MultiplyPrimes(square, reuse, keep, firstPoint, productPoints);
    if (keep) {
        if (!reuse) {
            kept_ = std::make_unique<Kept>();
            *kept_ = {a.Name, na, a.Shift, a.Offset, ncrt_, nntt_, d_, checksum};
        }
        keptFiles_ = std::move(aFiles);
    } else {
        kept_.reset();
        keptFiles_.reset();
    }

    Rebuild(c, firstPoint, productPoints, L, skip, negative);
    for (long i = 0; i < ncrt_; ++i) ::unlink(ResidueFileName('B', i).c_str());
    c.Shift = a.Shift + b.Exponent() + skip;
    disk::Trim(c);
    KeepResidues = false;
    LastProductWasNTT = true;
}

// The product's points firstPoint .. lastPoint - 1 (multiples of 12; those from
// productPoints up are 0) rebuilt block by block into an area of limbs; the finished limbs
// are normalised and those from `skip` up to the product's length L written to c, in
// complement form for a negative product, whose -1 then goes on top.
void NttProduct::Rebuild(DiskInt& c, long firstPoint, long productPoints, long L, long skip,
                         bool negative) {
    const long lastPoint = (productPoints + 11) / 12 * 12;
    const long G = blockPoints_ / 12 * d_;
    const long overlap = rebuilder_->OverlapLimbs();
    std::vector<double> area(static_cast<size_t>(G + overlap), 0.0);
    std::vector<double> res(static_cast<size_t>(ncrt_ * blockPoints_));
    std::vector<const double*> resp;
    for (long i = 0; i < ncrt_; ++i) resp.push_back(res.data() + i * blockPoints_);
    long limb = firstPoint / 12 * d_;  // the product limb of area[0]
    long written = 0;                  // limbs of c written
    // The limbs of c to write go to area[0 .. out), over limbs already normalised: the next
    // limb pushed is never before area[out].
    long out = 0;
    double carry = 0.0, borrow = skip == 0 ? 1.0 : 0.0;
    const auto flush = [&] {
        if (out > 0) disk::WriteLimbs(c, area.data(), out, written);
        written += out;
        out = 0;
    };
    const auto push = [&](double v) {  // the next limb of the product, normalised
        if (limb >= L) {
            ZEPRIX_CHECK(v == 0.0, "ERROR IN CRT, Result->_N>CRTP._N");
        } else if (limb >= skip) {
            if (negative) v = ComplementLimb(v, borrow);
            if (out == static_cast<long>(area.size())) flush();
            area[static_cast<size_t>(out++)] = v;
        }
        ++limb;
    };
    // area[0 .. count) is finished: normalised with the running carry and pushed, a run of
    // limbs at a time. Every limb is an exact integer v below 2^53: first, on its own, v =
    // q 10^12 + r, the floor of the rounded quotient (off by at most one, v / 10^12 being
    // below 2^14) corrected to the exact one, q 10^12 and r exact; then the carry chain only
    // adds, r + carry below 2 10^12 with carry <= q + 1 below 2^14.
    const auto emit = [&](long count) {
        constexpr long kRun = 256;
        double q[kRun];
        for (long k0 = 0; k0 < count; k0 += kRun) {
            double* r = area.data() + k0;
            const long n = std::min(kRun, count - k0);
            for (long k = 0; k < n; ++k) {
                double t = std::floor(r[k] / kBase), v = r[k] - t * kBase;
                t = v < 0 ? t - 1 : v >= kBase ? t + 1 : t;
                q[k] = t;
                r[k] = v < 0 ? v + kBase : v >= kBase ? v - kBase : v;
            }
            for (long k = 0; k < n; ++k) {
                double v = r[k] + carry;
                carry = v >= kBase ? q[k] + 1 : q[k];
                push(v >= kBase ? v - kBase : v);
            }
        }
        flush();
    };
    for (long j = firstPoint; j < lastPoint; j += blockPoints_) {
        core::StopIfRequested();
        const long count = std::min(blockPoints_, lastPoint - j);
        const long have = std::clamp(productPoints - j, 0L, count);
        for (long i = 0; i < ncrt_; ++i) {
            double* r = res.data() + i * blockPoints_;
            if (i < ncrt_ - 1)
                disk::ReadFileBuffer(ResidueFileName('B', i), r, j - firstPoint, have);
            else
                std::copy(A_.begin() + j, A_.begin() + j + have, r);
            std::fill(r + have, r + count, 0.0);
        }
        rebuilder_->AddPoints(j, count, resp.data(), area.data());
        const long finished = count / 12 * d_;
        emit(finished);
        std::copy(area.begin() + finished, area.begin() + finished + overlap, area.begin());
        std::fill(area.begin() + overlap, area.end(), 0.0);
    }
    emit(overlap);
    ZEPRIX_CHECK(carry == 0.0, "ERROR IN CRT, Result->_N>CRTP._N");
    while (limb < L) push(0.0);
    flush();
    if (negative) {
        const double top = -1.0;
        disk::WriteLimbs(c, &top, 1, written++);
    }
    c._N = written;
}

}  // namespace zeprix::ntt
