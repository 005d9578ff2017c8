// The clipboard: random selections of random projects are copied (directly and through the
// clipboard's text), pasted and undone. Nothing outside the pasted group may change, the
// group must carry every setting and inner cable of what was copied, and undo must give
// back the project as it was.
#include "interaction/canvas_commands.h"
#include "interaction/canvas_menu.h"
#include "interaction/clipboard_text.h"
#include "model/catalogue.h"
#include "model/history.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;

// A slot's bytes with the selection flags and drag origins (which Paste and undo change on
// purpose) blanked, together with the port records of its 16 inputs and outputs.
std::vector<uint8_t> SlotBytes(const Project& p, int32_t slot) {
    ModuleSlot copy;
    std::memcpy(static_cast<void*>(&copy), &p.slots[slot], sizeof copy);
    copy.selected = 0;
    copy.originX = copy.originY = 0;
    copy.value = 0.0f; // follows the patch values; an emptied slot keeps its last one
    std::vector<uint8_t> bytes(sizeof copy);
    std::memcpy(bytes.data(), &copy, sizeof copy);
    for (const PortRecord* table : {p.inputs, p.outputs}) {
        const auto* at = reinterpret_cast<const uint8_t*>(&table[PortIndex(slot, 0)]);
        bytes.insert(bytes.end(), at, at + sizeof(PortRecord) * kPortsPerSlot);
    }
    return bytes;
}

// Where two slots' bytes first differ ("" when they do not), for a readable failure.
std::string Difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (at.first == a.end()) return "";
    return "byte " + std::to_string(at.first - a.begin()) + " of " + std::to_string(a.size());
}

std::vector<std::vector<uint8_t>> AllSlots(const Project& p) {
    std::vector<std::vector<uint8_t>> all;
    for (int32_t s = 0; s < kSlotCount; ++s) all.push_back(SlotBytes(p, s));
    return all;
}

// Settings as the clipboard carries them, panel place aside (a pasted knob moves off its
// original's spot).
auto Settings(const ClipModule& m) {
    return std::tie(m.type, m.x, m.y, m.name, m.imageType, m.mouseResponse, m.renderOnBackground,
                    m.stepDirection, m.showLabel, m.steps, m.labelColour, m.patchValues,
                    m.spareValues);
}
auto CableKey(const ClipCable& c) {
    return std::tie(c.fromModule, c.output, c.toModule, c.input);
}

// Positions measured from the grid point at the group's own top-left again (after modules
// were left out).
Clipping Normalised(Clipping c) {
    int32_t left = INT32_MAX, top = INT32_MAX;
    for (const ClipModule& m : c.modules) left = std::min(left, m.x), top = std::min(top, m.y);
    for (const ClipComment& m : c.comments) left = std::min(left, m.x), top = std::min(top, m.y);
    left = left / 4 * 4;
    top = top / 4 * 4;
    for (ClipModule& m : c.modules) m.x -= left, m.y -= top;
    for (ClipComment& m : c.comments) m.x -= left, m.y -= top;
    return c;
}

void ExpectSameGroup(const Clipping& a, const Clipping& b, bool panel) {
    ASSERT_EQ(a.modules.size(), b.modules.size());
    for (std::size_t i = 0; i < a.modules.size(); ++i) {
        EXPECT_TRUE(Settings(a.modules[i]) == Settings(b.modules[i]))
            << "module " << i << ": " << a.modules[i].type << " " << a.modules[i].x << ","
            << a.modules[i].y << " " << a.modules[i].name << " / " << b.modules[i].type << " "
            << b.modules[i].x << "," << b.modules[i].y << " " << b.modules[i].name;
        if (panel) {
            EXPECT_EQ(a.modules[i].panelX, b.modules[i].panelX);
        }
    }
    ASSERT_EQ(a.comments.size(), b.comments.size());
    for (std::size_t i = 0; i < a.comments.size(); ++i) {
        EXPECT_EQ(std::tie(a.comments[i].x, a.comments[i].y, a.comments[i].text),
                  std::tie(b.comments[i].x, b.comments[i].y, b.comments[i].text))
            << a.comments[i].x << "," << a.comments[i].y << " / " << b.comments[i].x << ","
            << b.comments[i].y;
    }
    auto sorted = [](std::vector<ClipCable> v) {
        std::sort(v.begin(), v.end(),
                  [](const ClipCable& l, const ClipCable& r) { return CableKey(l) < CableKey(r); });
        return v;
    };
    const auto ca = sorted(a.cables), cb = sorted(b.cables);
    ASSERT_EQ(ca.size(), cb.size());
    for (std::size_t i = 0; i < ca.size(); ++i) EXPECT_TRUE(CableKey(ca[i]) == CableKey(cb[i]));
}

struct RandomProject {
    std::mt19937 rng;
    int32_t Pick(int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); }

    void Fill(Project& p) {
        std::vector<int32_t> types;
        for (const ModuleTypeInfo& t : ModuleTypes())
            if (t.menuCategory != nullptr && t.menuCategory[0] != '\0' && !t.alwaysDisabled)
                types.push_back(t.type);
        const int32_t n = 6 + Pick(20);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t type = Pick(3) == 0 ? kTypeParameter : types[Pick(int32_t(types.size()))];
            if (FindModuleType(type)->onePerProject && p.HasModuleOfType(type)) continue;
            const int32_t slot = AddModule(p, type, Pick(1200), Pick(900));
            ModuleSlot& m = p.slots[slot];
            SetText(m.name, "m" + std::to_string(Pick(1000)));
            for (int32_t& v : m.patchValues) v = Pick(m.steps + 1);
            m.spareValues[Pick(kPatchCount)] = Pick(50);
            m.labelColour[Pick(3)] = static_cast<uint8_t>(Pick(256));
            m.showLabel = static_cast<uint8_t>(Pick(2));
            m.mouseResponse = Pick(2);
            p.RecomputeParameterValue(slot);
        }
        std::vector<int32_t> outs, ins;
        for (int32_t k = 0; k < PortIndex(n, 0); ++k) {
            if (p.outputs[k].kind != kPortNone) outs.push_back(k);
            if (p.inputs[k].kind != kPortNone) ins.push_back(k);
        }
        for (int32_t i = 0; i < 2 * n && !outs.empty() && !ins.empty(); ++i)
            p.Connect(outs[Pick(int32_t(outs.size()))], ins[Pick(int32_t(ins.size()))], false);
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t index = p.InsertComment(Pick(1200), Pick(900));
            SetText(p.comments[index].text, "note " + std::to_string(Pick(100)));
        }
    }
    void Select(Project& p) {
        p.ClearSelection();
        for (ModuleSlot& m : p.slots) m.selected = m.type != kTypeEmpty && Pick(2) == 0;
        for (CommentRecord& c : p.comments) c.selected = Pick(3) == 0;
        p.currentSlot = Pick(4) == 0 ? Pick(8) : kNone;
        if (IsSlot(p.currentSlot) && p.slots[p.currentSlot].type == kTypeEmpty)
            p.currentSlot = kNone;
    }
};

TEST(Clipboard, PasteOfRandomSelectionsCopiesTheGroupTouchesNothingElseAndUndoesExactly) {
    int32_t pastedModules = 0, pastedCables = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        auto p = MakeProject();
        HeadlessPlatform platform;
        CanvasSession s;
        RandomProject random{std::mt19937(seed)};
        random.Fill(*p);
        random.Select(*p);
        const bool throughText = seed % 2 == 0;
        const Clipping copied = CopySelection(*p);
        if (copied.Empty()) continue;
        if (throughText) {
            ASSERT_TRUE(CopySelectionToClipboard(*p, platform));
            const std::optional<Clipping> read = ClippingFromText(platform.clipboard);
            ASSERT_TRUE(read.has_value()) << seed;
            ExpectSameGroup(copied, *read, true);
        }
        EditHistory history;
        history.Reset(*p);
        const auto before = AllSlots(*p);
        const int32_t commentsBefore = p->commentCount;
        const PastePlan plan = PlanPaste(*p, copied);
        const int32_t x = random.Pick(2000), y = random.Pick(1500);
        const PasteOutcome outcome =
            throughText ? PasteFromClipboard(*p, s, platform, CanvasPoint{x, y}, 400, 300)
                        : PasteClipping(*p, s, platform, copied, x, y, 400, 300);
        ASSERT_EQ(outcome, plan.modules == 0 && copied.comments.empty()
                               ? PasteOutcome::NothingToPaste
                               : PasteOutcome::Pasted);
        if (outcome != PasteOutcome::Pasted) continue;
        ASSERT_TRUE(history.Commit(*p, "Paste", StepKind::Verb));
        EXPECT_EQ(test::ProjectFault(*p, true), "") << seed;

        // Every slot that held a module before is byte for byte as it was; the new ones are
        // the pasted group, and it is all that is selected.
        const auto after = AllSlots(*p);
        Clipping expected = copied;
        std::vector<int32_t> keepIndex(copied.modules.size(), kNone);
        expected.modules.clear();
        for (std::size_t i = 0; i < copied.modules.size(); ++i) {
            if (!plan.keep[i]) continue;
            keepIndex[i] = static_cast<int32_t>(expected.modules.size());
            expected.modules.push_back(copied.modules[i]);
        }
        expected.cables.clear();
        for (const ClipCable& c : copied.cables)
            if (keepIndex[c.fromModule] != kNone && keepIndex[c.toModule] != kNone)
                expected.cables.push_back(
                    {keepIndex[c.fromModule], c.output, keepIndex[c.toModule], c.input});
        int32_t fresh = 0;
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            if (p->slots[slot].selected != 0) {
                ++fresh;
            } else if (p->slots[slot].type != kTypeEmpty) {
                EXPECT_EQ(Difference(before[slot], after[slot]), "")
                    << "seed " << seed << " slot " << slot;
            }
        }
        EXPECT_EQ(fresh, static_cast<int32_t>(expected.modules.size()));
        EXPECT_EQ(p->commentCount, commentsBefore + static_cast<int32_t>(copied.comments.size()));
        const Clipping pasted = CopySelection(*p);
        ExpectSameGroup(Normalised(expected), pasted, false);
        for (int32_t slot = 0; slot < kSlotCount; ++slot) {
            const ModuleSlot& m = p->slots[slot];
            if (m.selected != 0 && m.type == kTypeParameter) {
                EXPECT_TRUE(p->ControlSpotFree(slot, m.panelX, m.panelY)) << "stacked knob";
            }
        }
        pastedModules += static_cast<int32_t>(pasted.modules.size());
        pastedCables += static_cast<int32_t>(pasted.cables.size());

        history.Undo(*p);
        const auto undone = AllSlots(*p);
        for (int32_t slot = 0; slot < kSlotCount; ++slot)
            EXPECT_EQ(Difference(before[slot], undone[slot]), "")
                << "undo, seed " << seed << " slot " << slot;
        EXPECT_EQ(p->commentCount, commentsBefore);
        EXPECT_EQ(test::ProjectFault(*p, true), "");
    }
    // The random projects did exercise groups with cables.
    EXPECT_GT(pastedModules, 100);
    EXPECT_GT(pastedCables, 20);
}

TEST(Clipboard, TextThatIsNotAClippingOfThisVersionPastesNothing) {
    auto p = MakeProject();
    const int32_t osc = AddModule(*p, kTypeOscillator);
    p->currentSlot = osc;
    const std::string ours = ClippingToText(CopySelection(*p));
    ASSERT_TRUE(ClippingFromText(ours).has_value());
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
        EXPECT_FALSE(ClippingFromText(text).has_value()) << text;
        EXPECT_EQ(PasteFromClipboard(*p, s, platform, CanvasPoint{50, 50}, 400, 300),
                  PasteOutcome::NothingToPaste);
        EXPECT_EQ(p->CountOccupied(), 1);
        EXPECT_TRUE(platform.messages.empty());
    }
}

TEST(Clipboard, AGroupTooLargeForTheFreeSlotsChangesNothing) {
    auto p = MakeProject();
    HeadlessPlatform platform;
    for (int32_t i = 0; i < kSlotCount - 2; ++i)
        AddModule(*p, kTypeAdd, 40 * (i % 30), 40 * (i / 30));
    p->ClearSelection();
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
    EXPECT_EQ(AllSlots(*p), before);
    EXPECT_FALSE(history.Commit(*p, "Paste", StepKind::Verb));
}

} // namespace
} // namespace tw
