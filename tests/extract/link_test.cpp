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

} // namespace
} // namespace veltrin
