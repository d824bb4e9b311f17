#include "core/file_name.h"
#include "core/link.h"
#include "core/parameters.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

TEST(FileName, TitleComesFromTheParametersThenThePageThenTheVideoId) {
    const struct {
        const char* name;
        std::string page, title, id = ""; // id: the video's, by which a part file is continued
    } cases[] = {
        {"FormEncodedUtf8",
         "<title>Other - Clipvane</title><script>flashvars=\"video_id=abc&title=Caf%25C3%25A9%2B"
         "%2526%2BAC%252FDC&x=1\"</script>",
         "Café & AC/DC", "abc"},
        {"LastFieldEndsAtTheQuote", "<script>var p = {flashvars: \"v=1&title=The+one\"};</script>", "The one"},
        {"FirstField", "<script>var p = {flashvars: \"title=First%2Bone&v=1\"};</script>", "First one"},
        {"InvalidBytesBecomeReplacement", "flashvars=\"v=1&title=a%25FFb\"</script>", "a\uFFFDb"},
        {"PageTitleWithoutTheSuffix",
         "<html><TITLE>Tom &amp; Jerry &#8211; &#x263A; - Clipvane</TITLE>"
         "<script>flashvars=\"video_id=abc\"</script>",
         "Tom & Jerry \u2013 \u263A", "abc"},
        {"VideoId", "<script>flashvars=\"v=1&video_id=Qx7bT2mLp9A&t=1\"</script>", "Qx7bT2mLp9A", "Qx7bT2mLp9A"},
        {"Nothing", "<html>nothing at all</html>", "video"},
    };
    for (const auto& c : cases) {
        const auto names = NamesOnPage(c.page, FindParameterWindow(c.page));
        EXPECT_EQ(names.title, c.title) << c.name;
        EXPECT_EQ(names.id, c.id) << c.name;
    }
}

// A row's plan: the address its link asks for, a stem safe as a file name on every desktop, and
// the extension its format code names, else the one the response's type names (each type here
// disagrees with the code, so that neither can stand in for the other).
TEST(FileName, PlanOfARowNamesTheFileSafelyByCodeThenType) {
    std::string manyEmoji;
    for (int i = 0; i < 100; ++i) {
        manyEmoji += "\U0001F600";
    }
    const QualityRow* hd = &QualityTable[1];
    const struct {
        std::string title;
        const char* entry;
        const QualityRow* quality;
        const char* contentType;
        std::string stem;
        const char* extension;         // of the file once the server has answered
        const char* address = nullptr; // nothing: the entry as it is
    } cases[] = {
        {"AC/DC: Live?", "http://v/a b?itag=37&t=caf\u00C3\u00A9", &QualityTable[0], "video/webm",
         "AC_DC_ Live_ (1080P)", "mp4", "http://v/a%20b?itag=37&t=caf%C3%A9"},
        {"a/b\\c:d*e?f\"g<h>i|j\tk\x01l", "v?itag=22&x", hd, "video/webm", "a_b_c_d_e_f_g_h_i_j_k_l (720P)", "mp4"},
        {"...", "v?itag=18", hd, "video/3gpp", "video (720P)", "mp4"},
        {" . name . ", "v?itag=5&s=1", &QualityTable[4], "video/mp4", "name (240p)", "flv"},
        {"evil\u202Evod.exe", "v?itag=36", &QualityTable[5], "video/webm", "evil_vod.exe (Mobile)", "3gp"},
        {"\u05E9\u05DC\u05D5\u05DD", "v?itag=45", hd, "video/mp4", "\u05E9\u05DC\u05D5\u05DD (720P)", "webm"},
        {std::string(10000, 'a'), "v?itag=59", &QualityTable[4], "video/webm; codecs=vp8",
         std::string(193, 'a') + " (240p)", "webm"},
        {manyEmoji, "v?itag=171", hd, "VIDEO/X-FLV", manyEmoji.substr(0, 192) + " (720P)", "flv"},
        {"", "v?itag=99", nullptr, "video/3gpp", "video (video)", "3gp"},
        {"t", "v?n=1", hd, "text/html", "t (720P)", "mp4"},
    };
    for (const auto& c : cases) {
        const DownloadPlan plan = PlanDownload({c.entry, c.quality}, c.title);
        EXPECT_EQ(plan.address, c.address ? c.address : c.entry) << c.entry;
        EXPECT_EQ(plan.stem, c.stem) << c.entry;
        EXPECT_EQ(plan.extension.value_or(StreamExtension(std::nullopt, c.contentType)), c.extension) << c.entry;
    }
    EXPECT_EQ(DownloadStem(" Slow: walk. ", ""), "Slow_ walk"); // a sound file's: no quality
}

std::string Checked(std::string_view link) {
    const LinkToFetch checked = CheckLink(link);
    return checked.kind == LinkToFetch::Kind::Fetch   ? checked.address
           : checked.kind == LinkToFetch::Kind::Blank ? "(blank)"
                                                      : "(refused)";
}

// CheckLink prefixes only links without a scheme and refuses other schemes than http(s);
// RequestAddress asks for what the results page's link asks for.
TEST(Link, CheckedAndRequestedAddresses) {
    const struct {
        std::string (*convert)(std::string_view);
        const char *in, *out;
    } cases[] = {
        {Checked, "www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        {Checked, "http://www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        {Checked, "https://www.clipvane.com/watch?v=a", "https://www.clipvane.com/watch?v=a"},
        {Checked, "HTTP://www.clipvane.com/", "HTTP://www.clipvane.com/"},
        {Checked, "go?to=http://x/", "go?to=http://x/"},              // "http://" further on leaves it alone
        {Checked, " www.clipvane.com/", "http:// www.clipvane.com/"}, // leading blanks kept
        {Checked, "\t https://x/\n", "\t https://x/\n"},              // white space does not hide the scheme
        {Checked, "localhost:8080/w", "http://localhost:8080/w"},     // a port, not a scheme
        {Checked, "ftp://127.0.0.1/x", "(refused)"},
        {Checked, " File:///etc/passwd", "(refused)"},
        {Checked, "javascript:alert(1)", "(refused)"},
        {Checked, " \t\r\n", "(blank)"},
        {RequestAddress, "http://v/a?itag=22&sig=%41\"x\"", "http://v/a?itag=22&sig=%41%22x%22"},
        {RequestAddress, "http://v/a b{`}?x=a b{`}'<>#?y= ", "http://v/a%20b%7B%60%7D?x=a%20b{`}%27%3C%3E#?y=%20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.convert(c.in), c.out) << c.in;
    }
}

} // namespace
} // namespace veltrin
