#include "cli/command_line.h"

#include "cli/list_download.h"
#include "cli/progress_line.h"
#include "cli/run_parts.h"
#include "cli/sound_job.h"
#include "core/file_name.h"
#include "core/go_pipeline.h"
#include "core/link.h"
#include "core/progress.h"
#include "core/windows1252.h"
#include "download/download_engine.h"
#include "download/stream_download.h"
#include "net/http_request.h"
#include "net/page_fetch.h"
#include "net/proxy.h"
#include "version.h"

#include <algorithm>
#include <atomic>
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

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace veltrin::cli {

namespace {

constexpr std::string_view kUsageText =
    "Usage: Veltrin [--hidden] [LINK]\n"
    "       Veltrin --links [--json] [--proxy URL] LINK\n"
    "       Veltrin --download QUALITY LINK [--audio[=mp3]] [--output PATH] [--no-continue]\n"
    "                          [--limit-rate RATE] [--connections N] [--proxy URL]\n"
    "       Veltrin --download QUALITY (LINK LINK... | --batch FILE) [--jobs N] [--json]\n"
    "                          [--output FOLDER] [--no-continue] [--limit-rate RATE]\n"
    "                          [--connections N] [--proxy URL]\n"
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
    "  --output PATH  with --download, the folder (the current one unless given) or the file.\n"
    "                 \"-\" (standard output), or anything there that is neither a folder nor a\n"
    "                 file (/dev/null, a pipe), takes the stream as it comes: no part, nothing\n"
    "                 continued, nothing made beside it; the progress goes to standard error\n"
    "                 and the path is printed as given\n"
    "  --no-continue  with --download, empty the part an earlier run of the same stream left\n"
    "                 (\"<name>.part\") and start afresh, rather than go on from it\n"
    "  --limit-rate RATE\n"
    "                 with --download, receive at most RATE bytes a second, all connections\n"
    "                 together: 500K, 2M (K and M are 1024 and 1024*1024); 0, the default, for\n"
    "                 no limit\n"
    "  --connections N\n"
    "                 with --download, open at most N connections to the server (1 to 8; 4\n"
    "                 unless given); more than one only for a long stream of a server that\n"
    "                 sends parts of it\n"
    "  --batch FILE   with --download, read the links from FILE, one a line (blank lines and\n"
    "                 lines starting with # skipped); - reads standard input as it comes\n"
    "  --jobs N       with a list, run at most N downloads at once (1 to 5; the window's\n"
    "                 \"Downloads at once\" unless given)\n"
    "  --json         with --download, print one JSON object a download as it ends: link,\n"
    "                 video, title, quality, file, state (finished, skipped, failed), error\n"
    "  --proxy URL    with --links or --download, reach the web through this proxy for this\n"
    "                 run: http://, https://, socks5:// (names looked up here) or socks5h://\n"
    "                 (names looked up by the proxy), then [USER[:PASSWORD]@]HOST:PORT; a\n"
    "                 password left out is asked for on the terminal. \"\" for none. Without\n"
    "                 it, the proxy chosen in the window's Preferences is used\n"
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
    "A list (two or more links, --batch or --json) downloads each video once, records it in the\n"
    "window's downloads list and skips a stream the list holds as finished whose file is still\n"
    "there; it prints the saved paths, then a summary on standard error. Its exit status: 0 all\n"
    "finished, 1 any failed (the others ran), 64 wrong usage, 66 the batch file cannot be read,\n"
    "74 the paths could not be written, 130 interrupted (the same command goes on from there).\n"
    "\n"
    "What the command line prints, its messages and its exit statuses are the same in every\n"
    "locale, in English, for scripts to read; only the window follows the desktop's language.\n";

} // namespace

const char* Reason(int error) {
    const char* reason = strerrordesc_np(error);
    return reason != nullptr ? reason : "unknown error";
}

bool Write(std::FILE* out, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

namespace {

// Prints text; a reader that has seen enough (| head -1) and closed the pipe ends it quietly.
int Print(std::FILE* out, std::FILE* err, std::string_view text, const char* what) {
    if (Write(out, text) || errno == EPIPE) {
        return kFound;
    }
    std::fprintf(err, "Veltrin: cannot write %s: %s\n", what, Reason(errno));
    return kOutputFailed;
}

} // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : SanitizeUtf8(text)) { // a title or a list's line may be any bytes
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

namespace {

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

} // namespace

std::variant<WatchPage, PageProblem> ReadWatchPage(const std::string& link) {
    const LinkToFetch checked = CheckLink(link);
    if (checked.kind == LinkToFetch::Kind::Blank) {
        return PageProblem{kUsage, "the link is blank"};
    }
    if (checked.kind == LinkToFetch::Kind::Refused) {
        return PageProblem{kNoPage, "cannot fetch " + Shown(link) + ": " + std::string(kOnlyHttpLinks)};
    }
    WatchPage page{checked.address, {}, {}};
    long status = 0;
    try {
        const auto request = CreateConfiguredRequest();
        page.fetched = FetchGo(page.address,
                               [&](const std::string& address) {
                                   FetchedPage fetched = TryFetchPage(*request, address);
                                   status = request->Status();
                                   return fetched;
                               },
                               {});
    } catch (const HttpRequestError& e) { // no request object could be made
        page.fetched.failure = e.what();
    }
    const std::string shown = Shown(page.address);
    switch (page.fetched.kind) {
    case GoFetched::Kind::NotFetched:
        return PageProblem{kNoPage, "cannot fetch " + shown + ": " + page.fetched.failure};
    case GoFetched::Kind::NoParameters:
        return PageProblem{kNoPage, "the page at " + shown + " has no player parameters (HTTP status " +
                                        std::to_string(status) + ")"};
    case GoFetched::Kind::Found: break;
    }
    page.matches = ScanStreamEntries(page.fetched.block);
    if (page.matches.empty()) {
        return PageProblem{kNoKnownQuality, "the page offers none of the known qualities"};
    }
    return page;
}

std::optional<LinkMatch> ChooseStream(const std::vector<LinkMatch>& matches, const QualityRow* quality, Keep keep) {
    if (quality != nullptr) {
        const auto match =
            std::find_if(matches.begin(), matches.end(), [&](const LinkMatch& m) { return m.quality == quality; });
        return match != matches.end() ? std::optional(*match) : std::nullopt;
    }
    const auto best = keep == Keep::Video ? ChooseQuality(matches, nullptr) : ChooseSound(matches);
    return best ? std::optional(matches[*best]) : std::nullopt;
}

namespace {

// The watch page and its stream entries, or the exit status after saying why there are none.
std::variant<WatchPage, int> FetchWatchPage(const std::string& link, std::FILE* err) {
    auto read = ReadWatchPage(link);
    if (const auto* problem = std::get_if<PageProblem>(&read)) {
        if (problem->status == kUsage) {
            return ReportUsage({problem->message}, err);
        }
        std::fprintf(err, "Veltrin: %s\n", problem->message.c_str());
        return problem->status;
    }
    return std::get<WatchPage>(std::move(read));
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

} // namespace

namespace fs = std::filesystem;

DownloadTarget TargetFor(const std::optional<std::string>& output, DownloadTarget target) {
    std::error_code ignored;
    const fs::path path = fs::absolute(output.value_or("."), ignored).lexically_normal();
    if (!output || fs::is_directory(path, ignored) || output->ends_with('/') || !path.has_filename()) {
        target.folder = path.has_filename() ? path : path.parent_path();
        return target;
    }
    target.folder = path.parent_path();
    target.stem = path.stem().string();
    target.extension = path.has_extension() ? path.extension().string().substr(1) : std::string();
    return target;
}

bool TakesTheStream(const std::string& output) {
    std::error_code ignored;
    const fs::file_status status = fs::status(output, ignored);
    const std::string normal = fs::absolute(output, ignored).lexically_normal().string();
    const bool descriptorLink = fs::is_symlink(fs::symlink_status(output, ignored)) &&
                                (normal.starts_with("/dev/") || normal.starts_with("/proc/"));
    return output == "-" ||
           (fs::exists(status) && !fs::is_directory(status) && (!fs::is_regular_file(status) || descriptorLink));
}

namespace {

// "3.1 MB kept in "Clip.mp4.part"; the same command goes on from there", or nothing.
std::string Kept(const DownloadInfo& info) {
    if (info.received <= 0 || info.file.empty()) {
        return {};
    }
    return "; " + ByteSize(info.received) + (info.total >= 0 ? " of " + ByteSize(info.total) : std::string()) +
           " kept in \"" + PartPathOf(info.file).filename().string() + "\"; the same command goes on from there";
}

// The stream written to an output that takes it as it comes: nothing kept, nothing continued.
int StreamOut(const std::string& output, const StreamDownload& download, std::int64_t limitRate, std::FILE* out,
              std::FILE* err) {
    // Opened before the signals are taken: a pipe nobody reads yet holds the open, and Ctrl+C
    // must still end it then.
    struct stat st {};
    const bool toStandardOutput = output == "-";
    const int fd =
        toStandardOutput
            ? ::dup(fileno(out))
            : ::open(output.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY |
                                         (::stat(output.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? O_APPEND : 0));
    if (fd < 0) {
        std::fprintf(err, "Veltrin: cannot write to %s: %s\n", output.c_str(), Reason(errno));
        return kOutputFailed;
    }
    struct stat written {};
    struct stat printed {};
    // The path goes to standard output unless the stream went there.
    const bool printable = !toStandardOutput && !(::fstat(fd, &written) == 0 && ::fstat(fileno(out), &printed) == 0 &&
                                                  written.st_dev == printed.st_dev && written.st_ino == printed.st_ino);
    Waiting waiting;
    StreamEnd end;
    {
        const SignalWatch watch(waiting);
        ProgressReport report(err);
        DownloadEngine::Options options;
        options.userAgent = kUserAgent;
        options.speedLimit = limitRate;
        end = StreamInto(fd, download, options, waiting.stop, [&](const DownloadInfo& info) { report.Show(info); });
    }
    ::close(fd);
    switch (end.info.state) {
    case DownloadState::Finished:
        if (printable && !Write(out, output + "\n")) {
            std::fprintf(err, "Veltrin: saved to %s, but that cannot be printed: %s\n", output.c_str(), Reason(errno));
            return kOutputFailed;
        }
        return kFound;
    case DownloadState::Failed:
        if (end.outputError != 0) {
            std::fprintf(err, "Veltrin: cannot write to %s: %s\n", output.c_str(), Reason(end.outputError));
            return kOutputFailed;
        }
        std::fprintf(err, "Veltrin: the download failed: %s\n", end.info.reason.c_str());
        return kDownloadFailed;
    default: std::fprintf(err, "Veltrin: stopped\n"); return kInterrupted;
    }
}

int Download(const Job& job, std::FILE* out, std::FILE* err) {
    auto fetched = FetchWatchPage(job.link, err);
    if (const int* status = std::get_if<int>(&fetched)) {
        return *status;
    }
    const WatchPage& page = std::get<WatchPage>(fetched);
    // "best": the best stream on the page, or for the sound the stream with the best sound.
    const auto match = ChooseStream(page.matches, job.quality, job.keep);
    if (!match) {
        std::fprintf(err, "Veltrin: the page has no %s stream\n",
                     job.quality != nullptr ? std::string(job.quality->label).c_str() : "best");
        return kNoKnownQuality;
    }
    const PageStream source{page.address, page.fetched.title, page.fetched.videoId, *match};
    StreamDownload download = PlanStreamDownload(source, {});
    if (job.output && TakesTheStream(*job.output)) {
        if (job.keep != Keep::Video) {
            // The sound is copied out of the whole video, which a stream never is here.
            std::fprintf(err, "Veltrin: the sound alone needs a file to go to, not %s\n", job.output->c_str());
            return kUsage;
        }
        return StreamOut(*job.output, download, job.limitRate, out, err);
    }
    const DownloadTarget plan = download.target;
    download.target = TargetFor(job.output, download.target);
    download.continuation.afresh = job.afresh;

    Waiting waiting;
    const SignalWatch watch(waiting);
    KeptList list(err); // the window's history shows it; a second run saves another copy all the same
    ProgressReport report(err);
    DownloadEngine::Options options;
    options.userAgent = kUserAgent;
    options.connections = job.connections;
    options.speedLimit = job.limitRate;
    DownloadEngine engine(options, [&](const DownloadInfo& info) {
        report.Show(info);
        if (IsEnded(info.state) || info.state == DownloadState::Paused) {
            std::lock_guard lock(waiting.mutex);
            (IsEnded(info.state) ? waiting.ended : waiting.paused) = info;
            waiting.changed.notify_all();
        }
    });
    const std::string& title = page.fetched.title;
    SoundPlace sound{download.target.folder, DownloadStem(title, "")};
    if (job.keep != Keep::Video) { // a file named by --output is the sound's; the video is as ever
        sound.stem = download.target.stem != plan.stem ? download.target.stem : sound.stem;
        download.target.stem = plan.stem;
        download.target.extension = plan.extension;
        download.continuation.keepWhole = true; // the video goes once its sound is whole
    }
    const bool kept = download.target.extension.has_value(); // else the engine cannot find the part again
    const KeepForm form = job.keep == Keep::Video   ? KeepForm::Video
                          : job.keep == Keep::Sound ? KeepForm::Sound
                                                    : KeepForm::Mp3;
    StoredDownload row =
        list.Start(source, download, form, form == KeepForm::Video ? "" : (sound.folder / sound.stem).string());
    const int id = engine.Add(download.address, download.target, std::move(download.continuation));
    std::unique_lock lock(waiting.mutex);
    waiting.changed.wait(lock, [&] { return waiting.ended || waiting.interrupted; });
    if (!waiting.ended) {
        lock.unlock();
        engine.Pause(id); // the part and its record are on the disk, kept when the engine goes
        lock.lock();
        waiting.changed.wait(lock, [&] { return waiting.ended || waiting.paused; });
        if (!waiting.ended) {
            list.Follow(row, *waiting.paused);
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
            // The row stays running while the sound is kept, as the window's does.
            const int status = KeepSound(job.keep, info.file, sound, title, job.link, stop, err, saved);
            DownloadInfo ended = info;
            if (status == kFound) {
                std::error_code ignored;
                ended.file = saved;
                ended.received = ended.total = static_cast<std::int64_t>(std::filesystem::file_size(saved, ignored));
                row.sound = saved.string();
            } else if (status != kInterrupted) {
                ended.state = DownloadState::Failed;
                ended.reason = "the sound was not kept";
            }
            if (status != kInterrupted) {
                list.Follow(row, ended);
            }
            if (status != kFound) {
                return status;
            }
        } else {
            list.Follow(row, info);
        }
        if (!Write(out, saved.string() + "\n")) {
            std::fprintf(err, "Veltrin: saved as %s, but that cannot be printed: %s\n", saved.c_str(), Reason(errno));
            return kOutputFailed;
        }
        return kFound;
    }
    case DownloadState::Failed:
        list.Follow(row, info);
        std::fprintf(err, "Veltrin: the download failed: %s%s\n", info.reason.c_str(), Kept(info).c_str());
        return kDownloadFailed;
    default: return kInterrupted;
    }
}

} // namespace

namespace {

termios echoing{}; // the terminal as it was before the password was asked for

void RestoreEcho(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The proxy's password, typed on the terminal without being shown; nothing without a terminal.
std::optional<std::string> AskPassword(const ProxyChoice& proxy, std::FILE* err) {
    if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &echoing) != 0) {
        return std::nullopt;
    }
    std::fprintf(err, "Veltrin: the password of %s at the proxy %s: ", Shown(proxy.user).c_str(),
                 ProxyAddress(proxy).c_str());
    std::fflush(err);
    termios hidden = echoing;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // Ctrl+C while asked leaves the terminal echoing as before.
    const auto interrupted = std::signal(SIGINT, RestoreEcho);
    const auto terminated = std::signal(SIGTERM, RestoreEcho);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    std::string password;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        password += static_cast<char>(c);
    }
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    std::signal(SIGINT, interrupted);
    std::signal(SIGTERM, terminated);
    std::fputc('\n', err);
    return password;
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
    if (job.proxy && (job.task == Task::Links || job.task == Task::Download)) {
        ProxyChoice proxy = *job.proxy;
        if (proxy.mode == ProxyMode::Manual && !proxy.user.empty() && proxy.password.empty()) {
            const auto password = AskPassword(proxy, err);
            if (!password) {
                return ReportUsage({"the proxy's password for " + Shown(proxy.user) +
                                    " is not given, and there is no terminal to ask for it on"},
                                   err);
            }
            proxy.password = *password;
        }
        SetProxy(proxy);
    }
    switch (job.task) {
    case Task::Help: return Print(out, err, kUsageText, "the help");
    case Task::Version: return Print(out, err, "Veltrin " VELTRIN_VERSION "\n", "the version");
    case Task::Links: return Links(job.link, job.json, out, err);
    case Task::Download: return job.List() ? DownloadList(job, out, err) : Download(job, out, err);
    case Task::Window: break;
    }
    return ReportUsage({"the window is no job of the command line"}, err);
}

} // namespace veltrin::cli
