// The stop and resume points that a driver of the recursion and of the step loop relies on:
// a computation stopped by a hook and continued from what its numbers hold gives the same
// block as one that never stopped. The numbers are GMP integers here, so the recursion's
// split, views and join are checked against the series' one-term recurrence.
#include <gtest/gtest.h>

#include <vector>

#include "recurrence.hpp"
#include "series/split_tree.hpp"
#include "series/step_sum.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

// A store whose blocks are GMP numbers; the right half lives in a tail that the store keeps
// (like a disk tail, it stays when the recursion stops), and the hooks stop after the left
// half at depth 0 once, or skip that half when resuming.
struct GmpStore : series::SplitHooks {
    using Block = Abc*;
    struct Tail {
        Abc* abc;
        Tail(GmpStore& s, Block) : abc(&s.tails.emplace_back()) {}
        Block block() { return abc; }
    };
    std::vector<Abc> tails;
    bool stopAfterLeft = false, resuming = false;
    int joins = 0;

    GmpStore() { tails.reserve(64); }  // the tails never move while views of them live
    static bool IsLeaf(double n0, double n1) { return n1 - n0 <= 2; }
    static void Leaf(double n0, double n1, Block b, long) { *b = Recurrence(n0, n1); }
    static double Split(double n0, double n1) {
        return static_cast<double>(static_cast<long>((n0 + n1) / 2));
    }
    bool RunLeft(double, double, int depth) { return depth > 0 || !resuming; }
    bool HalfDone(int half, int depth) { return !(depth == 0 && half == 0 && stopAfterLeft); }
    void Join(double, double, Block l, Block r, long doA) {
        mpz_mul(l->P.v, l->P.v, r->Q.v);
        mpz_addmul(l->P.v, l->A.v, r->P.v);
        if (doA) mpz_mul(l->A.v, l->A.v, r->A.v);
        mpz_mul(l->Q.v, l->Q.v, r->Q.v);
        ++joins;
    }
};

TEST(ResumePoints, RecursionStoppedAfterTheLeftHalfResumesToTheSameBlock) {
    const Abc expected = Recurrence(0, 57);
    Abc whole;
    GmpStore s;
    EXPECT_TRUE(series::SplitRecursion(s, 0, 57, &whole, 1));
    EXPECT_EQ(mpz_cmp(whole.P.v, expected.P.v), 0);
    EXPECT_EQ(mpz_cmp(whole.Q.v, expected.Q.v), 0);
    EXPECT_EQ(mpz_cmp(whole.A.v, expected.A.v), 0);

    Abc stopped;
    GmpStore first;
    first.stopAfterLeft = true;
    EXPECT_FALSE(series::SplitRecursion(first, 0, 57, &stopped, 1));
    GmpStore second;
    second.resuming = true;
    EXPECT_TRUE(series::SplitRecursion(second, 0, 57, &stopped, 1));
    EXPECT_EQ(first.joins + second.joins, s.joins);  // no join done twice
    EXPECT_EQ(mpz_cmp(stopped.P.v, expected.P.v), 0);
    EXPECT_EQ(mpz_cmp(stopped.Q.v, expected.Q.v), 0);
}

// An exact accumulator: the pair P/Q of the steps already joined (nothing cut), and the
// steps it was given, so that a run stopped after any step and resumed from the next index
// can be compared with one that never stopped.
struct GmpAccumulator {
    Abc acc;
    std::vector<long> order, keeps;
    long stopAt = -1;
    void First(long, double b, double N, long keep) {
        acc = Recurrence(b, N);
        keeps.push_back(keep);
    }
    void Step(long i, double b0, double b1, long keep) {
        const Abc s = Recurrence(b0, b1);
        mpz_mul(acc.P.v, acc.P.v, s.A.v);
        mpz_addmul(acc.P.v, s.P.v, acc.Q.v);
        mpz_mul(acc.Q.v, acc.Q.v, s.Q.v);
        order.push_back(i);
        keeps.push_back(keep);
    }
    bool StepDone(long i) { return i != stopAt; }
};

TEST(ResumePoints, StepLoopStoppedAfterAnyStepResumesWithTheNextOne) {
    const std::vector<double> bounds{0, 10, 20, 30, 41};
    const double N = 50;
    const Abc expected = Recurrence(0, N);
    for (long stop = 4; stop >= 0; --stop) {
        GmpAccumulator run;
        run.stopAt = stop;
        EXPECT_FALSE(series::AccumulateSteps(run, bounds, N, 100, 4));
        EXPECT_TRUE(series::AccumulateSteps(run, bounds, N, 100, stop - 1));
        EXPECT_EQ(run.order, (std::vector<long>{3, 2, 1, 0})) << "stop after step " << stop;
        // The share of the digits each step keeps: R - trunc(b / N R).
        EXPECT_EQ(run.keeps, (std::vector<long>{18, 40, 60, 80, 100}));
        EXPECT_EQ(mpz_cmp(run.acc.P.v, expected.P.v), 0) << stop;
        EXPECT_EQ(mpz_cmp(run.acc.Q.v, expected.Q.v), 0) << stop;
    }
}

}  // namespace
}  // namespace zeprix::test
