// What the Midi Monitor and the command-line player show of the messages: each one's line,
// and the log of every message in arrival order.
#include "devices/midi_device.h"

#include <cstdio>

namespace tw {

namespace {

constexpr int32_t kStatusNoteOff = 0x80;
constexpr int32_t kStatusNoteOn = 0x90;
constexpr int32_t kStatusController = 0xB0;

} // namespace

std::string MidiMonitorLine(const MidiMonitorWords& words) {
    // Status 0 is no message at all: the monitor is empty until the first one arrives.
    if (words.status == 0) return {};
    char text[80];
    const unsigned hex = static_cast<unsigned>(words.status);
    const int kind = words.status & 0xF0;
    const int channel = (words.status & 0x0F) + 1;
    if (words.status < 0x80 || kind == 0xF0) {
        std::snprintf(text, sizeof text, "0x%x (%d %d %d)", hex, words.status, words.data1,
                      words.data2);
        return text;
    }
    // A note-off shows 0 in the velocity place whatever the message carried; the one-byte
    // messages show their one data byte.
    const char* name = "";
    int data2 = words.data2;
    switch (kind) {
    case kStatusNoteOff:
        name = "Note Off ";
        data2 = 0;
        break;
    case kStatusNoteOn:
        name = "Note On  ";
        break;
    case 0xA0:
        name = "Key Pressure ";
        break;
    case kStatusController:
        name = "Control Change ";
        break;
    case 0xC0:
        name = "Program Change ";
        break;
    case 0xD0:
        name = "Channel Pressure ";
        break;
    default:
        name = "Pitch Bend ";
        break;
    }
    std::snprintf(text, sizeof text, "%s0x%x (%d %d %d) ch %d", name, hex, words.status,
                  words.data1, data2, channel);
    return text;
}

// ---- MidiMessageLog ----

namespace {

// The lap is stored plus one so that a slot never written (all zero) never matches.
uint32_t LapTag(uint32_t sequence) noexcept {
    return (sequence / MidiMessageLog::kEntries + 1u) & 0xFFu;
}

} // namespace

void MidiMessageLog::Append(const MidiMonitorWords& words) noexcept {
    const uint32_t n = written_.fetch_add(1, std::memory_order_relaxed);
    const uint32_t packed = (static_cast<uint32_t>(words.status) & 0xFFu) |
                            (static_cast<uint32_t>(words.data1) & 0xFFu) << 8 |
                            (static_cast<uint32_t>(words.data2) & 0xFFu) << 16 | LapTag(n) << 24;
    entries_[n % kEntries] = packed;
}

uint32_t MidiMessageLog::Read(uint32_t& cursor, MidiMonitorWords* out, uint32_t capacity,
                              uint32_t& lost) const noexcept {
    lost = 0;
    const uint32_t written = Written();
    if (written - cursor > kEntries) {
        lost = written - cursor - kEntries;
        cursor = written - kEntries;
    }
    uint32_t copied = 0;
    while (copied < capacity && cursor != written) {
        const uint32_t word = entries_[cursor % kEntries];
        const uint32_t tag = word >> 24;
        if (tag != LapTag(cursor)) {
            // The writer has already moved on past this message: it is gone.
            if (tag == LapTag(cursor + kEntries)) {
                ++lost;
                ++cursor;
                continue;
            }
            // The count was seen before the entry: read it next time.
            break;
        }
        out[copied].status = static_cast<int32_t>(word & 0xFFu);
        out[copied].data1 = static_cast<int32_t>((word >> 8) & 0xFFu);
        out[copied].data2 = static_cast<int32_t>((word >> 16) & 0xFFu);
        ++copied;
        ++cursor;
    }
    return copied;
}

} // namespace tw
