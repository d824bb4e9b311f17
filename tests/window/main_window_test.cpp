#include "window_fixture.h"

#include "window/go_fetcher.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QResizeEvent>
#include <QSignalSpy>
#include <QStyleHints>
#include <QSystemTrayIcon>

namespace veltrin::testing {
namespace {

TEST_F(Window, TabWalksTheControlsInTheirOrderBeforeAndAfterTheEngineStarts) {
    MainWindow& w = *m_window;
    // The web view takes the focus through an inner widget of its own.
    const auto holder = [&](QWidget* focused) -> QWidget* {
        return focused && (focused == w.ResultsView() || w.ResultsView()->isAncestorOf(focused)) ? w.ResultsView()
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
                QTest::qWaitFor([&] { return w.ResultsView()->Url() == QUrl::fromLocalFile(w.ResultsFile()); }));
            w.LinkBox()->setFocus();
        }
        ASSERT_EQ(QApplication::focusWidget(), w.LinkBox());
        for (QWidget* next :
             std::initializer_list<QWidget*>{w.HeaderPicture(), w.FooterPicture(), w.GoButton(), w.ResultsView()}) {
            ASSERT_TRUE(reaches(next)) << "expected " << next->objectName().toStdString();
        }
        if (!engine) {
            EXPECT_TRUE(reaches(w.LinkBox())) << "out of the empty page, back to the link box";
            w.GoButton()->setFocus();
            ASSERT_TRUE(reaches(w.ResultsView()));
        }
        // Shift+Tab walks back, through the page's links first, and the label is never reached.
        // A loaded machine's engine may take a while over each press: as many as it needs.
        for (int press = 0; press < 10 && holder(QApplication::focusWidget()) == w.ResultsView(); ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            static_cast<void>(
                QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) != w.ResultsView(); }, 1000));
        }
        EXPECT_EQ(QApplication::focusWidget(), w.GoButton());
        for (QWidget* previous : std::initializer_list<QWidget*>{w.FooterPicture(), w.HeaderPicture(), w.LinkBox()}) {
            EXPECT_TRUE(reaches(previous, Qt::ShiftModifier)) << "expected " << previous->objectName().toStdString();
        }
    }
}

TEST_F(Window, CaretStopsBlinkingWhenIdleAndWakesOnInput) {
    const int desktopFlashTime = QGuiApplication::styleHints()->cursorFlashTime();
    LinkEdit* box = m_window->LinkBox();
    box->SetBlinkTimeout(100);
    const struct {
        const char* what;
        std::function<void()> act;
    } wakers[] = {
        {"key", [&] { QTest::keyClick(box, Qt::Key_End); }},
        {"click", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
        {"focus",
         [&] {
             m_window->GoButton()->setFocus();
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
    QTest::mouseClick(m_window->GoButton(), Qt::LeftButton);
    WaitForGo();
    // A screen reader presses the picture through its action.
    QAccessible::queryAccessibleInterface(m_window->GoButton())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    WaitForGo();
    EXPECT_EQ(m_plainFetches.load(), 3);
    m_window->GoButton()->setFocus();
    QTest::keyClick(m_window->GoButton(), Qt::Key_Return);
    QTest::keyClick(m_window->GoButton(), Qt::Key_Space);
    QTest::mouseClick(m_window->HeaderPicture(), Qt::LeftButton);
    QTest::mouseClick(m_window->FooterPicture(), Qt::LeftButton);
    QTest::mouseClick(m_window->LinkLabel(), Qt::LeftButton);
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
            QTest::keyClick(m_window->LinkBox(), Qt::Key_Escape);
            EXPECT_FALSE(m_window->GoRunning());
        }
        // The fetcher's detail may follow the reason.
        EXPECT_TRUE(m_window->ResultsView()->Message().startsWith(ending.message))
            << m_window->ResultsView()->Message().toStdString();
        EXPECT_TRUE(m_window->ResultsView()->View()->isHidden()) << "the earlier video's links are gone";
        EXPECT_LT(m_window->ResultsView()->Message().size(), 400) << "a long link is shown cut short";
        EXPECT_TRUE(shows720()) << "the results file is left as it is";
    }
    Go(Link("/watch"));
    EXPECT_EQ(m_window->ResultsView()->Message(), QString());
    const QString once = Link("/watch?v=a");
    Go(once + QStringLiteral(" \n") + once); // one video given twice: its Go, neither a list nor junk
    EXPECT_EQ(m_window->LinkBox()->text(), once);
    EXPECT_EQ(m_window->ResultsView()->Message(), QString());
    Go(QStringLiteral("   ")); // a blank link does nothing at all
    EXPECT_EQ(m_window->LinkBox()->text(), QStringLiteral("   "));
    EXPECT_FALSE(m_window->ResultsView()->View()->isHidden());
}

class Tray : public Window {
protected:
    void SetUp() override {
        DesktopIntegration::SetNotificationAreaForTesting(true);
        Window::SetUp();
    }

    bool IconShown() const { return m_window->Desktop()->IconShown(); }

    void Minimise() {
        m_window->setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
    }

    // What a right press on a control asks of it (the platform makes it of the press).
    static void RightPress(QWidget* widget) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &event);
    }

    // A press on the window's icon, as the desktop reports it.
    void Press(QSystemTrayIcon::ActivationReason reason) {
        ASSERT_TRUE(IconShown());
        Q_EMIT m_window->Desktop()->TrayIcon()->activated(reason);
        QCoreApplication::processEvents();
    }
};

TEST_F(Tray, MinimisingHidesBehindOneIconThatOnlyALeftPressTakesAway) {
    // A resize, or a change of state that is no minimising, adds no icon.
    QResizeEvent resize(m_window->size(), m_window->size());
    QCoreApplication::sendEvent(m_window.get(), &resize);
    QWindowStateChangeEvent change(Qt::WindowMinimized);
    QCoreApplication::sendEvent(m_window.get(), &change);
    EXPECT_FALSE(IconShown());
    for (int round = 0; round < 2; ++round) {
        Minimise();
        ASSERT_FALSE(m_window->isVisible()) << round;
        ASSERT_TRUE(IconShown()) << round;
        EXPECT_EQ(m_window->Desktop()->TrayIcon()->toolTip(), QStringLiteral("Lumbrel"));
        for (const auto reason : {QSystemTrayIcon::Unknown, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context,
                                  QSystemTrayIcon::MiddleClick}) {
            Press(reason);
            EXPECT_FALSE(m_window->isVisible()) << reason;
            m_window->Menu()->hide();
        }
        Press(QSystemTrayIcon::Trigger);
        EXPECT_TRUE(m_window->isVisible()) << round;
        EXPECT_FALSE(m_window->windowState() & Qt::WindowMinimized);
        EXPECT_FALSE(IconShown()) << round;
    }
}

// The same menu on the icon's right button and on the window's bare areas, by mouse and keyboard.
TEST_F(Tray, MenuOpensOnTheIconAndTheBareAreasAndQuitEndsTheProgram) {
    QStringList items;
    for (const QAction* action : m_window->Menu()->actions()) {
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->text() + QLatin1String(action->isChecked() ? "*" : ""));
    }
    EXPECT_EQ(items.join(QLatin1Char('|')),
              QStringLiteral("Show Veltrin|Downloads|-|Ask before downloading*|Download "
                             "automatically|Don't watch the clipboard|-|Preferences\u2026|Quit"));
    const struct {
        const char* name;
        std::function<void()> how;
        bool opens;
    } cases[] = {
        {"header", [&] { RightPress(m_window->HeaderPicture()); }, true},
        {"background", [&] { RightPress(m_window.get()); }, true},
        {"Shift+F10", [&] { QTest::keyClick(m_window->FooterPicture(), Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"Menu key", [&] { QTest::keyClick(m_window->HeaderPicture(), Qt::Key_Menu); }, true},
        {"Download picture", [&] { RightPress(m_window->GoButton()); }, false},
        {"icon", [&] { Minimise(), Press(QSystemTrayIcon::Context); }, true},
    };
    for (const auto& c : cases) {
        c.how();
        EXPECT_EQ(QTest::qWaitFor([&] { return m_window->Menu()->isVisible(); }, 500), c.opens) << c.name;
        m_window->Menu()->hide();
    }
    QSignalSpy closed(m_window.get(), &MainWindow::Closed);
    m_window->Menu()->actions().last()->trigger();
    EXPECT_EQ(closed.size(), 1);
}

TEST_F(Tray, HiddenWindowIsNeverLeftOutOfReach) {
    // Without a notification area, minimising is ordinary: the window stays on the taskbar.
    DesktopIntegration::SetNotificationAreaForTesting(false);
    Minimise();
    EXPECT_TRUE(m_window->isVisible() && m_window->isMinimized());
    EXPECT_FALSE(IconShown());
    m_window->showNormal();
    DesktopIntegration::SetNotificationAreaForTesting(true);

    // The panel goes away while the window is hidden behind its icon.
    Minimise();
    DesktopIntegration::SetNotificationAreaForTesting(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->isVisible(); }, 3000));
    EXPECT_FALSE(IconShown());

    // A link handed over from outside brings the window back and runs.
    DesktopIntegration::SetNotificationAreaForTesting(true);
    Minimise();
    m_window->HandOver(Link("/plain"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_plainFetches.load() == 1; }, 3000));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(IconShown());

    // A question that is open when the window goes comes back with it, still to be answered.
    BoxAnswerer boxes({QMessageBox::No}, 300);
    bool hiddenWhileAsking = false;
    bool backWhileAsking = false;
    boxes.react = [&](const BoxAnswerer::Seen&) {
        Minimise();
        hiddenWhileAsking = !m_window->isVisible();
        Press(QSystemTrayIcon::Trigger);
        backWhileAsking = m_window->isVisible() && QApplication::activeModalWidget() &&
                          QApplication::activeModalWidget()->isVisible();
    };
    SetClipboard(QStringLiteral("http://www.clipvane.com/watch?v=Zr4kW8nQe2B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->LastClipText().isEmpty(); }, 3000));
    EXPECT_TRUE(hiddenWhileAsking);
    EXPECT_TRUE(backWhileAsking);
}

} // namespace
} // namespace veltrin::testing
