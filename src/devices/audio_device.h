#pragma once

// The audio output: the list of output devices taken once at start-up, and the one output
// stream whose callback runs the synthesis engine. Everything here is called from the
// user-interface thread; the callback itself runs on the audio library's thread.
#include "devices/preferences.h"
#include "model/relaxed.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class RtAudio;

namespace tw {

inline constexpr uint32_t kMaxAudioDevices = 128;

// The audio library's output callback shape; the engine's ProcessAudio has it.
using AudioCallback = int (*)(void* output, void* input, unsigned int frames, double streamTime,
                              unsigned int status, void* userData);

// Told the rate a stream is about to run at, on the user-interface thread, after the stream
// has opened and before its first callback; userData is the audio callback's.
using RateHandler = void (*)(void* userData, uint32_t rate);

// Which of the library's host interfaces to use. The program takes the library's own
// choice (JACK when a JACK server runs); tests pin JACK so that they do not depend on
// what else the machine offers.
enum class AudioApi : int32_t { Default, Jack };

// The program's own JACK client, which carries its MIDI input: on JACK the audio outputs live
// there too, so that the program is one client on the server and the MIDI of a cycle plays
// in that cycle's audio.
class OwnJackClient {
public:
    // The rate of the server the own client is on; 0 while it is on none.
    virtual uint32_t OwnClientRate() const = 0;
    // The name the server gave the own client ("Tonewright", numbered for a second running
    // program); "" while it is on none. The device list leaves it out.
    virtual std::string OwnClientName() const = 0;
    // Puts the own client on the server that runs now, where it is on none (it went away with
    // an earlier server); true when it is on one afterwards.
    virtual bool JoinServer() = 0;
    // Runs `callback` in every cycle of the own client from now on, on its audio outputs,
    // which are connected to the first two audio inputs of the JACK client `device` (and to
    // nothing else). False, with why in `problem`, when that cannot be done; `frames` is the
    // server's block size.
    virtual bool StartOwnAudio(AudioCallback callback, void* userData, const char* device,
                               uint32_t& frames, std::string& problem) = 0;
    // Stops calling the callback; once it returns no cycle is still in it.
    virtual void StopOwnAudio() noexcept = 0;
    // False once stopped, or once the server has gone away.
    virtual bool OwnAudioRunning() const noexcept = 0;

protected:
    ~OwnJackClient() = default;
};

class AudioOutput {
public:
    // Creates the library object. When the library cannot be set up at all the device
    // count stays 0 and every operation does nothing.
    AudioOutput(Platform& platform, AudioCallback callback, void* userData,
                AudioApi api = AudioApi::Default);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Lists the output devices and selects the last one named exactly `preferredName`
    // (device 0 when none is). Tells the user when there is none, or too many, unless
    // `tell` is false (a sound server that came back is listed without a word).
    void InitAudioDevices(std::string_view preferredName, bool tell = true);

    // Opens and starts the output stream on `device` at the requested sample rate or, when
    // the device runs at another rate that it alone decides (a JACK server), at the
    // device's rate; the rate handler hears which before the stream starts. A failure goes
    // to the standard error stream only (StartProblem keeps it) and leaves the stream
    // closed. Does nothing while a stream is open, without devices, or for an index outside
    // the list.
    void StartAudio(uint32_t device);
    void SetRateHandler(RateHandler handler) noexcept { rateHandler_ = handler; }
    // Why the last StartAudio left the stream closed; "" after one that started it.
    const std::string& StartProblem() const noexcept { return startProblem_; }

    // Stops and closes the stream this object started; otherwise does nothing. Safe after
    // the sound server has gone away under a running stream, which the library then closes
    // on a thread of its own.
    void StopAudio();

    // True while the stream this object started plays: false again once it is stopped, or
    // once the library has closed it because the sound server went away.
    bool IsRunning() const noexcept;
    // Whether the streams go to a JACK server, whose clock then times live MIDI.
    bool OnJack() const noexcept;
    // On JACK, streams play on `client` instead of a client of the audio library's own; the
    // client must outlive this object.
    void UseOwnClient(OwnJackClient* client) noexcept { own_ = client; }
    uint32_t DeviceCount() const noexcept { return deviceCount_; }
    // The listed name of `device`; "" outside the list.
    const char* DeviceName(uint32_t device) const noexcept;
    uint32_t SelectedDevice() const noexcept { return selected_; }
    // Makes `device` the one the next start opens (the Preferences dialog's choice); an
    // index outside the list is ignored.
    void SelectDevice(uint32_t device) noexcept {
        if (device < deviceCount_) selected_ = device;
    }

    // The rate the next StartAudio asks for (the preferences give 44100 or 48000).
    void SetSampleRate(uint32_t rate) noexcept { sampleRate_ = rate; }
    uint32_t SampleRate() const noexcept { return sampleRate_; }
    // The rate the running stream plays at; 0 when stopped.
    uint32_t StreamRate() const noexcept { return IsRunning() ? streamRate_ : 0; }
    // The block size the library granted for the running stream; 0 when stopped.
    uint32_t BufferFrames() const noexcept { return IsRunning() ? bufferFrames_ : 0; }

private:
    // Runs the engine's callback and counts the cycles, so that StopAudio can tell a live
    // stream from one whose server has died.
    static int Cycle(void* output, void* input, unsigned int frames, double streamTime,
                     unsigned int status, void* self);
    // Whether the stream still gets cycles; false once the library has closed it.
    bool StreamAlive() const;
    // The rate a stream on `device` runs at when `sampleRate_` is asked for.
    uint32_t DeviceRate(uint32_t device);
    // StartAudio on the own JACK client: the JACK device `device` names a client whose
    // inputs the outputs play into.
    void StartOnOwnClient(uint32_t device);

    Platform& platform_;
    AudioCallback callback_;
    void* userData_;
    std::unique_ptr<RtAudio> audio_;
    uint32_t deviceCount_ = 0;
    char names_[kMaxAudioDevices][kDeviceNameSize] = {};
    uint32_t selected_ = 0;
    uint32_t sampleRate_ = 44100;
    uint32_t streamRate_ = 0;
    RateHandler rateHandler_ = nullptr;
    std::string startProblem_;
    uint32_t bufferFrames_ = 0;
    bool running_ = false;
    OwnJackClient* own_ = nullptr;
    // The running stream is the own client's.
    bool onOwn_ = false;
    // Counts the cycles, written by the audio thread only, after each cycle's work (release):
    // whoever reads it (acquire) once the stream has stopped sees everything the last cycle
    // wrote, so that the engine may then be changed or freed.
    std::atomic<uint32_t> cycles_{0};
};

} // namespace tw
