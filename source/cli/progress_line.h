#pragma once

#include <string>

namespace veltrin {

// A terminal's progress line, "[####    ] 40%  figures", in fewer characters than columns so
// that it never wraps: the bar takes what the rest leaves, and gives way to the figures alone,
// cut short, when fewer than 10 of its characters would fit. percent: -1 while unknown.
std::string ProgressLine(int percent, const std::string& figures, int columns);

} // namespace veltrin
