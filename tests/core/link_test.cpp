#include "core/link.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

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
        const char* in;
        const char* out;
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
