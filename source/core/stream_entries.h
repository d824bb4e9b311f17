#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// What a download keeps: the video, or its sound alone, as it is or made into MP3.
enum class KeepForm { Video, Sound, Mp3 };

// The sound a format carries; at the same bit rate AAC sounds better than MP3.
enum class SoundCodec { Mp3, Aac };

struct QualityRow {
    std::string_view marker; // looked for anywhere inside a stream entry
    std::string_view label;
    std::string_view leadIn; // what the results page writes before the link
    SoundCodec sound;        // the sound track's codec
    int soundKbps;           // and its bit rate
};

// In this order; a marker also matches longer codes that start with it ("itag=5" matches 59).
// The sound of each is what the site is known to have served under the code, not read from the
// stream (only the downloaded file tells for certain): AAC at 192 kb/s for the MP4 codes 37 and
// 22, AAC at 128 kb/s in the FLV codes 35 and 34, MP3 at 64 kb/s in 5, mono AAC at 24 kb/s in 17.
inline constexpr std::array<QualityRow, 6> QualityTable{{
    {"itag=37", "1080P", "<span style='font-size: 18px; font-family: tahoma;'>Download 1080P Version: </span><a href=",
     SoundCodec::Aac, 192},
    {"itag=22", "720P", "<span style='font-size: 18px; font-family: tahoma;'>Download 720P Version: </span><a href=",
     SoundCodec::Aac, 192},
    {"itag=35", "480P", "<span style='font-size: 18px; font-family: tahoma;'>Download 480P Version: </span><a href=",
     SoundCodec::Aac, 128},
    {"itag=34", "360P", "<span style='font-size: 18px; font-family: tahoma;'>Download 360P Version: </span><a href=",
     SoundCodec::Aac, 128},
    {"itag=5", "240p",
     "<span style='font-size: 18px; font-family: tahoma;'>Download 240p Version: </span><a href=", SoundCodec::Mp3, 64},
    {"itag=17", "Mobile",
     "<span style='font-size: 18px; font-family: tahoma;'>Download Mobile Version: </span><a href=", SoundCodec::Aac,
     24},
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

// Which match to download for its sound alone: the best sound on the page, and of streams with
// the same sound the smallest (the lowest picture), the first of equal rows. Nothing when there
// are no matches.
std::optional<std::size_t> ChooseSound(const std::vector<LinkMatch>& matches);

} // namespace veltrin
