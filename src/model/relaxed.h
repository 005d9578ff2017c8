#pragma once

#include <atomic>
#include <cstdint>

namespace tw {

// A word shared between the user-interface thread and the audio or MIDI thread.
// Every access is a relaxed atomic load or store (a plain move on x86), so the
// program is free of data races in the C++ sense without paying for fences; the
// design never needs ordering between two shared words, only that each word is
// read whole. The wrapper converts to and from T so that record fields read like
// plain fields.
template <typename T> class Relaxed {
public:
    Relaxed() noexcept : value_(T{}) {}
    Relaxed(T v) noexcept : value_(v) {} // NOLINT(google-explicit-constructor)
    Relaxed(const Relaxed& other) noexcept : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }
    operator T() const noexcept { return load(); } // NOLINT(google-explicit-constructor)

    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

static_assert(sizeof(Relaxed<int32_t>) == 4 && std::atomic<int32_t>::is_always_lock_free);
static_assert(sizeof(Relaxed<float>) == 4 && std::atomic<float>::is_always_lock_free);

} // namespace tw
