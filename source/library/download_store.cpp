#include "library/download_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <array>
#include <atomic>
#include <span>

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

// SQLite's own codes, which the driver gives as the native error: the file is not a database, or
// is one no longer.
bool Damage(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 || code == 26;
}

QString Tr(const char* text) { return QCoreApplication::translate("DownloadStore", text); }

// A column by its name: what is bound to it and what is read from it. A column added here is
// written and read everywhere, and no other moves.
struct Column {
    const char* name;
    QVariant (*get)(const StoredDownload&);
    void (*set)(StoredDownload&, const QVariant&);
};

template <std::string StoredDownload::*field> Column Text(const char* name) {
    return {name, [](const StoredDownload& d) { return QVariant(QString::fromStdString(d.*field)); },
            [](StoredDownload& d, const QVariant& v) { d.*field = v.toString().toStdString(); }};
}

template <std::int64_t StoredDownload::*field> Column Number(const char* name) {
    return {name, [](const StoredDownload& d) { return QVariant(qint64(d.*field)); },
            [](StoredDownload& d, const QVariant& v) { d.*field = v.toLongLong(); }};
}

const std::array kColumns{
    Text<&StoredDownload::address>("address"),
    Text<&StoredDownload::page>("page"),
    Column{"video", [](const StoredDownload& d) { return QVariant(QString::fromStdString(d.stream.video)); },
           [](StoredDownload& d, const QVariant& v) { d.stream.video = v.toString().toStdString(); }},
    Column{"format", [](const StoredDownload& d) { return QVariant(d.stream.format); },
           [](StoredDownload& d, const QVariant& v) { d.stream.format = v.toInt(); }},
    Text<&StoredDownload::title>("title"),
    Text<&StoredDownload::quality>("quality"),
    Text<&StoredDownload::target>("target"),
    Column{"state", [](const StoredDownload& d) { return QVariant(QString::fromLatin1(StateName(d.state))); },
           [](StoredDownload& d, const QVariant& v) { d.state = StateNamed(v.toString()); }},
    Number<&StoredDownload::received>("received"),
    Number<&StoredDownload::total>("total"),
    Text<&StoredDownload::validator>("validator"),
    Number<&StoredDownload::started>("started"),
    Number<&StoredDownload::ended>("ended"),
    Text<&StoredDownload::reason>("reason"),
    Column{"keep", [](const StoredDownload& d) { return QVariant(static_cast<int>(d.keep)); },
           [](StoredDownload& d, const QVariant& v) {
               // a form a later version keeps is read as the video, which its target names
               d.keep = v.toInt() >= 0 && v.toInt() <= 2 ? static_cast<KeepForm>(v.toInt()) : KeepForm::Video;
           }},
    Text<&StoredDownload::sound>("sound"),
    Column{"replaces", [](const StoredDownload& d) { return QVariant(d.replace ? int(*d.replace) : -1); },
           [](StoredDownload& d, const QVariant& v) {
               d.replace = v.toInt() < 0 ? std::nullopt : std::optional(v.toInt() == 1);
           }},
};

// "address, page, ..." with each name put into the form ("%1", ":%1", "%1=:%1").
QString Names(const char* form = "%1") {
    QStringList names;
    for (const Column& c : kColumns) {
        names << QString::fromLatin1(form).arg(QLatin1String(c.name));
    }
    return names.join(QStringLiteral(", "));
}

// The first layout's table and indexes: a new file gets them, then every step below, so that a
// new file and one brought up are alike.
constexpr std::array kCreate{
    "CREATE TABLE downloads (id INTEGER PRIMARY KEY, address TEXT NOT NULL, page TEXT, video TEXT, format INTEGER, "
    "title TEXT, quality TEXT, target TEXT, state TEXT, received INTEGER, total INTEGER, validator TEXT, "
    "started INTEGER, ended INTEGER, reason TEXT)",
    "CREATE INDEX downloads_by_stream ON downloads (video, format, state, id)",
    "CREATE INDEX downloads_by_state ON downloads (state)"};

// What brings a file of each earlier layout to the next: kMigrations[n] takes layout n to n + 1.
// Layout 0 is the first, whose files carried no version. A step costs an ALTER TABLE at most: it
// runs while the window opens, on a list of any length.
const std::vector<std::vector<const char*>> kMigrations{
    {}, // the same table, now with its version
    {"ALTER TABLE downloads ADD COLUMN keep INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE downloads ADD COLUMN sound TEXT NOT NULL DEFAULT ''",        // the sound kept alone
     "ALTER TABLE downloads ADD COLUMN replaces INTEGER NOT NULL DEFAULT -1"}, // -1: not known
};
const int kLayout = static_cast<int>(kMigrations.size());

void (*g_beforeCommit)() = nullptr;

// Brings the file to this build's layout; nothing is written to one of a later layout, which is
// said in newer. An invalid error when all went well.
QSqlError PrepareLayout(const QSqlDatabase& db, bool& newer) {
    QSqlQuery q(db);
    QSqlError error = db.lastError();
    const auto run = [&](const QString& statement) {
        if (!error.isValid() && !q.exec(statement)) {
            error = q.lastError();
        }
        return !error.isValid();
    };
    const auto version = [&] {
        const int found = run(QStringLiteral("PRAGMA user_version")) && q.next() ? q.value(0).toInt() : 0;
        q.finish();
        return found;
    };
    // Read before anything is written: a later release's file keeps even its journal mode.
    newer = version() > kLayout;
    if (newer || !run(QStringLiteral("PRAGMA journal_mode=WAL")) || !run(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        version() == kLayout) {
        return error;
    }
    // Another window may be bringing the same file up: this waits for it, then reads again.
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return error;
    }
    const int found = version();
    const bool made =
        run(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name='downloads'")) && q.next();
    q.finish();
    newer = found > kLayout;
    std::vector<const char*> statements;
    if (!made) {
        statements.assign(kCreate.begin(), kCreate.end());
    }
    for (int step = made ? found : 0; step < kLayout; ++step) {
        const auto& migration = kMigrations[static_cast<std::size_t>(step)];
        statements.insert(statements.end(), migration.begin(), migration.end());
    }
    for (const char* statement : newer ? std::vector<const char*>() : statements) {
        run(QString::fromLatin1(statement));
    }
    if (!newer && run(QStringLiteral("PRAGMA user_version=%1").arg(kLayout)) && g_beforeCommit != nullptr) {
        g_beforeCommit();
    }
    if (newer || !run(QStringLiteral("COMMIT"))) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    }
    return error;
}

} // namespace

const char* StateName(DownloadState state) { return kStateNames[static_cast<std::size_t>(state)]; }

int DownloadListLayout() { return kLayout; }

void SetBeforeLayoutCommitsForTesting(void (*call)()) { g_beforeCommit = call; }

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
    bool newer = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        static std::atomic<int> made{0};
        const QString name = QStringLiteral("veltrin-downloads-%1").arg(++made);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            // A later release's list stays as it is: this run's is kept in memory, in the same layout.
            db.setDatabaseName(newer ? QStringLiteral(":memory:") : path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
            db.open();
        }
        std::unique_ptr<DownloadStore> store(new DownloadStore(name));
        const QSqlError error = PrepareLayout(QSqlDatabase::database(name, false), newer);
        const bool damaged = error.isValid() && Damage(error);
        if (!error.isValid() && !newer) {
            opened.store = std::move(store);
            return opened;
        }
        store.reset();
        if (newer) {
            opened.problem = Tr("The downloads list %1 was written by a later version of Veltrin. It is left as it "
                                "is, and the downloads of this run are listed only until Veltrin ends.")
                                 .arg(QDir::toNativeSeparators(path));
            continue;
        }
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

bool DownloadStore::Run(const QString& statement, const StoredDownload* d, std::int64_t key) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(statement);
    for (const Column& c : d != nullptr ? std::span(kColumns) : std::span<const Column>()) {
        q.bindValue(QLatin1Char(':') + QLatin1String(c.name), c.get(*d));
    }
    if (key != 0) {
        q.bindValue(QStringLiteral(":id"), QVariant(qint64(key)));
    }
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    m_lastId = q.lastInsertId().toLongLong();
    return true;
}

std::int64_t DownloadStore::Add(const StoredDownload& download) {
    static const QString insert = QStringLiteral("INSERT INTO downloads (%1) VALUES (%2)").arg(Names(), Names(":%1"));
    return Run(insert, &download) ? m_lastId : 0;
}

bool DownloadStore::Update(const StoredDownload& download) {
    static const QString update = QStringLiteral("UPDATE downloads SET %1 WHERE id=:id").arg(Names("%1=:%1"));
    return Run(update, &download, download.key);
}

bool DownloadStore::Remove(std::int64_t key) {
    return Run(QStringLiteral("DELETE FROM downloads WHERE id=:id"), nullptr, key);
}

bool DownloadStore::ClearFinished() {
    return Run(QStringLiteral("DELETE FROM downloads WHERE state='finished'"), nullptr);
}

std::vector<StoredDownload> DownloadStore::Select(const QString& where, const std::vector<QVariant>& values) const {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    static const QString select = QStringLiteral("SELECT id, %1 FROM downloads ").arg(Names());
    q.prepare(select + where);
    for (const QVariant& value : values) {
        q.addBindValue(value);
    }
    std::vector<StoredDownload> rows;
    if (!q.exec()) {
        m_error = q.lastError().text();
        return rows;
    }
    const QSqlRecord record = q.record();
    const int id = record.indexOf(QStringLiteral("id"));
    std::array<int, kColumns.size()> at{};
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        at[i] = record.indexOf(QLatin1String(kColumns[i].name));
    }
    while (q.next()) {
        StoredDownload& d = rows.emplace_back();
        d.key = q.value(id).toLongLong();
        for (std::size_t i = 0; i < kColumns.size(); ++i) {
            kColumns[i].set(d, q.value(at[i]));
        }
    }
    return rows;
}

std::vector<StoredDownload> DownloadStore::All(bool runningOnly) const {
    if (!runningOnly) {
        return Select(QStringLiteral("ORDER BY id"), {});
    }
    QStringList running;
    for (std::size_t i = 0; i < kStateNames.size(); ++i) {
        if (IsRunning(static_cast<DownloadState>(i))) {
            running << QStringLiteral("'%1'").arg(QLatin1String(kStateNames[i]));
        }
    }
    return Select(QStringLiteral("WHERE state IN (%1) ORDER BY id").arg(running.join(QLatin1Char(','))), {});
}

std::optional<StoredDownload> DownloadStore::LastFinished(const StreamIdentity& stream) const {
    auto rows = Select(QStringLiteral("WHERE video=? AND format=? AND state='finished' ORDER BY id DESC LIMIT 1"),
                       {QString::fromStdString(stream.video), stream.format});
    return rows.empty() ? std::nullopt : std::optional(std::move(rows.front()));
}

std::vector<StoredDownload> DownloadStore::KeptBefore(const StreamIdentity& stream) const {
    std::vector<StoredDownload> kept;
    for (StoredDownload& row :
         Select(QStringLiteral("WHERE video=? AND format=? AND state='finished' ORDER BY id DESC"),
                {QString::fromStdString(stream.video), stream.format})) {
        if (std::ranges::none_of(kept, [&](const StoredDownload& k) { return k.keep == row.keep; })) {
            kept.push_back(std::move(row));
        }
    }
    return kept;
}

std::optional<StoredDownload> DownloadStore::Row(std::int64_t key) const {
    auto rows = Select(QStringLiteral("WHERE id=?"), {QVariant(qint64(key))});
    return rows.empty() ? std::nullopt : std::optional(std::move(rows.front()));
}

std::vector<StoredDownload> DownloadStore::OfStream(const StreamIdentity& stream) const {
    return Select(QStringLiteral("WHERE video=? AND format=? ORDER BY id DESC"),
                  {QString::fromStdString(stream.video), stream.format});
}

bool Follow(StoredDownload& row, const DownloadInfo& info, std::int64_t now) {
    const std::string target = info.file.empty() ? row.target : info.file.string();
    if (info.state == row.state && target == row.target) {
        return false;
    }
    row.state = info.state;
    row.target = target;
    row.received = info.received;
    row.total = info.total;
    row.reason = info.reason;
    row.ended = IsEnded(info.state) ? now : 0;
    row.validator = info.validator;
    return true;
}

} // namespace veltrin
