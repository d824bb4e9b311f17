#pragma once

#include "download/part_file.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veltrin {

enum class DownloadState { Queued, Downloading, Paused, Retrying, Finished, Failed, Cancelled };

// Finished, failed or cancelled: nothing more happens to it.
constexpr bool IsEnded(DownloadState s) {
    return s == DownloadState::Finished || s == DownloadState::Failed || s == DownloadState::Cancelled;
}

// Queued, downloading or retrying: on its way, not paused.
constexpr bool IsRunning(DownloadState s) {
    return s == DownloadState::Queued || s == DownloadState::Downloading || s == DownloadState::Retrying;
}

struct DownloadInfo {
    int id = 0;
    std::string url;
    DownloadState state = DownloadState::Queued;
    std::filesystem::path file; // the final file; known once the first bytes have arrived
                                // (kept whole: the file its part is of, PartPathOf(file))
    std::int64_t received = 0;
    std::int64_t total = -1; // -1 while unknown
    std::string validator;   // of the body received: its strong ETag, else its Last-Modified
    double bytesPerSecond = 0;
    int attempt = 0;    // the retries so far
    std::string reason; // why it failed, or why it is being retried
    std::string note;   // what became of a part found under the name: continued, started over, left alone
};

// What lets a download go on after the program has stopped: which stream it is, and how its
// address is found again. With it, the part file keeps a record beside it ("<name>.part.resume").
struct Continuation {
    StreamIdentity stream;
    std::string page;    // the watch page's link, kept in the record
    bool afresh = false; // a part this stream left is emptied rather than continued
    // Asks the watch page again for the stream's address when the one used no longer answers
    // (403, 404, 410: such addresses are signed and expire); nothing when it cannot. Runs on a
    // thread of its own while the download waits, retrying; one the engine no longer needs (its
    // download cancelled, or the engine gone) is left to end by itself, so it must own what it uses.
    std::function<std::optional<std::string>()> findAddress{};
    // The finished download keeps its part's name, its record marked whole, for a step that takes
    // from it (the sound kept alone) and removes it after (RemovePartOf(info.file)).
    bool keepWhole = false;
};

// Downloads streams to disk over libcurl on a thread of its own, started by the first Add and
// asleep while nothing needs it. Bytes go to "<file>.part" and the file gets its name only once
// the whole body is there; a transfer that breaks is resumed with a Range request. Never replaces
// an existing file. A part file is locked (flock) while a download owns it: another process's is
// never touched. A download added with a Continuation (and a known extension) goes on from a part
// its stream left under the name, and keeps its part and record when it fails or the engine is
// destroyed before its end; only Cancel or its finish removes them. A long body may come over
// several connections at once, each fetching a range of the one part (see Options::connections).
class DownloadEngine {
public:
    struct Options {
        int mostAtOnce = 3;
        int retries = 5;
        std::chrono::milliseconds firstPause{2000}; // doubles with each retry
        long stallSeconds = 30;
        // How often the bytes written are forced to the disk and named in the part's record, and
        // the folder looked at: a folder that goes away fails the download this soon. (The bytes
        // handed to the system are named every quarter second: a killed process loses no more.)
        std::chrono::milliseconds keepEvery{2000};
        long connectTimeoutSeconds = 60;
        std::string userAgent{};
        std::string caFile{}; // for tests: trust this certificate authority
        // Connections one download may open (1 to 8) when the server sends parts of the body, a
        // validator and its length, and at least splitFrom bytes are to come; each fetches a range
        // of at least splitPiece bytes. All downloads together open at most 8 to one host.
        int connections = 4;
        std::int64_t splitFrom = 32 << 20;
        std::int64_t splitPiece = 1 << 20;
        // Bytes a second all downloads together receive at most; 0: no limit (see SetSpeedLimit).
        std::int64_t speedLimit = 0;
    };
    // Called on the engine's thread at every change of state, and a few times a second while
    // bytes arrive.
    using Listener = std::function<void(const DownloadInfo&)>;

    DownloadEngine(Options options, Listener listener);
    // Stops what is still running: a continuable download keeps its part and record, with every
    // byte they name on the disk; any other's partial file is removed.
    ~DownloadEngine();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    int Add(const std::string& url, const DownloadTarget& target);
    int Add(const std::string& url, const DownloadTarget& target, Continuation continuation);
    // One limit for all downloads and their connections together, in bytes a second (0: none),
    // in force within a moment, running downloads included.
    void SetSpeedLimit(std::int64_t bytesPerSecond);
    // Options::connections for downloads to come, and the most those under way add (they keep
    // the ones they have).
    void SetConnections(int most);
    // Downloads beyond the new limit that run already go on; queued ones wait for room.
    void SetMostAtOnce(int most);
    // A paused continuable download's part and record are on the disk, as they would be kept.
    void Pause(int id);
    void Resume(int id);
    // Ends the download and removes its part and record.
    void Cancel(int id);
    void CancelAll();

    // Downloads queued, under way, retrying or paused.
    int Unfinished() const;
    std::optional<DownloadInfo> Info(int id) const;
    // Blocks until download id has ended (finished, failed or cancelled) and returns its info then;
    // nothing for an id Add never returned. The end is seen as it happens, with no polling. Not to
    // be called from the listener, which runs on the thread that ends downloads.
    std::optional<DownloadInfo> Wait(int id) const;
    // As Wait, but gives up after limit and returns the info as it is then, ended or not.
    std::optional<DownloadInfo> Wait(int id, std::chrono::milliseconds limit) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace veltrin
