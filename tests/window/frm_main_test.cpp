#include "window_fixture.h"

#include <QFontDatabase>
#include <QStyleHints>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace veltrin::testing {
namespace {

TEST_F(Window, StandsAsLaidOut) {
    frmMain& w = *m_window;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Download Clipvane Free"));
    EXPECT_EQ(w.size(), QSize(798, 600));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    const struct {
        QWidget* widget;
        QRect geometry;
    } places[] = {
        // A sized control and a picture that sizes itself, above the client area.
        {w.wb1(), QRect(8, 232, 785, 321)},
        {w.picHeader(), QRect(0, -24, 900, 173)},
    };
    for (const auto& p : places) {
        EXPECT_EQ(p.widget->geometry(), p.geometry) << p.widget->objectName().toStdString();
    }
    EXPECT_EQ(w.txtURL()->text(), QStringLiteral("http://www.clipvane.com/watch?v=Qx7bT2mLp9A"));
    EXPECT_EQ(w.Timer1()->Interval(), 200);
    EXPECT_TRUE(w.Timer1()->IsActive());
    EXPECT_EQ(QApplication::focusWidget(), w.txtURL());
}

TEST_F(Window, TabWalksTheControlsInTheirOrderBeforeAndAfterTheEngineStarts) {
    frmMain& w = *m_window;
    // The web view takes the focus through an inner widget of its own.
    const auto holder = [&](QWidget* focused) -> QWidget* {
        return focused && (focused == w.wb1() || w.wb1()->isAncestorOf(focused)) ? w.wb1() : focused;
    };
    const auto reaches = [&](QWidget* expected, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        return QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) == expected; }, 2000);
    };
    for (const bool engine : {false, true}) {
        SCOPED_TRACE(engine ? "with the engine" : "before the engine");
        if (engine) {
            Go(QString::fromStdString(m_server.Url("/watch")));
            ASSERT_TRUE(QTest::qWaitFor([&] { return w.wb1()->Url() == QUrl::fromLocalFile(w.ResultsFile()); }));
            w.txtURL()->setFocus();
        }
        ASSERT_EQ(QApplication::focusWidget(), w.txtURL());
        for (QWidget* next : std::initializer_list<QWidget*>{w.picHeader(), w.picFooter(), w.cmdGo(), w.wb1()}) {
            ASSERT_TRUE(reaches(next)) << "expected " << next->objectName().toStdString();
        }
        if (!engine) {
            EXPECT_TRUE(reaches(w.txtURL())) << "out of the empty page, back to the link box";
            w.cmdGo()->setFocus();
            ASSERT_TRUE(reaches(w.wb1()));
        }
        // Shift+Tab walks back, through the page's links first, and the label is never reached.
        for (int press = 0; press < 5 && holder(QApplication::focusWidget()) == w.wb1(); ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            static_cast<void>(QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) != w.wb1(); }, 300));
        }
        EXPECT_EQ(QApplication::focusWidget(), w.cmdGo());
        for (QWidget* previous : std::initializer_list<QWidget*>{w.picFooter(), w.picHeader(), w.txtURL()}) {
            EXPECT_TRUE(reaches(previous, Qt::ShiftModifier)) << "expected " << previous->objectName().toStdString();
        }
    }
    EXPECT_EQ(w.Label1()->focusPolicy(), Qt::NoFocus);
}

TEST_F(Window, CaretStopsBlinkingWhenIdleAndWakesOnInput) {
    const int desktopFlashTime = QGuiApplication::styleHints()->cursorFlashTime();
    TextBox* box = m_window->txtURL();
    box->SetBlinkTimeout(100);
    const struct {
        const char* what;
        std::function<void()> act;
    } wakers[] = {
        {"key", [&] { QTest::keyClick(box, Qt::Key_End); }},
        {"click", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
        {"focus",
         [&] {
             m_window->cmdGo()->setFocus();
             box->setFocus();
         }},
    };
    for (const auto& waker : wakers) {
        waker.act();
        EXPECT_TRUE(box->CaretBlinks()) << waker.what;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !box->CaretBlinks(); }, 2000)) << waker.what;
    }
    QTest::keyClick(box, Qt::Key_Home);
    EXPECT_TRUE(box->CaretBlinks());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box->CaretBlinks(); }, 2000));
    m_window.reset();
    EXPECT_EQ(QGuiApplication::styleHints()->cursorFlashTime(), desktopFlashTime) << "the setting is the application's";
}

TEST_F(Window, EnterAndClickRunTheGoCommandAndNothingElseDoes) {
    const QString plain = QString::fromStdString(m_server.Url("/plain"));
    Go(plain);
    EXPECT_EQ(m_plainFetches.load(), 1);
    QTest::mouseClick(m_window->cmdGo(), Qt::LeftButton);
    EXPECT_EQ(m_plainFetches.load(), 2);
    m_window->cmdGo()->setFocus();
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Return);
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Space);
    QTest::mouseClick(m_window->picHeader(), Qt::LeftButton);
    QTest::mouseClick(m_window->picFooter(), Qt::LeftButton);
    QTest::mouseClick(m_window->Label1(), Qt::LeftButton);
    EXPECT_EQ(m_plainFetches.load(), 2);
    EXPECT_EQ(m_adFetches.load(), 0) << "a page without the markers fetches no advertisement";
    EXPECT_FALSE(fs::exists(m_folder / "temp.html"));
}

TEST_F(Window, WatchPageGivesTheResultsFileAndShowsIt) {
    EXPECT_FALSE(m_window->wb1()->EngineStarted()) << "the blank page needs no web engine";
    Go(QString::fromStdString(m_server.Url("/watch")));
    const std::string row = "<span style='font-size: 18px; font-family: tahoma;'>Download ";
    const std::string expected =
        "<h1 style='font-family: tahoma; font-size: 25px;'>Download Links</h1>" + row +
        "720P Version: </span><a href=\"http://v.test/a?itag=22\"><img src=\"dl.jpg\" border=\"0\" /></a><br>" + row +
        "240p Version: </span><a href=\"http://v.test/b?itag=5\"><img src=\"dl.jpg\" border=\"0\" /></a><br>" +
        "<iframe src='" + m_server.Url("/ad") + "' frameBorder='0' height='90' width='500'></iframe><br>\r\n";
    EXPECT_EQ(Read(m_folder / "temp.html"), expected);
    EXPECT_EQ(m_adFetches.load(), 1);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return m_window->wb1()->Url() == QUrl::fromLocalFile(m_window->ResultsFile()); }));
    ASSERT_TRUE(m_window->wb1()->EngineStarted());

    auto* engine = qobject_cast<QWebEngineView*>(m_window->wb1()->View());
    ASSERT_NE(engine, nullptr);
    const QString desktopFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    EXPECT_EQ(engine->page()->settings()->fontFamily(QWebEngineSettings::StandardFont), desktopFont);
    EXPECT_EQ(engine->page()->settings()->fontFamily(QWebEngineSettings::SansSerifFont), desktopFont);
    // A view, not a browser: reloading a results file that is gone shows no error page.
    fs::remove(m_folder / "temp.html");
    engine->page()->triggerAction(QWebEnginePage::Reload);
    QTest::qWait(1500);
    QString shown;
    engine->page()->toPlainText([&](const QString& text) { shown = text; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 3000));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Download Links"))) << shown.left(200).toStdString();
}

} // namespace
} // namespace veltrin::testing
