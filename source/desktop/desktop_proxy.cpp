#include "desktop/desktop_proxy.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <cstdlib>
#include <mutex>

namespace veltrin {

namespace {

// One key of the schema, as gsettings prints it ('text', 1080, ['a', 'b']); empty when unread.
QString Setting(const QString& program, const QString& schema, const QString& key) {
    QProcess gsettings;
    gsettings.start(program, {QStringLiteral("get"), schema, key});
    if (!gsettings.waitForFinished(2000) || gsettings.exitCode() != 0) {
        gsettings.kill();
        return {};
    }
    return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
}

QString Unquoted(const QString& text) {
    return text.size() >= 2 && text.startsWith(QLatin1Char('\'')) ? text.mid(1, text.size() - 2) : text;
}

// "scheme://host:port" of one of the schema's proxies, or nothing when it has no host.
QString Address(const QString& program, const char* kind, const QString& scheme) {
    const QString schema = QStringLiteral("org.gnome.system.proxy.") + QLatin1String(kind);
    const QString host = Unquoted(Setting(program, schema, QStringLiteral("host")));
    const int port = Setting(program, schema, QStringLiteral("port")).toInt();
    if (host.isEmpty() || port <= 0) {
        return {};
    }
    const bool v6 = host.contains(QLatin1Char(':'));
    return scheme + QStringLiteral("://") + (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) +
           QLatin1Char(':') + QString::number(port);
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

} // namespace

void AdoptDesktopProxy() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* variable :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            if (Named(variable)) {
                return;
            }
        }
        const QString program = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
        const QString schema = QStringLiteral("org.gnome.system.proxy");
        if (program.isEmpty() ||
            Unquoted(Setting(program, schema, QStringLiteral("mode"))) != QLatin1String("manual")) {
            return;
        }
        const QString http = Address(program, "http", QStringLiteral("http"));
        const QString https = Address(program, "https", QStringLiteral("http"));
        const QString socks = Address(program, "socks", QStringLiteral("socks5h"));
        const auto set = [](const char* variable, const QString& value) {
            if (!value.isEmpty()) {
                ::setenv(variable, value.toUtf8().constData(), 1);
            }
        };
        set("http_proxy", http);
        set("https_proxy", https);
        set("all_proxy", socks);
        // ['localhost', '127.0.0.0/8', '::1'] becomes localhost,127.0.0.0/8,::1
        QString ignored = Setting(program, schema, QStringLiteral("ignore-hosts"));
        ignored.remove(QRegularExpression(QStringLiteral("^@as |[\\[\\]' ]")));
        set("no_proxy", ignored);
    });
}

} // namespace veltrin
