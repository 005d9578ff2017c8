#pragma once

// The MIDI input: one source port chosen by name, and an input port of the program's own
// ("Tonewright MIDI In", on JACK and on the ALSA sequencer) that any source can be connected
// to at any time. Messages from both feed the Midi Monitor, and their note, controller and
// pitch-bend messages go to the engine. Ports are opened and switched from the
// user-interface thread; messages arrive on the MIDI library's threads.
#include "devices/audio_device.h"
#include "devices/preferences.h"
#include "model/relaxed.h"
#include "platform/platform.h"

#include <atomic>
#include <climits>
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

// Receives note, controller and pitch-bend messages of every channel (status 0x80 to 0x9F,
// 0xB0 to 0xBF or 0xE0 to 0xEF, both data bytes 0..127): the engine keeps those of the
// channel the project listens to. Runs on the MIDI library's threads, so it must neither
// lock nor allocate.
using NoteHandler = void (*)(void* userData, int32_t status, int32_t note, int32_t velocity);

// A message's time when it is not known.
inline constexpr int64_t kNoMessageTime = INT64_MIN;

// Receives what NoteHandler does, with the time the message belongs to: a frame of the JACK
// server's frame counter, or kNoMessageTime.
using TimedNoteHandler = void (*)(void* userData, int64_t timeUs, int32_t status, int32_t note,
                                  int32_t velocity);

// Default: the library's own choice for the source, and the program's own port on JACK and
// on the ALSA sequencer, wherever each runs. Jack: JACK only (tests).
enum class MidiApi : int32_t { Default, Jack };

// The program's own input port, under this name on every interface.
inline constexpr const char* kOwnMidiPortName = "Tonewright MIDI In";

// What following the chosen source found: it went away, came back, or showed up for the
// first time.
enum class MidiSourceChange : int32_t { None, Gone, Back, Found };

// The ways a message reaches the program: the chosen source's port, and the program's own
// port on JACK and on the ALSA sequencer. A bit each, so that a note can be held by several.
enum MidiPath : uint32_t { kPathSource = 1u, kPathOwnJack = 2u, kPathOwnAlsa = 4u };

// What the Midi Monitor shows: status and the first two data bytes.
struct MidiMonitorWords {
    int32_t status = 0;
    int32_t data1 = 0;
    int32_t data2 = 0;
};

// The Midi Monitor's line for a message: its name, status and bytes, and its channel, as
// "Note On  0x90 (144 60 100) ch 1" or "Control Change 0xb1 (177 7 100) ch 2"; a system
// message shows its bytes alone ("0xf8 (248 0 0)"), and no message at all (status 0) is "".
std::string MidiMonitorLine(const MidiMonitorWords& words);

// Every message as the monitor saw it, in arrival order, for a reader that wants each one
// rather than the newest (the command-line player prints them all). The ports' MIDI threads
// write, one reader reads. Each entry is a single word packing the three monitor bytes with
// the lap of the ring it was written in, so a reader sees an entry whole and can tell
// whether the slot already holds the message it expects.
class MidiMessageLog {
public:
    static constexpr uint32_t kEntries = 256;

    void Append(const MidiMonitorWords& words) noexcept;

    // Copies up to `capacity` messages from `cursor` on into `out` and advances the cursor.
    // When the writer has lapped the reader the oldest messages are gone: they are counted
    // in `lost` and skipped.
    uint32_t Read(uint32_t& cursor, MidiMonitorWords* out, uint32_t capacity,
                  uint32_t& lost) const noexcept;

    uint32_t Written() const noexcept { return written_.load(std::memory_order_relaxed); }

private:
    // Each writer takes its place by incrementing the count, so that the ports' threads can
    // write at once; a reader that sees the count before the entry reads it next time.
    std::atomic<uint32_t> written_{0};
    Relaxed<uint32_t> entries_[kEntries];
};

class MidiInput final : public OwnJackClient {
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

    // Opens the program's own ports where they are not open yet. Lists the sources,
    // selects the last one listed as `preferredName` (port 0 when none is, unless
    // `firstWhenMissing` is false), opens it and starts delivering every message type to
    // OnMidiMessage. The source opened, or the preferred one when none is, is then followed
    // by name (FollowSource). Tells the user when there is no source and no own port either.
    void InitMidiDevices(std::string_view preferredName, bool firstWhenMissing = true);

    // Called now and then on the user-interface thread: closes the followed source's port
    // when the source has gone, and opens it again by name when it is back (or shows up
    // for the first time). Sources that leave and return between two calls are not seen.
    MidiSourceChange FollowSource();
    // The name of the followed source; "" when none is.
    const char* FollowedSource() const noexcept { return followed_; }
    // The interfaces on which the program's own port is open: "JACK", "ALSA", "JACK and
    // ALSA", or "" when on none.
    std::string OwnPortInterfaces() const;
    // The own port's full name on JACK, as connections name it ("Tonewright:Tonewright MIDI
    // In", or the numbered client of a second running program); "" when it is not there.
    std::string OwnJackPortName() const;
    // Whether messages can arrive at all: the source's port or an own port is open.
    bool AnyPortOpen() const;
    // What became of the followed source ("NAME is gone", "NAME is connected") while no
    // message has arrived since; "" otherwise. User-interface thread only.
    std::string SourceNotice() const;

    // Switches to another listed port (the Preferences dialog): the open port is closed and
    // `port` opened in its place, found again by its listed name, since sources may have
    // come and gone since the list was taken. Does nothing without ports, for the port
    // already selected while it is open, or for an index outside the list. When the JACK
    // server went away and has come back, the input is set up on it afresh.
    void SwitchMidiPort(uint32_t port);

    // Closes the chosen source's port and chooses none: only the own ports listen then.
    void DropSource();

    // Whether the input runs on a live JACK server: its own client there is connected.
    bool OnServer() const;
    // When the input is on no JACK server (the program started before one, or the one it
    // was on went away) and a server runs now: sets the input up on it afresh, the own port
    // and `preferredName`'s source included, as InitMidiDevices does. True when it did.
    // Cheap and quiet while no server runs, so that it can be asked every second.
    bool Reconnect(std::string_view preferredName);

    // Closes the open ports (on exit) and stops following the source.
    void CloseMidi();

    // The audio outputs on the own JACK client ("Out L" and "Out R"), registered at the first
    // start and kept, connections included, until the client goes: the callback runs in the
    // client's cycle after the MIDI of that cycle has been handed on, so that a message plays
    // on its own frame of the very block it came with. Registering on the client of the MIDI
    // input makes a running program one client on the server.
    uint32_t OwnClientRate() const override;
    std::string OwnClientName() const override;
    bool JoinServer() override;
    // The audio outputs' full names as connections name them ("Tonewright:Out L", ...);
    // none before the first start or off the server.
    std::vector<std::string> OwnAudioPortNames() const;
    bool StartOwnAudio(AudioCallback callback, void* userData, const char* device, uint32_t& frames,
                       std::string& problem) override;
    void StopOwnAudio() noexcept override;
    bool OwnAudioRunning() const noexcept override {
        return ownAudioOn_.load(std::memory_order_acquire);
    }

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
    // The same for the program's own port on the ALSA sequencer.
    static void OnOwnAlsaMessage(double timeStamp, std::vector<unsigned char>* message,
                                 void* userData);
    // What the callback does with one message that came by `path`: keeps it for the monitor
    // and passes note, controller and pitch-bend messages on. A note already held through
    // another path (a source opened by name and also wired to the own port) is the same
    // note arriving twice: it is neither started again nor ended until every path that
    // holds it has let go. Lock-free; callable from several threads at once.
    void HandleMessage(const unsigned char* bytes, std::size_t count, uint32_t path = kPathSource,
                       int64_t time = kNoMessageTime) noexcept;

    // Hands messages on with their times from now on, instead of to the note handler. Set
    // before any port opens.
    void SetTimedHandler(TimedNoteHandler handler, void* userData) noexcept {
        timedHandler_ = handler;
        timedData_ = userData;
    }
    // Called by a callback that runs in the own client's cycle, it answers that cycle's first
    // frame moved on by one block, because the player plays every message one block after its
    // time and a message of this very cycle has been handed on before the block: it then
    // plays on its own frame with no added latency.
    // Otherwise it answers the frame of the JACK counter that the audio block being computed starts
    // at, for the audio callback of a client of the same server (one call per block, that thread
    // only); kNoMessageTime while the input is on no server. Lock-free: the own client publishes
    // each cycle's first frame with its count of cycles. Whether it ran before or after the
    // audio callback in a cycle is told by the two counts: the smallest difference seen is
    // the cycles where it ran first, and the block's start follows exactly from it. Should
    // it always run after, every block starts one block early: a constant latency still.
    int64_t AudioBlockFrame(uint32_t frames) noexcept;
    // Ends the notes held through the paths in `paths` alone (their source is gone), as
    // note-offs to the handler.
    void ReleaseNotesOf(uint32_t paths) noexcept;

    class ServerWatch;

private:
    // Each of these expects `libraryMutex_` held.
    bool CreateLibrary(int32_t libraryApi);
    void WatchServer();
    void ClosePortLocked();
    bool OpenPort(const char* listedName);
    // Opens the source at `index` of the library's list, listed as `listedName`; true when
    // it is open. The library raises RtMidiError for a port that will not open.
    bool OpenSource(unsigned int index, const char* listedName);
    void OpenOwnPorts();
    // Whether a source of this listed name is there now.
    bool SourceListed(const char* listedName);
    // The JACK server went away (the thread of `from`): the library object and its client go.
    void ServerLost(const ServerWatch* from);

    Platform& platform_;
    NoteHandler handler_;
    void* handlerData_;
    // Guards the library object against the watch's thread, which drops it when the JACK
    // server dies. Never taken on the MIDI thread.
    mutable std::mutex libraryMutex_;
    std::unique_ptr<RtMidiIn> midi_;
    bool onJack_ = false;
    MidiApi api_;
    // The program's own port on the ALSA sequencer, where it runs; the JACK one is the
    // watch's.
    std::unique_ptr<RtMidiIn> ownAlsa_;
    bool alsaTried_ = false;
    char followed_[kDeviceNameSize] = {};
    bool followedGone_ = false;
    std::string notice_;
    uint32_t noticeAt_ = 0;
    std::unique_ptr<ServerWatch> watch_;
    uint32_t deviceCount_ = 0;
    char names_[kMaxMidiDevices][kDeviceNameSize] = {};
    uint32_t selected_ = 0;
    std::atomic<bool> portOpen_ = false;
    bool callbackSet_ = false;
    Relaxed<int32_t> lastMessage_[4];
    TimedNoteHandler timedHandler_ = nullptr;
    void* timedData_ = nullptr;
    // The own client's latest cycle: its first frame and length, and when it and the next
    // one start on the server's clock (microseconds, 0 before the first). The frame is
    // stored last (release), so that a reader who sees it sees the rest of that cycle.
    std::atomic<int64_t> cycleUs_{0};
    std::atomic<int64_t> nextCycleUs_{0};
    std::atomic<uint32_t> cycleLength_{0};
    std::atomic<int64_t> cycleFrame_{kNoMessageTime};
    // The cycle's first frame (high half) and the count of cycles plus one (low half, 0
    // before the first), in one word so that a reader sees a matching pair.
    std::atomic<uint64_t> cycleStamp_{0};
    std::atomic<uint32_t> cycleCount_{0};
    // The audio callback's own: its count of blocks and the least difference of counts.
    uint32_t audioBlocks_ = 0;
    int32_t leastLead_ = INT32_MAX;
    void Deliver(int64_t time, int32_t status, int32_t data1, int32_t data2) noexcept;
    // The audio on the own client: the callback and its data (the data is stored first), and
    // whether a cycle is inside it, so that a stop can wait for that cycle to end. The
    // callback's pointer and the flag are sequentially consistent: either a cycle sees the
    // stop's null, or the stop sees the cycle inside.
    std::atomic<AudioCallback> audioCallback_{nullptr};
    std::atomic<void*> audioData_{nullptr};
    std::atomic<bool> inAudio_{false};
    std::atomic<bool> ownAudioOn_{false};
    // The callback writes its left and right blocks here; made before any cycle runs.
    std::unique_ptr<float[]> audioScratch_;
    // The own cycle's first frame while its audio callback runs (that thread alone).
    bool inOwnCycle_ = false;
    int64_t ownCycleFrame_ = 0;
    // The chosen source as connected to the own JACK port (its full port name), and whether
    // that connection is ours to undo: one the user made already stays when the source does.
    char connectedSource_[kDeviceNameSize] = {};
    bool ownsConnection_ = false;
    // Per channel and note (channel x 128 + note), the paths that hold it down (MidiPath
    // bits).
    std::atomic<uint32_t> heldBy_[16 * 128] = {};
    MidiMessageLog log_;
};

// The name a port is listed under: the library's name without the address suffix that the
// ALSA sequencer appends (" 20:0"), so that a saved name still finds the device after the
// numbers change. JACK port names carry no such suffix and are kept whole.
std::string ListedMidiPortName(std::string_view libraryName, bool alsaSequencer);

} // namespace tw
