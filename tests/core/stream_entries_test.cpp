#include "core/stream_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace veltrin {
namespace {

using Expected = std::vector<std::pair<std::string, std::string>>; // entry, label

TEST(StreamScan, FindsEntriesInBlockAndTableOrder) {
    const struct {
        const char* name;
        std::string block;
        Expected matches;
    } cases[] = {
        {"WorkedExample",
         "x=1&url=P1?itag=22&quality=hd720,url=P2?itag=5&quality=small",
         {{"P1?itag=22", "720P"}, {"P2?itag=5", "240p"}}},
        {"NoUrl", "itag=22&quality=hd720", {}},
        {"UrlWithoutQualityEndsScan", "url=A?itag=22,url=B?itag=5", {}},
        {"LaterEntriesAfterUnterminatedOneAreLost", "url=A?itag=22&quality=x,url=B?itag=37", {{"A?itag=22", "720P"}}},
        {"EmptyEntryMatchesNothing", "url=&quality=x,url=C?itag=17&quality=y", {{"C?itag=17", "Mobile"}}},
        {"SeveralMarkersInTableOrder",
         "url=D?itag=22&x=itag=37&quality=hd",
         {{"D?itag=22&x=itag=37", "1080P"}, {"D?itag=22&x=itag=37", "720P"}}},
        {"PrefixCodesMatch",
         "url=E?itag=59&quality=a,url=F?itag=171&quality=b",
         {{"E?itag=59", "240p"}, {"F?itag=171", "Mobile"}}},
        {"SharedPrefixesOfAllSix",
         "url=G?itag=5&quality=a,url=H?itag=17&quality=b,url=I?itag=35&quality=c,"
         "url=J?itag=34&quality=d",
         {{"G?itag=5", "240p"}, {"H?itag=17", "Mobile"}, {"I?itag=35", "480P"}, {"J?itag=34", "360P"}}},
        {"UpperCaseMarkerDoesNotMatch", "url=K?ITAG=22&quality=a", {}},
        {"NoMarkerSkipsToNextEntry", "url=L?itag=18&quality=a,url=M?itag=37&quality=b", {{"M?itag=37", "1080P"}}},
        {"UrlInsideEntryBelongsToIt", "url=N?u=url=O&itag=22&quality=a", {{"N?u=url=O&itag=22", "720P"}}},
        {"Repeated", "url=P?itag=22&quality=a,url=P?itag=22&quality=a", {{"P?itag=22", "720P"}, {"P?itag=22", "720P"}}},
        {"OverlappingMarkersAtUrlEnd", "url=url=&quality=itag=5", {}},
    };
    for (const auto& c : cases) {
        Expected matches;
        for (const LinkMatch& m : ScanStreamEntries(c.block)) {
            matches.emplace_back(m.entry, m.quality->label);
        }
        EXPECT_EQ(matches, c.matches) << c.name;
    }
}

TEST(StreamScan, ChoosesThePreferredQualityElseTheBestLowerElseTheBest) {
    const auto row = [](std::string_view label) {
        return &*std::ranges::find(QualityTable, label, &QualityRow::label);
    };
    const struct {
        const char* name;
        std::vector<std::string_view> offered; // labels, in page order
        const QualityRow* preferred;
        std::optional<std::size_t> chosen;
    } cases[] = {
        {"Preferred", {"240p", "720P", "1080P"}, row("720P"), 1},
        {"BestOnThePage", {"240p", "Mobile", "480P"}, nullptr, 2},
        {"BestLower", {"Mobile", "240p", "1080P", "360P"}, row("720P"), 3},
        {"NothingLowerTakesTheBest", {"720P", "1080P"}, row("Mobile"), 1},
        {"FirstOfEqualRows", {"360P", "360P"}, row("360P"), 0},
        {"NoMatches", {}, nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<LinkMatch> matches;
        for (const std::string_view label : c.offered) {
            matches.push_back({"", row(label)});
        }
        EXPECT_EQ(ChooseQuality(matches, c.preferred), c.chosen) << c.name;
    }
}

TEST(StreamScan, ChoosesTheBestSoundAndOfEqualsTheSmallestStream) {
    const auto row = [](std::string_view label) {
        return &*std::ranges::find(QualityTable, label, &QualityRow::label);
    };
    const struct {
        std::vector<std::string_view> offered; // labels, in page order
        std::optional<std::size_t> chosen;
    } cases[] = {
        {{"1080P", "720P", "480P"}, 1},  // the same AAC at 192 kb/s in a smaller stream
        {{"Mobile", "240p", "360P"}, 2}, // the best sound, though not the best picture's
        {{"Mobile", "240p"}, 1},         // MP3 at 64 kb/s over AAC at 24
        {{"360P", "480P", "360P"}, 0},   // the first of equal rows
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<LinkMatch> matches;
        for (const std::string_view label : c.offered) {
            matches.push_back({"", row(label)});
        }
        EXPECT_EQ(ChooseSound(matches), c.chosen) << (c.offered.empty() ? "" : c.offered.front());
    }
}

} // namespace
} // namespace veltrin
