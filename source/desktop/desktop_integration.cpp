#include "desktop/desktop_integration.h"

#include "desktop/area_watch.h"
#include "desktop/desktop_notification.h"

#include <QCursor>
#include <QSystemTrayIcon>
#include <QTimer>

namespace veltrin {

namespace {

constexpr int kAreaPollMs = 1000;
// A new tray announces itself after taking its selection; Qt's tracker hears of it then.
constexpr int kAreaSettleMs = 500;

std::optional<bool>& AreaForTesting() {
    static std::optional<bool> available;
    return available;
}

} // namespace

DesktopIntegration::DesktopIntegration(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent), m_trayIcon(new QSystemTrayIcon(icon, this)), m_areaPoll(new QTimer(this)) {
    m_trayIcon->setToolTip(tip);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            Q_EMIT activationRequested();
        } else if (reason == QSystemTrayIcon::Context) {
            Q_EMIT menuRequested(QCursor::pos());
        }
    });
    m_areaPoll->setInterval(kAreaPollMs);
    connect(m_areaPoll, &QTimer::timeout, this, &DesktopIntegration::areaChanged);
    connect(&shell::AreaWatch::Instance(), &shell::AreaWatch::Changed, this, [this] {
        Q_EMIT areaChanged();
        QTimer::singleShot(kAreaSettleMs, this, &DesktopIntegration::areaChanged);
    });
}

DesktopIntegration::~DesktopIntegration() = default;

bool DesktopIntegration::notificationAreaAvailable() {
    if (const auto& forced = AreaForTesting()) {
        return *forced;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void DesktopIntegration::setNotificationAreaForTesting(std::optional<bool> available) { AreaForTesting() = available; }

void DesktopIntegration::showIcon() {
    if (notificationAreaAvailable()) {
        m_trayIcon->show();
    }
}

void DesktopIntegration::hideIcon() { m_trayIcon->hide(); }

bool DesktopIntegration::iconShown() const { return m_trayIcon->isVisible(); }

void DesktopIntegration::setWatchingArea(bool on) {
    if (on && !shell::AreaWatch::Instance().Reported()) {
        m_areaPoll->start();
    } else if (!on) {
        m_areaPoll->stop();
    }
}

void DesktopIntegration::notify(const QString& title, const QString& text) {
    if (iconShown()) {
        m_trayIcon->showMessage(title, text, QSystemTrayIcon::Information);
    } else {
        shell::ShowDesktopNotification(title, text);
    }
}

} // namespace veltrin
