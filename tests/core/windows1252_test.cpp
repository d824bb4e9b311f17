#include "core/windows1252.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace veltrin {
namespace {

const std::string kFFFD = "\uFFFD";

TEST(Codecs, Convert) {
    const struct {
        const char* name;
        std::function<std::string(std::string_view)> convert;
        std::string input;
        std::string output;
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
