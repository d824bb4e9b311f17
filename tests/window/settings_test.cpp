#include "app/translations.h"
#include "window/preferences_dialog.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>

#include <fstream>
#include <set>
#include <string>

namespace veltrin::testing {
namespace {

// Each value is read on its own: what is out of range, of the wrong kind or unreadable gives
// that setting's default, never a crash; what was written reads back the same.
TEST(Settings, FileGivesWhatItCanAndDefaultsForTheRest) {
    TemporaryFolder folder("veltrin-settings");
    const UserSettings defaults;
    const ProxyChoice proxy{ProxyMode::Manual, ProxyScheme::Socks5h, "::1", 1080, "me", ""};
    const UserSettings chosen{QStringLiteral("/srv/videos"),
                              1,
                              ClipboardWay::Off,
                              5,
                              AnsweredHash(QStringLiteral("a link")),
                              KeepForm::Mp3,
                              8,
                              5 << 20,
                              proxy};
    const struct {
        const char* name;
        std::string file; // nothing: no file
        UserSettings read;
    } cases[] = {
        {"missing", {}, defaults},
        {"written", "written", chosen},
        {"out of range",
         "[preferences]\ndownloadFolder=videos\nquality=4K\nclipboard=sometimes\ndownloadsAtOnce=9\nkeep=all\n"
         "connections=9\nspeedLimit=-5\n[clipboard]\nlastAnswered=short\n[proxy]\nmode=manual\nkind=ftp\nport=99999\n",
         defaults},
        {"not text", std::string("\0\xff\xfe[\x01=\x02\n", 9), defaults},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromStdString((folder / c.name).string());
        if (c.file == "written") {
            QSettings store(path, QSettings::IniFormat);
            UserSettings withPassword = chosen;
            withPassword.proxy.password = "secret";
            WriteUserSettings(store, defaults, withPassword);
            EXPECT_EQ(ReadFile(folder / c.name).find("secret"), std::string::npos) << "a password in the file";
        } else if (!c.file.empty()) {
            std::ofstream(folder / c.name, std::ios::binary) << c.file;
        }
        EXPECT_TRUE(ReadUserSettings(QSettings(path, QSettings::IniFormat)) == c.read) << c.name;
    }
}

// The entry starts the program hidden; an autostart folder that cannot be made is said, not
// taken for done.
TEST(Settings, AutostartEntryIsWrittenAndRemoved) {
    ASSERT_EQ(SetAutostart(true), std::nullopt);
    QFile entry(AutostartFile());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n") && text.contains(" --hidden\n")) << text.toStdString();
    EXPECT_TRUE(AutostartEnabled());
    ASSERT_EQ(SetAutostart(false), std::nullopt);
    EXPECT_FALSE(AutostartEnabled());

    const fs::path autostart = fs::path(AutostartFile().toStdString()).parent_path();
    fs::remove_all(autostart);
    std::ofstream(autostart) << "a file where the folder goes";
    EXPECT_NE(SetAutostart(true), std::nullopt);
    EXPECT_FALSE(AutostartEnabled());
    fs::remove(autostart);
}

// OK keeps a folder only where downloads can go; what the automatic way keeps is chosen with it.
TEST(Settings, PreferencesRefuseAFolderDownloadsCannotGoTo) {
    TemporaryFolder folder("veltrin-preferences");
    std::ofstream(folder / "file") << "x";
    PreferencesDialog dialog(UserSettings{});
    for (const fs::path& bad : {folder / "file", folder / "gone"}) {
        BoxAnswerer boxes; // OK
        dialog.FolderBox()->setText(QString::fromStdString(bad.string()));
        dialog.accept();
        EXPECT_EQ(boxes.seen.size(), 1U) << bad;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << bad;
    }
    dialog.FolderBox()->setText(QString::fromStdString(folder.Path().string()));
    EXPECT_FALSE(dialog.KeepBox()->isEnabled()) << "what is kept is the automatic way's";
    dialog.ClipboardBox()->setCurrentIndex(1), dialog.KeepBox()->setCurrentIndex(2);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen().downloadFolder.toStdString(), folder.Path().string());
    EXPECT_TRUE(dialog.KeepBox()->isEnabled() && dialog.Chosen().keep == KeepForm::Mp3);
}

// The window's own controls are read through the desktop's accessibility bus (tests/desktop).
TEST_F(Window, PreferencesNameTheFolderBoxAndFollowARightToLeftLanguageWhereTheWindowDoesNot) {
    const QPoint link = m_window->LinkBox()->pos();
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    Open();
    PreferencesDialog preferences(m_window->Preferences(), m_window.get());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(preferences.FolderBox())->text(QAccessible::Name),
              QStringLiteral("Download folder:"));
    EXPECT_EQ(preferences.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(m_window->LinkBox()->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(m_window->LinkBox()->pos(), link);
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
        const char *label, *yes;
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
        EXPECT_EQ(m_window->LinkLabel()->text(), QString::fromUtf8(row.label));
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8(row.yes));
    }
}

TEST(Assets, WindowIconShowsTheFullColourImages) {
    MainWindow window;
    const QIcon icon = window.windowIcon();
    for (const int size : {24, 32, 48, 64, 256}) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.width(), size);
        // Soft edges exist only in the 32-bit images: the paletted ones are either on or off.
        bool softEdge = false;
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb pixel = image.pixel(x, y);
                softEdge = softEdge || (qAlpha(pixel) > 0 && qAlpha(pixel) < 255);
                colours.insert(pixel);
            }
        }
        EXPECT_TRUE(softEdge) << size;
        EXPECT_GT(colours.size(), 16U) << size;
    }
}

} // namespace
} // namespace veltrin::testing
