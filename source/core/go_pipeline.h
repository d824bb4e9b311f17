#pragma once

#include "core/results_page.h"
#include "core/stream_entries.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// One fetch: the page text, or why there is none.
struct FetchedPage {
    std::string text;
    std::string failure; // empty when the page came
};
using FetchPage = std::function<FetchedPage(const std::string& link)>;

struct GoFolders {
    std::filesystem::path program;  // where the results file goes, beside the download picture
    std::filesystem::path fallback; // used when the program folder cannot be written
};

// What the fetches of a Go found. Made where the fetches run, then written by WriteGo.
struct GoFetched {
    enum class Kind {
        NotFetched,   // failure says why
        NoParameters, // the page has no player parameters: nothing more fetched
        Found,
    };
    Kind kind = Kind::NotFetched;
    std::string failure;
    std::string title;
    std::string videoId; // empty when the page names none
    std::string block;   // the decoded player parameters
    std::string advertisementBlock;
};

struct GoOutcome {
    enum class Kind {
        NotFetched,   // the page could not be fetched (pageFailure says why): nothing written
        NoParameters, // the page has no player parameters: nothing more fetched, nothing written
        Written,      // the results file is at resultsFile
        WriteFailed,  // failure says where and why
    };
    Kind kind = Kind::NoParameters;
    std::filesystem::path resultsFile;
    // What the results page offers, for naming what the user downloads from it.
    std::string title;
    std::string videoId;
    std::vector<LinkMatch> matches;
    FileError failure;
    std::string pageFailure;
    // With WriteFailed after the fallback: the program folder could not be written either.
    std::optional<FileError> programFolderFailure;
};

// The Go command after the link has been normalised, in two halves. FetchGo fetches the watch
// page, cuts and decodes the player parameters and checks the advertisement page (none when its
// address is empty); it touches no file, so it may run anywhere. WriteGo scans, composes and writes
// the results file; a program folder that cannot be written sends the page to the fallback
// folder, with a copy of the download picture beside it.
GoFetched FetchGo(const std::string& link, const FetchPage& fetch, const std::string& advertisementPage);
GoOutcome WriteGo(const GoFetched& fetched, const GoFolders& folders);

} // namespace veltrin
