#include "core/decoding_chain.h"
#include "core/parameters.h"
#include "support/literal_chain.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <optional>
#include <string>

namespace veltrin {
namespace {

// Each step decodes one escape as the code page reads its byte, checked against the system's own
// Windows-1252 table rather than ours, except where the chain departs from it on purpose.
TEST(DecodingChain, FollowsItsRuleStepByStep) {
    const std::map<int, std::string> departures = {
        {0x7F, " "}, {0x81, " "}, {0x8D, " "}, {0x8F, " "},      {0x90, " "},
        {0x9D, " "}, {0xA0, " "}, {0xA4, " "}, {0xAD, "\u00AF"}, {0xD7, " "},
    };
    EXPECT_EQ(kDecodingChain[2].find, "%252"); // the double-escape step
    EXPECT_EQ(kDecodingChain[2].replacement, "%2");
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
        const auto departure = departures.find(code);
        EXPECT_TRUE(assigned || departure != departures.end()) << find << ": the code page assigns no character";
        const std::size_t at = static_cast<std::size_t>(step);
        EXPECT_EQ(kDecodingChain[at].find, find) << "step " << step + 1;
        EXPECT_EQ(kDecodingChain[at].replacement,
                  departure != departures.end() ? departure->second : std::string(out, sizeof out - outLeft))
            << find;
    }
    iconv_close(system);
}

TEST(DecodeParameters, SinglePassAndLiteralChainAgree) {
    const struct {
        std::string input;
        std::string output;
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

} // namespace
} // namespace veltrin
