#pragma once

#include <string>
#include <string_view>

namespace veltrin {

// The text without the white space at its ends (space, tab, line breaks), which a link copied from
// a terminal or a mail often carries; empty when nothing else is there.
std::string_view TrimWhiteSpace(std::string_view text);

// The Go command's first step: a link that holds no "http://" gets it in front. A link that
// starts with "http://" or "https://" in any letter case, after any white space, is left alone,
// as is one that holds "http://" anywhere; nothing is trimmed.
std::string NormaliseLink(std::string_view link);

} // namespace veltrin
