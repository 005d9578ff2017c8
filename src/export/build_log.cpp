#include "export/build_log.h"

namespace tw {

std::string BuildLogLine(int32_t number, std::string_view text, std::string_view second) {
    std::string line;
    if (number != -1) {
        line += std::to_string(number);
        line += ' ';
    }
    line += text;
    line += ' ';
    line += second;
    return line;
}

} // namespace tw
