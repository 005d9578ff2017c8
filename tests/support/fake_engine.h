#pragma once

#include "model/engine_control.h"

#include <string>
#include <vector>

namespace tw::test {

// Stands in for the synthesis engine where only the calls into it matter.
class FakeEngine final : public EngineControl {
public:
    std::vector<std::string> calls;
    void ResetDspState() override { calls.emplace_back("reset"); }
    void ClearDelayLine() override { calls.emplace_back("clear delay"); }
    int Count(const std::string& what) const {
        int n = 0;
        for (const std::string& c : calls) n += c == what ? 1 : 0;
        return n;
    }
};

} // namespace tw::test
