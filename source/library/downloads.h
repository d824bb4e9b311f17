#pragma once

#include "download/download_engine.h"
#include "download/stream_download.h"
#include "library/download_store.h"
#include "media/sound.h"

#include <QAbstractListModel>
#include <QThreadPool>

#include <atomic>
#include <functional>

#include <memory>
#include <vector>

namespace veltrin {

// One row of the list: what is kept of it, and the engine's latest news of it.
struct DownloadEntry {
    StoredDownload row;
    DownloadInfo live;      // live.id is 0 while the engine does not have it (a row of an earlier run)
    bool elsewhere = false; // another live process holds its part: that window's to show and to act on
    int soundPercent = -1;  // 0 to 100 while its sound is being kept; the row stays running till then
};

// The program's downloads, one row each, oldest first: the engine, with its news delivered on the
// window's thread, and the list kept across runs, which records every change of state.
class Downloads : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Action { Pause, Resume, Cancel, Retry, Open, Folder, Remove };
    // What the list shows, beside the display role's file name and the tool tip's whole path.
    enum Role { StatusRole = Qt::UserRole, ProgressRole /* 0 to 1000; -1 while the size is unknown */ };

    explicit Downloads(QObject* parent = nullptr);
    ~Downloads() override;

    // Opens the list kept across runs; what to tell the user about it, or nothing.
    QString OpenList(const QString& path);
    // Reads the list's rows, once: only what needs them calls it, so a long list never slows a start.
    void Load();
    // Reads again the rows this process's engine does not run, which another window may be running
    // or may have changed: when the list is shown. Loads it if it was not.
    void Refresh();
    // Reads again, one by one, the rows another window runs, so that they follow it while shown;
    // true while any is left.
    bool FollowElsewhere();
    DownloadStore* List() const { return m_store.get(); }
    // Why the list last failed to keep a change (the row stays shown); empty while all was kept.
    QString LastError() const { return m_error; }

    // The one way a stream a watch page offers is downloaded, from the save dialog or the automatic
    // way: listed under its own video's title and quality, continued from its part in a later run.
    // For the sound alone, target is where the sound goes (its folder and stem; the extension is
    // the sound's own): the video comes whole beside it under its planned name, the sound is kept
    // beside the window's thread, and the video goes once the sound is whole. Returns the engine's id.
    int Start(const PageStream& source, const DownloadTarget& target, KeepForm keep = KeepForm::Video);
    // The latest finished download of source's stream for each way it was kept, latest first,
    // whose file is still there.
    std::vector<StoredDownload> DownloadedBefore(const PageStream& source) const;
    // A download of the stream is queued or running.
    bool UnderWay(const PageStream& source) const;
    // What keeps a sound; the module's SaveSound unless a test says otherwise.
    using SoundSaver = std::function<media::SoundResult(const media::SoundJob&)>;
    void SetSoundSaver(SoundSaver save) { m_saveSound = std::move(save); }
    // Lists row and runs it from url as it stands: what Start and Retry come down to.
    int Add(const std::string& url, const DownloadTarget& target, StoredDownload row);
    // Adds again the downloads the list left running or queued, but for those whose part another
    // live process holds; returns their ids.
    std::vector<int> ContinueLeft();
    void SetMostAtOnce(int most) { m_engine->SetMostAtOnce(most); }
    void SetConnections(int most) { m_engine->SetConnections(most); }
    // Bytes a second all the window's downloads together receive at most; 0: no limit.
    void SetSpeedLimit(std::int64_t bytesPerSecond) { m_engine->SetSpeedLimit(bytesPerSecond); }
    void Pause(int id) { m_engine->Pause(id); }
    // Downloads queued, under way or retrying: those the next start continues.
    int Running() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    int RowOf(int id) const; // -1 when no row has it
    const DownloadEntry& Entry(int row) const { return m_entries[static_cast<std::size_t>(row)]; }
    QString StatusText(int row) const;
    std::vector<Action> Actions(int row) const;
    // Pause, Resume, Cancel, Retry and Remove; the view opens files itself. A part another process
    // holds is never touched: a row that turns out to be another's says so instead.
    void Do(int row, Action action);
    // Takes the finished rows out of the list; their files stay.
    void ClearFinished();

Q_SIGNALS:
    void Changed(const veltrin::DownloadInfo& info);

private:
    // False while a finished download's sound is still to be kept: its end is told once it is.
    bool Record(const DownloadInfo& info);
    void KeepSound(int row);
    void SoundEnded(int id, const media::SoundResult& result);
    void Restart(int row);
    void Update(int row, const DownloadInfo& info);
    // Before a row this process does not run is acted on: the list's latest of it, and its part's
    // lock, for another window may have changed both since the row was shown. False, with the row
    // shown anew, when the action is no longer the user's to take. With removePart, the part and
    // its record are removed while the lock is held here.
    bool Claim(int row, bool removePart);
    void Kept(bool written);

    std::unique_ptr<DownloadStore> m_store;
    std::vector<DownloadEntry> m_entries;
    bool m_loaded = false;
    QString m_error;
    std::unique_ptr<DownloadEngine> m_engine;
    SoundSaver m_saveSound;
    std::atomic<bool> m_ending{false}; // stops the sounds being kept as the list goes
    QThreadPool m_sounds;
};

} // namespace veltrin
