// Panel controls moved by MIDI controllers: to the knob's nearest step; in the program the
// MIDI thread only posts, and the user-interface thread's tick binds and moves.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tw::test {
namespace {

TEST(ControlChange, MovesItsControlToTheNearestStep) {
    EngineRig rig;
    ModuleSlot& knob = rig.P().slots[rig.Knob(0.0f)];
    ASSERT_TRUE(rig.P().BindMidiCc(0, 1));
    // Steps, controller value -> step.
    const std::tuple<int32_t, int32_t, int32_t> rows[] = {
        {10, 63, 5}, {10, 64, 5},    {10, 127, 10}, {1, 63, 0},
        {1, 64, 1},  {100, 126, 99}, {0, 127, 0},   {1 << 30, 127, 1 << 30}};
    for (const auto& [steps, value, step] : rows) {
        knob.steps = steps;
        EXPECT_TRUE(rig.P().ApplyControlChange(1, value));
        EXPECT_EQ(knob.patchValues[0], step) << steps << " steps, value " << value;
        EXPECT_FLOAT_EQ(knob.value, steps > 0 ? static_cast<float>(step) / steps : 0.0f);
    }
    EXPECT_FALSE(rig.P().ApplyControlChange(2, 127) || rig.P().ApplyControlChange(1, 128));
}

// Learning binds the first controller after it started (one control per controller), and
// its value moves the control on the tick; the newest value of a controller wins, other
// channels and bytes that are no data are ignored; a reset forgets a waiting control.
TEST(ControlChange, PostedChangesWaitForTheTickWhichBindsWhatIsLearnt) {
    EngineRig rig;
    Project& p = rig.P();
    const int32_t a = rig.Knob(0.0f), b = rig.Knob(0.0f);
    ASSERT_TRUE(p.BindMidiCc(a, 74));
    StartMidiLearn(rig.E(), b);
    for (const auto& [status, cc, value] : {std::tuple{kNoteOn, 60, 100},
                                            {kControlChange, 74, 127},
                                            {kControlChange, 75, 0},
                                            {kControlChange + 1, 74, 0},
                                            {kControlChange, 74, 200}})
        HandleMidiMessage(rig.E(), status, cc, value);
    EXPECT_EQ(std::tuple(p.slots[b].midiCc, p.slots[b].patchValues[0]), std::tuple(kNone, 0));
    EXPECT_TRUE(TakeControlChanges(rig.E()));
    EXPECT_EQ(std::tuple(p.slots[a].midiCc, p.slots[a].patchValues[0], p.slots[b].midiCc,
                         p.slots[b].patchValues[0], MidiLearnSlot(rig.E())),
              std::tuple(kNone, 0, 74, 100, kNone));
    EXPECT_FALSE(TakeControlChanges(rig.E())); // taken once
    StartMidiLearn(rig.E(), a);
    ResetEngine(rig.E());
    EXPECT_EQ(MidiLearnSlot(rig.E()), kNone);
}

} // namespace
} // namespace tw::test
