#include "app/translations.h"

#include <QCoreApplication>
#include <QLocale>

namespace veltrin {

QString Translations::Install(const QStringList& languages, const QString& folder, const QString& qtFolder) {
    for (const QString& name : languages) {
        const QLocale language(name);
        if (language.language() == QLocale::English || language.language() == QLocale::C) {
            return {};
        }
        if (m_own.load(language, QStringLiteral("veltrin"), QStringLiteral("_"), folder) && !m_own.isEmpty()) {
            QCoreApplication::installTranslator(&m_own);
            if (m_qt.load(language, QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder)) {
                QCoreApplication::installTranslator(&m_qt);
            }
            return m_own.language();
        }
    }
    return {};
}

QString Translations::Folder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/translations"); }

} // namespace veltrin
