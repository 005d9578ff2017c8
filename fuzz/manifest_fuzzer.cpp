// libFuzzer harness for the plugin's manifest reader. Besides "no crash, no undefined
// behaviour, nothing read outside the bytes", a manifest that reads whole must give a
// project whose indices are all in range and whose cables agree in both halves, and the
// engine must run it with a note playing.
#include "engine/engine.h"
#include "engine/voices.h"
#include "model/instrument.h"
#include "plugin/design_loader.h"
#include "plugin/manifest_reader.h"

#include <cstdint>
#include <memory>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckInvariants(const tw::Project& p) {
    for (int32_t k = 0; k < tw::kPortCount; ++k) {
        const int32_t source = p.outputs[k].link;
        Check(source == tw::kNone || (tw::IsPort(source) && p.inputs[source].link == k));
        const int32_t route = p.routes[k];
        Check(route == source);
    }
    const int32_t active = p.activeCount;
    Check(active >= 0 && active <= tw::kSlotCount);
    for (int32_t n = 0; n < active; ++n) {
        Check(tw::IsSlot(p.activeSlots[n]));
        const int32_t type = p.activeTypes[n];
        Check(type >= 1 && type <= tw::kMaxModuleType);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One project and engine for the whole run, rebuilt in place for every input that
    // reads whole, as a plugin instance builds its own at instantiation.
    static auto* project = new tw::Project;
    static auto* engine = new tw::Engine(*project);

    const tw::plugin::Manifest m = tw::plugin::FindManifest(std::span(data, size));
    Check(m.hasDesign == m.problem.empty());
    if (!m.hasDesign) return 0;
    Check(m.hasIdentity && m.offset + tw::plugin::kManifestPrefixSize <= size);

    std::destroy_at(engine);
    std::destroy_at(project);
    std::construct_at(project);
    std::construct_at(engine, *project);
    tw::ResetEngine(*engine);
    tw::plugin::LoadDesign(m.design, *project);
    CheckInvariants(*project);
    Check(tw::IsValidInstrument(tw::InstrumentOf(*project)));
    // A design with voices plays them, as the plugin makes them at instantiation.
    tw::PrepareVoices(*engine, project->voiceCount);

    float block[2 * 64];
    tw::HandleNoteEvent(*engine, tw::kNoteOn, 60, 100);
    tw::HandleNoteEvent(*engine, tw::kNoteOn, 64, 100);
    tw::ProcessBlock(*engine, block, 64);
    tw::HandleNoteEvent(*engine, tw::kNoteOff, 60, 0);
    tw::ProcessBlock(*engine, block, 64);
    return 0;
}
