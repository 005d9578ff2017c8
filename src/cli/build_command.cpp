// tonewright-cli build: the Build Project dialog's "Build" without a screen.
#include "cli/build_command.h"

#include "cli/cli.h"
#include "export/plugin_build.h"
#include "model/app_folders.h"
#include "model/text.h"
#include "paint/panel_painter.h"
#include "paint/qt_bitmap.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace tw::cli {

namespace {

constexpr const char* kBuildUsage =
    "usage: tonewright-cli build IN.tw1 [--target DIR] [--lv2] [--app APPDIR]\n"
    "                            [--platform 32|64] [--panel WxH]\n";
constexpr const char* kBuildHelp =
    "\n"
    "Builds the plugin of IN.tw1 into DIR as the Build Project dialog does: DIR/<name>.dll\n"
    "(the template Resources/64Bit.dat or 32Bit.dat of APPDIR followed by the manifest), and\n"
    "the folder DIR/<name>/ with the skin's seven control bitmaps and Background.bmp, a\n"
    "picture of the panel. DIR is made when it does not exist. --lv2 installs the plugin\n"
    "for LV2 hosts as a bundle of its own, ~/.lv2/<name>.lv2/ (<name>.so, its description\n"
    "and the bitmaps); with --lv2 alone nothing else is written. APPDIR is the application\n"
    "folder (default: the working folder when it is one, else the installed program's).\n"
    "--platform picks the template (default: the project's). --panel sets the panel size in\n"
    "pixels (default 384x261, the panel of a 400 x 300 Gui Editor). Every log line is\n"
    "printed on standard output; the exit status is 0 only when the build had no error.\n";

struct BuildOptions {
    std::string in;
    std::string target;
    std::string app;
    bool lv2 = false;
    int platform = 0; // 0: the project's own
    PanelSize panel;
};

bool ParsePanel(std::string_view text, PanelSize& panel) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const auto w = ParseInteger(text.substr(0, x), 1, 8192);
    const auto h = ParseInteger(text.substr(x + 1), 1, 8192);
    if (!w || !h) return false;
    panel = {static_cast<int32_t>(*w), static_cast<int32_t>(*h)};
    return true;
}

int ParseBuildOptions(int argc, char** argv, BuildOptions& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--target" && hasValue) {
            o.target = argv[++i];
        } else if (arg == "--lv2") {
            o.lv2 = true;
        } else if (arg == "--app" && hasValue) {
            o.app = argv[++i];
        } else if (arg == "--platform" && hasValue) {
            const std::string_view v = argv[++i];
            if (v != "32" && v != "64") {
                PrintError("--platform takes 32 or 64, not '%s'", argv[i]);
                return kUsage;
            }
            o.platform = v == "32" ? 32 : 64;
        } else if (arg == "--panel" && hasValue) {
            if (!ParsePanel(argv[++i], o.panel)) {
                PrintError("--panel takes WIDTHxHEIGHT, such as 384x261, not '%s'", argv[i]);
                return kUsage;
            }
        } else if (!arg.starts_with("--") && o.in.empty()) {
            o.in = arg;
        } else {
            PrintError("unexpected argument '%s'", argv[i]);
            std::fputs(kBuildUsage, stderr);
            return kUsage;
        }
    }
    if (o.in.empty() || (o.target.empty() && !o.lv2)) {
        std::fputs(kBuildUsage, stderr);
        return kUsage;
    }
    return kOk;
}

// The dialog's surroundings: message boxes go to standard error, the pauses are real,
// and the panel is painted as the Gui Editor would show it at this moment.
class CliBuildHost : public BuildHost {
public:
    explicit CliBuildHost(Project& project) : project_(project) {}
    void ShowError(std::string_view text) override { Print("error", text); }
    void ShowWarning(std::string_view text) override { Print("warning", text); }
    void Pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    Bitmap CapturePanel(int32_t width, int32_t height) override {
        return BitmapOfImage(RenderPanel(project_, width, height));
    }

private:
    static void Print(const char* kind, std::string_view text) {
        std::fprintf(stderr, "tonewright-cli: %s: %.*s\n", kind, static_cast<int>(text.size()),
                     text.data());
    }
    Project& project_;
};

} // namespace

int CommandBuild(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("%s%s", kBuildUsage, kBuildHelp);
        return kOk;
    }
    BuildOptions o;
    if (const int code = ParseBuildOptions(argc, argv, o); code != kOk) return code;

    // Text on the panel needs fonts, and fonts need an application object; no screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Without a desktop session Qt warns that it has no runtime folder, which the build
    // never uses; the warning would come with every build.
    static const QtMessageHandler qtMessages = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set")))
                qtMessages(type, context, text);
        });
    static int qtArgc = 1;
    static char qtName[] = "tonewright-cli";
    static char* qtArgv[] = {qtName, nullptr};
    const auto app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);

    Session s(quiet);
    if (!o.app.empty()) ApplyAppFolders(*s.project, AppFolders{o.app, {}, {}, false});
    if (!s.Open(o.in)) return kFailed;
    Project& project = *s.project;

    if (!o.target.empty()) {
        // A fresh account has no LV2 folder yet; the target is made rather than refused.
        std::error_code error;
        std::filesystem::create_directories(o.target, error);
        if (error) {
            PrintError("cannot make the folder '%s': %s", o.target.c_str(),
                       error.message().c_str());
            return kFailed;
        }
    }
    SetText(project.outputFolder, o.target);
    if (o.platform == 32) project.targetPlatform = kTarget32Bit;
    if (o.platform == 64) project.targetPlatform = kTarget64Bit;
    // What opening the dialog does: a known platform, and every control on the panel.
    if (project.targetPlatform != kTarget32Bit && project.targetPlatform != kTarget64Bit) {
        project.targetPlatform = kTarget64Bit;
    }
    SetRenderOnBackground(project, 1);
    // The Gui Editor has painted the panel at least once before anyone can press "Build":
    // that gives every control the size the manifest records.
    UpdateControlSizes(project);

    const BuildFields fields{
        std::string(GetText(project.pluginName)), std::string(GetText(project.author)),
        std::string(GetText(project.versionText)), std::string(GetText(project.uniqueId))};
    BuildLog log{[](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }};
    // The dialog's fields hold no more than the build takes; a project file can, and the
    // user should learn that the plugin carries a shorter name than the project.
    const BuildFields cut = CutBuildFields(fields);
    const struct {
        const char* what;
        const std::string& typed;
        const std::string& taken;
        std::size_t limit;
    } identity[] = {{"Name", fields.name, cut.name, kIdentityFieldChars},
                    {"Author", fields.author, cut.author, kIdentityFieldChars},
                    {"Version number", fields.version, cut.version, kIdentityFieldChars},
                    {"Unique ID", fields.id, cut.id, kUniqueIdFieldChars}};
    for (const auto& field : identity) {
        if (field.typed != field.taken) {
            log.Step(">" + std::string(field.what) + " cut to " + std::to_string(field.limit) +
                     " characters: " + field.taken);
        }
    }
    CliBuildHost host(project);
    BuildPlaces places;
    places.targetDirectory = !o.target.empty();
    if (o.lv2) places.lv2Folder = UserLv2Folder(ProcessEnvironment);
    switch (RunBuild(project, fields, o.panel, log, host, places)) {
    case BuildOutcome::Refused:
        return kFailed;
    case BuildOutcome::NothingToSave:
        return kFailed; // no plugin was made, whatever the count says
    case BuildOutcome::Ran:
        break;
    }
    return log.errorCount == 0 ? kOk : kFailed;
}

} // namespace tw::cli
