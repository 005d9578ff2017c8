#include "model/instrument.h"

#include "model/project.h"

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

const char* ChannelText(int32_t channel) noexcept {
    static const char* const kNames[] = {"all", "1",  "2",  "3",  "4",  "5",  "6",  "7", "8",
                                         "9",   "10", "11", "12", "13", "14", "15", "16"};
    return channel >= 0 && channel <= 16 ? kNames[channel] : "?";
}

} // namespace tw
