// The stages of Pi after its series, written once for every storage of the numbers.
#pragma once

#include "core/clock.hpp"
#include "core/console.hpp"

namespace zeprix::series {

// Terms of the two formulas: the constant term, the factor of the result and the number
// whose inverse square root it takes.
struct PiFormula {
    double base;  // 13591409 (Chudnovsky), 1103 (Ramanujan)
    int sign;     // S = base Q - P (Chudnovsky) or base Q + P (Ramanujan)
    double k0;    // 4270934400 or 9801
    long root;    // 10005 or 8
};
PiFormula PiFormulaOf(long method);

// Progress of a Pi computation after its series (a run that stops between stages resumes
// at the first stage not done).
enum PiStage : long { kSeriesDone = -1, kDivisionDone = -2, kInvSqrtDone = -3 };

// With P/Q the sum of the series over k = 1 .. N:
//   Chudnovsky: pi = (Q / (13591409 Q - P)) (4270934400 / sqrt(10005))
//   Ramanujan:  pi = (Q / (1103 Q + P)) (9801 / sqrt(8))
// Ops supplies, on its accumulated pair P, Q:
//   void AddConstantTerm(f)   P = f.base Q + f.sign P (the term k = 0)
//   void DivideQByP()         Q = Q / P
//   void InvSqrtIntoP(root)   P = 1 / sqrt(root)
//   void ScaleP(k0)           P = k0 P
//   void FinalProduct()       the result = Q P
//   bool StageDone(stage)     after each stage; false stops the computation there
// stage is the progress so far (kSeriesDone for a run that just finished the series) and
// is advanced stage by stage. Returns true when the result is formed.
template <class Ops>
bool PiFinalStages(Ops& ops, const PiFormula& f, long& stage) {
    if (stage == kSeriesDone) {
        ops.AddConstantTerm(f);
        const double t0 = core::ElapsedSeconds();
        ops.DivideQByP();
        core::Print("Division time : %.2lf\n", core::ElapsedSeconds() - t0);
        stage = kDivisionDone;
        if (!ops.StageDone(stage)) return false;
    }
    if (stage == kDivisionDone) {
        const double t0 = core::ElapsedSeconds();
        ops.InvSqrtIntoP(f.root);
        core::Print("InvSqrt time : %.2lf\n", core::ElapsedSeconds() - t0);
        ops.ScaleP(f.k0);
        stage = kInvSqrtDone;
        if (!ops.StageDone(stage)) return false;
    }
    const double t0 = core::ElapsedSeconds();
    ops.FinalProduct();
    core::Print("Final huge multiplication time : %.2lf\n", core::ElapsedSeconds() - t0);
    return true;
}

}  // namespace zeprix::series
