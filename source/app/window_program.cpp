#include "app/window_program.h"

#include "app/translations.h"
#include "cli/command_line.h"
#include "desktop/desktop_proxy.h"
#include "desktop/hand_off.h"
#include "desktop/secret_store.h"
#include "desktop/user_settings.h"
#include "version.h"
#include "window/main_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace veltrin {

namespace {

constexpr int kNoDesktop = 3;
using cli::kUsage;

bool g_starting = true;
bool g_withoutOpenGl = false;

void SayNoDesktop() {
    std::fprintf(stderr, "Veltrin needs a graphical desktop, and none could be reached.\n"
                         "Without one, \"Veltrin --links LINK\" prints a video's download links.\n");
}

// Without a desktop Qt ends the program with a message about reinstalling it; say what is wrong.
void ReportMissingDesktop(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg && g_starting) {
        SayNoDesktop();
        std::_Exit(kNoDesktop);
    }
    // Without an integration the shared context cannot be made, as intended; nothing to say.
    const bool expected = g_withoutOpenGl && message.startsWith(QLatin1String("QXcbIntegration: Cannot create"));
    if (type != QtDebugMsg && !expected) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

} // namespace

StartChoice ChooseStart(const std::function<bool(const char* name)>& isSet) {
    StartChoice choice;
    const bool platformSet = isSet("QT_QPA_PLATFORM");
    choice.desktop = platformSet || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    // A background program cannot read the clipboard through the native Wayland platform; under
    // XWayland it can, and the compositor keeps the two clipboards in step.
    if (!platformSet && isSet("WAYLAND_DISPLAY") && isSet("DISPLAY")) {
        choice.platform = "xcb";
    }
    // The web engine, loaded with the first results page, wants a shared OpenGL context, and
    // Qt 6.4 lets that be asked for only before the application object exists. Nothing here
    // draws with OpenGL, though: the window is plain widgets and the results view draws in
    // software. Without an OpenGL integration on X11 that context costs nothing, where the
    // system's driver would add about 20 MB and 70 ms to every start. A user's own choice of
    // integration or scene graph backend stands.
    choice.withoutOpenGl = !isSet("QT_XCB_GL_INTEGRATION") && !isSet("QT_QUICK_BACKEND") && !isSet("QSG_RHI_BACKEND");
    return choice;
}

Job WithChosenProxy(Job job) {
    if (job.proxy || (job.task != Task::Links && job.task != Task::Download)) {
        return job;
    }
    job.proxy = ReadUserSettings(*OpenSettingsStore()).proxy;
    ProxyChoice& proxy = *job.proxy;
    if (proxy.mode == ProxyMode::System) {
        AdoptDesktopProxy();
    }
    // The store is asked over the session's bus; without one, there is none to ask.
    if (proxy.mode == ProxyMode::Manual && !proxy.user.empty() && std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr) {
        int argc = 1;
        char name[] = "Veltrin";
        char* argv[] = {name, nullptr};
        const QCoreApplication application(argc, argv);
        proxy.password = ReadProxyPassword(proxy).password;
    }
    return job;
}

int RunWindowProgram(const Job& job, const char* programName) {
    // "-platform NAME" among Qt's own options is the user's choice of platform, as QT_QPA_PLATFORM
    // is: the desktop check and the hand-over socket's name follow it too.
    if (const auto platform = std::ranges::find(job.qtArguments, "-platform");
        platform != job.qtArguments.end() && platform + 1 != job.qtArguments.end()) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform[1]));
    }
    const StartChoice start = ChooseStart([](const char* name) { return !qEnvironmentVariableIsEmpty(name); });
    if (start.platform != nullptr) {
        qputenv("QT_QPA_PLATFORM", start.platform);
    }

    // What a window that is open already would refuse, a new one does not run either.
    const QString link = QString::fromStdString(job.link);
    if (!link.isEmpty() && !handoff::Acceptable(link)) {
        std::fprintf(stderr, "Veltrin: the link is longer than 64 KB\n");
        return kUsage;
    }

    if (!start.desktop) {
        SayNoDesktop();
        return kNoDesktop;
    }

    // A second start hands its link to the window that runs already, or brings it to the front,
    // and is done; a second hidden start changes nothing there.
    const QString serverName = handoff::ServerName();
    if (job.hidden && link.isEmpty() && handoff::WindowListening(serverName)) {
        return 0;
    }
    switch (handoff::SendLink(serverName, link)) {
    case handoff::Delivery::Delivered: return 0;
    case handoff::Delivery::Refused:
        std::fprintf(stderr, "Veltrin: the window that is open refused the link\n");
        return kUsage;
    case handoff::Delivery::NoWindow: break;
    }

    qInstallMessageHandler(ReportMissingDesktop);
    if (start.withoutOpenGl) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        g_withoutOpenGl = true;
        // The engine reports its graphics set-up, which without OpenGL reads like a fault.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Qt's own options, for Qt to take; the application keeps argc and argv for its whole life.
    std::vector<std::string> arguments{programName};
    arguments.insert(arguments.end(), job.qtArguments.begin(), job.qtArguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    QApplication app(argc, argv.data());
    if (start.withoutOpenGl) {
        // Read once, at start; a file manager opened from the downloads window keeps its own.
        qunsetenv("QT_XCB_GL_INTEGRATION");
    }
    g_starting = false;
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setApplicationVersion(QStringLiteral(VELTRIN_VERSION));
    // Only closing the main window ends the program, not closing a box while the window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    // The window only: what the program prints stays English in every locale, for scripts.
    Translations translations;
    translations.Install(QLocale::system().uiLanguages(), Translations::Folder(),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));

    MainWindow window;
    QObject::connect(&window, &MainWindow::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    handoff::LinkServer server;
    QObject::connect(&server, &handoff::LinkServer::LinkReceived, &window, &MainWindow::HandOver);
    QObject::connect(&server, &handoff::LinkServer::ShowRequested, &window, &MainWindow::RestoreFromTray);
    server.Listen(serverName);
    window.Start(job.hidden);
    if (!link.isEmpty()) {
        window.HandOver(link);
    }
    return QApplication::exec();
}

} // namespace veltrin
