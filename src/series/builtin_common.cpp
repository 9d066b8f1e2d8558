// What the built-in constants (Pi, e, the square root of 2) share beyond the series engine.
#include "series/builtin_common.hpp"

#include <cmath>

#include "numbers/mpint.hpp"

namespace zeprix::series {

void BuiltinTimeFactors(long mode, double factors[10]) {
    static constexpr double kMode0[] = {1.1, 1.3, 1.7, 2.7, 4.7};       // index 1 to 5
    static constexpr double kMode1[] = {1.0, 1.3, 1.8, 3.0, 5.1, 7.3};  // index 1 to 6
    static constexpr double kMode2[] = {1.0, 1.1, 1.2, 1.4, 1.9, 2.5};  // index 2 to 7
    if (mode == 0)
        for (int i = 0; i < 5; ++i) factors[1 + i] = kMode0[i];
    else if (mode == 1)
        for (int i = 0; i < 6; ++i) factors[1 + i] = kMode1[i];
    else
        for (int i = 0; i < 6; ++i) factors[2 + i] = kMode2[i];
}

long MatchKnownGroups(numbers::MPInt& result, double digits, std::span<const KnownGroup> groups) {
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
        if (g->pos >= digits) continue;
        if (std::fabs(result.DigitWindow(g->pos) - g->value) > 0.01) return 0;
    }
    return 1;
}

}  // namespace zeprix::series
