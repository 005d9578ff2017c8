#include "model/checks.h"

#include <cstdio>
#include <cstdlib>

namespace tw {

void CheckFailed(const char* condition, const char* file, int line) noexcept {
    std::fprintf(stderr, "%s:%d: invariant failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

} // namespace tw
