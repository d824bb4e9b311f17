#include "library/downloads.h"

#include "core/file_name.h"
#include "core/progress.h"
#include "download/stream_download.h"
#include "media/sound_module.h"
#include "net/page_fetch.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

#include <unistd.h>

namespace veltrin {

namespace {

// What finds a row's stream again: the watch page fetched anew, and its stream of the format; a
// sound's video is kept whole for its sound.
Continuation ContinuationFor(const StoredDownload& row) {
    Continuation continuation = StreamContinuation(row.stream, row.page);
    continuation.keepWhole = row.keep != KeepForm::Video; // the video goes once its sound is whole
    return continuation;
}

} // namespace

Downloads::Downloads(QObject* parent) : QAbstractListModel(parent), m_saveSound(&media::SaveSoundThroughModule) {
    DownloadEngine::Options options;
    options.userAgent = kUserAgent;
    m_engine = std::make_unique<DownloadEngine>(options, [this](const DownloadInfo& info) {
        // The engine reports from its own thread; the window hears of it on its own.
        QMetaObject::invokeMethod(
            this,
            [this, info] {
                if (Record(info)) {
                    Q_EMIT Changed(info);
                }
            },
            Qt::QueuedConnection);
    });
}

// The engine goes first: it stops reporting before the object it reports to. What it stops keeps
// its part, and its row says it was running: the next start continues it. A sound being kept stops,
// its video whole in its part, and its row running: the next start keeps the sound again.
Downloads::~Downloads() {
    m_ending = true;
    m_sounds.waitForDone();
    m_engine.reset();
}

QString Downloads::OpenList(const QString& path) {
    auto opened = DownloadStore::Open(path);
    m_store = std::move(opened.store);
    m_loaded = false;
    return opened.problem;
}

namespace {

// A row as the list has it. Only one that may have a part is asked whether another process holds it.
DownloadEntry EntryOf(StoredDownload row) {
    const bool mayHavePart =
        !row.target.empty() && row.state != DownloadState::Finished && row.state != DownloadState::Cancelled;
    const bool elsewhere = mayHavePart && PartHeldElsewhere(row.target);
    DownloadInfo live;
    live.state = row.state;
    live.file = row.target;
    live.received = row.received;
    live.total = row.total;
    live.reason = row.reason;
    return {std::move(row), std::move(live), elsewhere};
}

} // namespace

void Downloads::Load() {
    if (!m_loaded) {
        Refresh();
    }
}

bool Downloads::FollowElsewhere() {
    bool any = false;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        DownloadEntry& e = m_entries[i];
        if (!e.elsewhere || !m_store) {
            continue;
        }
        if (auto now = m_store->Row(e.row.key)) {
            e = EntryOf(std::move(*now));
        } else {
            e.elsewhere = false; // taken off the list there
        }
        const QModelIndex at = index(static_cast<int>(i));
        Q_EMIT dataChanged(at, at);
        any = any || e.elsewhere;
    }
    return any;
}

void Downloads::Refresh() {
    if (!m_store) {
        return;
    }
    m_loaded = true;
    std::vector<DownloadEntry> entries;
    std::vector<StoredDownload> rows = m_store->All();
    entries.reserve(rows.size() + m_entries.size());
    for (StoredDownload& row : rows) {
        entries.push_back(EntryOf(std::move(row)));
    }
    // The rows this run's engine has are the ones it knows best; any the list could not keep go last.
    for (DownloadEntry& e : m_entries) {
        if (e.live.id == 0) {
            continue;
        }
        const auto kept = std::lower_bound(entries.begin(), entries.end(), e.row.key,
                                           [](const DownloadEntry& k, std::int64_t key) { return k.row.key < key; });
        if (e.row.key != 0 && kept != entries.end() && kept->row.key == e.row.key) {
            *kept = std::move(e);
        } else {
            entries.push_back(std::move(e));
        }
    }
    // The same rows: shown anew where they are, so that the view keeps its place and its current row.
    if (std::ranges::equal(
            entries, m_entries, {}, [](const DownloadEntry& e) { return e.row.key; },
            [](const DownloadEntry& e) { return e.row.key; })) {
        m_entries = std::move(entries);
        if (!m_entries.empty()) {
            Q_EMIT dataChanged(index(0), index(rowCount() - 1));
        }
        return;
    }
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int Downloads::Start(const PageStream& source, const DownloadTarget& target, KeepForm keep) {
    StoredDownload row;
    row.page = source.page;
    row.stream = IdentityOf(source);
    row.title = source.title;
    row.quality = source.stream.quality ? std::string(source.stream.quality->label) : std::string();
    row.keep = keep;
    const StreamDownload plan = PlanStreamDownload(source, target.folder);
    if (keep == KeepForm::Video) {
        return Add(plan.address, target, std::move(row));
    }
    row.sound = (target.folder / target.stem).string();
    return Add(plan.address, plan.target, std::move(row));
}

std::vector<StoredDownload> Downloads::DownloadedBefore(const PageStream& source) const {
    const StreamIdentity stream = IdentityOf(source);
    auto done = m_store && stream.format >= 0 ? m_store->KeptBefore(stream) : std::vector<StoredDownload>();
    std::erase_if(done, [](const StoredDownload& d) { return !QFileInfo::exists(QString::fromStdString(d.target)); });
    return done;
}

bool Downloads::UnderWay(const PageStream& source) const {
    const StreamIdentity stream = IdentityOf(source);
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const DownloadEntry& e) { return e.row.stream == stream && IsRunning(e.row.state); });
}

int Downloads::Add(const std::string& url, const DownloadTarget& target, StoredDownload row) {
    row.address = url;
    row.replace = target.replace;
    row.state = DownloadState::Queued;
    row.reason.clear();
    row.ended = 0;
    if (row.started == 0) {
        row.started = QDateTime::currentSecsSinceEpoch();
    }
    if (row.target.empty() && target.extension) {
        row.target =
            (target.folder / (target.stem + (target.extension->empty() ? "" : "." + *target.extension))).string();
    }
    int index = -1;
    for (std::size_t i = 0; row.key != 0 && i < m_entries.size(); ++i) {
        index = m_entries[i].row.key == row.key ? static_cast<int>(i) : index;
    }
    if (m_store && index < 0) {
        row.key = m_store->Add(row);
        Kept(row.key != 0);
    } else if (m_store) {
        Kept(m_store->Update(row));
    }
    DownloadInfo live;
    live.url = url;
    live.file = row.target;
    live.received = row.received;
    live.total = row.total;
    if (index < 0) {
        index = rowCount();
        beginInsertRows({}, index, index);
        m_entries.push_back({std::move(row), live});
        endInsertRows();
    } else {
        m_entries[static_cast<std::size_t>(index)] = {std::move(row), live};
    }
    const int id = m_engine->Add(url, target, ContinuationFor(m_entries[static_cast<std::size_t>(index)].row));
    m_entries[static_cast<std::size_t>(index)].live.id = id;
    Q_EMIT dataChanged(this->index(index), this->index(index));
    return id;
}

void Downloads::Restart(int index) {
    const StoredDownload row = Entry(index).row;
    const QFileInfo file(QString::fromStdString(row.target));
    // A row an earlier release kept does not say: its own part under the name shows that a file
    // there is the one the user chose to replace.
    const bool replace = row.replace.value_or(std::filesystem::exists(PartPathOf(row.target)));
    Add(row.address,
        {file.absolutePath().toStdString(), file.completeBaseName().toStdString(), file.suffix().toStdString(),
         replace},
        row);
}

std::vector<int> Downloads::ContinueLeft() {
    std::vector<int> ids;
    for (StoredDownload& row : m_store ? m_store->All(true) : std::vector<StoredDownload>{}) {
        if (!row.target.empty() && !PartHeldElsewhere(row.target)) {
            beginInsertRows({}, rowCount(), rowCount());
            m_entries.push_back(EntryOf(std::move(row)));
            endInsertRows();
            Restart(rowCount() - 1);
            ids.push_back(m_entries.back().live.id);
        }
    }
    return ids;
}

int Downloads::Running() const {
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const DownloadEntry& e) {
        return e.live.id != 0 && IsRunning(e.live.state);
    }));
}

int Downloads::RowOf(int id) const {
    for (std::size_t i = m_entries.size(); id != 0 && i-- > 0;) {
        if (m_entries[i].live.id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int Downloads::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant Downloads::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const DownloadEntry& e = Entry(index.row());
    const QString path = QString::fromStdString(e.live.file.string());
    switch (role) {
    case Qt::DisplayRole: return path.isEmpty() ? QString::fromStdString(e.row.title) : QFileInfo(path).fileName();
    case Qt::ToolTipRole: return path.isEmpty() ? QString::fromStdString(e.live.url) : path;
    // What a screen reader says of a row: its name, then its state and progress.
    case Qt::AccessibleTextRole: return data(index, Qt::DisplayRole);
    case Qt::AccessibleDescriptionRole: {
        const int progress = data(index, ProgressRole).toInt();
        return progress < 0 ? StatusText(index.row())
                            : tr("%1, %2% done").arg(StatusText(index.row())).arg(progress / 10);
    }
    case StatusRole: return StatusText(index.row());
    case ProgressRole:
        return e.soundPercent >= 0                          ? e.soundPercent * 10
               : e.live.state == DownloadState::Finished    ? 1000
               : e.live.total > 0                           ? static_cast<int>(e.live.received * 1000 / e.live.total)
               : e.live.state == DownloadState::Downloading ? -1
                                                            : 0;
    default: return {};
    }
}

QString Downloads::StatusText(int index) const {
    if (Entry(index).elsewhere) {
        return tr("Downloading in another Veltrin window");
    }
    const DownloadEntry& e = Entry(index);
    if (e.soundPercent >= 0) {
        return e.row.keep == KeepForm::Mp3 ? tr("Converting to MP3…") : tr("Copying the sound…");
    }
    const DownloadInfo& i = e.live;
    if (i.state == DownloadState::Finished && e.row.keep != KeepForm::Video && e.row.sound != i.file.string()) {
        return tr("This video has no sound to keep");
    }
    const auto size = [](std::int64_t bytes) { return QString::fromStdString(ByteSize(bytes)); };
    switch (i.state) {
    case DownloadState::Queued: return tr("Queued");
    case DownloadState::Paused: return tr("Paused at %1").arg(size(i.received));
    case DownloadState::Retrying:
        return tr("Retrying (attempt %1): %2").arg(i.attempt).arg(QString::fromStdString(i.reason));
    case DownloadState::Finished:
        return QFileInfo::exists(QString::fromStdString(i.file.string()))
                   ? tr("Finished, %1").arg(size(i.received))
                   : tr("Finished, %1; the file is no longer there").arg(size(i.received));
    case DownloadState::Failed:
        return i.received > 0 && !i.file.empty() ? tr("Failed: %1; %2 kept, Retry goes on from there")
                                                       .arg(QString::fromStdString(i.reason), size(i.received))
                                                 : tr("Failed: %1").arg(QString::fromStdString(i.reason));
    case DownloadState::Cancelled: return tr("Cancelled");
    case DownloadState::Downloading: break;
    }
    return QString::fromStdString(ProgressText(i.received, i.total, i.bytesPerSecond));
}

std::vector<Downloads::Action> Downloads::Actions(int index) const {
    if (Entry(index).elsewhere || Entry(index).soundPercent >= 0) {
        return {};
    }
    switch (Entry(index).live.state) {
    case DownloadState::Paused: return {Action::Resume, Action::Cancel};
    case DownloadState::Finished: return {Action::Open, Action::Folder, Action::Remove};
    case DownloadState::Failed:
    case DownloadState::Cancelled: return {Action::Retry, Action::Remove};
    default: return {Action::Pause, Action::Cancel};
    }
}

void Downloads::Do(int index, Action action) {
    const DownloadEntry& e = Entry(index);
    const bool inEngine = e.live.id != 0 && !IsEnded(e.live.state);
    if (!inEngine && action != Action::Open && action != Action::Folder && !Claim(index, action == Action::Cancel)) {
        return;
    }
    switch (action) {
    case Action::Pause:
        if (inEngine) {
            m_engine->Pause(e.live.id);
        }
        return;
    case Action::Resume:
        if (inEngine) {
            m_engine->Resume(e.live.id);
        } else {
            Restart(index); // paused in an earlier run: its part is continued
        }
        return;
    case Action::Retry: Restart(index); return;
    case Action::Cancel:
        if (inEngine) {
            m_engine->Cancel(e.live.id);
        } else { // an earlier run's, whose part Claim has removed
            DownloadInfo info = e.live;
            info.state = DownloadState::Cancelled;
            Update(index, info);
        }
        return;
    case Action::Remove:
        if (m_store) {
            Kept(m_store->Remove(e.row.key));
        }
        beginRemoveRows({}, index, index);
        m_entries.erase(m_entries.begin() + index);
        endRemoveRows();
        return;
    case Action::Open:
    case Action::Folder: return;
    }
}

bool Downloads::Claim(int index, bool removePart) {
    DownloadEntry& e = m_entries[static_cast<std::size_t>(index)];
    auto now = m_store && e.row.key != 0 ? m_store->Row(e.row.key) : std::nullopt;
    const bool changed = now && (now->state != e.row.state || now->target != e.row.target);
    if (changed) {
        e = EntryOf(std::move(*now));
    } else if (!e.row.target.empty()) {
        // Removed only under the part's lock: no other process takes the part meanwhile.
        e.elsewhere = removePart ? !RemovePartOf(e.row.target) : PartHeldElsewhere(e.row.target);
    }
    if (changed || e.elsewhere) {
        Q_EMIT dataChanged(this->index(index), this->index(index));
    }
    return !changed && !e.elsewhere;
}

void Downloads::Kept(bool written) {
    if (!written) {
        m_error = m_store->LastError();
        qWarning("The downloads list was not written: %s", qPrintable(m_error));
    }
}

void Downloads::ClearFinished() {
    if (m_store) {
        Kept(m_store->ClearFinished());
    }
    beginResetModel();
    std::erase_if(m_entries, [](const DownloadEntry& e) { return e.live.state == DownloadState::Finished; });
    endResetModel();
}

bool Downloads::Record(const DownloadInfo& info) {
    const int index = RowOf(info.id);
    if (index < 0) {
        return true;
    }
    DownloadEntry& e = m_entries[static_cast<std::size_t>(index)];
    if (info.state != DownloadState::Finished || e.row.keep == KeepForm::Video) {
        Update(index, info);
        return true;
    }
    // The video is whole in its part; the row stays running until its sound is, so that a kill
    // meanwhile has the next start keep the sound again from the part.
    e.live = info;
    e.live.state = DownloadState::Downloading;
    e.soundPercent = 0;
    if (e.row.target != info.file.string()) {
        e.row.target = info.file.string();
        if (m_store) {
            Kept(m_store->Update(e.row));
        }
    }
    Q_EMIT dataChanged(this->index(index), this->index(index));
    KeepSound(index);
    return false;
}

void Downloads::KeepSound(int index) {
    const DownloadEntry& e = Entry(index);
    // Where the sound goes: the place chosen, else beside the video under the title alone.
    const std::filesystem::path place = e.row.sound.empty() ? e.live.file.parent_path() / DownloadStem(e.row.title, "")
                                                            : std::filesystem::path(e.row.sound);
    media::SoundJob job{PartPathOf(e.live.file),
                        place.parent_path(),
                        place.filename().string(),
                        e.row.keep == KeepForm::Mp3 ? media::SoundForm::Mp3 : media::SoundForm::AsItIs,
                        e.row.title,
                        e.row.page};
    job.stop = &m_ending;
    const int id = e.live.id;
    m_sounds.start([this, job, id, save = m_saveSound]() mutable {
        int shown = 0;
        job.progress = [&](double done) {
            const int percent = std::clamp(static_cast<int>(done * 100), 0, 100);
            if (percent != shown) { // the window hears of each step, not of each packet
                shown = percent;
                QMetaObject::invokeMethod(
                    this,
                    [this, id, percent] {
                        const int row = RowOf(id);
                        if (row >= 0 && Entry(row).soundPercent >= 0) {
                            m_entries[static_cast<std::size_t>(row)].soundPercent = percent;
                            Q_EMIT dataChanged(this->index(row), this->index(row));
                        }
                    },
                    Qt::QueuedConnection);
            }
        };
        const media::SoundResult result = save(job);
        QMetaObject::invokeMethod(
            this, [this, id, result] { SoundEnded(id, result); }, Qt::QueuedConnection);
    });
}

void Downloads::SoundEnded(int id, const media::SoundResult& result) {
    const int index = RowOf(id);
    if (index < 0 || result.kind == media::SoundResult::Kind::Stopped) {
        return; // stopped only as the list goes: the row stays running, for the next start
    }
    DownloadEntry& e = m_entries[static_cast<std::size_t>(index)];
    e.soundPercent = -1;
    DownloadInfo info = e.live;
    const std::filesystem::path video = info.file;
    info.state = DownloadState::Finished;
    switch (result.kind) {
    case media::SoundResult::Kind::Saved: {
        RemovePartOf(video); // only now: the sound is whole under its name
        info.file = result.file;
        e.row.sound = result.file.string();
        std::error_code error;
        const auto bytes = std::filesystem::file_size(result.file, error);
        if (!error) {
            info.received = info.total = static_cast<std::int64_t>(bytes); // the size shown is the sound's
        }
        break;
    }
    case media::SoundResult::Kind::NoSound:
    case media::SoundResult::Kind::Unreadable:
        // The video under its own name, as a finished download has it; else its part stays whole.
        if (::link(PartPathOf(video).c_str(), video.c_str()) == 0) {
            RemovePartOf(video);
        } else {
            info.file = PartPathOf(video);
        }
        break;
    default: // the part stays whole: Retry keeps the sound again from it
        info.state = DownloadState::Failed;
        info.reason = result.message;
        break;
    }
    Update(index, info);
    Q_EMIT Changed(info);
}

void Downloads::Update(int index, const DownloadInfo& info) {
    DownloadEntry& e = m_entries[static_cast<std::size_t>(index)];
    e.live = info;
    if (info.file.empty()) {
        e.live.file = e.row.target;
    }
    Q_EMIT dataChanged(this->index(index), this->index(index));
    if (Follow(e.row, info, QDateTime::currentSecsSinceEpoch()) && m_store) {
        Kept(m_store->Update(e.row));
    }
}

} // namespace veltrin
