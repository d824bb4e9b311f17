#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrin {

// The video's title as the watch page gives it: the player parameters' "title" field, else the
// page's <title> without the site's suffix, else the "video_id" field, else "video". UTF-8.
std::string VideoTitle(std::string_view pageText);

// The format code a stream entry names ("itag=22" gives 22), if any.
std::optional<int> FormatCode(std::string_view entry);

// The file extension for a stream: by its format code where that is known, else by the
// response's Content-Type, else "mp4".
std::string StreamExtension(std::optional<int> formatCode, std::string_view contentType = {});

// Whether the format code alone decides the extension.
bool ExtensionKnownFromCode(std::optional<int> formatCode);

// "<title> (<quality>)", made safe as a file name on every desktop: the characters / \ : * ? " < >
// | and control and direction-override characters become "_", spaces and dots go from both
// ends, and the whole is at most 200 bytes, cut at a character boundary of the title.
std::string DownloadStem(std::string_view title, std::string_view qualityLabel);

// "stem.ext", or "stem (n).ext" from n = 2 on.
std::string NumberedFileName(std::string_view stem, std::string_view extension, int n);

} // namespace veltrin
