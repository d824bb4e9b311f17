#pragma once

#include "desktop/notify_icon_data.h"

#include <QEvent>
#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>

#include <cstdint>
#include <optional>
#include <vector>

class QWidget;

namespace modTray {

// Adds (NIM_ADD) or removes (NIM_DELETE) the notification icon that the record names by its
// window and id. The record is read back after the call, as the shell may write to it. Returns
// whether the shell did what was asked.
bool Shell_NotifyIconA(std::uint32_t dwMessage, NOTIFYICONDATAA& lpData);

} // namespace modTray

// The shell's side of notification icons, over the desktop's system-tray icons.
namespace veltrin::shell {

// The handles by which the shell knows a window and an icon. A window handle stays the window's
// for its life; the same icon gives the same handle.
std::uint32_t WindowHandle(QWidget* window);
std::uint32_t IconHandle(const QIcon& icon);

// A message from the shell to a window, posted as the desktop reports a mouse event on an icon:
// the icon's callback message, its id and the mouse event's own message number.
class MessageEvent : public QEvent {
public:
    MessageEvent(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam);
    static Type EventType();

    std::uint32_t message;
    std::uint32_t wParam;
    std::uint32_t lParam;
};

// Shows a short message at a shown icon, as the desktop shows them. False when there is no such icon.
bool ShowBalloon(std::uint32_t hWnd, std::uint32_t uID, const QString& title, const QString& text);

// Whether the desktop has a notification area that can take an icon now.
bool NotificationAreaAvailable();

// The mouse message number for what the desktop reports on an icon.
std::uint32_t MessageFor(QSystemTrayIcon::ActivationReason reason);

// An icon the shell shows.
struct ShownIcon {
    std::uint32_t hWnd;
    std::uint32_t uID;
    std::uint32_t hIcon;
    QString tip;
    bool operator==(const ShownIcon&) const = default;
};
std::vector<ShownIcon> ShownIcons();

// Reports a mouse event on a shown icon to its window, as the desktop does. False when there is
// no such icon.
bool ReportMouseEvent(std::uint32_t hWnd, std::uint32_t uID, std::uint32_t message);

// Pretends that a notification area is there, or is not, whatever the desktop says; nullopt asks
// the desktop again. For tests on a desktop without one.
void SetNotificationAreaForTesting(std::optional<bool> available);

} // namespace veltrin::shell
