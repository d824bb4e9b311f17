#include "core/link.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

// NormaliseLink prefixes only links without a scheme; RequestAddress asks for what the results
// page's link asks for.
TEST(Link, NormalisedAndRequestedAddresses) {
    const struct {
        std::string (*convert)(std::string_view);
        const char* in;
        const char* out;
    } cases[] = {
        {NormaliseLink, "www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        {NormaliseLink, "http://www.clipvane.com/watch?v=a", "http://www.clipvane.com/watch?v=a"},
        // Mended: a scheme in any letter case is kept as it is.
        {NormaliseLink, "https://www.clipvane.com/watch?v=a", "https://www.clipvane.com/watch?v=a"},
        {NormaliseLink, "HTTP://www.clipvane.com/", "HTTP://www.clipvane.com/"},
        {NormaliseLink, "go?to=http://x/", "go?to=http://x/"},              // "http://" further on leaves it alone
        {NormaliseLink, " www.clipvane.com/", "http:// www.clipvane.com/"}, // leading blanks kept
        {NormaliseLink, "\t https://x/\n", "\t https://x/\n"},              // white space does not hide the scheme
        {NormaliseLink, "ftp://x/", "http://ftp://x/"},
        {RequestAddress, "http://v/a?itag=22&sig=%41\"x\"", "http://v/a?itag=22&sig=%41%22x%22"},
        {RequestAddress, "http://v/a b{`}?x=a b{`}'<>#?y= ", "http://v/a%20b%7B%60%7D?x=a%20b{`}%27%3C%3E#?y=%20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.convert(c.in), c.out) << c.in;
    }
}

} // namespace
} // namespace veltrin
