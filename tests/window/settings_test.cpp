#include "window_fixture.h"

#include "window/preferences_dialog.h"

#include <QFile>
#include <QLineEdit>

#include <fstream>

namespace veltrin::testing {
namespace {

// Each value is read on its own: what is out of range, of the wrong kind or unreadable gives
// that setting's default, never a crash; what was written reads back the same.
TEST(Settings, FileGivesWhatItCanAndDefaultsForTheRest) {
    TemporaryFolder folder("veltrin-settings");
    const UserSettings defaults;
    const UserSettings chosen{QStringLiteral("/srv/videos"), 1, ClipboardWay::Off, 5,
                              AnsweredHash(QStringLiteral("a link"))};
    const struct {
        const char* name;
        std::string file; // nothing: no file
        UserSettings read;
    } cases[] = {
        {"missing", {}, defaults},
        {"written", "written", chosen},
        {"out of range",
         "[preferences]\ndownloadFolder=videos\nquality=4K\nclipboard=sometimes\ndownloadsAtOnce=9\n"
         "[clipboard]\nlastAnswered=short\n",
         defaults},
        {"not text", std::string("\0\xff\xfe[\x01=\x02\n", 9), defaults},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromStdString((folder / c.name).string());
        if (c.file == "written") {
            QSettings store(path, QSettings::IniFormat);
            WriteUserSettings(store, defaults, chosen);
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

// OK keeps a folder only where downloads can go.
TEST(Settings, PreferencesRefuseAFolderDownloadsCannotGoTo) {
    TemporaryFolder folder("veltrin-preferences");
    std::ofstream(folder / "file") << "x";
    PreferencesDialog dialog(UserSettings{});
    for (const fs::path& bad : {folder / "file", folder / "gone"}) {
        BoxAnswerer boxes;
        boxes.answers = {QMessageBox::Ok};
        dialog.FolderBox()->setText(QString::fromStdString(bad.string()));
        dialog.accept();
        EXPECT_EQ(boxes.seen.size(), 1U) << bad;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << bad;
    }
    dialog.FolderBox()->setText(QString::fromStdString(folder.Path().string()));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen().downloadFolder.toStdString(), folder.Path().string());
}

} // namespace
} // namespace veltrin::testing
