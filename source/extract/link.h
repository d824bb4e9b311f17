#pragma once

#include <string>
#include <string_view>

namespace veltrin {

// The Go command's first step: a link that holds no "http://" gets it in front. A link that
// starts with "http://" or "https://" in any letter case, after any white space, is left alone,
// as is one that holds "http://" anywhere; nothing is trimmed.
std::string NormaliseLink(std::string_view link);

} // namespace veltrin
