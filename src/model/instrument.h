#pragma once

// The keyboard-instrument settings of a design (voice count, MIDI channel, bend range) as
// the project file and the plugin manifest carry them: one optional chunk after all the
// others, written only when a setting differs from its default, so that a design that
// keeps one voice on channel 1 saves exactly the bytes it always did and older readers
// pass over the chunk.
#include "model/limits.h"
#include "platform/byte_io.h"

#include <cstdint>

namespace tw {

struct Project;

inline constexpr char kInstrumentTag[] = "VOX#";

struct InstrumentSettings {
    int32_t voiceCount = 1;
    int32_t midiChannel = 1;
    int32_t bendRange = kDefaultBendRange;
};

InstrumentSettings InstrumentOf(const Project& p) noexcept;
void ApplyInstrument(Project& p, const InstrumentSettings& s) noexcept;
bool IsDefaultInstrument(const InstrumentSettings& s) noexcept;
// Whether every setting is one the program can set.
bool IsValidInstrument(const InstrumentSettings& s) noexcept;

// Appends the tag and the chunk unless the settings are the defaults.
void WriteInstrumentChunk(ByteWriter& w, const InstrumentSettings& s);
// Reads the chunk's body (after its tag). A body that ends early or holds a value the
// program cannot set gives the defaults: a damaged chunk never makes a design unplayable.
// Returns false when the body was damaged.
bool ReadInstrumentChunk(ByteReader& r, InstrumentSettings& s) noexcept;

// Whether a module type always runs once, whatever the voice count.
bool RunsOnce(int32_t type) noexcept;

// Marks the slots of the voice part in `perVoice` (1 per voice slot) from the project's
// routes: every Midi2CV, and every module whose type may run per voice with an input
// cable from a voice slot. Returns the number of voice slots. Any thread that may read the
// project's tables (the engine at the start of a block, the canvas for its badges).
int32_t VoicePartOf(const Project& p, uint8_t (&perVoice)[kSlotCount]) noexcept;

// "all" or the channel number, as the CLI and the plugin description show it.
const char* ChannelText(int32_t channel) noexcept;

} // namespace tw
