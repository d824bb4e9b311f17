#include "library/download_store.h"
#include "library/downloads.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrin {

namespace testing {
namespace {

namespace fs = std::filesystem;
using A = Downloads::Action;
using S = DownloadState;

// A row in the state, every field its own.
StoredDownload Sample(int n, S state = S::Finished) {
    const std::string i = std::to_string(n);
    // clang-format off
    return {n, "http://127.0.0.1:1/" + i, "http://127.0.0.1:1/watch?v=" + i, {"video" + i, 18 + n}, "Clip \u00E9 " + i,
            "720P", "/d/\u00E9t\u00E9 " + i + ".mp4", state, 1000 * n, n % 2 ? -1 : 5000, "\"e" + i + "\"",
            1700000000 + n, state >= S::Finished ? 1700000060 + n : 0, state == S::Failed ? "the server said no" : ""};
    // clang-format on
}

// This executable again, in a helper's mode, and what it prints.
std::pair<pid_t, FILE*> Helper(const char* mode, const std::string& path) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t helper = fork();
    if (helper == 0) {
        dup2(out[1], 1);
        execl("/proc/self/exe", "library_tests", mode, path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    return {helper, fdopen(out[0], "r")};
}

// Statements run on the file over a connection of the test's own, as another release would, and
// rows written in the first layout's order of columns: the first value the last statement gives.
QVariant Sql(const fs::path& file, const std::vector<const char*>& statements,
             const std::vector<StoredDownload>& rows = {}) {
    QVariant last;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(QString::fromStdString(file.string()));
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* statement : statements) {
            EXPECT_TRUE(q.exec(QString::fromLatin1(statement))) << statement << q.lastError().text().toStdString();
            last = q.next() ? q.value(0) : QVariant();
        }
        const auto text = [](const std::string& s) { return QVariant(QString::fromStdString(s)); };
        for (const StoredDownload& d : rows) {
            q.prepare(QStringLiteral("INSERT INTO downloads VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
            for (const QVariant& value :
                 {QVariant(qint64(d.key)), text(d.address), text(d.page), text(d.stream.video),
                  QVariant(d.stream.format), text(d.title), text(d.quality), text(d.target), text(StateName(d.state)),
                  QVariant(qint64(d.received)), QVariant(qint64(d.total)), text(d.validator),
                  QVariant(qint64(d.started)), QVariant(qint64(d.ended)), text(d.reason)}) {
                q.addBindValue(value);
            }
            EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return last;
}

// The list as the first release wrote it: no version, and this table.
const std::vector<const char*> kFirstLayout{
    "PRAGMA journal_mode=WAL",
    "CREATE TABLE IF NOT EXISTS downloads (id INTEGER PRIMARY KEY, address TEXT NOT NULL, page TEXT, "
    "video TEXT, format INTEGER, title TEXT, quality TEXT, target TEXT, state TEXT, received INTEGER, "
    "total INTEGER, validator TEXT, started INTEGER, ended INTEGER, reason TEXT)",
    "CREATE INDEX IF NOT EXISTS downloads_by_stream ON downloads (video, format, state, id)",
    "CREATE INDEX IF NOT EXISTS downloads_by_state ON downloads (state)"};

// A list of an earlier layout (the first; the one before the sound was kept alone) with a row in
// every state: a migration killed before it commits leaves it as it was; the next brings it up
// with every row and every field, to be written and read as any.
class EarlierLayout : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(DownloadStore, EarlierLayout, ::testing::Values(0, 1));
TEST_P(EarlierLayout, IsBroughtUpWholeOrNotAtAll) {
    TemporaryFolder folder("veltrin-store");
    const fs::path file = folder / "downloads.sqlite";
    std::vector<StoredDownload> rows;
    for (int s = 0; s <= static_cast<int>(S::Cancelled); ++s) {
        rows.push_back(Sample(s + 1, static_cast<S>(s)));
        rows.back().replace.reset(); // which an earlier layout did not keep
    }
    rows[5].stream = rows[4].stream; // failed, after a finished download of the stream
    Sql(file, kFirstLayout, rows);
    Sql(file, {GetParam() == 0 ? "PRAGMA user_version=0" : "PRAGMA user_version=1"});
    int status = 0;
    const auto [helper, out] = Helper("--migrate-and-die", file.string());
    std::fclose(out);
    waitpid(helper, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the helper's migration ended: " << status;
    EXPECT_EQ(Sql(file, {"PRAGMA user_version"}).toInt(), GetParam());
    {
        auto opened = DownloadStore::Open(QString::fromStdString(file.string()));
        ASSERT_TRUE(opened.store && opened.problem.isEmpty()) << opened.problem.toStdString();
        EXPECT_EQ(opened.store->All(), rows);
        EXPECT_EQ(opened.store->All(true), (std::vector{rows[0], rows[1], rows[3]}));
        EXPECT_EQ(opened.store->LastFinished(rows[4].stream), rows[4]) << "the failed one is not a download of it";
        EXPECT_EQ(opened.store->LastFinished({rows[4].stream.video, 5}), std::nullopt);
        rows[0] = {1, "a", "p", rows[4].stream, "t", "", "/d/t.mp3", S::Finished, 1, 1, "", 1, 1, "", KeepForm::Mp3};
        rows[2].keep = KeepForm::Sound;
        rows[2].sound = "/d/Clip.m4a";
        ASSERT_TRUE(opened.store->Update(rows[0]) && opened.store->Update(rows[2]));
        EXPECT_EQ(opened.store->KeptBefore(rows[4].stream), (std::vector{rows[4], rows[0]}))
            << "each way, latest first";
        rows.push_back(Sample(8));
        EXPECT_EQ(opened.store->Add(rows.back()), 8) << opened.store->LastError().toStdString();
        ASSERT_TRUE(opened.store->ClearFinished() && opened.store->Remove(rows[1].key));
    }
    auto again = DownloadStore::Open(QString::fromStdString(file.string()));
    ASSERT_TRUE(again.store);
    EXPECT_EQ(again.store->All(), (std::vector{rows[2], rows[3], rows[5], rows[6]}));
    again.store.reset();
    EXPECT_EQ(Sql(file, {"PRAGMA user_version"}).toInt(), DownloadListLayout());
}

// Another window's download, its part locked by another process: nothing here touches its files,
// however the row is acted on, and the row says why; once that process is gone, the row is an
// earlier run's and Cancel removes its part.
TEST(Downloads, NeverTouchesAPartAnotherProcessHolds) {
    TemporaryFolder folder("veltrin-store");
    const std::string list = (folder / "downloads.sqlite").string(), part = (folder / "clip.mp4.part").string();
    StoredDownload row = Sample(1, S::Downloading);
    row.target = (folder / "clip.mp4").string();
    auto other = DownloadStore::Open(QString::fromStdString(list)); // the other window's connection
    row.key = other.store->Add(row);
    std::ofstream(part) << "bytes";
    std::ofstream(part + ".resume") << "record";
    Downloads downloads;
    ASSERT_TRUE(downloads.OpenList(QString::fromStdString(list)).isEmpty());
    downloads.Load();
    ASSERT_EQ(downloads.Actions(0), (std::vector{A::Pause, A::Cancel})) << "listed before the other took it";
    const auto [holder, out] = Helper("--hold-part", part);
    std::shared_ptr<void> gone(nullptr, [holder, out](void*) { // when the test ends, however it ends
        ::kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
        std::fclose(out);
    });
    ASSERT_EQ(std::fgetc(out), 'h') << "the helper holds the part";
    const std::string why = "Downloading in another Veltrin window";
    for (const A action : {A::Cancel, A::Pause, A::Remove, A::Resume, A::Retry}) {
        downloads.Do(0, action);
        ASSERT_EQ(downloads.rowCount(), 1);
        EXPECT_EQ(downloads.StatusText(0).toStdString(), why) << static_cast<int>(action);
        EXPECT_TRUE(downloads.Actions(0).empty());
        EXPECT_EQ(ReadFile(part), "bytes");
        EXPECT_EQ(ReadFile(part + ".resume"), "record");
    }
    row.received = 777;
    ASSERT_TRUE(other.store->Update(row));
    EXPECT_TRUE(downloads.FollowElsewhere()) << "still the other's";
    EXPECT_EQ(downloads.Entry(0).live.received, 777);
    EXPECT_EQ(downloads.List()->All(), std::vector{row});
    row.received = 888;
    ASSERT_TRUE(other.store->Update(row));
    downloads.Refresh(); // as the downloads window is shown
    EXPECT_EQ(downloads.Entry(0).live.received, 888);
    gone.reset();
    EXPECT_FALSE(downloads.FollowElsewhere()) << "the other window is gone";
    EXPECT_NE(downloads.StatusText(0).toStdString(), why);
    downloads.Do(0, A::Cancel);
    EXPECT_EQ(downloads.StatusText(0).toStdString(), "Cancelled");
    EXPECT_FALSE(fs::exists(part) || fs::exists(part + ".resume"));
    // A row the list cannot keep stays shown, and why is known.
    Sql(list, {"DROP TABLE downloads"});
    downloads.Add("http://127.0.0.1:1/x", {folder.Path(), "clip", "mp4"}, Sample(2));
    EXPECT_EQ(downloads.rowCount(), 2);
    EXPECT_TRUE(downloads.LastError().contains(QStringLiteral("no such table"))) << downloads.LastError().toStdString();
}

// What is at the path before the list opens, and what then becomes of it.
struct BadFile {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool opens;
    const char* problem; // part of what the user is told; empty: nothing
    bool movedAside;
    bool untouched;
};

class DownloadStoreBadFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(DownloadStoreBadFile, NeverCrashesNorLosesWhatIsNotDamaged) {
    TemporaryFolder folder("veltrin-store");
    const fs::path file = folder / "data" / "downloads.sqlite";
    fs::create_directories(file.parent_path());
    GetParam().make(file);
    const std::string before = fs::is_regular_file(file) ? ReadFile(file) : std::string();
    auto opened = DownloadStore::Open(QString::fromStdString(file.string()), 200);
    EXPECT_EQ(static_cast<bool>(opened.store), GetParam().opens) << opened.problem.toStdString();
    EXPECT_TRUE(opened.problem.contains(QString::fromUtf8(GetParam().problem))) << opened.problem.toStdString();
    EXPECT_EQ(opened.problem.isEmpty(), *GetParam().problem == '\0') << opened.problem.toStdString();
    EXPECT_EQ(!opened.movedAside.isEmpty(), GetParam().movedAside);
    if (GetParam().movedAside) {
        EXPECT_EQ(ReadFile(opened.movedAside.toStdString()), before);
    }
    if (opened.store) {
        EXPECT_TRUE(opened.store->All().empty());
        EXPECT_GT(opened.store->Add(Sample(1)), 0) << "it can be written";
        EXPECT_EQ(opened.store->All().size(), 1u);
    }
    opened.store.reset();
    if (GetParam().untouched) {
        EXPECT_EQ(ReadFile(file), before) << "a list that could not be used is left as it was";
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder")); // closes HeldByAnother's, where it made one
}

// Another process's long write transaction, as a second connection holds it.
void HeldByAnother(const fs::path& file) {
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    db.setDatabaseName(QString::fromStdString(file.string()));
    ASSERT_TRUE(db.open());
    QSqlQuery(db).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
    ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE held (x)")));
}

const BadFile kBadFiles[] = {
    {"None", [](const fs::path&) {}, true, "", false, false},
    {"Empty", [](const fs::path& f) { std::ofstream(f).close(); }, true, "", false, false},
    {"Garbage", [](const fs::path& f) { std::ofstream(f) << std::string(5000, 'x'); }, true, "was damaged", true,
     false},
    {"CutHeader", [](const fs::path& f) { std::ofstream(f) << std::string("SQLite format 3\0\x10\0\x01\x01", 20); },
     true, "was damaged", true, false},
    {"FolderIsAFile",
     [](const fs::path& f) {
         fs::remove(f.parent_path());
         std::ofstream(f.parent_path()) << "in the way";
     },
     false, "cannot be made", false, false},
    {"HeldByAnother", HeldByAnother, false, "cannot be opened", false, true},
    {"OfALaterRelease", // kept in memory meanwhile
     [](const fs::path& f) {
         Sql(f, {"CREATE TABLE downloads (id INTEGER PRIMARY KEY, address TEXT NOT NULL, later TEXT)",
                 "INSERT INTO downloads (address, later) VALUES ('http://v.test/a', 'x')", "PRAGMA user_version=99"});
     },
     true, "written by a later version of Veltrin", false, true},
};
INSTANTIATE_TEST_SUITE_P(Files, DownloadStoreBadFile, ::testing::ValuesIn(kBadFiles),
                         [](const auto& row) { return std::string(row.param.name); });

// A helper process writes state changes without end and is killed at a random moment, a few dozen
// times: each time the list opens, undamaged, with every row the helper had reported written.
TEST(DownloadStore, OpensAfterAKillAtAnyMoment) {
    TemporaryFolder folder("veltrin-store");
    const std::string path = (folder / "downloads.sqlite").string();
    const char* fixed = std::getenv("VELTRIN_TEST_SEED");
    const unsigned seed = fixed != nullptr ? static_cast<unsigned>(std::stoul(fixed)) : std::random_device{}();
    std::printf("seed %u (VELTRIN_TEST_SEED=%u repeats it)\n", seed, seed);
    std::mt19937 random(seed);
    for (int kill = 0; kill < 30; ++kill) {
        const auto [helper, out] = Helper("--write-downloads", path);
        long long key = 0;
        ASSERT_EQ(std::fscanf(out, "%lld", &key), 1) << "the helper wrote nothing";
        usleep(std::uniform_int_distribution(0, 40000)(random));
        ::kill(helper, SIGKILL);
        waitpid(helper, nullptr, 0);
        while (std::fscanf(out, "%lld", &key) == 1) {
        }
        std::fclose(out);

        auto opened = DownloadStore::Open(QString::fromStdString(path));
        ASSERT_TRUE(opened.store && opened.problem.isEmpty()) << opened.problem.toStdString();
        const auto rows = opened.store->All();
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const StoredDownload& d) { return d.key == key; }))
            << "row " << key << " was reported written";
    }
}

// A finished video's sound kept as each row asks, through the real libraries: stopped half-way
// (the list gone, as in a kill), the row says what it was doing; the next start makes the sound
// from the whole part, and the row ends on the sound file with the part gone; a video without
// sound keeps its own name; what is no video fails, its part kept for Retry.
TEST(Downloads, KeepsTheSoundOfAFinishedVideo) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the ffmpeg program, which makes the test media, is not installed";
    }
    TemporaryFolder media("veltrin-media");
    const std::string make = "cd '" + media.Path().string() + "' && ffmpeg -v error -nostdin -y -f lavfi -i " +
                             "testsrc=size=64x48:rate=5:duration=1 -f lavfi -i sine -t 1 -map 0 ";
    ASSERT_EQ(std::system((make + "-map 1 -c:a aac sound.mp4 -map 0 silent.mp4").c_str()), 0);
    std::ofstream(media / "page.mp4") << "<!DOCTYPE html><html><body>Not here</body></html>\n";
    LoopbackServer server;
    server->Get(R"(/(\w+\.mp4))", [&](const httplib::Request& req, httplib::Response& res) {
        res.set_content(ReadFile(media / req.matches[1].str()), "video/mp4");
    });
    server.Start();
    const auto until = [](const std::function<bool()>& done) { // the engine's news reach the list meanwhile
        return WaitUntil([&] { return QCoreApplication::processEvents(), done(); }, std::chrono::seconds(30));
    };
    // The video served, what is kept, the row's file at the end (which the folder holds alone) and
    // how its text starts then.
    for (const auto& [video, keep, file, status] :
         std::vector<std::tuple<std::string, KeepForm, std::string, const char*>>{
             {"sound.mp4", KeepForm::Sound, "Slow walk.m4a", "Finished, "},
             {"sound.mp4", KeepForm::Mp3, "Slow walk.mp3", "Finished, "},
             {"silent.mp4", KeepForm::Sound, "Slow walk (720p).mp4", "This video has no sound to keep"},
             {"page.mp4", KeepForm::Mp3, "Slow walk (720p).mp4", "Failed: "}}) {
        TemporaryFolder folder("veltrin-sound");
        const QString list = QString::fromStdString((media / (video + std::to_string(int(keep)))).string());
        {
            std::atomic<bool> asked{false};
            Downloads d;
            ASSERT_TRUE(d.OpenList(list).isEmpty());
            d.SetSoundSaver([&asked](const media::SoundJob&) {
                asked = true;
                return media::SoundResult{media::SoundResult::Kind::Stopped};
            });
            d.Add(server.Url("/" + video), {folder.Path(), "Slow walk (720p)", "mp4"},
                  {.stream = {"v1", 22}, .title = "Slow walk", .keep = keep, .sound = folder / "Slow walk"});
            ASSERT_TRUE(until([&] { return asked.load(); }));
            EXPECT_EQ(d.StatusText(0).toStdString(),
                      keep == KeepForm::Mp3 ? "Converting to MP3…" : "Copying the sound…");
            EXPECT_TRUE(d.Actions(0).empty());
        }
        Downloads d;
        ASSERT_TRUE(d.OpenList(list).isEmpty());
        d.SetSoundSaver(&media::SaveSound);
        ASSERT_EQ(d.ContinueLeft().size(), 1U);
        ASSERT_TRUE(until([&] { return IsEnded(d.Entry(0).live.state); }));
        const bool failed = d.Entry(0).live.state == S::Failed;
        EXPECT_TRUE(d.StatusText(0).startsWith(QString::fromUtf8(status))) << d.StatusText(0).toStdString();
        EXPECT_EQ(d.Actions(0).front(), failed ? A::Retry : A::Open);
        EXPECT_EQ(d.Entry(0).live.file, folder / file);
        EXPECT_EQ(FileNames(folder), (failed ? std::set{file + ".part", file + ".part.resume"} : std::set{file}));
    }
}

} // namespace
} // namespace testing

// The helper processes: state changes without end, each row that stays printed once written; a
// migration killed before it commits; a part's lock held.
int StoreHelper(const std::string& mode, const char* path) {
    if (mode == "--hold-part") { // as another window's engine holds the part it writes
        ::flock(::open(path, O_RDONLY | O_CLOEXEC), LOCK_EX);
        std::printf("held");
        std::fflush(stdout);
        ::pause();
    } else if (mode == "--migrate-and-die") {
        SetBeforeLayoutCommitsForTesting([] { ::raise(SIGKILL); });
    }
    auto opened = DownloadStore::Open(QString::fromUtf8(path));
    for (int n = 1; opened.store; ++n) {
        StoredDownload d = testing::Sample(n, DownloadState::Queued);
        d.key = opened.store->Add(d);
        for (const DownloadState state : {DownloadState::Downloading, DownloadState::Paused, DownloadState::Finished}) {
            d.state = state;
            opened.store->Update(d);
        }
        if (n % 3 == 0) {
            opened.store->Remove(d.key);
        } else {
            std::printf("%lld\n", static_cast<long long>(d.key));
            std::fflush(stdout);
        }
    }
    return 1;
}

} // namespace veltrin
