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
    // Counts the cycles, written by the audio thread only, after each cycle's work (release):
    // whoever reads it (acquire) once the stream has stopped sees everything the last cycle
    // wrote, so that the engine may then be changed or freed.
    std::atomic<uint32_t> cycles_{0};
};

} // namespace tw
