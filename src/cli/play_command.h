#pragma once

namespace tw::cli {

// tonewright-cli play IN.tw1 [--seconds N]
int CommandPlay(int argc, char** argv, bool quiet);

} // namespace tw::cli
