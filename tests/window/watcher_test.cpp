#include "window_fixture.h"

#include "library/downloads.h"

#include <chrono>
#include <set>
#include <thread>

namespace veltrin::testing {
namespace {

using Button = QMessageBox::StandardButton;

const QString kLink = QStringLiteral("http://www.clipvane.com/watch?v=Qx7bT2mLp9A");

class Watcher : public Window {
protected:
    // Until the watcher has looked at the clipboard and found nothing more to act on.
    void LetTicksPass() const {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->WatchingClipboard(); }, 5000));
    }

    // The link of the loopback watch page, with the watched host name in its query.
    QString WatchLink() const { return Link("/watch?from=clipvane.com"); }
};

TEST_F(Watcher, AsksOnlyAboutNewTextsWithTheHostNameFromTheFirstTickOn) {
    BoxAnswerer boxes({Button::No});
    SetClipboard(kLink); // copied before the window opens
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen.empty(); }, 1000));
    const QString before = m_window->LinkBox()->text();
    const struct {
        const char* text;
        bool image;
        std::size_t askedSoFar;
    } steps[] = {
        {"http://www.clipvane.com/watch?v=Qx7bT2mLp9A", false, 1}, // the same text again
        {"just some words", false, 1},
        {"http://www.clipvane.com/watch?v=Qx7bT2mLp9A", false, 1}, // still the last one asked about
        {"http://www.clipvane.com/watch?v=Zr4kW8nQe2B", false, 2},
        {"http://www.clipvane.com/watch?v=Qx7bT2mLp9A", false, 3},
        {"http://www.CLIPVANE.com/watch?v=Qx7bT2mLp9A", false, 3}, // the host is matched as written
        {"", false, 3},
        {"", true, 3},                  // a picture
        {"see clipvane.com", false, 4}, // the whole text is asked about, not only a link
    };
    for (const auto& step : steps) {
        SetClipboard(QString::fromUtf8(step.text), step.image);
        LetTicksPass();
        ASSERT_EQ(boxes.seen.size(), step.askedSoFar) << "after copying \"" << step.text << '"';
    }
    // A yes-or-no question, owned by the window, with the whole text copied.
    const auto& box = boxes.seen.back();
    EXPECT_EQ(box.title, QStringLiteral("Veltrin"));
    EXPECT_EQ(box.text, QStringLiteral("You copied this link to a Clipvane video: see clipvane.com\r\n\r\n"
                                       "Do you want to download this video?"));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton, Button::Yes);
    EXPECT_EQ(box.parent, m_window.get()) << "a parentless box would end the program when closed while hidden";
    // No changes nothing else.
    EXPECT_EQ(m_window->LinkBox()->text(), before);
    EXPECT_FALSE(fs::exists(m_folder / "temp.html"));
}

TEST_F(Watcher, TextIsForgottenAgainWhenItsGoFails) {
    // The results file cannot be written: the Go command shows an error box while it runs.
    fs::create_directory(m_folder / "temp.html");
    BoxAnswerer boxes({Button::Yes, Button::Ok, Button::No});
    std::vector<QString> rememberedWhileOpen;
    boxes.react = [&](const BoxAnswerer::Seen&) { rememberedWhileOpen.push_back(m_window->LastClipText()); };
    const QString text = WatchLink();
    SetClipboard(text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() >= 3; }, 4000));
    LetTicksPass();
    ASSERT_EQ(rememberedWhileOpen.size(), 3U);
    EXPECT_EQ(rememberedWhileOpen[1], QString()) << "forgotten again once its Go failed";
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[1].title, QStringLiteral("Veltrin"));
    EXPECT_TRUE(boxes.seen[1].text.endsWith(QStringLiteral("temp.html cannot be written.\nIs a directory")))
        << boxes.seen[1].text.toStdString();
    EXPECT_TRUE(m_window->ResultsView()->Message().endsWith(QStringLiteral("cannot be written.\nIs a directory")));
    // The failure took back the answer, so the next tick asked again.
    EXPECT_EQ(boxes.seen[2].text, boxes.seen[0].text);
    EXPECT_EQ(m_window->LastClipText(), text);
    EXPECT_EQ(boxes.seen.size(), 3U);
}

// Yes puts the whole text, however long, in the link box and runs the Go command, also while the
// window is hidden behind its icon; the question shows the text cut short.
TEST_F(Watcher, YesRunsTheWholeTextEvenWhileHiddenAndALongOneIsCutShortInTheQuestion) {
    m_window->LinkBox()->setText(QStringLiteral("something typed earlier"));
    HideBehindIcon();
    const QString text = WatchLink() + QStringLiteral("#") + QString(200000, QLatin1Char('x'));
    BoxAnswerer boxes({Button::Yes});
    SetClipboard(text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->LastClipText() == text && !m_window->GoRunning(); }, 5000));
    EXPECT_EQ(m_window->LinkBox()->text(), text) << "the link box has no length limit";
    EXPECT_TRUE(fs::exists(m_folder / "temp.html"));
    EXPECT_EQ(m_adFetches.load(), 1);
    EXPECT_FALSE(m_window->LinkBox()->CaretBlinks()) << "every paint of such a text takes a moment";
    LetTicksPass();
    ASSERT_EQ(boxes.seen.size(), 1U);
    EXPECT_FALSE(m_window->isVisible()) << "the results wait behind the icon";
    const QString& prompt = boxes.seen.front().text;
    EXPECT_LT(prompt.size(), 1200);
    EXPECT_TRUE(prompt.contains(QStringLiteral("\u2026 (%1 more characters)").arg(text.size() - 1000)))
        << prompt.right(120).toStdString();
    EXPECT_TRUE(prompt.endsWith(QStringLiteral("\r\n\r\nDo you want to download this video?")));
}

// A link handed while a question is open runs at once; the question's Yes, answered later, runs
// after it, so what the user answered last is what stays.
TEST_F(Watcher, HandedLinkRunsAtOnceAndTheQuestionsYesComesLast) {
    BoxAnswerer boxes({Button::Yes}, 1000);
    const QString handed = Link("/watch?handed");
    std::vector<bool> ranWhileAsking;
    boxes.react = [&](const BoxAnswerer::Seen&) { ranWhileAsking.push_back(fs::exists(m_folder / "temp.html")); };
    QTimer::singleShot(300, m_window.get(), [&] { m_window->HandOver(handed); }); // while the question is open
    SetClipboard(WatchLink());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ranWhileAsking.empty() && !m_window->GoRunning(); }, 5000));
    EXPECT_EQ(ranWhileAsking, std::vector<bool>{true});
    EXPECT_EQ(m_window->LinkBox()->text(), WatchLink());
    EXPECT_EQ(m_window->LastClipText(), WatchLink());
    EXPECT_EQ(boxes.seen.size(), 1U);
}

TEST_F(Watcher, QuestionWhileTheSaveDialogIsOpenLeavesTheDownloadToGoOn) {
    const std::string video(100000, 'v');
    m_server->Get("/video", [&](const auto&, auto& res) { res.set_content(video, "video/mp4"); });
    BoxAnswerer boxes({Button::Yes});
    m_window->SetSaveChooser([&](const QString&) {
        SetClipboard(WatchLink());
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->LastClipText() == WatchLink(); }, 3000));
        return QString::fromStdString((m_folder / "clip.mp4").string());
    });
    m_window->DownloadLink(QUrl(Link("/video")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(m_folder / "temp.html"); }, 5000))
        << "the question's Go command ran";
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(m_folder / "clip.mp4"); }, 10000));
    EXPECT_TRUE(ReadFile(m_folder / "clip.mp4") == video);
    EXPECT_EQ(boxes.seen.size(), 1U);
}

// Off asks nothing; Ask asks; the automatic way downloads the preferred stream of every copied
// link, an earlier one's too, with no question or dialog, and an answer outlives a restart.
TEST_F(Watcher, EachWayActsAsChosenAndNoAnswerIsActedOnTwice) {
    m_server->Get("/auto", [&](const httplib::Request& req, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(req.has_param("slow") ? 800 : 0));
        const std::string t = req.get_param_value("t"), stream = m_server.Url("/stream?itag=");
        res.set_content(WatchPage(t, "id" + t, {{stream + "22", "hd720"}, {stream + "5", "small"}}), "text/html");
    });
    m_server->Get("/stream",
                  [](const auto& req, auto& res) { res.set_content(req.get_param_value("itag"), "video/x-flv"); });
    const auto link = [&](const char* query) -> QString {
        return Link("/auto?from=clipvane.com&") + QLatin1String(query);
    };
    const fs::path folder = m_folder / "downloads";
    fs::create_directory(folder);
    const auto saved = [&] {
        std::vector<std::string> names;
        for (const std::string& name : FileNames(folder)) { // in order
            names.push_back(name + "=" + ReadFile(folder / name));
        }
        return names;
    };
    BoxAnswerer boxes({Button::Yes});
    HideBehindIcon();

    // The menu's choice takes effect at once, and a link copied while not watched stays unasked.
    m_window->Menu()->actions().at(5)->trigger();
    SetClipboard(link("t=A"));
    LetTicksPass();
    m_window->Menu()->actions().at(3)->trigger();
    LetTicksPass();
    EXPECT_TRUE(boxes.seen.empty());
    SetClipboard(link("t=B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 1 && fs::exists(m_folder / "temp.html"); }, 5000))
        << "B's page is the one shown";

    UserSettings settings = m_window->Preferences();
    settings.clipboard = ClipboardWay::Automatic;
    settings.downloadFolder = QString::fromStdString(folder.string());
    settings.preferredQuality = 4; // 240p
    m_window->ApplySettings(settings);
    SetClipboard(link("slow&t=C"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->LastClipText() == link("slow&t=C"); }));
    SetClipboard(link("t=D"));
    const std::vector<std::string> both{"C (240p).flv=5", "D (240p).flv=5"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved() == both; }, 10000)) << saved().size();
    EXPECT_EQ(m_window->LinkBox()->text(), link("t=D")) << "the link box follows the latest copy";
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_said.size() == 4; }, 5000));
    EXPECT_EQ(m_said.filter(QStringLiteral("Downloading D (240p).flv|")).size(), 1);
    std::set<std::string> rows; // each its own page's, not the one shown last
    for (int row = 0; row < m_window->DownloadList()->rowCount(); ++row) {
        const StoredDownload& stored = m_window->DownloadList()->Entry(row).row;
        rows.insert(stored.title + " " + stored.stream.video + " " + stored.page);
    }
    EXPECT_EQ(rows,
              (std::set<std::string>{"C idC " + link("slow&t=C").toStdString(), "D idD " + link("t=D").toStdString()}));

    // After a restart the text answered last is not acted on again; copied anew, it is.
    Open();
    HideBehindIcon();
    LetTicksPass();
    EXPECT_EQ(saved(), both);
    SetClipboard(link("t=D"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return saved().size() == 3; }, 10000));
    EXPECT_EQ(boxes.seen.size(), 1U);
}

} // namespace
} // namespace veltrin::testing
