#pragma once

// One way to plan the download of a stream a watch page offers, for the save dialog, the automatic
// way and the command line alike: its address, where it goes and how it is continued.

#include "core/stream_entries.h"
#include "download/download_engine.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

namespace veltrin {

// A stream as a fetched watch page gave it.
struct PageStream {
    std::string page;    // the watch page's address, as fetched
    std::string title;   // the video's title on the page
    std::string videoId; // empty when the page names none
    LinkMatch stream;    // the entry chosen
};

// What the engine's Add takes.
struct StreamDownload {
    std::string address;
    DownloadTarget target;
    Continuation continuation;
};

// The video id (the page's address when the page names none) and the entry's format code.
StreamIdentity IdentityOf(const PageStream& source);

// The stream's address on its watch page fetched again: the entry of the same format code. A
// signed address expires; the stream does not. Nothing when the page or the entry is gone.
std::optional<std::string> FindStreamAddress(const std::string& page, int format);

// The stream kept in its part's record, its address found again by FindStreamAddress.
Continuation StreamContinuation(const StreamIdentity& stream, const std::string& page);

// The stream downloaded into folder as "<title> (<quality>).<ext>" (no extension: the server's
// type names it); a caller with a name of its own changes the target's stem and extension.
StreamDownload PlanStreamDownload(const PageStream& source, const std::filesystem::path& folder);

// Downloads the stream at address into fd as it comes, for an output that is no file of ours to
// name (standard output, a pipe, a device): no part, no record, no name; the verdicts are the
// engine's. Before the first byte a failing attempt is tried again as the engine would; after it
// a break ends the download, since what went out cannot be taken back. Once stop is true the
// download ends, Cancelled. The listener hears progress and the end on this thread.
struct StreamEnd {
    DownloadInfo info;   // Finished, Failed or Cancelled
    int outputError = 0; // the errno that stopped the writing to fd, if that ended it
};
StreamEnd StreamInto(int fd, const StreamDownload& download, const DownloadEngine::Options& options,
                     const std::atomic<bool>& stop, const DownloadEngine::Listener& listener);

} // namespace veltrin
