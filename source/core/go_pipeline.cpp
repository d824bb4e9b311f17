#include "core/go_pipeline.h"

#include "core/file_name.h"
#include "core/parameters.h"

#include <system_error>

namespace veltrin {

namespace {

namespace fs = std::filesystem;

bool IsNotWritable(const std::error_code& code) {
    return code == std::errc::permission_denied || code == std::errc::read_only_file_system ||
           code == std::errc::operation_not_permitted;
}

// Makes the fallback folder and puts the download picture beside the page; a failure to copy
// the picture only costs the rows their picture.
std::optional<FileError> PrepareFallback(const fs::path& programFolder, const fs::path& fallback) {
    std::error_code error;
    fs::create_directories(fallback, error);
    if (error) {
        return FileError{fallback.string(), error.message(), error};
    }
    const fs::path picture = fallback / std::string(kDownloadPictureName);
    if (!fs::exists(picture, error)) {
        fs::copy_file(programFolder / std::string(kDownloadPictureName), picture, error);
    }
    return std::nullopt;
}

} // namespace

GoFetched FetchGo(const std::string& link, const FetchPage& fetch, const std::string& advertisementPage) {
    GoFetched fetched;
    {
        FetchedPage page = fetch(link);
        if (!page.failure.empty()) {
            fetched.failure = std::move(page.failure);
            return fetched;
        }
        const auto window = FindParameterWindow(page.text);
        if (!window) {
            fetched.kind = GoFetched::Kind::NoParameters;
            return fetched;
        }
        fetched.block = DecodeParameters(*window);
        // The page text is not needed past this point.
        auto names = NamesOnPage(page.text, window);
        fetched.title = std::move(names.title);
        fetched.videoId = std::move(names.id);
    }
    fetched.kind = GoFetched::Kind::Found;
    if (!advertisementPage.empty() && !fetch(advertisementPage).text.empty()) {
        fetched.advertisementBlock = AdvertisementBlock(advertisementPage);
    }
    return fetched;
}

GoOutcome WriteGo(const GoFetched& fetched, const GoFolders& folders) {
    GoOutcome outcome;
    switch (fetched.kind) {
    case GoFetched::Kind::NotFetched:
        outcome.kind = GoOutcome::Kind::NotFetched;
        outcome.pageFailure = fetched.failure;
        return outcome;
    case GoFetched::Kind::NoParameters: return outcome;
    case GoFetched::Kind::Found: break;
    }
    outcome.title = fetched.title;
    outcome.videoId = fetched.videoId;
    outcome.matches = ScanStreamEntries(fetched.block);
    const std::string page = ComposeResultsPage(outcome.matches, fetched.advertisementBlock);

    fs::path file = ResultsFilePath(folders.program);
    auto error = WriteResultsFile(file, page);
    if (error && IsNotWritable(error->code) && !folders.fallback.empty()) {
        outcome.programFolderFailure = error;
        file = ResultsFilePath(folders.fallback);
        error = PrepareFallback(folders.program, folders.fallback);
        if (!error) {
            error = WriteResultsFile(file, page);
        }
    }
    if (error) {
        outcome.kind = GoOutcome::Kind::WriteFailed;
        outcome.failure = std::move(*error);
        return outcome;
    }
    outcome.kind = GoOutcome::Kind::Written;
    outcome.resultsFile = std::move(file);
    return outcome;
}

} // namespace veltrin
