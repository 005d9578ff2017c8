#pragma once

// What several benchmarks share: this thread's CPU clock, and the staged demo opened to be
// built as a plugin.
#include "engine/engine.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <ctime>
#include <filesystem>
#include <memory>

namespace tw::bench {

// CPU time of this thread: the machine is shared, so wall time also measures whoever
// else is running.
inline double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The staged demo, opened to be built into `folder`, which is made afresh.
struct DemoForBuild {
    std::unique_ptr<Project> project = std::make_unique<Project>();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);

    explicit DemoForBuild(const std::filesystem::path& folder) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        HeadlessPlatform platform;
        SetText(project->appFolder, TW_STAGED_APP_DIR);
        OpenProject(*project, *engine, platform, TW_DEMO_PROJECT);
        SetText(project->outputFolder, folder.string());
    }
};

} // namespace tw::bench
