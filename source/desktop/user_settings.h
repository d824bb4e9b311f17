#pragma once

#include "core/proxy_choice.h"
#include "core/stream_entries.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace veltrin {

// What the clipboard watcher does with a newly copied link.
enum class ClipboardWay { Ask, Automatic, Off };

// What the user chose in Preferences and the icon's menu. Read once at start; each change is
// written at once, key by key, so that two windows sharing the file keep each other's choices.
struct UserSettings {
    QString downloadFolder;    // empty: the desktop's Downloads folder
    int preferredQuality = -1; // a row of the quality table; -1: the best on the page
    ClipboardWay clipboard = ClipboardWay::Ask;
    int atOnce = 3;                  // downloads running at once
    QByteArray lastAnswered;         // hash of the last clipboard text answered, as AnsweredHash gives it
    KeepForm keep = KeepForm::Video; // what the automatic way keeps
    int connections = 4;             // for each download
    std::int64_t speedLimit = 0;     // bytes a second, all downloads together; 0: none
    ProxyChoice proxy;               // its password lives in the secret store, never in the file

    static constexpr int kFewestAtOnce = 1;
    static constexpr int kMostAtOnce = 5;
    static constexpr int kFewestConnections = 1;
    static constexpr int kMostConnections = 8;
    bool operator==(const UserSettings&) const = default;
};

// The user's settings file, in the user's configuration folder.
std::unique_ptr<QSettings> OpenSettingsStore();

// A value out of range, of the wrong kind or unreadable gives that setting's default.
UserSettings ReadUserSettings(const QSettings& store);
// Writes the settings that differ from before.
void WriteUserSettings(QSettings& store, const UserSettings& before, const UserSettings& after);

QByteArray AnsweredHash(const QString& text);

// The folder the save dialog starts in: where the user saved last, else the desktop's Downloads
// folder. Read afresh at each save, so that another window's last save is seen.
QString SaveDialogFolder(const QSettings& store);
// A save went to folder: the dialog starts there next time, unless downloads cannot go there.
void RememberSaveFolder(QSettings& store, const QString& folder);
// A download into folder failed because of the folder: it is not offered again.
void ForgetSaveFolder(QSettings& store, const QString& folder);

// The desktop's Downloads folder, made when it is not there yet.
QString DesktopDownloadFolder();
// Where downloads go when no dialog asks: the chosen folder, else the desktop's Downloads folder.
QString DownloadFolder(const UserSettings& settings);
// Why downloads cannot go to folder (gone, not a folder, not writable), or nothing when they can.
std::optional<QString> FolderProblem(const QString& folder);

// The XDG autostart entry that starts the program behind its icon at login.
QString AutostartFile();
bool AutostartEnabled();
// Writes or removes the entry; the reason when that fails.
std::optional<QString> SetAutostart(bool enabled);

} // namespace veltrin
