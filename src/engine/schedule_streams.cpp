// Giving the run plan's values their places: what the shared cell holds for each module,
// the streams that carry values between units, and the units' block modules and group ops
// written against them.
#include "engine/schedule_plan.h"

#include "engine/type_facts.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

namespace tw {

namespace {

// Types whose rule reads inputs directly (and so may read the shared cell).
bool ReadsDirect(int32_t type) noexcept {
    return FactsOf(type).readsDirect;
}

// The value a module leaves in the shared cell after its defaults (and a store-back into
// the cell), when it stores one. Every rule stores its defaults before it reads, so this
// is also what its own unconnected inputs read.
bool CellStore(int32_t type, const int32_t* route, float& value) noexcept {
    auto open = [route](int32_t input) { return route[input] < 0; };
    const EngineTypeFacts facts = FactsOf(type);
    bool stored = false;
    for (const InputDefault& d : facts.defaults) {
        if (!open(d.input)) continue;
        value = d.value;
        stored = true;
    }
    if (!stored) return false;
    // A store-back writes the cell only when the input reads the cell.
    if (facts.storeBack.input != kNone && open(facts.storeBack.input) &&
        value < facts.storeBack.floor)
        value = facts.storeBack.floor;
    return true;
}

int32_t TakeStream(Schedule& s) noexcept {
    return s.freeCount > 0 ? s.freeList[--s.freeCount] : kNone;
}

// A stream that holds `value` on every frame, shared by everything that reads it.
int32_t ConstStream(Schedule& s, float value) noexcept {
    for (int32_t i = 0; i < s.constCount; ++i) {
        if (std::memcmp(&s.constValue[i], &value, sizeof value) == 0) return s.constStream[i];
    }
    const int32_t stream = TakeStream(s);
    if (stream == kNone || s.constCount == static_cast<int32_t>(std::size(s.constValue))) {
        return kNone;
    }
    std::fill(std::begin(s.streams[stream]), std::end(s.streams[stream]), value);
    s.constValue[s.constCount] = value;
    s.constStream[s.constCount++] = stream;
    return stream;
}

bool Streamed(const Schedule& s, int32_t port) noexcept {
    return s.portStamp[port] == s.stamp;
}

bool AddOp(Schedule& s, int32_t kind, int32_t a, int32_t b) noexcept {
    if (s.opCount >= kMaxOps) return false;
    s.ops[s.opCount++] = Op{kind, a, b};
    return true;
}

} // namespace

bool PlanCell(Schedule& s, int32_t nodes) noexcept {
    s.anyStore = false;
    s.silentDiffers = false;
    s.constCount = 0;
    // The same walk without the voice modules' stores, for blocks with no voice sounding.
    bool anyStoreSilent = false;
    float endSilent = 0.0f;
    s.startStream = kNone;
    s.startThenStream = kNone;
    for (int32_t n = 0; n < nodes; ++n) {
        float value = 0.0f;
        s.stores[n] = CellStore(s.nodeType[n], s.route[n], value) ? 1 : 0;
        s.storeValue[n] = value;
        if (s.stores[n] != 0) {
            s.anyStore = true;
            s.endCell = value;
            if (s.nodeVoice[n] == 0) {
                anyStoreSilent = true;
                endSilent = value;
            }
        }
    }
    const auto differ = [](float a, float b) {
        return std::bit_cast<uint32_t>(a) != std::bit_cast<uint32_t>(b);
    };
    s.silentDiffers = anyStoreSilent != s.anyStore || (s.anyStore && differ(endSilent, s.endCell));
    bool before = false, beforeSilent = false;
    float last = 0.0f, lastSilent = 0.0f;
    for (int32_t n = 0; n < nodes; ++n) {
        int32_t stream = kNone;
        if (s.stores[n] != 0) {
            stream = ConstStream(s, s.storeValue[n]);
        } else if (!ReadsDirect(s.nodeType[n])) {
            s.cellStream[n] = kNone;
            continue;
        } else if (before) {
            stream = ConstStream(s, last);
        } else if (s.anyStore) {
            if (s.startThenStream == kNone) {
                s.startThenStream = TakeStream(s);
                if (s.startThenStream == kNone) return false;
                std::fill(std::begin(s.streams[s.startThenStream]),
                          std::end(s.streams[s.startThenStream]), s.endCell);
            }
            stream = s.startThenStream;
        } else {
            if (s.startStream == kNone) s.startStream = TakeStream(s);
            stream = s.startStream;
        }
        if (stream == kNone) return false;
        s.cellStream[n] = stream;
        if (s.stores[n] == 0 && s.nodeVoice[n] == 0 &&
            (before != beforeSilent || differ(last, lastSilent)))
            s.silentDiffers = true;
        if (s.stores[n] != 0) {
            before = true;
            last = s.storeValue[n];
            if (s.nodeVoice[n] == 0) {
                beforeSilent = true;
                lastSilent = last;
            }
        }
    }
    return true;
}

bool PlanStreams(Schedule& s, int32_t nodes, int32_t units, const int8_t* exitSpan) noexcept {
    for (int32_t n = 0; n < nodes; ++n) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t r = s.route[n][k];
            const int32_t m = s.owner[n][k];
            if (m == kNone || s.unitOf[m] == s.unitOf[n]) continue;
            if (s.portStamp[r] != s.stamp) {
                s.portStamp[r] = s.stamp;
                s.portLastUnit[r] = s.unitOf[n];
            } else {
                s.portLastUnit[r] = std::max(s.portLastUnit[r], s.unitOf[n]);
            }
        }
    }
    // The outputs of a voice group that once-only modules read are summed over the voices
    // from streams, every output that the voices' silence check watches among them.
    for (int32_t n = 0; n < nodes && exitSpan != nullptr; ++n) {
        const int32_t u = s.unitOf[n];
        if (!s.units[u].voice) continue;
        for (int32_t k = 0; k < exitSpan[s.nodeSlot[n]]; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[n], k);
            if (s.portStamp[port] != s.stamp) {
                s.portStamp[port] = s.stamp;
                s.portLastUnit[port] = u;
            }
        }
    }
    std::fill(s.releaseHead, s.releaseHead + units + 1, kNone);
    for (int32_t u = 0; u < units; ++u) {
        for (int32_t b = s.releaseHead[u]; b != kNone; b = s.releaseNext[b]) {
            s.freeList[s.freeCount++] = b;
        }
        for (int32_t i = s.unitStart[u]; i < s.unitStart[u + 1]; ++i) {
            const int32_t n = s.members[i];
            for (int32_t k = 0; k < kPortsPerSlot; ++k) {
                const int32_t port = PortIndex(s.nodeSlot[n], k);
                if (s.portStamp[port] != s.stamp) continue;
                const int32_t stream = TakeStream(s);
                if (stream == kNone) return false;
                s.portStream[port] = stream;
                const int32_t release = s.portLastUnit[port] + 1;
                s.releaseNext[stream] = s.releaseHead[release];
                s.releaseHead[release] = stream;
            }
        }
    }
    return true;
}

void EmitBlockModule(Schedule& s, Unit& unit, int32_t n, int32_t j) noexcept {
    s.voiceViews[s.moduleCount] = 0;
    s.voiceOuts[s.moduleCount] = 0;
    for (int32_t k = 0; k < kPortsPerSlot && s.nodeVoice[n] != 0; ++k) {
        const int32_t owner = s.owner[n][k];
        if (owner != kNone && s.nodeVoice[owner] != 0) s.voiceViews[s.moduleCount] |= 1u << k;
        if (Streamed(s, PortIndex(s.nodeSlot[n], k))) s.voiceOuts[s.moduleCount] |= 1u << k;
    }
    BlockModule& m = s.modules[s.moduleCount++];
    m = BlockModule{};
    m.type = s.nodeType[n];
    m.slot = s.nodeSlot[n];
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        const int32_t r = s.route[n][k];
        if (r == kNone) continue;
        // A source earlier in the list gives this frame's value, a later one the frame
        // before's.
        const int32_t late = s.owner[n][k] < n ? 0 : 1;
        m.view[k] = s.streams[s.portStream[r]] + 1 - late;
    }
    if (s.cellStream[n] != kNone) {
        m.cell = s.streams[s.cellStream[n]] + 1;
        bool fixed = false;
        for (int32_t i = 0; i < s.constCount; ++i)
            fixed = fixed || s.constStream[i] == s.cellStream[n];
        for (int32_t k = 0; k < kPortsPerSlot && fixed; ++k) {
            if (m.view[k] == nullptr) m.steady |= 1u << k;
        }
    }
    unit.outputMask = BlockOutputMask(m.type);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        const int32_t port = PortIndex(m.slot, k);
        if (Streamed(s, port)) {
            m.out[k] = s.streams[s.portStream[port]] + 1;
            if ((unit.outputMask >> k & 1u) == 0) unit.fillMask[j] |= 1u << k;
        } else {
            m.out[k] = s.sinks[j][k] + 1;
        }
    }
}

bool EmitGroupUnit(Schedule& s, Unit& unit, int32_t u) noexcept {
    const int32_t begin = s.unitStart[u];
    const int32_t end = s.unitStart[u + 1];
    // Streams this group writes: each starts with the value before the run.
    unit.primeBegin = s.primeCount;
    for (int32_t i = begin; i < end; ++i) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[s.members[i]], k);
            if (Streamed(s, port)) s.primes[s.primeCount++] = {port, s.portStream[port]};
        }
    }
    unit.primeEnd = s.primeCount;
    // Values from outside the group, with the first and last member that reads each.
    const uint32_t token = ++s.token;
    int32_t externalCount = 0;
    for (int32_t i = begin; i < end; ++i) {
        const int32_t n = s.members[i];
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t m = s.owner[n][k];
            if (m == kNone || s.unitOf[m] == u) continue;
            const int32_t r = s.route[n][k];
            if (s.extStamp[r] != token) {
                s.extStamp[r] = token;
                s.extMin[r] = n;
                s.extMax[r] = n;
                s.externals[externalCount++] = r;
            } else {
                s.extMin[r] = std::min(s.extMin[r], n);
                s.extMax[r] = std::max(s.extMax[r], n);
            }
        }
    }
    // Per frame: a value from later in the list starts at its previous frame's, and
    // turns to this frame's where its source stands in the list.
    unit.opBegin = s.opCount;
    int32_t eventCount = 0;
    for (int32_t i = 0; i < externalCount; ++i) {
        const int32_t r = s.externals[i];
        const int32_t q = s.slotNode[SlotOfPort(r)];
        if (s.extMin[r] < q && !AddOp(s, kOpLoadBefore, r, s.portStream[r])) return false;
        if (s.extMax[r] > q) s.events[eventCount++] = int64_t{q} << 32 | (int64_t{1} << 24) | i;
    }
    for (int32_t i = begin; i < end; ++i) s.events[eventCount++] = int64_t{s.members[i]} << 32;
    std::sort(s.events, s.events + eventCount);
    for (int32_t e = 0; e < eventCount; ++e) {
        const int64_t event = s.events[e];
        if ((event >> 24 & 1) != 0) {
            const int32_t r = s.externals[event & 0xFFFFFF];
            if (!AddOp(s, kOpLoadNow, r, s.portStream[r])) return false;
            continue;
        }
        const auto n = static_cast<int32_t>(event >> 32);
        if (s.stores[n] == 0 && s.cellStream[n] != kNone &&
            !AddOp(s, kOpSetCell, 0, s.cellStream[n])) {
            return false;
        }
        const bool voiceStep = s.nodeVoice[n] != 0 && !unit.voice;
        unit.mixed = unit.mixed || voiceStep;
        const int32_t step = voiceStep ? kOpVoiceStep : kOpStep;
        if (!AddOp(s, step, s.nodeType[n], s.nodeSlot[n])) return false;
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[n], k);
            if (Streamed(s, port) && !AddOp(s, kOpStore, port, s.portStream[port])) return false;
        }
    }
    unit.opEnd = s.opCount;
    // After the run every value from outside is left at its last frame's.
    unit.restoreBegin = s.restoreCount;
    for (int32_t i = 0; i < externalCount; ++i) {
        const int32_t r = s.externals[i];
        s.restores[s.restoreCount++] = {r, s.portStream[r]};
    }
    unit.restoreEnd = s.restoreCount;
    return true;
}

} // namespace tw
