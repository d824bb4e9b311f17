#include "cli/arguments.h"

#include "core/link.h"
#include "core/windows1252.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <iterator>

namespace veltrin {

namespace {

// Qt's options that take the next argument as their value.
// clang-format off
constexpr std::string_view kQtOptionsWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-style", "-stylesheet", "-session", "-display",
    "-name", "-title", "-geometry", "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-font", "-qmljsdebugger"};
// clang-format on

// "--links" takes a link only joined to it ("--links=LINK"): "--links --json LINK" keeps its meaning.
// "--proxy ''" is a value: no proxy.
enum class Value { None, Required, OnlyAttached, MayBeEmpty };

struct Option {
    std::string_view name;
    Value value;
};

constexpr Option kOptions[] = {
    {"help", Value::None},           {"version", Value::None},         {"links", Value::OnlyAttached},
    {"json", Value::None},           {"download", Value::Required},    {"output", Value::Required},
    {"no-continue", Value::None},    {"hidden", Value::None},          {"audio", Value::OnlyAttached},
    {"limit-rate", Value::Required}, {"connections", Value::Required}, {"batch", Value::Required},
    {"jobs", Value::Required},       {"proxy", Value::MayBeEmpty}};

// The options and the other arguments, as given.
struct Given {
    std::vector<std::string> positional;
    std::optional<std::string> download; // the quality
    std::optional<std::string> output;
    bool help = false;
    bool version = false;
    bool links = false;
    bool json = false;
    bool noContinue = false;
    bool hidden = false;
    std::optional<std::string> limitRate;
    std::optional<std::string> connections;
    std::optional<std::string> audio; // "" for --audio alone
    std::optional<std::string> batch;
    std::optional<std::string> jobs;
    std::optional<std::string> proxy;
};

std::variant<Job, UsageError> Decide(Given given, Job job) {
    const bool commandLine = given.help || given.version || given.links || given.json || given.download ||
                             given.output || given.noContinue || given.audio || given.limitRate || given.connections ||
                             given.batch || given.jobs || given.proxy;
    if (commandLine && !job.qtArguments.empty()) {
        return UsageError{"unknown option " + Shown(job.qtArguments.front())};
    }
    if (commandLine && given.hidden) {
        return UsageError{"--hidden is for the window alone"};
    }
    job.hidden = given.hidden;
    if (given.proxy) {
        auto proxy = ParseProxyAddress(*given.proxy);
        if (const auto* problem = std::get_if<std::string>(&proxy)) {
            return UsageError{*problem};
        }
        job.proxy = std::get<ProxyChoice>(proxy);
    }
    const auto oneLink = [&](std::string_view option) -> std::optional<UsageError> {
        if (given.positional.size() != 1) {
            return UsageError{std::string(option) + (given.positional.empty() ? " needs a link" : " takes one link")};
        }
        if (TrimWhiteSpace(given.positional.front()).empty()) {
            return UsageError{"the link is blank"};
        }
        job.link = given.positional.front();
        return std::nullopt;
    };
    if (given.download) {
        if (given.links) {
            return UsageError{"--download goes alone"};
        }
        const auto row = std::find_if(QualityTable.begin(), QualityTable.end(), [&](const QualityRow& r) {
            return EqualsIgnoringCase(r.label, *given.download);
        });
        const bool best = EqualsIgnoringCase(*given.download, "best");
        if (row == QualityTable.end() && !best) {
            return UsageError{"no quality is called " + Shown(*given.download)};
        }
        job.task = Task::Download;
        job.json = given.json;
        job.batch = given.batch;
        if (given.batch && !given.positional.empty()) {
            return UsageError{"--batch takes the links from its file alone"};
        }
        if (given.batch || given.positional.size() > 1 || (given.json && !given.positional.empty())) {
            job.links = given.positional;
        } else if (auto error = oneLink("--download")) {
            return *error;
        }
        if (given.jobs) {
            const auto& text = *given.jobs;
            if (text.size() != 1 || text[0] < '0' + kFewestJobs || text[0] > '0' + kMostJobs) {
                return UsageError{"--jobs takes a number from 1 to 5, not " + Shown(text)};
            }
            job.jobs = text[0] - '0';
        }
        if (job.List() && given.audio) {
            return UsageError{"--audio takes one link"};
        }
        if (given.audio && !given.audio->empty() && !EqualsIgnoringCase(*given.audio, "mp3")) {
            return UsageError{"--audio takes no value but mp3"};
        }
        job.quality = best ? nullptr : &*row;
        job.keep = !given.audio ? Keep::Video : given.audio->empty() ? Keep::Sound : Keep::Mp3;
        job.output = given.output;
        job.afresh = given.noContinue;
        if (given.limitRate) {
            const auto rate = ParseRate(*given.limitRate);
            if (!rate) {
                return UsageError{"--limit-rate takes bytes a second, such as 500K or 2M (0: no limit), not " +
                                  Shown(*given.limitRate)};
            }
            job.limitRate = *rate;
        }
        if (given.connections) {
            const auto& text = *given.connections;
            if (text.size() != 1 || text[0] < '1' || text[0] > '8') {
                return UsageError{"--connections takes a number from 1 to 8, not " + Shown(text)};
            }
            job.connections = text[0] - '0';
        }
        return job;
    }
    for (const auto& [option, present] : {std::pair{"--output", given.output.has_value()},
                                          {"--no-continue", given.noContinue},
                                          {"--audio", given.audio.has_value()},
                                          {"--limit-rate", given.limitRate.has_value()},
                                          {"--connections", given.connections.has_value()},
                                          {"--batch", given.batch.has_value()},
                                          {"--jobs", given.jobs.has_value()}}) {
        if (present) {
            return UsageError{std::string(option) + " goes with --download"};
        }
    }
    if (given.proxy && !given.links) {
        return UsageError{"--proxy goes with --links or --download"};
    }
    if (given.help || given.version) {
        job.task = given.help ? Task::Help : Task::Version;
        return job;
    }
    if (given.json && !given.links) {
        return UsageError{"--json goes with --links or --download"};
    }
    if (given.links) {
        job.task = Task::Links;
        job.json = given.json;
        if (auto error = oneLink("--links")) {
            return *error;
        }
        return job;
    }
    if (given.positional.size() > 1) {
        return UsageError{"give one link at the most"};
    }
    if (!given.positional.empty()) {
        if (auto error = oneLink("")) {
            return *error;
        }
    }
    return job;
}

} // namespace

std::optional<std::int64_t> ParseRate(std::string_view text) {
    std::int64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k' || text.back() == 'M' || text.back() == 'm')) {
        unit = text.back() == 'K' || text.back() == 'k' ? 1024 : 1024 * 1024;
        text.remove_suffix(1);
    }
    std::int64_t value = 0;
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > INT64_MAX / unit) {
        return std::nullopt;
    }
    return value * unit;
}

std::variant<Job, UsageError> ParseArguments(const std::vector<std::string>& args) {
    Given given;
    Job job;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
            given.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            given.help = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            job.qtArguments.push_back(arg);
            if (std::find(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue), arg) !=
                    std::end(kQtOptionsWithValue) &&
                i + 1 < args.size()) {
                job.qtArguments.push_back(args[++i]);
            }
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(2, equals - 2);
        const auto option =
            std::find_if(std::begin(kOptions), std::end(kOptions), [&](const Option& o) { return o.name == name; });
        if (option == std::end(kOptions)) {
            return UsageError{"unknown option --" + Shown(name)};
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            if (option->value == Value::None) {
                return UsageError{"--" + std::string(name) + " takes no value"};
            }
            value = arg.substr(equals + 1);
        } else if ((option->value == Value::Required || option->value == Value::MayBeEmpty) && i + 1 < args.size()) {
            value = args[++i];
        }
        // An empty value names no quality and no file: it would save a file without a name.
        if (option->value == Value::Required && (!value || value->empty())) {
            return UsageError{"--" + std::string(name) + " needs a value"};
        }
        if (name == "help") {
            given.help = true;
        } else if (name == "version") {
            given.version = true;
        } else if (name == "json") {
            given.json = true;
        } else if (name == "no-continue") {
            given.noContinue = true;
        } else if (name == "hidden") {
            given.hidden = true;
        } else if (name == "audio") {
            given.audio = value.value_or("");
        } else if (name == "links") {
            given.links = true;
            if (value) {
                given.positional.push_back(*value);
            }
        } else if (name == "limit-rate") {
            given.limitRate = value;
        } else if (name == "connections") {
            given.connections = value;
        } else if (name == "batch") {
            given.batch = value;
        } else if (name == "jobs") {
            given.jobs = value;
        } else if (name == "proxy") {
            if (!value) {
                return UsageError{"--proxy needs a value (\"\" for none)"};
            }
            given.proxy = value;
        } else {
            (name == "download" ? given.download : given.output) = value;
        }
    }
    return Decide(std::move(given), std::move(job));
}

} // namespace veltrin
