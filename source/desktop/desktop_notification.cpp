#include "desktop/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace veltrin::shell {

void ShowDesktopNotification(const QString& title, const QString& text) {
    // Without a session bus, the D-Bus library would try to launch one of its own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"))) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The body is markup to some services: a file name is text.
    QString body = text.toHtmlEscaped();
    call << QStringLiteral("Veltrin") << 0U << QStringLiteral("org.veltrin.Veltrin") << title << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.veltrin.Veltrin")}} << -1;
    // No reply is awaited: a service that hangs must not hold the window.
    bus.send(call);
}

} // namespace veltrin::shell
