#include "core/watch_links.h"

#include <gtest/gtest.h>

namespace veltrin {
namespace {

TEST(WatchLinks, DistinctWatchLinksOfAnyHostBetweenWhatALinkCannotHold) {
    const std::string a = "http://www.clipvane.com/watch?v=A1";
    const std::string b = "https://other.test:8080/watch?feature=x&v=B2#t=3";
    const std::string longLink = "http://h/watch?v=L&x=" + std::string(kMostWatchLinkBytes, 'x');
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> links;
    } cases[] = {
        {"One", a, {a}},
        {"LinesAndTabs", "\r\n" + a + "\n\t" + b + "\n", {a, b}},
        {"MailList", "<" + a + ">, \"" + b + "\",<http://c/watch?v=C>", {a, b, "http://c/watch?v=C"}},
        {"SentenceAndQuotesOutsideAscii", "See (" + a + "). \u201C" + b + "\u201D!", {a, b}},
        {"SameVideoOnceWhateverHost", a + " " + a + " https://clipvane.com/watch?v=A1&t=1 " + b, {a, b}},
        {"CommaEndsLink", a + "," + b, {a, b}},
        {"SchemeInAnyCase", "HTTPS://h/watch?v=U", {"HTTPS://h/watch?v=U"}},
        {"NotWatchLinks",
         "javascript:location='x' file:///watch?v=F ftp://h/watch?v=F http://h/watch http://h/watch?v= "
         "http://h/watch?vv=F http://h/Watch?v=F http://h/watchlater?v=F http:///watch?v=F http://h/watch#v=F "
         "h/watch?v=F javascript:http://h/watch?v=F",
         {}},
        {"TooLong", longLink + " " + a, {a}},
        {"Nothing", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindWatchLinks(c.text), c.links) << c.name;
    }
}

} // namespace
} // namespace veltrin
