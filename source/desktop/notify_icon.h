#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>

class QIcon;
class QWidget;

namespace veltrin::shell {

// A window's icon in the notification area, added and removed through the shell's
// notification-icon function; the record the shell knows the icon by is kept in here.
class NotifyIcon {
public:
    NotifyIcon();
    ~NotifyIcon();
    NotifyIcon(const NotifyIcon&) = delete;
    NotifyIcon& operator=(const NotifyIcon&) = delete;

    // Adds the icon for window; mouse events on it reach the window as callbackMessage.
    void Add(QWidget* window, const QIcon& icon, std::u16string_view tip, std::uint32_t callbackMessage);
    void Delete();
    // A short message at the icon; false when it is not shown.
    bool ShowMessage(const QString& title, const QString& text) const;

private:
    struct Record;
    std::unique_ptr<Record> m_record;
};

} // namespace veltrin::shell
