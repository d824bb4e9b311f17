#include "core/progress.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace veltrin {

std::string ByteSize(std::int64_t bytes) {
    if (bytes < 1000) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    // In tenths, rounded, so that 999,960 bytes is "1.0 MB" rather than "1000.0 kB".
    auto tenths = std::llround(value * 10);
    while (tenths >= 10000 && unit + 1 < std::size(kUnits)) {
        value /= 1000;
        ++unit;
        tenths = std::llround(value * 10);
    }
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

std::string ProgressText(std::int64_t received, std::int64_t total, double bytesPerSecond) {
    std::string text = ByteSize(received);
    if (total >= 0) {
        text += " of " + ByteSize(total);
    }
    if (bytesPerSecond > 0) {
        text += ", " + ByteSize(static_cast<std::int64_t>(bytesPerSecond)) + "/s";
        const double estimate = static_cast<double>(std::max<std::int64_t>(total - received, 0)) / bytesPerSecond;
        // A rate of a few bytes a second gives months, which tells the user nothing and would
        // not fit the integer it is worded from.
        constexpr double kLongest = 99.0 * 24 * 3600;
        if (total >= 0 && estimate <= kLongest) {
            const auto left = static_cast<std::int64_t>(estimate);
            const std::string seconds = std::to_string(100 + left % 60).substr(1);
            text += ", " +
                    (left >= 3600 ? std::to_string(left / 3600) + ":" + std::to_string(100 + left / 60 % 60).substr(1)
                                  : std::to_string(left / 60)) +
                    ":" + seconds + " left";
        }
    }
    return text;
}

} // namespace veltrin
