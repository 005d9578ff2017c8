#pragma once

// tonewright-cli: the commands, the state they share and the small helpers they use.
#include "engine/engine.h"
#include "model/project.h"
#include "model/project_file.h"
#include "platform/headless_platform.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw::cli {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1; // a file could not be read or written, or was refused
inline constexpr int kUsage = 2;  // bad arguments

// The project, an engine for it and a headless platform, set up as the program sets
// itself up: the working folder is the application folder, so skins come from
// ./Skins/<skin>/. Messages the model shows are printed to stderr unless quiet.
struct Session {
    std::unique_ptr<Project> project;
    std::unique_ptr<Engine> engine;
    HeadlessPlatform platform;

    explicit Session(bool quiet);
    // Opens a project file; prints why not and returns false when it was not loaded.
    bool Open(const std::string& path);
};

// Makes `folder` the application folder of every session (the --app option).
void SetAppFolderOverride(std::string folder);

// Parses a whole decimal integer within [min, max].
std::optional<long long> ParseInteger(std::string_view text, long long min, long long max);

void PrintError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Returns true when args hold "--help" or "-h" (the command then prints its usage).
bool WantsHelp(int argc, char** argv);

int CommandNew(int argc, char** argv, bool quiet);
int CommandDump(int argc, char** argv, bool quiet);
int CommandResave(int argc, char** argv, bool quiet);
int CommandStats(int argc, char** argv, bool quiet);
int CommandRender(int argc, char** argv, bool quiet);
int CommandCatalogue(int argc, char** argv);

// Text bytes of the project are 8-bit characters; 0x80 and above become the code point
// of the same value.
std::string Latin1ToUtf8(std::string_view bytes);

} // namespace tw::cli
