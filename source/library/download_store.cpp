#include "library/download_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <array>
#include <atomic>

namespace veltrin {

namespace {

constexpr std::array kStateNames{"queued", "downloading", "paused", "retrying", "finished", "failed", "cancelled"};

DownloadState StateNamed(const QString& name) {
    for (std::size_t i = 0; i < kStateNames.size(); ++i) {
        if (name == QLatin1String(kStateNames[i])) {
            return static_cast<DownloadState>(i);
        }
    }
    return DownloadState::Failed; // a row written by a later version: shown, continued only by Retry
}

QString Tr(const char* text) { return QCoreApplication::translate("DownloadStore", text); }

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

constexpr const char* kColumns = "address, page, video, format, title, quality, target, state, received, total, "
                                 "validator, started, ended, reason";

// SQLite's own codes, which the driver gives as the native error: the file is not a database, or
// is one no longer.
bool Damage(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 || code == 26;
}

StoredDownload RowOf(const QSqlQuery& q) {
    StoredDownload d;
    d.key = q.value(0).toLongLong();
    d.address = q.value(1).toString().toStdString();
    d.page = q.value(2).toString().toStdString();
    d.stream = {q.value(3).toString().toStdString(), q.value(4).toInt()};
    d.title = q.value(5).toString().toStdString();
    d.quality = q.value(6).toString().toStdString();
    d.target = q.value(7).toString().toStdString();
    d.state = StateNamed(q.value(8).toString());
    d.received = q.value(9).toLongLong();
    d.total = q.value(10).toLongLong();
    d.validator = q.value(11).toString().toStdString();
    d.started = q.value(12).toLongLong();
    d.ended = q.value(13).toLongLong();
    d.reason = q.value(14).toString().toStdString();
    return d;
}

} // namespace

const char* StateName(DownloadState state) { return kStateNames[static_cast<std::size_t>(state)]; }

QString DownloadStore::DefaultPath() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        data = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return data + QStringLiteral("/Veltrin/downloads.sqlite");
}

DownloadStore::Opened DownloadStore::Open(const QString& path, int busyMilliseconds) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        return {nullptr,
                Tr("Downloads are not kept after Veltrin ends: Qt's SQLite driver is not installed "
                   "(the package libqt6sql6-sqlite)."),
                {}};
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return {
            nullptr, Tr("Downloads are not kept after Veltrin ends: the folder %1 cannot be made.").arg(folder), {}};
    }
    Opened opened;
    for (int attempt = 0; attempt < 2; ++attempt) {
        static std::atomic<int> made{0};
        const QString name = QStringLiteral("veltrin-downloads-%1").arg(++made);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
            db.open();
        }
        std::unique_ptr<DownloadStore> store(new DownloadStore(name));
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        QSqlError error = db.lastError();
        bool damaged = false;
        for (const char* statement :
             {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
              "CREATE TABLE IF NOT EXISTS downloads (id INTEGER PRIMARY KEY, address TEXT NOT NULL, page TEXT, "
              "video TEXT, format INTEGER, title TEXT, quality TEXT, target TEXT, state TEXT, received INTEGER, "
              "total INTEGER, validator TEXT, started INTEGER, ended INTEGER, reason TEXT)",
              "CREATE INDEX IF NOT EXISTS downloads_by_stream ON downloads (video, format, state, id)",
              "CREATE INDEX IF NOT EXISTS downloads_by_state ON downloads (state)"}) {
            if (error.isValid() || !q.exec(QString::fromLatin1(statement))) {
                error = error.isValid() ? error : q.lastError();
                damaged = Damage(error);
                break;
            }
        }
        if (!damaged && !error.isValid()) {
            opened.store = std::move(store);
            return opened;
        }
        q = QSqlQuery();
        db = QSqlDatabase();
        store.reset();
        if (!damaged || attempt > 0) {
            opened.problem = Tr("Downloads are not kept after Veltrin ends: %1 cannot be opened (%2).")
                                 .arg(QDir::toNativeSeparators(path), error.text());
            return opened;
        }
        const QString aside = path + QStringLiteral(".damaged-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(path, aside)) {
            opened.problem =
                Tr("The downloads list %1 is damaged and cannot be moved aside.").arg(QDir::toNativeSeparators(path));
            return opened;
        }
        for (const char* journal : {"-wal", "-shm"}) {
            QFile::rename(path + QLatin1String(journal), aside + QLatin1String(journal));
        }
        opened.movedAside = aside;
        opened.problem = Tr("The downloads list was damaged. It has been moved to %1, and the list starts empty.")
                             .arg(QDir::toNativeSeparators(aside));
    }
    return opened;
}

DownloadStore::DownloadStore(QString connection) : m_connection(std::move(connection)) {}

DownloadStore::~DownloadStore() {
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool DownloadStore::Run(const QString& statement, const StoredDownload* d) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(statement);
    if (d != nullptr) {
        for (const QVariant& value :
             {QVariant(FromUtf8(d->address)), QVariant(FromUtf8(d->page)), QVariant(FromUtf8(d->stream.video)),
              QVariant(d->stream.format), QVariant(FromUtf8(d->title)), QVariant(FromUtf8(d->quality)),
              QVariant(FromUtf8(d->target)), QVariant(QString::fromLatin1(StateName(d->state))),
              QVariant(qint64(d->received)), QVariant(qint64(d->total)), QVariant(FromUtf8(d->validator)),
              QVariant(qint64(d->started)), QVariant(qint64(d->ended)), QVariant(FromUtf8(d->reason))}) {
            q.addBindValue(value);
        }
    }
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    m_lastId = q.lastInsertId().toLongLong();
    return true;
}

std::int64_t DownloadStore::Add(const StoredDownload& download) {
    return Run(QStringLiteral("INSERT INTO downloads (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                   .arg(QLatin1String(kColumns)),
               &download)
               ? m_lastId
               : 0;
}

bool DownloadStore::Update(const StoredDownload& download) {
    QString sets =
        QString::fromLatin1(kColumns).replace(QStringLiteral(","), QStringLiteral("=?,")) + QStringLiteral("=?");
    return Run(QStringLiteral("UPDATE downloads SET %1 WHERE id=%2").arg(sets).arg(download.key), &download);
}

bool DownloadStore::Remove(std::int64_t key) {
    return Run(QStringLiteral("DELETE FROM downloads WHERE id=%1").arg(key), nullptr);
}

bool DownloadStore::ClearFinished() {
    return Run(QStringLiteral("DELETE FROM downloads WHERE state='finished'"), nullptr);
}

std::vector<StoredDownload> DownloadStore::All(bool runningOnly) const {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    std::vector<StoredDownload> rows;
    const QString where =
        runningOnly ? QStringLiteral("WHERE state IN ('queued', 'downloading', 'retrying')") : QString();
    if (!q.exec(QStringLiteral("SELECT id, %1 FROM downloads %2 ORDER BY id").arg(QLatin1String(kColumns), where))) {
        m_error = q.lastError().text();
    }
    while (q.next()) {
        rows.push_back(RowOf(q));
    }
    return rows;
}

std::optional<StoredDownload> DownloadStore::LastFinished(const StreamIdentity& stream) const {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT id, %1 FROM downloads WHERE video=? AND format=? AND state='finished' "
                             "ORDER BY id DESC LIMIT 1")
                  .arg(QLatin1String(kColumns)));
    q.addBindValue(FromUtf8(stream.video));
    q.addBindValue(stream.format);
    if (q.exec() && q.next()) {
        return RowOf(q);
    }
    return std::nullopt;
}

} // namespace veltrin
