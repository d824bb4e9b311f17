#include "download/connection_plan.h"
#include "download/download_engine.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace veltrin {
namespace {

using testing::FileNames;
using testing::ReadFile;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Body(std::size_t size, char seed) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>(seed + (i * 131) % 97);
    }
    return body;
}

const std::string kBody = Body(1 << 20, 'a');
const std::string kOther = Body(kBody.size(), 'b');
const std::string kEmpty;
constexpr std::size_t kHalf = 1 << 19;
constexpr std::size_t kWhole = std::string::npos;
const std::string kRest = "bytes=524288- if \"v1\""; // the second half, asked of the same version
// Named, and with every string listed: GCC 12 at -O3 takes other ones' strings for uninitialised.
const StreamIdentity kClip{"abc", 22};
const Continuation kContinued{kClip, "http://w", false, nullptr};
const DownloadEngine::Options kOne{
    .firstPause = 20ms, .stallSeconds = 1, .keepEvery = 0ms, .userAgent = "Veltrin test", .connections = 1};

// What the server does with one request. It cuts a Range request's part itself, unless told a
// status; chunked answers it never cuts.
struct Turn {
    int status = 0;
    const std::string* body = &kBody;
    std::size_t cut = kWhole;     // the connection ends after this many bytes of the body
    std::size_t quietAt = kWhole; // it goes quiet after this many, until the test ends
    bool chunked = false;
    const char* type = "video/mp4";
    const char* etag = "\"v1\"";
    bool losePart = false;   // the part file goes first
    bool loseFolder = false; // the folder "gone" goes half-way
    bool slow = false;       // 640 KB a second
};

// A loopback server and an engine; the requests noted as "Range if If-Range", and a hold on the
// server's answers that the test releases.
class Served : public ::testing::Test {
protected:
    void TearDown() override {
        Release();
        m_engine.reset();
        m_server.Stop();
    }
    std::size_t Note(const httplib::Request& req) { // under m_mutex
        const std::string ifRange = req.get_header_value("If-Range");
        m_asked.push_back(req.get_header_value("Range") + (ifRange.empty() ? "" : " if " + ifRange));
        return m_asked.size();
    }
    void Hold() {
        std::unique_lock lock(m_mutex);
        m_released.wait_for(lock, 30s, [this] { return m_release; }); // longer than a test waits
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_release = true;
        m_released.notify_all();
    }
    std::vector<std::string> Asked() {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

    testing::TemporaryFolder m_folder;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    std::vector<std::string> m_asked;
    testing::LoopbackServer<> m_server;
    std::unique_ptr<DownloadEngine> m_engine;
};

// One route that plays its script a request at a time, the last turn for every request after.
class Downloads : public Served {
protected:
    void SetUp() override {
        m_server->Get("/s", [this](const httplib::Request& req, httplib::Response& res) {
            Turn turn;
            {
                std::lock_guard lock(m_mutex);
                m_userAgent = req.get_header_value("User-Agent");
                turn = m_script[std::min(Note(req), m_script.size()) - 1];
            }
            Play(turn, res);
        });
        m_server.Start();
    }

    void Play(const Turn& turn, httplib::Response& res) {
        if (turn.losePart) {
            fs::remove(m_folder / "Clip (720P).mp4.part");
        }
        const std::string& body = *turn.body;
        const std::size_t cut = std::min(turn.cut, body.size());
        res.set_header("ETag", turn.etag);
        res.status = turn.status ? turn.status : -1;
        if (turn.status == 416) {
            return res.set_header("Content-Range", "bytes */" + std::to_string(body.size()));
        }
        const auto send = [this, &body, cut, turn](size_t offset, httplib::DataSink& sink) {
            if (offset == turn.quietAt) {
                Hold();
            }
            std::this_thread::sleep_for(turn.slow ? 100ms : 0ms);
            if (offset == kHalf && turn.loseFolder) {
                fs::remove_all(m_folder / "gone");
            }
            if (offset == body.size() && turn.cut == kWhole) {
                sink.done(); // a chunked answer's end; without it, the connection breaks
                return true;
            }
            return offset < cut && sink.write(body.data() + offset, std::min<std::size_t>(64 * 1024, cut - offset));
        };
        if (turn.chunked) {
            return res.set_chunked_content_provider(turn.type, send);
        }
        res.set_content_provider(body.size(), turn.type,
                                 [send](size_t offset, size_t, httplib::DataSink& sink) { return send(offset, sink); });
    }

    void Script(std::vector<Turn> script) {
        std::lock_guard lock(m_mutex);
        m_script = std::move(script);
        m_asked.clear();
    }
    DownloadEngine& Engine() {
        if (!m_engine) {
            m_engine = std::make_unique<DownloadEngine>(kOne, nullptr);
        }
        return *m_engine;
    }
    DownloadInfo WaitForEnd(int id) { return *Engine().Wait(id, 20s); }
    int Add(std::string folder = "", std::optional<std::string> extension = "mp4") {
        return Engine().Add(m_server.Url("/s"), {m_folder / folder, "Clip (720P)", extension});
    }

    std::vector<Turn> m_script{Turn{}};
    std::string m_userAgent;
};

TEST_F(Downloads, EveryEndThroughTheRealTransfer) {
    const struct {
        const char* name;
        std::vector<Turn> script;            // the last turn's body is the one saved
        std::vector<std::string> asked;      // the Range and If-Range of each request, in turn
        std::string end = "Clip (720P).mp4"; // the file saved, or why it failed
        const char* folder = "";
        bool full = false;
    } rows[] = {
        {"whole", {{}}, {""}},
        {"dropped", {{.cut = kHalf}, {}}, {"", kRest}},
        {"stalled", {{.cut = kHalf, .quietAt = kHalf}, {}}, {"", kRest}},
        {"the whole for the rest",
         {{.status = 200, .cut = kHalf, .chunked = true}, {.status = 200, .chunked = true}},
         {"", kRest}},
        {"a break after the end",
         {{.cut = kBody.size(), .chunked = true, .etag = "W/\"v1\""}, {.status = 416}},
         {"", "bytes=1048576-"}},
        {"the rest of another", {{.cut = kHalf}, {.body = &kOther, .etag = "\"v2\""}}, {"", kRest, ""}},
        {"the part file lost", {{.cut = kHalf}, {.losePart = true}, {}}, {"", kRest, ""}},
        {"empty, named by its type",
         {{.body = &kEmpty, .chunked = true, .type = "video/webm"}},
         {""},
         "Clip (720P).webm"},
        {"no folder", {{}}, {}, "failed: the folder cannot be written: No such file or directory", "gone"},
        {"the folder gone half-way",
         {{.loseFolder = true}},
         {""},
         "failed: the folder cannot be written: No such file or directory",
         "gone"},
        {"a full disk", {{}}, {}, "failed: the file cannot be written: File too large", "", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Script(row.script);
        if (row.script.front().loseFolder) {
            fs::create_directory(m_folder / "gone");
        }
        std::optional<testing::FileSizeLimit> full;
        if (row.full) {
            full.emplace(100 * 1024);
        }
        const auto typed = row.end.ends_with("webm") ? std::nullopt : std::optional<std::string>("mp4");
        const DownloadInfo info = WaitForEnd(Add(row.folder, typed));
        const bool saved = info.state == DownloadState::Finished;
        EXPECT_TRUE((saved ? info.file.filename().string() : "failed: " + info.reason).starts_with(row.end))
            << info.reason;
        if (!row.asked.empty()) {
            EXPECT_EQ(Asked(), row.asked);
        }
        EXPECT_EQ(FileNames(m_folder), saved ? std::set<std::string>{row.end} : std::set<std::string>{});
        EXPECT_TRUE(!saved || ReadFile(info.file) == *row.script.back().body) << fs::file_size(info.file) << " bytes";
        fs::remove(info.file);
    }
    EXPECT_EQ(m_userAgent, "Veltrin test");
}

// What an earlier run left, at each phase it could have stopped in, continued by the next.
TEST_F(Downloads, ContinuesAPartOnlyWhereItsRecordVouchesForIt) {
    static const std::string part = "Clip (720P).mp4.part", record = part + ".resume", file = "Clip (720P).mp4",
                             next = "Clip (720P) (2).mp4";
    const auto saying = [&](std::size_t bytes, std::function<void(PartRecord&)> change = {}) {
        PartRecord r{kClip, "http://w", "http://old", "\"v1\"", std::ssize(kBody), static_cast<std::int64_t>(bytes)};
        if (change) {
            change(r);
        }
        return RecordText(r);
    };
    const std::string rest0 = "bytes=524288- if \"v0\"", end = "bytes=1048576- if \"v1\"";
    const auto v0 = [](PartRecord& r) { r.validator = "\"v0\""; };
    const std::string e401 = "the server answered 401", tooLarge = "the file cannot be written: File too large";
    // A part that is not this download's stays as it is, beside the next name; a failure keeps it.
    const struct {
        const char* name;
        std::size_t partBytes;    // of kBody, in the part left
        std::string record;       // beside it
        std::vector<Turn> script; // the last turn's body is the one saved
        std::vector<std::string> asked;
        std::string end = file; // the file saved, or why it failed
        bool afresh = false;
        int held = 0; // 1: another live process holds the part; 2: it has another name, as a finished one has
    } rows[] = {
        {"between attempts", 0, saying(0), {{}}, {""}},
        {"mid-body", kHalf, saying(kHalf), {{}}, {kRest}},
        {"a tail not yet on the disk", kHalf + 4000, saying(kHalf), {{}}, {kRest}},
        {"after the last byte, before its name", kBody.size(), saying(kBody.size()), {{.status = 416}}, {end}},
        {"another validator", kHalf, saying(kHalf, v0), {{.status = 200, .chunked = true}}, {rest0}},
        {"another length", kHalf, saying(kHalf, [](auto& r) { r.total = 2 << 20; }), {{}}, {kRest, ""}},
        {"asked to start afresh", kHalf, saying(kHalf), {{}}, {""}, file, true},
        {"another stream's part", kHalf, saying(kHalf, [](auto& r) { r.stream.format = 18; }), {{}}, {""}, next},
        {"another process's part", kHalf, saying(kHalf), {{}}, {""}, next, false, 1},
        {"a part with a second name", kHalf, saying(kHalf), {{}}, {""}, next, false, 2},
        {"an expired address found again", kHalf, saying(kHalf), {{.status = 410}, {}}, {kRest, kRest}},
        {"a failure keeps it", 0, saying(0), {{.cut = kHalf}, {.status = 401}}, {"", kRest}, "failed: " + e401},
        {"a full disk keeps it", kHalf, saying(kHalf), {{}}, {kRest}, "failed: " + tooLarge},
    };
    int found = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Script(row.script);
        std::ofstream(m_folder / part, std::ios::binary) << (kBody + kOther).substr(0, row.partBytes);
        std::ofstream(m_folder / record) << row.record;
        const int held = row.held == 1 ? ::open((m_folder / part).c_str(), O_RDONLY) : -1;
        ::flock(held, LOCK_EX);
        const fs::path elsewhere = m_folder.Path().string() + ".link";
        if (row.held == 2) {
            fs::create_hard_link(m_folder / part, elsewhere);
        }
        std::optional<testing::FileSizeLimit> full;
        if (row.end.ends_with("large")) {
            full.emplace(kHalf + 100 * 1024);
        }
        const Continuation continuation{kClip, "http://w", row.afresh, [&] {
                                            ++found;
                                            return std::optional(m_server.Url("/s?again"));
                                        }};
        const DownloadInfo info =
            WaitForEnd(Engine().Add(m_server.Url("/s"), {m_folder.Path(), "Clip (720P)", "mp4"}, continuation));
        full.reset();
        const bool saved = info.state == DownloadState::Finished;
        EXPECT_EQ(saved ? info.file.filename().string() : "failed: " + info.reason, row.end);
        EXPECT_EQ(Asked(), row.asked);
        const auto left = row.end == file ? std::set{file}
                          : saved         ? std::set{part, record, next}
                                          : std::set{part, record};
        EXPECT_EQ(FileNames(m_folder), left);
        EXPECT_TRUE(!saved || ReadFile(info.file) == kBody) << fs::file_size(info.file) << " bytes";
        if (!saved) { // what is kept is continued by the next run
            EXPECT_GE(ReadPartRecordOf(m_folder / file).value_or(PartRecord{}).saved, std::ssize(kBody) / 2);
            EXPECT_EQ(ReadPartRecordOf(m_folder / file).value_or(PartRecord{}).validator, "\"v1\"");
        }
        ::close(held);
        fs::remove(elsewhere);
        for (const std::string& name : FileNames(m_folder)) {
            fs::remove(m_folder / name);
        }
    }
    EXPECT_EQ(found, 1);
}

// A download kept whole for a step after keeps its part's name, its record marked whole and the
// part unlocked; the next run (that step stopped) finds it whole and asks the server nothing.
TEST_F(Downloads, KeptWholeUnderThePartsName) {
    Script({{.etag = ""}});
    Continuation whole = kContinued;
    whole.keepWhole = true;
    for (int run = 0; run < 2; ++run) {
        const DownloadInfo info =
            WaitForEnd(Engine().Add(m_server.Url("/s"), {m_folder.Path(), "Clip (720P)", "mp4"}, whole));
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_EQ(info.file, m_folder / "Clip (720P).mp4");
        EXPECT_EQ(FileNames(m_folder), (std::set<std::string>{"Clip (720P).mp4.part", "Clip (720P).mp4.part.resume"}));
        EXPECT_TRUE(ReadFile(PartPathOf(info.file)) == kBody);
        EXPECT_TRUE(ReadPartRecordOf(info.file).value_or(PartRecord{}).whole);
        EXPECT_EQ(info.note, run == 0 ? "" : "\"Clip (720P).mp4.part\" is whole already");
    }
    EXPECT_EQ(Asked(), std::vector<std::string>{""});
    EXPECT_TRUE(RemovePartOf(m_folder / "Clip (720P).mp4"));
}

TEST_F(Downloads, ThreeAtOnceTheRestQueuedAndNoNameReplaced) {
    std::ofstream(m_folder / "Clip (720P).mp4") << "already here";
    EXPECT_FALSE(DownloadEngine({}, nullptr).Wait(1)) << "an engine that never started ends at once";
    Script({{.quietAt = 0}});
    const std::vector<int> ids = {
        Add(), Add(), Add(), Engine().Add(m_server.Url("/s"), {m_folder.Path(), "Clip (720P)", "mp4"}, kContinued)};
    // Three take every place while they are held; a queued continuation holds its part already,
    // so that no other process continues it meanwhile.
    ASSERT_TRUE(testing::WaitUntil([&] { return Asked().size() == 3 && !Engine().Info(ids[3])->file.empty(); }, 10s));
    EXPECT_EQ(Engine().Info(ids[3])->state, DownloadState::Queued);
    EXPECT_TRUE(PartHeldElsewhere(Engine().Info(ids[3])->file));
    Release();
    for (const int id : ids) {
        const DownloadInfo info = WaitForEnd(id);
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_TRUE(ReadFile(info.file) == kBody);
    }
    EXPECT_EQ(ReadFile(m_folder / "Clip (720P).mp4"), "already here");
    EXPECT_EQ(FileNames(m_folder),
              (std::set<std::string>{"Clip (720P).mp4", "Clip (720P) (2).mp4", "Clip (720P) (3).mp4",
                                     "Clip (720P) (4).mp4", "Clip (720P) (5).mp4"}));
}

// A watch page slow to give a stream's address again holds up its own download only; one the
// engine no longer needs, cancelled or with the engine gone, is left to end by itself.
TEST_F(Downloads, AnAddressLookedUpBesideTheOthers) {
    struct Gate {
        std::promise<void> open;
        std::shared_future<void> opened = open.get_future().share();
        std::atomic<int> asked = 0, answered = 0;
    };
    const auto gate = std::make_shared<Gate>();
    // Made whole before it is filled in: GCC 12 at -O3 takes a listed one's strings for uninitialised.
    Continuation lost;
    lost.stream = {"abc", 22};
    lost.page = "http://w";
    lost.findAddress = [gate, again = m_server.Url("/s")] {
        ++gate->asked;
        gate->opened.wait_for(20s);
        ++gate->answered;
        return std::optional(again);
    };
    Script({{.status = 410}, {.slow = true}, {.status = 410}});
    const auto addLost = [&] { return Engine().Add(m_server.Url("/s"), {m_folder.Path(), "Lost", "mp4"}, lost); };
    const int first = addLost();
    ASSERT_TRUE(testing::WaitUntil([&] { return gate->asked == 1; }, 10s));
    const int other = Add();
    EXPECT_TRUE(testing::WaitUntil([&] { return Engine().Info(other)->received > 0; }, 10s));
    EXPECT_EQ(Engine().Info(first)->state, DownloadState::Retrying);
    Engine().Cancel(first);
    EXPECT_EQ(Engine().Wait(first, 5s)->state, DownloadState::Cancelled);
    EXPECT_EQ(WaitForEnd(other).state, DownloadState::Finished);
    addLost();
    ASSERT_TRUE(testing::WaitUntil([&] { return gate->asked == 2; }, 10s));
    m_engine.reset(); // returns with the look-up under way
    EXPECT_EQ(FileNames(m_folder), std::set<std::string>{"Clip (720P).mp4"});
    EXPECT_EQ(gate->answered, 0);
    gate->open.set_value();
    EXPECT_TRUE(testing::WaitUntil([&] { return gate->answered == 2; }, 10s));
}

using Span = std::vector<PartSpan>;
constexpr std::int64_t kPiece = 32 << 10;
const DownloadEngine::Options kOptions{
    .firstPause = 20ms, .stallSeconds = 1, .keepEvery = 0ms, .splitFrom = 256 << 10, .splitPiece = kPiece};

TEST(PlanNextRange, TakesTheLargestFreeSpanElseHalvesTheLargestBusyOne) {
    // A free span before halving; whole spans are not taken; one about to end is kept whole.
    const std::pair<Span, std::string> rows[] = {
        {{{0, 100, 1000, true}}, "halve 0 at 550"},
        {{{0, 100, 500, true}, {500, 600, 1000, true}}, "halve 0 at 300"},
        {{{0, 100, 500, true}, {500, 990, 1000, false}}, "take 1 from 990"},
        {{{0, 500, 500, false}, {500, 600, 1000, true}}, "halve 1 at 800"},
        {{{0, 937, 1000, true}}, "none"},
        {{{0, 936, 1000, true}}, "halve 0 at 968"},
        {{{0, 1000, 1000, false}}, "none"},
    };
    for (const auto& [spans, expected] : rows) {
        const NextRange next = PlanNextRange(spans, 32);
        const char* kinds[] = {"none", "take ", "halve "};
        const char* at = next.kind == NextRange::Kind::Take ? " from " : " at ";
        EXPECT_EQ(
            kinds[static_cast<int>(next.kind)] +
                (next.kind == NextRange::Kind::None ? "" : std::to_string(next.index) + at + std::to_string(next.at)),
            expected);
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
enum class Fault { None, RefuseSecond, WholeLater, ChangeLater, StallSecond, ShortSecond, MoreThanAsked, WrongPart };

class Connections : public Served {
protected:
    void SetUp() override {
        m_server->Get("/m", [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
        m_server.Start();
        m_engine = std::make_unique<DownloadEngine>(kOptions, nullptr);
    }

    void Serve(const httplib::Request& req, httplib::Response& res) {
        std::unique_lock lock(m_mutex);
        const std::string range = req.get_header_value("Range");
        const std::string ifRange = req.get_header_value("If-Range");
        const std::size_t n = Note(req);
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
            from = m_fault == Fault::WrongPart && n >= 2 ? 0 : std::stoul(range.substr(6));
            const auto dash = range.find('-');
            to = dash + 1 < range.size() ? std::stoul(range.substr(dash + 1)) + 1 : body.size();
            to = m_fault == Fault::MoreThanAsked ? body.size() : to;
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(from) + "-" + std::to_string(to - 1) + "/" +
                                                std::to_string(body.size()));
        } else {
            res.status = 200;
        }
        m_firstAtThird = n == 3 ? m_firstSent.load() : m_firstAtThird;
        const std::size_t quietAt = m_fault == Fault::StallSecond && n == 2 ? from + kPiece : SIZE_MAX;
        const std::size_t cut = m_fault == Fault::ShortSecond && n == 2 ? from + kPiece : to;
        // Chunked: the server cuts nothing itself, and a length it reports is the one it sends.
        res.set_chunked_content_provider(
            "video/mp4", [this, &body, at = from, to, quietAt, cut, n](size_t, httplib::DataSink& sink) mutable {
                if (at == quietAt) {
                    Hold();
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
                m_firstSent = n == 1 ? at : m_firstSent.load();
                return sent;
            });
    }

    int Add(const Continuation& continuation = {}) {
        return m_engine->Add(m_server.Url("/m"), {m_folder.Path(), "Clip", "mp4"}, continuation);
    }
    void Reset(Fault fault) {
        std::lock_guard lock(m_mutex);
        m_fault = fault;
        m_body = &kBody;
        m_etag = "\"v1\"";
        m_asked.clear();
        m_firstSent = m_firstAtThird = 0;
    }

    Fault m_fault = Fault::None;
    const std::string* m_body = &kBody;
    std::string m_etag = "\"v1\"";
    std::chrono::milliseconds m_pace{20};     // 800 KB a second on each connection
    std::atomic<std::size_t> m_firstSent = 0; // by the first request
    std::size_t m_firstAtThird = 0;           // as the third came
};

// Whatever the server does, the file saved is one version whole, or nothing is.
TEST_F(Connections, OneVersionWholeWhateverTheServerDoes) {
    const struct {
        const char* name;
        Fault fault;
        const std::string* saved;
        std::size_t asked; // requests, at least
        bool full = false;
    } rows[] = {
        {"each connection throttled", Fault::None, &kBody, 2},
        {"a second connection refused", Fault::RefuseSecond, &kBody, 3},
        {"the whole body for a later range", Fault::WholeLater, &kBody, 3},
        {"another version mid-download", Fault::ChangeLater, &kOther, 3},
        {"a connection stalls", Fault::StallSecond, &kBody, 3},
        {"a range ends short", Fault::ShortSecond, &kBody, 3},
        {"more sent than asked for", Fault::MoreThanAsked, &kBody, 2},
        {"the first part for a later range", Fault::WrongPart, &kBody, 3},
        // A full disk is found as the part takes its whole length, not half-way.
        {"a full disk", Fault::None, nullptr, 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset(row.fault);
        std::optional<testing::FileSizeLimit> full;
        if (row.full) {
            full.emplace(512 << 10);
        }
        const DownloadInfo info = *m_engine->Wait(Add(), 30s);
        if (row.full) {
            EXPECT_EQ(info.reason, "the file cannot be written: File too large");
            EXPECT_TRUE(testing::FileNames(m_folder).empty());
            continue;
        }
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_TRUE(ReadFile(info.file) == *row.saved);
        EXPECT_EQ(info.received, std::ssize(kBody)) << "each byte counted once";
        EXPECT_GE(Asked().size(), row.asked) << "a second connection was tried";
        EXPECT_TRUE(row.fault != Fault::RefuseSecond || m_firstAtThird > 400000) << "none added after a refusal";
        fs::remove(info.file);
    }
}

// Stopped with several connections under way, the download goes on from every range's end
// in the next run, byte-exact; so does a record written by hand, with a tail of other bytes past
// each end it vouches for, and a part shorter than the body.
TEST_F(Connections, EveryRangeContinuedAfterAStop) {
    Reset(Fault::None);
    m_pace = 100ms;
    Add(kContinued);
    ASSERT_TRUE(testing::WaitUntil(
        [&] {
            const auto r = ReadPartRecordOf(m_folder / "Clip.mp4");
            return r && r->ranges.size() >= 3 && r->written > 256 << 10;
        },
        20s));
    m_engine = std::make_unique<DownloadEngine>(kOptions, nullptr); // the program's end, and a new start
    m_pace = 0ms;
    Reset(Fault::None);
    const DownloadInfo info = *m_engine->Wait(Add(kContinued), 20s);
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
    PartRecord made{kClip, "http://w", m_server.Url("/m"), "\"v1\"", size, 500000, 500000};
    made.ranges = {{0, 400000, 100000, 100000}, {400000, size, 700000, 700000}};
    Reset(Fault::None);
    std::ofstream(m_folder / "Clip.mp4.part", std::ios::binary) << part;
    std::ofstream(m_folder / "Clip.mp4.part.resume") << RecordText(made);
    const DownloadInfo again = *m_engine->Wait(Add(kContinued), 20s);
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
    const auto received = [&] { return m_engine->Info(ids[0])->received + m_engine->Info(ids[1])->received; };
    ASSERT_TRUE(testing::WaitUntil([&] { return m_engine->Info(ids[1])->received > 0; }, 10s));
    const std::int64_t before = received();
    const auto changed = std::chrono::steady_clock::now();
    m_engine->SetSpeedLimit(kLimit);
    for (const int id : ids) {
        ASSERT_EQ(m_engine->Wait(id, 20s)->state, DownloadState::Finished);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - changed).count();
    EXPECT_NEAR(static_cast<double>(received() - before) / seconds, kLimit, kLimit / 10) << seconds << " s";
    EXPECT_GT(Asked().size(), 2u) << "the downloads had several connections";
}

} // namespace
} // namespace veltrin
