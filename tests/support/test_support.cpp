// Shared test helpers: GMP oracle conversions, seeded randomness, temporary directories.
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zeprix::test {

std::string Mpz::str() const {
    char* s = mpz_get_str(nullptr, 10, v);
    std::string out(s);
    void (*freefunc)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, out.size() + 1);
    return out;
}

void LimbsToMpz(const double* limbs, long n, double base, mpz_t out) {
    mpz_set_ui(out, 0);
    mpz_t b, t;
    mpz_init_set_d(b, base);
    mpz_init(t);
    for (long i = n - 1; i >= 0; --i) {
        mpz_mul(out, out, b);
        mpz_set_d(t, limbs[i]);
        mpz_add(out, out, t);
    }
    mpz_clear(b);
    mpz_clear(t);
}

Mpz ToMpz(const numbers::SmallInt& a) {
    Mpz r;
    LimbsToMpz(a.Limbs, a._N, 1e8, r.v);
    return r;
}

Mpz MantissaToMpz(const numbers::BigInt& a) {
    Mpz r;
    LimbsToMpz(a.Limbs, a._N, 1e12, r.v);
    return r;
}

Mpz ToMpz(const numbers::BigInt& a) {
    Mpz r = MantissaToMpz(a);
    if (a.Exp < 0) throw std::runtime_error("ToMpz: negative exponent");
    Mpz p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * a.Exp));
    mpz_mul(r.v, r.v, p.v);
    return r;
}

// Splits x into canonical limbs of `base` (floor division keeps every limb below the top
// in [0, base), the top limb negative for a negative x).
static std::vector<double> ToLimbs(const mpz_t x, unsigned long base) {
    std::vector<double> out;
    Mpz q, r;
    mpz_set(q.v, x);
    while (true) {
        if (mpz_cmp_si(q.v, 0) >= 0 && mpz_cmp_ui(q.v, base) < 0) {
            out.push_back(mpz_get_d(q.v));
            break;
        }
        if (mpz_cmp_si(q.v, -1) == 0) {
            out.push_back(-1.0);
            break;
        }
        mpz_fdiv_qr_ui(q.v, r.v, q.v, base);
        out.push_back(mpz_get_d(r.v));
    }
    // Fold a run of (base - 1) under a -1 top.
    while (out.size() > 1 && out.back() == -1.0 && out[out.size() - 2] == double(base - 1)) {
        out.pop_back();
        out.back() = -1.0;
    }
    return out;
}

void FromMpz(const mpz_t x, numbers::SmallInt& r) {
    std::vector<double> l = ToLimbs(x, 100000000UL);
    r.Alloc(static_cast<long>(l.size()) + 1);
    for (size_t i = 0; i < l.size(); ++i) r.Limbs[i] = l[i];
    r._N = static_cast<long>(l.size());
}

void FromMpz(const mpz_t x, numbers::BigInt& r) {
    std::vector<double> l = ToLimbs(x, 1000000000000UL);
    if (static_cast<long>(l.size()) > r.SizeAlloc) throw std::runtime_error("FromMpz: capacity");
    for (size_t i = 0; i < l.size(); ++i) r.Limbs[i] = l[i];
    r._N = static_cast<long>(l.size());
    r.Exp = 0;
}

bool IsCanonical(const double* limbs, long n, double base) {
    if (n < 1) return false;
    for (long i = 0; i + 1 < n; ++i)
        if (!(limbs[i] >= 0 && limbs[i] < base)) return false;
    if (n > 1 && limbs[n - 1] == 0) return false;
    if (n > 1 && limbs[n - 1] == -1 && limbs[n - 2] == base - 1) return false;
    return limbs[n - 1] == std::floor(limbs[n - 1]);
}

std::uint64_t Seed() {
    static const std::uint64_t seed = [] {
        const char* s = std::getenv("ZEPRIX_TEST_SEED");
        return s ? std::strtoull(s, nullptr, 10) : 20261206ULL;
    }();
    return seed;
}

std::mt19937_64& Rng() {
    static std::mt19937_64 rng(Seed());
    return rng;
}

Mpz RandomDigits(long digits) {
    std::string s;
    std::uniform_int_distribution<int> d(0, 9), d1(1, 9);
    s.push_back(static_cast<char>('0' + d1(Rng())));
    for (long i = 1; i < digits; ++i) s.push_back(static_cast<char>('0' + d(Rng())));
    return Mpz(s.c_str());
}

Mpz RandomSigned(long digits, bool allowNegative) {
    std::uniform_int_distribution<long> len(1, digits);
    Mpz r = RandomDigits(len(Rng()));
    if (allowNegative && (Rng()() & 1)) mpz_neg(r.v, r.v);
    return r;
}

Mpz AllNines(long digits) {
    Mpz r;
    mpz_ui_pow_ui(r.v, 10, static_cast<unsigned long>(digits));
    mpz_sub_ui(r.v, r.v, 1);
    return r;
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

ProgramRun RunProgram(const char* exe, const std::string& input) {
    const char* inputFile = "zeprix-test-input.txt";
    {
        std::ofstream(inputFile) << input;
    }
    ProgramRun r;
    std::string cmd = std::string("'") + exe + "' < " + inputFile + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("popen failed");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::remove(inputFile);
    return r;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return "";
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
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
