// Shared test helpers: GMP oracle conversions, seeded operands, canaries, an owning BigInt,
// temporary directories, the console and the fatal path.
#include "support/test_support.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zeprix::test {

std::string Mpz::str() const {
    std::string s(mpz_sizeinbase(v, 10) + 2, '\0');
    mpz_get_str(s.data(), 10, v);
    return s.c_str();
}

Mpz LimbsToMpz(const double* limbs, long n, double base) {
    if (n <= 1) return Mpz(n == 1 ? static_cast<long>(limbs[0]) : 0L);
    Mpz r = LimbsToMpz(limbs + n / 2, n - n / 2, base), p;
    mpz_ui_pow_ui(p.v, static_cast<unsigned long>(base), static_cast<unsigned long>(n / 2));
    mpz_mul(r.v, r.v, p.v);
    mpz_add(r.v, r.v, LimbsToMpz(limbs, n / 2, base).v);
    return r;
}

Mpz ToMpz(const numbers::SmallInt& a) { return LimbsToMpz(a.Limbs, a._N, 1e8); }

Mpz MantissaToMpz(const numbers::BigInt& a) { return LimbsToMpz(a.Limbs, a._N, 1e12); }

Mpz ToMpz(const numbers::BigInt& a) {
    if (a.Exp < 0) throw std::runtime_error("ToMpz: negative exponent");
    return Mul(MantissaToMpz(a), Pow10(12 * a.Exp));
}

// Canonical limbs of x (w decimal digits each) into r.Limbs: the decimal digits of
// x + 10^(w n) cut into limbs, 10^w taken off the top for a negative x, high zero limbs
// dropped and a run of (10^w - 1) limbs under a -1 top folded into it; with shortTop the
// -1 top of a negative x is then merged into the limb below.
template <class Number>
void SetLimbs(const mpz_t x, Number& r, int w, bool shortTop) {
    const double base = std::pow(10.0, w);
    const long n = static_cast<long>(mpz_sizeinbase(x, 10)) / w + 2;
    Mpz c = Pow10(w * n);
    mpz_sgn(x) < 0 ? mpz_add(c.v, c.v, x) : mpz_set(c.v, x);
    const std::string s = std::string(static_cast<std::size_t>(w * n), '0') + c.str();
    std::vector<double> l(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i)
        l[static_cast<std::size_t>(i)] = std::stod(s.substr(
            s.size() - static_cast<std::size_t>(w * (i + 1)), static_cast<std::size_t>(w)));
    if (mpz_sgn(x) < 0) l.back() -= base;
    while (l.size() > 1 && l.back() == 0) l.pop_back();
    for (; l.size() > 1 && l.back() == -1.0 && l[l.size() - 2] == base - 1; l.back() = -1.0)
        l.pop_back();
    if (shortTop && l.size() > 1 && l.back() == -1.0 && l[l.size() - 2] > 0) {
        l.pop_back();
        l.back() -= base;
    }
    if (r.SizeAlloc < static_cast<long>(l.size())) throw std::runtime_error("FromMpz: capacity");
    std::copy(l.begin(), l.end(), r.Limbs);
    r._N = static_cast<long>(l.size());
}

void FromMpz(const mpz_t x, numbers::SmallInt& r) {
    r.Alloc(static_cast<long>(mpz_sizeinbase(x, 10)) / 8 + 3);
    SetLimbs(x, r, 8, false);
}

void FromMpz(const mpz_t x, numbers::BigInt& r, bool shortTop) {
    SetLimbs(x, r, 12, shortTop);
    r.Exp = 0;
}

bool IsCanonical(const double* limbs, long n, double base) {
    const double top = n >= 1 ? limbs[n - 1] : 0.5;
    return std::all_of(limbs, limbs + std::max(0L, n - 1),
                       [base](double l) { return l >= 0 && l < base; }) &&
           top == std::floor(top) &&
           (n == 1 || (top != 0 && !(top == -1 && limbs[n - 2] == base - 1)));
}

static Mpz Apply(void (*f)(mpz_ptr, mpz_srcptr, mpz_srcptr), const Mpz& x, const Mpz& y) {
    Mpz r;
    f(r.v, x.v, y.v);
    return r;
}

Mpz Add(const Mpz& x, const Mpz& y) { return Apply(mpz_add, x, y); }
Mpz Sub(const Mpz& x, const Mpz& y) { return Apply(mpz_sub, x, y); }
Mpz Mul(const Mpz& x, const Mpz& y) { return Apply(mpz_mul, x, y); }
Mpz FloorDiv(const Mpz& x, const Mpz& y) { return Apply(mpz_fdiv_q, x, y); }

Mpz Pow10(long e) {
    Mpz p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(e));
    return p;
}

Mpz DropDigits(const Mpz& x, long k) { return FloorDiv(x, Pow10(k)); }

::testing::AssertionResult SameValue(const Mpz& got, const Mpz& want) {
    if (mpz_cmp(got.v, want.v) == 0) return ::testing::AssertionSuccess();
    auto shown = [](const std::string& s) {  // long values: both ends and the length
        return s.size() <= 120 ? s
                               : s.substr(0, 50) + " .. " + s.substr(s.size() - 50) + " (" +
                                     std::to_string(s.size()) + " chars)";
    };
    return ::testing::AssertionFailure()
           << "got " << shown(got.str()) << "\nwant " << shown(want.str()) << SeedNote();
}

static std::uint64_t Seed() {
    static const char* s = std::getenv("ZEPRIX_TEST_SEED");
    return s ? std::strtoull(s, nullptr, 10) : 20261206ULL;
}

std::string SeedNote() { return " (ZEPRIX_TEST_SEED=" + std::to_string(Seed()) + ")"; }

std::mt19937_64& Rng() {
    static std::mt19937_64 rng(Seed());
    return rng;
}

long RandomLong(long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(Rng()); }

static Mpz WithRandomSign(Mpz x, bool allowNegative) {
    if (allowNegative && (Rng()() & 1)) mpz_neg(x.v, x.v);
    return x;
}

Mpz RandomDigits(long digits) {
    std::string s(1, static_cast<char>('0' + RandomLong(1, 9)));
    for (long i = 1; i < digits; ++i) s.push_back(static_cast<char>('0' + RandomLong(0, 9)));
    return Mpz(s.c_str());
}

Mpz RandomSigned(long digits, bool allowNegative) {
    return WithRandomSign(RandomDigits(RandomLong(1, digits)), allowNegative);
}

Mpz AllNines(long digits) {
    Mpz r = Pow10(digits);
    mpz_sub_ui(r.v, r.v, 1);
    return r;
}

Mpz CarryHeavy(long digits, bool allowNegative) {
    std::string s;
    while (static_cast<long>(s.size()) < digits) {
        const long kind = RandomLong(0, 2), run = RandomLong(1, 40);
        for (long i = 0; i < run && static_cast<long>(s.size()) < digits; ++i)
            s.push_back(kind == 0   ? '9'
                        : kind == 1 ? '0'
                                    : static_cast<char>('0' + RandomLong(0, 9)));
    }
    if (s[0] == '0') s[0] = '9';
    return WithRandomSign(Mpz(s.c_str()), allowNegative);
}

Mpz RandomLimbs(long n, bool allowNegative) {
    return WithRandomSign(RandomDigits(12 * n - RandomLong(0, 10)), allowNegative);
}

Mpz RepeatedLimb(long n, double limb, bool negative) {
    const std::string digits = std::to_string(static_cast<long>(limb)),
                      l = std::string(12 - digits.size(), '0') + digits;
    std::string s = negative ? "-" : "";
    for (long i = 0; i < n; ++i) s += l;
    return Mpz(s.c_str());
}

static constexpr double kCanary = -4242.0;

void SetCanaries(double* p) { std::fill(p, p + kCanaryLimbs, kCanary); }

bool CanariesIntact(const double* p) {
    return std::all_of(p, p + kCanaryLimbs, [](double v) { return v == kCanary; });
}

Big::Big(long capacity) {
    b.Alloc(capacity + 1 + kCanaryLimbs);
    b.SizeAlloc = capacity;
    b.Limbs[capacity] = 0;
    SetCanaries(b.Limbs + capacity + 1);
}

Big::Big(const Mpz& x, long capacity, bool shortTop) : Big(capacity) { FromMpz(x.v, b, shortTop); }

bool Big::Intact() const {
    return b.Limbs[b.SizeAlloc] == 0 && CanariesIntact(b.Limbs + b.SizeAlloc + 1);
}

TempWorkDir::TempWorkDir() {
    prev_ = std::filesystem::current_path();
    std::string tmpl = (std::filesystem::temp_directory_path() / "zeprix-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
}

TempWorkDir::~TempWorkDir() {
    std::error_code ec;
    std::filesystem::current_path(prev_, ec);
    std::filesystem::remove_all(dir_, ec);
}

ProgramRun RunProgram(const char* exe, const std::string& input, const RunOptions& o) {
    const char* inputFile = "zeprix-test-input.txt";
    std::ofstream(inputFile) << input;  // closed at the end of the statement
    std::vector<std::string> words = {exe};
    words.insert(words.end(), o.args.begin(), o.args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::FILE* err = std::tmpfile();
    int pipeFds[2];
    if (!err || pipe(pipeFds) != 0) throw std::runtime_error("no pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        if (o.threads && *o.threads)
            setenv("ZEPRIX_THREADS", o.threads, 1);
        else if (o.threads)
            unsetenv("ZEPRIX_THREADS");
        dup2(open(inputFile, O_RDONLY), 0);
        dup2(pipeFds[1], 1);
        dup2(o.apartErr ? fileno(err) : pipeFds[1], 2);
        close(pipeFds[0]);
        const rlimit r{static_cast<rlim_t>(o.fileLimit), static_cast<rlim_t>(o.fileLimit)};
        if (o.fileLimit > 0) setrlimit(RLIMIT_FSIZE, &r);
        execv(exe, argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (o.sig) {
        std::this_thread::sleep_for(o.delay);
        kill(pid, o.sig);
    }
    ProgramRun run;
    char buf[4096];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
        run.out.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    std::rewind(err);
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;) run.err.append(buf, n);
    std::fclose(err);
    std::remove(inputFile);
    return run;
}

FileSizeLimit::FileSizeLimit(long bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

::testing::AssertionResult NoIncompleteFiles() {
    for (const auto& e : std::filesystem::directory_iterator("."))
        if (e.path().string().find(".incomplete") != std::string::npos)
            return ::testing::AssertionFailure() << e.path() << " left";
    return ::testing::AssertionSuccess();
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return "";
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string MemoryFile(const std::function<void(FILE*)>& write) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    write(f);
    std::fclose(f);
    std::string s(buf, len);
    std::free(buf);
    return s;
}

std::string ResultValue(const std::string& text, const std::string& name, long digits) {
    const std::string head =
        name + " with " + std::to_string(digits) + " digits : \n" + name + " = ";
    const size_t at = text.find(head);
    if (at == std::string::npos) return "missing heading";
    std::string v;
    for (size_t i = at + head.size(); i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':')  // a counter: skipped to the end of its line
            while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        else if ((c >= '0' && c <= '9') || (c == '-' && v.empty()) ||
                 (c == '.' && v.find('.') == std::string::npos))
            v += c;
    }
    return v;
}

long Occurrences(const std::string& text, const std::string& part) {
    long n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

::testing::AssertionResult SameText(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    const auto d = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    return ::testing::AssertionFailure()
           << "first difference at character " << d.first - got.begin() << " of " << got.size()
           << " (want " << want.size() << "): " << got.substr(0, 60);
}

std::string ExpectProgramExit(const std::function<void()>& f, int status) {
    ConsoleCapture io("\n");
    try {
        f();
    } catch (const core::ProgramExit& e) {
        EXPECT_EQ(e.status(), status) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "the program did not end early";
    return "";
}

}  // namespace zeprix::test
