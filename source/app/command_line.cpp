#include "app/command_line.h"

#include "extract/go_pipeline.h"
#include "extract/link.h"
#include "net/http_request.h"
#include "net/mod_net.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>

namespace veltrin::cli {

namespace {

constexpr std::string_view kUsageText =
    "Usage: Veltrin [LINK]\n"
    "       Veltrin --links [--json] LINK\n"
    "       Veltrin --help | --version\n"
    "\n"
    "Without options, opens the window; with a LINK, runs it there (in the window already open,\n"
    "if there is one).\n"
    "\n"
    "  --links LINK   print the download links of a watch page, one per line: the quality,\n"
    "                 a tab, and the stream's address\n"
    "  --json         with --links, print them as one JSON array of {\"quality\", \"url\"}\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 links printed, 1 no known quality on the page, 2 the page could not be\n"
    "fetched or has no player parameters, 64 wrong usage.\n";

struct Request {
    bool help = false;
    bool version = false;
    bool links = false;
    bool json = false;
    std::vector<std::string> positional;
};

// Writes all of text; false when the output is gone.
bool Write(std::FILE* out, std::string_view text) { return std::fwrite(text.data(), 1, text.size(), out) == text.size(); }

int Usage(std::FILE* err, const std::string& problem) {
    std::fprintf(err, "Veltrin: %s\n\n", problem.c_str());
    Write(err, kUsageText);
    return kUsage;
}

// A link as it may be shown in a message: cut short, without control characters.
std::string Shown(std::string_view link) {
    constexpr std::size_t kMost = 200;
    std::string shown;
    for (const char c : link.substr(0, kMost)) {
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
    link = modNet::TrimLink(link);
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

int Links(const std::string& link, bool json, std::FILE* out, std::FILE* err) {
    // The window would put "http://" in front of "file:///etc/passwd" and look for a host named
    // "file"; a script is better told at once.
    if (const std::string_view scheme = SchemeOf(link);
        !scheme.empty() && !EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) {
        std::fprintf(err, "Veltrin: cannot fetch %s: only http and https links can be fetched\n", Shown(link).c_str());
        return kNoPage;
    }
    const std::string normalised = NormaliseLink(link);
    std::string page;
    long status = 0;
    try {
        const auto request = modNet::CreateConfiguredRequest();
        page = modNet::FetchPage(*request, normalised);
        status = request->Status();
    } catch (const HttpRequestError& e) {
        std::fprintf(err, "Veltrin: cannot fetch %s: %s\n", Shown(normalised).c_str(), e.what());
        return kNoPage;
    }
    const auto matches = ExtractStreamEntries(page);
    if (!matches) {
        std::fprintf(err, "Veltrin: the page at %s has no player parameters (HTTP status %ld)\n",
                     Shown(normalised).c_str(), status);
        return kNoPage;
    }
    if (matches->empty()) {
        std::fprintf(err, "Veltrin: the page offers none of the known qualities\n");
        return kNoKnownQuality;
    }
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
    for (const std::string& arg : args) {
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
        } else {
            return Usage(err, "unknown option " + Shown(arg));
        }
    }
    if (request.help) {
        return Write(out, kUsageText) ? 0 : kOutputFailed;
    }
    if (request.version) {
        return Write(out, "Veltrin 1.00\n") ? 0 : kOutputFailed;
    }
    if (!request.links) {
        return Usage(err, request.json ? "--json goes with --links" : "nothing to do");
    }
    if (request.positional.size() != 1) {
        return Usage(err, request.positional.empty() ? "--links needs a link" : "--links takes one link");
    }
    if (modNet::TrimLink(request.positional.front()).empty()) {
        return Usage(err, "the link is blank");
    }
    return Links(request.positional.front(), request.json, out, err);
}

} // namespace veltrin::cli
