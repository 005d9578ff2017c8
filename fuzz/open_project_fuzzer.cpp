// libFuzzer harness for the project loader. Besides "no crash, no undefined behaviour,
// nothing written outside a table", every input must leave a project whose indices are
// all in range, that the editing operations can work on, and that saves to bytes which
// load back to the very same project.
#include "model/engine_control.h"
#include "model/instrument.h"
#include "model/project_file.h"
#include "model/statistics.h"
#include "platform/headless_platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

class QuietEngine final : public tw::EngineControl {
public:
    void ResetDspState() override {}
    void ClearDelayLine() override {}
};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckInvariants(const tw::Project& p) {
    for (int32_t k = 0; k < tw::kPortCount; ++k) {
        Check(p.outputs[k].link == tw::kNone || tw::IsPort(p.outputs[k].link));
        Check(p.inputs[k].link == tw::kNone || tw::IsPort(p.inputs[k].link));
        const int32_t route = p.routes[k];
        Check(route == tw::kNone || tw::IsPort(route));
    }
    const int32_t active = p.activeCount;
    Check(active >= 0 && active <= tw::kSlotCount);
    for (int32_t n = 0; n < active; ++n) {
        Check(tw::IsSlot(p.activeSlots[n]));
        const int32_t type = p.activeTypes[n];
        Check(type >= 1 && type <= tw::kMaxModuleType);
    }
    Check(p.polygonCount >= 0 && p.polygonCount <= tw::kPolygonCount);
    Check(p.textCount >= 0 && p.textCount <= tw::kTextCount);
    Check(p.commentCount >= 0 && p.commentCount <= tw::kCommentCount);
    Check(p.zoom >= 1 && p.zoom <= 10);
    for (const tw::ModuleSlot& s : p.slots)
        Check(s.imageType >= 0 && s.imageType < tw::kSkinImageCount);
    Check(tw::IsValidInstrument(tw::InstrumentOf(p)));
}

// The two projects live for the whole run and are rebuilt in place for every input, so
// that each input starts from a freshly constructed record without megabytes of
// allocation per run.
tw::Project& Fresh(tw::Project* storage) {
    std::destroy_at(storage);
    tw::Project* p = std::construct_at(storage);
    // No skins folder: the loader reports the pictures missing and carries on.
    std::snprintf(p->appFolder, sizeof p->appFolder, "/nonexistent-tonewright-fuzz");
    return *p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietEngine engine;
    static auto* first = new tw::Project;
    static auto* second = new tw::Project;
    tw::HeadlessPlatform platform;
    tw::Project* project = &Fresh(first);

    const std::span<const uint8_t> bytes(data, size);
    if (tw::OpenProjectBytes(*project, engine, platform, bytes, "fuzz.tw1") !=
        tw::LoadResult::Loaded) {
        return 0;
    }
    CheckInvariants(*project);

    const std::vector<uint8_t> saved = tw::EncodeProject(*project, tw::ReadSavedLayout(platform));
    tw::Project* again = &Fresh(second);
    Check(tw::OpenProjectBytes(*again, engine, platform, saved, "again.tw1") ==
          tw::LoadResult::Loaded);
    Check(tw::EncodeProject(*again, tw::ReadSavedLayout(platform)) == saved);

    // The editing operations must cope with whatever the file left behind.
    tw::CountProject(*project);
    for (tw::ModuleSlot& s : project->slots) s.selected = static_cast<uint8_t>(s.gx & 1);
    tw::DeleteSelectedModules(*project);
    platform.answers = {tw::MessageAnswer::Yes};
    tw::CleanProject(*project, platform);
    project->RelayoutPatchbays();
    CheckInvariants(*project);
    return 0;
}
