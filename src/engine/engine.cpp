#include "engine/engine.h"

#include "engine/schedule.h"
#include "model/catalogue.h"

#include <cstring>

namespace tw {

namespace {

// The single-precision 0.1 is the factor here so that the sum matches stored renders.
constexpr float kOutputGain = 0.1f;

void RunOutput(Engine& e, int32_t slot, float* block, uint32_t frames, uint32_t frame) noexcept {
    using namespace output;
    const int32_t p = PortIndex(slot, 0);
    DefaultDirect(e, p + kVolume, 0.5f);
    float& volumeCell = DirectCell(e, p + kVolume);
    if (volumeCell < 0.0f) volumeCell = 0.0f;
    const double volume = volumeCell;
    const double left = static_cast<double>(DirectCell(e, p + kLeft1)) + DirectCell(e, p + kLeft2) +
                        DirectCell(e, p + kLeft3) + DirectCell(e, p + kLeft4);
    const double right = static_cast<double>(DirectCell(e, p + kRight1)) +
                         DirectCell(e, p + kRight2) + DirectCell(e, p + kRight3) +
                         DirectCell(e, p + kRight4);
    block[frame] = static_cast<float>(left * volume * static_cast<double>(kOutputGain));
    block[frames + frame] = static_cast<float>(right * volume * static_cast<double>(kOutputGain));
}

// Evaluates one module. Types outside the catalogue (0, 20..25, anything out of range)
// do nothing.
inline void Dispatch(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                     uint32_t frame) noexcept {
    switch (type) {
    case kTypeOutput:
        RunOutput(e, slot, block, frames, frame);
        break;
    case kTypeMidi2CV:
        RunMidi2CV(e, slot);
        break;
    case kTypeDelay:
        RunDelay(e, slot);
        break;
    case kTypeSplit:
        RunSplit(e, slot);
        break;
    case kTypeParameter:
        RunParameter(e, slot);
        break;
    case kTypeAmplifier:
        RunAmplifier(e, slot);
        break;
    case kTypeCombine:
        RunCombine(e, slot);
        break;
    case kTypeInverter:
        RunInverter(e, slot);
        break;
    case kTypeVoltMeter:
        RunVoltMeter(e, slot);
        break;
    case kTypeLowPass2Pole:
        RunLowPass2Pole(e, slot);
        break;
    case kTypeAdsr:
        RunAdsr(e, slot);
        break;
    case kTypeOscilloscope:
        RunOscilloscope(e, slot);
        break;
    case kTypeFixedValues:
        RunFixedValues(e, slot);
        break;
    case kTypeOscillatorDriver:
        RunOscillatorDriver(e, slot);
        break;
    case kTypePolyMidi:
        RunPolyMidi(e, slot);
        break;
    case kTypeMul:
        RunMul(e, slot);
        break;
    case kTypeDiv:
        RunDiv(e, slot);
        break;
    case kTypeAdd:
        RunAdd(e, slot);
        break;
    case kTypeSub:
        RunSub(e, slot);
        break;
    case kTypeA440:
        RunA440(e, slot);
        break;
    case kTypeTestModule:
        RunTestModule(e, slot);
        break;
    case kTypeRescale:
        RunRescale(e, slot);
        break;
    case kTypeOscillator:
        RunOscillator(e, slot);
        break;
    case kTypeSwitch2In1Out:
        RunSwitch2In1Out(e, slot);
        break;
    case kTypeSwitch1In2Out:
        RunSwitch1In2Out(e, slot);
        break;
    case kTypeSwitch1In4Out:
        RunSwitch1In4Out(e, slot);
        break;
    case kTypeReverb:
        RunReverb(e, slot);
        break;
    case kTypeNoise:
        RunNoise(e, slot);
        break;
    case kTypePolyWave:
        RunPolyWave(e, slot);
        break;
    case kTypeFormant:
        RunFormant(e, slot);
        break;
    case kTypeLowPass1Pole:
        RunLowPass1Pole(e, slot);
        break;
    case kTypeHighPass1Pole:
        RunHighPass1Pole(e, slot);
        break;
    case kTypeAllPass:
        RunAllPass(e, slot);
        break;
    case kTypeLfo:
        RunLfo(e, slot);
        break;
    case kTypePatchbay:
        RunPatchbay(e, slot);
        break;
    default:
        break;
    }
}

// Copies the sources' current values into the slot's input value table entries, which
// cached reads see at the module's next evaluation (0 for an input without a cable).
//
// Only the positions the type has as inputs are copied: its other positions can have no
// cable, so after one full pass they hold 0 and every later pass would store 0 again.
// The full pass runs whenever the slot's type differs from the last type run there, so
// a type with more inputs never inherits stale values from one with fewer.
inline void RefreshInputs(Engine& e, int32_t type, int32_t slot) noexcept {
    int32_t span = kPortsPerSlot;
    if (type == e.lastType[slot]) {
        span = type >= 0 && type <= kMaxModuleType ? e.inputSpan[type] : kPortsPerSlot;
    } else {
        e.lastType[slot] = type;
    }
    const int32_t p = PortIndex(slot, 0);
    const Relaxed<int32_t>* routes = &e.project.routes[p];
    float* inputs = &e.inputs[p];
    for (int32_t k = 0; k < span; ++k) {
        // Read a valid cell either way and select afterwards: no branch to mispredict on
        // the cable pattern of a thousand slots.
        const int32_t source = routes[k];
        const bool connected = source >= 0;
        const float value = e.outputs[connected ? source : 0];
        inputs[k] = connected ? value : 0.0f;
    }
}

} // namespace

void EvaluateModule(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                    uint32_t frame) noexcept {
    if (IsSlot(slot)) Dispatch(e, type, slot, block, frames, frame);
}

void StepModule(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                uint32_t frame) noexcept {
    Dispatch(e, type, slot, block, frames, frame);
    RefreshInputs(e, type, slot);
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

Engine::Engine(Project& p) : project(p), schedule(NewSchedule()) {
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
}

void Engine::ResetDspState() {
    random.Seed(kEngineSeed);
    ResetNoteTables(*this);
    ResetOscillators(*this);
    ResetReverb(*this);
    ResetDelay(*this);
    ResetFilters(*this);
    ResetEnvelopes(*this);
    ResetPolyWave(*this);
}

void Engine::ClearDelayLine() {
    tw::ClearDelayLine(*this);
}

void ResetEngine(Engine& engine) {
    FullReset(engine.project, engine);
}

void ProcessBlock(Engine& e, float* block, uint32_t frames) noexcept {
    // Without an Output module nothing writes the block; the device must never play
    // whatever memory it handed us.
    std::memset(block, 0, sizeof(float) * 2u * frames);
    RunSchedule(e, block, frames);
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
    ProcessBlock(*static_cast<Engine*>(userData), static_cast<float*>(outputBuffer), frames);
    return 0;
}

} // namespace tw
