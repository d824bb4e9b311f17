#include "extract/parameters.h"
#include "extract/stream_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace veltrin {
namespace {

using Expected = std::vector<std::pair<std::string, std::string>>; // entry, label

Expected Summarise(const std::vector<LinkMatch>& matches) {
    Expected out;
    for (const LinkMatch& m : matches) {
        out.emplace_back(m.entry, std::string(m.quality->label));
    }
    return out;
}

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
        {"QualityRightAfterUrl", "url=&quality=", {}},
        {"OverlappingMarkersAtUrlEnd", "url=url=&quality=itag=5", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Summarise(ScanStreamEntries(c.block)), c.matches) << c.name;
    }
}

// What a watch page really carries: the stream map inside the player's parameters, encoded twice.
TEST(StreamScan, DecodedDoublyEncodedStreamMapGivesEveryKnownQuality) {
    const std::string window =
        "flashvars=\"fmt_list=37%2F1920x1080&amp;url_encoded_fmt_stream_map="
        "url%3Dhttp%253A%252F%252Fr1.cv.example%252Fvideoplayback%253Fitag%253D37%2526id%253Da1%26quality%3Dhd1080"
        "%26fallback_host%3Dtc.example%26type%3Dvideo%252Fmp4%2C"
        "url%3Dhttp%253A%252F%252Fr2.cv.example%252Fvideoplayback%253Fitag%253D22%2526sig%253DAB%252CCD"
        "%26quality%3Dhd720%2C"
        "url%3Dhttp%253A%252F%252Fr3.cv.example%252Fvideoplayback%253Fitag%253D43%26quality%3Dmedium%2C"
        "url%3Dhttp%253A%252F%252Fr4.cv.example%252Fvideoplayback%253Fitag%253D5%26quality%3Dsmall"
        "&amp;length=12\"";
    const Expected expected = {
        {"http://r1.cv.example/videoplayback?itag=37&id=a1", "1080P"},
        {"http://r2.cv.example/videoplayback?itag=22&sig=AB,CD", "720P"},
        {"http://r4.cv.example/videoplayback?itag=5", "240p"},
    };
    EXPECT_EQ(Summarise(ScanStreamEntries(DecodeParameters(window))), expected);
}

} // namespace
} // namespace veltrin
