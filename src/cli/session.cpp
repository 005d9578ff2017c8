#include "cli/cli.h"

#include "model/app_folders.h"
#include "model/text.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tw::cli {

namespace {

std::string& AppFolderOverride() {
    static std::string folder;
    return folder;
}

} // namespace

void SetAppFolderOverride(std::string folder) {
    AppFolderOverride() = std::move(folder);
}

Session::Session(bool quiet)
    : project(std::make_unique<Project>()), engine(std::make_unique<Engine>(*project)) {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    // A working folder that is an application folder is used as it is; from anywhere else
    // an installed tool finds its installation.
    if (!AppFolderOverride().empty()) {
        ApplyAppFolders(*project, AppFolders{AppFolderOverride(), {}, {}, false});
    } else {
        ApplyAppFolders(*project, ResolveAppFolders(RunningProgramPath(), ec ? "" : cwd.string(),
                                                    ProcessEnvironment,
                                                    /*workingFolderFirst=*/true));
    }
    if (!quiet) platform.echo = stderr;
}

bool Session::Open(const std::string& path) {
    switch (OpenProject(*project, *engine, platform, path)) {
    case LoadResult::Loaded:
        return true;
    case LoadResult::CannotOpen:
        PrintError("cannot read '%s'", path.c_str());
        return false;
    case LoadResult::NewerVersion:
        PrintError("'%s' was made with a newer version of Tonewright (format %d; this is %d)",
                   path.c_str(), static_cast<int>(project->fileVersion),
                   static_cast<int>(kProjectFileVersion));
        return false;
    case LoadResult::NotAProject:
        PrintError("'%s' is not a Tonewright project", path.c_str());
        return false;
    }
    return false;
}

std::optional<long long> ParseInteger(std::string_view text, long long min, long long max) {
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || text.empty() || v < min || v > max) return std::nullopt;
    return v;
}

void PrintError(const char* format, ...) {
    std::fputs("tonewright-cli: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace tw::cli
