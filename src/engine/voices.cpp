#include "engine/voices.h"

#include "engine/engine.h"
#include "engine/schedule.h"
#include "engine/step.h"
#include "model/catalogue.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// A released voice whose values into the shared part all stay below this for a whole
// block has died away: it stops running and is free. About -120 dB of full scale.
constexpr float kSilentLevel = 1e-6f;

int32_t OutputSpan(int32_t type) noexcept {
    if (type == kTypePatchbay) return kPortsPerSlot;
    int32_t span = 0;
    if (const ModuleTypeInfo* info = FindModuleType(type)) {
        for (const CataloguePort& port : info->outputs) span = std::max(span, port.number + 1);
    }
    return std::min(span, kPortsPerSlot);
}

// The per-slot state a voice starts from: what a freshly opened design holds, so that a
// voice never carries anything over from the note it played before.
void RestartVoiceSlot(Engine& v, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        v.outputs[p + k] = 0.0f;
        v.inputs[p + k] = 0.0f;
        v.previous[p + k] = 0.0f;
    }
    v.cells.phase[slot] = 0.0f;
    v.cells.increment[slot] = 0.0f;
    v.cells.lastSeen[slot] = 0.0f;
    v.lastType[slot] = kNone;
    v.oscillators.lastPitch[slot] = -99.0f;
    v.oscillators.band[slot] = 0;
    v.oscillators.rising[slot] = 0;
    FilterState& f = v.filters;
    f.lp2Stage0[slot] = 0.0f;
    f.lp2Stage1[slot] = 0.0f;
    f.lp2Feedback[slot] = 0.0f;
    f.lpA0[slot] = 1.0f;
    f.lpB1[slot] = 0.0f;
    f.lpY[slot] = 0.0f;
    f.hpA0[slot] = 1.0f;
    f.hpB1[slot] = 0.0f;
    f.hpY[slot] = 0.0f;
    f.allPassZ[slot] = 0.0f;
    for (Relaxed<double>& m : f.formantMemory[slot]) m = 0.0;
    f.formantResult[slot] = 0.0;
    v.envelopes.stage[slot] = kAdsrIdle;
    v.envelopes.level[slot] = 0.0f;
    v.envelopes.rate[slot] = 0.0f;
    v.envelopes.lastGate[slot] = 0.0f;
    v.utility.scopeCount[slot] = 0;
    v.utility.scopeCapturing[slot] = 0;
}

void RefreshPlan(Engine& e, VoiceBank& b, int32_t count) noexcept {
    const uint32_t generation = e.project.tableGeneration.load(std::memory_order_acquire);
    VoicePlan& plan = b.plan;
    if (b.planned && plan.generation == generation && plan.voiceCount == count) return;
    uint8_t was[kSlotCount];
    std::copy(std::begin(plan.perVoice), std::end(plan.perVoice), was);
    const bool replanned = b.planned;
    b.planned = true;
    plan.generation = generation;
    plan.voiceCount = count;
    plan.voiceSlots = VoicePartOf(e.project, plan.perVoice);
    std::fill(std::begin(plan.feedsVoice), std::end(plan.feedsVoice), uint8_t{0});
    std::fill(std::begin(plan.exits), std::end(plan.exits), uint8_t{0});
    const Project& p = e.project;
    for (int32_t n = 0; n < p.activeCount; ++n) {
        const int32_t slot = p.activeSlots[n];
        if (!IsSlot(slot)) continue;
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t source = p.routes[PortIndex(slot, k)];
            if (source < 0 || source >= kPortCount) continue;
            const int32_t from = SlotOfPort(source);
            if (plan.perVoice[slot] != 0 && plan.perVoice[from] == 0) plan.feedsVoice[from] = 1;
            if (plan.perVoice[slot] == 0 && plan.perVoice[from] != 0) plan.exits[from] = 1;
        }
    }
    std::fill(std::begin(plan.exitSpan), std::end(plan.exitSpan), int8_t{0});
    for (int32_t n = 0; n < p.activeCount; ++n) {
        const int32_t slot = p.activeSlots[n];
        if (IsSlot(slot) && plan.exits[slot] != 0)
            plan.exitSpan[slot] = static_cast<int8_t>(OutputSpan(p.activeTypes[n]));
    }
    int32_t feeds = 0;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        plan.feedStart[slot] = feeds;
        if (plan.perVoice[slot] == 0) continue;
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t source = p.routes[PortIndex(slot, k)];
            if (IsPort(source) && plan.perVoice[SlotOfPort(source)] == 0)
                plan.feedPorts[feeds++] = source;
        }
    }
    plan.feedStart[kSlotCount] = feeds;
    // A smaller count ends the voices above it.
    VoiceAllocation& a = b.alloc;
    for (int32_t v = count; v < kMaxVoices; ++v) {
        a.note[v] = kNone;
        a.keyDown[v] = 0;
    }
    // A module that joins the voice part while voices sound starts from silence in each of
    // them, as in a voice started afresh, never from what its slot held before.
    for (int32_t v = 0; v < count && replanned; ++v) {
        if (a.note[v] < 0) continue;
        for (int32_t slot = 0; slot < kSlotCount; ++slot)
            if (plan.perVoice[slot] != 0 && was[slot] == 0) RestartVoiceSlot(*b.engines[v], slot);
    }
}

void StartVoice(Engine& e, VoiceBank& b, int32_t v, int32_t note, int32_t velocity) noexcept {
    Engine& voice = *b.engines[v];
    VoiceAllocation& a = b.alloc;
    if (a.note[v] >= 0) SetSingleNote(voice, a.note[v], 0, false);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (b.plan.perVoice[slot] != 0) {
            RestartVoiceSlot(voice, slot);
        } else if (b.plan.feedsVoice[slot] != 0) {
            const int32_t p = PortIndex(slot, 0);
            std::copy(e.outputs + p, e.outputs + p + kPortsPerSlot, voice.outputs + p);
        }
    }
    SetSingleNote(voice, note, velocity, true);
    a.note[v] = note;
    a.keyDown[v] = 1;
    a.started[v] = ++a.clock;
}

// A free voice, else the one released longest ago, else the one held longest.
int32_t ChooseVoice(const VoiceAllocation& a, int32_t count) noexcept {
    int32_t released = kNone, held = kNone;
    for (int32_t v = 0; v < count; ++v) {
        if (a.note[v] < 0) return v;
        if (a.keyDown[v] == 0) {
            if (released == kNone || a.released[v] < a.released[released]) released = v;
        } else if (held == kNone || a.started[v] < a.started[held]) {
            held = v;
        }
    }
    return released != kNone ? released : held;
}

void ReleaseVoice(VoiceBank& b, int32_t v) noexcept {
    VoiceAllocation& a = b.alloc;
    a.keyDown[v] = 0;
    a.released[v] = ++a.clock;
    SetSingleNote(*b.engines[v], a.note[v], 0, false);
}

// The voice that sounded last shows itself on the meters and scopes of the voice part.
void ShowNewestVoice(Engine& e, VoiceBank& b, const int32_t* running, int32_t count) noexcept {
    if (count == 0) return;
    int32_t newest = running[0];
    for (int32_t r = 1; r < count; ++r) {
        if (b.alloc.started[running[r]] > b.alloc.started[newest]) newest = running[r];
    }
    Engine& voice = *b.engines[newest];
    const Project& p = e.project;
    for (int32_t n = 0; n < p.activeCount; ++n) {
        const int32_t slot = p.activeSlots[n];
        if (!IsSlot(slot) || b.plan.perVoice[slot] == 0) continue;
        const int32_t type = p.activeTypes[n];
        if (type == kTypeVoltMeter) {
            e.project.slots[slot].displayValue = voice.outputs[PortIndex(slot, volt_meter::kOut)];
        } else if (type == kTypeOscilloscope) {
            for (int32_t i = 0; i < kScopeLength; ++i)
                e.utility.scope[slot][i] = voice.utility.scope[slot][i].load();
        }
    }
}

// The voices' values of the slot's outputs that once-only modules read, summed in voice
// order into the main engine.
void SumExits(Engine& e, VoiceBank& b, int32_t slot) noexcept {
    const int32_t span = b.plan.exitSpan[slot];
    const int32_t p = PortIndex(slot, 0);
    for (int32_t k = 0; k < span; ++k) {
        float sum = 0.0f;
        for (int32_t r = 0; r < b.sounding; ++r) {
            const float x = b.soundingEngines[r]->outputs[p + k];
            sum += x;
            KeepPeak(b.alloc.peak[b.running[r]], x);
        }
        e.outputs[p + k] = sum;
    }
}

// The reset's request, the plan, the note events, then the voices that sound this block.
void BeginVoiceBlock(Engine& e, VoiceBank& b) noexcept {
    const uint32_t resets = b.resets.load(std::memory_order_acquire);
    if (resets != b.resetsSeen) {
        b.resetsSeen = resets;
        for (int32_t v = 0; v < kMaxVoices; ++v) {
            b.alloc.note[v] = kNone;
            b.alloc.keyDown[v] = 0;
        }
        b.planned = false;
    }
    const int32_t count = RunnableVoices(e);
    RefreshPlan(e, b, count);
    ApplyVoiceEvents(e);
    VoiceAllocation& a = b.alloc;
    b.sounding = 0;
    for (int32_t v = 0; v < count; ++v) {
        if (a.note[v] < 0) continue;
        b.running[b.sounding] = v;
        b.soundingEngines[b.sounding] = b.engines[v];
        b.engines[v]->notes.bend = e.notes.bend.load();
        a.peak[v] = 0.0f;
        ++b.sounding;
    }
}

void EndVoiceBlock(Engine& e, VoiceBank& b) noexcept {
    ShowNewestVoice(e, b, b.running, b.sounding);
    VoiceAllocation& a = b.alloc;
    for (int32_t r = 0; r < b.sounding; ++r) {
        const int32_t v = b.running[r];
        if (a.keyDown[v] == 0 && a.peak[v] < kSilentLevel) a.note[v] = kNone;
    }
}

// The voices share the one unconnected cell, in voice order, as the modules of a
// one-voice design share it in list order.
void StepEachVoice(Engine& e, VoiceBank& b, int32_t type, int32_t slot, float* block,
                   uint32_t frames, uint32_t frame) noexcept {
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        voice.unconnected = e.unconnected;
        StepModule(voice, type, slot, block, frames, frame);
        e.unconnected = voice.unconnected;
    }
}

// The once-only slot's outputs into every sounding voice, where voice modules read them.
void CopyToVoices(Engine& e, VoiceBank& b, int32_t slot) noexcept {
    const int32_t p = PortIndex(slot, 0);
    for (int32_t r = 0; r < b.sounding; ++r)
        std::copy(e.outputs + p, e.outputs + p + kPortsPerSlot, b.soundingEngines[r]->outputs + p);
}

void VoiceFrameLoop(Engine& e, VoiceBank& b, float* block, uint32_t frames) noexcept {
    const VoicePlan& plan = b.plan;
    Project& project = e.project;
    // The voices take the once-only values they read as they stand: the run plan leaves
    // no copies behind, and a cable just made to a module later in the list must not
    // read a stale one.
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (plan.feedsVoice[slot] != 0) CopyToVoices(e, b, slot);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        for (int32_t n = 0; n < project.activeCount; ++n) {
            const int32_t type = project.activeTypes[n];
            const int32_t slot = project.activeSlots[n];
            if (!IsSlot(slot)) continue;
            if (plan.perVoice[slot] != 0) {
                StepEachVoice(e, b, type, slot, block, frames, frame);
                SumExits(e, b, slot);
                continue;
            }
            StepModule(e, type, slot, block, frames, frame);
            if (plan.feedsVoice[slot] != 0) CopyToVoices(e, b, slot);
        }
    }
}

} // namespace

void PrepareVoices(Engine& e, int32_t count) {
    VoiceBank& b = *e.voices;
    count = std::clamp(count, 0, kMaxVoices);
    for (int32_t v = b.ready.load(std::memory_order_relaxed); v < count; ++v) {
        auto* voice = new Engine(e.project, EngineRole::Voice);
        voice->sampleRate = e.sampleRate.load();
        voice->ResetDspState();
        b.engines[v] = voice;
        b.ready.store(v + 1, std::memory_order_release);
    }
}

int32_t RunnableVoices(const Engine& e) noexcept {
    const int32_t wanted = e.project.voiceCount;
    if (wanted <= 1) return 1;
    const int32_t ready = e.voices->ready.load(std::memory_order_acquire);
    return std::min(wanted, ready) > 1 ? std::min({wanted, ready, kMaxVoices}) : 1;
}

void ApplyVoiceEvents(Engine& e) noexcept {
    VoiceBank& b = *e.voices;
    VoiceAllocation& a = b.alloc;
    const int32_t count = RunnableVoices(e);
    uint32_t kind = 0;
    int32_t note = 0, velocity = 0;
    while (TakeKeyboardEvent(e, kind, note, velocity)) {
        if (kind == kEventNoteOn) {
            const int32_t v = ChooseVoice(a, count);
            if (v >= 0) StartVoice(e, b, v, note, velocity);
        } else if (kind == kEventNoteOff) {
            // The note's oldest held voice ends: a key struck twice ends in order.
            int32_t oldest = kNone;
            for (int32_t v = 0; v < count; ++v) {
                if (a.note[v] != note || a.keyDown[v] == 0) continue;
                if (oldest == kNone || a.started[v] < a.started[oldest]) oldest = v;
            }
            if (oldest != kNone) ReleaseVoice(b, oldest);
        } else if (kind == kEventAllNotesOff || kind == kEventAllSoundOff) {
            for (int32_t v = 0; v < count; ++v) {
                if (a.note[v] >= 0 && a.keyDown[v] != 0) ReleaseVoice(b, v);
                if (kind == kEventAllSoundOff) a.note[v] = kNone;
            }
        }
    }
}

void DropVoiceEvents(Engine& e) noexcept {
    uint32_t kind = 0;
    int32_t note = 0, velocity = 0;
    while (TakeKeyboardEvent(e, kind, note, velocity)) {}
}

void ResetVoices(Engine& e) noexcept {
    if (e.voices == nullptr) return; // a voice engine
    VoiceBank& b = *e.voices;
    b.resets.fetch_add(1, std::memory_order_release);
    const int32_t ready = b.ready.load(std::memory_order_acquire);
    for (int32_t v = 0; v < ready; ++v) {
        b.engines[v]->sampleRate = e.sampleRate.load();
        b.engines[v]->ResetDspState();
    }
}

int32_t SoundingVoices(const Engine& e) noexcept {
    const int32_t count = RunnableVoices(e);
    if (count <= 1) return 0;
    int32_t sounding = 0;
    for (int32_t v = 0; v < count; ++v) sounding += e.voices->alloc.note[v] >= 0 ? 1 : 0;
    return sounding;
}

bool IsVoiceSlot(const Engine& e, int32_t slot) noexcept {
    return IsSlot(slot) && e.voices->planned && e.voices->plan.perVoice[slot] != 0;
}

void StepVoices(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                uint32_t frame) noexcept {
    VoiceBank& b = *e.voices;
    const VoicePlan& plan = b.plan;
    const int32_t* feed = plan.feedPorts + plan.feedStart[slot];
    const int32_t* const feedEnd = plan.feedPorts + plan.feedStart[slot + 1];
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        for (const int32_t* port = feed; port != feedEnd; ++port)
            voice.outputs[*port] = e.outputs[*port];
    }
    StepEachVoice(e, b, type, slot, block, frames, frame);
    SumExits(e, b, slot);
}

void RunVoiceFrameLoop(Engine& e, float* block, uint32_t frames) noexcept {
    VoiceBank& b = *e.voices;
    BeginVoiceBlock(e, b);
    VoiceFrameLoop(e, b, block, frames);
    EndVoiceBlock(e, b);
}

void RunVoiceBlock(Engine& e, float* block, uint32_t frames) noexcept {
    VoiceBank& b = *e.voices;
    BeginVoiceBlock(e, b);
    if (!RunVoiceSchedule(e, block, frames, b.plan, b.sounding > 0))
        VoiceFrameLoop(e, b, block, frames);
    EndVoiceBlock(e, b);
}

} // namespace tw
