#include "window_fixture.h"

#include "library/downloads.h"
#include "support/wait_until.h"
#include "window/downloads_window.h"

#include <QListView>

#include <atomic>

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
    int Start(const std::string& path) {
        m_window->DownloadLink(QUrl(Link(path)));
        return List()->RowOf(++m_started);
    }
    Downloads* List() const { return m_window->DownloadList(); }
    const DownloadInfo& Info(int row) const { return List()->Entry(row).live; }
    bool Shows(int row, const QString& start) const {
        return QTest::qWaitFor([&] { return List()->StatusText(row).startsWith(start); }, 10000);
    }
    // Clicks the row's button where the list draws it.
    void Click(int row, Downloads::Action action) const {
        const QRect button = m_window->DownloadsView()->ButtonAt(row, action);
        ASSERT_FALSE(button.isEmpty()) << "no such button";
        ASSERT_TRUE(m_window->DownloadsView()->View()->viewport()->rect().contains(button)) << "out of view";
        QTest::mouseClick(m_window->DownloadsView()->View()->viewport(), Qt::LeftButton, {}, button.center());
    }
    using A = Downloads::Action;

    std::string m_video = std::string(400000, 'v');
    int m_started = 0;
    std::vector<std::string> m_proposed; // the names the save dialog proposed
    std::vector<std::string> m_ranges;   // the Range header of each request for /slow
};

TEST_F(DownloadsView, OneWindowFollowsEveryDownload) {
    const int paused = Start("/slow");
    EXPECT_TRUE(m_window->DownloadsView()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info(paused).received > 0; }, 10000));
    EXPECT_TRUE(List()->StatusText(paused).contains(QStringLiteral(" of ")));
    Click(paused, A::Pause);
    ASSERT_TRUE(Shows(paused, QStringLiteral("Paused at")));
    EXPECT_EQ(List()->Actions(paused), (std::vector{A::Resume, A::Cancel}));

    m_window->DownloadsView()->close(); // closing the list stops nothing
    const int failed = Start("/missing");
    EXPECT_TRUE(m_window->DownloadsView()->isVisible()) << "a new download opens the list again";
    EXPECT_TRUE(Shows(failed, QStringLiteral("Failed: the server answered 404")));
    const int cancelled = Start("/slow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info(cancelled).received > 0; }, 10000));
    Click(cancelled, A::Cancel);
    EXPECT_TRUE(Shows(cancelled, QStringLiteral("Cancelled")));
    EXPECT_EQ(List()->Actions(cancelled), (std::vector{A::Retry, A::Remove}));

    Click(paused, A::Resume);
    ASSERT_TRUE(Shows(paused, QStringLiteral("Finished")));
    EXPECT_TRUE(ReadFile(Info(paused).file) == m_video);
    EXPECT_EQ(List()->Actions(paused), (std::vector{A::Open, A::Folder, A::Remove}));
    // A link without a known format code: the dialog cannot know the server's type, the file can.
    EXPECT_EQ(m_proposed.front(), "video (video)");
    EXPECT_EQ(FileNames(m_folder / "saved"), std::set<std::string>{"video (video).webm"});

    // Opening what this desktop has no program for, or what is gone, says so.
    BoxAnswerer boxes;
    Click(paused, A::Open);
    fs::remove(Info(paused).file);
    EXPECT_TRUE(List()->StatusText(paused).endsWith(QStringLiteral("the file is no longer there")));
    // The buttons under the list do for the keyboard what those in the current row do.
    DownloadsWindow* view = m_window->DownloadsView();
    view->View()->setCurrentIndex(List()->index(paused));
    EXPECT_TRUE(List()->index(paused).data(Qt::AccessibleDescriptionRole).toString().startsWith(u"Finished"));
    view->ButtonFor(A::Folder)->click();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_TRUE(boxes.seen[0].text.startsWith(QStringLiteral("No program on this desktop opens")));
    EXPECT_TRUE(boxes.seen[1].text.startsWith(QStringLiteral("No program"))) << "the folder is still there";

    Click(failed, A::Remove);
    EXPECT_EQ(List()->rowCount(), 2);
    EXPECT_EQ(List()->List()->All().size(), 2u) << "the list kept is the list shown";
}

// Quit keeps what runs and what is paused; the next start continues the one that ran, byte-exact,
// and leaves the paused one paused.
TEST_F(DownloadsView, QuitKeepsDownloadsAndTheNextStartContinuesThem) {
    m_window->close(); // nothing runs: no question
    EXPECT_FALSE(m_window->isVisible());
    Open();
    const std::vector<fs::path> files{m_folder / "one.mp4", m_folder / (std::string(200, 'n') + ".mp4")};
    m_window->SetSaveChooser([&](const QString&) { return QString::fromStdString(files[m_started++].string()); });
    for (int i = 0; i < 2; ++i) {
        m_window->DownloadLink(QUrl(Link("/slow")));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info(1).received > 0; }, 10000));

    BoxAnswerer boxes({QMessageBox::Cancel, QMessageBox::Ok});
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
    ASSERT_EQ(List()->rowCount(), 2);
    ASSERT_TRUE(Shows(0, QStringLiteral("Finished")));
    EXPECT_TRUE(List()->StatusText(1).startsWith(QStringLiteral("Paused at"))) << "its bytes are known";
    m_window->ShowDownloads();
    EXPECT_EQ(List()->data(List()->index(1), Qt::ToolTipRole).toString().toStdString(), files[1].string());
    Click(1, A::Resume); // in view, beside a name of any length
    ASSERT_TRUE(Shows(1, QStringLiteral("Finished")));
    EXPECT_TRUE(ReadFile(files[1]) == m_video);
    Open(); // finished ones stay listed
    m_window->ShowDownloads();
    EXPECT_TRUE(QTest::qWaitFor([&] { return List()->rowCount() == 2 && Shows(1, QStringLiteral("Finished")); }));
}

// The save dialog's type is what the row keeps, the name's extension put right for it; a sound's
// row has the video under its planned name, and the sound's place as chosen.
TEST_F(DownloadsView, SaveDialogsTypeIsWhatTheRowKeeps) {
    const std::string page = WatchPage("Slow walk", "", {{m_server.Url("/missing?itag=22"), "hd720"}});
    // A copy: the address looked up again for /missing may ask for the page after the test.
    m_server->Get("/watch-sound", [page](const auto&, auto& res) { res.set_content(page, "text/html"); });
    Go(Link("/watch-sound"));
    const std::string video = "Slow walk (720P).mp4";
    // What is chosen, what is kept, the row's file and the sound's place.
    for (const auto& [chosen, keep, file, sound] :
         std::vector<std::tuple<const char*, KeepForm, std::string, const char*>>{
             {"clip.mp3", KeepForm::Video, "clip.mp4", ""},
             {"Slow walk", KeepForm::Sound, video, "Slow walk"},
             {"Walk.mp4", KeepForm::Mp3, video, "Walk"}}) {
        m_window->SetSaveChooser([&](const QString& proposed) {
            EXPECT_EQ(QFileInfo(proposed).fileName().toStdString(), video);
            return MainWindow::SaveChoice(QString::fromStdString((m_folder / chosen).string()), keep);
        });
        m_window->DownloadLink(QUrl(Link("/missing?itag=22")));
        const StoredDownload& row = List()->Entry(List()->rowCount() - 1).row;
        EXPECT_EQ(std::tie(row.keep, row.target, row.sound),
                  std::tuple(keep, (m_folder / file).string(), *sound ? (m_folder / sound).string() : ""))
            << chosen;
    }
}

TEST_F(DownloadsView, EndWhileHiddenIsAnnounced) {
    const int finished = Start("/slow");
    HideBehindIcon();
    ASSERT_TRUE(Shows(finished, QStringLiteral("Finished")));
    Start("/missing");
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_said.size() == 2; }, 10000));
    EXPECT_EQ(m_said.at(0), QStringLiteral("Download finished|video (video).webm"));
    EXPECT_TRUE(m_said.at(1).startsWith(QStringLiteral("Download failed|"))) << m_said.at(1).toStdString();
}

// The window opens beside the main one, fits its buttons, walks them with Tab as they stand, keeps
// a row current after Clear finished and draws no progress before bytes arrive; while it is the
// active window, nothing is announced, as its rows say it already.
TEST_F(DownloadsView, ListWindowIsLaidOutAsItIsSeen) {
    bool announced = false;
    m_window->SetNotifier([&](const QString&, const QString&) { announced = true; });
    std::atomic<bool> answer{false};
    m_server->Get("/held", [&](const auto&, auto& res) {
        WaitUntil([&] { return answer.load(); }, std::chrono::seconds(20)); // no bytes till then
        res.status = 404;
    });
    static const std::string slow(4000000, 'l'), quick(4000, 'q'); // outlive the test, as its server may
    for (const auto& [path, body] : {std::pair{"/long", &slow}, std::pair{"/quick", &quick}}) {
        m_server->Get(path, [body](const auto&, auto& res) {
            ServeSlowly(res, *body, "video/webm", 4096, std::chrono::milliseconds(20));
        });
    }
    Start("/long"), Start("/long"); // run on
    const int finished = Start("/quick");
    ASSERT_TRUE(Shows(finished, QStringLiteral("Finished")));
    const int held = Start("/held");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info(held).state == DownloadState::Downloading; }));
    DownloadsWindow* view = m_window->DownloadsView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isActiveWindow(); }));
    // Where the screen has no room beside the window, the window covers as little of it as it can.
    EXPECT_EQ(view->frameGeometry().top(), m_window->frameGeometry().top());
    EXPECT_TRUE(view->frameGeometry().left() == 0 || view->frameGeometry().left() > m_window->frameGeometry().right());

    view->View()->setCurrentIndex(List()->index(finished)); // the most buttons
    view->View()->setFocus();
    auto* clear = view->findChild<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(clear->text(), QStringLiteral("Clear finished"));
    int left = 0;
    for (QPushButton* button :
         {view->ButtonFor(A::Open), view->ButtonFor(A::Folder), view->ButtonFor(A::Remove), clear}) {
        EXPECT_TRUE(view->rect().contains(button->geometry()) && button->width() >= button->sizeHint().width())
            << button->text().toStdString();
        EXPECT_GT(button->x(), left) << button->text().toStdString();
        left = button->x();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), button) << button->text().toStdString();
    }

    const QRect row = view->View()->visualRect(List()->index(held)).adjusted(6, 0, -6, 0);
    const QImage shot = view->View()->viewport()->grab(row).toImage();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            ASSERT_LT(c.blue() - c.red(), 60) << "no progress drawn at " << x << "," << y;
        }
    }
    QTest::keyClick(clear, Qt::Key_Space);
    ASSERT_EQ(List()->rowCount(), 3);
    EXPECT_EQ(List()->List()->All().size(), 3u) << "the list kept is the list shown";
    EXPECT_EQ(view->View()->currentIndex().row(), 2) << "the row that took the cleared one's place";
    EXPECT_TRUE(view->ButtonFor(A::Cancel)->isVisible());
    answer = true;
    ASSERT_TRUE(Shows(2, QStringLiteral("Failed")));
    EXPECT_FALSE(announced);
}

} // namespace
} // namespace veltrin::testing
