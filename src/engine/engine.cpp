#include "engine/engine.h"

#include "engine/schedule.h"
#include "engine/step.h"
#include "engine/voices.h"
#include "model/catalogue.h"

#include <cstring>

namespace tw {

namespace {

// The single-precision 0.1 is the factor here so that the sum matches stored renders.
constexpr float kOutputGain = 0.1f;

} // namespace

void RunOutput(Engine& e, int32_t slot, float* block, uint32_t frames, uint32_t frame) noexcept {
    using namespace output;
    const int32_t p = PortIndex(slot, 0);
    StoreDirectDefaults<kTypeOutput>(e, p);
    float& volumeCell = DirectCell(e, p + kVolume);
    constexpr float kFloor = FactsOf(kTypeOutput).storeBack.floor;
    if (volumeCell < kFloor) volumeCell = kFloor;
    const double volume = volumeCell;
    const double left = static_cast<double>(DirectCell(e, p + kLeft1)) + DirectCell(e, p + kLeft2) +
                        DirectCell(e, p + kLeft3) + DirectCell(e, p + kLeft4);
    const double right = static_cast<double>(DirectCell(e, p + kRight1)) +
                         DirectCell(e, p + kRight2) + DirectCell(e, p + kRight3) +
                         DirectCell(e, p + kRight4);
    block[frame] = static_cast<float>(left * volume * static_cast<double>(kOutputGain));
    block[frames + frame] = static_cast<float>(right * volume * static_cast<double>(kOutputGain));
}

void EvaluateModule(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                    uint32_t frame) noexcept {
    if (IsSlot(slot)) Dispatch(e, type, slot, block, frames, frame);
}

void RunOutputBlock(Engine&, const BlockModule& m, uint32_t n, const RunTarget& t) noexcept {
    using namespace output;
    // Volume has no cable here: it reads its own default, 0.5.
    const double volume = m.cell[0];
    const float* in[8];
    for (int32_t k = 0; k < 8; ++k) {
        in[k] = m.view[kLeft1 + k] != nullptr ? m.view[kLeft1 + k] : m.cell;
    }
    float* left = t.block + t.begin;
    float* right = t.block + t.frames + t.begin;
    for (uint32_t f = 0; f < n; ++f) {
        const double l = static_cast<double>(in[0][f]) + in[1][f] + in[2][f] + in[3][f];
        const double r = static_cast<double>(in[4][f]) + in[5][f] + in[6][f] + in[7][f];
        left[f] = static_cast<float>(l * volume * static_cast<double>(kOutputGain));
        right[f] = static_cast<float>(r * volume * static_cast<double>(kOutputGain));
    }
}

Engine::Engine(Project& p, EngineRole role) : project(p) {
    if (role == EngineRole::Whole) {
        onceOnly = new OnceOnlyState();
        schedule = NewSchedule();
        voices = new VoiceBank;
        PreparePolyWave(onceOnly->polywave);
    } else {
        voiceStreams = NewVoiceStreams();
    }
    for (int32_t type = 0; type <= kMaxModuleType; ++type) {
        int32_t count = 0;
        if (const ModuleTypeInfo* info = FindModuleType(type)) {
            for (const CataloguePort& port : info->inputs) {
                if (port.number + 1 > count) count = port.number + 1;
            }
        }
        inputSpan[type] = count;
    }
    // A Patchbay grows its inputs as cables arrive; all 16 positions can carry one.
    inputSpan[kTypePatchbay] = kPortsPerSlot;
    for (int32_t& type : lastType) type = kNone;
}

Engine::~Engine() {
    DeleteSchedule(schedule);
    DeleteVoiceStreams(voiceStreams);
    if (voices != nullptr)
        for (Engine* voice : voices->engines) delete voice;
    delete voices;
    delete onceOnly;
}

void Engine::ResetDspState() {
    random.Seed(kEngineSeed);
    ResetControlChanges(*this);
    ResetNoteTables(*this);
    ResetOscillators(*this);
    ResetReverb(*this);
    ResetDelay(*this);
    ResetFilters(*this);
    ResetEnvelopes(*this);
    ResetPolyWave(*this);
    ResetKeyboard(*this);
    ResetVoices(*this);
}

void Engine::ClearDelayLine() {
    tw::ClearDelayLine(*this);
}

void ResetEngine(Engine& engine) {
    FullReset(engine.project, engine);
}

uint32_t OpenBridgeFor(Engine& engine, uint32_t deviceRate) {
    const uint32_t rate = EngineRateFor(deviceRate);
    if (engine.bridge.Open(rate, deviceRate)) return rate;
    engine.bridge.Open(deviceRate, deviceRate);
    return deviceRate;
}

void AdoptSampleRate(Engine& engine, uint32_t deviceRate) {
    const uint32_t rate = OpenBridgeFor(engine, deviceRate);
    if (engine.sampleRate == static_cast<float>(rate)) return;
    engine.sampleRate = static_cast<float>(rate);
    engine.ResetDspState();
}

void ProcessBlock(Engine& e, float* block, uint32_t frames) noexcept {
    // Without an Output module nothing writes the block; the device must never play
    // whatever memory it handed us.
    std::memset(block, 0, sizeof(float) * 2u * frames);
    TakeSilenceRequest(e);
    if (RunnableVoices(e) > 1) {
        RunVoiceBlock(e, block, frames);
        return;
    }
    // One voice: the note tables are all Midi2CV needs; what was queued for voices goes.
    DropVoiceEvents(e);
    RunSchedule(e, block, frames);
}

void SilenceDspTails(Engine& e) noexcept {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        e.envelopes.stage[slot] = kAdsrIdle;
        e.envelopes.level[slot] = 0.0f;
    }
    tw::ClearDelayLine(e);
    ResetReverb(e);
}

void RunFrameLoop(Engine& e, float* block, uint32_t frames) noexcept {
    Project& project = e.project;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        // The count is read again for every entry so that a rebuild on the user-interface
        // thread takes effect at once; every entry below it is a valid (type, slot).
        for (int32_t n = 0; n < project.activeCount; ++n) {
            const int32_t type = project.activeTypes[n];
            const int32_t slot = project.activeSlots[n];
            if (!IsSlot(slot)) continue;
            Dispatch(e, type, slot, block, frames, frame);
            RefreshInputs(e, type, slot);
        }
    }
}

int ProcessAudio(void* outputBuffer, void*, unsigned int frames, double, unsigned int,
                 void* userData) {
    if (outputBuffer == nullptr || userData == nullptr) return 0;
    auto* block = static_cast<float*>(outputBuffer);
    RenderDeviceFrames(*static_cast<Engine*>(userData), block, block + frames, frames);
    return 0;
}

} // namespace tw
