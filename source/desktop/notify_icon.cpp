#include "desktop/notify_icon.h"

#include "desktop/notify_icon_data.h"
#include "desktop/shell.h"

namespace veltrin::shell {

struct NotifyIcon::Record {
    modTray::NOTIFYICONDATA data;
};

NotifyIcon::NotifyIcon() : m_record(std::make_unique<Record>()) {}

NotifyIcon::~NotifyIcon() = default;

void NotifyIcon::Add(QWidget* window, const QIcon& icon, std::u16string_view tip, std::uint32_t callbackMessage) {
    modTray::NOTIFYICONDATA& data = m_record->data;
    data.cbSize = modTray::kAnsiRecordSize;
    data.hWnd = WindowHandle(window);
    data.uID = 1;
    data.uFlags = modTray::NIF_MESSAGE | modTray::NIF_ICON | modTray::NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = IconHandle(icon);
    modTray::SetTip(data, tip);
    modTray::NOTIFYICONDATAA record = modTray::ToAnsi(data);
    modTray::Shell_NotifyIconA(modTray::NIM_ADD, record);
    data = modTray::FromAnsi(record);
}

void NotifyIcon::Delete() {
    modTray::NOTIFYICONDATAA record = modTray::ToAnsi(m_record->data);
    modTray::Shell_NotifyIconA(modTray::NIM_DELETE, record);
    m_record->data = modTray::FromAnsi(record);
}

bool NotifyIcon::ShowMessage(const QString& title, const QString& text) const {
    return ShowBalloon(m_record->data.hWnd, m_record->data.uID, title, text);
}

} // namespace veltrin::shell
