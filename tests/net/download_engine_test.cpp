#include "net/download_engine.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>

namespace veltrin {
namespace {

using testing::FileNames;
using testing::LoopbackServer;
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

class Downloads : public ::testing::Test {
protected:
    void SetUp() override {
        auto& s = *m_server;
        // Drops the connection half-way, or goes quiet there for longer than the engine waits, the
        // first time it is asked; or drops after every 150000 bytes.
        s.Get("/(video|drop|stall|often)", [this](const httplib::Request& req, httplib::Response& res) {
            const bool first = req.matches[1] != "video" && ++m_drops == 1;
            const std::size_t from = req.ranges.empty() ? 0 : static_cast<std::size_t>(req.ranges[0].first);
            const std::size_t cut = req.matches[1] == "often" ? from + 150000 : first ? kHalf : kWhole;
            Serve(req, res, m_body, cut, first && req.matches[1] == "stall");
        });
        // Half of the body, then the rest of one that has changed length since: a part of it, or no
        // part at all, the body now shorter than the part or just as long.
        s.Get("/(changed|shortened|cut-to-the-part)", [this](const httplib::Request& req, httplib::Response& res) {
            const bool first = ++m_drops == 1;
            if (!first && !req.ranges.empty() && req.matches[1] != "changed") {
                Record(req);
                res.status = 416;
                const std::size_t now = req.matches[1] == "shortened" ? 1000 : kHalf;
                res.set_header("Content-Range", "bytes */" + std::to_string(now));
                return;
            }
            Serve(req, res, first ? m_body : m_changed, first ? kHalf : kWhole, false);
        });
        // Half of the body; then the part asked for, but of another body just as long (though the
        // If-Range sent names the first), or with the file it was to go on gone.
        s.Get("/(retagged|lost)", [this](const httplib::Request& req, httplib::Response& res) {
            const int turn = ++m_drops;
            const bool retagged = turn > 1 && req.matches[1] == "retagged";
            if (turn == 2 && !retagged) {
                fs::remove(m_folder / "Clip (720P).mp4.part");
            }
            Serve(req, res, retagged ? m_other : m_body, turn == 1 ? kHalf : kWhole, false,
                  retagged ? "\"v2\"" : "\"v1\"");
        });
        s.Get("/(ignores-range|whole-then-drop)", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            const bool first = ++m_drops == 1;
            if (!first && req.matches[1] == "whole-then-drop") {
                res.status = 416; // asked for what comes after the last byte
                res.set_header("Content-Range", "bytes */" + std::to_string(m_body.size()));
                return;
            }
            // Sent in chunks, which this server never cuts to a range: a Range request gets it all.
            // The first answer ends half-way, or after the last byte but before the closing chunk.
            const std::size_t cut = !first ? kWhole : req.matches[1] == "ignores-range" ? kHalf : m_body.size();
            res.set_chunked_content_provider("video/mp4", [this, cut](size_t offset, httplib::DataSink& sink) {
                if (offset >= cut) {
                    return false;
                }
                if (offset == m_body.size()) {
                    sink.done();
                    return true;
                }
                return sink.write(m_body.data() + offset, std::min<std::size_t>(64 * 1024, m_body.size() - offset));
            });
        });
        // Too many requests, then an error of its own, then the body.
        s.Get("/busy", [this](const httplib::Request& req, httplib::Response& res) {
            const int turn = ++m_drops;
            if (turn < 3) {
                Record(req);
                res.status = turn == 1 ? 429 : 503;
                res.set_content("come back later", "text/plain");
                return;
            }
            Serve(req, res, m_body, kWhole, false);
        });
        // The first thousand bytes of the body, as a part of it, whatever was asked for.
        s.Get("/first-part", [this](const auto&, httplib::Response& res) {
            res.status = 206;
            res.set_header("Content-Range", "bytes 0-999/" + std::to_string(m_body.size()));
            res.set_chunked_content_provider("video/mp4", [this](size_t offset, httplib::DataSink& sink) {
                if (offset > 0) {
                    sink.done();
                    return true;
                }
                return sink.write(m_body.data(), 1000);
            });
        });
        s.Get("/sign-in", [](const auto&, auto& res) { res.set_content("<html>Sign in</html>", "text/html"); });
        s.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            testing::ServeSlowly(res, m_body, "video/mp4", 8 * 1024, 5ms);
        });
        s.Get("/held", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            {
                std::unique_lock lock(m_mutex);
                ++m_held;
                m_released.wait_for(lock, 10s, [this] { return m_release; });
            }
            res.set_content(m_body, "video/mp4");
        });
        s.Get("/(missing|broken)", [](const httplib::Request& req, httplib::Response& res) {
            res.status = req.matches[1] == "missing" ? 404 : 503;
            res.set_content("not now", "text/html");
        });
        s.Get("/empty", [](const auto&, auto& res) { res.set_content("", "video/webm"); });
        s.Get("/loop", [](const auto&, auto& res) { res.set_redirect("/loop"); });
        s.Get("/to-file", [](const auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
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

    // Serves body, or the part a Range request asks for (the server cuts it), under one ETag
    // whatever the body unless told another; the connection ends at cut, after going quiet there
    // for longer than the engine waits when stall is set.
    void Serve(const httplib::Request& req, httplib::Response& res, const std::string& body, std::size_t cut,
               bool stall, const char* etag = "\"v1\"") {
        Record(req);
        res.set_header("ETag", etag);
        res.set_content_provider(
            body.size(), "video/mp4", [&body, cut, stall](size_t offset, size_t length, httplib::DataSink& sink) {
                if (offset >= cut) {
                    if (stall) {
                        std::this_thread::sleep_for(3s);
                    }
                    return false;
                }
                return sink.write(body.data() + offset, std::min({std::size_t{64 * 1024}, length, cut - offset}));
            });
    }

    void Record(const httplib::Request& req) {
        std::lock_guard lock(m_mutex);
        const std::string ifRange = req.get_header_value("If-Range");
        m_ranges.push_back(req.get_header_value("Range") + (ifRange.empty() ? "" : " if " + ifRange));
        m_userAgent = req.get_header_value("User-Agent");
    }

    DownloadEngine& Engine() {
        if (!m_engine) {
            DownloadEngine::Options options;
            options.firstPause = 20ms;
            options.stallSeconds = 1;
            options.userAgent = "Veltrin test";
            m_engine = std::make_unique<DownloadEngine>(options, nullptr);
        }
        return *m_engine;
    }

    DownloadInfo WaitForEnd(int id) {
        const auto ended = [&] {
            const DownloadState state = Engine().Info(id)->state;
            return state == DownloadState::Finished || state == DownloadState::Failed ||
                   state == DownloadState::Cancelled;
        };
        EXPECT_TRUE(testing::WaitUntil(ended, 20s)) << "download " << id << " did not end";
        return *Engine().Info(id);
    }

    DownloadTarget Target(std::optional<std::string> extension = "mp4") const {
        return {m_folder, "Clip (720P)", extension};
    }

    std::vector<std::string> Ranges() {
        std::lock_guard lock(m_mutex);
        return m_ranges;
    }

    std::string m_body = Body(1 << 20, 'a');
    std::string m_changed = m_body + "and more";
    std::string m_other = Body(m_body.size(), 'b');
    const std::size_t kHalf = m_body.size() / 2;
    static constexpr std::size_t kWhole = std::string::npos;
    testing::TemporaryFolder m_folder;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    int m_held = 0;
    std::vector<std::string> m_ranges;
    std::string m_userAgent;
    std::atomic<int> m_drops{0};
    LoopbackServer<> m_server;
    std::unique_ptr<DownloadEngine> m_engine;
};

TEST_F(Downloads, BrokenTransfersResumeAndEndByteExact) {
    const std::string rest = "bytes=524288- if \"v1\"";
    std::vector<std::string> often = {""};
    for (int from = 150000; from < 1 << 20; from += 150000) {
        often.push_back("bytes=" + std::to_string(from) + "- if \"v1\""); // more than the retries allowed
    }
    const struct {
        const char* path;
        std::vector<std::string> ranges;   // what the server was asked, in turn
        const std::string* body = nullptr; // what is saved, when not the body first served
    } cases[] = {
        {"/video", {""}},
        {"/drop", {"", rest}},
        {"/stall", {"", rest}},
        {"/often", often},
        {"/busy", {"", "", ""}},
        {"/whole-then-drop", {"", "bytes=1048576-"}},
        // Answers the Range request with the whole body (and calls it partial): started over.
        {"/ignores-range", {"", "bytes=524288-", ""}},
        {"/changed", {"", rest, ""}, &m_changed},
        {"/shortened", {"", rest, ""}, &m_changed},
        // Says that nothing is left after the part saved, of a body said to be twice as long.
        {"/cut-to-the-part", {"", rest, ""}, &m_changed},
        {"/retagged", {"", rest, ""}, &m_other},
        {"/lost", {"", rest, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        {
            std::lock_guard lock(m_mutex);
            m_ranges.clear();
        }
        m_drops = 0;
        const DownloadInfo info = WaitForEnd(Engine().Add(m_server.Url(c.path), Target()));
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_EQ(info.file, m_folder / "Clip (720P).mp4");
        EXPECT_TRUE(ReadFile(info.file) == (c.body ? *c.body : m_body)) << fs::file_size(info.file) << " bytes";
        EXPECT_EQ(Ranges(), c.ranges);
        EXPECT_EQ(FileNames(m_folder), std::set<std::string>{"Clip (720P).mp4"});
        fs::remove(info.file);
    }
    EXPECT_EQ(m_userAgent, "Veltrin test");
}

TEST_F(Downloads, FailuresSayWhyAndLeaveNoFile) {
    const struct {
        const char* name;
        std::string url;
        DownloadTarget target;
        std::string reason;
        rlim_t fileSizeLimit = RLIM_INFINITY;
    } cases[] = {
        {"NotFound", m_server.Url("/missing"), Target(), "the server answered 404"},
        {"WebPageForAVideo", m_server.Url("/sign-in"), Target(), "the server sent a web page, not the video"},
        {"OnlyEverTheFirstPart", m_server.Url("/first-part"), Target(),
         "the server sent another part than the one asked for (tried 6 times)"},
        {"ServerErrorEveryTime", m_server.Url("/broken"), Target(), "the server answered 503 (tried 6 times)"},
        {"RedirectLoop", m_server.Url("/loop"), Target(), "Maximum (10) redirects followed"},
        {"RedirectToAFile", m_server.Url("/to-file"), Target(), "Protocol \"file\" not supported"},
        {"NotHttp", "ftp://127.0.0.1/x", Target(), "Protocol \"ftp\" not supported"},
        {"FolderVanished",
         m_server.Url("/video"),
         {m_folder / "gone", "Clip", "mp4"},
         "the folder cannot be written: No such file or directory"},
        {"DiskFull", m_server.Url("/video"), Target(), "the file cannot be written: File too large", 100 * 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<testing::FileSizeLimit> full;
        if (c.fileSizeLimit != RLIM_INFINITY) {
            full.emplace(c.fileSizeLimit);
        }
        const DownloadInfo info = WaitForEnd(Engine().Add(c.url, c.target));
        EXPECT_EQ(info.state, DownloadState::Failed);
        EXPECT_NE(info.reason.find(c.reason), std::string::npos) << info.reason;
        EXPECT_TRUE(FileNames(m_folder).empty());
    }
}

TEST_F(Downloads, PauseResumeAndCancel) {
    const int paused = Engine().Add(m_server.Url("/slow"), Target());
    const int cancelled = Engine().Add(m_server.Url("/slow"), Target());
    ASSERT_TRUE(testing::WaitUntil([&] { return Engine().Info(paused)->received > 100000; }, 10s));
    Engine().Pause(paused);
    Engine().Cancel(cancelled);
    ASSERT_TRUE(testing::WaitUntil([&] { return Engine().Info(paused)->state == DownloadState::Paused; }, 5s));
    EXPECT_EQ(WaitForEnd(cancelled).state, DownloadState::Cancelled);
    const auto atPause = *Engine().Info(paused);
    const std::string part = atPause.file.filename().string() + ".part";
    EXPECT_EQ(FileNames(m_folder), std::set<std::string>{part}) << "the cancelled one's part is gone";
    EXPECT_EQ(fs::file_size(m_folder / part), static_cast<std::uintmax_t>(atPause.received));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Engine().Info(paused)->received, atPause.received) << "nothing arrives while paused";

    Engine().Resume(paused);
    const DownloadInfo info = WaitForEnd(paused);
    ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
    EXPECT_TRUE(ReadFile(info.file) == m_body);
    EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(atPause.received) + "-");
    EXPECT_EQ(Engine().Unfinished(), 0);
}

TEST_F(Downloads, ThreeAtOnceTheRestQueuedAndNoNameReplaced) {
    std::ofstream(m_folder / "Clip (720P).mp4") << "already here";
    std::vector<int> ids;
    for (int i = 0; i < 4; ++i) {
        ids.push_back(Engine().Add(m_server.Url("/held"), Target()));
    }
    ASSERT_TRUE(testing::WaitUntil(
        [&] {
            std::lock_guard lock(m_mutex);
            return m_held == 3;
        },
        10s));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Engine().Info(ids[3])->state, DownloadState::Queued);
    {
        std::lock_guard lock(m_mutex);
        EXPECT_EQ(m_held, 3);
        m_release = true;
    }
    m_released.notify_all();
    std::set<fs::path> files;
    for (const int id : ids) {
        const DownloadInfo info = WaitForEnd(id);
        ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
        EXPECT_TRUE(ReadFile(info.file) == m_body);
        files.insert(info.file);
    }
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(ReadFile(m_folder / "Clip (720P).mp4"), "already here");
    EXPECT_EQ(FileNames(m_folder),
              (std::set<std::string>{"Clip (720P).mp4", "Clip (720P) (2).mp4", "Clip (720P) (3).mp4",
                                     "Clip (720P) (4).mp4", "Clip (720P) (5).mp4"}));
}

TEST_F(Downloads, EmptyStreamAndExtensionFromTheContentType) {
    const DownloadInfo info = WaitForEnd(Engine().Add(m_server.Url("/empty"), Target(std::nullopt)));
    ASSERT_EQ(info.state, DownloadState::Finished) << info.reason;
    EXPECT_EQ(info.file, m_folder / "Clip (720P).webm");
    EXPECT_EQ(fs::file_size(info.file), 0u);
}

} // namespace
} // namespace veltrin
