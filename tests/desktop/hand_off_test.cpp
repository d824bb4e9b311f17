#include "desktop/hand_off.h"
#include "support/temporary_folder.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace veltrin::testing {
namespace {

class HandOff : public ::testing::Test {
protected:
    // Sends raw bytes as a later start would, and gives the window's answer.
    static QByteArray Send(const QString& name, const QByteArray& bytes) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(1000)) {
            return "no connection";
        }
        socket.write(bytes);
        QByteArray answer;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return answer.endsWith('\n') || socket.state() == QLocalSocket::UnconnectedState;
            },
            3000));
        return answer;
    }

    // A later start runs in a process of its own; here a thread stands in for it, while this
    // thread's event loop lets the window answer.
    static handoff::Delivery SendFromElsewhere(const QString& name, const QString& link) {
        auto delivery = std::async(std::launch::async, [&] { return handoff::SendLink(name, link); });
        static_cast<void>(QTest::qWaitFor(
            [&] { return delivery.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
        return delivery.get();
    }

    TemporaryFolder m_folder;
    QString m_name = QString::fromStdString((m_folder / "window.socket").string());
};

TEST_F(HandOff, TakesLinksAndRefusesAnythingElse) {
    handoff::LinkServer server;
    ASSERT_TRUE(server.Listen(m_name));
    QSignalSpy received(&server, &handoff::LinkServer::LinkReceived);
    QSignalSpy shown(&server, &handoff::LinkServer::ShowRequested);
    const QString link = QStringLiteral("http://www.clipvane.com/watch?v=Qx7bT2mLp9A \u00e9\u65e5 ");
    const QByteArray utf8 = link.toUtf8();
    const struct {
        const char* name;
        QByteArray bytes, answer;
    } cases[] = {
        {"Link", "veltrin-link 1\n" + QByteArray::number(utf8.size()) + '\n' + utf8, "ok\n"},
        {"NotAMessage", "GET / HTTP/1.1\r\n\r\n", "refused\n"},
        {"OverTheLimit", "veltrin-link 1\n70000\n" + QByteArray(70000, 'a'), "refused\n"},
        {"InvalidUtf8", "veltrin-link 1\n4\n\xff\xfe\xfd\xfc", "refused\n"},
        {"Blank", "veltrin-link 1\n3\n \t ", "refused\n"},
        {"MoreThanItSaid", "veltrin-link 1\n2\nabcdef", "refused\n"},
        {"NoLength", "veltrin-link 1\nhttp://x/                ", "refused\n"},
        {"NoLinkOnlyShowsTheWindow", "veltrin-link 1\n0\n", "ok\n"},
        {"NoLinkAndMore", "veltrin-link 1\n0\nab", "refused\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Send(m_name, c.bytes), c.answer);
    }
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(received.at(0).at(0).toString(), link);
    EXPECT_EQ(SendFromElsewhere(m_name, link), handoff::Delivery::Delivered);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 2000));
}

TEST_F(HandOff, BusyWindowKeepsTheLinkAStaleSocketIsReplacedAndALiveWindowIsNot) {
    // A window busy for a moment: its socket listens, but nobody takes the connection yet.
    const int busy = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_name.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(busy, 1), 0);
    EXPECT_EQ(SendFromElsewhere(m_name, QStringLiteral("http://x/")), handoff::Delivery::Delivered);
    // What a program that crashed leaves: the socket file, with nobody listening.
    close(busy);
    EXPECT_EQ(SendFromElsewhere(m_name, QStringLiteral("http://x/")), handoff::Delivery::NoWindow);

    handoff::LinkServer first;
    ASSERT_TRUE(first.Listen(m_name));
    handoff::LinkServer second;
    EXPECT_FALSE(second.Listen(m_name)) << "the first window keeps its links";
    EXPECT_EQ(SendFromElsewhere(m_name, QStringLiteral("http://x/")), handoff::Delivery::Delivered);
}

} // namespace
} // namespace veltrin::testing
