#pragma once

#include "extract/results_page.h"
#include "extract/stream_entries.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// Link in, page text out; empty text for a blank link and on any failure.
using FetchPage = std::function<std::string(const std::string& link)>;

// The stream entries of a watch page: nothing when the page has no player parameters, else the
// matches of the decoded parameter block, possibly none.
std::optional<std::vector<LinkMatch>> ExtractStreamEntries(std::string_view pageText);

struct GoFolders {
    std::filesystem::path program;  // where the results file goes, beside the download picture
    std::filesystem::path fallback; // used when the program folder cannot be written
};

struct GoOutcome {
    enum class Kind {
        NoParameters, // the page has no player parameters: nothing more fetched, nothing written
        Written,      // the results file is at resultsFile
        WriteFailed,  // failure says where and why
    };
    Kind kind = Kind::NoParameters;
    std::filesystem::path resultsFile;
    // What the results page offers, for naming what the user downloads from it.
    std::string title;
    std::vector<LinkMatch> matches;
    FileError failure;
    // With WriteFailed after the fallback: the program folder could not be written either.
    std::optional<FileError> programFolderFailure;
};

// The Go command after the link has been normalised: fetch the watch page, cut and decode the
// player parameters, check the advertisement page, scan, compose and write the results file.
// A program folder that cannot be written sends the page to the fallback folder, with a copy of
// the download picture beside it.
GoOutcome RunGo(const std::string& link, const FetchPage& fetch, const std::string& advertisementPage,
                const GoFolders& folders);

} // namespace veltrin
