#include "window_fixture.h"

#include "desktop/desktop_integration.h"

#include <QContextMenuEvent>
#include <QResizeEvent>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <functional>

namespace veltrin::testing {
namespace {

class Tray : public Window {
protected:
    void SetUp() override {
        DesktopIntegration::setNotificationAreaForTesting(true);
        Window::SetUp();
    }

    bool IconShown() const { return m_window->desktop()->iconShown(); }

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
        Q_EMIT m_window->desktop()->trayIcon()->activated(reason);
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
        EXPECT_EQ(m_window->desktop()->trayIcon()->toolTip(), QStringLiteral("Lumbrel"));
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
        {"header", [&] { RightPress(m_window->headerPicture()); }, true},
        {"background", [&] { RightPress(m_window.get()); }, true},
        {"Shift+F10", [&] { QTest::keyClick(m_window->footerPicture(), Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"Menu key", [&] { QTest::keyClick(m_window->headerPicture(), Qt::Key_Menu); }, true},
        {"Download picture", [&] { RightPress(m_window->goButton()); }, false},
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
    DesktopIntegration::setNotificationAreaForTesting(false);
    Minimise();
    EXPECT_TRUE(m_window->isVisible() && m_window->isMinimized());
    EXPECT_FALSE(IconShown());
    m_window->showNormal();
    DesktopIntegration::setNotificationAreaForTesting(true);

    // The panel goes away while the window is hidden behind its icon.
    Minimise();
    DesktopIntegration::setNotificationAreaForTesting(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->isVisible(); }, 3000));
    EXPECT_FALSE(IconShown());

    // A link handed over from outside brings the window back and runs.
    DesktopIntegration::setNotificationAreaForTesting(true);
    Minimise();
    m_window->HandOver(Link("/plain"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_plainFetches.load() == 1; }, 3000));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(IconShown());

    // A question that is open when the window goes comes back with it, still to be answered.
    BoxAnswerer boxes;
    boxes.answers = {QMessageBox::No};
    boxes.holdMs = 300;
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->lastClipText().isEmpty(); }, 3000));
    EXPECT_TRUE(hiddenWhileAsking);
    EXPECT_TRUE(backWhileAsking);
}

} // namespace
} // namespace veltrin::testing
