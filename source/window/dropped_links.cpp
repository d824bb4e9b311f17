#include "window/dropped_links.h"

#include "core/watch_links.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace veltrin {

namespace {

// Enough for thousands of links; a drop of more is no list.
constexpr qsizetype kMostDroppedBytes = 1024 * 1024;

// The URL= key of a link file's own section, or nothing.
QString LinkOfFile(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    const QString section = suffix == QLatin1String("desktop") ? QStringLiteral("[Desktop Entry]")
                            : suffix == QLatin1String("url")   ? QStringLiteral("[InternetShortcut]")
                                                               : QString();
    QFile file(path);
    if (section.isEmpty() || !info.isFile() || info.size() > static_cast<qint64>(kMostWatchLinkBytes) ||
        !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    bool inSection = false;
    bool typeLink = suffix == QLatin1String("url");
    QString url;
    for (const QString& raw : QString::fromUtf8(file.read(static_cast<qint64>(kMostWatchLinkBytes))).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inSection = line == section;
        } else if (inSection &&
                   (line.startsWith(QLatin1String("URL=")) || line.startsWith(QLatin1String("URL[$e]=")))) {
            url = line.mid(line.indexOf(u'=') + 1); // KDE marks a value that may hold variables with [$e]
        } else if (inSection && line == QLatin1String("Type=Link")) {
            typeLink = true;
        }
    }
    return typeLink ? url : QString();
}

// A browser's link with its title comes as UTF-16; other programs send UTF-8.
QString Decoded(const QByteArray& bytes, bool wide) {
    return wide && bytes.contains('\0')
               ? QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2)
               : QString::fromUtf8(bytes);
}

} // namespace

std::vector<std::string> DroppedLinks(const QMimeData& data) {
    QString text;
    for (const QString& format :
         {QStringLiteral("text/uri-list"), QStringLiteral("text/x-moz-url"), QStringLiteral("text/plain")}) {
        if (!data.hasFormat(format)) {
            continue;
        }
        const QByteArray bytes = data.data(format);
        if (bytes.size() > kMostDroppedBytes) {
            return {};
        }
        const QString part = Decoded(bytes, format == QLatin1String("text/x-moz-url"));
        if (format != QLatin1String("text/uri-list")) {
            text += part + u'\n';
            continue;
        }
        for (const QString& line : part.split(u'\n')) {
            const QString uri = line.trimmed();
            const QUrl url(uri);
            text += (url.isLocalFile()      ? LinkOfFile(url.toLocalFile())
                     : uri.startsWith(u'#') ? QString()
                                            : uri) +
                    u'\n';
        }
    }
    return FindWatchLinks(text.toStdString());
}

} // namespace veltrin
