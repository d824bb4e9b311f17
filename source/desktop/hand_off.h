#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace veltrin::handoff {

// Links longer than this are refused.
inline constexpr qsizetype kMostLinkBytes = 64 * 1024;

// Whether a window takes this link from a later start: not blank, and not too long.
bool Acceptable(const QString& link);

// The socket of this user's window on this display, in the user's own runtime folder.
QString ServerName();

// Delivered also when a window took the whole link but had no time to answer yet.
enum class Delivery { Delivered, NoWindow, Refused };

// Hands a link to the window listening at name, waiting at most timeoutMs for each step. An empty
// link only brings the window to the front.
Delivery SendLink(const QString& name, const QString& link, int timeoutMs = 1000);

// Whether a window listens at name.
bool WindowListening(const QString& name, int timeoutMs = 1000);

// Takes links from later starts of the program. Only this user's processes are heard; a message
// that is not a link, or that is too long, is refused.
class LinkServer : public QObject {
    Q_OBJECT
public:
    explicit LinkServer(QObject* parent = nullptr);

    // Listens at name, after removing a socket that a crashed program left there. False when
    // another window listens there already, or listening fails.
    bool Listen(const QString& name);

Q_SIGNALS:
    void LinkReceived(const QString& link);
    void ShowRequested();

private:
    void OnNewConnection();

    QLocalServer m_server;
};

} // namespace veltrin::handoff
