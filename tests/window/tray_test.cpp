#include "window_fixture.h"

#include "tray/mod_tray.h"

#include <QResizeEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace veltrin::testing {
namespace {

class Tray : public Window {
protected:
    void SetUp() override {
        shell::SetNotificationAreaForTesting(true);
        Window::SetUp();
    }
    void TearDown() override {
        Window::TearDown();
        shell::SetNotificationAreaForTesting(std::nullopt);
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

    // A mouse event on the window's icon, as the desktop reports it, delivered.
    void Report(std::uint32_t message) {
        ASSERT_TRUE(shell::ReportMouseEvent(shell::WindowHandle(m_window.get()), 1, message));
        QCoreApplication::processEvents();
    }
};

TEST_F(Tray, MinimisingHidesTheWindowBehindOneIcon) {
    Minimise();
    EXPECT_FALSE(m_window->isVisible());
    const shell::ShownIcon expected{shell::WindowHandle(m_window.get()), 1, shell::IconHandle(m_window->windowIcon()),
                                    QStringLiteral("Lumbrel")};
    EXPECT_EQ(Icons(), std::vector{expected});
}

TEST_F(Tray, OnlyTheLeftButtonPressRestores) {
    Minimise();
    for (const std::uint32_t message : {modTray::WM_MOUSEMOVE, modTray::WM_LBUTTONUP, modTray::WM_LBUTTONDBLCLK,
                                        modTray::WM_RBUTTONDOWN, modTray::WM_RBUTTONUP, modTray::WM_MBUTTONDOWN}) {
        Report(message);
        EXPECT_FALSE(m_window->isVisible()) << message;
        EXPECT_EQ(Icons().size(), 1U) << message;
    }
    Report(modTray::WM_LBUTTONDOWN);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(m_window->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(Icons().empty());
}

TEST_F(Tray, MinimiseRestoreAndMinimiseAgainUseIdOne) {
    for (int round = 0; round < 3; ++round) {
        Minimise();
        ASSERT_FALSE(m_window->isVisible()) << round;
        const auto icons = Icons();
        ASSERT_EQ(icons.size(), 1U) << round;
        EXPECT_EQ(icons[0].uID, 1U);
        Report(modTray::WM_LBUTTONDOWN);
        EXPECT_TRUE(m_window->isVisible()) << round;
        EXPECT_TRUE(Icons().empty()) << round;
    }
}

TEST_F(Tray, ResizingWithoutMinimisingAddsAndRemovesNothing) {
    QResizeEvent resize(m_window->size(), m_window->size());
    QCoreApplication::sendEvent(m_window.get(), &resize);
    QWindowStateChangeEvent change(Qt::WindowMinimized);
    QCoreApplication::sendEvent(m_window.get(), &change);
    EXPECT_TRUE(Icons().empty());
    EXPECT_TRUE(m_window->isVisible());

    Minimise();
    QCoreApplication::sendEvent(m_window.get(), &resize); // still minimised: a second add is refused
    EXPECT_EQ(Icons().size(), 1U);
}

TEST_F(Tray, WithoutANotificationAreaMinimisingIsOrdinary) {
    shell::SetNotificationAreaForTesting(false);
    Minimise();
    EXPECT_TRUE(m_window->isVisible()) << "the window stays on the taskbar";
    EXPECT_TRUE(m_window->isMinimized());
    EXPECT_TRUE(Icons().empty());
}

} // namespace
} // namespace veltrin::testing
