#pragma once

#include <cstdint>
#include <string>

namespace veltrin {

// A size in decimal units, as the desktop's file managers show sizes: "999 bytes", "1.0 kB",
// "5.0 MB" for 5,000,000 bytes. The same in every locale.
std::string ByteSize(std::int64_t bytes);

// "12.0 MB of 28.6 MB, 3.2 MB/s, 0:05 left", as far as it is known: the total when it is not
// negative, the speed when it is above zero, and the time left when both are
// and it is at most 99 days.
std::string ProgressText(std::int64_t received, std::int64_t total, double bytesPerSecond);

} // namespace veltrin
