#include "cli/progress_line.h"

#include <algorithm>

namespace veltrin {

std::string ProgressLine(int percent, const std::string& figures, int columns) {
    const std::string text = (percent >= 0 ? std::to_string(percent) + "%  " : std::string()) + figures;
    const int room = std::max(columns - 1, 0); // the last column would wrap on some terminals
    const int bar = room - static_cast<int>(text.size()) - 3;
    if (bar < 10) {
        return text.substr(0, static_cast<std::size_t>(room));
    }
    const int filled = std::clamp(percent, 0, 100) * bar / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(bar - filled), ' ') + "] " + text;
}

} // namespace veltrin
