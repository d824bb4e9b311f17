#include "app/translations.h"
#include "window/preferences_dialog.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QLibraryInfo>
#include <QLineEdit>

#include <fstream>

namespace veltrin::testing {
namespace {

// The window's own controls are read through the desktop's accessibility bus (tests/desktop).
TEST_F(Window, PreferencesNameTheFolderBoxAndFollowARightToLeftLanguageWhereTheWindowDoesNot) {
    const QPoint link = m_window->linkBox()->pos();
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    Open();
    PreferencesDialog preferences(m_window->Preferences(), m_window.get());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(preferences.FolderBox())->text(QAccessible::Name),
              QStringLiteral("Download folder:"));
    EXPECT_EQ(preferences.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(m_window->linkBox()->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(m_window->linkBox()->pos(), link);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

// The user's languages in their order of preference, and what the window and Qt's own buttons say.
TEST_F(Window, TheWindowSpeaksTheFirstLanguageShippedWithQtsButtonsAlikeElseEnglish) {
    const QString shipped = QStringLiteral(VELTRIN_TRANSLATIONS);
    TemporaryFolder damaged;
    const std::string whole = ReadFile(std::filesystem::path(VELTRIN_TRANSLATIONS) / "veltrin_de.qm");
    std::ofstream(damaged / "veltrin_de.qm", std::ios::binary) << whole.substr(0, whole.size() / 2);
    const struct {
        const char* languages;
        QString folder;
        const char* label;
        const char* yes;
    } rows[] = {
        {"de-DE de", shipped, "Clipvane-Link:", "&Ja"},
        {"fr-CA fr", shipped, "Lien Clipvane\u00A0:", "&Oui"},
        {"es-ES es de-AT", shipped, "Clipvane-Link:", "&Ja"},
        {"en-GB en de", shipped, "Clipvane Link:", "&Yes"},
        {"es-ES es", shipped, "Clipvane Link:", "&Yes"}, // no Spanish buttons under English texts
        {"de-DE", QString::fromStdString(damaged.Path().string()), "Clipvane Link:", "&Yes"},
        {"de-DE", shipped + QStringLiteral("/gone"), "Clipvane Link:", "&Yes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languages + (" from " + row.folder.toStdString()));
        Translations translations;
        translations.Install(QString::fromLatin1(row.languages).split(QLatin1Char(' ')), row.folder,
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        Open();
        EXPECT_EQ(m_window->linkLabel()->text(), QString::fromUtf8(row.label));
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8(row.yes));
    }
}

} // namespace
} // namespace veltrin::testing
