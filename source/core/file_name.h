#pragma once

#include "core/stream_entries.h"

#include <optional>
#include <string>
#include <string_view>

namespace veltrin {

struct VideoNames {
    // As the watch page gives it: the player parameters' "title" field, else the page's <title>
    // without the site's suffix, else the "video_id" field, else "video". UTF-8.
    std::string title;
    std::string id; // the player parameters' "video_id" field; empty when there is none
};
// window: the page's player parameters as FindParameterWindow cut them, if it has them. A page of
// megabytes is searched for them once, by whoever cut them.
VideoNames NamesOnPage(std::string_view pageText, std::optional<std::string_view> window);

// The format code a stream entry names ("itag=22" gives 22), if any.
std::optional<int> FormatCode(std::string_view entry);

// The extension a format code names: mp4 for 37, 22 and 18, flv for 35, 34 and 5, 3gp for 17
// and 36, webm for 43 to 46; nothing for any other code, whose container only the response's
// Content-Type tells.
std::optional<std::string> FormatExtension(std::optional<int> formatCode);

// The file extension for a stream: by its format code where that names one, else by the
// response's Content-Type, else "mp4".
std::string StreamExtension(std::optional<int> formatCode, std::string_view contentType = {});

// "<title> (<quality>)", made safe as a file name on every desktop: the characters / \ : * ? " < >
// | and control and direction-override characters become "_", spaces and dots go from both
// ends, and the whole is at most 200 bytes, cut at a character boundary of the title. Without a
// quality, "<title>" alone: the name of the video's sound kept by itself.
std::string DownloadStem(std::string_view title, std::string_view qualityLabel);

// "stem.ext", or "stem (n).ext" from n = 2 on.
std::string NumberedFileName(std::string_view stem, std::string_view extension, int n);

// How a row of the results page is downloaded, by the window and the command line alike.
struct DownloadPlan {
    std::string address;                  // what the row's link in the results page asks for
    std::string stem;                     // "<title> (<quality>)", safe as a file name
    std::optional<std::string> extension; // nothing: the response's Content-Type names it
};

// The plan for a row; a row without a quality (a link the page does not list) is a "video" one.
DownloadPlan PlanDownload(const LinkMatch& row, std::string_view title);

} // namespace veltrin
