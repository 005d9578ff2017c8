#pragma once

#include "platform/product.h"

#include <cstdint>

namespace tw {

// Capacities of the fixed tables. Nothing in the record grows.
inline constexpr int32_t kSlotCount = 1024;
inline constexpr int32_t kPortsPerSlot = 16;
inline constexpr int32_t kPortCount = kSlotCount * kPortsPerSlot; // 16384
inline constexpr int32_t kActiveListSize = kSlotCount + 1;        // room for the terminator
inline constexpr int32_t kPatchCount = 128;
inline constexpr int32_t kCommentCount = 128;
inline constexpr int32_t kPolygonCount = 256;
inline constexpr int32_t kTextCount = 256;
inline constexpr int32_t kSkinImageCount = 7;
inline constexpr int32_t kSkinFolderCount = 128;
inline constexpr int32_t kKeyCount = 128;
inline constexpr int32_t kControllerCount = 128; // MIDI Control Change numbers
// A design plays at most this many notes at once.
inline constexpr int32_t kMaxVoices = 16;
// The MIDI channel word that listens to every channel (otherwise 1 to 16).
inline constexpr int32_t kAllChannels = 0;
inline constexpr int32_t kDefaultBendRange = 2;
inline constexpr int32_t kMaxBendRange = 48;

// Text field sizes (including the terminator).
inline constexpr int32_t kNameSize = 64;
inline constexpr int32_t kIdentitySize = 128;
inline constexpr int32_t kPathSize = 260;
inline constexpr int32_t kCommentTextSize = 512;
inline constexpr int32_t kPanelTextSize = 256;
inline constexpr int32_t kPatchNameSize = 128;
inline constexpr int32_t kSkinFileNameSize = 64;

// Sentinels: a screen coordinate of 16000 lies off any canvas; an index of -1 names nothing.
inline constexpr int32_t kOffCanvas = 16000;
inline constexpr int32_t kNone = -1;

// The terminator entry that closes the active-object list.
inline constexpr int32_t kTerminatorType = 0;
inline constexpr int32_t kTerminatorSlot = 1023;

// Highest module type number; 20..25 are unassigned.
inline constexpr int32_t kMaxModuleType = 41;

// Plugin target platforms.
inline constexpr int32_t kTarget32Bit = 2432;
inline constexpr int32_t kTarget64Bit = 2464;

// The program's version and the project file format number (the name is in
// platform/product.h).
inline constexpr int32_t kProgramVersion = 414;

inline constexpr bool IsSlot(int32_t s) noexcept {
    return s >= 0 && s < kSlotCount;
}
inline constexpr bool IsPort(int32_t k) noexcept {
    return k >= 0 && k < kPortCount;
}
inline constexpr bool IsPatch(int32_t p) noexcept {
    return p >= 0 && p < kPatchCount;
}
inline constexpr int32_t PortIndex(int32_t slot, int32_t port) noexcept {
    return slot * kPortsPerSlot + port;
}
inline constexpr int32_t SlotOfPort(int32_t k) noexcept {
    return k / kPortsPerSlot;
}

} // namespace tw
