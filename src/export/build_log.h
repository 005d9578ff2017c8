#pragma once

// The log of a plugin build. The build writes its steps, counts and errors here; the
// caller decides where the lines go (the Build Project dialog's pane, standard output).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tw {

// One log line as the pane holds it, without the line break: "<number> <text> <second>",
// or "<text> <second>" when the number is -1.
std::string BuildLogLine(int32_t number, std::string_view text, std::string_view second);

struct BuildLog {
    // Receives every line, without its line break (the pane ends each with "\r\n").
    std::function<void(std::string_view line)> sink;
    // Errors 5 to 9 counted since the build started; it decides the outcome.
    int32_t errorCount = 0;

    void Append(int32_t number, std::string_view text, std::string_view second = "") const {
        if (sink) sink(BuildLogLine(number, text, second));
    }
    // A line of text only, such as ">Opening Manifest".
    void Step(std::string_view text) const { Append(-1, text); }
    void Count(int32_t number, std::string_view text) const { Append(number, text); }
    // Counts an error and logs its line.
    void Error(std::string_view text) {
        ++errorCount;
        Append(-1, text);
    }
};

} // namespace tw
