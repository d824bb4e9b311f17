#include "window_fixture.h"

#include "window/downloads.h"
#include "window/downloads_window.h"

namespace veltrin::testing {
namespace {

class DownloadsView : public Window {
protected:
    void SetUp() override {
        Window::SetUp();
        m_server->Get("/slow", [this](const auto& req, auto& res) {
            m_ranges.push_back(req.get_header_value("Range"));
            res.set_header("ETag", "\"v1\""); // without one, a part is not continued in a later run
            ServeSlowly(res, m_video, "video/webm", 4096, std::chrono::milliseconds(20));
        });
        m_server->Get("/missing", [](const auto&, auto& res) {
            res.status = 404;
            res.set_content("gone", "text/html");
        });
        m_window->SetSaveChooser([this](const QString& proposed) {
            const std::string name = m_proposed.emplace_back(QFileInfo(proposed).fileName().toStdString());
            return QString::fromStdString((m_folder / "saved" / name).string());
        });
        fs::create_directory(m_folder / "saved");
    }

    // Starts a download of a path of the test server and gives its row.
    DownloadRow* Start(const std::string& path) {
        m_window->DownloadLink(QUrl(QString::fromStdString(m_server.Url(path))));
        DownloadsWindow* view = m_window->DownloadsView();
        return view ? view->Row(++m_started) : nullptr;
    }

    static bool Shows(DownloadRow* row, const QString& start) {
        return QTest::qWaitFor([&] { return row->StatusText().startsWith(start); }, 10000);
    }

    std::string m_video = std::string(400000, 'v');
    int m_started = 0;
    std::vector<std::string> m_proposed; // the names the save dialog proposed
    std::vector<std::string> m_ranges;   // the Range header of each request for /slow
};

TEST_F(DownloadsView, OneWindowFollowsEveryDownload) {
    DownloadRow* paused = Start("/slow");
    ASSERT_NE(paused, nullptr);
    EXPECT_TRUE(m_window->DownloadsView()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return paused->Info().received > 0; }, 10000));
    EXPECT_TRUE(paused->StatusText().contains(QStringLiteral(" of "))) << paused->StatusText().toStdString();
    paused->PauseButton()->click();
    ASSERT_TRUE(Shows(paused, QStringLiteral("Paused at")));
    EXPECT_EQ(paused->PauseButton()->text(), QStringLiteral("Resume"));

    m_window->DownloadsView()->close(); // closing the list stops nothing
    DownloadRow* failed = Start("/missing");
    EXPECT_TRUE(m_window->DownloadsView()->isVisible()) << "a new download opens the list again";
    EXPECT_TRUE(Shows(failed, QStringLiteral("Failed: the server answered 404")));
    DownloadRow* cancelled = Start("/slow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled->Info().received > 0; }, 10000));
    cancelled->CancelButton()->click();
    EXPECT_TRUE(Shows(cancelled, QStringLiteral("Cancelled")));

    paused->PauseButton()->click();
    ASSERT_TRUE(Shows(paused, QStringLiteral("Finished")));
    EXPECT_TRUE(ReadFile(paused->Info().file) == m_video);
    EXPECT_TRUE(paused->OpenButton()->isVisibleTo(paused));
    EXPECT_TRUE(paused->FolderButton()->isVisibleTo(paused));
    EXPECT_FALSE(paused->PauseButton()->isVisibleTo(paused));
    // A link without a known format code: the dialog cannot know the server's type, the file can.
    EXPECT_EQ(m_proposed.front(), "video (video)");
    EXPECT_EQ(FileNames(m_folder / "saved"), std::set<std::string>{"video (video).webm"});
}

// Quit keeps what runs and what is paused; the next start continues the one that ran, byte-exact,
// and leaves the paused one paused.
TEST_F(DownloadsView, QuitKeepsDownloadsAndTheNextStartContinuesThem) {
    m_window->close(); // nothing runs: no question
    EXPECT_FALSE(m_window->isVisible());
    Open();
    const std::vector<fs::path> files{m_folder / "one.mp4", m_folder / "two.mp4"};
    m_window->SetSaveChooser([&](const QString&) { return QString::fromStdString(files[m_started++].string()); });
    for (int i = 0; i < 2; ++i) {
        m_window->DownloadLink(QUrl(QString::fromStdString(m_server.Url("/slow"))));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->DownloadsView()->Row(2)->Info().received > 0; }, 10000));

    BoxAnswerer boxes;
    boxes.answers = {QMessageBox::Cancel, QMessageBox::Ok};
    QString answered; // the question as it stands when it is answered
    boxes.react = [&](const BoxAnswerer::Seen&) {
        m_window->DownloadList()->Pause(2); // paused ones are not counted, even while it asks
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        EXPECT_TRUE(QTest::qWaitFor([&] { return box->text().startsWith(QStringLiteral("1 ")); }, 5000));
        answered = box->text();
    };
    m_window->close();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("2 downloads are still running. Quit now? They go on where they "
                                                 "stopped the next time Veltrin starts."));
    EXPECT_EQ(answered, QStringLiteral("1 download is still running. Quit now? It goes on where it stopped the "
                                       "next time Veltrin starts."));
    EXPECT_TRUE(m_window->isVisible()) << "Cancel keeps everything running";
    boxes.react = nullptr;
    m_window->close();
    EXPECT_EQ(boxes.seen.size(), 2u);
    EXPECT_FALSE(m_window->isVisible());
    m_window.reset();
    for (const fs::path& file : files) {
        EXPECT_TRUE(fs::exists(file.string() + ".part")) << "Quit keeps " << file;
    }

    m_ranges.clear();
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(files[0]); }, 20000)) << "the next start continues it";
    EXPECT_TRUE(ReadFile(files[0]) == m_video);
    EXPECT_TRUE(m_ranges.size() == 1 && m_ranges[0].rfind("bytes=", 0) == 0 && m_ranges[0] != "bytes=0-")
        << "it goes on from the bytes kept";
    EXPECT_TRUE(fs::exists(files[1].string() + ".part")) << "a paused one stays paused";
    EXPECT_FALSE(fs::exists(files[1]));
}

TEST_F(DownloadsView, EndWhileHiddenIsAnnounced) {
    shell::SetNotificationAreaForTesting(true);
    std::vector<QString> said;
    m_window->SetNotifier([&](const QString& title, const QString& text) {
        said.push_back(QStringList{title, text}.join(QLatin1Char('|')));
    });
    DownloadRow* finished = Start("/slow");
    m_window->setWindowState(Qt::WindowMinimized);
    ASSERT_FALSE(m_window->isVisible());
    ASSERT_TRUE(Shows(finished, QStringLiteral("Finished")));
    Start("/missing");
    EXPECT_TRUE(QTest::qWaitFor([&] { return said.size() == 2; }, 10000));
    EXPECT_EQ(said.at(0), QStringLiteral("Download finished|video (video).webm"));
    EXPECT_TRUE(said.at(1).startsWith(QStringLiteral("Download failed|"))) << said.at(1).toStdString();
}

} // namespace
} // namespace veltrin::testing
