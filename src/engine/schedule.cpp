// Running the run plan over a block: block units by their rules on value streams, groups
// frame by frame, voice units once per sounding voice; and rebuilding the plan first when
// the tables it came from have changed.
#include "schedule.h"

#include "engine/engine.h"
#include "engine/schedule_plan.h"
#include "engine/step.h"
#include "engine/type_facts.h"
#include "engine/voices.h"
#include "model/checks.h"

#include <algorithm>
#include <atomic>
#include <bit>

namespace tw {

Schedule* NewSchedule() {
    return new Schedule();
}

void DeleteSchedule(Schedule* schedule) noexcept {
    delete schedule;
}

VoiceStreamMemory* NewVoiceStreams() {
    return new VoiceStreamMemory();
}

void DeleteVoiceStreams(VoiceStreamMemory* streams) noexcept {
    delete streams;
}

namespace {

void BeforeBlock(Engine& e, const BlockModule& m, uint32_t mask, uint32_t fill,
                 uint32_t n) noexcept {
    const int32_t p = PortIndex(m.slot, 0);
    for (uint32_t bits = mask | fill; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.out[k][-1] = e.outputs[p + k];
    }
    for (uint32_t bits = fill; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        std::fill(m.out[k], m.out[k] + n, e.outputs[p + k]);
    }
}

void AfterBlock(Engine& e, const BlockModule& m, uint32_t mask, uint32_t n) noexcept {
    const int32_t p = PortIndex(m.slot, 0);
    for (uint32_t bits = mask; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        e.outputs[p + k] = m.out[k][n - 1];
    }
    // The input copies as the frame loop leaves them: a first run after a change of type
    // copies all sixteen positions (on its first frame), every frame its own inputs.
    const int32_t span = e.inputSpan[m.type];
    if (e.lastType[m.slot] != m.type) {
        e.lastType[m.slot] = m.type;
        for (int32_t k = span; k < kPortsPerSlot; ++k) {
            e.inputs[p + k] = m.view[k] != nullptr ? m.view[k][0] : 0.0f;
        }
    }
    for (int32_t k = 0; k < span; ++k) {
        e.inputs[p + k] = m.view[k] != nullptr ? m.view[k][n - 1] : 0.0f;
    }
}

void RunBlockUnit(Engine& e, const Schedule& s, const Unit& unit, uint32_t n,
                  const RunTarget& target) noexcept {
    const BlockModule* m = s.modules + unit.module;
    for (int32_t j = 0; j < unit.count; ++j)
        BeforeBlock(e, m[j], unit.outputMask, unit.fillMask[j], n);
    // The plan holds a block unit only for a type with a block rule.
    TW_ASSERT(HasBlockRule(m->type));
    FactsOf(m->type).block(e, m, unit.count, n, target);
    for (int32_t j = 0; j < unit.count; ++j) AfterBlock(e, m[j], unit.outputMask, n);
}

// kMixed: the group runs voice modules too, once per sounding voice (kept apart so that
// the loop of a design without them stays as tight as it was).
template <bool kMixed>
void RunGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                  const RunTarget& target) noexcept {
    for (int32_t i = unit.primeBegin; i < unit.primeEnd; ++i) {
        s.streams[s.primes[i].stream][0] = e.outputs[s.primes[i].port];
    }
    const Op* const first = s.ops + unit.opBegin;
    const Op* const last = s.ops + unit.opEnd;
    for (uint32_t f = 0; f < n; ++f) {
        for (const Op* op = first; op != last; ++op) {
            switch (op->kind) {
            case kOpLoadBefore:
                e.outputs[op->a] = s.streams[op->b][f];
                break;
            case kOpLoadNow:
                e.outputs[op->a] = s.streams[op->b][f + 1];
                break;
            case kOpSetCell:
                e.unconnected = s.streams[op->b][f + 1];
                break;
            case kOpStep:
                StepModule(e, op->a, op->b, target.block, target.frames, target.begin + f);
                break;
            default:
                if constexpr (kMixed) {
                    if (op->kind == kOpVoiceStep) {
                        StepVoices(e, op->a, op->b, target.block, target.frames, target.begin + f);
                        break;
                    }
                }
                s.streams[op->b][f + 1] = e.outputs[op->a];
                break;
            }
        }
    }
    for (int32_t i = unit.restoreBegin; i < unit.restoreEnd; ++i) {
        e.outputs[s.restores[i].port] = s.streams[s.restores[i].stream][n];
    }
}

// A voice engine never runs a plan of its own: it has the streams of the voice's own
// values, at the places the main plan gives them.
float (*VoiceStreams(const Engine& voice) noexcept)[kStride] {
    return voice.voiceStreams->streams;
}

// The voices' values of a voice group's outputs that once-only modules read, summed in
// voice order into the main engine's streams (0 with no voice sounding).
void SumVoiceExits(Engine& e, Schedule& s, const Unit& unit, uint32_t n) noexcept {
    VoiceBank& b = *e.voices;
    for (int32_t i = unit.exitBegin; i < unit.exitEnd; ++i) {
        const PortStream exit = s.exits[i];
        float* sum = s.streams[exit.stream];
        sum[0] = e.outputs[exit.port];
        std::fill(sum + 1, sum + 1 + n, 0.0f);
        for (int32_t r = 0; r < b.sounding; ++r) {
            const float* x = VoiceStreams(*b.soundingEngines[r])[exit.stream];
            float& peak = b.alloc.peak[b.running[r]];
            for (uint32_t f = 1; f <= n; ++f) {
                sum[f] += x[f];
                KeepPeak(peak, x[f]);
            }
        }
        e.outputs[exit.port] = sum[n];
    }
}

void MoveToVoice(BlockModule& m, uint32_t views, uint32_t outs, const float* from,
                 float* to) noexcept {
    for (uint32_t bits = views; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.view[k] = to + (m.view[k] - from);
    }
    for (uint32_t bits = outs; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.out[k] = to + (m.out[k] - from);
    }
}

// A block unit of voice modules, run for one sounding voice after another. (The voices'
// runners stay out of line so that the plan's loop stays small for designs without them.)
[[gnu::noinline]] void RunVoiceBlockUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    VoiceBank& b = *e.voices;
    BlockModule* m = s.modules + unit.module;
    BlockModule saved[kBatch];
    std::copy(m, m + unit.count, saved);
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        for (int32_t j = 0; j < unit.count; ++j) {
            m[j] = saved[j];
            MoveToVoice(m[j], s.voiceViews[unit.module + j], s.voiceOuts[unit.module + j],
                        s.streams[0], VoiceStreams(voice)[0]);
        }
        RunBlockUnit(voice, s, unit, n, target);
    }
    std::copy(saved, saved + unit.count, m);
    SumVoiceExits(e, s, unit, n);
}

// A frame-by-frame group of voice modules, run over the whole run for one sounding voice
// after another: each voice's values stay in its own engine and streams.
[[gnu::noinline]] void RunVoiceGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    VoiceBank& b = *e.voices;
    const Op* const first = s.ops + unit.opBegin;
    const Op* const last = s.ops + unit.opEnd;
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        float(*own)[kStride] = VoiceStreams(voice);
        // A value from another group: the voice's own, or the once-only part's.
        const auto from = [&](int32_t port, int32_t stream) -> const float* {
            return s.slotVoice[SlotOfPort(port)] != 0 ? own[stream] : s.streams[stream];
        };
        for (int32_t i = unit.primeBegin; i < unit.primeEnd; ++i)
            own[s.primes[i].stream][0] = voice.outputs[s.primes[i].port];
        for (uint32_t f = 0; f < n; ++f) {
            for (const Op* op = first; op != last; ++op) {
                switch (op->kind) {
                case kOpLoadBefore:
                    voice.outputs[op->a] = from(op->a, op->b)[f];
                    break;
                case kOpLoadNow:
                    voice.outputs[op->a] = from(op->a, op->b)[f + 1];
                    break;
                case kOpSetCell:
                    voice.unconnected = s.streams[op->b][f + 1];
                    break;
                case kOpStore:
                    own[op->b][f + 1] = voice.outputs[op->a];
                    break;
                default:
                    StepModule(voice, op->a, op->b, target.block, target.frames, target.begin + f);
                    break;
                }
            }
        }
        for (int32_t i = unit.restoreBegin; i < unit.restoreEnd; ++i)
            voice.outputs[s.restores[i].port] = from(s.restores[i].port, s.restores[i].stream)[n];
    }
    SumVoiceExits(e, s, unit, n);
}

[[gnu::noinline]] void RunMixedGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    RunGroupUnit<true>(e, s, unit, n, target);
}

// Inlined whole: the units run in a tight loop, and each call would cost more than some
// of the short units it runs.
[[gnu::flatten]] void RunPlan(Engine& e, Schedule& s, const RunTarget& target,
                              uint32_t n) noexcept {
    const float start = e.unconnected;
    if (s.startStream != kNone)
        std::fill(s.streams[s.startStream] + 1, s.streams[s.startStream] + 1 + n, start);
    if (s.startThenStream != kNone) s.streams[s.startThenStream][1] = start;
    for (int32_t u = 0; u < s.unitCount; ++u) {
        const Unit& unit = s.units[u];
        if (unit.voice) {
            if (unit.block) {
                RunVoiceBlockUnit(e, s, unit, n, target);
            } else {
                RunVoiceGroupUnit(e, s, unit, n, target);
            }
        } else if (unit.block) {
            RunBlockUnit(e, s, unit, n, target);
        } else {
            if (unit.mixed) {
                RunMixedGroupUnit(e, s, unit, n, target);
            } else {
                RunGroupUnit<false>(e, s, unit, n, target);
            }
        }
    }
    e.unconnected = s.anyStore ? s.endCell : start;
}

// Rebuilds the plan when the tables it was derived from have changed; false when there is
// no plan to run (the tables do not fit it).
bool PlanFor(Engine& e, uint32_t generation, const VoicePlan* voices) noexcept {
    Schedule& s = *e.schedule;
    const Project& p = e.project;
    const bool voiced = voices != nullptr;
    if (!s.built || s.generation != generation || s.voiced != voiced ||
        s.count != std::clamp<int32_t>(p.activeCount, 0, kSlotCount)) {
        // Built from tables caught half-rebuilt the plan is still safe to run; the
        // generation read before the build makes the next block build it again.
        s.valid = Build(s, p, voices);
        s.built = true;
        s.generation = generation;
        s.voiced = voiced;
        if (!s.valid) s.stats = ScheduleStats{};
    }
    return s.valid;
}

void RunPlanBlock(Engine& e, float* block, uint32_t frames) noexcept {
    for (uint32_t begin = 0; begin < frames;) {
        const uint32_t n = std::min(kRunFrames, frames - begin);
        RunPlan(e, *e.schedule, RunTarget{block, frames, begin}, n);
        begin += n;
    }
}

} // namespace

void RunSchedule(Engine& e, float* block, uint32_t frames) noexcept {
    // A single frame costs the plan more than the plain loop, which leaves every value
    // as the plan would.
    const uint32_t generation = e.project.tableGeneration.load(std::memory_order_acquire);
    if (frames == 1 || !PlanFor(e, generation, nullptr)) {
        RunFrameLoop(e, block, frames);
        return;
    }
    RunPlanBlock(e, block, frames);
}

bool RunVoiceSchedule(Engine& e, float* block, uint32_t frames, const VoicePlan& voices,
                      bool anySounding) noexcept {
    if (frames == 1 || !PlanFor(e, voices.generation, &voices)) return false;
    if (!anySounding && e.schedule->silentDiffers) return false;
    RunPlanBlock(e, block, frames);
    return true;
}

ScheduleStats LastScheduleStats(const Engine& e) noexcept {
    return e.schedule->stats;
}

} // namespace tw
