#include "window_fixture.h"

#include "library/downloads.h"
#include "window/link_list_dialog.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTableWidget>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <ranges>

namespace veltrin::testing {
namespace {

class LinkList : public Window {
protected:
    void SetUp() override {
        // Ahead of the fixture's own /watch: a page of each video by its "v", one of them held
        // back until the test lets it go.
        m_server->Get("/watch", [this](const httplib::Request& req, auto& res) {
            const std::string v = req.get_param_value("v");
            if (v.starts_with("slow")) {
                std::unique_lock lock(m_mutex);
                m_slowAsked = true;
                m_gate.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
            }
            const std::string page = v == "gone" ? "<html>gone</html>"
                                                 : "<html><script>var p = {flashvars: \"video_id=" + v + "&title=" + v +
                                                       "%2Bvideo&map=url%3D" + m_server.Url("/file-" + v) +
                                                       "?itag%3D22%26quality%3Dhd720\"};</script></html>";
            res.set_content(page, "text/html");
        });
        m_server->Get(R"(/file-(\w+))", [](const auto& req, auto& res) {
            res.set_content("video " + req.matches[1].str(), "video/mp4");
        });
        Window::SetUp();
    }
    void LetSlowGo(bool open) {
        const std::lock_guard lock(m_mutex);
        m_open = open;
        m_gate.notify_all();
    }
    std::string Watch(const std::string& v) const { return m_server.Url("/watch?v=" + v); }
    QString Cell(int row, int column) const {
        QTableWidget* table = m_window->ListDialog()->Table();
        auto* box = qobject_cast<QComboBox*>(table->cellWidget(row, column));
        return box ? box->currentText() : table->item(row, column)->text();
    }

    std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_open = false;
    std::atomic<bool> m_slowAsked{false};
};

// A list typed into the box: rows from pages that answer, fail and answer slowly; "Download all"
// starts the checked ones, the slow one as it comes; the same list again offers nothing twice, and
// a list closed while its pages come starts nothing.
TEST_F(LinkList, RowsFromPagesThatAnswerFailAndAnswerSlowly) {
    const std::string dead = "http://127.0.0.1:1/watch?v=dead";
    Go(QString::fromStdString(Watch("a") + "\n" + Watch("slow") + ", " + Watch("gone") + " " + dead + " " + Watch("a") +
                              "&t=1"),
       false);
    ASSERT_NE(m_window->ListDialog(), nullptr);
    EXPECT_FALSE(m_window->GoRunning());
    const auto answered = [this](int total, int rows) {
        return QTest::qWaitFor([&] {
            return m_window->ListDialog()->Table()->rowCount() == total &&
                   std::ranges::count_if(std::views::iota(0, total), [&](int row) {
                       return !Cell(row, LinkListDialog::StatusColumn).endsWith(QStringLiteral("\u2026"));
                   }) == rows;
        });
    };
    fs::create_directory(m_folder / "saved");
    struct Row {
        const char* video;
        Qt::CheckState checked;
        const char* quality;
        const char* status; // how it starts
    };
    const auto expect = [this](const std::vector<Row>& rows) {
        for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
            const QTableWidgetItem* video = m_window->ListDialog()->Table()->item(row, LinkListDialog::VideoColumn);
            EXPECT_EQ(video->text().toStdString(), rows[row].video) << row;
            EXPECT_EQ(video->checkState(), rows[row].checked) << row;
            EXPECT_EQ(Cell(row, LinkListDialog::QualityColumn).toStdString(), rows[row].quality) << row;
            EXPECT_TRUE(Cell(row, LinkListDialog::StatusColumn).toStdString().starts_with(rows[row].status))
                << row << ": " << Cell(row, LinkListDialog::StatusColumn).toStdString();
        }
    };
    ASSERT_TRUE(answered(4, 3));
    expect({{"a video", Qt::Checked, "720P", ""},
            {Watch("slow").c_str(), Qt::Checked, "", "Fetching"},
            {Watch("gone").c_str(), Qt::Unchecked, "", "The page has no player parameters."},
            {dead.c_str(), Qt::Unchecked, "", "Cannot fetch it: "}});
    m_window->ListDialog()->Folder()->setText(QString::fromStdString((m_folder / "saved").string()));
    QTest::keyClick(m_window->ListDialog(), Qt::Key_Return); // the default button
    EXPECT_TRUE(m_window->ListDialog()->isVisible());
    LetSlowGo(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ListDialog() == nullptr; }));
    Downloads* list = m_window->DownloadList();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return list->rowCount() == 2 && list->Entry(0).live.state == DownloadState::Finished &&
               list->Entry(1).live.state == DownloadState::Finished;
    }));
    EXPECT_EQ(FileNames(m_folder / "saved"), (std::set<std::string>{"a video (720P).mp4", "slow video (720P).mp4"}));

    Go(QString::fromStdString(Watch("slow") + " " + Watch("a")), false);
    ASSERT_TRUE(answered(2, 2));
    expect({{"slow video", Qt::Unchecked, "720P", "Downloaded on "},
            {"a video", Qt::Unchecked, "720P", "Downloaded on "}});
    m_window->ListDialog()->reject();

    LetSlowGo(false);
    m_slowAsked = false;
    Go(QString::fromStdString(Watch("slow2") + " " + Watch("slow3")), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_slowAsked.load(); }));
    m_window->ListDialog()->DownloadButton()->click();
    LetSlowGo(true); // the pages come as the dialog closes
    m_window->ListDialog()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ListDialog() == nullptr; }));
    EXPECT_EQ(list->rowCount(), 2);
}

// A copied list is asked about once and opens the list; in the automatic way each of its links
// is its own job.
TEST_F(LinkList, CopiedListIsAskedAboutOnceOrEachLinkIsItsOwnJob) {
    BoxAnswerer boxes({QMessageBox::Yes});
    const auto copied = [this](const std::string& x, const std::string& y) {
        SetClipboard(QString::fromStdString(Watch(x) + "&from=clipvane.com\n" + Watch(y) + "&from=clipvane.com"));
    };
    copied("a", "b");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ListDialog() != nullptr; }));
    EXPECT_EQ(m_window->ListDialog()->Table()->rowCount(), 2);
    ASSERT_EQ(boxes.seen.size(), 1U);
    EXPECT_TRUE(boxes.seen[0].text.endsWith(QStringLiteral("\r\n\r\nDo you want to download these 2 videos?")));
    m_window->ListDialog()->close();
    UserSettings settings = m_window->Preferences();
    settings.clipboard = ClipboardWay::Automatic;
    settings.downloadFolder = QString::fromStdString(fs::path(m_folder).string());
    m_window->ApplySettings(settings);
    copied("c", "d");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return FileNames(m_folder).contains("c video (720P).mp4") &&
                   FileNames(m_folder).contains("d video (720P).mp4");
        },
        10000));
    EXPECT_EQ(boxes.seen.size(), 1U);
    HideBehindIcon(); // so that what it tells comes to m_said
    copied("d", "e"); // a second list in a row: d is kept already, and is not downloaded twice
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return FileNames(m_folder).contains("e video (720P).mp4") &&
                   !m_said.filter(QStringLiteral("d video (720P).mp4 was downloaded on")).isEmpty();
        },
        10000))
        << m_said.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(FileNames(m_folder).contains("d video (720P) (2).mp4"));
}

// What browsers and file managers drop: one link runs a Go, several open the list, and what holds
// no link is refused as the drag comes in.
TEST_F(LinkList, DropsOfBrowsersAndFileManagers) {
    const std::string a = Watch("a");
    const auto file = [this](const std::string& name, const std::string& text) {
        std::ofstream(m_folder / name) << text;
        return QUrl::fromLocalFile(QString::fromStdString((m_folder / name).string())).toString().toStdString();
    };
    const std::string linkFile = file("a.desktop", "[Desktop Entry]\nType=Link\nName=A\nURL[$e]=" + a + "\n");
    const std::string shortcut = file("a.url", "[InternetShortcut]\r\nURL=" + a + "\r\n");
    const std::string program = file("p.desktop", "[Desktop Entry]\nType=Application\nURL=" + a + "\n");
    const std::string text = file("a.txt", a);
    const QString moz = QString::fromStdString(a + "\nA video");
    const struct {
        const char* name;
        const char* type;
        QByteArray data;
        int links; // 0: refused; 1: a Go; more: the list's rows
    } cases[] = {
        {"UriList", "text/uri-list", QByteArray::fromStdString("# from a page\r\n" + a + "\r\n"), 1},
        {"MozUrl", "text/x-moz-url", QByteArray(reinterpret_cast<const char*>(moz.utf16()), moz.size() * 2), 1},
        {"PlainList", "text/plain", QByteArray::fromStdString(a + "\n" + Watch("b")), 2},
        {"LinkFile", "text/uri-list", QByteArray::fromStdString(linkFile + "\r\n"), 1},
        {"Shortcuts", "text/uri-list", QByteArray::fromStdString(shortcut + "\r\n" + Watch("c") + "\r\n"), 2},
        {"ProgramFile", "text/uri-list", QByteArray::fromStdString(program), 0},
        {"TextFile", "text/uri-list", QByteArray::fromStdString(text), 0},
        {"Image", "image/png", QByteArray("\x89PNG\r\n", 6), 0},
        {"Script", "text/plain", "javascript:alert(1)", 0},
        {"TenMegabytes", "text/plain", QByteArray::fromStdString(a + std::string(10 << 20, ' ')), 0},
    };
    for (const auto& c : cases) {
        m_window->LinkBox()->setText(QStringLiteral("before"));
        QMimeData data;
        data.setData(QString::fromLatin1(c.type), c.data);
        QDragEnterEvent enter({10, 10}, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, {});
        enter.ignore();
        QApplication::sendEvent(m_window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.links > 0) << c.name;
        QDropEvent drop({10, 10}, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, {});
        drop.ignore();
        QApplication::sendEvent(m_window.get(), &drop);
        EXPECT_EQ(drop.isAccepted(), c.links > 0) << c.name;
        EXPECT_EQ(m_window->LinkBox()->text().toStdString(), c.links == 1 ? a : "before") << c.name;
        EXPECT_EQ(m_window->GoRunning(), c.links == 1) << c.name;
        EXPECT_EQ(m_window->ListDialog() ? m_window->ListDialog()->Table()->rowCount() : 0, c.links > 1 ? c.links : 0)
            << c.name;
        if (m_window->ListDialog()) {
            m_window->ListDialog()->close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ListDialog() == nullptr; }));
        }
        WaitForGo();
    }
}

} // namespace
} // namespace veltrin::testing
