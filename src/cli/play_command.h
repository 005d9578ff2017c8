#pragma once

namespace tw::cli {

// tonewright-cli play IN.tw1 [--seconds N] [--rate N] [--audio NAME] [--midi NAME], or
// play --list
int CommandPlay(int argc, char** argv, bool quiet);

} // namespace tw::cli
