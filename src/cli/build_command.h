#pragma once

namespace tw::cli {

// tonewright-cli build IN.tw1 --target DIR [--app APPDIR] [--platform 32|64] [--panel WxH]
int CommandBuild(int argc, char** argv, bool quiet);

} // namespace tw::cli
