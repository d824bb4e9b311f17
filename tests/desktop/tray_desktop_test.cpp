// The program on a real X server with a window manager and an XEmbed notification area: minimise
// it, find its icon, press on it, see the window back.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <optional>

namespace {

const QString kCaption = QStringLiteral("Download Clipvane Free");

// Whether a notification area has claimed the screen's tray selection.
bool NotificationAreaOwned(const QString& display) {
    xcb_connection_t* connection = xcb_connect(display.toLatin1().constData(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(connection)) {
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_NONE;
            free(owner);
            free(atom);
        }
    }
    xcb_disconnect(connection);
    return owned;
}

struct Output {
    int exitCode;
    QString text;
};

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
        auto& server =
            Start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(server.waitForReadyRead(10000)) << "Xvfb did not start";
        const QString display = QString::fromLatin1(server.readLine()).trimmed();
        ASSERT_FALSE(display.isEmpty());
        m_env.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + display);

        Start(QStringLiteral("openbox"), {});
        Start(QStringLiteral("trayer"),
              {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("left"),
               QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("120"),
               QStringLiteral("--heighttype"), QStringLiteral("pixel"), QStringLiteral("--height"),
               QStringLiteral("28")});
        const QString name = m_env.value(QStringLiteral("DISPLAY"));
        ASSERT_TRUE(WaitFor([&] { return NotificationAreaOwned(name); })) << "the notification area did not appear";

        QProcessEnvironment programEnv = m_env;
        programEnv.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        Start(QString::fromUtf8(VELTRIN_EXECUTABLE), {}, programEnv);
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

    QProcess& Start(const QString& program, const QStringList& args, std::optional<QProcessEnvironment> env = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env ? *env : m_env);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, args);
        process->waitForStarted(10000);
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    Output Xdotool(const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(m_env);
        tool.start(QStringLiteral("xdotool"), args);
        tool.waitForFinished(10000);
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromUtf8(tool.readAllStandardOutput()).trimmed()};
    }

    static bool WaitFor(const std::function<bool()>& condition, int ms = 15000) {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (condition()) {
                return true;
            }
            QThread::msleep(100);
        }
        return condition();
    }

    bool WindowShown() {
        return Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), kCaption})
                   .exitCode == 0;
    }

    // The program's small windows that are mapped: its notification icons.
    QStringList Icons() {
        QStringList icons;
        const Output found = Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--class"), QStringLiteral("Veltrin")});
        for (const QString& id : found.text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString geometry = Xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}).text;
            int width = 0;
            int height = 0;
            for (const QString& line : geometry.split(QLatin1Char('\n'))) {
                if (line.startsWith(QStringLiteral("WIDTH="))) {
                    width = line.mid(6).toInt();
                } else if (line.startsWith(QStringLiteral("HEIGHT="))) {
                    height = line.mid(7).toInt();
                }
            }
            if (width > 1 && width <= 64 && height > 1 && height <= 64) {
                icons.push_back(id);
            }
        }
        return icons;
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(Desktop, MinimiseThenLeftPressOnTheIconBringsTheWindowBack) {
    ASSERT_TRUE(WaitFor([&] { return WindowShown(); }, 30000)) << "the window never appeared";
    const QString window =
        Xdotool({QStringLiteral("search"), QStringLiteral("--name"), kCaption}).text.section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(Icons().isEmpty());

    for (int round = 0; round < 2; ++round) {
        Xdotool({QStringLiteral("windowminimize"), window});
        ASSERT_TRUE(WaitFor([&] { return !WindowShown() && Icons().size() == 1; })) << "round " << round;
        const QString icon = Icons().front();

        // Hovering and the right button leave it hidden.
        Xdotool(
            {QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"), QStringLiteral("8")});
        Xdotool({QStringLiteral("click"), QStringLiteral("3")});
        QThread::msleep(700);
        EXPECT_FALSE(WindowShown()) << "round " << round;

        Xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
        EXPECT_TRUE(WaitFor([&] { return WindowShown(); })) << "round " << round;
        Xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        EXPECT_TRUE(WaitFor([&] { return Icons().isEmpty(); })) << "round " << round;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
