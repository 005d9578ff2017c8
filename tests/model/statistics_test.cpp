// "Statistics", "Clean Project" and deleting the selected modules.
#include "model/statistics.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::AddModule;
using test::Wire;

TEST(Statistics, ANewProjectReportsAnEmptyTable) {
    auto p = test::MakeProject();
    HeadlessPlatform platform;
    ShowStatistics(*p, platform);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].caption, "Statistics");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(
        platform.messages[0].text,
        "DSP\nMaximum Objects\t\t1024\nObjects Used\t\t0\nObjects Available\t\t1024\n"
        "Routes Visited\t\t0\n\nGUI\nNum Parameters\t\t0\nNum Polygons\t\t0\nNum Labels\t\t0");
}

TEST(Statistics, CountsModulesCablesParametersAndPanelElements) {
    auto p = test::MakeProject();
    const int32_t osc = AddModule(*p, kTypeOscillator);
    const int32_t out = AddModule(*p, kTypeOutput);
    const int32_t par = AddModule(*p, kTypeParameter);
    AddModule(*p, kTypeParameter);
    ASSERT_TRUE(Wire(*p, osc, 0, out, 1));
    ASSERT_TRUE(Wire(*p, par, 0, osc, 1));
    p->InsertPolygon(0, 0);
    p->InsertText(0, 0);
    p->InsertText(0, 0);
    const ProjectCounts c = CountProject(*p);
    EXPECT_EQ(p->moduleCount, 4);
    EXPECT_EQ(
        StatisticsText(c),
        "DSP\nMaximum Objects\t\t1024\nObjects Used\t\t4\nObjects Available\t\t1020\n"
        "Routes Visited\t\t2\n\nGUI\nNum Parameters\t\t2\nNum Polygons\t\t1\nNum Labels\t\t2");
}

TEST(CleanProject, ANewProjectIsClean) {
    auto p = test::MakeProject();
    HeadlessPlatform platform;
    EXPECT_EQ(CleanProject(*p, platform), CleanOutcome::AlreadyClean);
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"Project Is Clean"});
    EXPECT_EQ(platform.messages[0].caption, "Clean Project");
}

TEST(CleanProject, AWiredOscillatorAndOutputLeaveNothingToDelete) {
    auto p = test::MakeProject();
    HeadlessPlatform platform;
    ASSERT_TRUE(Wire(*p, AddModule(*p, kTypeOscillator), 0, AddModule(*p, kTypeOutput), 1));
    EXPECT_EQ(CleanProject(*p, platform), CleanOutcome::AlreadyClean);
    EXPECT_EQ(p->moduleCount, 2);
}

struct Unused {
    std::unique_ptr<Project> p = test::MakeProject();
    HeadlessPlatform platform;
    int32_t out = AddModule(*p, kTypeOutput); // nothing connected: unused
    int32_t osc = AddModule(*p, kTypeOscillator);
    int32_t amp = AddModule(*p, kTypeAmplifier);
    int32_t fixed = AddModule(*p, kTypeFixedValues); // unused too
    Unused() { EXPECT_TRUE(Wire(*p, osc, 0, amp, 0)); }
};

TEST(CleanProject, YesDeletesEveryUnusedModuleIncludingAnUnconnectedOutput) {
    Unused u;
    u.platform.answers = {MessageAnswer::Yes};
    EXPECT_EQ(CleanProject(*u.p, u.platform), CleanOutcome::Deleted);
    EXPECT_EQ(u.platform.MessageTexts(), std::vector<std::string>{"Delete 2 Unused Objects"});
    EXPECT_EQ(u.platform.messages[0].buttons, MessageButtons::YesNoCancel);
    EXPECT_EQ(u.p->slots[u.out].type, kTypeEmpty);
    EXPECT_EQ(u.p->slots[u.fixed].type, kTypeEmpty);
    EXPECT_EQ(u.p->slots[u.osc].type, kTypeOscillator);
    EXPECT_EQ(u.p->currentSlot, u.fixed); // the last one deleted
    EXPECT_EQ(u.p->moduleCount, 2);
    EXPECT_EQ(u.p->activeCount, 2);
    for (const ModuleSlot& s : u.p->slots) ASSERT_EQ(s.cleanMark, 0);
}

TEST(CleanProject, NoKeepsTheModulesMarkedAndCancelUnmarksThem) {
    Unused u;
    u.platform.answers = {MessageAnswer::No};
    EXPECT_EQ(CleanProject(*u.p, u.platform), CleanOutcome::Marked);
    EXPECT_EQ(u.p->slots[u.out].type, kTypeOutput);
    EXPECT_EQ(u.p->slots[u.out].cleanMark, 1);
    EXPECT_EQ(u.p->slots[u.fixed].cleanMark, 1);
    EXPECT_EQ(u.p->slots[u.osc].cleanMark, 0);

    u.platform.answers = {MessageAnswer::Cancel};
    EXPECT_EQ(CleanProject(*u.p, u.platform), CleanOutcome::Cancelled);
    EXPECT_EQ(u.p->slots[u.out].type, kTypeOutput);
    for (const ModuleSlot& s : u.p->slots) ASSERT_EQ(s.cleanMark, 0);
}

TEST(DeleteSelected, DeletesTheSelectedModulesAndTheirCablesOnly) {
    auto p = test::MakeProject();
    const int32_t a = AddModule(*p, kTypeOscillator);
    const int32_t b = AddModule(*p, kTypeAmplifier);
    const int32_t c = AddModule(*p, kTypeOutput);
    ASSERT_TRUE(Wire(*p, a, 0, b, 0));
    ASSERT_TRUE(Wire(*p, b, 0, c, 1));
    p->slots[b].selected = 1;
    p->slots[900].selected = 1; // an empty slot marked by accident counts for nothing
    EXPECT_EQ(DeleteSelectedModules(*p), 1);
    EXPECT_EQ(p->slots[b].type, kTypeEmpty);
    EXPECT_EQ(p->slots[b].selected, 0);
    EXPECT_EQ(p->inputs[PortIndex(a, 0)].link, kNone);
    EXPECT_EQ(p->outputs[PortIndex(c, 1)].link, kNone);
    EXPECT_EQ(p->currentSlot, kNone);
    EXPECT_EQ(p->moduleCount, 2);
}

} // namespace
} // namespace tw
