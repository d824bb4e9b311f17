#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// A link longer than this is not taken as a link, whatever it holds.
inline constexpr std::size_t kMostWatchLinkBytes = 64 * 1024;

// The video a watch link names ("v"), or nothing when it is no watch link.
std::string_view VideoOf(std::string_view link);

// The distinct watch links in a text, in the order they first come: http or https links of any
// host whose path is "/watch" and whose query names a video ("v="). A link ends at white space or
// at what a link cannot hold (quotes, angle brackets, a comma of a mail's list, any byte outside
// ASCII); the punctuation of a sentence after it is not its own. One video counts once, by its
// "v", whatever the host. Each link is given as CheckLink gives it to a Go.
std::vector<std::string> FindWatchLinks(std::string_view text);

} // namespace veltrin
