// Panel controls moved by MIDI controllers in the program: the MIDI thread only posts, the
// user-interface thread's tick binds what is being learnt and moves the controls.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tw::test {
namespace {

// The step follows round(value x steps / 127), as the knob's own steps.
TEST(ControlChange, MovesItsControlToTheNearestStep) {
    EngineRig rig;
    const int32_t knob = rig.Knob(0.0f);
    ASSERT_TRUE(rig.P().BindMidiCc(knob, 1));
    // Steps, controller value -> step.
    const std::tuple<int32_t, int32_t, int32_t> rows[] = {
        {10, 0, 0}, {10, 63, 5}, {10, 64, 5},    {10, 127, 10}, {1, 63, 0},
        {1, 64, 1}, {100, 1, 1}, {100, 126, 99}, {0, 127, 0},   {1 << 30, 127, 1 << 30},
    };
    for (const auto& [steps, value, step] : rows) {
        SCOPED_TRACE(testing::Message() << steps << " steps, value " << value);
        rig.P().slots[knob].steps = steps;
        EXPECT_TRUE(rig.P().ApplyControlChange(1, value));
        EXPECT_EQ(rig.P().slots[knob].patchValues[0], step);
        EXPECT_FLOAT_EQ(rig.P().slots[knob].value,
                        steps > 0 ? static_cast<float>(step) / static_cast<float>(steps) : 0.0f);
    }
    EXPECT_FALSE(rig.P().ApplyControlChange(2, 127)); // no control has controller 2
    EXPECT_FALSE(rig.P().ApplyControlChange(1, 128));
}

TEST(ControlChange, PostedChangesWaitForTheTickAndTheNewestValueWins) {
    EngineRig rig;
    const int32_t a = rig.Knob(0.0f), b = rig.Knob(0.0f);
    Project& p = rig.P();
    ASSERT_TRUE(p.BindMidiCc(a, 7) && p.BindMidiCc(b, 7)); // the controller moves to b
    HandleMidiMessage(rig.E(), kControlChange, 7, 127);
    HandleMidiMessage(rig.E(), kControlChange + 1, 7, 0); // channel 2
    HandleMidiMessage(rig.E(), kControlChange, 7, 200);   // not a data byte
    EXPECT_EQ(p.slots[b].patchValues[0], 0);
    EXPECT_TRUE(TakeControlChanges(rig.E()));
    EXPECT_EQ(std::tuple(p.slots[a].midiCc, p.slots[a].patchValues[0], p.slots[b].patchValues[0]),
              std::tuple(kNone, 0, 100));
    EXPECT_FALSE(TakeControlChanges(rig.E())); // taken once
}

// Learning binds the first controller after it started, and that controller's value moves
// the control at once; a reset forgets a control that was still waiting.
TEST(ControlChange, LearningBindsTheNextControllerThatArrives) {
    EngineRig rig;
    const int32_t knob = rig.Knob(0.0f);
    HandleMidiMessage(rig.E(), kControlChange, 5, 10); // before learning: not bound
    StartMidiLearn(rig.E(), knob);
    EXPECT_EQ(MidiLearnSlot(rig.E()), knob);
    HandleMidiMessage(rig.E(), kNoteOn, 60, 100);
    HandleMidiMessage(rig.E(), kControlChange, 74, 127);
    HandleMidiMessage(rig.E(), kControlChange, 75, 0);
    EXPECT_TRUE(TakeControlChanges(rig.E()));
    EXPECT_EQ(std::tuple(rig.P().slots[knob].midiCc, rig.P().slots[knob].patchValues[0],
                         MidiLearnSlot(rig.E())),
              std::tuple(74, 100, kNone));
    StartMidiLearn(rig.E(), knob);
    ResetEngine(rig.E());
    EXPECT_EQ(MidiLearnSlot(rig.E()), kNone);
}

} // namespace
} // namespace tw::test
