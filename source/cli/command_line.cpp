#include "cli/command_line.h"

#include "cli/progress_line.h"
#include "cli/sound_job.h"
#include "core/file_name.h"
#include "core/go_pipeline.h"
#include "core/link.h"
#include "core/progress.h"
#include "download/download_engine.h"
#include "net/http_request.h"
#include "net/mod_net.h"
#include "version.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <variant>

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace veltrin::cli {

namespace {

constexpr std::string_view kUsageText =
    "Usage: Veltrin [--hidden] [LINK]\n"
    "       Veltrin --links [--json] LINK\n"
    "       Veltrin --download QUALITY LINK [--audio[=mp3]] [--output PATH] [--no-continue]\n"
    "       Veltrin --help | --version\n"
    "\n"
    "Without options, opens the window, or brings the one open on this display to the front;\n"
    "with a LINK, runs it there.\n"
    "\n"
    "  --links LINK   print the download links of a watch page, one per line: the quality,\n"
    "                 a tab, and the stream's address\n"
    "  --json         with --links, print them as one JSON array of {\"quality\", \"url\"}\n"
    "  --download QUALITY LINK\n"
    "                 save the stream of that quality (1080p, 720p, 480p, 360p, 240p, mobile,\n"
    "                 or best: the best on the page) as \"<title> (<quality>).<ext>\" and print\n"
    "                 where it went\n"
    "  --audio        with --download, keep the sound alone, as it is, without re-encoding:\n"
    "                 \"<title>.m4a\" for AAC, \"<title>.mp3\" for MP3 (another sound in a file\n"
    "                 that holds it, such as .mka); with best, from the stream with the best\n"
    "                 sound. The video goes once the sound is saved whole\n"
    "  --audio=mp3    the same, made into MP3 at 192 kb/s (copied when it is MP3 already)\n"
    "  --output PATH  with --download, the folder (the current one unless given) or the file\n"
    "  --no-continue  with --download, empty the part an earlier run of the same stream left\n"
    "                 (\"<name>.part\") and start afresh, rather than go on from it\n"
    "  --hidden       start behind the notification-area icon (nothing changes when a window is\n"
    "                 open already)\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "A value may also be joined to its option with \"=\" (--output=PATH, --links=LINK). Options\n"
    "are never abbreviated, and \"--\" ends them.\n"
    "\n"
    "A download that is stopped (Ctrl+C) or fails keeps what it has: the same command goes on\n"
    "from there, and starts over if the video has changed on the server since.\n"
    "\n"
    "Exit status: 0 links printed (also to a reader that stops early) or stream saved, 1 no\n"
    "known quality (or not the one asked for) on the page, 2 the page could not be fetched or\n"
    "has no player parameters, 3 the download failed (or, with --audio, the video has no sound,\n"
    "kept as a video then, or is no media file), 64 wrong usage, 74 the output could not be\n"
    "written (a saved stream stays saved), 130 interrupted.\n"
    "\n"
    "What the command line prints, its messages and its exit statuses are the same in every\n"
    "locale, in English, for scripts to read; only the window follows the desktop's language.\n";

// The system's reason for an error, in English whatever the locale.
const char* Reason(int error) {
    const char* reason = strerrordesc_np(error);
    return reason != nullptr ? reason : "unknown error";
}

// Writes all of text; false when the output is gone.
bool Write(std::FILE* out, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

// Prints text; a reader that has seen enough (| head -1) and closed the pipe ends it quietly.
int Print(std::FILE* out, std::FILE* err, std::string_view text, const char* what) {
    if (Write(out, text) || errno == EPIPE) {
        return kFound;
    }
    std::fprintf(err, "Veltrin: cannot write %s: %s\n", what, Reason(errno));
    return kOutputFailed;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string Format(const std::vector<LinkMatch>& matches, bool json) {
    std::string text;
    if (!json) {
        for (const LinkMatch& match : matches) {
            text.append(match.quality->label).append("\t").append(match.entry).append("\n");
        }
        return text;
    }
    text = "[";
    for (const LinkMatch& match : matches) {
        text += text.size() > 1 ? ",\n {\"quality\": " : "{\"quality\": ";
        AppendJsonString(text, match.quality->label);
        text += ", \"url\": ";
        AppendJsonString(text, match.entry);
        text += '}';
    }
    return text + "]\n";
}

// The scheme a link names, such as "file" or "javascript"; empty when it names none ("host:8080"
// is a host and a port).
std::string_view SchemeOf(std::string_view link) {
    link = TrimWhiteSpace(link);
    const auto colon = link.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(link[0]))) {
        return {};
    }
    const std::string_view scheme = link.substr(0, colon);
    const bool schemeCharacters = std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    const bool port = colon + 1 < link.size() && std::isdigit(static_cast<unsigned char>(link[colon + 1]));
    return schemeCharacters && !port ? scheme : std::string_view{};
}

struct WatchPage {
    std::string text;
    std::vector<LinkMatch> matches;
};

// The watch page and its stream entries, or the exit status after saying why there are none.
std::variant<WatchPage, int> FetchWatchPage(const std::string& link, std::FILE* err) {
    // The window would put "http://" in front of "file:///etc/passwd" and look for a host named
    // "file"; a script is better told at once.
    if (const std::string_view scheme = SchemeOf(link);
        !scheme.empty() && !EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) {
        std::fprintf(err, "Veltrin: cannot fetch %s: only http and https links can be fetched\n", Shown(link).c_str());
        return kNoPage;
    }
    const std::string normalised = NormaliseLink(link);
    WatchPage page;
    long status = 0;
    try {
        const auto request = modNet::CreateConfiguredRequest();
        page.text = modNet::FetchPage(*request, normalised);
        status = request->Status();
    } catch (const HttpRequestError& e) {
        std::fprintf(err, "Veltrin: cannot fetch %s: %s\n", Shown(normalised).c_str(), e.what());
        return kNoPage;
    }
    auto matches = ExtractStreamEntries(page.text);
    if (!matches) {
        std::fprintf(err, "Veltrin: the page at %s has no player parameters (HTTP status %ld)\n",
                     Shown(normalised).c_str(), status);
        return kNoPage;
    }
    if (matches->empty()) {
        std::fprintf(err, "Veltrin: the page offers none of the known qualities\n");
        return kNoKnownQuality;
    }
    page.matches = std::move(*matches);
    return page;
}

int Links(const std::string& link, bool json, std::FILE* out, std::FILE* err) {
    auto fetched = FetchWatchPage(link, err);
    if (const int* status = std::get_if<int>(&fetched)) {
        return *status;
    }
    return Print(out, err, Format(std::get<WatchPage>(fetched).matches, json), "the links");
}

// Progress on standard error: a bar redrawn in place on a terminal, a line now and then elsewhere.
// An error output that has gone away only goes unwritten.
class ProgressReport {
public:
    explicit ProgressReport(std::FILE* err)
        : m_err(err), m_terminal(isatty(fileno(err)) == 1), m_lastLine(std::chrono::steady_clock::now()) {}

    void Show(const DownloadInfo& info) {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(m_mutex);
        const char* clear = m_terminal ? "\r\033[K" : "";
        if (info.note != m_note) {
            m_note = info.note;
            std::fprintf(m_err, "%sVeltrin: %s\n", clear, info.note.c_str());
        }
        if (info.state == DownloadState::Retrying) {
            std::fprintf(m_err, "%sVeltrin: %s; trying again", clear, info.reason.c_str());
            std::fprintf(m_err, info.attempt > 0 ? " (%d)\n" : "\n", info.attempt);
            return;
        }
        if (info.state != DownloadState::Downloading) {
            if (m_terminal && m_drawn) {
                std::fputs("\r\033[K", m_err);
            }
            return;
        }
        const int percent = info.total > 0 ? static_cast<int>(info.received * 100 / info.total) : -1;
        const std::string figures = ProgressText(info.received, info.total, info.bytesPerSecond);
        if (m_terminal) {
            // Asked at every line, so that it follows the terminal as it is resized.
            winsize size{};
            const int columns = ::ioctl(fileno(m_err), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
            std::fprintf(m_err, "\r\033[K%s", ProgressLine(percent, figures, columns).c_str());
            m_drawn = true;
        } else if (now - m_lastLine >= std::chrono::seconds(5)) {
            std::fprintf(m_err, "Veltrin: %s%s\n", percent >= 0 ? (std::to_string(percent) + "%  ").c_str() : "",
                         figures.c_str());
            m_lastLine = now;
        }
        std::fflush(m_err);
    }

private:
    std::FILE* m_err;
    bool m_terminal;
    bool m_drawn = false;
    std::string m_note;
    std::chrono::steady_clock::time_point m_lastLine;
    std::mutex m_mutex;
};

// Where the stream goes: a folder gets the stream's own name, anything else is the file's name.
DownloadTarget TargetFor(const std::optional<std::string>& output, const DownloadPlan& plan) {
    std::error_code ignored;
    DownloadTarget target{std::filesystem::current_path(ignored), plan.stem, plan.extension};
    if (!output) {
        return target;
    }
    const std::filesystem::path path = std::filesystem::absolute(*output, ignored);
    if (std::filesystem::is_directory(path, ignored) || output->ends_with('/')) {
        target.folder = path;
        return target;
    }
    target.folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    target.stem = path.stem().string();
    target.extension = path.has_extension() ? path.extension().string().substr(1) : std::string();
    return target;
}

// What the wait for a download hears: its end or its pause, from the engine's thread, or a signal
// to stop.
struct Waiting {
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

bool Over(DownloadState state) {
    return state == DownloadState::Finished || state == DownloadState::Failed || state == DownloadState::Cancelled;
}

// "3.1 MB kept in "Clip.mp4.part"; the same command goes on from there", or nothing.
std::string Kept(const DownloadInfo& info) {
    if (info.received <= 0 || info.file.empty()) {
        return {};
    }
    return "; " + ByteSize(info.received) + (info.total >= 0 ? " of " + ByteSize(info.total) : std::string()) +
           " kept in \"" + info.file.filename().string() + ".part\"; the same command goes on from there";
}

int Download(const Job& job, std::FILE* out, std::FILE* err) {
    const std::string& link = job.link;
    auto fetched = FetchWatchPage(link, err);
    if (const int* status = std::get_if<int>(&fetched)) {
        return *status;
    }
    const WatchPage& page = std::get<WatchPage>(fetched);
    // "best": the best stream on the page, or for the sound the stream with the best sound.
    const auto match =
        job.quality == nullptr
            ? page.matches.begin() + std::ptrdiff_t(*(job.keep == Keep::Video ? ChooseQuality(page.matches, nullptr)
                                                                              : ChooseSound(page.matches)))
            : std::find_if(page.matches.begin(), page.matches.end(),
                           [&](const LinkMatch& m) { return m.quality == job.quality; });
    if (match == page.matches.end()) {
        std::fprintf(err, "Veltrin: the page has no %s stream\n", std::string(job.quality->label).c_str());
        return kNoKnownQuality;
    }

    Waiting waiting;
    const SignalWatch watch(waiting);
    ProgressReport report(err);
    DownloadEngine::Options options;
    options.userAgent = modNet::kUserAgent;
    DownloadEngine engine(options, [&](const DownloadInfo& info) {
        report.Show(info);
        if (Over(info.state) || info.state == DownloadState::Paused) {
            std::lock_guard lock(waiting.mutex);
            (Over(info.state) ? waiting.ended : waiting.paused) = info;
            waiting.changed.notify_all();
        }
    });
    const std::string title = VideoTitle(page.text);
    const DownloadPlan plan = PlanDownload(*match, title);
    const std::optional<int> format = FormatCode(match->entry);
    Continuation continuation{{VideoId(page.text), format.value_or(-1)}, link, job.afresh};
    if (continuation.stream.video.empty()) {
        continuation.stream.video = NormaliseLink(link); // a page without an id is known by its link
    }
    // The same format code on the page fetched again; an address may be signed for a while only.
    continuation.findAddress = [&link, format]() -> std::optional<std::string> {
        std::FILE* quiet = std::fopen("/dev/null", "w");
        auto again = FetchWatchPage(link, quiet != nullptr ? quiet : stderr);
        if (quiet != nullptr) {
            std::fclose(quiet);
        }
        const auto* found = std::get_if<WatchPage>(&again);
        for (const LinkMatch& m : found != nullptr ? found->matches : std::vector<LinkMatch>{}) {
            if (FormatCode(m.entry) == format) {
                return PlanDownload(m, {}).address;
            }
        }
        return std::nullopt;
    };
    continuation.keepWhole = job.keep != Keep::Video; // the video goes once its sound is whole
    DownloadTarget target = TargetFor(job.output, plan);
    SoundPlace sound{target.folder, DownloadStem(title, "")};
    if (job.keep != Keep::Video) { // a file named by --output is the sound's; the video is as ever
        sound.stem = target.stem != plan.stem ? target.stem : sound.stem;
        target.stem = plan.stem;
        target.extension = plan.extension;
    }
    const bool kept = target.extension.has_value(); // else the engine cannot find the part again
    const int id = engine.Add(plan.address, target, std::move(continuation));
    std::unique_lock lock(waiting.mutex);
    waiting.changed.wait(lock, [&] { return waiting.ended || waiting.interrupted; });
    if (!waiting.ended) {
        lock.unlock();
        engine.Pause(id); // the part and its record are on the disk, kept when the engine goes
        lock.lock();
        waiting.changed.wait(lock, [&] { return waiting.ended || waiting.paused; });
        if (!waiting.ended) {
            std::fprintf(err, "Veltrin: stopped%s\n", kept ? Kept(*waiting.paused).c_str() : "");
            return kInterrupted;
        }
    }
    const DownloadInfo info = *waiting.ended;
    lock.unlock();
    switch (info.state) {
    case DownloadState::Finished: {
        std::filesystem::path saved = info.file;
        if (job.keep != Keep::Video) {
            const auto stop = [&waiting] {
                std::lock_guard stopLock(waiting.mutex);
                return waiting.interrupted;
            };
            if (const int status = KeepSound(job.keep, info.file, sound, title, link, stop, err, saved);
                status != kFound) {
                return status;
            }
        }
        if (!Write(out, saved.string() + "\n")) {
            std::fprintf(err, "Veltrin: saved as %s, but that cannot be printed: %s\n", saved.c_str(), Reason(errno));
            return kOutputFailed;
        }
        return kFound;
    }
    case DownloadState::Failed:
        std::fprintf(err, "Veltrin: the download failed: %s%s\n", info.reason.c_str(), Kept(info).c_str());
        return kDownloadFailed;
    default: return kInterrupted;
    }
}

} // namespace

int ReportUsage(const UsageError& error, std::FILE* err) {
    std::fprintf(err, "Veltrin: %s\nTry \"Veltrin --help\" for more.\n", error.problem.c_str());
    return kUsage;
}

int Run(const Job& job, std::FILE* out, std::FILE* err) {
    // A reader that goes away (| head, | true) must not end the program half-way, least of all in
    // the middle of a download: writing to it fails instead, and that is answered.
    std::signal(SIGPIPE, SIG_IGN);
    switch (job.task) {
    case Task::Help: return Print(out, err, kUsageText, "the help");
    case Task::Version: return Print(out, err, "Veltrin " VELTRIN_VERSION "\n", "the version");
    case Task::Links: return Links(job.link, job.json, out, err);
    case Task::Download: return Download(job, out, err);
    case Task::Window: break;
    }
    return ReportUsage({"the window is no job of the command line"}, err);
}

} // namespace veltrin::cli
