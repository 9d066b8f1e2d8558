// The series of e on the binary-splitting engine (shared by the standard mode and the
// disk driver of EConstant).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/check.hpp"
#include "core/console.hpp"
#include "series/e_constant.hpp"
#include "series/split_series.hpp"

namespace zeprix::series {

namespace e_detail {
inline constexpr std::int64_t kLimb8 = 100000000;  // the SmallInt base
// floor(t / 10^8) for |t| < 2^62.
inline std::int64_t FloorDiv8(std::int64_t t) {
    std::int64_t q = t / kLimb8;
    if (t - q * kLimb8 < 0) --q;
    return q;
}

}  // namespace e_detail

// The series of e on the engine: a(n) = 1 (no A), q(n) = n, c(n) = 1; for method 1 every
// term carries the absolute sign (-1)^n.
class EConstant::Series : public SplitSeries {
public:
    long method = 0;
    double N = 0;
    long babyThreshold = 1;
    long dotCounter = 1;

    bool IsLastBlock(double n0, double n1) const override {
        return n1 - n0 <= static_cast<double>(babyThreshold);
    }

    // Horner from the last term down: the block (k-1, n1) has Q' = k Q and
    // P' = P + Q (method 0) or P' = P + s Q with the sign s = (-1)^k (method 1).
    // One pass over the base-10^8 limbs does both, in int64:
    //   P[i] + s Q[i] + cp      |.| < 2 10^8 + 2   -> limb in [0, 10^8), cp in {-2 .. 1}
    //   Q[i] k + cq             |.| < 10^8 N + cq  -> limb in [0, 10^8), 0 <= cq < N
    // (k <= N < 2^31, so every value stays far below 2^63). P's limbs stay canonical below
    // a signed top (|P| < 2 Q), Q's are nonnegative.
    void LastBabyStep(double n0, double n1, numbers::SmallInt*, numbers::SmallInt& P,
                      numbers::SmallInt& Q) override {
        int s = (method == 0 || FloorWhole(n1 / 2) * 2 == n1) ? 1 : -1;
        P.Set(s);
        Q.Set(n1);
        const long cap = std::min(P.SizeAlloc, Q.SizeAlloc);
        double* p = P.Limbs;
        double* q = Q.Limbs;
        long np = P._N, nq = Q._N;
        for (double k = n1 - 1; k > n0; k -= 1) {
            if (method != 0) s = -s;
            const std::int64_t ki = static_cast<std::int64_t>(k);
            std::int64_t cp = 0, cq = 0;
            const long n = std::max(np, nq);
            ZEPRIX_CHECK(n + 2 <= cap, "Error in EConstant::LastBabyStep, work areas too small");
            for (long i = 0; i < n; ++i) {
                const std::int64_t pi = i < np ? static_cast<std::int64_t>(p[i]) : 0;
                const std::int64_t qi = i < nq ? static_cast<std::int64_t>(q[i]) : 0;
                std::int64_t t = pi + s * qi + cp;
                cp = e_detail::FloorDiv8(t);
                p[i] = static_cast<double>(t - cp * e_detail::kLimb8);
                t = qi * ki + cq;
                cq = t / e_detail::kLimb8;
                q[i] = static_cast<double>(t - cq * e_detail::kLimb8);
            }
            np = nq = n;
            // A pending borrow below a negative top: P ends with the top limb cp (signed).
            if (cp != 0) p[np++] = static_cast<double>(cp);
            while (cq != 0) {
                q[nq++] = static_cast<double>(cq % e_detail::kLimb8);
                cq /= e_detail::kLimb8;
            }
        }
        P._N = np;
        Q._N = nq;
        P.Trim();
        Q.Trim();
    }

    // The left part carries half of the block's size (ln of its factors), not half of
    // its terms: m - n0 ~ (L/2) (ln n1 - 1) / (ln m - 1), two fixed-point rounds.
    double SplitPoint(double n0, double n1) const override {
        const double L = n1 - n0;
        const double mid = FloorWhole((n0 + n1) / 2);
        double m = mid;
        for (int i = 0; i < 2; ++i) m = n0 + (L / 2) * (std::log(n1) - 1) / (std::log(m) - 1);
        m = FloorWhole(m);
        if (!(m > n0 && m < n1)) m = mid;  // tiny blocks near the start of the series
        return m;
    }

    int ExpectedSign(double n0) const override {
        if (method == 0) return 1;
        return FloorWhole(n0 / 2) * 2 == n0 ? -1 : 1;
    }
    const char* WrongSignMessage() const override {
        return "A does not have the right sign in GiantStep";
    }
    std::unique_ptr<SplitSeries> CloneForThread() const override {
        auto twin = std::make_unique<Series>();
        twin->method = method;
        twin->N = N;
        twin->babyThreshold = babyThreshold;
        return twin;
    }

    // Up to eight dots per series.
    void AfterJoin(double n0, double) override {
        if (9 * n0 > static_cast<double>(dotCounter) * N) {
            core::Print(".");
            ++dotCounter;
        }
    }
};

}  // namespace zeprix::series
