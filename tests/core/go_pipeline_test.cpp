#include "core/go_pipeline.h"
#include "support/results_markup.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace veltrin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWatch = "http://site.test/watch";
constexpr const char* kAd = "http://ads.test/banner";
const std::string kStreams = "<script>flashvars=\"url%3Dhttp%253A%252F%252Fv%252Fa%253Fitag%253D22%26quality%3Dhd,"
                             "url%3Dv%252Fb%253Fitag%253D5%26quality%3Dsmall,"
                             "url%3Dv%252Fc%253Fitag%253D17%26quality%3Dsmall\"</script>";
using testing::kResultsHeading;
constexpr auto& Row = testing::ResultsRow;

using testing::ReadFile;

class GoPipeline : public ::testing::Test {
protected:
    GoOutcome Run(const GoFolders& folders, const std::string& ad = kAd) {
        const auto fetch = [this](const std::string& link) -> FetchedPage {
            m_fetched.push_back(link);
            const auto page = m_pages.find(link);
            return page == m_pages.end() ? FetchedPage{{}, "refused"} : FetchedPage{page->second, {}};
        };
        return WriteGo(FetchGo(kWatch, fetch, ad), folders);
    }
    GoOutcome Run(const std::string& ad = kAd) { return Run({m_folder, m_folder / "fallback"}, ad); }

    testing::TemporaryFolder m_folder;
    std::map<std::string, std::string> m_pages;
    std::vector<std::string> m_fetched;
};

TEST_F(GoPipeline, StagesRunInOrderAndStopWithoutPlayerParameters) {
    const std::string frame = testing::AdvertisementFrame(kAd);
    const std::string three = Row("720P", "http://v/a?itag=22") + Row("240p", "v/b?itag=5");
    const std::string mobile = Row("Mobile", "v/c?itag=17") + "\r\n";
    using Kind = GoOutcome::Kind;
    const std::vector<std::string> watchOnly{kWatch}, both{kWatch, kAd};
    const std::string unknown = "flashvars url=x?itag=99&quality=hd</script>";
    const struct {
        const char* name;
        std::optional<std::string> watchPage, adPage; // nothing: the fetch fails
        std::string adAddress;
        const std::vector<std::string>& fetches;
        Kind kind;
        std::string written;
    } cases[] = {
        {"NotFetched", std::nullopt, "ad", kAd, watchOnly, Kind::NotFetched, ""},
        {"NoMarkers", "<html>gone</html>", "ad", kAd, watchOnly, Kind::NoParameters, ""},
        {"AdAfterTheSecondRow", kStreams, "ad", kAd, both, Kind::Written, kResultsHeading + three + frame + mobile},
        {"FailedAdFetch", kStreams, std::nullopt, kAd, both, Kind::Written, kResultsHeading + three + mobile},
        {"NoAdAddress", kStreams, "ad", "", watchOnly, Kind::Written, kResultsHeading + three + mobile},
        {"NoKnownQuality", unknown, "ad", kAd, both, Kind::Written, kResultsHeading + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_folder / "temp.html");
        m_fetched.clear();
        m_pages.clear();
        for (const auto& [link, page] : {std::pair{kWatch, c.watchPage}, std::pair{kAd, c.adPage}}) {
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
