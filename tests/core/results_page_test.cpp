#include "core/results_page.h"
#include "support/results_markup.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace veltrin {
namespace {

namespace fs = std::filesystem;

using testing::kResultsHeading;
constexpr auto& Row = testing::ResultsRow;
const std::string kAd = testing::AdvertisementFrame("http://ads.test/b.html");

LinkMatch Match(std::string entry, std::size_t row) { return {std::move(entry), &QualityTable[row]}; }

TEST(ResultsPage, IsComposedPieceByPiece) {
    const struct {
        const char* name;
        std::vector<LinkMatch> matches;
        std::string adBlock;
        std::string page; // after the heading
    } cases[] = {
        {"no matches, no advertisement even when fetched", {}, kAd, ""},
        {"one match, no advertisement", {Match("http://a/1", 1)}, kAd, Row("720P", "http://a/1")},
        {"advertisement at the end", {Match("A", 0), Match("B", 4)}, kAd, Row("1080P", "A") + Row("240p", "B") + kAd},
        {"advertisement after the second",
         {Match("1", 0), Match("2", 1), Match("3", 2), Match("4", 3), Match("5", 5)},
         kAd,
         Row("1080P", "1") + Row("720P", "2") + kAd + Row("480P", "3") + Row("360P", "4") + Row("Mobile", "5")},
        {"entry escaped for the attribute",
         {Match("http://x/?a=1&b=\"><script>alert(1)</script>'", 1)},
         "",
         Row("720P", "http://x/?a=1&amp;b=&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;'")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComposeResultsPage(c.matches, c.adBlock), kResultsHeading + c.page) << c.name;
    }
}

using testing::ReadFile;

// The page replaces what was there whole or not at all, and never writes through a link.
TEST(ResultsFile, HoldsWindows1252AndCrLfAndReplacesTheOldPageWholeOrNotAtAll) {
    const testing::TemporaryFolder folder;
    const fs::path path = ResultsFilePath(folder);
    std::ofstream(path) << std::string(5000, 'x'); // longer than the new page
    ASSERT_FALSE(WriteResultsFile(path, "caf\u00E9 \u20AC \u65E5 \u2019").has_value());
    EXPECT_EQ(ReadFile(path), "caf\xE9 \x80 ? \x92\r\n");

    const auto error = [&] {
        testing::FileSizeLimit full(4096); // the disk fills half-way through the page
        return WriteResultsFile(path, std::string(1 << 20, 'y'));
    }();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->reason, "File too large");
    EXPECT_EQ(ReadFile(path), "caf\xE9 \x80 ? \x92\r\n");

    fs::remove(path);
    std::ofstream(folder / "elsewhere.txt") << "keep me";
    fs::create_symlink(folder / "elsewhere.txt", path);
    ASSERT_FALSE(WriteResultsFile(path, "page").has_value());
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(ReadFile(path), "page\r\n");
    EXPECT_EQ(ReadFile(folder / "elsewhere.txt"), "keep me");
    EXPECT_EQ(testing::FileNames(folder), (std::set<std::string>{"elsewhere.txt", "temp.html"})) << "no temporaries";
}

} // namespace
} // namespace veltrin
