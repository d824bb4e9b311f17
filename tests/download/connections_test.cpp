#include "download/attempt_verdict.h"
#include "download/connection_plan.h"
#include "download/download_engine.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

namespace veltrin {
namespace {

using testing::ReadFile;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Span = std::vector<PartSpan>;

std::string Body(std::size_t size, char seed) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>(seed + (i * 131) % 97);
    }
    return body;
}

const std::string kBody = Body(1 << 20, 'a');
const std::string kOther = Body(kBody.size(), 'b');
constexpr std::int64_t kPiece = 32 << 10;
const DownloadEngine::Options kOptions{
    .firstPause = 20ms, .stallSeconds = 1, .keepEvery = 0ms, .splitFrom = 256 << 10, .splitPiece = kPiece};

TEST(PlanNextRange, TakesTheLargestFreeSpanElseHalvesTheLargestBusyOne) {
    const struct {
        const char* name;
        Span spans;
        std::string next;
    } rows[] = {
        {"the one connection's span halved", {{0, 100, 1000, true}}, "halve 0 at 550"},
        {"the largest of two halved", {{0, 100, 500, true}, {500, 600, 1000, true}}, "halve 0 at 300"},
        {"a free span before halving", {{0, 100, 500, true}, {500, 990, 1000, false}}, "take 1 from 990"},
        {"the largest free span", {{0, 10, 500, false}, {500, 600, 1000, false}}, "take 0 from 10"},
        {"whole spans are not taken", {{0, 500, 500, false}, {500, 600, 1000, true}}, "halve 1 at 800"},
        {"a span about to end kept whole", {{0, 937, 1000, true}}, "none"},
        {"two pieces exactly", {{0, 936, 1000, true}}, "halve 0 at 968"},
        {"nothing left", {{0, 1000, 1000, false}}, "none"},
        {"no spans", {}, "none"},
    };
    for (const auto& row : rows) {
        const NextRange next = PlanNextRange(row.spans, 32);
        const char* kinds[] = {"none", "take ", "halve "};
        std::string said = kinds[static_cast<int>(next.kind)];
        if (next.kind != NextRange::Kind::None) {
            said += std::to_string(next.index) + (next.kind == NextRange::Kind::Take ? " from " : " at ") +
                    std::to_string(next.at);
        }
        EXPECT_EQ(said, row.next) << row.name;
    }
}

TEST(JudgeLane, BacksOffStartsOverOrGoesOnAlone) {
    const DownloadProgress before{.saved = 500, .total = 1000, .validator = "\"v1\""};
    const AttemptFacts part{
        .status = 206, .rangeStart = 500, .rangeTotal = 1000, .validator = "\"v1\"", .partBytes = 500};
    const auto with = [&](auto change) {
        AttemptFacts facts = part;
        change(facts);
        return facts;
    };
    const auto ended = [&](CURLcode code, bool stalled = false) {
        return with([=](AttemptFacts& f) { f.result = code, f.stalled = stalled; });
    };
    const char* names[] = {"done", "free", "back off", "no ranges", "changed", "whole"};
    const struct {
        AttemptFacts facts;
        std::string end;
        bool others = true;
        bool rangeDone = false;
    } rows[] = {
        {ended(CURLE_WRITE_ERROR), "done", true, true}, // cut at its end
        {ended(CURLE_OK), "free"},                      // ended short
        {{.status = 403}, "back off"},
        {{.status = 429}, "back off"},
        {{.status = 503}, "back off"},
        {ended(CURLE_RECV_ERROR), "back off"},                // reset
        {ended(CURLE_ABORTED_BY_CALLBACK, true), "back off"}, // stalled
        {with([](auto& f) { f.rangeStart = 400; }), "back off"},
        {{.status = 200, .validator = "\"v1\""}, "no ranges"},
        {{.status = 200, .validator = "\"v2\""}, "changed"},
        {{.status = 200}, "changed"},
        {with([](auto& f) { f.validator = "\"v2\""; }), "changed"},
        {{.status = 416, .rangeTotal = 900}, "changed"},
        {{.status = 403}, "whole", false}, // the last connection: judged as the download
        {ended(CURLE_OK), "whole", false},
        {with([](auto& f) { f.writeError = ENOSPC; }), "whole"},
        {with([](auto& f) { f.partBytes = -1; }), "whole"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        EXPECT_EQ(names[static_cast<int>(JudgeLane(row.facts, before, row.rangeDone, row.others))], row.end)
            << "row " << i;
    }
}

// Many readers of odd sizes, one bucket: over ten seconds, the rate and a burst at most; a debt
// is paid at the rate; a quiet while earns no more than the burst; no limit holds nothing.
TEST(SpeedBucket, HoldsTheRateWhateverTheReads) {
    const SpeedBucket::Clock::time_point t0{};
    const auto ms = [](SpeedBucket::Clock::duration d) {
        return std::chrono::ceil<std::chrono::milliseconds>(d).count();
    };
    SpeedBucket shared;
    shared.SetRate(5000, t0);
    std::int64_t taken = 0;
    auto now = t0;
    for (int i = 0; now < t0 + 10s; ++i) {
        now += shared.Wait(now);
        const std::int64_t read = 1 + (i * 7919) % 1500;
        shared.Spend(read, now);
        taken += read;
    }
    EXPECT_NEAR(static_cast<double>(taken), 50000, 5000);
    shared.Spend(2500, now + 60s);
    EXPECT_EQ(ms(shared.Wait(now + 60s)), 400) << "2500 less a burst of 500, at 5000 a second";
    shared.SetRate(0, now + 60s);
    EXPECT_EQ(ms(shared.Wait(now + 60s)), 0);
}

// A server that sends ranges and answers If-Range itself, each connection paced, and misbehaving
// as a row asks.
enum class Fault { None, RefuseSecond, WholeLater, ChangeLater, StallSecond, ShortSecond, MoreThanAsked };

class Connections : public ::testing::Test {
protected:
    void SetUp() override {
        m_server->Get("/m", [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
        m_server.Start();
    }
    void TearDown() override {
        {
            std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
        m_engine.reset();
        m_server.Stop();
    }

    void Serve(const httplib::Request& req, httplib::Response& res) {
        std::unique_lock lock(m_mutex);
        const int n = ++m_requests;
        const std::string range = req.get_header_value("Range");
        const std::string ifRange = req.get_header_value("If-Range");
        m_asked.push_back(range + (ifRange.empty() ? "" : " if " + ifRange));
        if (m_fault == Fault::ChangeLater && n >= 2) {
            m_body = &kOther;
            m_etag = "\"v2\"";
        }
        const std::string& body = *m_body;
        res.set_header("ETag", m_etag);
        if (m_fault == Fault::RefuseSecond && n == 2) {
            res.status = 403;
            return;
        }
        std::size_t from = 0;
        std::size_t to = body.size();
        const bool ranged = range.starts_with("bytes=") && (ifRange.empty() || ifRange == m_etag) &&
                            !(m_fault == Fault::WholeLater && n >= 2);
        if (ranged) {
            from = std::stoul(range.substr(6));
            const auto dash = range.find('-');
            to = dash + 1 < range.size() ? std::stoul(range.substr(dash + 1)) + 1 : body.size();
            to = m_fault == Fault::MoreThanAsked ? body.size() : to;
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(from) + "-" + std::to_string(to - 1) + "/" +
                                                std::to_string(body.size()));
        } else {
            res.status = 200;
        }
        const std::size_t quietAt = m_fault == Fault::StallSecond && n == 2 ? from + kPiece : SIZE_MAX;
        const std::size_t cut = m_fault == Fault::ShortSecond && n == 2 ? from + kPiece : to;
        // Chunked: the server cuts nothing itself, and a length it reports is the one it sends.
        res.set_chunked_content_provider(
            "video/mp4", [this, &body, at = from, to, quietAt, cut](size_t, httplib::DataSink& sink) mutable {
                if (at == quietAt) {
                    std::unique_lock hold(m_mutex);
                    m_released.wait_for(hold, 30s, [this] { return m_release; });
                }
                if (at >= cut) {
                    if (cut == to) {
                        sink.done();
                    }
                    return cut == to;
                }
                std::this_thread::sleep_for(m_pace);
                const std::size_t piece = std::min<std::size_t>(16 << 10, cut - at);
                const bool sent = sink.write(body.data() + at, piece);
                at += piece;
                return sent;
            });
    }

    DownloadEngine& Engine() {
        if (!m_engine) {
            m_engine = std::make_unique<DownloadEngine>(kOptions, nullptr);
        }
        return *m_engine;
    }
    int Add(const Continuation& continuation = {}) {
        return Engine().Add(m_server.Url("/m"), {m_folder.Path(), "Clip", "mp4"}, continuation);
    }
    std::vector<std::string> Asked() {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }
    void Reset(Fault fault) {
        std::lock_guard lock(m_mutex);
        m_fault = fault;
        m_body = &kBody;
        m_etag = "\"v1\"";
        m_asked.clear();
        m_requests = 0;
    }

    testing::TemporaryFolder m_folder;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    Fault m_fault = Fault::None;
    const std::string* m_body = &kBody;
    std::string m_etag = "\"v1\"";
    std::chrono::milliseconds m_pace{20}; // 800 KB a second on each connection
    std::vector<std::string> m_asked;
    int m_requests = 0;
    testing::LoopbackServer<> m_server;
    std::unique_ptr<DownloadEngine> m_engine;
};

// Whatever the server does, the file saved is one version whole, or nothing is.
TEST_F(Connections, OneVersionWholeWhateverTheServerDoes) {
    const struct {
        const char* name;
        Fault fault;
        const std::string* saved;
        std::size_t asked; // requests, at least
    } rows[] = {
        {"each connection throttled", Fault::None, &kBody, 2},
        {"a second connection refused", Fault::RefuseSecond, &kBody, 3},
        {"the whole body for a later range", Fault::WholeLater, &kBody, 3},
        {"another version mid-download", Fault::ChangeLater, &kOther, 3},
        {"a connection stalls", Fault::StallSecond, &kBody, 3},
        {"a range ends short", Fault::ShortSecond, &kBody, 3},
        {"more sent than asked for", Fault::MoreThanAsked, &kBody, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset(row.fault);
        const DownloadInfo info = *Engine().Wait(Add(), 30s);
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_TRUE(ReadFile(info.file) == *row.saved);
        EXPECT_EQ(info.received, std::ssize(kBody)) << "each byte counted once";
        EXPECT_GE(Asked().size(), row.asked) << "a second connection was tried";
        fs::remove(info.file);
    }
}

// Stopped with several connections under way, the download goes on from every range's end
// in the next run, byte-exact; so does a record written by hand, with a tail of other bytes past
// each end it vouches for, and a part shorter than the body.
TEST_F(Connections, EveryRangeContinuedAfterAStop) {
    const Continuation clip{{"abc", 22}, "http://w", false, nullptr};
    Reset(Fault::None);
    m_pace = 100ms;
    Add(clip);
    const fs::path record = m_folder / "Clip.mp4.part.resume";
    ASSERT_TRUE(testing::WaitUntil(
        [&] {
            const auto r = ReadPartRecordOf(m_folder / "Clip.mp4");
            return r && r->ranges.size() >= 3 && r->written > 256 << 10;
        },
        20s))
        << ReadFile(record);
    m_engine.reset(); // as the program's end, or a kill a quarter second later
    m_pace = 0ms;
    Reset(Fault::None);
    const DownloadInfo info = *Engine().Wait(Add(clip), 20s);
    ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
    EXPECT_TRUE(ReadFile(info.file) == kBody);
    const auto continued = [this] {
        return std::ranges::all_of(Asked(), [](const std::string& a) { return a.ends_with(" if \"v1\""); });
    };
    EXPECT_TRUE(continued());
    EXPECT_FALSE(Asked().empty() || Asked().front().starts_with("bytes=0-"));
    fs::remove(info.file);

    // Written by hand: two ranges, each with a tail of another body past what the record vouches for.
    const std::int64_t size = std::ssize(kBody);
    std::string part = kBody;
    std::fill(part.begin() + 100000, part.begin() + 400000, 'x');
    std::fill(part.begin() + 700000, part.end(), 'x');
    part.resize(900000); // cut short, as a copy may be
    const PartRecord made{{"abc", 22}, "http://w", m_server.Url("/m"),
                          "\"v1\"",    size,       500000,
                          500000,      "",         {{0, 400000, 100000, 100000}, {400000, size, 700000, 700000}}};
    Reset(Fault::None);
    std::ofstream(m_folder / "Clip.mp4.part", std::ios::binary) << part;
    std::ofstream(record) << RecordText(made);
    const DownloadInfo again = *Engine().Wait(Add(clip), 20s);
    ASSERT_EQ(again.state, DownloadState::Finished) << again.reason;
    EXPECT_TRUE(ReadFile(again.file) == kBody);
    EXPECT_EQ(Asked().front(), "bytes=700000-1048575 if \"v1\"") << "the largest range left first";
    EXPECT_TRUE(continued());
}

// One limit, changed while they run, holds for two downloads of several connections together.
TEST_F(Connections, OneSpeedLimitForEverything) {
    Reset(Fault::None);
    m_pace = 0ms;
    constexpr std::int64_t kLimit = 512 << 10;
    DownloadEngine::Options options = kOptions;
    options.speedLimit = 64 << 10;
    m_engine = std::make_unique<DownloadEngine>(options, nullptr);
    const int ids[] = {Add(), Add()};
    const auto received = [&] { return Engine().Info(ids[0])->received + Engine().Info(ids[1])->received; };
    ASSERT_TRUE(testing::WaitUntil([&] { return Engine().Info(ids[1])->received > 0; }, 10s));
    const std::int64_t before = received();
    const auto changed = std::chrono::steady_clock::now();
    Engine().SetSpeedLimit(kLimit);
    for (const int id : ids) {
        ASSERT_EQ(Engine().Wait(id, 20s)->state, DownloadState::Finished);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - changed).count();
    EXPECT_NEAR(static_cast<double>(received() - before) / seconds, kLimit, kLimit / 10) << seconds << " s";
    EXPECT_GT(Asked().size(), 2u) << "the downloads had several connections";
}

// A full disk is found as the part takes its whole length, not half-way.
TEST_F(Connections, AFullDiskFailsAtOnceAndKeepsNothingWrong) {
    Reset(Fault::None);
    testing::FileSizeLimit full(512 << 10);
    const DownloadInfo info = *Engine().Wait(Add(), 20s);
    EXPECT_EQ(info.state, DownloadState::Failed);
    EXPECT_EQ(info.reason, "the file cannot be written: File too large");
    EXPECT_TRUE(testing::FileNames(m_folder).empty());
}

} // namespace
} // namespace veltrin
