// Decimal writer: a number's digits as text, in a chosen range and layout.
#include "output/decimal_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/atomic_file.hpp"
#include "core/console.hpp"
#include "numbers/mpint.hpp"
#include "output/block_pipeline.hpp"

namespace zeprix::output {

namespace {

// Limbs are fetched from the number in blocks of at most this many, so that a number that
// lives on disk is never read whole into memory.
constexpr long kBlockLimbs = 8000;

// Buffered text output: the digits of a large result go out through one fwrite per
// megabyte instead of one formatted print per limb. Without a file the text only collects
// in the buffer (the text of one block, converted on any thread and written later).
// Characters are first put into a small stage of the object's own, which reaches the
// buffer in one append per few kilobytes: an append per limb cost more than its digits.
class Text {
public:
    Text(FILE* f, std::string& buf) : f_(f), buf_(buf) {
        if (f_) buf_.reserve(kCap + kStage);
    }
    ~Text() { Flush(); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    void Put(char c) {
        Room(1);
        stage_[used_++] = c;
    }
    void Put(const char* s) {
        const size_t n = std::strlen(s);
        if (n > kStage) {
            Spill();
            buf_.append(s, n);
            Spill();
            return;
        }
        Room(n);
        std::memcpy(stage_ + used_, s, n);
        used_ += n;
    }
    // value (0 <= value < 10^width, width <= 20) as exactly `width` digits, zero-padded:
    // two digits per division, from a table of the hundred pairs.
    void Digits(unsigned long long value, int width) {
        Room(24);
        char* out = stage_ + used_;
        int i = width;
        for (; i >= 2; i -= 2) {
            const unsigned r = static_cast<unsigned>(value % 100);
            value /= 100;
            std::memcpy(out + i - 2, kPairs + 2 * r, 2);
        }
        if (i == 1) out[0] = static_cast<char>('0' + value % 10);
        used_ += static_cast<size_t>(width);
    }
    // Text collected elsewhere, after everything put so far.
    void Put(const std::string& s) {
        Flush();
        std::fwrite(s.data(), 1, s.size(), f_);
    }
    void Flush() {
        Spill();
        if (f_ && !buf_.empty()) {
            std::fwrite(buf_.data(), 1, buf_.size(), f_);
            buf_.clear();
        }
    }

private:
    static constexpr size_t kCap = 1 << 20;
    static constexpr size_t kStage = 4096;
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";

    void Room(size_t n) {
        if (used_ + n > kStage) Spill();
    }
    // The stage into the buffer, and the buffer into the file once it holds a megabyte.
    void Spill() {
        buf_.append(stage_, used_);
        used_ = 0;
        if (f_ && buf_.size() >= kCap) {
            std::fwrite(buf_.data(), 1, buf_.size(), f_);
            buf_.clear();
        }
    }

    FILE* f_;
    std::string& buf_;
    char stage_[kStage];
    size_t used_ = 0;
};

// Digit positions and layout periods are whole numbers far below 2^53, so their remainder
// is taken exactly in integers (a libm fmod per group of ten digits cost more than the
// digits themselves). A period of 0 has no multiples: -1.
long long Remainder(double p, double q) {
    const long long d = std::llabs(static_cast<long long>(q));
    return d == 0 ? -1 : static_cast<long long>(p) % d;
}
bool IsMultiple(double p, double q) { return Remainder(p, q) == 0; }

// " : N", the position counter at the end of a line.
void PutCounter(Text& t, double p) {
    char s[32];
    int i = sizeof s;
    s[--i] = 0;
    auto v = static_cast<unsigned long long>(p);
    do {
        s[--i] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    s[--i] = ' ';
    s[--i] = ':';
    s[--i] = ' ';
    t.Put(s + i);
}

void Separator(Text& t, double p, const OutputFormat& fmt) {
    if (fmt.space10) t.Put(' ');
    if (IsMultiple(p, 50)) {
        if (fmt.space50) t.Put(' ');
        if (IsMultiple(p, 100) && fmt.space100) t.Put(' ');
    }
    if (fmt.newLineEvery > 0 && IsMultiple(p, static_cast<double>(fmt.newLineEvery))) {
        if (fmt.counter) PutCounter(t, p);
        t.Put('\n');
        if (fmt.emptyLineEvery != 0 && IsMultiple(p, static_cast<double>(fmt.emptyLineEvery)))
            t.Put('\n');
    }
}

// Limb widths the writer supports: every width used when a limb is split at a group of
// ten stays even, so 10 splits into a 2-digit high part and an 8-digit low part.
bool SupportedWidth(int k) { return k == 2 || k == 4 || k == 6 || k == 8 || k == 10 || k == 12; }

void LimbDigits(Text& t, double value, int width) {
    if (width == 10 || width == 12) {
        double high = std::floor(value / 1e8);
        t.Digits(static_cast<unsigned long long>(high), width - 8);
        t.Digits(static_cast<unsigned long long>(value - high * 1e8), 8);
    } else if (SupportedWidth(width)) {
        t.Digits(static_cast<unsigned long long>(value), width);
    }
}

// Reads blocks of raw limbs of a, and gives the limbs of |a| from them (0 outside the
// number); the second part reads nothing else, so any thread may do it.
// A negative number in complement form, top limb t < 0 over lower limbs l_i, has absolute
// value with limbs: 0 below the lowest nonzero limb z, B - l_z at z, B - 1 - l_i above it,
// and -t - 1 at the top (or -t when z is the top itself): the nines' complement plus the
// one that ripples up through the zero limbs.
class LimbReader {
public:
    LimbReader(numbers::MPInt& a, bool negative)
        : a_(a), n_(a._N), base_(std::pow(10.0, a.DigitsPerLimb())), negative_(negative) {
        if (negative_) {
            lowestNonzero_ = n_ - 1;
            std::vector<double> tmp;
            for (long lo = 0; lo < n_ - 1; lo += kBlockLimbs) {
                long cnt = std::min(kBlockLimbs, n_ - 1 - lo);
                tmp.resize(static_cast<size_t>(cnt));
                a_.WriteBuffer(tmp.data(), cnt, lo);
                auto it = std::find_if(tmp.begin(), tmp.end(), [](double v) { return v != 0; });
                if (it != tmp.end()) {
                    lowestNonzero_ = lo + (it - tmp.begin());
                    break;
                }
            }
        }
    }
    // Raw limbs lo .. lo + count - 1 of a (count <= kBlockLimbs), 0 outside the number.
    void ReadRaw(double* buf, long lo, long count) {
        const long from = std::clamp(lo, 0L, n_), to = std::clamp(lo + count, 0L, n_);
        std::fill(buf, buf + count, 0.0);
        if (from < to) a_.WriteBuffer(buf + (from - lo), to - from, from);
    }
    // The limb of |a| at index i, from the raw limb v of a there; reads no shared state.
    double Magnitude(long i, double v) const {
        if (i < 0 || i >= n_) return 0;
        if (!negative_) return v;
        if (i < lowestNonzero_) return 0;
        if (i == n_ - 1) return i == lowestNonzero_ ? -v : -v - 1;
        if (i == lowestNonzero_) return base_ - v;
        return base_ - 1 - v;
    }

private:
    numbers::MPInt& a_;
    long n_;
    double base_;
    bool negative_;
    long lowestNonzero_ = 0;
};

// The digits after the point in a range, limb by limb. Fractional limb f (0 = first after
// the point) holds positions f k + 1 .. f k + k, so the text of a run of limbs depends on
// nothing but its first limb: runs converted apart and put end to end give the text of the
// whole range. Read-only once built, shared by the threads that convert.
struct Fraction {
    const OutputFormat& fmt;
    const LimbReader& reader;
    double start, end;
    int k;
    long top;  // index in a of fractional limb 0
    double pow10[13];

    // Fractional limbs fl .. fl + count - 1; raw[j] is the raw limb at index
    // top - fl - count + 1 + j (the order of a's limbs, the lowest first).
    void Convert(Text& t, double fl, long count, const double* raw) const {
        double position = fl * k;
        double g = static_cast<double>(Remainder(position, 10));
        for (long j = count - 1; j >= 0; --j, fl += 1) {
            const double v = reader.Magnitude(top - static_cast<long>(fl), raw[j]);
            if (position >= start + k && position + k <= end && SupportedWidth(k)) {
                double room = 10 - g;
                if (room >= k) {
                    LimbDigits(t, v, k);
                    position += k;
                    g += k;
                } else {
                    int lowWidth = k - static_cast<int>(room);
                    double high = std::floor(v / pow10[lowWidth]);
                    LimbDigits(t, high, static_cast<int>(room));
                    position += room;
                    Separator(t, position, fmt);
                    LimbDigits(t, v - high * pow10[lowWidth], lowWidth);
                    g = lowWidth;
                    position += g;
                }
                if (g == 10) {
                    Separator(t, position, fmt);
                    g = 0;
                }
            } else {
                // A limb across a range edge: one digit at a time, most significant first.
                // Separators and counters follow absolute positions, inside the range only.
                for (int i = k - 1; i >= 0; --i) {
                    double q = std::floor(v / pow10[i]);
                    long digit = static_cast<long>(q - 10 * std::floor(q / 10));
                    position += 1;
                    g += 1;
                    if (g == 10) g = 0;
                    bool inside = start < position && position <= end;
                    if (inside) {
                        char s[4] = {static_cast<char>('0' + digit), 0};
                        t.Put(s);
                    }
                    if (g == 0 && inside) Separator(t, position, fmt);
                }
            }
        }
    }
};

void Digits(FILE* f, numbers::MPInt& a, int sign, double start, double end,
            const OutputFormat& fmt) {
    std::string buf;
    Text t(f, buf);
    const int k = a.DigitsPerLimb();
    const long L = a._N;
    const long m = L + a.Exponent();  // integer limbs
    const long mTop = std::max(m, 0L);
    LimbReader reader(a, sign == -1);
    Fraction fraction{fmt, reader, start, end, k, L - mTop - 1, {}};
    fraction.pow10[0] = 1;
    for (int i = 1; i <= 12; ++i) fraction.pow10[i] = fraction.pow10[i - 1] * 10;

    if (sign == -1 && start == 0) t.Put('-');
    if (m <= 0) {
        if (m < 0) {
            char s[48];
            std::snprintf(s, sizeof s, "10^(%ld) * ", m * k);
            t.Put(s);
        }
        t.Put("0.\n");
    } else if (start == 0) {
        // Integer limbs L-1 .. L-m (those below limb 0 are zero), leading zeros skipped.
        bool any = false;
        std::vector<double> raw;
        for (long hi = L - 1; hi >= L - m; hi -= kBlockLimbs) {
            const long lo = std::max(hi - kBlockLimbs + 1, L - m);
            raw.resize(static_cast<size_t>(hi - lo + 1));
            reader.ReadRaw(raw.data(), lo, hi - lo + 1);
            for (long j = hi; j >= lo; --j) {
                double v = reader.Magnitude(j, raw[static_cast<size_t>(j - lo)]);
                if (!any) {
                    if (v == 0) continue;
                    char s[48];
                    std::snprintf(s, sizeof s, "%.0lf", v);
                    t.Put(s);
                    any = true;
                } else {
                    LimbDigits(t, v, k);
                }
            }
        }
        // A negative number above -1 has integer limbs whose magnitudes are all 0.
        t.Put(any ? ".\n" : "0.\n");
    }

    // The fractional limbs of the range, in blocks of kBlockLimbs: read in order, converted
    // on the threads of the run into texts of their own (one thread: straight into t), and
    // written in order.
    const double firstLimb = std::floor(start / k);
    const long limbs = static_cast<long>(std::floor(end / k) + 1 - firstLimb);
    const long blocks = (limbs + kBlockLimbs - 1) / kBlockLimbs;
    const BlockPipeline pipeline(blocks);
    struct Slot {
        std::vector<double> raw;
        std::string text;
    };
    std::vector<Slot> slots(static_cast<size_t>(pipeline.Slots()));
    auto first = [&](long b) { return firstLimb + static_cast<double>(b * kBlockLimbs); };
    auto count = [&](long b) { return std::min(kBlockLimbs, limbs - b * kBlockLimbs); };
    pipeline.Run(
        [&](long b, long s) {
            std::vector<double>& raw = slots[static_cast<size_t>(s)].raw;
            raw.resize(static_cast<size_t>(count(b)));
            reader.ReadRaw(raw.data(), fraction.top - static_cast<long>(first(b)) - count(b) + 1,
                           count(b));
        },
        [&](long b, long s) {
            Slot& slot = slots[static_cast<size_t>(s)];
            if (!pipeline.Batched()) {
                fraction.Convert(t, first(b), count(b), slot.raw.data());
                return;
            }
            slot.text.clear();
            Text own(nullptr, slot.text);
            fraction.Convert(own, first(b), count(b), slot.raw.data());
        },
        [&](long, long s) {
            if (pipeline.Batched()) t.Put(slots[static_cast<size_t>(s)].text);
        });
    t.Put('\n');
}

// Whether `file` names the same file as one of `files` (through any path or link).
bool IsOneOf(const std::string& file, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        std::error_code ec;
        if (f == file || std::filesystem::equivalent(f, file, ec)) return true;
    }
    return false;
}

// Whether the temporary file of `name` can be created here (the dialogue asks again
// instead of ending the program).
bool CanCreate(const std::string& name) {
    const std::string temp = name + core::kIncompleteSuffix;
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) return false;
    std::fclose(f);
    std::remove(temp.c_str());
    return true;
}

}  // namespace

void WriteLimbDigits(FILE* f, double value, int width) {
    std::string buf;
    Text t(f, buf);
    LimbDigits(t, value, width);
}

void WriteSeparator(FILE* f, double p, const OutputFormat& format) {
    std::string buf;
    Text t(f, buf);
    Separator(t, p, format);
}

void WriteDigits(FILE* f, numbers::MPInt& a, int sign, double start, double end,
                 const OutputFormat& format) {
    Digits(f, a, sign, start, end, format);
}

void WriteResult(numbers::MPInt& a, const char* name, double digits, FILE* stream,
                 long formatRequest, long rangeRequest, const std::vector<std::string>& sources) {
    using core::Print;
    const char* const kLine = "===========================\n";
    double start = 0, end = digits, x = 0, y = 0;
    FILE* out = stream;
    // A file the dialogue creates appears only complete, under its name, after the last
    // digit (a failed write, such as a full disk, ends the program with a message).
    std::unique_ptr<core::AtomicFile> file;

    if (!out) {
        Print("%s|      OUTPUT FILE        |\n%s\n", kLine, kLine);
        const char* prompt = "Output [0=standard output, 1=file] : ";
        Print("%s", prompt);
        if (core::ReadLong(prompt) == 0) {
            out = core::ConsoleOut();
        } else {
            for (;;) {
                Print("Enter file name : ");
                std::string fileName = core::ReadWord();
                // Creating the file would empty a file the digits are still read from.
                if (IsOneOf(fileName, sources)) {
                    Print("The file %s holds the result being written, please choose another "
                          "name.\n",
                          fileName.c_str());
                    continue;
                }
                if (CanCreate(fileName)) {
                    file = std::make_unique<core::AtomicFile>(fileName, "w");
                    out = file->get();
                    break;
                }
                Print("Cannot create the file %s, please choose another name.\n", fileName.c_str());
            }
        }
    }
    if (rangeRequest == 0) {
        Print("%s|       DIGITS RANGE      |\n%s\n", kLine, kLine);
        Print("Number of decimal digits : %.0lf\n", digits);
        const char* prompt =
            "All digits [0], range specification [1], x digits every y digits [2] ? : ";
        // A range outside the digits is reported and the range asked again: ending here
        // would write nothing and still end the program as a success.
        for (;;) {
            Print("%s", prompt);
            const long answer = core::ReadLong(prompt);
            x = 0;
            y = 0;
            if (answer == 0) {
                start = 0;
                end = digits;
            } else if (answer == 1) {
                Print("Enter start index of digit : ");
                start = core::ReadDouble("Enter start index of digit : ");
                Print("Enter end index of digit : ");
                end = core::ReadDouble("Enter end index of digit : ");
            } else {
                Print("Enter x : ");
                x = core::ReadDouble("Enter x : ");
                Print("Enter y : ");
                y = core::ReadDouble("Enter y : ");
                start = 0;
                end = x;
            }
            // A period y <= 0 would never advance through the digits.
            if (end <= digits && start < end && start >= 0 && (x == 0 || y > 0)) break;
            Print("ERROR, invalid parameters\n");
        }
    }

    OutputFormat fmt;
    if (formatRequest == -1) {
        Print("%s|      OUTPUT FORMAT      |\n%s\n", kLine, kLine);
        const char* prompt = "Enter output format [0=Default, 1=Custom] : ";
        Print("%s", prompt);
        if (core::ReadLong(prompt) == 1) {
            auto ask = [](const char* p) {
                Print("%s", p);
                return core::ReadLong(p);
            };
            fmt.newLineEvery = ask("New line every x digits (x=0 if not): x=");
            if (fmt.newLineEvery != 0) {
                fmt.counter = ask("Decimal counter every line [0=No, 1=Yes] : ");
                fmt.emptyLineEvery = ask("Empty line every x lines (x=0 if not): x=");
                fmt.emptyLineEvery *= fmt.newLineEvery;
            }
            fmt.space10 = ask("Space every 10 digits [0=No, 1=Yes] : ");
            if (fmt.newLineEvery > 50) fmt.space50 = ask("Space every 50 digits [0=No, 1=Yes] : ");
            if (fmt.newLineEvery > 100)
                fmt.space100 = ask("Space every 100 digits [0=No, 1=Yes] : ");
        }
    }

    Print("\n");
    int sign = a.Sign();
    if (x != 0) {
        std::fprintf(out, "%s digits : %.0lf digits every %.0lf digits\n", name ? name : "", x, y);
        if (sign == -1) std::fprintf(out, "Negative number\n");
        for (double p = 0; p < digits; p += y)
            Digits(out, a, sign, p, std::min(p + x, digits), fmt);
    } else if (start != 0) {
        std::fprintf(out, "%s digits between digit %.0lf and digit %.0lf\n", name ? name : "",
                     start + 1, end);
        Digits(out, a, sign, start, end, fmt);
    } else {
        if (name) {
            std::fprintf(out, "%s with %.0lf digits : \n", name, end);
            std::fprintf(out, "%s = ", name);
        }
        Digits(out, a, sign, start, end, fmt);
    }
    if (file) {
        file->Flush();  // reports the reason of a failed write while errno still holds it
        file->Commit();
    } else {
        std::fflush(out);
    }
}

}  // namespace zeprix::output
