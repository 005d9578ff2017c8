// The plugin's window, loaded as hosts load it into a parent window on a virtual X server,
// against the Gui Editor's panel: same pictures, same gestures, and the host told of each.
// Qt first: Xlib's macros (Bool, Status) must not reach Qt's headers.
#include <QGuiApplication>

#include "engine/engine.h"
#include "export/plugin_build.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "paint/panel_painter.h"
#include "paint/qt_bitmap.h"
#include "platform/headless_platform.h"
#include "plugin/ui/panel_view.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>
#include <random>

// The X host last, after every Qt header.
#include "ui_host.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

void EnsureQt() {
    static int argc = 1;
    static char name[] = "tw_plugin_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(argc, argv);
}

// The window tests need a virtual X server: without Xvfb they are skipped, saying so.
#define TW_NEED_X_SERVER()                                                                         \
    if (!VirtualScreen::Installed())                                                               \
        GTEST_SKIP()                                                                               \
            << "Xvfb is not installed (apt-get install xvfb): no X server for the window";         \
    ASSERT_NE(VirtualScreen::Get(), nullptr) << "Xvfb did not start on a free display"

enum class Kind { Demo, EveryResponse, WithoutControls };

// A design as the editor holds it, built into a target folder with its panel captured as
// the Build Project dialog captures it.
struct Built {
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    TempDir dir;
    PanelSize panel{384, 261};
    fs::path bundle;
    std::vector<int32_t> slots; // the Parameters in port order

    std::string UiBinary() const { return (bundle / (bundle.filename().string() + "_ui.so")); }
};

struct CapturingHost final : BuildHost {
    explicit CapturingHost(Project& p) : project(p) {}
    void ShowError(std::string_view) override {}
    void ShowWarning(std::string_view) override {}
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t w, int32_t h) override {
        return BitmapOfImage(RenderPanel(project, w, h));
    }
    Project& project;
};

std::unique_ptr<Built> Build(Kind kind) {
    EnsureQt();
    auto b = std::make_unique<Built>();
    Project& p = *b->project;
    SetText(p.appFolder, TW_APP_DIR);
    ResetEngine(*b->engine);
    if (kind == Kind::Demo) {
        EXPECT_EQ(OpenProject(p, *b->engine, b->platform, TW_DEMO_PROJECT), LoadResult::Loaded);
        b->panel = {560, 360};
    } else {
        LoadSkinImages(p, b->platform);
        // One control of each image type, each with its own mouse response, labelled.
        for (int32_t i = 0; i < kMouseResponseCount; ++i) {
            const int32_t slot = AddModule(p, kTypeParameter, 60 + 40 * i, 60);
            ModuleSlot& s = p.slots[slot];
            s.imageType = i;
            s.mouseResponse = i;
            s.panelX = 12 + 52 * i;
            s.panelY = 40 + 30 * (i % 2);
            s.showLabel = 1;
            SetText(s.name, "Ctl " + std::to_string(i));
            s.steps = p.skinImages[i].frames - 1;
            s.patchValues[0] = s.steps / 2;
            p.RecomputeParameterValue(slot);
        }
    }
    p.lockEdit = 1; // the plugin's panel is the editor's with Lock Edit on
    p.currentSlot = kNone;
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (p.slots[slot].type == kTypeParameter) b->slots.push_back(slot);
    SetText(p.outputFolder, b->dir.Path().string());
    const std::string name = kind == Kind::Demo ? "Demo Window" : "Every Response";
    SetRenderOnBackground(p, kind == Kind::WithoutControls ? 0 : 1);
    CapturingHost host(p);
    std::string lines;
    BuildLog log{[&](std::string_view line) { lines.append(line).append("\n"); }};
    EXPECT_EQ(RunBuild(p, {name, "Tester", "1000", "TwUi"}, b->panel, log, host),
              BuildOutcome::Ran);
    EXPECT_EQ(log.errorCount, 0) << lines;
    b->bundle = b->dir.Path() / name;
    return b;
}

std::vector<uint32_t> EditorPicture(Project& p, PanelSize panel, int scale = 1) {
    const QImage image = RenderPanel(p, panel.width, panel.height);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < panel.height * scale; ++y)
        for (int x = 0; x < panel.width * scale; ++x)
            pixels.push_back(image.pixel(x / scale, y / scale) & 0xFFFFFF);
    return pixels;
}

// Pixels that differ inside the controls' squares (all of them when `everywhere`).
int Differences(const Built& b, const std::vector<uint32_t>& got, const std::vector<uint32_t>& want,
                bool everywhere) {
    if (got.size() != want.size()) return -1;
    int differ = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int x = static_cast<int>(i % b.panel.width), y = static_cast<int>(i / b.panel.width);
        const bool inControl = std::any_of(b.slots.begin(), b.slots.end(), [&](int32_t slot) {
            const ModuleSlot& s = b.project->slots[slot];
            return x >= s.panelX && x < s.panelX + s.controlSize && y >= s.panelY &&
                   y < s.panelY + s.controlSize;
        });
        differ += (everywhere || inControl) && got[i] != want[i] ? 1 : 0;
    }
    return differ;
}

class WindowPicture : public testing::TestWithParam<Kind> {};

// For random values set by the host, the window shows what the Gui Editor shows; a panel
// captured without its controls gets them drawn, with their labels legible below them.
TEST_P(WindowPicture, EqualsTheGuiEditorsPanelForRandomValues) {
    TW_NEED_X_SERVER();
    auto b = Build(GetParam());
    Project& p = *b->project;
    UiHost host(b->UiBinary(), b->bundle.string());
    ASSERT_NE(host.handle, nullptr);
    EXPECT_STREQ(host.descriptor->URI,
                 (lv2::UiUri(lv2::PluginUri("TwUi", GetText(p.pluginName)))).c_str());
    std::mt19937 rng(26);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < b->slots.size(); ++i) {
            ModuleSlot& s = p.slots[b->slots[i]];
            const int32_t v = std::uniform_int_distribution<int32_t>(0, s.steps)(rng);
            s.patchValues[0] = v;
            host.PortEvent(lv2::kFirstParameterPort + static_cast<uint32_t>(i),
                           static_cast<float>(v));
        }
        int w = 0, h = 0;
        const std::vector<uint32_t> got = host.Picture(w, h);
        ASSERT_EQ((std::pair(w, h)), (std::pair(b->panel.width, b->panel.height)));
        const bool whole = GetParam() != Kind::WithoutControls;
        EXPECT_EQ(Differences(*b, got, EditorPicture(p, b->panel), whole), 0) << "round " << round;
        if (whole) continue;
        // Each label: light pixels on the dark panel in the rows just below its control.
        for (const int32_t slot : b->slots) {
            const ModuleSlot& s = p.slots[slot];
            int light = 0;
            for (int y = s.panelY + s.controlSize; y < s.panelY + s.controlSize + 14; ++y)
                for (int x = s.panelX - 10; x < s.panelX + s.controlSize + 10; ++x)
                    light += (got[static_cast<std::size_t>(y) * w + x] & 0xFF) > 0xC0 ? 1 : 0;
            EXPECT_GT(light, 15) << "label of slot " << slot;
        }
    }
}

std::string KindName(const testing::TestParamInfo<Kind>& info) {
    constexpr const char* kNames[] = {"Demo", "EveryResponse", "WithoutControls"};
    return kNames[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Designs, WindowPicture,
                         testing::Values(Kind::Demo, Kind::EveryResponse, Kind::WithoutControls),
                         KindName);

// A drag, a click and wheel notches on each response write exactly the values the Gui
// Editor's panel gives for the same gesture, each framed by touch grab and release.
TEST(WindowGestures, WriteWhatTheEditorsPanelGivesFramedByTouch) {
    TW_NEED_X_SERVER();
    auto b = Build(Kind::EveryResponse);
    Project& p = *b->project;
    UiHost host(b->UiBinary(), b->bundle.string());
    ASSERT_NE(host.handle, nullptr);
    PanelSession session;
    session.width = b->panel.width;
    session.height = b->panel.height;
    for (std::size_t i = 0; i < b->slots.size(); ++i) {
        const int32_t slot = b->slots[i];
        const uint32_t port = lv2::kFirstParameterPort + static_cast<uint32_t>(i);
        const ModuleSlot& s = p.slots[slot];
        const int cx = s.panelX + s.controlSize / 2, cy = s.panelY + s.controlSize / 2;
        std::vector<HostMessage> want;
        int32_t last = s.patchValues[0];
        const auto expect = [&] {
            if (s.patchValues[0] != last)
                want.push_back({'w', port, float(last = s.patchValues[0])});
        };
        host.messages.clear();
        want.push_back({'g', port, 0});
        host.Send(ButtonPress, cx, cy);
        PanelLeftPress(p, session, b->platform, cx, cy);
        expect();
        for (const auto& [dx, dy] : {std::pair{7, -9}, {3, -20}, {-4, 12}}) {
            host.Send(MotionNotify, cx + dx, cy + dy);
            PanelPointerMove(p, session, cx + dx, cy + dy);
            expect();
        }
        host.Send(ButtonRelease, cx, cy + 12);
        PanelLeftRelease(p, session);
        expect();
        want.push_back({'r', port, 0});
        for (const unsigned button : {Button4, Button4, Button5}) {
            want.push_back({'g', port, 0});
            host.Send(ButtonPress, cx, cy, button);
            PanelWheel(p, b->platform, cx, cy, button == Button4 ? 1 : -1);
            expect();
            want.push_back({'r', port, 0});
        }
        EXPECT_EQ(host.messages, want) << "response " << s.mouseResponse;
        EXPECT_GT(std::count_if(want.begin(), want.end(), [](auto& m) { return m.kind == 'w'; }),
                  1);
    }
}

// At a whole-number screen scale the panel is the editor's picture with each pixel
// repeated, and the pointer maps back onto the same control.
TEST(WindowScale, RepeatsPixelsAndMapsThePointerBack) {
    TW_NEED_X_SERVER();
    auto b = Build(Kind::EveryResponse);
    UiHost host(b->UiBinary(), b->bundle.string(), 2.0);
    ASSERT_NE(host.handle, nullptr);
    int w = 0, h = 0;
    const auto got = host.Picture(w, h);
    ASSERT_EQ(w, 2 * b->panel.width);
    EXPECT_EQ(got, EditorPicture(*b->project, b->panel, 2));
    // "Click Inc" (image type 2) clicked at its scaled centre.
    const ModuleSlot& s = b->project->slots[b->slots[2]];
    host.Send(ButtonPress, 2 * s.panelX + s.controlSize, 2 * s.panelY + s.controlSize);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1],
              (HostMessage{'w', lv2::kFirstParameterPort + 2, float(s.patchValues[0] + 1)}));
}

// A damaged bitmap is a placeholder, said once for all windows; two designs' windows keep
// their own pictures; a hundred windows open and close in one process.
TEST(WindowRobustness, PlaceholdersOneMessageAndManyWindows) {
    TW_NEED_X_SERVER();
    auto demo = Build(Kind::Demo);
    auto every = Build(Kind::EveryResponse);
    WriteFileText(every->bundle / "Knob_0to10.bmp", "BM not really");
    testing::internal::CaptureStderr();
    UiHost first(every->UiBinary(), every->bundle.string());
    UiHost second(every->UiBinary(), every->bundle.string());
    UiHost other(demo->UiBinary(), demo->bundle.string());
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first.handle != nullptr && second.handle != nullptr && other.handle != nullptr);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("Knob_0to10.bmp is not a bitmap"), std::string::npos) << said;
    int w = 0, h = 0;
    const auto got = second.Picture(w, h);
    const ModuleSlot& s = every->project->slots[every->slots[0]];
    EXPECT_EQ(got[static_cast<std::size_t>(s.panelY + 5) * w + s.panelX + 5], 0xC8C8C8u);
    EXPECT_EQ(other.Picture(w, h), EditorPicture(*demo->project, demo->panel));
    for (int i = 0; i < 100; ++i) {
        LV2UI_Widget widget = nullptr;
        const LV2UI_Handle ui = first.descriptor->instantiate(
            first.descriptor, "", every->bundle.c_str(), &UiHost::Write, &first, &widget, nullptr);
        ASSERT_NE(ui, nullptr);
        first.idle->idle(ui);
        first.descriptor->cleanup(ui);
    }
}

// Without X: a host value repaints its control's square only; an output that differs from
// the host's value is a learnt move for the host, unless it is catching up with a set value.
TEST(PanelView, RepaintsOneSquareAndPassesThePluginsMovesOn) {
    auto b = Build(Kind::EveryResponse);
    ui::PanelView view(ui::ReadPanelFiles(b->bundle.string()), 1.0);
    EXPECT_EQ(view.Update().size(), 1u); // the whole panel
    const uint32_t count = static_cast<uint32_t>(b->slots.size());
    const ModuleSlot& knob = b->project->slots[b->slots[1]];
    view.PortEvent(lv2::kFirstParameterPort + 1, 3.0f, 0);
    const auto rects = view.Update();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(std::tuple(rects[0].x, rects[0].y, rects[0].width, rects[0].height),
              std::tuple(knob.panelX, knob.panelY, knob.controlSize, knob.controlSize));
    EXPECT_TRUE(view.Update().empty());
    const uint32_t out = lv2::ParameterOutputPort(count, 1);
    view.PortEvent(out, 2.0f, 100);  // still catching up with 3
    view.PortEvent(out, 3.0f, 150);  // caught up
    view.PortEvent(out, 40.0f, 200); // moved by its controller
    view.PortEvent(out, 40.0f, 220);
    const auto sent = view.TakeMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::tuple(sent[0].kind, sent[0].port, sent[0].value),
              std::tuple(ui::HostMessage::kWrite, lv2::kFirstParameterPort + 1, 40.0f));
    EXPECT_EQ(view.StepOf(1), 40);

    // At a scale of 1.5 the panel is interpolated and the pointer maps back: a press at the
    // scaled centre of "Click Inc" steps it once.
    ui::PanelView scaled(ui::ReadPanelFiles(b->bundle.string()), 1.5);
    EXPECT_EQ(std::pair(scaled.Width(), scaled.Height()), std::pair(576, 392));
    const ModuleSlot& inc = b->project->slots[b->slots[2]];
    scaled.Press(static_cast<int32_t>((inc.panelX + 10) * 1.5),
                 static_cast<int32_t>((inc.panelY + 10) * 1.5));
    EXPECT_EQ(scaled.StepOf(2), inc.patchValues[0] + 1);
}

} // namespace
} // namespace tw::test
