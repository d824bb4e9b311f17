#include "library/download_store.h"
#include "support/temporary_folder.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrin {

// The helper process of the kill test: state changes without end. A row that stays is printed
// once it is written.
int WriteDownloadsUntilKilled(const char* path) {
    auto opened = DownloadStore::Open(QString::fromUtf8(path));
    if (!opened.store) {
        return 1;
    }
    for (std::int64_t n = 0;; ++n) {
        StoredDownload d{.address = "http://v.test/" + std::to_string(n), .title = "Clip"};
        d.key = opened.store->Add(d);
        if (n % 3 != 0) {
            std::printf("%lld\n", static_cast<long long>(d.key));
            std::fflush(stdout);
        }
        for (const DownloadState state : {DownloadState::Downloading, DownloadState::Paused, DownloadState::Finished}) {
            d.state = state;
            d.received += 1000;
            opened.store->Update(d);
        }
        if (n % 3 == 0) {
            opened.store->Remove(d.key);
        }
    }
}

namespace testing {
namespace {

namespace fs = std::filesystem;

StoredDownload Finished(const std::string& video, int format, const std::string& target) {
    return {0,
            "http://v.test/a",
            "http://w.test/watch",
            {video, format},
            "Clip é",
            "720P",
            target,
            DownloadState::Finished,
            1234,
            1234,
            "\"etag\"",
            1700000000,
            1700000060,
            ""};
}

TEST(DownloadStore, KeepsRowsAndFindsTheLastFinishedOfAStream) {
    TemporaryFolder folder("veltrin-store");
    const QString path = QString::fromStdString((folder / "downloads.sqlite").string());
    StoredDownload first = Finished("abc", 22, "/d/\u00E9t\u00E9.mp4");
    StoredDownload running = Finished("abc", 22, "/d/second.mp4");
    running.state = DownloadState::Downloading;
    StoredDownload other = Finished("abc", 18, "/d/small.mp4");
    {
        auto opened = DownloadStore::Open(path);
        ASSERT_TRUE(opened.store) << opened.problem.toStdString();
        for (StoredDownload* d : {&first, &running, &other}) {
            d->key = opened.store->Add(*d);
            ASSERT_GT(d->key, 0) << opened.store->LastError().toStdString();
        }
        running.reason = "the server answered 404";
        running.state = DownloadState::Failed;
        ASSERT_TRUE(opened.store->Update(running));
    }
    auto again = DownloadStore::Open(path);
    ASSERT_TRUE(again.store);
    EXPECT_EQ(again.store->All(), (std::vector{first, running, other}));
    EXPECT_EQ(again.store->LastFinished({"abc", 22}), first) << "the failed one is not a download of the stream";
    EXPECT_EQ(again.store->LastFinished({"abc", 5}), std::nullopt);
    ASSERT_TRUE(again.store->ClearFinished());
    EXPECT_EQ(again.store->All(), std::vector{running});
    ASSERT_TRUE(again.store->Remove(running.key));
    EXPECT_TRUE(again.store->All().empty());
}

// What is at the path before the list opens, and what then becomes of it.
struct BadFile {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool opens;
    const char* problem; // part of what the user is told; empty: nothing
    bool movedAside;
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
        EXPECT_TRUE(opened.store->All().empty());
    } else if (!GetParam().opens && fs::is_regular_file(file)) {
        EXPECT_EQ(ReadFile(file), before) << "a list that could not be opened is left as it was";
    }
    if (opened.store) {
        EXPECT_GT(opened.store->Add(Finished("v", 22, "/d/a.mp4")), 0) << "it can be written";
    }
    if (QSqlDatabase::contains(QStringLiteral("holder"))) {
        QSqlDatabase::database(QStringLiteral("holder")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    }
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
    {"None", [](const fs::path&) {}, true, "", false},
    {"Empty", [](const fs::path& f) { std::ofstream(f).close(); }, true, "", false},
    {"Garbage", [](const fs::path& f) { std::ofstream(f) << std::string(5000, 'x'); }, true, "was damaged", true},
    {"CutHeader", [](const fs::path& f) { std::ofstream(f) << std::string("SQLite format 3\0\x10\0\x01\x01", 20); },
     true, "was damaged", true},
    {"FolderIsAFile",
     [](const fs::path& f) {
         fs::remove(f.parent_path());
         std::ofstream(f.parent_path()) << "in the way";
     },
     false, "cannot be made", false},
    {"HeldByAnother", HeldByAnother, false, "cannot be opened", false},
};
INSTANTIATE_TEST_SUITE_P(Files, DownloadStoreBadFile, ::testing::ValuesIn(kBadFiles),
                         [](const auto& row) { return std::string(row.param.name); });

// A helper process writes state changes without end and is killed at a random moment, a few dozen
// times: each time the list opens, undamaged, with every row the helper had reported written.
TEST(DownloadStore, OpensAfterAKillAtAnyMoment) {
    TemporaryFolder folder("veltrin-store");
    const std::string path = (folder / "downloads.sqlite").string();
    std::mt19937 random(std::random_device{}());
    for (int kill = 0; kill < 30; ++kill) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t helper = fork();
        ASSERT_GE(helper, 0);
        if (helper == 0) {
            dup2(pipe[1], 1);
            execl("/proc/self/exe", "library_tests", "--write-downloads", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipe[1]);
        FILE* out = fdopen(pipe[0], "r");
        long long key = 0;
        ASSERT_EQ(std::fscanf(out, "%lld", &key), 1) << "the helper wrote nothing";
        usleep(std::uniform_int_distribution(0, 40000)(random));
        ::kill(helper, SIGKILL);
        waitpid(helper, nullptr, 0);
        while (std::fscanf(out, "%lld", &key) == 1) {
        }
        std::fclose(out);

        auto opened = DownloadStore::Open(QString::fromStdString(path));
        ASSERT_TRUE(opened.store) << opened.problem.toStdString();
        ASSERT_TRUE(opened.problem.isEmpty()) << opened.problem.toStdString();
        const auto rows = opened.store->All();
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const StoredDownload& d) { return d.key == key; }))
            << "row " << key << " was reported written";
    }
}

} // namespace
} // namespace testing
} // namespace veltrin
