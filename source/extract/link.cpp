#include "extract/link.h"

#include <algorithm>
#include <cctype>

namespace veltrin {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

std::string_view TrimWhiteSpace(std::string_view text) {
    constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

std::string NormaliseLink(std::string_view link) {
    // White space in front, as a copied link often carries, does not hide the scheme.
    const std::string_view bare = TrimWhiteSpace(link);
    if (link.find("http://") != std::string_view::npos || StartsWithIgnoringCase(bare, "http://") ||
        StartsWithIgnoringCase(bare, "https://")) {
        return std::string(link);
    }
    return "http://" + std::string(link);
}

} // namespace veltrin
