#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QSystemTrayIcon;
class QTimer;

namespace veltrin {

// The window's place on the desktop: its icon in the notification area, the icon's messages, the
// desktop's notifications, and word of a notification area that comes or goes.
class DesktopIntegration : public QObject {
    Q_OBJECT
public:
    DesktopIntegration(const QIcon& icon, const QString& tip, QObject* parent = nullptr);
    ~DesktopIntegration() override;

    // Whether the desktop has a notification area that can take an icon now.
    static bool notificationAreaAvailable();
    // Pretends that a notification area is there, or is not, whatever the desktop says; nullopt
    // asks the desktop again. For tests on a desktop without one.
    static void setNotificationAreaForTesting(std::optional<bool> available);

    void showIcon();
    void hideIcon();
    bool iconShown() const;
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

    // While on, areaChanged() tells of the notification area coming or going: from the X server
    // where it reports so, else by asking the desktop every second.
    void setWatchingArea(bool on);

    // Tells the user of something while they look elsewhere: the icon's message while the icon
    // shows, else the desktop's notification.
    void notify(const QString& title, const QString& text);

Q_SIGNALS:
    // A left press on the icon.
    void activationRequested();
    // A right press on the icon, at globalPos.
    void menuRequested(QPoint globalPos);
    // The notification area may have come or gone: ask notificationAreaAvailable() again.
    void areaChanged();

private:
    QSystemTrayIcon* m_trayIcon;
    QTimer* m_areaPoll;
};

} // namespace veltrin
