// Tuning constants of the Newton operations (see docs/notes/newton_division.md).
#pragma once

namespace zeprix::newton {

// The precision schedule of the reciprocal restarts once, after the first step that
// reaches this many limbs...
inline constexpr long kRestartLength = 256;
// ...cutting y to T + 2 limbs, T = half the capacity halved (rounding up) until it is at
// most this.
inline constexpr long kRestartBase = 240;

// Limbs of the numerator that the product eps1 num may ignore lie more than this many
// limbs below eps1's reach (they change the product by less than 10^(-12 kHiddenGuard)
// units of the numerator's last limb).
inline constexpr long kHiddenGuard = 100;

}  // namespace zeprix::newton
