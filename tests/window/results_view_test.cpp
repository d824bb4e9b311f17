#include "window_fixture.h"

#include "library/downloads.h"
#include "window/downloads_window.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <unistd.h>

namespace veltrin::testing {
namespace {

const QString kText = QStringLiteral("document.body ? document.body.innerText : ''"); // what the page shows

class ResultsView : public Window {
protected:
    QString WatchLink() const { return Link("/watch"); }

    // The engine's view, once it shows the results file.
    QWebEngineView* ShownEngine() {
        const QUrl results = QUrl::fromLocalFile(m_window->ResultsFile());
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->ResultsView()->Url() == results; }, 5000));
        return qobject_cast<QWebEngineView*>(m_window->ResultsView()->View());
    }

    // Asked of the page in a script world of the test's own: the page's own scripting is off.
    static QVariant Evaluate(QWebEngineView* engine, const QString& script) {
        QVariant result;
        bool done = false;
        engine->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000)) << script.toStdString();
        return result;
    }
};

TEST_F(ResultsView, FollowedStreamLinkIsSavedUnderItsTitleAndListed) {
    const std::string video(300000, 'v');
    m_server->Get("/stream", [&](const httplib::Request& req, httplib::Response& res) {
        res.status = req.get_param_value("n") == "caf\u00E9" ? 200 : 404;
        res.set_content(video, "video/mp4");
    });
    // The entry reads "...&n=caf\u00C3\u00A9" once decoded, and its row is still found.
    const std::string page = WatchPage("My Clip", "", {{m_server.Url("/stream?itag=22&n=caf%C3%A9"), "hd720"}});
    m_server->Get("/watch-local", [page](const auto&, auto& res) { res.set_content(page, "text/html"); });
    Go(Link("/watch-local"));
    QWebEngineView* engine = ShownEngine();
    ASSERT_NE(engine, nullptr);
    const QString where = QStringLiteral("var r = document.querySelector('a img').getBoundingClientRect();"
                                         "[r.left, r.top, r.width, r.height]");
    QRect link; // where the link's picture is
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QVariantList r = Evaluate(engine, where).toList();
            if (r.size() == 4 && r[2].toInt() > 0) {
                link = QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
            }
            return link.isValid();
        },
        5000));

    std::vector<QString> proposed;
    m_window->SetSaveChooser([&](const QString& file) {
        proposed.push_back(file);
        return QString::fromStdString((m_folder / "saved").string()); // the dialog adds the extension
    });
    QWidget* surface = engine->focusProxy() ? engine->focusProxy() : engine;
    BoxAnswerer boxes({QMessageBox::Cancel, QMessageBox::Ok}); // the same stream again: Cancel, then again
    std::ofstream(m_folder / "saved.mp4") << "an older file";  // the dialog asked to replace it
    const auto finished = [&](int rows) {
        Downloads* list = m_window->DownloadList();
        return QTest::qWaitFor(
            [&] { return list->rowCount() == rows && list->Entry(rows - 1).live.state == DownloadState::Finished; });
    };
    QTest::mouseClick(surface, Qt::LeftButton, {}, link.center());
    ASSERT_TRUE(finished(1));
    EXPECT_TRUE(ReadFile(m_folder / "saved.mp4") == video) << "replaced once whole";
    QTest::mouseClick(surface, Qt::LeftButton, {}, link.center()); // asks, and Cancel
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 1; }));
    QTest::mouseClick(surface, Qt::LeftButton, {}, link.center()); // Download again
    ASSERT_TRUE(finished(2));
    EXPECT_FALSE(fs::exists(m_folder / "saved (2).mp4")) << "the name confirmed is the name used";
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_TRUE(boxes.seen[0].text.startsWith(QStringLiteral("saved.mp4 was downloaded on ")))
        << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(boxes.seen[0].text.endsWith(
        QStringLiteral(" to %1. Download it again?").arg(QString::fromStdString(m_folder.Path().string()))));
    ASSERT_EQ(proposed.size(), 2u) << "Cancel asks nothing more";
    EXPECT_EQ(proposed[0].toStdString(),
              QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString() + "/My Clip (720P).mp4");
    EXPECT_EQ(proposed[1].toStdString(), (m_folder / "My Clip (720P).mp4").string()) << "the folder used last";
}

// Whatever the results file holds, the view runs no script, reads no other local file, follows no
// link but web ones and lets no frame take it elsewhere or open windows.
TEST_F(ResultsView, PageRunsNoScriptReadsNoOtherFileAndFollowsOnlyWebLinks) {
    std::atomic<int> adFetches{0};
    std::atomic<int> strays{0};
    m_server->Get("/hostile-ad", [&](const auto&, auto& res) {
        ++adFetches;
        res.set_content("<script>top.location = '/stray'; window.open('/stray');</script>", "text/html");
    });
    m_server->Get("/stray", [&](const auto&, auto& res) {
        ++strays;
        res.set_content("away", "text/html");
    });
    Go(WatchLink());
    WebBrowser* view = m_window->ResultsView();
    const QUrl results = QUrl::fromLocalFile(m_window->ResultsFile());
    QWebEngineView* engine = ShownEngine();
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Evaluate(engine, kText).toString().contains(QStringLiteral("720P")); }));
    int savesAsked = 0;
    m_window->SetSaveChooser([&](const QString&) {
        ++savesAsked;
        return QString();
    });

    const fs::path folder = fs::path(results.toLocalFile().toStdString()).parent_path();
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString((folder / "dl.jpg").string()), "PNG"));
    ASSERT_TRUE(picture.save(QString::fromStdString((folder / "secret.png").string()), "PNG"));
    std::ofstream(folder / "temp.html") << "<script>document.title = 'ran';</script>"
                                           "<a id=js href=\"javascript:void(document.title = 'followed')\">j</a>"
                                           "<a id=file href='file:///etc/hostname'>f</a>"
                                           "<a id=data href='data:text/html,x'>d</a>"
                                           "<a id=ftp href='ftp://127.0.0.1:1/x'>t</a>"
                                           "<a id=web href='http://127.0.0.1:1/x'>w</a>"
                                           "<img id=pic src='dl.jpg'><img id=secret src='secret.png'>"
                                           "<iframe src='"
                                        << m_server.Url("/hostile-ad") << "'></iframe>";
    view->Navigate(m_window->ResultsFile());
    ASSERT_TRUE(QTest::qWaitFor([&] { return adFetches.load() == 1; }, 10000));
    const QString settled = QStringLiteral("[...document.images].every(i => i.complete)"); // loaded or refused
    ASSERT_TRUE(QTest::qWaitFor([&] { return Evaluate(engine, settled).toBool(); }));
    EXPECT_EQ(Evaluate(engine, QStringLiteral("document.getElementById('pic').naturalWidth")).toInt(), 4);
    EXPECT_EQ(Evaluate(engine, QStringLiteral("document.getElementById('secret').naturalWidth")).toInt(), 0);
    // Only the web link is followed, and then saved, not shown: the others, clicked before it, are
    // dropped by the time it is saved.
    for (const char* link : {"js", "file", "data", "ftp", "web"}) {
        Evaluate(engine, QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(link)));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return savesAsked > 0; }, 5000));
    EXPECT_EQ(view->Url(), results);
    EXPECT_EQ(savesAsked, 1);
    EXPECT_EQ(Evaluate(engine, QStringLiteral("document.title")).toString(), QString());
    EXPECT_EQ(strays.load(), 0);
    EXPECT_EQ(m_window->DownloadsView(), nullptr);
}

TEST_F(ResultsView, EachGoShowsItsOwnResultsInTheSameFileAndAReloadShowsNothingElse) {
    const std::string other = WatchPage("", "", StreamMap(41, {"http://v.test/c?itag=37", "hd1080"})); // long
    m_server->Get("/other", [other](const auto&, auto& res) { res.set_content(other, "text/html"); });
    EXPECT_FALSE(m_window->ResultsView()->EngineStarted()) << "the blank page needs no web engine";
    if (geteuid() == 0) { // the engine's sandbox refuses root and would end the program: the window says why
        const QByteArray sandboxSwitch = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
        BoxAnswerer boxes;
        Go(WatchLink());
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", sandboxSwitch);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 1; }, 2000));
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1")));
        EXPECT_FALSE(m_window->ResultsView()->EngineStarted());
        m_adFetches = 0;
    }
    Go(WatchLink());
    EXPECT_EQ(m_adFetches.load(), 1) << "the advertisement the settings name";
    QWebEngineView* engine = ShownEngine();
    ASSERT_NE(engine, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Evaluate(engine, kText).toString().contains(QStringLiteral("720P")); }));

    // A view, not a browser: reloading a results file that is gone shows no error page.
    fs::remove(m_folder / "temp.html");
    QSignalSpy refused(engine->page(), SIGNAL(HistoryRefused()));
    engine->page()->triggerAction(QWebEnginePage::Reload);
    EXPECT_TRUE(refused.wait(10000)) << "the reload was let through";
    EXPECT_TRUE(Evaluate(engine, kText).toString().contains(QStringLiteral("720P")));

    // Each new page opens at its top, though the file's name is the same.
    std::ofstream(m_folder / "temp.html") << std::string(200, 'x') << "<div style='height: 5000px'></div>";
    m_window->ResultsView()->Navigate(m_window->ResultsFile());
    const QString scrollDown = QStringLiteral("window.scrollTo(0, 3000); scrollY");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Evaluate(engine, scrollDown).toInt() == 3000; }));
    int load = 0; // 1 once the new page's load started, 2 once it ended
    QObject::connect(engine, &QWebEngineView::loadStarted, [&] { load = 1; });
    QObject::connect(engine, &QWebEngineView::loadFinished, [&] { load = load == 1 ? 2 : load; });
    Go(Link("/other"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Evaluate(engine, kText).toString().contains(QStringLiteral("1080P")); }))
        << Evaluate(engine, kText).toString().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return load == 2; })) << "the new page's load has ended";
    EXPECT_EQ(Evaluate(engine, QStringLiteral("scrollY")).toInt(), 0);
    EXPECT_GT(Evaluate(engine, QStringLiteral("document.body.scrollHeight")).toInt(), 1000);
}

} // namespace
} // namespace veltrin::testing
