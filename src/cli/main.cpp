// tonewright-cli: the headless face of Tonewright.
#include "cli/build_command.h"
#include "cli/cli.h"
#include "cli/play_command.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: tonewright-cli [--quiet] [--app DIR] <command> [arguments]\n"
                 "       tonewright-cli --version\n"
                 "\n"
                 "commands:\n"
                 "  new OUT.tw1              save an empty project with the new-project defaults\n"
                 "  dump IN.tw1              print the project as JSON\n"
                 "  resave IN.tw1 OUT.tw1    load a project and save it again\n"
                 "  render IN.tw1 OUT.wav    render the project to a stereo float WAV file\n"
                 "  stats IN.tw1             print the project's statistics\n"
                 "  build IN.tw1 --target DIR  build the plugin into DIR (--lv2: for LV2 hosts)\n"
                 "  play IN.tw1 [--seconds N] [--rate N] [--audio NAME] [--midi NAME]\n"
                 "                           play live: notes from MIDI, sound on an audio output\n"
                 "  play --list              list the audio outputs and MIDI sources\n"
                 "  catalogue                list the module types\n"
                 "\n"
                 "The working folder is the application folder when it holds Resources/;\n"
                 "from anywhere else an installed tool uses its installation. --app DIR\n"
                 "makes DIR the application folder for any command. Skins are read from\n"
                 "<application folder>/Skins/<skin name>/. Messages the program would show\n"
                 "in a box are printed on standard error; --quiet leaves them out.\n"
                 "'tonewright-cli <command> --help' describes a command.\n");
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    bool quiet = false;
    if (first < argc &&
        (std::strcmp(argv[first], "--quiet") == 0 || std::strcmp(argv[first], "-q") == 0)) {
        quiet = true;
        ++first;
    }
    // --app DIR may stand anywhere: every command that reads the application folder
    // takes it from here.
    std::vector<char*> kept(argv, argv + argc);
    for (std::size_t i = static_cast<std::size_t>(first); i < kept.size(); ++i) {
        if (std::strcmp(kept[i], "--app") != 0) continue;
        if (i + 1 >= kept.size()) {
            tw::cli::PrintError("--app needs a folder");
            return tw::cli::kUsage;
        }
        tw::cli::SetAppFolderOverride(kept[i + 1]);
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i),
                   kept.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
    }
    argc = static_cast<int>(kept.size());
    argv = kept.data();
    if (first >= argc) {
        Usage(stderr);
        return tw::cli::kUsage;
    }
    const char* command = argv[first];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
        std::strcmp(command, "help") == 0) {
        Usage(stdout);
        return tw::cli::kOk;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("%s v0.%d\n", tw::kProductName, static_cast<int>(tw::kProgramVersion));
        return tw::cli::kOk;
    }
    const int n = argc - first - 1;
    char** args = argv + first + 1;
    if (std::strcmp(command, "new") == 0) return tw::cli::CommandNew(n, args, quiet);
    if (std::strcmp(command, "dump") == 0) return tw::cli::CommandDump(n, args, quiet);
    if (std::strcmp(command, "resave") == 0) return tw::cli::CommandResave(n, args, quiet);
    if (std::strcmp(command, "render") == 0) return tw::cli::CommandRender(n, args, quiet);
    if (std::strcmp(command, "stats") == 0) return tw::cli::CommandStats(n, args, quiet);
    if (std::strcmp(command, "build") == 0) return tw::cli::CommandBuild(n, args, quiet);
    if (std::strcmp(command, "play") == 0) return tw::cli::CommandPlay(n, args, quiet);
    if (std::strcmp(command, "catalogue") == 0) return tw::cli::CommandCatalogue(n, args);
    tw::cli::PrintError("unknown command '%s'", command);
    Usage(stderr);
    return tw::cli::kUsage;
}
