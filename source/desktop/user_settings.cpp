#include "desktop/user_settings.h"

#include "core/stream_entries.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <array>
#include <utility>

namespace veltrin {

namespace {

const QString kFolderKey = QStringLiteral("preferences/downloadFolder");
const QString kQualityKey = QStringLiteral("preferences/quality");
const QString kClipboardKey = QStringLiteral("preferences/clipboard");
const QString kAtOnceKey = QStringLiteral("preferences/downloadsAtOnce");
const QString kKeepKey = QStringLiteral("preferences/keep");
const QString kConnectionsKey = QStringLiteral("preferences/connections");
const QString kSpeedLimitKey = QStringLiteral("preferences/speedLimit"); // bytes a second
const QString kProxyKey = QStringLiteral("proxy/mode");
const QString kProxySchemeKey = QStringLiteral("proxy/kind");
const QString kProxyHostKey = QStringLiteral("proxy/host");
const QString kProxyPortKey = QStringLiteral("proxy/port");
const QString kProxyUserKey = QStringLiteral("proxy/user");
const QString kAnsweredKey = QStringLiteral("clipboard/lastAnswered");
const QString kSaveFolderKey = QStringLiteral("downloads/folder"); // the save dialog's, not Preferences'

constexpr std::array<std::pair<ClipboardWay, const char*>, 3> kWays{{
    {ClipboardWay::Ask, "ask"},
    {ClipboardWay::Automatic, "automatic"},
    {ClipboardWay::Off, "off"},
}};

constexpr std::array<std::pair<KeepForm, const char*>, 3> kKeeps{{
    {KeepForm::Video, "video"},
    {KeepForm::Sound, "sound"},
    {KeepForm::Mp3, "mp3"},
}};

constexpr std::array<std::pair<ProxyMode, const char*>, 3> kProxyModes{{
    {ProxyMode::Direct, "direct"},
    {ProxyMode::System, "system"},
    {ProxyMode::Manual, "manual"},
}};

// The kinds Preferences offers: SOCKS5 always with names looked up by the proxy.
constexpr std::array<ProxyScheme, 3> kProxySchemes{ProxyScheme::Http, ProxyScheme::Https, ProxyScheme::Socks5h};

const char* WayName(ClipboardWay way) {
    for (const auto& [w, name] : kWays) {
        if (w == way) {
            return name;
        }
    }
    return kWays[0].second;
}

QString QualityName(int row) {
    return row < 0
               ? QStringLiteral("best")
               : QString::fromLatin1(QualityTable[static_cast<std::size_t>(row)].label.data(),
                                     static_cast<qsizetype>(QualityTable[static_cast<std::size_t>(row)].label.size()));
}

// An argument of a desktop entry's Exec key: quoted, with the quoting's escapes, then the escapes
// of a string value on top.
QString ExecQuoted(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    return QLatin1Char('"') + quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")) + QLatin1Char('"');
}

} // namespace

std::unique_ptr<QSettings> OpenSettingsStore() {
    return std::make_unique<QSettings>(QStringLiteral("Veltrin"), QStringLiteral("Veltrin"));
}

UserSettings ReadUserSettings(const QSettings& store) {
    UserSettings s;
    if (store.status() != QSettings::NoError) {
        return s;
    }
    const QString folder = store.value(kFolderKey).toString();
    if (QDir::isAbsolutePath(folder)) {
        s.downloadFolder = QDir::cleanPath(folder);
    }
    const QString quality = store.value(kQualityKey).toString();
    for (std::size_t row = 0; row < QualityTable.size(); ++row) {
        if (quality == QualityName(static_cast<int>(row))) {
            s.preferredQuality = static_cast<int>(row);
        }
    }
    const QString way = store.value(kClipboardKey).toString();
    for (const auto& [w, name] : kWays) {
        if (way == QLatin1String(name)) {
            s.clipboard = w;
        }
    }
    bool number = false;
    const int atOnce = store.value(kAtOnceKey).toInt(&number);
    if (number && atOnce >= UserSettings::kFewestAtOnce && atOnce <= UserSettings::kMostAtOnce) {
        s.atOnce = atOnce;
    }
    const QString keep = store.value(kKeepKey).toString();
    for (const auto& [k, name] : kKeeps) {
        if (keep == QLatin1String(name)) {
            s.keep = k;
        }
    }
    const int connections = store.value(kConnectionsKey).toInt(&number);
    if (number && connections >= UserSettings::kFewestConnections && connections <= UserSettings::kMostConnections) {
        s.connections = connections;
    }
    const qlonglong limit = store.value(kSpeedLimitKey).toLongLong(&number);
    s.speedLimit = number && limit > 0 ? limit : 0;
    const QString mode = store.value(kProxyKey).toString();
    for (const auto& [m, name] : kProxyModes) {
        if (mode == QLatin1String(name)) {
            s.proxy.mode = m;
        }
    }
    const QString scheme = store.value(kProxySchemeKey).toString();
    for (const ProxyScheme kind : kProxySchemes) {
        if (scheme.toStdString() == SchemeName(kind)) {
            s.proxy.scheme = kind;
        }
    }
    s.proxy.host = store.value(kProxyHostKey).toString().trimmed().toStdString();
    const int port = store.value(kProxyPortKey).toInt(&number);
    s.proxy.port = number && port > 0 && port <= 65535 ? port : 0;
    s.proxy.user = store.value(kProxyUserKey).toString().toStdString();
    // A proxy given by hand with no host or port is no proxy to use.
    if (s.proxy.mode == ProxyMode::Manual && (s.proxy.host.empty() || s.proxy.port == 0)) {
        s.proxy.mode = ProxyMode::Direct;
    }
    const QByteArray answered = store.value(kAnsweredKey).toByteArray();
    if (answered.size() == 64) { // a SHA-256 in hexadecimal
        s.lastAnswered = answered;
    }
    return s;
}

void WriteUserSettings(QSettings& store, const UserSettings& before, const UserSettings& after) {
    if (after.downloadFolder != before.downloadFolder) {
        store.setValue(kFolderKey, after.downloadFolder);
    }
    if (after.preferredQuality != before.preferredQuality) {
        store.setValue(kQualityKey, QualityName(after.preferredQuality));
    }
    if (after.clipboard != before.clipboard) {
        store.setValue(kClipboardKey, QLatin1String(WayName(after.clipboard)));
    }
    if (after.atOnce != before.atOnce) {
        store.setValue(kAtOnceKey, after.atOnce);
    }
    if (after.keep != before.keep) {
        store.setValue(kKeepKey, QLatin1String(kKeeps[static_cast<std::size_t>(after.keep)].second));
    }
    if (after.connections != before.connections) {
        store.setValue(kConnectionsKey, after.connections);
    }
    if (after.speedLimit != before.speedLimit) {
        store.setValue(kSpeedLimitKey, static_cast<qlonglong>(after.speedLimit));
    }
    const ProxyChoice& p = after.proxy;
    const ProxyChoice& q = before.proxy;
    if (p.mode != q.mode) {
        store.setValue(kProxyKey, QLatin1String(kProxyModes[static_cast<std::size_t>(p.mode)].second));
    }
    if (p.scheme != q.scheme) {
        store.setValue(kProxySchemeKey, QString::fromLatin1(SchemeName(p.scheme).data(),
                                                            static_cast<qsizetype>(SchemeName(p.scheme).size())));
    }
    if (p.host != q.host) {
        store.setValue(kProxyHostKey, QString::fromStdString(p.host));
    }
    if (p.port != q.port) {
        store.setValue(kProxyPortKey, p.port);
    }
    if (p.user != q.user) {
        store.setValue(kProxyUserKey, QString::fromStdString(p.user));
    }
    if (after.lastAnswered != before.lastAnswered) {
        store.setValue(kAnsweredKey, after.lastAnswered);
    }
    store.sync();
}

QByteArray AnsweredHash(const QString& text) {
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
}

QString SaveDialogFolder(const QSettings& store) {
    const QString folder = store.value(kSaveFolderKey).toString();
    return folder.isEmpty() || !QFileInfo(folder).isDir() ? DesktopDownloadFolder() : folder;
}

void RememberSaveFolder(QSettings& store, const QString& folder) {
    if (!FolderProblem(folder)) {
        store.setValue(kSaveFolderKey, folder);
    }
}

void ForgetSaveFolder(QSettings& store, const QString& folder) {
    if (store.value(kSaveFolderKey).toString() == folder) {
        store.remove(kSaveFolderKey);
    }
}

QString DesktopDownloadFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    QDir().mkpath(folder); // as a browser does: a dialog would start elsewhere in one not there yet
    return folder;
}

QString DownloadFolder(const UserSettings& settings) {
    return settings.downloadFolder.isEmpty() ? DesktopDownloadFolder() : settings.downloadFolder;
}

std::optional<QString> FolderProblem(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        return QCoreApplication::translate("veltrin", "%1 does not exist.").arg(folder);
    }
    if (!info.isDir()) {
        return QCoreApplication::translate("veltrin", "%1 is not a folder.").arg(folder);
    }
    if (!info.isWritable()) {
        return QCoreApplication::translate("veltrin", "%1 cannot be written.").arg(folder);
    }
    return std::nullopt;
}

QString AutostartFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/org.veltrin.Veltrin.desktop");
}

bool AutostartEnabled() { return QFileInfo::exists(AutostartFile()); }

std::optional<QString> SetAutostart(bool enabled) {
    const QString file = AutostartFile();
    if (!enabled) {
        if (QFile::exists(file) && !QFile::remove(file)) {
            return QCoreApplication::translate("veltrin", "%1 cannot be removed.").arg(file);
        }
        return std::nullopt;
    }
    // The installed program is found by name; one run from a folder of its own, by its path.
    const QString installed = QStandardPaths::findExecutable(QStringLiteral("veltrin"));
    const QString self = QCoreApplication::applicationFilePath();
    const QString command =
        !installed.isEmpty() && QFileInfo(installed).canonicalFilePath() == QFileInfo(self).canonicalFilePath()
            ? QStringLiteral("veltrin")
            : ExecQuoted(self);
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Veltrin\n"
                             "Comment=Waits behind its icon for a copied video link\n"
                             "Icon=org.veltrin.Veltrin\n"
                             "Exec=" +
                             command.toUtf8() +
                             " --hidden\n"
                             "X-GNOME-Autostart-enabled=true\n";
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(entry) != entry.size() || !out.commit()) {
        return QCoreApplication::translate("veltrin", "%1 cannot be written: %2").arg(file, out.errorString());
    }
    return std::nullopt;
}

} // namespace veltrin
