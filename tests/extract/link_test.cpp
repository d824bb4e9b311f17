#include "extract/link.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

TEST(NormaliseLink, PrefixesOnlyLinksWithoutAScheme) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        {"http://www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        {"https://www.clipvane.com/watch?v=a", "https://www.clipvane.com/watch?v=a"}, // mended: kept as is
        {"HTTP://www.clipvane.com/", "HTTP://www.clipvane.com/"},                     // mended: kept as is
        {"go?to=http://x/", "go?to=http://x/"},              // "http://" further on leaves it alone
        {" www.clipvane.com/", "http:// www.clipvane.com/"}, // leading blanks kept
        {"\t https://x/\n", "\t https://x/\n"},              // white space does not hide the scheme
        {"", "http://"},
        {"http://", "http://"},
        {"ftp://x/", "http://ftp://x/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormaliseLink(c.in), c.out) << c.in;
    }
}

TEST(RequestAddress, AsksForWhatTheResultsPageLinkAsksFor) {
    const struct {
        const char* entry;
        const char* address;
    } cases[] = {
        {"http://v/a?itag=22&sig=%41\"x\"", "http://v/a?itag=22&sig=%41%22x%22"},
        {"http://v/a b{`}?x=a b{`}'<>#?y= ", "http://v/a%20b%7B%60%7D?x=a%20b{`}%27%3C%3E#?y=%20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequestAddress(c.entry), c.address) << c.entry;
    }
}

} // namespace
} // namespace veltrin
