#pragma once

// The MIDI input: one input port chosen by name, whose messages feed the Midi Monitor and
// whose channel-1 note messages play the engine. The port is opened and switched from the
// user-interface thread; messages arrive on the MIDI library's thread.
#include "devices/preferences.h"
#include "model/relaxed.h"
#include "platform/platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class RtMidiIn;

namespace tw {

inline constexpr uint32_t kMaxMidiDevices = 128;

// Receives channel-1 note messages (status 0x90 or 0x80, note and velocity 0..127). Runs on
// the MIDI library's thread, so it must neither lock nor allocate.
using NoteHandler = void (*)(void* userData, int32_t status, int32_t note, int32_t velocity);

enum class MidiApi : int32_t { Default, Jack };

// What the Midi Monitor shows: status and the first two data bytes.
struct MidiMonitorWords {
    int32_t status = 0;
    int32_t data1 = 0;
    int32_t data2 = 0;
};

// The Midi Monitor's line for a message: "Note Off 0x80 (128 60 0)", "Note On  0x90 (144 60
// 100)" or "0xb0 (176 7 100)".
std::string MidiMonitorLine(const MidiMonitorWords& words);

// Every message as the monitor saw it, in arrival order, for a reader that wants each one
// rather than the newest (the command-line player prints them all). One writer, the MIDI
// thread; one reader. Each entry is a single word packing the three monitor bytes with the
// lap of the ring it was written in, so a reader sees an entry whole and can tell whether
// the slot already holds the message it expects.
class MidiMessageLog {
public:
    static constexpr uint32_t kEntries = 256;

    void Append(const MidiMonitorWords& words) noexcept;

    // Copies up to `capacity` messages from `cursor` on into `out` and advances the cursor.
    // When the writer has lapped the reader the oldest messages are gone: they are counted
    // in `lost` and skipped.
    uint32_t Read(uint32_t& cursor, MidiMonitorWords* out, uint32_t capacity,
                  uint32_t& lost) const noexcept;

    uint32_t Written() const noexcept { return written_; }

private:
    Relaxed<uint32_t> written_;
    Relaxed<uint32_t> entries_[kEntries];
};

class MidiInput {
public:
    // Creates the library's input object on the default host interface, and on JACK when
    // that fails (Linux machines without the ALSA sequencer). When neither can be set up the
    // device count stays 0. On JACK the input lets go of the server when it goes away, so
    // that the program keeps running and later JACK clients find a clean library.
    MidiInput(Platform& platform, NoteHandler handler, void* handlerData,
              MidiApi api = MidiApi::Default);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Lists the input ports, selects the last one listed as `preferredName` (port 0 when
    // none is), opens it and starts delivering every message type to OnMidiMessage.
    void InitMidiDevices(std::string_view preferredName);

    // Switches to another listed port (the Preferences dialog): the open port is closed and
    // `port` opened in its place, found again by its listed name, since sources may have
    // come and gone since the list was taken. Does nothing without ports, for the port
    // already selected while it is open, or for an index outside the list. When the JACK
    // server went away and has come back, the input is set up on it afresh.
    void SwitchMidiPort(uint32_t port);

    // Closes the open port (on exit).
    void CloseMidi();

    uint32_t DeviceCount() const noexcept { return deviceCount_; }
    // The listed name of `port`; "" outside the list.
    const char* DeviceName(uint32_t port) const noexcept;
    uint32_t SelectedPort() const noexcept { return selected_; }
    // False once the port is closed, or once the JACK server it was on went away.
    bool IsPortOpen() const noexcept { return portOpen_; }

    // The first four bytes of the newest message; a word keeps its old value when a message
    // is shorter. Read by the Midi Monitor on its own timer.
    int32_t LastMessage(int32_t word) const noexcept;
    MidiMonitorWords MonitorWords() const noexcept;
    const MidiMessageLog& Log() const noexcept { return log_; }

    // The library's input callback; `userData` is the MidiInput.
    static void OnMidiMessage(double timeStamp, std::vector<unsigned char>* message,
                              void* userData);
    // What the callback does with one message: keeps it for the monitor and passes channel-1
    // note messages on. Lock-free; callable from any one thread at a time.
    void HandleMessage(const unsigned char* bytes, std::size_t count) noexcept;

    class ServerWatch;

private:
    // Each of these expects `libraryMutex_` held.
    bool CreateLibrary(int32_t libraryApi);
    void WatchServer();
    void ClosePortLocked();
    bool OpenPort(uint32_t port);
    // The JACK server went away (the thread of `from`): the library object and its client go.
    void ServerLost(const ServerWatch* from);

    Platform& platform_;
    NoteHandler handler_;
    void* handlerData_;
    // Guards the library object against the watch's thread, which drops it when the JACK
    // server dies. Never taken on the MIDI thread.
    std::mutex libraryMutex_;
    std::unique_ptr<RtMidiIn> midi_;
    bool onJack_ = false;
    std::unique_ptr<ServerWatch> watch_;
    uint32_t deviceCount_ = 0;
    char names_[kMaxMidiDevices][kDeviceNameSize] = {};
    uint32_t selected_ = 0;
    std::atomic<bool> portOpen_ = false;
    bool callbackSet_ = false;
    Relaxed<int32_t> lastMessage_[4];
    MidiMessageLog log_;
};

// The name a port is listed under: the library's name without the address suffix that the
// ALSA sequencer appends (" 20:0"), so that a saved name still finds the device after the
// numbers change. JACK port names carry no such suffix and are kept whole.
std::string ListedMidiPortName(std::string_view libraryName, bool alsaSequencer);

} // namespace tw
