// Two kinds of checks: debug-only preconditions and always-on guards.
#pragma once

#include "core/fatal.hpp"

// ZEPRIX_ASSERT: a precondition checked in debug and sanitizer builds only.
#if defined(ZEPRIX_DEBUG_ASSERTS)
#define ZEPRIX_ASSERT(cond)                                                                \
    do {                                                                                   \
        if (!(cond))                                                                       \
            ::zeprix::core::FatalError("Internal check failed: " #cond " (" __FILE__ ")"); \
    } while (0)
#else
#define ZEPRIX_ASSERT(cond) ((void)0)
#endif

// ZEPRIX_CHECK: an always-on guard that stops wrong digits from looking right. It must be
// cheap; msg is the exact fatal message.
#define ZEPRIX_CHECK(cond, msg)              \
    do {                                     \
        if (!(cond)) [[unlikely]]            \
            ::zeprix::core::FatalError(msg); \
    } while (0)
