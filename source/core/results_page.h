#pragma once

#include "core/stream_entries.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace veltrin {

inline constexpr std::string_view kResultsHeading =
    "<h1 style='font-family: tahoma; font-size: 25px;'>Download Links</h1>";
inline constexpr std::string_view kResultsFileName = "temp.html";
inline constexpr std::string_view kDownloadPictureName = "dl.jpg";

// The frame that shows the advertisement page, for a caller that could fetch that page.
std::string AdvertisementBlock(std::string_view advertisementPageUrl);

// The heading, then one link row per match; advertisementBlock (possibly empty) goes right after
// the second row. Stream entries come from a remote page, so they are escaped for the attribute
// they stand in; a browser resolves the escaped text back to exactly the entry.
std::string ComposeResultsPage(const std::vector<LinkMatch>& matches, std::string_view advertisementBlock);

// The program folder, the platform's separator and "temp.html", joined without further checks.
std::filesystem::path ResultsFilePath(const std::filesystem::path& programFolder);

struct FileError {
    std::string path;
    std::string reason; // the system's own words, such as "Permission denied"
    std::error_code code;
};

// Replaces the file at path with the page and CR LF, in Windows-1252 whatever the locale. The page
// is written to a new file beside it first and renamed over it, so the old page stays whole when
// anything fails, and a link of that name is replaced rather than followed.
std::optional<FileError> WriteResultsFile(const std::filesystem::path& path, std::string_view page);

} // namespace veltrin
