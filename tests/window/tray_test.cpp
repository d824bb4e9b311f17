#include "window_fixture.h"

#include "desktop/mod_tray.h"
#include "desktop/notify_icon.h"

#include <QContextMenuEvent>
#include <QResizeEvent>
#include <QSignalSpy>

#include <functional>

namespace veltrin::testing {
namespace {

class Tray : public Window {
protected:
    void SetUp() override {
        shell::SetNotificationAreaForTesting(true);
        Window::SetUp();
    }

    // The icons the shell shows for this window.
    std::vector<shell::ShownIcon> Icons() {
        std::vector<shell::ShownIcon> mine;
        for (const auto& icon : shell::ShownIcons()) {
            if (icon.hWnd == shell::WindowHandle(m_window.get())) {
                mine.push_back(icon);
            }
        }
        return mine;
    }

    void Minimise() {
        m_window->setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
    }

    // What a right press on a control asks of it (the platform makes it of the press).
    static void RightPress(QWidget* widget) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &event);
    }

    // A mouse event on the window's icon, as the desktop reports it, delivered.
    void Report(std::uint32_t message) {
        ASSERT_TRUE(shell::ReportMouseEvent(shell::WindowHandle(m_window.get()), 1, message));
        QCoreApplication::processEvents();
    }
};

TEST_F(Tray, MinimisingHidesBehindOneIconThatOnlyALeftPressTakesAway) {
    // A resize, or a change of state that is no minimising, adds no icon.
    QResizeEvent resize(m_window->size(), m_window->size());
    QCoreApplication::sendEvent(m_window.get(), &resize);
    QWindowStateChangeEvent change(Qt::WindowMinimized);
    QCoreApplication::sendEvent(m_window.get(), &change);
    EXPECT_TRUE(Icons().empty());
    const shell::ShownIcon expected{shell::WindowHandle(m_window.get()), 1, shell::IconHandle(m_window->windowIcon()),
                                    QStringLiteral("Lumbrel")};
    for (int round = 0; round < 2; ++round) {
        Minimise();
        ASSERT_FALSE(m_window->isVisible()) << round;
        EXPECT_EQ(Icons(), std::vector{expected}) << round;
        for (const std::uint32_t message : {modTray::WM_MOUSEMOVE, modTray::WM_LBUTTONUP, modTray::WM_LBUTTONDBLCLK,
                                            modTray::WM_RBUTTONDOWN, modTray::WM_RBUTTONUP, modTray::WM_MBUTTONDOWN}) {
            Report(message);
            EXPECT_FALSE(m_window->isVisible()) << message;
        }
        Report(modTray::WM_LBUTTONDOWN);
        EXPECT_TRUE(m_window->isVisible()) << round;
        EXPECT_FALSE(m_window->windowState() & Qt::WindowMinimized);
        EXPECT_TRUE(Icons().empty()) << round;
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
        {"header", [&] { RightPress(m_window->picHeader()); }, true},
        {"background", [&] { RightPress(m_window.get()); }, true},
        {"Shift+F10", [&] { QTest::keyClick(m_window->picFooter(), Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"Menu key", [&] { QTest::keyClick(m_window->picHeader(), Qt::Key_Menu); }, true},
        {"Download picture", [&] { RightPress(m_window->cmdGo()); }, false},
        {"icon", [&] { Minimise(), Report(modTray::WM_RBUTTONDOWN); }, true},
    };
    for (const auto& c : cases) {
        c.how();
        EXPECT_EQ(QTest::qWaitFor([&] { return m_window->Menu()->isVisible(); }, 500), c.opens) << c.name;
        m_window->Menu()->hide();
    }
    QSignalSpy closed(m_window.get(), &frmMain::Closed);
    m_window->Menu()->actions().last()->trigger();
    EXPECT_EQ(closed.size(), 1);
}

// The shell takes the tip in the ANSI code page, in a field of 64 bytes.
TEST_F(Tray, TipIsShownAsTheShellTakesIt) {
    const struct {
        std::u16string tip;
        const char* shown;
    } cases[] = {
        {u"Caf\u00E9 \u20AC 5", "Caf\u00E9 \u20AC 5"},
        {u"\u65E5\u672C", "??"}, // not in the code page
        {u"a\xD800z", "a?z"},    // a lone surrogate
        {std::u16string(70, u'x'), "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
    };
    for (const auto& c : cases) {
        shell::NotifyIcon icon;
        icon.Add(m_window.get(), m_window->windowIcon(), c.tip + u'\0', modTray::WM_MOUSEMOVE);
        ASSERT_EQ(Icons().size(), 1U);
        EXPECT_EQ(Icons()[0].tip.toStdString(), c.shown);
        icon.Delete();
        EXPECT_TRUE(Icons().empty());
    }
}

TEST_F(Tray, HiddenWindowIsNeverLeftOutOfReach) {
    // Without a notification area, minimising is ordinary: the window stays on the taskbar.
    shell::SetNotificationAreaForTesting(false);
    Minimise();
    EXPECT_TRUE(m_window->isVisible() && m_window->isMinimized());
    EXPECT_TRUE(Icons().empty());
    m_window->showNormal();
    shell::SetNotificationAreaForTesting(true);

    // The panel goes away while the window is hidden behind its icon.
    Minimise();
    shell::SetNotificationAreaForTesting(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->isVisible(); }, 3000));
    EXPECT_TRUE(Icons().empty());

    // A link handed over from outside brings the window back and runs.
    shell::SetNotificationAreaForTesting(true);
    Minimise();
    m_window->HandOver(QString::fromStdString(m_server.Url("/plain")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_plainFetches.load() == 1; }, 3000));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(Icons().empty());

    // A question that is open when the window goes comes back with it, still to be answered.
    BoxAnswerer boxes;
    boxes.answers = {QMessageBox::No};
    boxes.holdMs = 300;
    bool hiddenWhileAsking = false;
    bool backWhileAsking = false;
    boxes.react = [&](const BoxAnswerer::Seen&) {
        Minimise();
        hiddenWhileAsking = !m_window->isVisible();
        Report(modTray::WM_LBUTTONDOWN);
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
