#pragma once

#include <QString>

namespace veltrin::shell {

// Asks the desktop's notification service to show a message, without waiting for its answer.
// Nothing is shown where the session has no such service.
void ShowDesktopNotification(const QString& title, const QString& text);

} // namespace veltrin::shell
