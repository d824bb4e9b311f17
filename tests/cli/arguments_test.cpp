#include "cli/arguments.h"
#include "cli/progress_line.h"
#include "cli/run_parts.h"
#include "core/progress.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

std::string Describe(const std::variant<Job, UsageError>& parsed) {
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        return "error: " + error->problem;
    }
    const Job& job = std::get<Job>(parsed);
    static constexpr const char* kTasks[] = {"window", "links", "download", "help", "version"};
    std::string text = kTasks[static_cast<int>(job.task)];
    text += job.json ? " json" : "";
    text += job.hidden ? " hidden" : "";
    text += job.quality ? " " + std::string(job.quality->label) : job.task == Task::Download ? " best" : "";
    text += job.keep == Keep::Sound ? " sound" : job.keep == Keep::Mp3 ? " mp3" : "";
    text += job.output ? " output=" + *job.output : "";
    text += job.afresh ? " afresh" : "";
    text += job.limitRate ? " limit=" + std::to_string(job.limitRate) : "";
    text += job.connections != 4 ? " connections=" + std::to_string(job.connections) : "";
    text += job.proxy ? " proxy=" + (ProxyAddress(*job.proxy) + " " + job.proxy->user) : "";
    for (const std::string& argument : job.qtArguments) {
        text += " qt=" + argument;
    }
    text += job.batch ? " batch=" + *job.batch : "";
    text += job.jobs > 0 ? " jobs=" + std::to_string(job.jobs) : "";
    for (const std::string& link : job.links) {
        text += " link=" + link;
    }
    return text + (job.link.empty() ? "" : " link=" + job.link);
}

TEST(Arguments, AreReadAsGnuToolsReadThemAndQtKeepsItsOwn) {
    const std::string rate = "error: --limit-rate takes bytes a second, such as 500K or 2M (0: no limit), not ";
    const struct {
        std::vector<std::string> args;
        std::string job;
    } cases[] = {
        {{}, "window"},
        {{"L"}, "window link=L"},
        {{"-platform", "offscreen", "-reverse", "-session", "s1", "L"},
         "window qt=-platform qt=offscreen qt=-reverse qt=-session qt=s1 link=L"},
        {{"--", "--links"}, "window link=--links"},
        {{"--hidden", "L"}, "window hidden link=L"},
        {{"--hidden", "--links", "L"}, "error: --hidden is for the window alone"},
        {{"L", "M"}, "error: give one link at the most"},
        {{" \t"}, "error: the link is blank"},
        {{"--links", "L"}, "links link=L"},
        {{"--links=L"}, "links link=L"},
        {{"L", "--json", "--links"}, "links json link=L"},
        {{"--links", "--", "-L"}, "links link=-L"},
        {{"--links=L", "M"}, "error: --links takes one link"},
        {{"--links"}, "error: --links needs a link"},
        {{"--link", "L"}, "error: unknown option --link"}, // never abbreviated
        {{"--linx=3", "L"}, "error: unknown option --linx"},
        {{"--\x01"}, "error: unknown option --?"},
        {{"--links", "-platform", "x", "L"}, "error: unknown option -platform"},
        {{"--json", "L"}, "error: --json goes with --links or --download"},
        {{"--json=yes", "--links", "L"}, "error: --json takes no value"},
        {{"--download", "720p", "L"}, "download 720P link=L"},
        {{"--download=MOBILE", "--output=a b/", "L"}, "download Mobile output=a b/ link=L"},
        {{"--output", "x.mp4", "L", "--download", "1080P"}, "download 1080P output=x.mp4 link=L"},
        {{"--download", "4k", "L"}, "error: no quality is called 4k"},
        {{"--download", "720p", "--links", "L"}, "error: --download goes alone"},
        {{"--download", "720p"}, "error: --download needs a link"},
        {{"--download"}, "error: --download needs a value"},
        {{"--download", "720p", "L", "--output", ""}, "error: --output needs a value"},
        {{"--output", "x", "L"}, "error: --output goes with --download"},
        {{"--no-continue", "--download", "720p", "L"}, "download 720P afresh link=L"},
        {{"--no-continue", "L"}, "error: --no-continue goes with --download"},
        {{"--download", "720p", "--limit-rate", "2M", "--connections=8", "L"},
         "download 720P limit=2097152 connections=8 link=L"},
        {{"--download", "720p", "--limit-rate=1K", "--connections", "1", "L"},
         "download 720P limit=1024 connections=1 link=L"},
        {{"--download", "720p", "--limit-rate", "0", "L"}, "download 720P link=L"},
        {{"--download", "720p", "--limit-rate", "-5M", "L"}, rate + "-5M"},
        {{"--download", "720p", "--limit-rate", "abc", "L"}, rate + "abc"},
        {{"--download", "720p", "--limit-rate", "9223372036854775808", "L"}, rate + "9223372036854775808"},
        {{"--download", "720p", "--limit-rate", "9007199254740992K", "L"}, rate + "9007199254740992K"},
        {{"--download", "720p", "--connections", "9", "L"}, "error: --connections takes a number from 1 to 8, not 9"},
        {{"--limit-rate", "2M", "L"}, "error: --limit-rate goes with --download"},
        {{"--connections", "2", "L"}, "error: --connections goes with --download"},
        {{"--links", "L", "--proxy", ""}, "links proxy=  link=L"},
        {{"--download", "best", "--proxy=socks5h://me@[::1]:1080", "L"},
         "download best proxy=socks5h://[::1]:1080 me link=L"},
        {{"--links", "L", "--proxy"}, "error: --proxy needs a value (\"\" for none)"},
        {{"--proxy", "http://h:1", "L"}, "error: --proxy goes with --links or --download"},
        {{"--download", "Best", "L", "--audio"}, "download best sound link=L"},
        {{"--download=720p", "--audio=MP3", "L"}, "download 720P mp3 link=L"},
        {{"--download", "720p", "--audio=ogg", "L"}, "error: --audio takes no value but mp3"},
        {{"--audio", "L"}, "error: --audio goes with --download"},
        {{"--download", "720p", "L", "M"}, "download 720P link=L link=M"},
        {{"--json", "--download", "best", "--batch", "-", "--jobs=2"}, "download json best batch=- jobs=2"},
        {{"--json", "--download", "best", "L"}, "download json best link=L"},
        {{"--batch", "f"}, "error: --batch goes with --download"},
        {{"--download", "720p", "--batch", "f", "L"}, "error: --batch takes the links from its file alone"},
        {{"--download", "720p", "--jobs", "6", "L", "M"}, "error: --jobs takes a number from 1 to 5, not 6"},
        {{"--download", "720p", "--audio", "L", "M"}, "error: --audio takes one link"},
        {{"-h", "L"}, "help"},
        {{"--version"}, "version"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(ParseArguments(c.args)), c.job) << ::testing::PrintToString(c.args);
    }
}

TEST(Progress, SaysSizesInDecimalUnitsAndTheTimeLeft) {
    const struct {
        std::int64_t received;
        std::int64_t total;
        double bytesPerSecond;
        const char* text;
    } cases[] = {
        {1, -1, 0, "1 byte"},
        {999, 1000, 0, "999 bytes of 1.0 kB"},
        {5'000'000, -1, 2e6, "5.0 MB, 2.0 MB/s"},
        {999'960, -1, 0, "1.0 MB"},
        {1'234'567'890, 2'000'000'000, 3.2e6, "1.2 GB of 2.0 GB, 3.2 MB/s, 3:59 left"},
        {0, 7'200'000'000, 1e6, "0 bytes of 7.2 GB, 1.0 MB/s, 2:00:00 left"},
        {600, 500, 100, "600 bytes of 500 bytes, 100 bytes/s, 0:00 left"},
        {0, 1'000'000'000, 0.001, "0 bytes of 1.0 GB, 0 bytes/s"},
        {0, 8'553'600, 1, "0 bytes of 8.6 MB, 1 byte/s, 2376:00:00 left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressText(c.received, c.total, c.bytesPerSecond), c.text);
    }
}

// A title or a list's line of any bytes still makes valid JSON.
TEST(Json, StringsAreEscapedUtf8) {
    for (const auto& [bytes, json] : std::initializer_list<std::pair<std::string_view, std::string_view>>{
             {"\xff\xfe caf\xe9", "\"\xef\xbf\xbd\xef\xbf\xbd caf\xef\xbf\xbd\""},
             {"caf\xc3\xa9 \"a\\b\"\n\x01", "\"caf\xc3\xa9 \\\"a\\\\b\\\"\\n\\u0001\""}}) {
        std::string out;
        cli::AppendJsonString(out, bytes);
        EXPECT_EQ(out, json);
    }
}

// The terminal's line never reaches its last column, whatever its width.
TEST(Progress, LineFitsTheTerminal) {
    const std::string bar = "[" + std::string(10, '#') + std::string(17, ' ') + "] 40%  5 MB"; // 39 in all
    const struct {
        int percent;
        int columns;
        std::string line;
    } cases[] = {
        {40, 40, bar},
        {-1, 32, "[" + std::string(24, ' ') + "] 5 MB"},
        {100, 30, "[" + std::string(16, '#') + "] 100%  5 MB"},
        {40, 22, "40%  5 MB"}, // no room for a bar of 10
        {40, 6, "40%  "},
        {40, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressLine(c.percent, "5 MB", c.columns), c.line) << c.columns;
    }
}

} // namespace
} // namespace veltrin
