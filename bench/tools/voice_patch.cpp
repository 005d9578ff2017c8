// Writes the 1020-module voice patch of the engine benchmarks as a project file, so that
// `tonewright-cli render` can time it against a peer program.
#include "../../tests/support/patches.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <cstdio>
#include <memory>
#include <string_view>

int main(int argc, char** argv) {
    constexpr const char* kUsage = "usage: tw_voice_patch OUTPUT.tw1\n";
    // An option is never taken for a file name: "--help" asks for this line.
    const std::string_view arg = argc == 2 ? argv[1] : "";
    if (arg == "--help" || arg == "-h") {
        std::printf("%s", kUsage);
        return 0;
    }
    if (argc != 2 || arg.starts_with("-")) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    auto project = std::make_unique<tw::Project>();
    tw::SetText(project->pluginName, "Voices");
    tw::test::BuildVoicePatch(*project);
    tw::HeadlessPlatform platform;
    if (!tw::SaveProject(*project, platform, argv[1])) {
        std::fprintf(stderr, "tw_voice_patch: %s could not be written\n", argv[1]);
        return 1;
    }
    return 0;
}
