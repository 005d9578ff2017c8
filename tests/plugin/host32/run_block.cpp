// A 32-bit host program: plays a note at frame 10 of a built 32-bit plugin for 4096 frames
// in blocks of 512 and writes the samples, the left channel's then the right's, to a file.
//
//   tw_plugin_host32 PLUGIN.dll EXPECTED_URI OUT.raw
#include "../mini_host.h"

#include <cstdio>

int main(int argc, char** argv) {
    static_assert(sizeof(void*) == 4, "this program tests the 32-bit template");
    if (argc != 4) return 1;
    tw::test::MiniHost host(argv[1]);
    if (!host.Start(44100.0) || std::strcmp(host.descriptor->URI, argv[2]) != 0) return 2;
    std::vector<float> left, right;
    host.Play({{10, {0x90, 60, 100}}}, 4096, 512, left, right);
    left.insert(left.end(), right.begin(), right.end());
    std::FILE* out = std::fopen(argv[3], "wb");
    const bool ok = out != nullptr && std::fwrite(left.data(), 4, left.size(), out) == left.size();
    return out != nullptr && std::fclose(out) == 0 && ok ? 0 : 3;
}
