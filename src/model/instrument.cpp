#include "model/instrument.h"

#include "model/project.h"

#include <algorithm>
#include <iterator>

namespace tw {

namespace {

// The chunk's body starts with the number of words that follow, so that a later program
// can add settings that this one passes over.
constexpr int32_t kInstrumentWords = 3;

} // namespace

InstrumentSettings InstrumentOf(const Project& p) noexcept {
    return {p.voiceCount, p.midiChannel, p.bendRange};
}

void ApplyInstrument(Project& p, const InstrumentSettings& s) noexcept {
    p.voiceCount = s.voiceCount;
    p.midiChannel = s.midiChannel;
    p.bendRange = s.bendRange;
}

bool IsDefaultInstrument(const InstrumentSettings& s) noexcept {
    const InstrumentSettings d;
    return s.voiceCount == d.voiceCount && s.midiChannel == d.midiChannel &&
           s.bendRange == d.bendRange;
}

bool IsValidInstrument(const InstrumentSettings& s) noexcept {
    return s.voiceCount >= 1 && s.voiceCount <= kMaxVoices && s.midiChannel >= kAllChannels &&
           s.midiChannel <= 16 && s.bendRange >= 0 && s.bendRange <= kMaxBendRange;
}

void WriteInstrumentChunk(ByteWriter& w, const InstrumentSettings& s) {
    if (IsDefaultInstrument(s)) return;
    w.Raw(kInstrumentTag);
    w.I32(kInstrumentWords);
    w.I32(s.voiceCount);
    w.I32(s.midiChannel);
    w.I32(s.bendRange);
}

bool ReadInstrumentChunk(ByteReader& r, InstrumentSettings& s) noexcept {
    s = InstrumentSettings{};
    int32_t words = 0;
    InstrumentSettings read;
    if (!r.I32(words) || words < kInstrumentWords || !r.I32(read.voiceCount) ||
        !r.I32(read.midiChannel) || !r.I32(read.bendRange) || !IsValidInstrument(read))
        return false;
    // Words a later program added are passed over, as long as they are there.
    if (!r.Skip(static_cast<uint64_t>(words - kInstrumentWords) * 4u)) return false;
    s = read;
    return true;
}

// Types that always run once: the ones with one state for the whole design (Output,
// Delay, Reverb, PolyWave, the noise generator's users), the ones that read the whole
// keyboard (PolyMidi, A440Hz) and Parameter, whose value comes from its control.
bool RunsOnce(int32_t type) noexcept {
    switch (type) {
    case kTypeOutput:
    case kTypeDelay:
    case kTypeReverb:
    case kTypePolyWave:
    case kTypeParameter:
    case kTypePolyMidi:
    case kTypeA440:
    case kTypeNoise:
    case kTypeTestModule:
    case kTypeFixedValues:
        return true;
    default:
        return false;
    }
}

int32_t VoicePartOf(const Project& p, uint8_t (&perVoice)[kSlotCount]) noexcept {
    std::fill(std::begin(perVoice), std::end(perVoice), uint8_t{0});
    int32_t marked = 0;
    for (int32_t n = 0; n < p.activeCount; ++n) {
        const int32_t slot = p.activeSlots[n];
        if (IsSlot(slot) && p.activeTypes[n] == kTypeMidi2CV) {
            perVoice[slot] = 1;
            ++marked;
        }
    }
    if (marked == 0) return 0;
    // Passes in list order until nothing changes: cables that run forward in the list are
    // followed in one pass, each cable running backwards costs one more.
    for (bool changed = true; changed;) {
        changed = false;
        for (int32_t n = 0; n < p.activeCount; ++n) {
            const int32_t slot = p.activeSlots[n];
            if (!IsSlot(slot) || perVoice[slot] != 0 || RunsOnce(p.activeTypes[n])) continue;
            for (int32_t k = 0; k < kPortsPerSlot; ++k) {
                const int32_t source = p.routes[PortIndex(slot, k)];
                if (source < 0 || source >= kPortCount || perVoice[SlotOfPort(source)] == 0)
                    continue;
                perVoice[slot] = 1;
                ++marked;
                changed = true;
                break;
            }
        }
    }
    return marked;
}

const char* ChannelText(int32_t channel) noexcept {
    static const char* const kNames[] = {"all", "1",  "2",  "3",  "4",  "5",  "6",  "7", "8",
                                         "9",   "10", "11", "12", "13", "14", "15", "16"};
    return channel >= 0 && channel <= 16 ? kNames[channel] : "?";
}

} // namespace tw
