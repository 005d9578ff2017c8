// The scripted platform that tests and tonewright-cli run on.
#include "platform/headless_platform.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tw {
namespace {

TEST(HeadlessPlatform, MessageBoxesTakeScriptedAnswersThenTheMostCautiousOne) {
    HeadlessPlatform p;
    p.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    EXPECT_EQ(p.ShowMessage("a", "c", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::Yes);
    // A scripted answer the box does not offer is used up and the box is closed instead.
    EXPECT_EQ(p.ShowMessage("b", "c", MessageButtons::OkCancel, MessageIcon::Question),
              MessageAnswer::Cancel);
    EXPECT_EQ(p.ShowMessage("c", "c", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::Cancel);
    EXPECT_EQ(p.ShowMessage("d", "c", MessageButtons::YesNo, MessageIcon::Question),
              MessageAnswer::No);
    EXPECT_EQ(p.ShowMessage("e", "c", MessageButtons::Ok, MessageIcon::Error), MessageAnswer::Ok);
    EXPECT_EQ(p.MessageTexts(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(p.messages[1].answer, MessageAnswer::Cancel);
}

TEST(HeadlessPlatform, MessagesAreEchoedOnOneLineWithTheirCaption) {
    test::TempDir dir;
    const std::string path = dir.File("echo.txt");
    std::FILE* f = std::fopen(path.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    HeadlessPlatform p;
    p.echo = f;
    p.ShowMessage("Skin File Not Found\n\nx.bmp", "Tonewright", MessageButtons::Ok,
                  MessageIcon::Error);
    std::fclose(f);
    const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "[Tonewright] Skin File Not Found - x.bmp\n");
}

TEST(HeadlessPlatform, DialogsReturnScriptedPathsAndCancelWhenTheScriptIsEmpty) {
    HeadlessPlatform p;
    p.savePaths = {"a.tw1", std::nullopt};
    EXPECT_EQ(p.ChooseSaveFile("", "", ""), "a.tw1");
    EXPECT_EQ(p.ChooseSaveFile("", "", ""), std::nullopt);
    EXPECT_EQ(p.ChooseSaveFile("", "", ""), std::nullopt);
    EXPECT_EQ(p.ChooseOpenFile("", "", ""), std::nullopt);
}

TEST(HeadlessPlatform, WindowsStartWhereTheProgramOpensThem) {
    HeadlessPlatform p;
    const WindowRect gui = p.EditorWindowRect(EditorWindow::GuiEditor);
    EXPECT_EQ(gui.x, 500);
    EXPECT_EQ(gui.width, 400);
    EXPECT_EQ(p.EditorWindowRect(EditorWindow::DspEditor).y, 39);
    EXPECT_EQ(p.EditorWindowRect(EditorWindow::VirtualKeyboard).width, 719);
    EXPECT_EQ(p.EditorWindowRect(EditorWindow::MidiMonitor).x, 640);
    EXPECT_EQ(p.GuiEditorRecordedSize().height, 300);
    p.MoveEditorWindow(EditorWindow::GuiEditor, {1, 2, 640, 480});
    EXPECT_EQ(p.GuiEditorRecordedSize().width, 640);
}

TEST(HeadlessPlatform, FilesThatAreMissingOrNoPicturesGiveNothing) {
    test::TempDir dir;
    HeadlessPlatform p;
    EXPECT_EQ(p.ListFolder(dir.File("none")), std::nullopt);
    EXPECT_EQ(p.LoadBitmap(dir.File("none.bmp")), nullptr);
    test::WriteFileBytes(dir.File("junk.bmp"), {1, 2, 3});
    EXPECT_EQ(p.LoadBitmap(dir.File("junk.bmp")), nullptr);
    test::WriteFileBytes(dir.File("ok.bmp"), test::MakeStripBmp(4, 3));
    const BitmapHandle b = p.LoadBitmap(dir.File("ok.bmp"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->height, 12);
    EXPECT_EQ(p.ListFolder(dir.Path().string())->size(), 2u);
}

} // namespace
} // namespace tw
