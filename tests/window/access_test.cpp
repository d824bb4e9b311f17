#include "window/preferences_dialog.h"
#include "window/translations.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QSpinBox>

#include <fstream>

namespace veltrin::testing {
namespace {

TEST_F(Window, EveryControlSaysWhatItIsAndTheDownloadButtonPressesAsAClickDoes) {
    frmMain& w = *m_window;
    PreferencesDialog preferences(w.Preferences(), &w);
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
    } controls[] = {
        {&w, QAccessible::Window, "Download Clipvane Free"},
        {w.cmdGo(), QAccessible::Button, "Download"},
        {w.txtURL(), QAccessible::EditableText, "Clipvane Link:"},
        {w.picHeader(), QAccessible::Graphic, "Download Clipvane Free: direct links to every quality of a video"},
        {w.picFooter(), QAccessible::Graphic, "Veltrin 1.00 - links straight to the video"},
        {w.wb1(), QAccessible::Client, "Download links"},
        {preferences.FolderBox(), QAccessible::EditableText, "Download folder:"},
        {preferences.AtOnceBox(), QAccessible::SpinBox, "Downloads at once:"},
    };
    for (const auto& control : controls) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control.widget);
        ASSERT_NE(accessible, nullptr) << control.name;
        EXPECT_EQ(accessible->role(), control.role) << control.name;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(control.name));
    }
    QAccessibleActionInterface* go = QAccessible::queryAccessibleInterface(w.cmdGo())->actionInterface();
    ASSERT_NE(go, nullptr);
    ASSERT_TRUE(go->actionNames().contains(QAccessibleActionInterface::pressAction()));
    w.txtURL()->setText(QString::fromStdString(m_server.Url("/plain")));
    go->doAction(QAccessibleActionInterface::pressAction());
    WaitForGo();
    EXPECT_EQ(m_plainFetches.load(), 1);
}

// The user's languages in their order of preference, and what the window and Qt's own buttons say.
TEST_F(Window, TheWindowSpeaksTheFirstLanguageShippedWithQtsButtonsAlikeElseEnglish) {
    const QString shipped = QStringLiteral(VELTRIN_TRANSLATIONS);
    TemporaryFolder damaged;
    const std::string whole = ReadFile(std::filesystem::path(VELTRIN_TRANSLATIONS) / "veltrin_de.qm");
    std::ofstream(damaged / "veltrin_de.qm", std::ios::binary) << whole.substr(0, whole.size() / 2);
    std::ofstream(damaged / "veltrin_fr.qm", std::ios::binary) << "not a translation";
    const QString broken = QString::fromStdString(damaged.Path().string());
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
        {"ar-EG ar", shipped, "Clipvane Link:", "&Yes"},
        {"C", shipped, "Clipvane Link:", "&Yes"},
        {"de-DE", broken, "Clipvane Link:", "&Yes"},
        {"fr-FR", broken, "Clipvane Link:", "&Yes"},
        {"de-DE", shipped + QStringLiteral("/gone"), "Clipvane Link:", "&Yes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languages + (" from " + row.folder.toStdString()));
        Translations translations;
        translations.Install(QString::fromLatin1(row.languages).split(QLatin1Char(' ')), row.folder, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        Open();
        EXPECT_EQ(m_window->Label1()->text(), QString::fromUtf8(row.label));
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8(row.yes));
    }
}

TEST_F(Window, ARightToLeftLanguageTurnsTheDialogsButNotTheWindow) {
    const QPoint link = m_window->txtURL()->pos();
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    Open();
    PreferencesDialog preferences(m_window->Preferences(), m_window.get());
    EXPECT_EQ(m_window->txtURL()->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(m_window->txtURL()->pos(), link);
    EXPECT_EQ(preferences.layoutDirection(), Qt::RightToLeft);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

} // namespace
} // namespace veltrin::testing
