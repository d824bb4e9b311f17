#include "library/downloads.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>

namespace veltrin::testing {
namespace {

namespace fs = std::filesystem;

// A finished video's sound kept as each row asks, through the real libraries: the row ends on the
// sound file with the video's part gone; a sound stopped half-way (the list gone, as in a kill) is
// kept at the next start from the whole part; a video without sound keeps its own name, and what
// is no video fails with its part kept for Retry.
TEST(Downloads, KeepsTheSoundOfAFinishedVideo) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the ffmpeg program, which makes the test media, is not installed";
    }
    TemporaryFolder media("veltrin-media");
    const std::string make = "cd '" + media.Path().string() + "' && ffmpeg -v error -nostdin -y -f lavfi -i " +
                             "testsrc=size=64x48:rate=5:duration=1 ";
    ASSERT_EQ(std::system((make + "-f lavfi -i sine=duration=1 -c:v mpeg4 -c:a aac sound.mp4").c_str()), 0);
    ASSERT_EQ(std::system((make + "-c:v mpeg4 silent.mp4").c_str()), 0);
    std::ofstream(media / "page.mp4") << "<!DOCTYPE html><html><body>Not here</body></html>\n";
    LoopbackServer server;
    server->Get(R"(/(\w+\.mp4))", [&](const httplib::Request& req, httplib::Response& res) {
        res.set_content(ReadFile(media / req.matches[1].str()), "video/mp4");
    });
    server.Start();
    using K = KeepForm;
    const struct {
        const char* video;
        K keep;
        bool stoppedFirst;
        const char* during; // what the row says while the sound is kept
        const char* file;   // the row's file at the end, which the folder holds alone
        const char* status; // how the row's text starts then
    } cases[] = {
        {"sound.mp4", K::Sound, false, nullptr, "Slow walk.m4a", "Finished, "},
        {"sound.mp4", K::Mp3, true, "Converting to MP3…", "Slow walk.mp3", "Finished, "},
        {"sound.mp4", K::Sound, true, "Copying the sound…", "Slow walk.m4a", "Finished, "},
        {"silent.mp4", K::Sound, false, nullptr, "Slow walk (720p).mp4", "This video has no sound to keep"},
        {"page.mp4", K::Mp3, false, nullptr, "Slow walk (720p).mp4", "Failed: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TemporaryFolder folder("veltrin-sound"), list("veltrin-list");
        const QString listFile = QString::fromStdString((list / "downloads.sqlite").string());
        const auto ended = [](Downloads& d) {
            return WaitUntil(
                [&] {
                    QCoreApplication::processEvents();
                    return d.rowCount() == 1 && IsEnded(d.Entry(0).live.state);
                },
                std::chrono::seconds(30));
        };
        StoredDownload row;
        row.title = "Slow walk";
        row.stream = {"v1", 22};
        row.keep = c.keep;
        row.sound = (folder / "Slow walk").string();
        // The row at its end: its text, its file, and the folder holding that alone (a failure, its part).
        const auto check = [&](Downloads& d) {
            ASSERT_TRUE(ended(d));
            EXPECT_TRUE(d.StatusText(0).startsWith(QString::fromUtf8(c.status))) << d.StatusText(0).toStdString();
            const bool failed = d.Entry(0).live.state == DownloadState::Failed;
            EXPECT_EQ(d.Actions(0).front(), failed ? Downloads::Action::Retry : Downloads::Action::Open);
            EXPECT_EQ(d.Entry(0).live.file, folder / c.file);
            const std::string file = c.file;
            EXPECT_EQ(FileNames(folder), (failed ? std::set{file + ".part", file + ".part.resume"} : std::set{file}));
        };
        {
            Downloads first;
            ASSERT_TRUE(first.OpenList(listFile).isEmpty());
            std::atomic<bool> asked{false};
            first.SetSoundSaver([&](const media::SoundJob& job) {
                asked = true;
                return c.stoppedFirst ? media::SoundResult{media::SoundResult::Kind::Stopped} : media::SaveSound(job);
            });
            first.Add(server.Url(std::string("/") + c.video), {folder.Path(), "Slow walk (720p)", "mp4"}, row);
            if (!c.stoppedFirst) {
                check(first);
                continue;
            }
            ASSERT_TRUE(WaitUntil(
                [&] {
                    QCoreApplication::processEvents(); // the engine's news reach the list here
                    return asked.load();
                },
                std::chrono::seconds(30)));
            QCoreApplication::processEvents();
            EXPECT_EQ(first.StatusText(0).toStdString(), c.during);
            EXPECT_TRUE(first.Actions(0).empty());
        }
        Downloads next;
        ASSERT_TRUE(next.OpenList(listFile).isEmpty());
        next.SetSoundSaver(&media::SaveSound);
        ASSERT_EQ(next.ContinueLeft().size(), 1U);
        check(next);
    }
}

} // namespace
} // namespace veltrin::testing
