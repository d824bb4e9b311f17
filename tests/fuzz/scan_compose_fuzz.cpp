// Scan and composition on arbitrary blocks: no crash, and a page that agrees with the matches.
#include "core/results_page.h"
#include "core/stream_entries.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

std::size_t Count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrin;
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    const auto matches = ScanStreamEntries(block);
    for (const LinkMatch& m : matches) {
        Check(m.entry.find(m.quality->marker) != std::string::npos, "entry holds its marker");
        Check(m.entry.find("&quality=") == std::string::npos, "entry stops at the first &quality=");
        Check(block.find(m.entry) != std::string_view::npos, "entry is cut from the block");
    }
    const std::string ad = AdvertisementBlock("http://ads.test/b.html");
    const std::string page = ComposeResultsPage(matches, ad);
    Check(page.rfind(kResultsHeading, 0) == 0, "page opens with the heading");
    // Entries are escaped, so they can fake neither a row nor the frame.
    Check(Count(page, "<img src=\"dl.jpg\"") == matches.size(), "one picture per match");
    Check(Count(page, "<iframe") == (matches.size() >= 2 ? 1u : 0u), "frame only after a second row");
    Check(Count(page, "<script") == 0, "no mark-up from the block");
    return 0;
}
