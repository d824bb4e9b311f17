#pragma once

#include "core/stream_entries.h"
#include "download/download_engine.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrin {

// One download as the list keeps it across runs.
struct StoredDownload {
    std::int64_t key = 0;  // the row's own number, given by Add
    std::string address{}; // the stream's address
    std::string page{};    // the watch page it came from, to find the address again
    StreamIdentity stream{};
    std::string title{};
    std::string quality{};
    std::string target{}; // the file's path: the one chosen, then the one the engine settled on
    DownloadState state = DownloadState::Queued;
    std::int64_t received = 0;
    std::int64_t total = -1;
    std::string validator{};
    std::int64_t started = 0; // seconds since the epoch
    std::int64_t ended = 0;   // 0 while it has not ended
    std::string reason{};     // why it failed
    KeepForm keep = KeepForm::Video;
    // The sound's file once made (then target names it too); before that, where it goes: the
    // folder and the stem, without an extension. Empty for a video.
    std::string sound{};
    // The user chose to replace a file of the target's name: it is, once the download is whole.
    // Not known for a row an earlier release kept.
    std::optional<bool> replace = false;
    bool operator==(const StoredDownload&) const = default;
};

// The window's downloads in an SQLite database with a write-ahead journal: each change is a
// transaction of its own, so that a kill at any moment leaves a list that opens, and two windows
// on the same file wait for each other rather than fail. Used on one thread.
class DownloadStore {
public:
    struct Opened {
        std::unique_ptr<DownloadStore> store; // none when it cannot be used
        QString problem;                      // what to tell the user, once; empty when all is well
        QString movedAside;                   // a damaged file's new path
    };
    // A damaged file is moved aside and a new one made; a missing driver, a folder that cannot
    // be written or a file held too long by another process is reported and left where it is.
    // A file of an earlier layout is brought to this build's in one transaction; one a later
    // release wrote is left untouched, reported, and the list kept in memory for this run.
    static Opened Open(const QString& path, int busyMilliseconds = 3000);
    // $XDG_DATA_HOME/Veltrin/downloads.sqlite, ~/.local/share when that is unset.
    static QString DefaultPath();

    ~DownloadStore();
    DownloadStore(const DownloadStore&) = delete;
    DownloadStore& operator=(const DownloadStore&) = delete;

    // Returns the new row's key; 0 when it could not be written.
    std::int64_t Add(const StoredDownload& download);
    bool Update(const StoredDownload& download);
    bool Remove(std::int64_t key);
    // Takes the finished rows out of the list; files stay.
    bool ClearFinished();
    // Every row, oldest first; or only those queued, under way or retrying, found by their index.
    std::vector<StoredDownload> All(bool runningOnly = false) const;
    // The latest finished download of the stream, found by its index.
    std::optional<StoredDownload> LastFinished(const StreamIdentity& stream) const;
    // The latest finished download of the stream for each way it was kept, latest first.
    std::vector<StoredDownload> KeptBefore(const StreamIdentity& stream) const;
    // The row as the list has it now, which another window may have changed.
    std::optional<StoredDownload> Row(std::int64_t key) const;
    // Every row of the stream, whatever its state, latest first.
    std::vector<StoredDownload> OfStream(const StreamIdentity& stream) const;
    QString LastError() const { return m_error; }

private:
    explicit DownloadStore(QString connection);
    bool Run(const QString& statement, const StoredDownload* values, std::int64_t key = 0);
    std::vector<StoredDownload> Select(const QString& where, const std::vector<QVariant>& values) const;

    QString m_connection;
    mutable QString m_error;
    std::int64_t m_lastId = 0;
};

const char* StateName(DownloadState state);

// The row after the engine's news of its download (a file it does not name stays the row's);
// false when nothing the list keeps has changed, as with progress alone, whose bytes the part's
// record keeps. now: seconds since the epoch.
bool Follow(StoredDownload& row, const DownloadInfo& info, std::int64_t now);

// The layout of the list this build writes (the file's user_version): files of a lower one are
// brought to it, those of a higher one left alone.
int DownloadListLayout();
// Called inside the transaction that brings a file to this build's layout, before it commits: a
// test kills its process there.
void SetBeforeLayoutCommitsForTesting(void (*call)());

} // namespace veltrin
