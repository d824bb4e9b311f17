#pragma once

#include "core/proxy_choice.h"
#include "core/stream_entries.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrin {

enum class Task { Window, Links, Download, Help, Version };

// What of a download is kept: the video, or its sound alone, as it is or made into MP3.
enum class Keep { Video, Sound, Mp3 };

// What the program's arguments ask for.
struct Job {
    Task task = Task::Window;
    std::string link;                     // Window: empty for none; Links, Download: never blank
    bool hidden = false;                  // Window: starts behind the notification icon
    bool json = false;                    // Links, Download: JSON rather than lines
    const QualityRow* quality = nullptr;  // Download: nullptr for the best on the page ("best")
    Keep keep = Keep::Video;              // Download
    std::optional<std::string> output;    // Download: the folder or file, as given
    bool afresh = false;                  // Download: a part left by an earlier run is not continued
    std::int64_t limitRate = 0;           // Download: bytes a second at most; 0: no limit
    int connections = 4;                  // Download: connections to the server at most (1 to 8)
    std::optional<ProxyChoice> proxy;     // Links, Download: --proxy for this run; none: the user's choice
    std::vector<std::string> qtArguments; // Window: Qt's own options, with their values, in order
    // Download of a list: two or more links (then link is empty), a batch file, or --json.
    std::vector<std::string> links;   // the links given, in order
    std::optional<std::string> batch; // a file of links, one a line; "-" for standard input
    int jobs = 0;                     // downloads at once, 1 to kMostJobs; 0: the window's setting
    bool List() const { return task == Task::Download && (!links.empty() || batch || json); }
};

// The bounds of --jobs, which are those of the window's "downloads at once".
inline constexpr int kFewestJobs = 1;
inline constexpr int kMostJobs = 5;

// Wrong usage, in the program's own words: "unknown option --linx".
struct UsageError {
    std::string problem;
};

// Reads the arguments (without the program's name) as GNU tools do: "--output PATH" or
// "--output=PATH", "--links=LINK" too, "--" ends the options, and a long option is spelt out in
// full, never abbreviated. Single-dash options other than "-h" are Qt's, for the window (which
// the command line's options then refuse); "-platform" and the like take the next argument.
std::variant<Job, UsageError> ParseArguments(const std::vector<std::string>& args);

// A rate in bytes a second: digits with K or M after them (1024 and 1024 times that), as curl
// reads them; nothing for anything else, or more than 64 bits hold.
std::optional<std::int64_t> ParseRate(std::string_view text);

} // namespace veltrin
