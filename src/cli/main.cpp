// tonewright-cli: the headless face of Tonewright.
#include "model/catalogue.h"

#include <cstdio>
#include <cstring>

namespace {

int PrintCatalogue() {
    std::printf("%-5s %-22s %-14s %-20s %s\n", "type", "name", "category", "menu entry", "help");
    for (const tw::ModuleTypeInfo& t : tw::ModuleTypes()) {
        std::printf("%-5d %-22s %-14s %-20s %s\n", static_cast<int>(t.type), t.name, t.menuCategory,
                    t.menuEntry, t.helpPage != nullptr ? t.helpPage : "-");
    }
    return 0;
}

void Usage(std::FILE* out) {
    std::fprintf(out, "usage: tonewright-cli <command> [arguments]\n\n"
                      "commands:\n"
                      "  catalogue    list the module types\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "catalogue") == 0) return PrintCatalogue();
    std::fprintf(stderr, "tonewright-cli: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
