#include "core/link.h"

#include "core/windows1252.h"

#include <algorithm>
#include <cctype>

namespace veltrin {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Appends bytes, with white space, controls, bytes above 126 and the part's own escaped ones as %XX.
void AppendEscaped(std::string& out, std::string_view bytes, std::string_view escaped) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || escaped.find(c) != std::string_view::npos) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
}

// The scheme a link names, such as "file" or "javascript"; empty when it names none ("host:8080"
// is a host and a port).
std::string_view SchemeOf(std::string_view link) {
    const auto colon = link.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(link[0]))) {
        return {};
    }
    const std::string_view scheme = link.substr(0, colon);
    const bool schemeCharacters = std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    const bool port = colon + 1 < link.size() && std::isdigit(static_cast<unsigned char>(link[colon + 1]));
    return schemeCharacters && !port ? scheme : std::string_view{};
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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
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

LinkToFetch CheckLink(std::string_view link) {
    const std::string_view bare = TrimWhiteSpace(link);
    if (bare.empty()) {
        return {};
    }
    if (const std::string_view scheme = SchemeOf(bare);
        !scheme.empty() && !EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) {
        return {LinkToFetch::Kind::Refused, {}};
    }
    return {LinkToFetch::Kind::Fetch, NormaliseLink(link)};
}

std::string RequestAddress(std::string_view entry) {
    const std::size_t hash = entry.find('#');
    const std::size_t question = entry.substr(0, hash).find('?');
    const std::size_t queryEnd = std::min(hash, entry.size());
    std::string out;
    out.reserve(entry.size());
    if (question == std::string_view::npos) {
        AppendEscaped(out, entry.substr(0, queryEnd), "\"<>`{}");
    } else {
        AppendEscaped(out, entry.substr(0, question), "\"<>`{}");
        AppendEscaped(out, Utf8ToWindows1252(entry.substr(question, queryEnd - question)), "\"<>'");
    }
    if (hash != std::string_view::npos) {
        AppendEscaped(out, entry.substr(hash), "\"<>`");
    }
    return out;
}

std::string Shown(std::string_view text) {
    constexpr std::size_t kMost = 200;
    std::string shown;
    for (const char c : SanitizeUtf8(text.substr(0, kMost))) {
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    if (text.size() > kMost) {
        shown += "...";
    }
    return shown;
}

} // namespace veltrin
