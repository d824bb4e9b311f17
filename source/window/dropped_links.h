#pragma once

#include <string>
#include <vector>

class QMimeData;

namespace veltrin {

// The distinct watch links of what a browser or a file manager drops: a link list, a browser's
// link with its title, plain text, or link files (a desktop entry of Type=Link, an Internet
// shortcut) named by file: links. A drop longer than a list would be is refused whole, unread.
std::vector<std::string> DroppedLinks(const QMimeData& data);

} // namespace veltrin
