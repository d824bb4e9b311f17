#include "cli/link_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace std::string_literals;

namespace veltrin::cli {
namespace {

// Each line the reader gives, "number kind text", read in pieces of chunk bytes.
std::string ReadAll(const std::string& input, std::size_t chunk) {
    std::size_t at = 0;
    LinkLines lines([&](char* buffer, std::size_t size) -> long {
        const std::size_t n = std::min({size, chunk, input.size() - at});
        std::memcpy(buffer, input.data() + at, n);
        at += n;
        return static_cast<long>(n);
    });
    std::string out;
    while (const auto line = lines.Next()) {
        out += std::to_string(line->number) + "LBU"[static_cast<int>(line->kind)] + " " + line->text + ";";
    }
    return out;
}

TEST(LinkLines, GiveEachLinkOfAListAndSayWhyOtherLinesAreNone) {
    const std::string only = "only http and https links can be fetched";
    const std::string binary = "is not text: line 2 holds a NUL byte or another control character;";
    const struct {
        std::string input;
        std::string lines;
    } cases[] = {
        {"", ""},
        {"\n\n \t \n# a comment\n   # another\n", ""},
        {"http://h.test/watch?v=a\r\n\r\n  h.test/watch?v=b  ",
         "1L http://h.test/watch?v=a;3L http://h.test/watch?v=b;"},
        {"hello world\nhello\njavascript:alert(1)\nfile:///etc/passwd\nhttp://other.test/page\n",
         "1B not a link;2B not a link;3B " + only + ";4B " + only + ";5L http://other.test/page;"},
        {std::string(70000, 'x') + "\nhttp://h.test/watch?v=c\n", "1B longer than 64 KB;2L http://h.test/watch?v=c;"},
        {"http://h.test/\xff\xfe\n", "1B not text;"},
        {"http://h.test/watch?v=a\nvideo\0\x01 elf\nhttp://h.test/watch?v=e\n"s,
         "1L http://h.test/watch?v=a;2U " + binary},
        {"h.test/watch?v=a\n" + std::string(70000, 'z') + "\0"s + std::string(70000, 'z'),
         "1L http://h.test/watch?v=a;2U " + binary},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{5}, std::size_t{1} << 20}) {
            EXPECT_EQ(ReadAll(c.input, chunk), c.lines) << c.input.substr(0, 60) << " in pieces of " << chunk;
        }
    }
    EXPECT_EQ(CheckListedLink("h.test/watch?v=" + std::string(70000, 'v')).text, "longer than 64 KB"); // an argument
    // One video whatever else its link holds.
    EXPECT_EQ(VideoKey("http://a.test/watch?v=x1&t=5"), VideoKey("https://b.test/watch?feature=y&v=x1#t"));
    EXPECT_NE(VideoKey("http://a.test/watch?v=x1"), VideoKey("http://a.test/watch?v=x2"));
}

} // namespace
} // namespace veltrin::cli
