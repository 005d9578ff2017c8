#pragma once

// Invariant checks that stay on in debug and sanitizer builds (which define TW_CHECKS)
// and cost nothing in a release build. A check states what the code after it relies on
// at a boundary (an index from a table, a table rebuilt); when it fails the program
// stops there with the condition and its place, instead of corrupting memory later.
#if defined(TW_CHECKS) || !defined(NDEBUG)
#define TW_CHECKS_ON 1
#else
#define TW_CHECKS_ON 0
#endif

namespace tw {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line) noexcept;

} // namespace tw

#if TW_CHECKS_ON
#define TW_ASSERT(condition)                                                                       \
    ((condition) ? static_cast<void>(0) : ::tw::CheckFailed(#condition, __FILE__, __LINE__))
#else
#define TW_ASSERT(condition) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif
