#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

struct QualityRow {
    std::string_view marker; // looked for anywhere inside a stream entry
    std::string_view label;
    std::string_view leadIn; // what the results page writes before the link
};

// In this order; a marker also matches longer codes that start with it ("itag=5" matches 59).
inline constexpr std::array<QualityRow, 6> QualityTable{{
    {"itag=37", "1080P", "<span style='font-size: 18px; font-family: tahoma;'>Download 1080P Version: </span><a href="},
    {"itag=22", "720P", "<span style='font-size: 18px; font-family: tahoma;'>Download 720P Version: </span><a href="},
    {"itag=35", "480P", "<span style='font-size: 18px; font-family: tahoma;'>Download 480P Version: </span><a href="},
    {"itag=34", "360P", "<span style='font-size: 18px; font-family: tahoma;'>Download 360P Version: </span><a href="},
    {"itag=5", "240p", "<span style='font-size: 18px; font-family: tahoma;'>Download 240p Version: </span><a href="},
    {"itag=17", "Mobile",
     "<span style='font-size: 18px; font-family: tahoma;'>Download Mobile Version: </span><a href="},
}};

struct LinkMatch {
    std::string entry;         // the text between "url=" and the next "&quality=", as cut
    const QualityRow* quality; // the row of QualityTable whose marker the entry holds
};

// Walks the parameter block from "url=" to the next "&quality=" and so on, and gives one match per
// entry and contained marker: entries in block order, within an entry in table order.
std::vector<LinkMatch> ScanStreamEntries(std::string_view block);

// Which match to download when the user prefers a row of QualityTable (nullptr: the best on the
// page): that row when the page has it, else the best one below it, else the best there is.
// Nothing when there are no matches.
std::optional<std::size_t> ChooseQuality(const std::vector<LinkMatch>& matches, const QualityRow* preferred);

} // namespace veltrin
