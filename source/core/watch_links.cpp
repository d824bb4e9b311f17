#include "core/watch_links.h"

#include "core/link.h"

#include <unordered_set>

namespace veltrin {

namespace {

bool Separates(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte >= 0x7F || std::string_view("\"'<>`{}|\\^,").find(c) != std::string_view::npos;
}

} // namespace

std::string_view VideoOf(std::string_view link) {
    std::size_t rest = 0;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (EqualsIgnoringCase(link.substr(0, scheme.size()), scheme)) {
            rest = scheme.size();
        }
    }
    const std::size_t pathAt = link.find_first_of("/?#", rest);
    if (rest == 0 || pathAt == rest || pathAt == std::string_view::npos) {
        return {};
    }
    const std::size_t queryAt = link.find_first_of("?#", pathAt);
    if (link.substr(pathAt, queryAt - pathAt) != "/watch" || queryAt == std::string_view::npos ||
        link[queryAt] != '?') {
        return {};
    }
    std::string_view query = link.substr(queryAt + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view parameter = query.substr(0, end);
        if (parameter.size() > 2 && parameter.substr(0, 2) == "v=") {
            return parameter.substr(2);
        }
        query = end == std::string_view::npos ? std::string_view{} : query.substr(end + 1);
    }
    return {};
}

std::vector<std::string> FindWatchLinks(std::string_view text) {
    std::vector<std::string> links;
    std::unordered_set<std::string_view> videos;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && Separates(text[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < text.size() && !Separates(text[end])) {
            ++end;
        }
        std::string_view word = text.substr(at, end - at);
        at = end;
        // A link in brackets, or closing a sentence.
        while (!word.empty() && (word.front() == '(' || word.front() == '[')) {
            word.remove_prefix(1);
        }
        while (!word.empty() && std::string_view(".;:!?)]").find(word.back()) != std::string_view::npos) {
            word.remove_suffix(1);
        }
        if (word.size() > kMostWatchLinkBytes) {
            continue;
        }
        const std::string_view video = VideoOf(word);
        const LinkToFetch checked = CheckLink(word);
        if (!video.empty() && checked.kind == LinkToFetch::Kind::Fetch && videos.insert(video).second) {
            links.push_back(checked.address);
        }
    }
    return links;
}

} // namespace veltrin
