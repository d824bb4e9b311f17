#include "window/frm_main.h"

#include <QApplication>

int main(int argc, char** argv) {
    // A background program cannot read the clipboard through the native Wayland platform; under
    // XWayland it can, and the compositor keeps the two clipboards in step.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // The web engine, loaded with the first results page, shares its OpenGL context with the
    // window's; Qt 6.4 lets that be asked for only before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    // Only closing the main window ends the program, not closing a box while the window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    veltrin::frmMain window;
    QObject::connect(&window, &veltrin::frmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.Form_Load();
    return QApplication::exec();
}
