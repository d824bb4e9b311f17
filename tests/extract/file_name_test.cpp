#include "extract/file_name.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

TEST(FileName, TitleComesFromTheParametersThenThePageThenTheVideoId) {
    const struct {
        const char* name;
        std::string page;
        std::string title;
    } cases[] = {
        {"FormEncodedUtf8",
         "<title>Other - Clipvane</title><script>flashvars=\"video_id=abc&title=Caf%25C3%25A9%2B"
         "%2526%2BAC%252FDC&x=1\"</script>",
         "Café & AC/DC"},
        {"LastFieldEndsAtTheQuote", "<script>var p = {flashvars: \"v=1&title=The+one\"};</script>", "The one"},
        {"FirstField", "<script>var p = {flashvars: \"title=First%2Bone&v=1\"};</script>", "First one"},
        {"InvalidBytesBecomeReplacement", "flashvars=\"v=1&title=a%25FFb\"</script>", "a\uFFFDb"},
        {"PageTitleWithoutTheSuffix",
         "<html><TITLE>Tom &amp; Jerry &#8211; &#x263A; - Clipvane</TITLE>"
         "<script>flashvars=\"video_id=abc\"</script>",
         "Tom & Jerry \u2013 \u263A"},
        {"VideoId", "<script>flashvars=\"v=1&video_id=Qx7bT2mLp9A&t=1\"</script>", "Qx7bT2mLp9A"},
        {"Nothing", "<html>nothing at all</html>", "video"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VideoTitle(c.page), c.title) << c.name;
    }
}

TEST(FileName, NamesAreSafeOnEveryDesktop) {
    const std::string longTitle(10000, 'a');
    const std::string emoji = "\U0001F600";
    std::string manyEmoji;
    for (int i = 0; i < 100; ++i) {
        manyEmoji += emoji;
    }
    const struct {
        const char* name;
        std::string title;
        std::string stem;
    } cases[] = {
        {"ForbiddenCharacters", "AC/DC: Live?", "AC_DC_ Live_ (720P)"},
        {"EveryForbidden", "a/b\\c:d*e?f\"g<h>i|j\tk\x01l", "a_b_c_d_e_f_g_h_i_j_k_l (720P)"},
        {"OnlyDots", "...", "video (720P)"},
        {"SpacesAndDotsAtTheEnds", " . name . ", "name (720P)"},
        {"DirectionOverride", "evil\u202Evod.exe", "evil_vod.exe (720P)"},
        {"RightToLeftTextStays", "\u05E9\u05DC\u05D5\u05DD", "\u05E9\u05DC\u05D5\u05DD (720P)"},
        {"LongCutTo200Bytes", longTitle, std::string(193, 'a') + " (720P)"},
        {"CutAtACharacterBoundary", manyEmoji, manyEmoji.substr(0, 192) + " (720P)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadStem(c.title, "720P"), c.stem) << c.name;
    }
}

// The file's extension is the plan's, else the one the response's type names: each row's type
// disagrees with what its code says, so that neither can stand in for the other.
TEST(FileName, PlanOfARowAsksForItsLinkUnderItsTitleAndNamesTheFileByCodeThenType) {
    const struct {
        const char* entry;
        const QualityRow* quality;
        const char* contentType;
        const char* address;
        const char* stem;
        const char* extension; // of the file once the server has answered
    } cases[] = {
        {"http://v/a b?itag=37&t=caf\u00C3\u00A9", &QualityTable[0], "video/webm", "http://v/a%20b?itag=37&t=caf%C3%A9",
         "AC_DC (1080P)", "mp4"},
        {"itag=22&x", &QualityTable[1], "video/webm", "itag=22&x", "AC_DC (720P)", "mp4"},
        {"v?itag=18", &QualityTable[1], "video/3gpp", "v?itag=18", "AC_DC (720P)", "mp4"},
        {"v?itag=5&s=1", &QualityTable[4], "video/mp4", "v?itag=5&s=1", "AC_DC (240p)", "flv"},
        {"v?itag=36", &QualityTable[5], "video/webm", "v?itag=36", "AC_DC (Mobile)", "3gp"},
        {"v?itag=45", &QualityTable[1], "video/mp4", "v?itag=45", "AC_DC (720P)", "webm"},
        {"v?itag=59", &QualityTable[4], "video/webm; codecs=vp8", "v?itag=59", "AC_DC (240p)", "webm"},
        {"v?itag=171", &QualityTable[5], "VIDEO/X-FLV", "v?itag=171", "AC_DC (Mobile)", "flv"},
        {"v?itag=99", nullptr, "video/3gpp", "v?itag=99", "AC_DC (video)", "3gp"},
        {"v?n=1", &QualityTable[1], "text/html", "v?n=1", "AC_DC (720P)", "mp4"},
    };
    for (const auto& c : cases) {
        const DownloadPlan plan = PlanDownload({c.entry, c.quality}, "AC/DC");
        EXPECT_EQ(plan.address, c.address) << c.entry;
        EXPECT_EQ(plan.stem, c.stem) << c.entry;
        EXPECT_EQ(plan.extension.value_or(StreamExtension(std::nullopt, c.contentType)), c.extension) << c.entry;
    }
}

} // namespace
} // namespace veltrin
