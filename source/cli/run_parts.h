#pragma once

// What the command line's ways of downloading share: the watch page read, the stream chosen,
// where it goes, and the wait for it that Ctrl+C ends.

#include "cli/arguments.h"
#include "core/go_pipeline.h"
#include "download/download_engine.h"
#include "download/stream_download.h"
#include "library/download_store.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include <pthread.h>

class QCoreApplication;
#include <signal.h>

namespace veltrin::cli {

// The system's reason for an error, in English whatever the locale.
const char* Reason(int error);
// Writes all of text; false when the output is gone.
bool Write(std::FILE* out, std::string_view text);
// text as a JSON string, quotes and all.
void AppendJsonString(std::string& out, std::string_view text);

struct WatchPage {
    std::string address; // the link as fetched
    GoFetched fetched;
    std::vector<LinkMatch> matches;
};
// Why a watch page gave no streams: the exit status of a single download, and the words.
struct PageProblem {
    int status;
    std::string message;
};
// The watch page and its stream entries, as the window's Go fetches them.
std::variant<WatchPage, PageProblem> ReadWatchPage(const std::string& link);
// The stream of that quality; for none ("best"), the best on the page, or for the sound the
// stream with the best sound.
std::optional<LinkMatch> ChooseStream(const std::vector<LinkMatch>& matches, const QualityRow* quality, Keep keep);

// The window's downloads list, in which the command line keeps its downloads too: opened with the
// Qt it needs (an application object for its driver, made when the program has none, with the C
// library's locale left as it was). A problem with it is said on err once, and the downloads go
// on all the same.
class KeptList {
public:
    explicit KeptList(std::FILE* err);
    ~KeptList();
    KeptList(const KeptList&) = delete;
    KeptList& operator=(const KeptList&) = delete;

    DownloadStore* Store() const { return m_store.get(); }
    // Lists the download plan makes of source's stream, kept as keep (the sound: where it goes, its
    // folder and stem), or takes up the row an earlier run left unfinished for the same file;
    // gives the row, queued.
    StoredDownload Start(const PageStream& source, const StreamDownload& plan, KeepForm keep,
                         const std::string& sound = {});
    // The row after the engine's news of its download.
    void Follow(StoredDownload& row, const DownloadInfo& info);

private:
    void Kept(bool written);

    std::FILE* m_err;
    std::unique_ptr<QCoreApplication> m_app;
    std::unique_ptr<DownloadStore> m_store; // goes before the application object its driver needs
    bool m_warned = false;
};

// The file a target names, or nothing while its extension is not known.
std::string TargetPath(const DownloadTarget& target);

// Where the stream goes: a folder gets the stream's own name, anything else is the file's name.
// The path is made absolute and clean ("./" and "../" gone), as it is printed.
DownloadTarget TargetFor(const std::optional<std::string>& output, DownloadTarget target);
// Whether the output takes the stream as it comes rather than being a file of ours to name:
// standard output ("-"), or something there that is neither a folder nor a regular file (a
// device, a pipe), or a link the system keeps to a descriptor (/dev/stdout sent to a file).
bool TakesTheStream(const std::string& output);

// What the wait for a download hears: its end or its pause, from the engine's thread, or a signal
// to stop.
struct Waiting {
    std::atomic<bool> stop{false}; // set with interrupted, for a download on the waiting thread
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<DownloadInfo> ended;
    std::optional<DownloadInfo> paused;
    bool interrupted = false;
};

// Takes Ctrl+C, a TERM signal and the terminal's closing (SIGHUP) on a thread of its own, which
// tells the wait. They are blocked in every other thread, the engine's included, which is made
// later and inherits the mask; SIGUSR1 from the destructor ends the watch.
class SignalWatch {
public:
    explicit SignalWatch(Waiting& waiting) {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGUSR1);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            // One the starter ignores stays ignored: a download under nohup outlives its terminal.
            struct sigaction inherited {};
            if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN) {
                sigaddset(&m_signals, signal);
            }
        }
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_before);
        m_thread = std::thread([this, &waiting] {
            int signal = 0;
            while (sigwait(&m_signals, &signal) == 0 && !(signal == SIGUSR1 && m_stopping)) {
                if (signal != SIGUSR1) {
                    std::lock_guard lock(waiting.mutex);
                    waiting.stop = true;
                    waiting.interrupted = true;
                    waiting.changed.notify_all();
                }
            }
        });
    }
    ~SignalWatch() {
        m_stopping = true;
        pthread_kill(m_thread.native_handle(), SIGUSR1);
        m_thread.join();
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    sigset_t m_signals{};
    sigset_t m_before{};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace veltrin::cli
