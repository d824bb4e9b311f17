#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veltrin {

enum class DownloadState { Queued, Downloading, Paused, Retrying, Finished, Failed, Cancelled };

// Where a download goes: "<stem>.<extension>" in folder, or "<stem> (2).<extension>" and so on
// when that exists. No extension: it follows the response's Content-Type. An empty one: none.
struct DownloadTarget {
    std::filesystem::path folder;
    std::string stem;
    std::optional<std::string> extension;
};

struct DownloadInfo {
    int id = 0;
    std::string url;
    DownloadState state = DownloadState::Queued;
    std::filesystem::path file; // the final file; known once the first bytes have arrived
    std::int64_t received = 0;
    std::int64_t total = -1; // -1 while unknown
    double bytesPerSecond = 0;
    int attempt = 0;    // the retries so far
    std::string reason; // why it failed, or why it is being retried
};

// Downloads streams to disk over libcurl on a thread of its own, started by the first Add and
// asleep while nothing needs it. Bytes go to "<file>.part" and the file gets its name only once
// the whole body is there; a transfer that breaks is resumed with a Range request. Never replaces
// an existing file.
class DownloadEngine {
public:
    struct Options {
        int mostAtOnce = 3;
        int retries = 5;
        std::chrono::milliseconds firstPause{2000}; // doubles with each retry
        long stallSeconds = 30;
        long connectTimeoutSeconds = 60;
        std::string userAgent{};
        std::string caFile{}; // for tests: trust this certificate authority
    };
    // Called on the engine's thread at every change of state, and a few times a second while
    // bytes arrive.
    using Listener = std::function<void(const DownloadInfo&)>;

    DownloadEngine(Options options, Listener listener);
    // Cancels what is still running, removing its partial files.
    ~DownloadEngine();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    int Add(const std::string& url, const DownloadTarget& target);
    // Downloads beyond the new limit that run already go on; queued ones wait for room.
    void SetMostAtOnce(int most);
    void Pause(int id);
    void Resume(int id);
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
