// The scripted platform that tests and tonewright-cli run on.
#include "platform/headless_platform.h"
#include "support/files.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using enum MessageAnswer;
using B = MessageButtons;

TEST(HeadlessPlatform, MessageBoxesTakeScriptedAnswersThenTheMostCautiousOne) {
    HeadlessPlatform p;
    p.answers = {Yes, Yes};
    // A scripted answer the box does not offer is used up and the box is closed instead.
    const MessageButtons boxes[] = {B::YesNoCancel, B::OkCancel, B::YesNoCancel, B::YesNo, B::Ok};
    const MessageAnswer answers[] = {Yes, Cancel, Cancel, No, Ok};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(p.ShowMessage("m", "c", boxes[i], MessageIcon::Question), answers[i]) << i;
    EXPECT_EQ(p.messages[1].answer, Cancel);
}

TEST(HeadlessPlatform, FilesThatAreMissingOrNoPicturesGiveNothing) {
    test::TempDir dir;
    HeadlessPlatform p;
    test::WriteFileBytes(dir.File("junk.bmp"), {1, 2, 3});
    test::WriteFileBytes(dir.File("ok.bmp"), test::MakeStripBmp(4, 3));
    EXPECT_TRUE(!p.ListFolder(dir.File("none")) && !p.LoadBitmap(dir.File("none.bmp")) &&
                !p.LoadBitmap(dir.File("junk.bmp")));
    const BitmapHandle ok = p.LoadBitmap(dir.File("ok.bmp"));
    EXPECT_EQ(ok ? ok->height : 0, 12);
}

} // namespace
} // namespace tw
