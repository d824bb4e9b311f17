#include "extract/stream_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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
        {"NoDeduplication",
         "url=P?itag=22&quality=a,url=P?itag=22&quality=a",
         {{"P?itag=22", "720P"}, {"P?itag=22", "720P"}}},
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

} // namespace
} // namespace veltrin
