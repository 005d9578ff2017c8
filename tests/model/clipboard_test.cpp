// Random selections of random projects copied (directly and as text), pasted and undone:
// nothing outside the pasted group changes, the group carries every setting and inner cable
// of what was copied, and undo gives back the project as it was.
#include "interaction/canvas_commands.h"
#include "interaction/canvas_menu.h"
#include "interaction/clipboard_text.h"
#include "model/catalogue.h"
#include "model/history.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;

// A slot's bytes and its 16 inputs' and outputs' records, with the selection flag, the drag
// origins and the engine's value (which Paste and undo change on purpose) blanked.
std::vector<uint8_t> SlotBytes(const Project& p, int32_t slot) {
    ModuleSlot copy;
    std::memcpy(static_cast<void*>(&copy), &p.slots[slot], sizeof copy);
    copy.selected = 0;
    copy.originX = copy.originY = 0;
    copy.value = 0.0f;
    std::vector<uint8_t> bytes(sizeof copy);
    std::memcpy(bytes.data(), &copy, sizeof copy);
    for (const PortRecord* table : {p.inputs, p.outputs}) {
        const auto* at = reinterpret_cast<const uint8_t*>(&table[PortIndex(slot, 0)]);
        bytes.insert(bytes.end(), at, at + sizeof(PortRecord) * kPortsPerSlot);
    }
    return bytes;
}

std::vector<std::vector<uint8_t>> AllSlots(const Project& p) {
    std::vector<std::vector<uint8_t>> all;
    for (int32_t s = 0; s < kSlotCount; ++s) all.push_back(SlotBytes(p, s));
    return all;
}

// The group as text, measured from the grid point at its own top-left and without panel
// places (a pasted knob moves off its original's spot): two groups alike read alike.
std::string GroupText(Clipping c) {
    int32_t left = INT32_MAX, top = INT32_MAX;
    for (const ClipModule& m : c.modules) left = std::min(left, m.x), top = std::min(top, m.y);
    for (const ClipComment& m : c.comments) left = std::min(left, m.x), top = std::min(top, m.y);
    for (ClipModule& m : c.modules)
        m.x -= left / 4 * 4, m.y -= top / 4 * 4, m.panelX = m.panelY = 0;
    for (ClipComment& m : c.comments) m.x -= left / 4 * 4, m.y -= top / 4 * 4;
    return ClippingToText(c);
}

// Random modules of every insertable type with random settings and values, cables between
// ports that exist, comments; then a random selection.
void FillAndSelect(Project& p, std::mt19937& rng) {
    const auto pick = [&rng](int32_t n) { return static_cast<int32_t>(rng() % uint32_t(n)); };
    std::vector<int32_t> types;
    for (const ModuleTypeInfo& t : ModuleTypes())
        if (t.menuCategory != nullptr && t.menuCategory[0] != '\0' && !t.alwaysDisabled)
            types.push_back(t.type);
    const int32_t n = 6 + pick(20);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t type = pick(3) == 0 ? kTypeParameter : types[pick(int32_t(types.size()))];
        if (FindModuleType(type)->onePerProject && p.HasModuleOfType(type)) continue;
        ModuleSlot& m = p.slots[AddModule(p, type, pick(1200), pick(900))];
        SetText(m.name, "m" + std::to_string(pick(1000)));
        for (int32_t& v : m.patchValues) v = pick(m.steps + 1);
        m.spareValues[pick(kPatchCount)] = pick(50);
        m.labelColour[pick(3)] = static_cast<uint8_t>(pick(256));
        m.showLabel = static_cast<uint8_t>(pick(2));
        m.mouseResponse = pick(2);
    }
    p.RecomputeParameterValues();
    std::vector<int32_t> outs, ins;
    for (int32_t k = 0; k < PortIndex(n, 0); ++k) {
        if (p.outputs[k].kind != kPortNone) outs.push_back(k);
        if (p.inputs[k].kind != kPortNone) ins.push_back(k);
    }
    for (int32_t i = 0; i < 2 * n; ++i)
        p.Connect(outs[pick(int32_t(outs.size()))], ins[pick(int32_t(ins.size()))], false);
    for (int32_t c = 0; c < 3; ++c)
        SetText(p.comments[p.InsertComment(pick(1200), pick(900))].text,
                "note " + std::to_string(c));
    for (ModuleSlot& m : p.slots) m.selected = m.type != kTypeEmpty && pick(2) == 0;
    for (CommentRecord& c : p.comments) c.selected = pick(3) == 0;
    p.currentSlot = pick(4) == 0 && p.slots[0].type != kTypeEmpty ? 0 : kNone;
}

TEST(Clipboard, PasteOfRandomSelectionsCopiesTheGroupTouchesNothingElseAndUndoesExactly) {
    int32_t pastedModules = 0, pastedCables = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        auto p = MakeProject();
        HeadlessPlatform platform;
        CanvasSession s;
        std::mt19937 rng(seed);
        FillAndSelect(*p, rng);
        const bool throughText = seed % 2 == 0;
        const Clipping copied = CopySelection(*p);
        const PastePlan plan = PlanPaste(*p, copied);
        if (plan.modules == 0 && copied.comments.empty()) continue;
        ASSERT_TRUE(CopySelectionToClipboard(*p, platform));
        ASSERT_EQ(ClippingToText(ClippingFromText(platform.clipboard).value()),
                  ClippingToText(copied));
        EditHistory history;
        history.Reset(*p);
        const auto before = AllSlots(*p);
        const int32_t commentsBefore = p->commentCount;
        const int32_t x = int32_t(rng() % 2000), y = int32_t(rng() % 1500);
        ASSERT_EQ(throughText ? PasteFromClipboard(*p, s, platform, CanvasPoint{x, y}, 400, 300)
                              : PasteClipping(*p, s, platform, copied, x, y, 400, 300),
                  PasteOutcome::Pasted);
        ASSERT_TRUE(history.Commit(*p, "Paste", StepKind::Verb));
        EXPECT_EQ(test::ProjectFault(*p, true), "") << seed;

        // Every module that is not selected (not pasted) is byte for byte as it was.
        const auto after = AllSlots(*p);
        int32_t fresh = 0;
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            fresh += p->slots[slot].selected;
            EXPECT_TRUE(p->slots[slot].selected != 0 || before[slot] == after[slot]) << slot;
        }
        // The selection is the group: the copy less the single-instance types left out,
        // with the cables among what is kept, and knobs on free panel spots.
        Clipping expected = copied;
        expected.modules.clear();
        expected.cables.clear();
        std::vector<int32_t> kept(copied.modules.size(), kNone);
        for (std::size_t i = 0; i < copied.modules.size(); ++i) {
            if (!plan.keep[i]) continue;
            kept[i] = static_cast<int32_t>(expected.modules.size());
            expected.modules.push_back(copied.modules[i]);
        }
        for (const ClipCable& c : copied.cables)
            if (kept[c.fromModule] != kNone && kept[c.toModule] != kNone)
                expected.cables.push_back(
                    {kept[c.fromModule], c.output, kept[c.toModule], c.input});
        EXPECT_EQ(fresh, static_cast<int32_t>(expected.modules.size()));
        EXPECT_EQ(p->commentCount, commentsBefore + static_cast<int32_t>(copied.comments.size()));
        const Clipping pasted = CopySelection(*p);
        EXPECT_TRUE(GroupText(expected) == GroupText(pasted)) << "seed " << seed;
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            const ModuleSlot& m = p->slots[slot];
            EXPECT_TRUE(m.selected == 0 || m.type != kTypeParameter ||
                        p->ControlSpotFree(slot, m.panelX, m.panelY))
                << "stacked knob";
        }
        pastedModules += static_cast<int32_t>(pasted.modules.size());
        pastedCables += static_cast<int32_t>(pasted.cables.size());

        history.Undo(*p);
        EXPECT_TRUE(AllSlots(*p) == before) << "undo, seed " << seed;
        EXPECT_EQ(p->commentCount, commentsBefore);
        EXPECT_EQ(test::ProjectFault(*p, true), "");
    }
    EXPECT_GT(pastedModules, 100); // the random projects exercised real groups
    EXPECT_GT(pastedCables, 20);
}

TEST(Clipboard, TextThatIsNotAClippingOfThisVersionPastesNothing) {
    auto p = MakeProject();
    p->currentSlot = AddModule(*p, kTypeOscillator);
    const std::string ours = ClippingToText(CopySelection(*p));
    std::string newer = ours;
    newer.replace(newer.find("\"tonewright-clipboard\":1"), 24, "\"tonewright-clipboard\":2");
    for (const std::string& text :
         {std::string(), std::string("Kilo"), std::string("{}"), std::string("[1,2]"), newer,
          ours.substr(0, ours.size() / 2),
          std::string(R"({"tonewright-clipboard":1,"modules":[{"type":22}]})"),
          std::string(R"({"tonewright-clipboard":1,"modules":[{"type":29,"x":0,"y":0}],)"
                      R"("cables":[{"from":0,"output":0,"to":3,"input":0}]})")}) {
        HeadlessPlatform platform;
        platform.clipboard = text;
        CanvasSession s;
        EXPECT_EQ(PasteFromClipboard(*p, s, platform, CanvasPoint{50, 50}, 400, 300),
                  PasteOutcome::NothingToPaste)
            << text;
        EXPECT_EQ(p->CountOccupied(), 1);
        EXPECT_TRUE(platform.messages.empty());
    }
}

TEST(Clipboard, AGroupTooLargeForTheFreeSlotsChangesNothing) {
    auto p = MakeProject();
    HeadlessPlatform platform;
    for (int32_t i = 0; i < kSlotCount - 2; ++i)
        AddModule(*p, kTypeAdd, 40 * (i % 30), 40 * (i / 30));
    p->currentSlot = kNone;
    for (int32_t s = 0; s < 3; ++s) p->slots[s].selected = 1;
    ASSERT_TRUE(CopySelectionToClipboard(*p, platform));
    EditHistory history;
    history.Reset(*p);
    const auto before = AllSlots(*p);
    CanvasSession s;
    EXPECT_EQ(PasteFromClipboard(*p, s, platform, std::nullopt, 400, 300),
              PasteOutcome::TooManyModules);
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{kModuleLimitMessage});
    EXPECT_TRUE(AllSlots(*p) == before);
    EXPECT_FALSE(history.Commit(*p, "Paste", StepKind::Verb));
}

} // namespace
} // namespace tw
