#pragma once

#include <QObject>

namespace veltrin::shell {

// Tells of a notification area that comes or goes. On X11 the server reports each new owner of
// the tray's selection, so nothing polls; elsewhere nothing reports, and Reported() is false.
class AreaWatch : public QObject {
    Q_OBJECT
public:
    static AreaWatch& Instance();
    bool Reported() const { return m_reported; }

Q_SIGNALS:
    // The area may have come or gone: ask NotificationAreaAvailable() again.
    void Changed();

private:
    AreaWatch();
    bool m_reported = false;
};

} // namespace veltrin::shell
