#pragma once

#include <cstdint>

namespace tw {

// The program's one small generator (xorshift32): advances `state` (never 0) and returns
// it. The engine's phases and the editor's random choices each own a state of their own.
inline uint32_t NextXorShift(uint32_t& state) noexcept {
    uint32_t x = state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    return x;
}

} // namespace tw
