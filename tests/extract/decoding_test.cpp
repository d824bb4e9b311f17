#include "extract/decoding_chain.h"
#include "extract/parameters.h"
#include "support/literal_chain.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <optional>
#include <string>

namespace veltrin {
namespace {

// The system's own Windows-1252 table, independent of ours; nothing for unassigned bytes.
std::optional<std::string> SystemWindows1252(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no WINDOWS-1252";
        return std::nullopt;
    }
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    return std::string(out, sizeof out - outLeft);
}

TEST(DecodingChain, FollowsItsRuleStepByStep) {
    const std::map<int, std::string> departures = {
        {0x7F, " "}, {0x81, " "}, {0x8D, " "}, {0x8F, " "}, {0x90, " "},
        {0x9D, " "}, {0xA0, " "}, {0xA4, " "}, {0xAD, "\u00AF"}, {0xD7, " "},
    };
    ASSERT_EQ(kDecodingChain.size(), 225u);
    EXPECT_EQ(kDecodingChain[2].find, "%252");
    EXPECT_EQ(kDecodingChain[2].replacement, "%2");

    std::vector<int> codes = {0x20, 0x21};
    for (int code = 0x22; code <= 0xFF; ++code) {
        codes.push_back(code);
    }
    std::size_t step = 0;
    for (const int code : codes) {
        if (step == 2) {
            ++step; // the double-escape step
        }
        char find[4];
        std::snprintf(find, sizeof find, "%%%02X", code);
        SCOPED_TRACE(find);
        EXPECT_EQ(kDecodingChain[step].find, find) << "step " << step + 1;
        std::string expected;
        if (auto it = departures.find(code); it != departures.end()) {
            expected = it->second;
        } else {
            const auto system = SystemWindows1252(static_cast<unsigned char>(code));
            ASSERT_TRUE(system.has_value()) << "the code page assigns no character";
            expected = *system;
        }
        EXPECT_EQ(kDecodingChain[step].replacement, expected);
        ++step;
    }
    // Landmarks: "%25" is step 7, "%3A" step 28, "%80" step 98, "%FF" step 225.
    EXPECT_EQ(kDecodingChain[6].find, "%25");
    EXPECT_EQ(kDecodingChain[27].find, "%3A");
    EXPECT_EQ(kDecodingChain[97].find, "%80");
    EXPECT_EQ(kDecodingChain[224].find, "%FF");
}

struct DecodeCase {
    const char* name;
    std::string input;
    std::string output;
};

class DecodeExamples : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeExamples, SinglePassAndLiteralChainAgree) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodeParameters(c.input), c.output);
    EXPECT_EQ(testing::LiteralChain(c.input), c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Chain, DecodeExamples,
    ::testing::Values(DecodeCase{"DoubleSpaceStaysEscaped", "%2520", "%20"},
                      DecodeCase{"DoubleBangStaysEscaped", "%2521", "%21"},
                      DecodeCase{"DoubleQuote", "%2522", "\""}, DecodeCase{"DoubleComma", "%252C", ","},
                      DecodeCase{"DoublePercent", "%2525", "%"}, DecodeCase{"DoubleColon", "%253A", ":"},
                      DecodeCase{"TripleComma", "%25252C", ","},
                      DecodeCase{"LowerCaseHexUntouched", "%3a", "%3a"},
                      DecodeCase{"NoPlusRule", "a+b", "a+b"}, DecodeCase{"ControlCodeUntouched", "%0A", "%0A"},
                      DecodeCase{"BytesNotCombined", "%C3%A9", "\u00C3\u00A9"},
                      DecodeCase{"DeparturesGiveSpaces", "%A4%D7%A0%81", "    "},
                      DecodeCase{"SoftHyphenIsMacron", "%AD", "\u00AF"}, DecodeCase{"Macron", "%AF", "\u00AF"},
                      DecodeCase{"TrailingPercent", "100%", "100%"},
                      DecodeCase{"PercentBeforeEscape", "%%2020", "% 20"}, DecodeCase{"Slashes", "%2F%2F", "//"},
                      DecodeCase{"Euro", "%80", "\u20AC"}, DecodeCase{"Empty", "", ""},
                      DecodeCase{"NoPercentUnchanged", "flashvars=\"a=b&c=d\"", "flashvars=\"a=b&c=d\""},
                      DecodeCase{"LaterStepCompletesEarlierDigit", "%4%31", "A"},
                      DecodeCase{"DigitDecodedTooLateStays", "%%331", "%31"},
                      DecodeCase{"DoubleEscapeThenPercentStep", "%25252", "%2"},
                      DecodeCase{"DecodedFiveTooLateForPercent", "%252%35", "%25"},
                      DecodeCase{"PercentAtEndOfInput", "%25", "%"},
                      DecodeCase{"EncodedStreamMap",
                                 "url%3Dhttp%253A%252F%252Fv1.example%252Fp%253Fitag%253D22%26quality%3Dhd720",
                                 "url=http://v1.example/p?itag=22&quality=hd720"}),
    [](const auto& row) { return std::string(row.param.name); });

struct WindowCase {
    const char* name;
    std::string page;
    std::optional<std::string> window;
};

class ParameterWindow : public ::testing::TestWithParam<WindowCase> {};

TEST_P(ParameterWindow, IsCutBetweenTheMarkers) {
    const WindowCase& c = GetParam();
    const auto window = FindParameterWindow(c.page);
    ASSERT_EQ(window.has_value(), c.window.has_value());
    if (window) {
        EXPECT_EQ(std::string(*window), *c.window);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Markers, ParameterWindow,
    ::testing::Values(
        // "flashvars" at 1-based position 13 and "</script>" at 43: the 30 characters 13 to 42.
        WindowCase{"PositionsThirteenToFortyTwo", "<html><body>flashvars=\"a%20b&c=d123456789\"</script>",
                   "flashvars=\"a%20b&c=d123456789\""},
        WindowCase{"EmptyPage", "", std::nullopt},
        WindowCase{"NoStartMarker", "<script>x</script>", std::nullopt},
        WindowCase{"CapitalLetterInMarker", "flashVars=1</script>", std::nullopt},
        WindowCase{"NoEndMarkerAfterStart", "</script>flashvars=1", std::nullopt},
        WindowCase{"EndMarkerBeforeStartIsSkipped", "</script>flashvars=1</script>", "flashvars=1"},
        WindowCase{"FirstOccurrenceWins", "a flashvars b</script> flashvars c</script>", "flashvars b"},
        WindowCase{"MarkerRightAfterWord", "flashvars</script>", "flashvars"},
        WindowCase{"EndMarkerOverlappingWordIsImpossible", "flashvars</scrip></script>", "flashvars</scrip>"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace veltrin
