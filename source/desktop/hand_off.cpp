#include "desktop/hand_off.h"

#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

namespace veltrin::handoff {

namespace {

// A message: this line, the link's length in bytes and a line feed, then the link in UTF-8.
constexpr QByteArrayView kGreeting = "veltrin-link 1\n";
constexpr int kConnectionTimeoutMs = 5000;

bool FromThisUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == getuid();
}

// The link in a complete message, or nothing while more is needed; refused sets refused.
std::optional<QString> Parse(const QByteArray& data, bool& refused) {
    const qsizetype header = kGreeting.size();
    if (!data.startsWith(kGreeting.first(std::min(header, data.size())))) {
        refused = true;
        return std::nullopt;
    }
    const qsizetype end = data.indexOf('\n', header);
    if (end < 0) {
        refused = data.size() > header + 8;
        return std::nullopt;
    }
    bool number = false;
    const qlonglong length = data.mid(header, end - header).toLongLong(&number);
    if (number && length == 0 && data.size() == end + 1) {
        return QString(); // no link: the window is only to come to the front
    }
    if (!number || length <= 0 || length > kMostLinkBytes) {
        refused = true;
        return std::nullopt;
    }
    if (data.size() < end + 1 + length) {
        return std::nullopt;
    }
    const QByteArray bytes = data.mid(end + 1, length);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString link = decoder(bytes);
    if (decoder.hasError() || data.size() != end + 1 + length || bytes.contains('\0') || !Acceptable(link)) {
        refused = true;
        return std::nullopt;
    }
    return link;
}

} // namespace

bool Acceptable(const QString& link) { return !link.trimmed().isEmpty() && link.toUtf8().size() <= kMostLinkBytes; }

QString ServerName() {
    QString display = qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen")
                          ? QStringLiteral("offscreen")
                          : qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-')) {
            c = QLatin1Char('_');
        }
    }
    // The runtime folder is the user's alone, so others cannot even reach the socket.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/veltrin-") + display +
           QStringLiteral(".socket");
}

Delivery SendLink(const QString& name, const QString& link, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return Delivery::NoWindow;
    }
    const QByteArray bytes = link.toUtf8();
    socket.write(kGreeting.toByteArray() + QByteArray::number(bytes.size()) + '\n' + bytes);
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs)) {
        answer += socket.readAll();
    }
    if (answer.isEmpty()) {
        // A window busy for a moment (starting its web view on a loaded machine) reads the link
        // once it is free: delivered whole, it is not run anywhere else.
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(timeoutMs)) {
        }
        const bool written = socket.bytesToWrite() == 0 && socket.state() == QLocalSocket::ConnectedState;
        return written ? Delivery::Delivered : Delivery::NoWindow;
    }
    return answer == "ok\n" ? Delivery::Delivered : Delivery::Refused;
}

LinkServer::LinkServer(QObject* parent) : QObject(parent) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &LinkServer::OnNewConnection);
}

bool WindowListening(const QString& name, int timeoutMs) {
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(timeoutMs);
}

bool LinkServer::Listen(const QString& name) {
    // Listening replaces whatever socket file is there, so ask first whether a window answers.
    if (WindowListening(name, 500)) {
        return false;
    }
    // What is left is a socket that a crashed program did not remove.
    QLocalServer::removeServer(name);
    return m_server.listen(name);
}

void LinkServer::OnNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!FromThisUser(*socket)) {
            socket->abort();
            continue;
        }
        // One message a connection; a peer that says nothing useful is not waited for long.
        QTimer::singleShot(kConnectionTimeoutMs, socket, [socket] { socket->abort(); });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            bool refused = false;
            const auto link = Parse(*buffer, refused);
            if (refused) {
                socket->write("refused\n");
                socket->disconnectFromServer();
            } else if (link) {
                socket->write("ok\n");
                socket->disconnectFromServer();
                if (link->isEmpty()) {
                    Q_EMIT ShowRequested();
                } else {
                    Q_EMIT LinkReceived(*link);
                }
            }
        });
    }
}

} // namespace veltrin::handoff
