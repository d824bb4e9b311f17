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

TEST(FileName, ExtensionByFormatCodeThenContentType) {
    const struct {
        const char* entry;
        const char* contentType;
        const char* extension;
    } cases[] = {
        {"http://v/a?itag=37", "video/webm", "mp4"},
        {"itag=22&x", "", "mp4"},
        {"http://v/?itag=5&sig=1", "", "flv"},
        {"itag=59", "video/webm; codecs=vp8", "webm"},
        {"itag=171", "VIDEO/X-FLV", "flv"},
        {"itag=99", "video/3gpp", "3gp"},
        {"itag=99", "video/mp4", "mp4"},
        {"no code", "text/html", "mp4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StreamExtension(FormatCode(c.entry), c.contentType), c.extension) << c.entry;
    }
}

} // namespace
} // namespace veltrin
