// libFuzzer harness for the handling of incoming MIDI messages, through the very callback
// the MIDI library calls. The input is split into messages, each a length byte and that
// many bytes (system exclusive runs included). For every message:
// - the handler sees only note-on, note-off, control change and pitch bend (of any
//   channel) with both data bytes in 0..127, carrying exactly the message's bytes, at most
//   once, and always for a complete one;
// - the monitor words hold the message's first four bytes and keep the older ones beyond
//   its length;
// - the message log gains one entry per non-empty message, reading back as the monitor saw
//   it, and its monitor line fits the monitor.
#include "devices/midi_device.h"
#include "platform/headless_platform.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Notes {
    int32_t calls = 0;
    int32_t status = 0, note = 0, velocity = 0;

    static void Handle(void* self, int32_t status, int32_t note, int32_t velocity) {
        const int32_t kind = status & 0xF0;
        Check(kind == 0x80 || kind == 0x90 || kind == 0xB0 || kind == 0xE0);
        Check(note >= 0 && note <= 127);
        Check(velocity >= 0 && velocity <= 127);
        auto* n = static_cast<Notes*>(self);
        ++n->calls;
        n->status = status;
        n->note = note;
        n->velocity = velocity;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The input object is made on JACK with a server name nobody runs, so the fuzzer
    // neither registers a client with a JACK server that happens to be up nor opens the
    // sequencer. The message handling never touches the library object.
    setenv("JACK_DEFAULT_SERVER", "tonewright-fuzz-no-server", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Notes notes;
    static tw::HeadlessPlatform platform;
    static auto* midi = new tw::MidiInput(platform, &Notes::Handle, &notes, tw::MidiApi::Jack);

    // The monitor words left by earlier inputs are the starting point.
    int32_t words[4];
    for (int32_t i = 0; i < 4; ++i) words[i] = midi->LastMessage(i);
    uint32_t cursor = midi->Log().Written();

    std::vector<unsigned char> message;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t wanted = data[pos++] & 0x3Fu;
        const std::size_t count = wanted < size - pos ? wanted : size - pos;
        message.assign(data + pos, data + pos + count);
        pos += count;
        // The vector is handed over as the library hands it: its own allocation of exactly
        // the message's bytes, so reading past them is caught.
        message.shrink_to_fit();

        const int32_t callsBefore = notes.calls;
        const uint32_t writtenBefore = midi->Log().Written();
        tw::MidiInput::OnMidiMessage(0.0, &message, midi);

        const int kind = count > 0 ? message[0] & 0xF0 : 0;
        const bool note = count >= 3 &&
                          (kind == 0x80 || kind == 0x90 || kind == 0xB0 || kind == 0xE0) &&
                          message[1] <= 127 && message[2] <= 127;
        Check(notes.calls - callsBefore == (note ? 1 : 0));
        if (note) {
            Check(notes.status == message[0] && notes.note == message[1] &&
                  notes.velocity == message[2]);
        }

        for (std::size_t i = 0; i < count && i < 4; ++i) words[i] = message[i];
        for (int32_t i = 0; i < 4; ++i) Check(midi->LastMessage(i) == words[i]);
        Check(midi->LastMessage(4) == 0 && midi->LastMessage(-1) == 0);

        Check(midi->Log().Written() - writtenBefore == (count > 0 ? 1u : 0u));
        if (count > 0) {
            tw::MidiMonitorWords seen[2];
            uint32_t lost = 0;
            Check(midi->Log().Read(cursor, seen, 2, lost) == 1 && lost == 0);
            Check(seen[0].status == words[0] && seen[0].data1 == words[1] &&
                  seen[0].data2 == words[2]);
            // A status of 0 is the monitor's "no message yet": it shows an empty line.
            const std::string line = tw::MidiMonitorLine(midi->MonitorWords());
            Check(line.empty() == (words[0] == 0) && line.size() < 64);
        }
    }
    return 0;
}
