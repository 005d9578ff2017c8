// The commands that create, copy and report on project files.
#include "cli/cli.h"

#include "model/catalogue.h"
#include "model/lifecycle.h"
#include "model/statistics.h"

#include <cstdio>
#include <string>

namespace tw::cli {

namespace {

bool CheckArguments(int argc, int wanted, const char* usage) {
    if (argc == wanted) return true;
    PrintError("expected %d argument%s\nusage: %s", wanted, wanted == 1 ? "" : "s", usage);
    return false;
}

constexpr const char* kNewUsage = "tonewright-cli new OUT.tw1";
constexpr const char* kResaveUsage = "tonewright-cli resave IN.tw1 OUT.tw1";
constexpr const char* kStatsUsage = "tonewright-cli stats IN.tw1";

} // namespace

int CommandNew(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("usage: %s\n\nSaves an empty project with the new-project defaults.\n",
                    kNewUsage);
        return kOk;
    }
    if (!CheckArguments(argc, 1, kNewUsage)) return kUsage;
    Session s(quiet);
    FullReset(*s.project, *s.engine);
    ApplyNewProjectDefaults(*s.project, s.platform);
    return SaveProject(*s.project, s.platform, argv[0]) ? kOk : kFailed;
}

int CommandResave(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("usage: %s\n\nLoads a project and saves it again in the current format.\n",
                    kResaveUsage);
        return kOk;
    }
    if (!CheckArguments(argc, 2, kResaveUsage)) return kUsage;
    Session s(quiet);
    if (!s.Open(argv[0])) return kFailed;
    return SaveProject(*s.project, s.platform, argv[1]) ? kOk : kFailed;
}

int CommandStats(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("usage: %s\n\nPrints the project's Statistics text.\n", kStatsUsage);
        return kOk;
    }
    if (!CheckArguments(argc, 1, kStatsUsage)) return kUsage;
    Session s(quiet);
    if (!s.Open(argv[0])) return kFailed;
    std::printf("%s\n", StatisticsText(CountProject(*s.project)).c_str());
    return kOk;
}

int CommandCatalogue(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::printf("usage: tonewright-cli catalogue\n\nLists the module types.\n");
        return kOk;
    }
    std::printf("%-5s %-22s %-14s %-20s %s\n", "type", "name", "category", "menu entry", "help");
    for (const ModuleTypeInfo& t : ModuleTypes()) {
        std::printf("%-5d %-22s %-14s %-20s %s\n", static_cast<int>(t.type), t.name, t.menuCategory,
                    t.menuEntry, t.helpPage != nullptr ? t.helpPage : "-");
    }
    return kOk;
}

} // namespace tw::cli
