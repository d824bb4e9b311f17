#include "core/stream_entries.h"

#include <tuple>

namespace veltrin {

namespace {
constexpr std::string_view kEntryStart = "url=";
constexpr std::string_view kEntryEnd = "&quality=";
} // namespace

std::vector<LinkMatch> ScanStreamEntries(std::string_view block) {
    std::vector<LinkMatch> matches;
    auto p = block.find(kEntryStart);
    while (p != std::string_view::npos) {
        const auto q = block.find(kEntryEnd, p + 1);
        if (q == std::string_view::npos) {
            break; // no later "url=" can have a "&quality=" after it either
        }
        const std::string_view entry = block.substr(p + kEntryStart.size(), q - p - kEntryStart.size());
        for (const QualityRow& row : QualityTable) {
            if (entry.find(row.marker) != std::string_view::npos) {
                matches.push_back({std::string(entry), &row});
            }
        }
        // A "url=" inside the entry belongs to it; the next search starts inside "&quality=".
        p = block.find(kEntryStart, q + 1);
    }
    return matches;
}

std::optional<std::size_t> ChooseQuality(const std::vector<LinkMatch>& matches, const QualityRow* preferred) {
    // Rows are ordered best first, so the best of a set is the one of lowest rank.
    const auto rank = [](const QualityRow* row) { return row - QualityTable.data(); };
    const auto wanted = preferred ? rank(preferred) : 0;
    std::optional<std::size_t> best;      // of all
    std::optional<std::size_t> bestBelow; // of those no better than wanted
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const auto r = rank(matches[i].quality);
        if (!best || r < rank(matches[*best].quality)) {
            best = i;
        }
        if (r >= wanted && (!bestBelow || r < rank(matches[*bestBelow].quality))) {
            bestBelow = i;
        }
    }
    return bestBelow ? bestBelow : best;
}

std::optional<std::size_t> ChooseSound(const std::vector<LinkMatch>& matches) {
    // Better sound first, then the smaller picture: a row further down the table.
    const auto key = [](const QualityRow* row) { return std::tuple(row->soundKbps, row->sound, row); };
    std::optional<std::size_t> chosen;
    for (std::size_t i = 0; i < matches.size(); ++i) {
        if (!chosen || key(matches[i].quality) > key(matches[*chosen].quality)) {
            chosen = i;
        }
    }
    return chosen;
}

} // namespace veltrin
