#include "window_fixture.h"

#include "window/go_fetcher.h"

#include <QAccessible>
#include <QStyleHints>

namespace veltrin::testing {
namespace {

TEST_F(Window, TabWalksTheControlsInTheirOrderBeforeAndAfterTheEngineStarts) {
    MainWindow& w = *m_window;
    // The web view takes the focus through an inner widget of its own.
    const auto holder = [&](QWidget* focused) -> QWidget* {
        return focused && (focused == w.resultsView() || w.resultsView()->isAncestorOf(focused)) ? w.resultsView()
                                                                                                 : focused;
    };
    const auto reaches = [&](QWidget* expected, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        return QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) == expected; }, 2000);
    };
    for (const bool engine : {false, true}) {
        SCOPED_TRACE(engine ? "with the engine" : "before the engine");
        if (engine) {
            Go(Link("/watch"));
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return w.resultsView()->Url() == QUrl::fromLocalFile(w.ResultsFile()); }));
            w.linkBox()->setFocus();
        }
        ASSERT_EQ(QApplication::focusWidget(), w.linkBox());
        for (QWidget* next :
             std::initializer_list<QWidget*>{w.headerPicture(), w.footerPicture(), w.goButton(), w.resultsView()}) {
            ASSERT_TRUE(reaches(next)) << "expected " << next->objectName().toStdString();
        }
        if (!engine) {
            EXPECT_TRUE(reaches(w.linkBox())) << "out of the empty page, back to the link box";
            w.goButton()->setFocus();
            ASSERT_TRUE(reaches(w.resultsView()));
        }
        // Shift+Tab walks back, through the page's links first, and the label is never reached.
        for (int press = 0; press < 5 && holder(QApplication::focusWidget()) == w.resultsView(); ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            static_cast<void>(
                QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) != w.resultsView(); }, 300));
        }
        EXPECT_EQ(QApplication::focusWidget(), w.goButton());
        for (QWidget* previous : std::initializer_list<QWidget*>{w.footerPicture(), w.headerPicture(), w.linkBox()}) {
            EXPECT_TRUE(reaches(previous, Qt::ShiftModifier)) << "expected " << previous->objectName().toStdString();
        }
    }
}

TEST_F(Window, CaretStopsBlinkingWhenIdleAndWakesOnInput) {
    const int desktopFlashTime = QGuiApplication::styleHints()->cursorFlashTime();
    LinkEdit* box = m_window->linkBox();
    box->SetBlinkTimeout(100);
    const struct {
        const char* what;
        std::function<void()> act;
    } wakers[] = {
        {"key", [&] { QTest::keyClick(box, Qt::Key_End); }},
        {"click", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
        {"focus",
         [&] {
             m_window->goButton()->setFocus();
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
    const QString plain = Link("/plain");
    Go(plain);
    EXPECT_EQ(m_plainFetches.load(), 1);
    QTest::mouseClick(m_window->goButton(), Qt::LeftButton);
    WaitForGo();
    // A screen reader presses the picture through its action.
    QAccessible::queryAccessibleInterface(m_window->goButton())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    WaitForGo();
    EXPECT_EQ(m_plainFetches.load(), 3);
    m_window->goButton()->setFocus();
    QTest::keyClick(m_window->goButton(), Qt::Key_Return);
    QTest::keyClick(m_window->goButton(), Qt::Key_Space);
    QTest::mouseClick(m_window->headerPicture(), Qt::LeftButton);
    QTest::mouseClick(m_window->footerPicture(), Qt::LeftButton);
    QTest::mouseClick(m_window->linkLabel(), Qt::LeftButton);
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
    const QString slow = Link("/slow");
    const auto shows720 = [&] { return ReadFile(m_folder / "temp.html").find("720P") != std::string::npos; };

    Go(slow, false);
    EXPECT_TRUE(m_window->GoRunning());
    EXPECT_EQ(m_window->cursor().shape(), Qt::BusyCursor);
    Go(Link("/watch")); // replaces the slow one
    ASSERT_TRUE(shows720());
    EXPECT_EQ(m_window->cursor().shape(), Qt::ArrowCursor);
    auto* fetcher = m_window->findChild<GoFetcher*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetcher->Idle(); }, 10000)) << "the replaced Go winds down";
    EXPECT_TRUE(shows720()) << "the replaced Go's answer is dropped";

    const struct {
        const char* name;
        QString link;
        bool escape;
        QString message;
    } endings[] = {
        {"stopped", slow, true, QStringLiteral("Stopped: %1 was not fetched.").arg(slow)},
        {"refused, without a scheme", QStringLiteral("127.0.0.1:1/watch"), false,
         QStringLiteral("Cannot fetch http://127.0.0.1:1/watch: the connection was refused")},
        {"another scheme", QStringLiteral(" FTP://127.0.0.1/x"), false,
         QStringLiteral("Cannot fetch  FTP://127.0.0.1/x: only http and https links can be fetched")},
        {"no parameters", Link("/plain"), false,
         QStringLiteral("The page at %1 has no player parameters.").arg(Link("/plain"))},
        {"a copied text of megabytes", Link("/plain#") + QString(1 << 21, u'x'), false, QStringLiteral("The page at ")},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        Go(ending.link, !ending.escape);
        if (ending.escape) {
            QTest::keyClick(m_window->linkBox(), Qt::Key_Escape);
            EXPECT_FALSE(m_window->GoRunning());
        }
        // The fetcher's detail may follow the reason.
        EXPECT_TRUE(m_window->resultsView()->Message().startsWith(ending.message))
            << m_window->resultsView()->Message().toStdString();
        EXPECT_TRUE(m_window->resultsView()->View()->isHidden()) << "the earlier video's links are gone";
        EXPECT_LT(m_window->resultsView()->Message().size(), 400) << "a long link is shown cut short";
        EXPECT_TRUE(shows720()) << "the results file is left as it is";
    }
    Go(Link("/watch"));
    EXPECT_EQ(m_window->resultsView()->Message(), QString());
    Go(QStringLiteral("   ")); // a blank link does nothing at all
    EXPECT_EQ(m_window->linkBox()->text(), QStringLiteral("   "));
    EXPECT_FALSE(m_window->resultsView()->View()->isHidden());
}

} // namespace
} // namespace veltrin::testing
