#include "window_fixture.h"

#include <QAccessible>
#include <QStyleHints>

namespace veltrin::testing {
namespace {

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
    m_window.reset();
    EXPECT_EQ(QGuiApplication::styleHints()->cursorFlashTime(), desktopFlashTime) << "the setting is the application's";
}

TEST_F(Window, EnterAndClickRunTheGoCommandAndNothingElseDoes) {
    const QString plain = QString::fromStdString(m_server.Url("/plain"));
    Go(plain);
    EXPECT_EQ(m_plainFetches.load(), 1);
    QTest::mouseClick(m_window->cmdGo(), Qt::LeftButton);
    WaitForGo();
    // A screen reader presses the picture through its action.
    QAccessible::queryAccessibleInterface(m_window->cmdGo())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    WaitForGo();
    EXPECT_EQ(m_plainFetches.load(), 3);
    m_window->cmdGo()->setFocus();
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Return);
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Space);
    QTest::mouseClick(m_window->picHeader(), Qt::LeftButton);
    QTest::mouseClick(m_window->picFooter(), Qt::LeftButton);
    QTest::mouseClick(m_window->Label1(), Qt::LeftButton);
    EXPECT_FALSE(m_window->GoRunning());
    EXPECT_EQ(m_plainFetches.load(), 3);
    EXPECT_EQ(m_adFetches.load(), 0) << "a page without the markers fetches no advertisement";
    EXPECT_FALSE(fs::exists(m_folder / "temp.html"));
}

// The fetches run beside the window: a slow page holds nothing, a later Go replaces it, Escape
// stops it, and a Go that ends without results says why in place of the earlier ones.
TEST_F(Window, GoNeverHoldsTheWindowAndEndsWithResultsOrTheReason) {
    static const std::string slowPage =
        "<script>flashvars=\"url=http%253A%252F%252Fv.test%252Fc%253Fitag%253D37%26quality%3Dhd1080\"</script>";
    m_server->Get("/slow", [](const auto&, auto& res) {
        ServeSlowly(res, slowPage, "text/html", 8, std::chrono::milliseconds(100));
    });
    const QString slow = QString::fromStdString(m_server.Url("/slow"));
    const auto shows720 = [&] { return ReadFile(m_folder / "temp.html").find("720P") != std::string::npos; };

    Go(slow, false);
    EXPECT_TRUE(m_window->GoRunning());
    EXPECT_EQ(m_window->cursor().shape(), Qt::BusyCursor);
    Go(QString::fromStdString(m_server.Url("/watch"))); // replaces the slow one
    ASSERT_TRUE(shows720());
    EXPECT_EQ(m_window->cursor().shape(), Qt::ArrowCursor);
    QTest::qWait(1500); // the slow page would have come by now
    EXPECT_TRUE(shows720()) << "the replaced Go's answer is dropped";

    const struct {
        const char* name;
        QString link;
        bool escape;
        QString message;
    } endings[] = {
        {"stopped", slow, true, QStringLiteral("Stopped: %1 was not fetched.").arg(slow)},
        {"refused", QStringLiteral("http://127.0.0.1:1/watch"), false,
         QStringLiteral("Cannot fetch http://127.0.0.1:1/watch: the connection was refused")},
        {"no parameters", QString::fromStdString(m_server.Url("/plain")), false,
         QStringLiteral("The page at %1 has no player parameters.")
             .arg(QString::fromStdString(m_server.Url("/plain")))},
        {"a copied text of megabytes", QString::fromStdString(m_server.Url("/plain#")) + QString(1 << 21, u'x'), false,
         QStringLiteral("The page at ")},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        Go(ending.link, !ending.escape);
        if (ending.escape) {
            QTest::keyClick(m_window->txtURL(), Qt::Key_Escape);
            EXPECT_FALSE(m_window->GoRunning());
        }
        // The fetcher's detail may follow the reason.
        EXPECT_TRUE(m_window->wb1()->Message().startsWith(ending.message)) << m_window->wb1()->Message().toStdString();
        EXPECT_TRUE(m_window->wb1()->View()->isHidden()) << "the earlier video's links are gone";
        EXPECT_LT(m_window->wb1()->Message().size(), 400) << "a long link is shown cut short";
        EXPECT_TRUE(shows720()) << "the results file is left as it is";
    }
    Go(QString::fromStdString(m_server.Url("/watch")));
    EXPECT_EQ(m_window->wb1()->Message(), QString());
}

} // namespace
} // namespace veltrin::testing
