#include "core/go_pipeline.h"
#include "core/results_page.h"
#include "core/stream_entries.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

namespace veltrin {
namespace {

namespace fs = std::filesystem;

// The pieces of a results page, written out as the page is expected to hold them.
const std::string kResultsHeading = "<h1 style='font-family: tahoma; font-size: 25px;'>Download Links</h1>";
std::string Row(const std::string& label, const std::string& href) {
    return "<span style='font-size: 18px; font-family: tahoma;'>Download " + label + " Version: </span><a href=\"" +
           href + "\"><img src=\"dl.jpg\" border=\"0\" /></a><br>";
}
constexpr const char* kWatch = "http://site.test/watch";
constexpr const char* kAdUrl = "http://ads.test/banner";
const std::string kStreams = "<script>flashvars=\"url%3Dhttp%253A%252F%252Fv%252Fa%253Fitag%253D22%26quality%3Dhd,"
                             "url%3Dv%252Fb%253Fitag%253D5%26quality%3Dsmall,"
                             "url%3Dv%252Fc%253Fitag%253D17%26quality%3Dsmall\"</script>";
const std::string kAd =
    std::string("<iframe src='") + kAdUrl + "' frameBorder='0' height='90' width='500'></iframe><br>";
using testing::ReadFile;

using Expected = std::vector<std::pair<std::string, std::string>>; // entry, label

TEST(StreamScan, FindsEntriesInBlockAndTableOrder) {
    const struct {
        const char* name;
        std::string block;
        Expected matches;
    } cases[] = {
        {"WorkedExample",
         "x=1&url=P1?itag=22&quality=hd720,url=P2?itag=5&quality=small",
         {{"P1?itag=22", "720P"}, {"P2?itag=5", "240p"}}},
        {"NoUrl", "itag=22&quality=hd720", {}},
        {"UrlWithoutQualityEndsScan", "url=A?itag=22,url=B?itag=5", {}},
        {"LaterEntriesAfterUnterminatedOneAreLost", "url=A?itag=22&quality=x,url=B?itag=37", {{"A?itag=22", "720P"}}},
        {"EmptyEntryMatchesNothing", "url=&quality=x,url=C?itag=17&quality=y", {{"C?itag=17", "Mobile"}}},
        {"SeveralMarkersInTableOrder",
         "url=D?itag=22&x=itag=37&quality=hd",
         {{"D?itag=22&x=itag=37", "1080P"}, {"D?itag=22&x=itag=37", "720P"}}},
        {"PrefixCodesMatch",
         "url=E?itag=59&quality=a,url=F?itag=171&quality=b",
         {{"E?itag=59", "240p"}, {"F?itag=171", "Mobile"}}},
        {"SharedPrefixesOfAllSix",
         "url=G?itag=5&quality=a,url=H?itag=17&quality=b,url=I?itag=35&quality=c,"
         "url=J?itag=34&quality=d",
         {{"G?itag=5", "240p"}, {"H?itag=17", "Mobile"}, {"I?itag=35", "480P"}, {"J?itag=34", "360P"}}},
        {"UpperCaseMarkerDoesNotMatch", "url=K?ITAG=22&quality=a", {}},
        {"NoMarkerSkipsToNextEntry", "url=L?itag=18&quality=a,url=M?itag=37&quality=b", {{"M?itag=37", "1080P"}}},
        {"UrlInsideEntryBelongsToIt", "url=N?u=url=O&itag=22&quality=a", {{"N?u=url=O&itag=22", "720P"}}},
        {"Repeated", "url=P?itag=22&quality=a,url=P?itag=22&quality=a", {{"P?itag=22", "720P"}, {"P?itag=22", "720P"}}},
        {"OverlappingMarkersAtUrlEnd", "url=url=&quality=itag=5", {}},
    };
    for (const auto& c : cases) {
        Expected matches;
        for (const LinkMatch& m : ScanStreamEntries(c.block)) {
            matches.emplace_back(m.entry, m.quality->label);
        }
        EXPECT_EQ(matches, c.matches) << c.name;
    }
}

// The video's choice by quality, and the sound's: the best sound, of equals the smallest stream.
TEST(StreamScan, ChoosesThePreferredQualityElseTheBestLowerElseTheBestAndTheBestSound) {
    const auto row = [](std::string_view label) {
        return &*std::ranges::find(QualityTable, label, &QualityRow::label);
    };
    const struct {
        const char* name;
        std::vector<std::string_view> offered; // labels, in page order
        const QualityRow* preferred;
        std::optional<std::size_t> chosen;
        bool sound = false; // the sound's choice rather than the video's
    } cases[] = {
        {"Preferred", {"240p", "720P", "1080P"}, row("720P"), 1},
        {"BestOnThePage", {"240p", "Mobile", "480P"}, nullptr, 2},
        {"BestLower", {"Mobile", "240p", "1080P", "360P"}, row("720P"), 3},
        {"NothingLowerTakesTheBest", {"720P", "1080P"}, row("Mobile"), 1},
        {"FirstOfEqualRows", {"360P", "360P"}, row("360P"), 0},
        {"NoMatches", {}, nullptr, std::nullopt},
        {"SoundSameAacInASmallerStream", {"1080P", "720P", "480P"}, nullptr, 1, true},
        {"SoundBestThoughNotTheBestPicture", {"Mobile", "240p", "360P"}, nullptr, 2, true},
        {"SoundMp3At64OverAacAt24", {"Mobile", "240p"}, nullptr, 1, true},
        {"SoundFirstOfEqualRows", {"360P", "480P", "360P"}, nullptr, 0, true},
        {"SoundNoMatches", {}, nullptr, std::nullopt, true},
    };
    for (const auto& c : cases) {
        std::vector<LinkMatch> matches;
        for (const std::string_view label : c.offered) {
            matches.push_back({"", row(label)});
        }
        EXPECT_EQ(c.sound ? ChooseSound(matches) : ChooseQuality(matches, c.preferred), c.chosen) << c.name;
    }
}

LinkMatch Match(std::string entry, std::size_t row) { return {std::move(entry), &QualityTable[row]}; }

TEST(ResultsPage, IsComposedPieceByPiece) {
    const struct {
        const char* name;
        std::vector<LinkMatch> matches;
        std::string adBlock, page; // the page after the heading
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

class GoPipeline : public ::testing::Test {
protected:
    GoOutcome Run(const GoFolders& folders, const std::string& ad = kAdUrl) {
        const auto fetch = [this](const std::string& link) -> FetchedPage {
            m_fetched.push_back(link);
            const auto page = m_pages.find(link);
            return page == m_pages.end() ? FetchedPage{{}, "refused"} : FetchedPage{page->second, {}};
        };
        return WriteGo(FetchGo(kWatch, fetch, ad), folders);
    }
    GoOutcome Run(const std::string& ad = kAdUrl) { return Run({m_folder, m_folder / "fallback"}, ad); }

    testing::TemporaryFolder m_folder;
    std::map<std::string, std::string> m_pages;
    std::vector<std::string> m_fetched;
};

TEST_F(GoPipeline, StagesRunInOrderAndStopWithoutPlayerParameters) {
    const std::string three = Row("720P", "http://v/a?itag=22") + Row("240p", "v/b?itag=5");
    const std::string mobile = Row("Mobile", "v/c?itag=17") + "\r\n";
    using Kind = GoOutcome::Kind;
    const std::vector<std::string> watchOnly{kWatch}, both{kWatch, kAdUrl};
    const std::string unknown = "flashvars url=x?itag=99&quality=hd</script>";
    const struct {
        const char* name;
        std::optional<std::string> watchPage, adPage; // nothing: the fetch fails
        std::string adAddress;
        const std::vector<std::string>& fetches;
        Kind kind;
        std::string written;
    } cases[] = {
        {"NotFetched", std::nullopt, "ad", kAdUrl, watchOnly, Kind::NotFetched, ""},
        {"NoMarkers", "<html>gone</html>", "ad", kAdUrl, watchOnly, Kind::NoParameters, ""},
        {"AdAfterTheSecondRow", kStreams, "ad", kAdUrl, both, Kind::Written, kResultsHeading + three + kAd + mobile},
        {"FailedAdFetch", kStreams, std::nullopt, kAdUrl, both, Kind::Written, kResultsHeading + three + mobile},
        {"NoAdAddress", kStreams, "ad", "", watchOnly, Kind::Written, kResultsHeading + three + mobile},
        {"NoKnownQuality", unknown, "ad", kAdUrl, both, Kind::Written, kResultsHeading + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_folder / "temp.html");
        m_fetched.clear();
        m_pages.clear();
        for (const auto& [link, page] : {std::pair{kWatch, c.watchPage}, std::pair{kAdUrl, c.adPage}}) {
            if (page) {
                m_pages[link] = *page;
            }
        }
        const GoOutcome outcome = Run(c.adAddress);
        EXPECT_EQ(m_fetched, c.fetches);
        ASSERT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.pageFailure, c.kind == Kind::NotFetched ? "refused" : "");
        if (c.kind == Kind::Written) {
            EXPECT_EQ(outcome.resultsFile, m_folder / "temp.html");
            EXPECT_EQ(ReadFile(outcome.resultsFile), c.written);
        } else {
            EXPECT_FALSE(fs::exists(m_folder / "temp.html"));
        }
    }
}

TEST_F(GoPipeline, UnwritableProgramFolderFallsBackAndBothFailuresAreNamed) {
    m_pages = {{kWatch, kStreams}};
    // Not even root may create files in sysfs.
    const fs::path unwritable = "/sys";
    GoOutcome outcome = Run({unwritable, m_folder / "data" / "Veltrin"});
    ASSERT_EQ(outcome.kind, GoOutcome::Kind::Written);
    EXPECT_EQ(outcome.resultsFile, m_folder / "data" / "Veltrin" / "temp.html");
    EXPECT_TRUE(ReadFile(outcome.resultsFile).starts_with(kResultsHeading));

    std::ofstream(m_folder / "plain") << "a file where a folder should be";
    outcome = Run({unwritable, m_folder / "plain" / "Veltrin"});
    ASSERT_EQ(outcome.kind, GoOutcome::Kind::WriteFailed);
    EXPECT_EQ(outcome.failure.path, (m_folder / "plain" / "Veltrin").string());
    EXPECT_EQ(outcome.failure.reason, "Not a directory");
    ASSERT_TRUE(outcome.programFolderFailure.has_value());
    EXPECT_EQ(outcome.programFolderFailure->path, "/sys/temp.html");

    // Other failures of the program folder are reported as they are, without a fallback.
    fs::create_directory(m_folder / "temp.html");
    outcome = Run();
    ASSERT_EQ(outcome.kind, GoOutcome::Kind::WriteFailed);
    EXPECT_EQ(outcome.failure.reason, "Is a directory");
    EXPECT_FALSE(outcome.programFolderFailure.has_value());
    EXPECT_EQ(testing::FileNames(m_folder), (std::set<std::string>{"data", "plain", "temp.html"}))
        << "no fallback, and no temporary left behind";
}

} // namespace
} // namespace veltrin
