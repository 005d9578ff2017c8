#include "app/copy_patch_dialog.h"

#include "app/dialog_rig.h"
#include "model/lifecycle.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::DialogRig;

class CopyPatchDialogTest : public ::testing::Test {
protected:
    // A Parameter module whose value column holds 10 + p for patch p, and named patches.
    void SetUp() override {
        slot = test::AddModule(rig.P(), kTypeParameter);
        ASSERT_GE(slot, 0);
        for (int32_t p = 0; p < kPatchCount; ++p) {
            rig.P().slots[slot].patchValues[p] = 10 + p;
            SetText(rig.P().patchNames[p], "Sound " + std::to_string(p));
        }
        rig.P().currentPatch = 5;
    }

    DialogRig rig;
    int32_t slot = -1;
};

TEST_F(CopyPatchDialogTest, BothListsOfferEveryPatchAndStartOnTheCurrentOne) {
    CopyPatchDialog dialog(nullptr, rig.ctx);
    for (QComboBox* list : {dialog.FromList(), dialog.ToList()}) {
        ASSERT_EQ(list->count(), kPatchCount);
        EXPECT_EQ(list->itemText(0), "Sound 0");
        EXPECT_EQ(list->itemText(127), "Sound 127");
        EXPECT_EQ(list->currentIndex(), 5);
    }
    EXPECT_EQ(dialog.windowTitle(), "Copy Patch");
}

TEST_F(CopyPatchDialogTest, ConfirmedCopyTakesNameAndValuesAndCloses) {
    CopyPatchDialog dialog(nullptr, rig.ctx);
    dialog.FromList()->setCurrentIndex(3);
    dialog.ToList()->setCurrentIndex(7);
    rig.platform.answers.push_back(MessageAnswer::Yes);
    dialog.OkButton()->click();

    ASSERT_EQ(rig.platform.MessageTexts(), std::vector<std::string>{"Confirm Patch Copy"});
    EXPECT_EQ(rig.platform.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(GetText(rig.P().patchNames[7]), "Sound 3");
    EXPECT_EQ(rig.P().slots[slot].patchValues[7], 13);
    EXPECT_EQ(rig.P().slots[slot].patchValues[3], 13);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CopyPatchDialogTest, NoKeepsTheDialogOpenAndCancelChangesNothing) {
    CopyPatchDialog dialog(nullptr, rig.ctx);
    dialog.show();
    dialog.FromList()->setCurrentIndex(3);
    dialog.ToList()->setCurrentIndex(7);
    rig.platform.answers.push_back(MessageAnswer::No);
    dialog.OkButton()->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(GetText(rig.P().patchNames[7]), "Sound 7");

    dialog.CancelButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(GetText(rig.P().patchNames[7]), "Sound 7");
    EXPECT_EQ(rig.P().slots[slot].patchValues[7], 17);
    EXPECT_EQ(rig.platform.messages.size(), 1u);
}

} // namespace
} // namespace tw
