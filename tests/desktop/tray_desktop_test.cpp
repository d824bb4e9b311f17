// The program on a real X server with a window manager and an XEmbed notification area: minimise
// it, find its icon, open its menu, press on it, see the window back; and again when the panel goes.

#include "support/wait_until.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace std::chrono_literals;

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
            }
        }
        ASSERT_TRUE(m_home.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // the XEmbed area, not a D-Bus one

        // The server picks a free display and names it on its standard output.
        QProcess& server = Start("Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp");
        ASSERT_TRUE(server.waitForReadyRead(10000)) << "Xvfb did not start";
        const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine()).trimmed();
        m_env.insert(QStringLiteral("DISPLAY"), display);
        Start("openbox");
        // On a loaded machine the panel may start before the window manager is ready and give up:
        // it is started again until it shows.
        const char* panel =
            "trayer --edge top --align left --widthtype pixel --width 120 --heighttype pixel --height 28";
        m_tray = &Start(panel);
        ASSERT_TRUE(WaitFor(
            [&] {
                if (m_tray->state() == QProcess::NotRunning) {
                    m_tray = &Start(panel);
                }
                return !Xdotool("search --onlyvisible --class trayer").isEmpty();
            },
            40s))
            << "the notification area did not appear";
        m_env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        Start(VELTRIN_EXECUTABLE);
    }

    void TearDown() override {
        // Last started, first stopped: the program before its desktop.
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) {
                (*it)->kill();
                (*it)->waitForFinished(5000);
            }
        }
    }

    QProcess& Start(const char* command) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        process->setStandardErrorFile(QProcess::nullDevice());
        QStringList args = QString::fromUtf8(command).split(QLatin1Char(' '));
        process->start(args.takeFirst(), args);
        process->waitForStarted(10000);
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    // xdotool's output lines, or nothing when it fails.
    QStringList Xdotool(const QString& command) {
        QProcess tool;
        tool.setProcessEnvironment(m_env);
        tool.start(QStringLiteral("xdotool"), command.split(QLatin1Char(' ')));
        tool.waitForFinished(10000);
        const bool ok = tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
        return ok ? QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                  : QStringList();
    }
    QStringList Xdotool(const char* command) { return Xdotool(QString::fromUtf8(command)); }

    static bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
        return veltrin::testing::WaitUntil(condition, limit, 100ms);
    }

    bool WindowShown() { return !Xdotool("search --onlyvisible --name ^Download.Clipvane.Free$").isEmpty(); }

    // The program's windows that are mapped, other than its main window, whose size fits.
    QStringList Windows(const std::function<bool(int width, int height)>& fits) {
        QStringList found;
        for (const QString& id : Xdotool("search --onlyvisible --class Veltrin")) {
            const QStringList geometry = Xdotool(QStringLiteral("getwindowgeometry --shell ") + id);
            const int width = geometry.filter(QStringLiteral("WIDTH=")).value(0).mid(6).toInt();
            const int height = geometry.filter(QStringLiteral("HEIGHT=")).value(0).mid(7).toInt();
            if (fits(width, height) && !Xdotool(QStringLiteral("getwindowname ") + id)
                                            .value(0)
                                            .startsWith(QLatin1String("Download Clipvane Free"))) {
                found.push_back(id);
            }
        }
        return found;
    }
    QStringList Icons() {
        return Windows([](int w, int h) { return w > 1 && w <= 64 && h > 1 && h <= 64; });
    }
    QStringList Menus() {
        return Windows([](int w, int h) { return w > 64 && h > 64; });
    }

    QTemporaryDir m_home;
    QProcess* m_tray = nullptr;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(Desktop, IconsMenuOpensAndALeftPressOrAGonePanelBringsTheWindowBack) {
    ASSERT_TRUE(WaitFor([&] { return WindowShown(); }, 30s)) << "the window never appeared";
    const QString window = Xdotool("search --name ^Download.Clipvane.Free$").value(0);
    EXPECT_TRUE(Icons().isEmpty());

    for (int round = 0; round < 2; ++round) {
        Xdotool(QStringLiteral("windowminimize ") + window);
        // A sanitized build beside other window tests can take its time to embed the icon.
        ASSERT_TRUE(WaitFor([&] { return !WindowShown() && Icons().size() == 1; }, 40s))
            << "round " << round << ": window shown " << WindowShown() << ", icons " << Icons().size();

        // Hovering leaves it hidden; the right button opens the menu, and Escape closes it.
        Xdotool(QStringLiteral("mousemove --window %1 8 8").arg(Icons().front()));
        Xdotool("click 3");
        EXPECT_TRUE(WaitFor([&] { return Menus().size() == 1; })) << "round " << round;
        Xdotool("key Escape");
        EXPECT_TRUE(WaitFor([&] { return Menus().isEmpty(); })) << "round " << round;
        EXPECT_FALSE(WindowShown()) << "round " << round;

        Xdotool("mousedown 1");
        EXPECT_TRUE(WaitFor([&] { return WindowShown(); })) << "round " << round;
        Xdotool("mouseup 1");
        EXPECT_TRUE(WaitFor([&] { return Icons().isEmpty(); })) << "round " << round;
    }

    // The panel goes while the window hides behind it: the server says so, and the window is back.
    Xdotool(QStringLiteral("windowminimize ") + window);
    ASSERT_TRUE(WaitFor([&] { return !WindowShown() && Icons().size() == 1; }, 40s));
    m_tray->kill();
    EXPECT_TRUE(WaitFor([&] { return WindowShown(); }, 5s)) << "the window stayed out of reach";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
