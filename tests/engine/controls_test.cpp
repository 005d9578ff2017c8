// Panel controls moved by MIDI controllers to the knob's nearest step: the MIDI thread moves
// only the sound, the user-interface thread's tick binds and moves the controls.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tw::test {
namespace {

// Learning binds the first controller after it (one control each), moving it on the tick;
// the newest value wins, other channels and non-data bytes are ignored; a reset forgets.
TEST(ControlChange, PostedChangesWaitForTheTickWhichBindsWhatIsLearnt) {
    EngineRig rig;
    Project& p = rig.P();
    const int32_t a = rig.Knob(0.0f), b = rig.Knob(0.0f);
    ASSERT_TRUE(p.BindMidiCc(a, 74));
    StartMidiLearn(rig.E(), b);
    const int32_t messages[][3] = {{kNoteOn, 60, 100},
                                   {kControlChange, 74, 127},
                                   {kControlChange, 75, 0},
                                   {kControlChange + 1, 74, 0},
                                   {kControlChange, 74, 200}};
    for (const auto& [status, cc, value] : messages) HandleMidiMessage(rig.E(), status, cc, value);
    EXPECT_EQ(std::tuple(p.slots[b].midiCc, p.slots[b].patchValues[0]), std::tuple(kNone, 0));
    EXPECT_TRUE(TakeControlChanges(rig.E()));
    EXPECT_EQ(std::tuple(p.slots[a].midiCc, p.slots[b].midiCc, p.slots[b].patchValues[0],
                         MidiLearnSlot(rig.E())),
              std::tuple(kNone, 74, 100, kNone));
    EXPECT_FALSE(TakeControlChanges(rig.E())); // taken once
    // The tick published the binding: the next value reaches the sound at once.
    HandleMidiMessage(rig.E(), kControlChange, 74, 0);
    EXPECT_EQ(std::tuple(p.slots[b].value.load(), p.slots[b].patchValues[0]),
              std::tuple(0.0f, 100));
    // Steps, controller value -> step: round(value x steps / 127).
    const int32_t steps[][3] = {{10, 63, 5},
                                {10, 64, 5},
                                {1, 63, 0},
                                {1, 64, 1},
                                {100, 126, 99},
                                {0, 127, 0},
                                {1 << 30, 127, 1 << 30}};
    for (const auto& [n, value, step] : steps) {
        p.slots[b].steps = n;
        EXPECT_TRUE(p.ApplyControlChange(74, value));
        EXPECT_EQ(p.slots[b].patchValues[0], step) << n << " steps, value " << value;
        EXPECT_FLOAT_EQ(p.slots[b].value, n > 0 ? static_cast<float>(step) / n : 0.0f);
    }
    EXPECT_FALSE(p.ApplyControlChange(2, 127) || p.ApplyControlChange(74, 128));
    StartMidiLearn(rig.E(), a);
    ResetEngine(rig.E());
    EXPECT_EQ(MidiLearnSlot(rig.E()), kNone);
}

} // namespace
} // namespace tw::test
