#include "app/command_line.h"

#include "extract/file_name.h"
#include "extract/go_pipeline.h"
#include "extract/link.h"
#include "net/download_engine.h"
#include "net/http_request.h"
#include "net/mod_net.h"
#include "text/windows1252.h"
#include "version.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>
#include <variant>

#include <signal.h>
#include <unistd.h>

namespace veltrin::cli {

namespace {

constexpr std::string_view kUsageText =
    "Usage: Veltrin [LINK]\n"
    "       Veltrin --links [--json] LINK\n"
    "       Veltrin --download QUALITY LINK [--output PATH]\n"
    "       Veltrin --help | --version\n"
    "\n"
    "Without options, opens the window; with a LINK, runs it there (in the window already open,\n"
    "if there is one).\n"
    "\n"
    "  --links LINK   print the download links of a watch page, one per line: the quality,\n"
    "                 a tab, and the stream's address\n"
    "  --json         with --links, print them as one JSON array of {\"quality\", \"url\"}\n"
    "  --download QUALITY LINK\n"
    "                 save the stream of that quality (1080p, 720p, 480p, 360p, 240p, mobile)\n"
    "                 as \"<title> (<quality>).<ext>\" and print where it went\n"
    "  --output PATH  with --download, the folder (the current one unless given) or the file\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 links printed or stream saved, 1 no known quality (or not the one asked\n"
    "for) on the page, 2 the page could not be fetched or has no player parameters, 3 the\n"
    "download failed, 64 wrong usage, 74 the output could not be written, 130 interrupted.\n";

struct Request {
    bool help = false;
    bool version = false;
    bool links = false;
    bool json = false;
    std::optional<std::string> download; // the quality
    std::optional<std::string> output;
    std::vector<std::string> positional;
};

// Writes all of text; false when the output is gone.
bool Write(std::FILE* out, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

int Usage(std::FILE* err, const std::string& problem) {
    std::fprintf(err, "Veltrin: %s\n\n", problem.c_str());
    Write(err, kUsageText);
    return kUsage;
}

// A link as it may be shown in a message: cut short, without control characters or bytes that
// are not UTF-8.
std::string Shown(std::string_view link) {
    constexpr std::size_t kMost = 200;
    std::string shown;
    for (const char c : SanitizeUtf8(link.substr(0, kMost))) {
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    if (link.size() > kMost) {
        shown += "...";
    }
    return shown;
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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
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
    const auto* matches = &std::get<WatchPage>(fetched).matches;
    // A reader that has seen enough (| head -1) closes the pipe: that ends the output quietly.
    std::signal(SIGPIPE, SIG_IGN);
    if (!Write(out, Format(*matches, json)) || std::fflush(out) != 0) {
        if (errno == EPIPE) {
            return kFound;
        }
        std::fprintf(err, "Veltrin: cannot write the links: %s\n", std::strerror(errno));
        return kOutputFailed;
    }
    return kFound;
}

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

std::string Size(std::int64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
    }
    return text;
}

// "42%  12.0 MiB of 28.6 MiB  3.2 MiB/s  0:05 left", as far as it is known.
std::string Progress(const DownloadInfo& info) {
    std::string text;
    if (info.total > 0) {
        text +=
            std::to_string(info.received * 100 / info.total) + "%  " + Size(info.received) + " of " + Size(info.total);
    } else {
        text += Size(info.received);
    }
    if (info.bytesPerSecond > 0) {
        text += "  " + Size(static_cast<std::int64_t>(info.bytesPerSecond)) + "/s";
        if (info.total > 0) {
            const auto left = static_cast<long>(static_cast<double>(info.total - info.received) / info.bytesPerSecond);
            char eta[32];
            std::snprintf(eta, sizeof eta, "  %ld:%02ld left", left / 60, left % 60);
            text += eta;
        }
    }
    return text;
}

// Progress on standard error: a bar redrawn in place on a terminal, a line now and then elsewhere.
class ProgressReport {
public:
    explicit ProgressReport(std::FILE* err)
        : m_err(err), m_terminal(isatty(fileno(err)) == 1), m_lastLine(std::chrono::steady_clock::now()) {}

    void Show(const DownloadInfo& info) {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(m_mutex);
        if (info.state == DownloadState::Retrying) {
            std::fprintf(m_err, "%sVeltrin: %s; trying again (%d)\n", m_terminal ? "\r\033[K" : "", info.reason.c_str(),
                         info.attempt);
            return;
        }
        if (info.state != DownloadState::Downloading) {
            if (m_terminal && m_drawn) {
                std::fputs("\r\033[K", m_err);
            }
            return;
        }
        if (m_terminal) {
            constexpr int kWidth = 30;
            const int filled = info.total > 0 ? static_cast<int>(info.received * kWidth / info.total) : 0;
            std::fprintf(m_err, "\r\033[K[%s%s] %s", std::string(filled, '#').c_str(),
                         std::string(kWidth - filled, ' ').c_str(), Progress(info).c_str());
            m_drawn = true;
        } else if (now - m_lastLine >= std::chrono::seconds(5)) {
            std::fprintf(m_err, "Veltrin: %s\n", Progress(info).c_str());
            m_lastLine = now;
        }
        std::fflush(m_err);
    }

private:
    std::FILE* m_err;
    bool m_terminal;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_lastLine;
    std::mutex m_mutex;
};

// Where the stream goes: a folder gets the stream's own name, anything else is the file's name.
DownloadTarget TargetFor(const std::optional<std::string>& output, const std::string& title, const LinkMatch& match) {
    const std::optional<int> code = FormatCode(match.entry);
    std::error_code ignored;
    DownloadTarget target{std::filesystem::current_path(ignored), DownloadStem(title, match.quality->label),
                          ExtensionKnownFromCode(code) ? std::optional(StreamExtension(code)) : std::nullopt};
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

int Download(const std::string& quality, const std::string& link, const std::optional<std::string>& output,
             std::FILE* out, std::FILE* err) {
    const auto row = std::find_if(QualityTable.begin(), QualityTable.end(),
                                  [&](const QualityRow& r) { return EqualsIgnoringCase(r.label, quality); });
    if (row == QualityTable.end()) {
        return Usage(err, "no quality is called " + Shown(quality));
    }
    auto fetched = FetchWatchPage(link, err);
    if (const int* status = std::get_if<int>(&fetched)) {
        return *status;
    }
    const WatchPage& page = std::get<WatchPage>(fetched);
    const auto match =
        std::find_if(page.matches.begin(), page.matches.end(), [&](const LinkMatch& m) { return m.quality == &*row; });
    if (match == page.matches.end()) {
        std::fprintf(err, "Veltrin: the page has no %s stream\n", std::string(row->label).c_str());
        return kNoKnownQuality;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal closed

    ProgressReport report(err);
    DownloadEngine::Options options;
    options.userAgent = modNet::kUserAgent;
    DownloadEngine engine(options, [&report](const DownloadInfo& info) { report.Show(info); });
    const int id = engine.Add(RequestAddress(match->entry), TargetFor(output, VideoTitle(page.text), *match));
    for (;;) {
        const DownloadInfo info = *engine.Info(id);
        if (info.state == DownloadState::Finished) {
            std::fprintf(out, "%s\n", info.file.c_str());
            if (std::fflush(out) != 0) {
                std::fprintf(err, "Veltrin: saved as %s, but that cannot be printed: %s\n", info.file.c_str(),
                             std::strerror(errno));
                return kOutputFailed;
            }
            return kFound;
        }
        if (info.state == DownloadState::Failed) {
            std::fprintf(err, "Veltrin: the download failed: %s\n", info.reason.c_str());
            return kDownloadFailed;
        }
        if (info.state == DownloadState::Cancelled) {
            return kInterrupted;
        }
        if (g_interrupted) {
            engine.Cancel(id); // removes the partial file
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

bool IsCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg.starts_with("--") || arg == "-h") {
            return true;
        }
    }
    return false;
}

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    Request request;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !arg.starts_with("-") || arg == "-") {
            request.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            request.help = true;
        } else if (arg == "--version") {
            request.version = true;
        } else if (arg == "--links") {
            request.links = true;
        } else if (arg == "--json") {
            request.json = true;
        } else if (arg == "--download" || arg == "--output") {
            // An empty value names no quality and no file: it would save a file with no name.
            if (i + 1 == args.size() || args[i + 1].empty()) {
                return Usage(err, arg + " needs a value");
            }
            (arg == "--download" ? request.download : request.output) = args[++i];
        } else {
            return Usage(err, "unknown option " + Shown(arg));
        }
    }
    if (request.download) {
        if (!request.links && !request.json && request.positional.size() == 1 &&
            !TrimWhiteSpace(request.positional.front()).empty()) {
            return Download(*request.download, request.positional.front(), request.output, out, err);
        }
        return Usage(err, request.positional.size() == 1 ? "--download goes alone" : "--download takes one link");
    }
    if (request.output) {
        return Usage(err, "--output goes with --download");
    }
    if (request.help) {
        return Write(out, kUsageText) ? 0 : kOutputFailed;
    }
    if (request.version) {
        return Write(out, "Veltrin " VELTRIN_VERSION "\n") ? 0 : kOutputFailed;
    }
    if (!request.links) {
        return Usage(err, request.json ? "--json goes with --links" : "nothing to do");
    }
    if (request.positional.size() != 1) {
        return Usage(err, request.positional.empty() ? "--links needs a link" : "--links takes one link");
    }
    if (TrimWhiteSpace(request.positional.front()).empty()) {
        return Usage(err, "the link is blank");
    }
    return Links(request.positional.front(), request.json, out, err);
}

} // namespace veltrin::cli
