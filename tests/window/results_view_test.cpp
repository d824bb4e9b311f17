#include "window_fixture.h"

#include "window/downloads_window.h"
#include "window/web_browser.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin::testing {
namespace {

class ResultsView : public Window {
protected:
    QString WatchLink() const { return QString::fromStdString(m_server.Url("/watch")); }
};

// A folder that this process cannot write: read-only by mount when it runs as root, which writes
// through permission bits, by its mode otherwise.
bool MakeUnwritable(const fs::path& folder) {
    if (geteuid() != 0) {
        return chmod(folder.c_str(), 0555) == 0;
    }
    return mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TEST_F(ResultsView, UnwritableProgramFolderFallsBackToTheUsersDataFolder) {
    const fs::path program = m_folder / "program";
    fs::create_directory(program);
    std::ofstream(program / "dl.jpg", std::ios::binary) << "picture";
    if (!MakeUnwritable(program)) {
        GTEST_SKIP() << "cannot make a folder unwritable here: " << std::strerror(errno);
    }
    BoxAnswerer boxes;
    Open(program);
    Go(WatchLink());
    const fs::path fallback = m_folder / "fallback";
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen.front().text.toStdString();
    EXPECT_FALSE(fs::exists(program / "temp.html"));
    EXPECT_NE(Read(fallback / "temp.html").find("720P Version"), std::string::npos);
    EXPECT_EQ(Read(fallback / "dl.jpg"), "picture") << "the rows' picture is copied beside the page";
    EXPECT_EQ(m_window->ResultsFile(), QString::fromStdString((fallback / "temp.html").string()));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return m_window->wb1()->Url() == QUrl::fromLocalFile(m_window->ResultsFile()); }, 5000));
    if (geteuid() == 0) {
        umount(program.c_str());
    } else {
        chmod(program.c_str(), 0755);
    }
}

TEST_F(ResultsView, FollowedStreamLinkIsSavedUnderItsTitleAndListed) {
    const std::string video(300000, 'v');
    m_server->Get("/stream", [&](const auto&, auto& res) { res.set_content(video, "video/mp4"); });
    const std::string page = "<html><script>var p = {flashvars: \"v=1&title=My%2BClip&map=url%3D" +
                             m_server.Url("/stream?itag%3D22") + "%26quality%3Dhd720\"};</script></html>";
    m_server->Get("/watch-local", [&](const auto&, auto& res) { res.set_content(page, "text/html"); });
    Go(QString::fromStdString(m_server.Url("/watch-local")));
    WebBrowser* view = m_window->wb1();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->Url() == QUrl::fromLocalFile(m_window->ResultsFile()); }, 5000));
    auto* engine = qobject_cast<QWebEngineView*>(view->View());
    ASSERT_NE(engine, nullptr);

    // Where the link's picture is, asked of the page in a script world of our own: the page's own
    // scripting is off.
    QRect link;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            engine->page()->runJavaScript(
                QStringLiteral("(function(){var r=document.querySelector('a img').getBoundingClientRect();"
                               "return [r.left,r.top,r.width,r.height];})()"),
                QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
                    const QVariantList r = v.toList();
                    if (r.size() == 4 && r[2].toInt() > 0) {
                        link = QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
                    }
                });
            return link.isValid();
        },
        5000));

    std::vector<QString> proposed;
    m_window->SetSaveChooser([&](const QString& file) {
        proposed.push_back(file);
        return QString::fromStdString((m_folder / "saved.mp4").string());
    });
    QWidget* surface = engine->focusProxy() ? engine->focusProxy() : engine;
    for (const char* name : {"saved.mp4", "saved (2).mp4"}) {
        QTest::mouseClick(surface, Qt::LeftButton, {}, link.center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(m_folder / name); }, 10000)) << name;
        EXPECT_TRUE(Read(m_folder / name) == video) << name;
    }
    ASSERT_EQ(proposed.size(), 2u);
    EXPECT_EQ(proposed[0].toStdString(),
              QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString() + "/My Clip (720P).mp4");
    EXPECT_EQ(proposed[1].toStdString(), (m_folder / "My Clip (720P).mp4").string()) << "the folder used last";
    ASSERT_NE(m_window->DownloadsView(), nullptr);
    EXPECT_TRUE(m_window->DownloadsView()->isVisible()) << "one window lists the downloads";
    EXPECT_EQ(view->Url(), QUrl::fromLocalFile(m_window->ResultsFile())) << "the links stay in view";
}

} // namespace
} // namespace veltrin::testing
