#include "desktop/shell.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <map>
#include <utility>

namespace veltrin::shell {

namespace {

constexpr const char* kHandleProperty = "veltrin.shellHandle";

struct Icon {
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    std::uint32_t hIcon = 0;
    QString tip;
    QPointer<QSystemTrayIcon> trayIcon;
};

// The shell's books. Everything runs on the one user-interface thread.
struct Books {
    std::uint32_t lastHandle = 0;
    std::map<std::uint32_t, QPointer<QWidget>> windows;
    std::map<qint64, std::uint32_t> iconHandles;
    std::map<std::uint32_t, QIcon> icons;
    std::map<std::pair<std::uint32_t, std::uint32_t>, Icon> shown;
    std::optional<bool> areaForTesting;
};

Books& TheBooks() {
    static Books books;
    return books;
}

std::uint32_t NewHandle() {
    // Handles are even and never zero, like the platform's own.
    TheBooks().lastHandle += 4;
    return TheBooks().lastHandle;
}

QWidget* WindowOf(std::uint32_t hWnd) {
    const auto found = TheBooks().windows.find(hWnd);
    return found == TheBooks().windows.end() ? nullptr : found->second.data();
}

// Sends a mouse event on a shown icon to its window as the icon's callback message. False when
// there is no such icon.
bool Post(std::uint32_t hWnd, std::uint32_t uID, std::uint32_t message) {
    const auto icon = TheBooks().shown.find({hWnd, uID});
    if (icon == TheBooks().shown.end()) {
        return false;
    }
    QWidget* window = WindowOf(hWnd);
    if (window && (icon->second.flags & modTray::NIF_MESSAGE)) {
        QCoreApplication::postEvent(window, new MessageEvent(icon->second.callbackMessage, uID, message));
    }
    return true;
}

bool Add(const modTray::NOTIFYICONDATAA& record) {
    const modTray::NOTIFYICONDATA data = modTray::FromAnsi(record);
    Books& books = TheBooks();
    const std::pair key{data.hWnd, data.uID};
    if (data.cbSize != modTray::kAnsiRecordSize || books.shown.contains(key) || !NotificationAreaAvailable()) {
        return false;
    }
    if (!WindowOf(data.hWnd)) {
        return false;
    }
    Icon icon;
    icon.flags = data.uFlags;
    icon.callbackMessage = data.uCallbackMessage;
    if (data.uFlags & modTray::NIF_ICON) {
        icon.hIcon = data.hIcon;
    }
    if (data.uFlags & modTray::NIF_TIP) {
        icon.tip = QString::fromStdString(modTray::TipText(record));
    }
    // Owned by the application, so that it goes before the desktop connection does.
    icon.trayIcon = new QSystemTrayIcon(QCoreApplication::instance());
    if (const auto found = books.icons.find(icon.hIcon); found != books.icons.end()) {
        icon.trayIcon->setIcon(found->second);
    }
    icon.trayIcon->setToolTip(icon.tip);
    QObject::connect(icon.trayIcon, &QSystemTrayIcon::activated, [key](QSystemTrayIcon::ActivationReason reason) {
        Post(key.first, key.second, MessageFor(reason));
    });
    icon.trayIcon->show();
    books.shown.emplace(key, std::move(icon));
    return true;
}

bool Delete(const modTray::NOTIFYICONDATAA& record) {
    const modTray::NOTIFYICONDATA data = modTray::FromAnsi(record);
    Books& books = TheBooks();
    const auto found = books.shown.find({data.hWnd, data.uID});
    if (found == books.shown.end()) {
        return false;
    }
    if (QSystemTrayIcon* trayIcon = found->second.trayIcon) {
        trayIcon->hide();
        // It may be inside its own signal right now.
        trayIcon->deleteLater();
    }
    books.shown.erase(found);
    return true;
}

} // namespace

std::uint32_t WindowHandle(QWidget* window) {
    const QVariant stored = window->property(kHandleProperty);
    if (stored.isValid()) {
        return stored.toUInt();
    }
    const std::uint32_t handle = NewHandle();
    window->setProperty(kHandleProperty, handle);
    TheBooks().windows[handle] = window;
    return handle;
}

std::uint32_t IconHandle(const QIcon& icon) {
    Books& books = TheBooks();
    if (const auto found = books.iconHandles.find(icon.cacheKey()); found != books.iconHandles.end()) {
        return found->second;
    }
    const std::uint32_t handle = NewHandle();
    books.iconHandles[icon.cacheKey()] = handle;
    books.icons[handle] = icon;
    return handle;
}

bool ShowBalloon(std::uint32_t hWnd, std::uint32_t uID, const QString& title, const QString& text) {
    const auto found = TheBooks().shown.find({hWnd, uID});
    if (found == TheBooks().shown.end() || !found->second.trayIcon) {
        return false;
    }
    found->second.trayIcon->showMessage(title, text, QSystemTrayIcon::Information);
    return true;
}

MessageEvent::MessageEvent(std::uint32_t message_, std::uint32_t wParam_, std::uint32_t lParam_)
    : QEvent(EventType()), message(message_), wParam(wParam_), lParam(lParam_) {}

QEvent::Type MessageEvent::EventType() {
    static const auto type = static_cast<Type>(registerEventType());
    return type;
}

bool NotificationAreaAvailable() {
    if (const auto& forced = TheBooks().areaForTesting) {
        return *forced;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

std::uint32_t MessageFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger: return modTray::WM_LBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick: return modTray::WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context: return modTray::WM_RBUTTONDOWN;
    case QSystemTrayIcon::MiddleClick: return modTray::WM_MBUTTONDOWN;
    case QSystemTrayIcon::Unknown: break;
    }
    return modTray::WM_MOUSEMOVE;
}

std::vector<ShownIcon> ShownIcons() {
    std::vector<ShownIcon> icons;
    for (const auto& [key, icon] : TheBooks().shown) {
        icons.push_back({key.first, key.second, icon.hIcon, icon.tip});
    }
    return icons;
}

bool ReportMouseEvent(std::uint32_t hWnd, std::uint32_t uID, std::uint32_t message) { return Post(hWnd, uID, message); }

void SetNotificationAreaForTesting(std::optional<bool> available) { TheBooks().areaForTesting = available; }

} // namespace veltrin::shell

namespace modTray {

bool Shell_NotifyIconA(std::uint32_t dwMessage, NOTIFYICONDATAA& lpData) {
    switch (dwMessage) {
    case NIM_ADD: return veltrin::shell::Add(lpData);
    case NIM_DELETE: return veltrin::shell::Delete(lpData);
    default: return false;
    }
}

} // namespace modTray
