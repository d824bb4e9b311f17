#include "window/downloads.h"

#include "extract/file_name.h"
#include "extract/go_pipeline.h"
#include "net/http_request.h"
#include "net/mod_net.h"

#include <QDateTime>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace veltrin {

namespace {

bool Running(DownloadState state) {
    return state == DownloadState::Queued || state == DownloadState::Downloading || state == DownloadState::Retrying;
}

// A part another process's engine holds (it locks what it owns) is that process's to continue.
bool HeldElsewhere(const std::string& part) {
    const int fd = ::open(part.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

Continuation ContinuationFor(const StoredDownload& row) {
    Continuation continuation{row.stream, row.page};
    continuation.findAddress = [page = row.page, format = row.stream.format]() -> std::optional<std::string> {
        try {
            const auto request = modNet::CreateConfiguredRequest();
            const auto matches = ExtractStreamEntries(modNet::FetchPage(*request, page));
            for (const LinkMatch& m : matches ? *matches : std::vector<LinkMatch>{}) {
                if (FormatCode(m.entry) == format) {
                    return PlanDownload(m, {}).address;
                }
            }
        } catch (const HttpRequestError&) {
        }
        return std::nullopt;
    };
    return continuation;
}

Downloads::Downloads(QObject* parent) : QObject(parent) {
    DownloadEngine::Options options;
    options.userAgent = modNet::kUserAgent;
    m_engine = std::make_unique<DownloadEngine>(options, [this](const DownloadInfo& info) {
        // The engine reports from its own thread; the window hears of it on its own.
        QMetaObject::invokeMethod(
            this,
            [this, info] {
                Record(info);
                Q_EMIT Changed(info);
            },
            Qt::QueuedConnection);
    });
}

// The engine goes first: it stops reporting before the object it reports to. What it stops keeps
// its part, and its row says it was running: the next start continues it.
Downloads::~Downloads() { m_engine.reset(); }

QString Downloads::OpenList(const QString& path) {
    auto opened = DownloadStore::Open(path);
    m_store = std::move(opened.store);
    return opened.problem;
}

int Downloads::Add(const std::string& url, const DownloadTarget& target, StoredDownload row) {
    row.address = url;
    row.state = DownloadState::Queued;
    if (row.started == 0) {
        row.started = QDateTime::currentSecsSinceEpoch();
    }
    if (row.target.empty() && target.extension) {
        row.target =
            (target.folder / (target.stem + (target.extension->empty() ? "" : "." + *target.extension))).string();
    }
    if (m_store) {
        if (row.key == 0) {
            row.key = m_store->Add(row);
        } else {
            m_store->Update(row);
        }
    }
    const int id = m_engine->Add(url, target, ContinuationFor(row));
    m_rows[id] = std::move(row);
    return id;
}

std::vector<int> Downloads::ContinueLeft() {
    std::vector<int> ids;
    for (const StoredDownload& row : m_store ? m_store->All() : std::vector<StoredDownload>{}) {
        if (!veltrin::Running(row.state) || row.target.empty() || HeldElsewhere(row.target + ".part")) {
            continue;
        }
        const QFileInfo file(QString::fromStdString(row.target));
        ids.push_back(
            Add(row.address,
                {file.absolutePath().toStdString(), file.completeBaseName().toStdString(), file.suffix().toStdString()},
                row));
    }
    return ids;
}

int Downloads::Running() const {
    int running = 0;
    for (const auto& [id, row] : m_rows) {
        running += veltrin::Running(row.state) ? 1 : 0;
    }
    return running;
}

void Downloads::Record(const DownloadInfo& info) {
    const auto found = m_rows.find(info.id);
    if (found == m_rows.end()) {
        return;
    }
    StoredDownload& row = found->second;
    const std::string target = info.file.empty() ? row.target : info.file.string();
    if (info.state == row.state && target == row.target) {
        return; // progress only: the part's record keeps the bytes
    }
    row.state = info.state;
    row.target = target;
    row.received = info.received;
    row.total = info.total;
    row.reason = info.reason;
    const bool over = info.state == DownloadState::Finished || info.state == DownloadState::Failed ||
                      info.state == DownloadState::Cancelled;
    row.ended = over ? QDateTime::currentSecsSinceEpoch() : 0;
    if (auto record = ReadRecordFile(target + ".part.resume")) {
        const auto at = record->find("\nvalidator=");
        if (at != std::string::npos) {
            row.validator = record->substr(at + 11, record->find('\n', at + 1) - at - 11);
        }
    }
    if (m_store) {
        m_store->Update(row);
    }
}

} // namespace veltrin
