#include "devices/midi_device.h"

#include "devices/midi_server_watch.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>
#include <thread>
#include <vector>

namespace tw {

namespace {

constexpr const char* kClientName = "RtMidi Input Client";
constexpr const char* kPortName = "RtMidi Input";
constexpr unsigned int kQueueLimit = 100;
constexpr int32_t kStatusNoteOff = 0x80;
constexpr int32_t kStatusNoteOn = 0x90;
constexpr int32_t kStatusController = 0xB0;
constexpr int32_t kStatusPitchBend = 0xE0;

constexpr const char* kNoPortText =
    "No hardware Midi device available. Check device is connected, turned on and not in use by "
    "another program. Then restart Tonewright";
constexpr const char* kFailureText =
    "No Midi Device Available.\n\nMake sure a Midi device is connected and not in use by another "
    "program and then restart Tonewright.";

void Show(Platform& platform, const char* text, MessageIcon icon) {
    platform.ShowMessage(text, kProductName, MessageButtons::Ok, icon);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Strips "<digits>" from the end of `s`; false when there were none.
bool DropDigits(std::string_view& s) {
    const std::size_t before = s.size();
    while (!s.empty() && IsDigit(s.back())) s.remove_suffix(1);
    return s.size() != before;
}

} // namespace

std::string ListedMidiPortName(std::string_view libraryName, bool alsaSequencer) {
    if (!alsaSequencer) return std::string(libraryName);
    // The sequencer appends " client:port".
    std::string_view rest = libraryName;
    if (DropDigits(rest) && !rest.empty() && rest.back() == ':') {
        rest.remove_suffix(1);
        if (DropDigits(rest) && !rest.empty() && rest.back() == ' ') {
            rest.remove_suffix(1);
            return std::string(rest);
        }
    }
    return std::string(libraryName);
}

// ---- MidiInput ----

MidiInput::MidiInput(Platform& platform, NoteHandler handler, void* handlerData, MidiApi api)
    : platform_(platform), handler_(handler), handlerData_(handlerData), api_(api),
      audioScratch_(std::make_unique<float[]>(2 * kMaxOwnAudioFrames)) {
    std::lock_guard lock(libraryMutex_);
    // Without the ALSA sequencer the default interface fails outright instead of moving
    // on to JACK, so JACK is tried by name.
    if (api == MidiApi::Jack || !CreateLibrary(RtMidi::UNSPECIFIED)) {
        CreateLibrary(RtMidi::UNIX_JACK);
    }
}

MidiInput::~MidiInput() {
    // The watch goes first, outside the lock that its thread may be waiting for.
    std::unique_ptr<ServerWatch> watch;
    {
        std::lock_guard lock(libraryMutex_);
        watch = std::move(watch_);
    }
    watch.reset();
    std::lock_guard lock(libraryMutex_);
    ClosePortLocked();
    // The library objects go first so that no callback can run into the state below.
    midi_.reset();
    ownAlsa_.reset();
}

bool MidiInput::CreateLibrary(int32_t libraryApi) {
    try {
        midi_ = std::make_unique<RtMidiIn>(static_cast<RtMidi::Api>(libraryApi), kClientName,
                                           kQueueLimit);
        onJack_ = midi_->getCurrentApi() == RtMidi::UNIX_JACK;
        callbackSet_ = false;
        return true;
    } catch (const RtMidiError&) {
        // The library has printed its message already.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "RtMidi: %s\n", e.what());
    }
    return false;
}

void MidiInput::WatchServer() {
    // The library connects to the server lazily, so the watch starts once it has.
    if (!onJack_ || watch_) return;
    auto watch = std::make_unique<ServerWatch>(*this);
    if (watch->Ok()) watch_ = std::move(watch);
}

void MidiInput::OpenOwnPorts() {
    // The watch's client carries the JACK port; it is made whenever a server runs.
    if (!watch_) {
        auto watch = std::make_unique<ServerWatch>(*this);
        if (watch->Ok()) watch_ = std::move(watch);
    }
    // The sequencer does not come and go while the program runs: one try is enough.
    if (api_ != MidiApi::Default || alsaTried_) return;
    alsaTried_ = true;
    try {
        auto own = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kOwnClientName, kQueueLimit);
        own->setCallback(&MidiInput::OnOwnAlsaMessage, this);
        own->ignoreTypes(false, false, false);
        own->openVirtualPort(kOwnMidiPortName);
        ownAlsa_ = std::move(own);
    } catch (const RtMidiError&) {
        // No sequencer on this machine: the library has said so.
    }
}

std::string MidiInput::OwnPortInterfaces() const {
    std::lock_guard lock(libraryMutex_);
    const bool jack = watch_ && watch_->HasPort();
    if (jack && ownAlsa_) return "JACK and ALSA";
    return jack ? "JACK" : ownAlsa_ ? "ALSA" : "";
}

std::string MidiInput::OwnJackPortName() const {
    std::lock_guard lock(libraryMutex_);
    return watch_ && midi_ ? watch_->PortName() : "";
}

bool MidiInput::AnyPortOpen() const {
    std::lock_guard lock(libraryMutex_);
    return portOpen_ || (watch_ && watch_->HasPort()) || ownAlsa_;
}

bool MidiInput::SourceListed(const char* listedName) {
    const bool alsa = midi_->getCurrentApi() == RtMidi::LINUX_ALSA;
    const unsigned int count = midi_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        if (ListedMidiPortName(midi_->getPortName(i), alsa) == listedName) return true;
    }
    return false;
}

MidiSourceChange MidiInput::FollowSource() {
    std::lock_guard lock(libraryMutex_);
    // Without a live JACK server (no watch on it) listing would only try to reach one.
    if (!midi_ || followed_[0] == '\0' || (onJack_ && !watch_)) return MidiSourceChange::None;
    bool listed = false;
    try {
        listed = SourceListed(followed_);
    } catch (const RtMidiError&) {
        return MidiSourceChange::None;
    }
    MidiSourceChange change = MidiSourceChange::None;
    if (portOpen_ && !listed) {
        // The subscription went with the source; the port is opened afresh when it returns.
        ClosePortLocked();
        followedGone_ = true;
        change = MidiSourceChange::Gone;
    } else if (!portOpen_ && listed && OpenPort(followed_)) {
        change = followedGone_ ? MidiSourceChange::Back : MidiSourceChange::Found;
        followedGone_ = false;
    }
    if (change != MidiSourceChange::None) {
        notice_ = std::string(followed_) +
                  (change == MidiSourceChange::Gone ? " is gone" : " is connected");
        noticeAt_ = log_.Written();
    }
    return change;
}

std::string MidiInput::SourceNotice() const {
    // A message that arrived after the notice is newer news.
    return log_.Written() == noticeAt_ ? notice_ : std::string();
}

const char* MidiInput::DeviceName(uint32_t port) const noexcept {
    return port < deviceCount_ ? names_[port] : "";
}

int32_t MidiInput::LastMessage(int32_t word) const noexcept {
    return word >= 0 && word < 4 ? lastMessage_[word].load() : 0;
}

MidiMonitorWords MidiInput::MonitorWords() const noexcept {
    return {lastMessage_[0], lastMessage_[1], lastMessage_[2]};
}

void MidiInput::InitMidiDevices(std::string_view preferredName, bool firstWhenMissing) {
    std::unique_lock lock(libraryMutex_);
    ClosePortLocked();
    deviceCount_ = 0;
    selected_ = 0;
    std::memset(names_, 0, sizeof names_);
    std::memset(followed_, 0, sizeof followed_);
    std::memcpy(followed_, preferredName.data(),
                std::min<std::size_t>(preferredName.size(), kDeviceNameSize - 1));
    followedGone_ = false;
    // Without a chosen source only the program's own port listens: opening the first source
    // as well would play every note twice once that source is wired to the own port.
    if (preferredName.empty()) firstWhenMissing = false;
    OpenOwnPorts();
    if (!midi_) {
        lock.unlock();
        Show(platform_, kFailureText, MessageIcon::Error);
        return;
    }
    const char* notice = nullptr;
    MessageIcon icon = MessageIcon::Information;
    try {
        unsigned int count = midi_->getPortCount();
        if (count > 0) WatchServer();
        if (count >= kMaxMidiDevices) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "More than %d Midi devices found\nOnly the first %d will be available.",
                          static_cast<int>(kMaxMidiDevices), static_cast<int>(kMaxMidiDevices));
            lock.unlock();
            Show(platform_, text, MessageIcon::Information);
            lock.lock();
            if (!midi_) return; // the server went away meanwhile
            count = kMaxMidiDevices;
        }
        bool found = false;
        if (count == 0) {
            // Sources can still be connected to the program's own port, and the preferred
            // one is opened when it shows up.
            if (!watch_ && !ownAlsa_) notice = kNoPortText;
        } else {
            const bool alsa = midi_->getCurrentApi() == RtMidi::LINUX_ALSA;
            for (uint32_t i = 0; i < count; ++i) {
                const std::string listed = ListedMidiPortName(midi_->getPortName(i), alsa);
                const std::size_t length =
                    std::min<std::size_t>(listed.size(), kDeviceNameSize - 1);
                std::memcpy(names_[i], listed.data(), length);
                if (std::string_view(names_[i]) == preferredName) {
                    selected_ = i;
                    found = true;
                }
            }
            deviceCount_ = count;
        }
        if (found || (count > 0 && firstWhenMissing)) {
            std::memcpy(followed_, names_[selected_], sizeof followed_);
            portOpen_ = OpenSource(selected_, names_[selected_]);
        }
    } catch (const RtMidiError&) {
        // The library prints its own message before raising.
        ClosePortLocked();
        deviceCount_ = 0;
        notice = kFailureText;
        icon = MessageIcon::Error;
    }
    lock.unlock();
    if (notice != nullptr) Show(platform_, notice, icon);
}

bool MidiInput::OpenSource(unsigned int index, const char* listedName) {
    // On JACK the source is connected to the own port, as a user would wire it: the program
    // stays one client, and the source's messages come with their frames.
    if (onJack_ && watch_ && watch_->HasPort()) {
        const int result = jack_connect(watch_->Client(), listedName, watch_->PortName());
        if (result != 0 && result != EEXIST) return false;
        std::memset(connectedSource_, 0, sizeof connectedSource_);
        std::memcpy(connectedSource_, listedName,
                    std::min<std::size_t>(std::strlen(listedName), kDeviceNameSize - 1));
        ownsConnection_ = result == 0;
        return true;
    }
    // The callback and the filter go in before the port opens, so that no message waits in
    // the library's queue where the callback would never see it.
    if (!callbackSet_) {
        midi_->setCallback(&MidiInput::OnMidiMessage, this);
        callbackSet_ = true;
    }
    midi_->ignoreTypes(false, false, false);
    midi_->openPort(index, kPortName);
    return true;
}

bool MidiInput::OpenPort(const char* listedName) {
    portOpen_ = false;
    if (!midi_) return false;
    try {
        // The library numbers the ports as they are now; a source that came or went since
        // the list was taken moves the others, so the listed name is looked up again.
        const bool alsa = midi_->getCurrentApi() == RtMidi::LINUX_ALSA;
        const unsigned int count = midi_->getPortCount();
        WatchServer();
        for (unsigned int i = 0; i < count; ++i) {
            if (ListedMidiPortName(midi_->getPortName(i), alsa) != listedName) continue;
            portOpen_ = OpenSource(i, listedName);
            break;
        }
    } catch (const RtMidiError&) {
        portOpen_ = false;
    }
    return portOpen_;
}

void MidiInput::SwitchMidiPort(uint32_t port) {
    std::unique_ptr<ServerWatch> oldWatch;
    std::lock_guard lock(libraryMutex_);
    if (deviceCount_ == 0 || port >= deviceCount_) return;
    // The same port again only matters when it failed to open before.
    if (port == selected_ && portOpen_) return;
    ClosePortLocked();
    selected_ = port;
    std::memcpy(followed_, names_[port], sizeof followed_);
    followedGone_ = false;
    if (!midi_) {
        // The server went away under the input: start again on whatever runs now. The
        // old watch has done its work; it is let go of outside the lock, which its thread
        // may still be waiting for.
        oldWatch = std::move(watch_);
        if (!CreateLibrary(onJack_ ? RtMidi::UNIX_JACK : RtMidi::UNSPECIFIED)) return;
        OpenOwnPorts();
    }
    OpenPort(followed_);
}

bool MidiInput::OnServer() const {
    std::lock_guard lock(libraryMutex_);
    // The library object goes when the server does (ServerLost).
    return watch_ != nullptr && midi_ != nullptr;
}

bool MidiInput::Reconnect(std::string_view preferredName) {
    std::unique_ptr<ServerWatch> old;
    {
        std::lock_guard lock(libraryMutex_);
        if (watch_ && midi_) return false;
        // The own client is the probe: it connects only to a running server.
        auto watch = std::make_unique<ServerWatch>(*this, true);
        if (!watch->Ok()) return false;
        // The old watch has done its work; it goes outside the lock, which its thread may
        // still be waiting for.
        old = std::move(watch_);
        watch_ = std::move(watch);
        if (!midi_ && !CreateLibrary(onJack_ ? RtMidi::UNIX_JACK : RtMidi::UNSPECIFIED))
            return false;
    }
    old.reset();
    InitMidiDevices(preferredName);
    return true;
}

void MidiInput::DropSource() {
    std::lock_guard lock(libraryMutex_);
    ClosePortLocked();
    followed_[0] = '\0';
    followedGone_ = false;
}

void MidiInput::CloseMidi() {
    // The own JACK port goes with the watch, outside the lock that its thread may be
    // waiting for.
    std::unique_ptr<ServerWatch> watch;
    std::lock_guard lock(libraryMutex_);
    ClosePortLocked();
    followed_[0] = '\0';
    if (ownAlsa_) {
        try {
            ownAlsa_->closePort();
        } catch (const RtMidiError&) {
            // Printed by the library; the object goes either way.
        }
        ownAlsa_.reset();
    }
    watch = std::move(watch_);
}

void MidiInput::ClosePortLocked() {
    // The keys still down on a source that is closed (gone, or switched away from) would
    // never see their note-offs: they end here.
    if (portOpen_) ReleaseNotesOf(kPathSource);
    if (connectedSource_[0] != '\0') {
        // Undone only while the server is there (the library object goes with it), and only
        // when the program made it. Its notes end when the own port loses its last source.
        if (portOpen_ && ownsConnection_ && midi_ && watch_)
            jack_disconnect(watch_->Client(), connectedSource_, watch_->PortName());
        connectedSource_[0] = '\0';
        ownsConnection_ = false;
    } else if (midi_ && portOpen_) {
        try {
            midi_->closePort();
        } catch (const RtMidiError&) {
            // Printed by the library; the port is gone either way.
        }
    }
    portOpen_ = false;
}

void MidiInput::ServerLost(const ServerWatch* from) {
    std::lock_guard lock(libraryMutex_);
    // A watch that has been replaced meanwhile no longer speaks for the library object.
    if (watch_.get() != from) return;
    // The audio outputs went with the client: the stream is over.
    ownAudioOn_.store(false, std::memory_order_release);
    audioCallback_.store(nullptr);
    // Closing the port first would ask a server that is gone; dropping the object closes
    // the client, which is all that is left of it.
    midi_.reset();
    callbackSet_ = false;
    portOpen_ = false;
    // Every JACK path went with the server.
    ReleaseNotesOf(kPathOwnJack | (onJack_ ? kPathSource : 0u));
}

void MidiInput::OnMidiMessage(double /*timeStamp*/, std::vector<unsigned char>* message,
                              void* userData) {
    if (message == nullptr || userData == nullptr) return;
    static_cast<MidiInput*>(userData)->HandleMessage(message->data(), message->size());
}

void MidiInput::OnOwnAlsaMessage(double /*timeStamp*/, std::vector<unsigned char>* message,
                                 void* userData) {
    if (message == nullptr || userData == nullptr) return;
    static_cast<MidiInput*>(userData)->HandleMessage(message->data(), message->size(),
                                                     kPathOwnAlsa);
}

int64_t MidiInput::AudioBlockFrame(uint32_t frames) noexcept {
    if (inOwnCycle_) return static_cast<int64_t>(static_cast<uint32_t>(ownCycleFrame_ + frames));
    const uint32_t block = audioBlocks_++;
    const uint64_t stamp = cycleStamp_.load(std::memory_order_relaxed);
    if (stamp == 0) return kNoMessageTime;
    const auto frame = static_cast<uint32_t>(stamp >> 32);
    const auto cycles = static_cast<uint32_t>(stamp);
    // Both counts go up once a cycle; their difference is one larger in a cycle where the
    // own client has not run yet. Across a restart of the stream it only shrinks.
    const auto lead = static_cast<int32_t>(block - cycles);
    leastLead_ = std::min(leastLead_, lead);
    return static_cast<int64_t>(
        static_cast<uint32_t>(frame + static_cast<uint32_t>(lead - leastLead_) * frames));
}

void MidiInput::Deliver(int64_t time, int32_t status, int32_t data1, int32_t data2) noexcept {
    if (timedHandler_ != nullptr) {
        timedHandler_(timedData_, time, status, data1, data2);
    } else if (handler_ != nullptr) {
        handler_(handlerData_, status, data1, data2);
    }
}

void MidiInput::ReleaseNotesOf(uint32_t paths) noexcept {
    for (int32_t key = 0; key < 16 * 128; ++key) {
        const uint32_t before = heldBy_[key].fetch_and(~paths, std::memory_order_relaxed);
        // Only a note that nobody else holds ends, on the channel it was played on.
        if ((before & paths) != 0 && (before & ~paths) == 0)
            Deliver(kNoMessageTime, kStatusNoteOff | key >> 7, key & 127, 0);
    }
}

void MidiInput::HandleMessage(const unsigned char* bytes, std::size_t count, uint32_t path,
                              int64_t time) noexcept {
    if (bytes == nullptr || count == 0) return;
    const std::size_t kept = std::min<std::size_t>(count, 4);
    for (std::size_t i = 0; i < kept; ++i) lastMessage_[i] = static_cast<int32_t>(bytes[i]);
    log_.Append(MonitorWords());

    // Only complete note, controller and pitch-bend messages go on, of every channel: the
    // engine takes those of the project's channel. A short or malformed one must not reach
    // the note tables.
    const int32_t status = bytes[0];
    const int32_t kind = status & 0xF0;
    if (kind != kStatusNoteOn && kind != kStatusNoteOff && kind != kStatusController &&
        kind != kStatusPitchBend)
        return;
    if (count < 3 || bytes[1] > 127 || bytes[2] > 127) return;
    if (handler_ == nullptr && timedHandler_ == nullptr) return;
    if (kind == kStatusNoteOn || kind == kStatusNoteOff) {
        std::atomic<uint32_t>& held = heldBy_[(status & 0x0F) << 7 | bytes[1]];
        if (kind == kStatusNoteOn && bytes[2] != 0) {
            // Held already through another path: the same key, heard twice.
            if ((held.fetch_or(path, std::memory_order_relaxed) & ~path) != 0) return;
        } else {
            const uint32_t before = held.fetch_and(~path, std::memory_order_relaxed);
            if ((before & ~path) != 0) return;
        }
    }
    // A message of the library's threads has no frame: its time is its arrival, placed on
    // the server's frame counter from the latest cycle while the program is on a server.
    if (time == kNoMessageTime) {
        const int64_t frame = cycleFrame_.load(std::memory_order_acquire);
        const int64_t cycle = cycleUs_.load(std::memory_order_relaxed);
        const int64_t span = nextCycleUs_.load(std::memory_order_relaxed) - cycle;
        if (frame != kNoMessageTime && span > 0) {
            const int64_t since = static_cast<int64_t>(jack_get_time()) - cycle;
            const int64_t length = cycleLength_.load(std::memory_order_relaxed);
            time = static_cast<int64_t>(
                static_cast<uint32_t>(frame + std::max<int64_t>(since, 0) * length / span));
        }
    }
    Deliver(time, status, bytes[1], bytes[2]);
}

} // namespace tw
