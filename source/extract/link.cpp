#include "extract/link.h"

#include <algorithm>
#include <cctype>

namespace veltrin {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

std::string NormaliseLink(std::string_view link) {
    // White space in front, as a copied link often carries, does not hide the scheme.
    const auto start = link.find_first_not_of(" \t\r\n\f\v");
    const std::string_view bare = start == std::string_view::npos ? std::string_view{} : link.substr(start);
    if (link.find("http://") != std::string_view::npos || StartsWithIgnoringCase(bare, "http://") ||
        StartsWithIgnoringCase(bare, "https://")) {
        return std::string(link);
    }
    return "http://" + std::string(link);
}

} // namespace veltrin
