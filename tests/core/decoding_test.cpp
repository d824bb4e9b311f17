#include "core/decoding_chain.h"
#include "core/parameters.h"
#include "core/windows1252.h"
#include "support/literal_chain.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace veltrin {
namespace {

// Each step decodes one escape as the code page reads its byte, checked against the system's own
// Windows-1252 table rather than ours, except where the chain departs from it on purpose.
TEST(DecodingChain, FollowsItsRuleStepByStep) {
    const std::set<int> blanked{0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xA4, 0xD7}; // and 0xAD, a macron
    const iconv_t system = iconv_open("UTF-8", "WINDOWS-1252");
    ASSERT_NE(system, reinterpret_cast<iconv_t>(-1)) << "iconv has no WINDOWS-1252";
    for (int code = 0x20, step = 0; code <= 0xFF; ++code, ++step) {
        step += step == 2 ? 1 : 0;
        char find[4];
        std::snprintf(find, sizeof find, "%%%02X", code);
        char in[1] = {static_cast<char>(code)}, out[8] = {};
        char *inPtr = in, *outPtr = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        const bool assigned = iconv(system, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
        const bool departs = blanked.contains(code) || code == 0xAD;
        EXPECT_TRUE(assigned || departs) << find << ": the code page assigns no character";
        const ChainStep& at = kDecodingChain[static_cast<std::size_t>(step)];
        EXPECT_EQ(at.find, find) << "step " << step + 1;
        const std::string departure = code == 0xAD ? "\u00AF" : " ";
        EXPECT_EQ(at.replacement, departs ? departure : std::string(out, sizeof out - outLeft)) << find;
    }
    iconv_close(system);
}

TEST(DecodeParameters, SinglePassAndLiteralChainAgree) {
    const struct {
        std::string input, output;
    } cases[] = {
        {"%2520", "%20"}, // a doubly escaped space stays escaped once
        {"%2522", "\""},  // the double-escape step runs before the quote's
        {"%25252C", ","}, // and the percent step makes one more round
        {"%3a", "%3a"},   // lower-case hex is no step of the chain
        {"a+b", "a+b"},
        {"%0A", "%0A"},             // nor are control codes
        {"%C3%A9", "\u00C3\u00A9"}, // bytes are characters, not UTF-8
        {"%A4%D7%A0%81", "    "},
        {"%AD", "\u00AF"},
        {"100%", "100%"},
        {"%%2020", "% 20"},
        {"%4%31", "A"},   // a later step completes an earlier one's escape
        {"%%331", "%31"}, // a digit decoded after its step stays
        {"%25252", "%2"},
        {"%252%35", "%25"},
        {"url%3Dhttp%253A%252F%252Fv1.example%252Fp%253Fitag%253D22%26quality%3Dhd720",
         "url=http://v1.example/p?itag=22&quality=hd720"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeParameters(c.input), c.output) << c.input;
        EXPECT_EQ(testing::LiteralChain(c.input), c.output) << c.input;
    }
}

TEST(ParameterWindow, IsCutBetweenTheMarkers) {
    const struct {
        std::string page;
        std::optional<std::string> window;
    } cases[] = {
        // "flashvars" at 1-based position 13 and "</script>" at 43: the 30 characters 13 to 42.
        {"<html><body>flashvars=\"a%20b&c=d123456789\"</script>", "flashvars=\"a%20b&c=d123456789\""},
        {"<script>x</script>", std::nullopt},
        {"flashVars=1</script>", std::nullopt},
        {"</script>flashvars=1", std::nullopt},
        {"</script>flashvars=1</script>", "flashvars=1"},
        {"a flashvars b</script> flashvars c</script>", "flashvars b"},
        {"flashvars</script>", "flashvars"},
        {"flashvars</scrip></script>", "flashvars</scrip>"},
    };
    for (const auto& c : cases) {
        const auto window = FindParameterWindow(c.page);
        EXPECT_EQ(window ? std::optional<std::string>(*window) : std::nullopt, c.window) << c.page;
    }
}

const std::string kFFFD = "\uFFFD";

TEST(Codecs, Convert) {
    const struct {
        const char* name;
        std::function<std::string(std::string_view)> convert;
        std::string input, output;
    } cases[] = {
        {"Utf8ValidKept", SanitizeUtf8, "a\u00E9\u20AC\U0001F600z", "a\u00E9\u20AC\U0001F600z"},
        {"Utf8LoneContinuation", SanitizeUtf8, "a\x80z", "a" + kFFFD + "z"},
        {"Utf8TruncatedSequenceIsOneReplacement", SanitizeUtf8, "a\xE2\x82z", "a" + kFFFD + "z"},
        {"Utf8TruncatedAtEnd", SanitizeUtf8, "ab\xF0\x9F\x98", "ab" + kFFFD},
        {"Utf8Overlong", SanitizeUtf8, "\xC0\xAF", kFFFD + kFFFD},
        {"Utf8Surrogate", SanitizeUtf8, "\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
        {"Utf8BeyondUnicode", SanitizeUtf8, "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
        {"Utf8RealReplacementCharacterKept", SanitizeUtf8, kFFFD, kFFFD},
        {"Latin1", Latin1ToUtf8, "caf\xE9 \x80", "caf\u00E9 \u0080"},
        {"Windows1252", Windows1252ToUtf8, "\x80\x92\x81\xE9", "\u20AC\u2019\u0081\u00E9"},
        {"AsciiHighBytesReplaced", AsciiToUtf8, "ok\xE9", "ok" + kFFFD},
        {"ToWindows1252Unmappable", Utf8ToWindows1252, "\u65E5\U0001F600\u0100", "???"},
        {"ToWindows1252InvalidUtf8", Utf8ToWindows1252, "a\xFFz", "a?z"},
        {"ToWindows1252LongAsciiRun", Utf8ToWindows1252, std::string(100, 'k') + "\u00E9",
         std::string(100, 'k') + "\xE9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.convert(c.input), c.output) << c.name;
    }
}

TEST(Codecs, EveryWindows1252ByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(byte)), byte) << "byte " << b;
    }
}

} // namespace
} // namespace veltrin
