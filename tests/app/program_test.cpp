// The program as a user's scripts and desktop start it: a process against loopback servers.

#include "site/sample_site.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kStreams =
    WatchPage("", "", {{"http://v.test/a?itag=22&sig=\"x\"", "hd720"}, {"http://v.test/b?itag=5", "small"}});

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Where the program's standard output goes: to the test, to a pipe whose reader has gone (with its
// standard error too: AllGone), or nowhere, closed.
enum class Out { Read, Gone, AllGone, Closed };

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        m_server->Get("/watch", [](const auto&, auto& res) { res.set_content(kStreams, "text/html"); });
        m_server->Get("/unknown", [](const auto&, auto& res) {
            res.set_content("flashvars url=x?itag=99&quality=hd</script>", "text/html");
        });
        m_server->Get("/plain", [](const auto&, auto& res) { res.set_content("<html>nothing</html>", "text/html"); });
        m_server->Get("/ad", [](const auto&, auto& res) { res.set_content("ad", "text/html"); });
        m_server->Get("/streams", [this](const auto&, auto& res) {
            res.set_content(WatchPage("AC/DC: Live?", "",
                                      {{m_server.Url("/video?itag=22&n=caf%C3%A9"), "hd"},
                                       {m_server.Url("/missing?itag=5"), "small"},
                                       {m_server.Url("/slow?itag=17"), "small"}}),
                            "text/html");
        });
        // Asked for with the bytes the page's link stood for, not the characters the chain made of them.
        m_server->Get("/video", [this](const httplib::Request& req, httplib::Response& res) {
            res.status = req.get_param_value("n") == "caf\u00E9" ? 200 : 404;
            res.set_content(m_video, "video/mp4");
        });
        m_server->Get("/slow", [this](const auto&, auto& res) {
            res.set_header("ETag", "\"s1\"");
            ServeSlowly(res, m_video, "video/3gpp", 4096, 20ms);
        });
        // A page whose first address has expired already: the stream is asked of the page again.
        m_server->Get("/expiring", [this](const auto&, auto& res) {
            const std::string signature = std::to_string(++m_pagesServed);
            res.set_content(WatchPage("", "e1", {{m_server.Url("/signed?itag=35&sig=" + signature), "large"}}),
                            "text/html");
        });
        m_server->Get("/signed", [this](const httplib::Request& req, auto& res) {
            res.status = std::stoi(req.get_param_value("sig")) % 2 == 1 ? 410 : 200; // each run's first
            res.set_content(m_video, "video/x-flv");
        });
        // A watch page of two streams, 720P (a) and 240p (b), each a file of the test's folder.
        m_server->Get("/sound", [this](const httplib::Request& req, auto& res) {
            const std::string a = req.get_param_value("a"), b = req.get_param_value("b");
            res.set_content(WatchPage("Slow walk", a + b,
                                      {{m_server.Url("/media?itag=22&f=" + a), "hd"},
                                       {m_server.Url("/media?itag=5&f=" + b), "small"}}),
                            "text/html");
        });
        m_server->Get("/media", [this](const httplib::Request& req, auto& res) {
            res.set_content(ReadFile(m_folder / req.get_param_value("f")), "video/mp4");
        });
        m_server.Start();
    }
    void TearDown() override {
        m_window.kill();
        m_window.waitForFinished();
        m_server.Stop();
    }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_folder.Path().string()));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(m_folder.Path().string()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString((m_folder / "data").string()));
        env.insert(QStringLiteral("VELTRIN_TEST_ADVERTISEMENT_PAGE"), QString::fromStdString(m_server.Url("/ad")));
        return env;
    }

    Result Run(const QStringList& args, const QString& program = QStringLiteral(VELTRIN_EXECUTABLE),
               const fs::path& folder = {}, Out out = Out::Read) {
        int gone[2] = {-1, -1};
        if ((out == Out::Gone || out == Out::AllGone) && ::pipe2(gone, O_CLOEXEC) == 0) {
            ::close(gone[0]); // the reader goes before the program writes
        }
        QProcess process;
        process.setWorkingDirectory(QString::fromStdString(folder.string()));
        process.setProcessEnvironment(Environment());
        process.setChildProcessModifier([&] {
            if (out == Out::Closed) {
                ::close(1);
            }
            if (gone[1] >= 0) {
                ::dup2(gone[1], 1);
                ::dup2(gone[1], out == Out::AllGone ? 2 : 1);
            }
        });
        process.start(program, args);
        process.closeWriteChannel();
        if (gone[1] >= 0) {
            ::close(gone[1]);
        }
        EXPECT_TRUE(process.waitForFinished(30000)) << args.join(QLatin1Char(' ')).toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    static bool WaitFor(const std::function<bool()>& done) { return WaitUntil(done, 20s, 20ms); }

    QString Url(const std::string& path) const { return QString::fromStdString(m_server.Url(path)); }

    // Arguments split at spaces, with "@/path" standing for that path of the test server.
    QStringList Args(const char* line) const {
        QStringList args = QString::fromUtf8(line).split(QLatin1Char(' '));
        for (QString& arg : args) {
            if (arg.startsWith(QLatin1Char('@'))) {
                arg = Url(arg.mid(1).toStdString());
            }
        }
        return args;
    }

    std::string m_video = std::string(300000, 'v') + "end";
    std::atomic<int> m_pagesServed{0};
    LoopbackServer<> m_server;
    TemporaryFolder m_folder{"veltrin-programme-\u00E9\u7A0B"}; // a user's folder need not be ASCII
    QProcess m_window;                                          // a window the test started
};

TEST_F(Program, CommandLinePrintsLinksOrSavesAStreamAndSaysWhyWhenItCannot) {
    const fs::path here = m_folder / "here"; // the current folder
    fs::create_directories(here / "chosen");
    const auto saved = [&](const fs::path& name) { return (here / name).string() + "\n"; };
    const std::string links = "720P\thttp://v.test/a?itag=22&sig=\"x\"\n240p\thttp://v.test/b?itag=5\n";
    const struct {
        const char* args; // split at spaces; "@/path" is a path of the test server
        int status;
        std::string out;
        std::string errHas; // empty: nothing on standard error
        Out output = Out::Read;
    } cases[] = {
        {"--links @/watch", 0, links, ""},
        {"--links --json @/watch", 0,
         "[{\"quality\": \"720P\", \"url\": \"http://v.test/a?itag=22&sig=\\\"x\\\"\"},\n"
         " {\"quality\": \"240p\", \"url\": \"http://v.test/b?itag=5\"}]\n",
         ""},
        {"--links @/unknown", 1, "", "none of the known qualities"},
        {"--links @/plain", 2, "", "no player parameters"},
        {"--links http://127.0.0.1:1/watch", 2, "", "refused"},
        {"--links file:///etc/passwd", 2, "", "only http and https"},
        {"--link @/watch", 64, "", "unknown option --link"},
        {"--batch list.txt", 64, "", "--batch goes with --download"},
        {"--download 720p --batch chosen", 66, "", "cannot read the list of links chosen: Is a directory"},
        {"--download 720p @/streams", 0, saved("AC_DC_ Live_ (720P).mp4"), ""},
        {"--download 720P @/streams", 0, saved("AC_DC_ Live_ (720P) (2).mp4"), ""}, // never replacing
        {"--download=720p --output=chosen @/streams", 0, saved("chosen/AC_DC_ Live_ (720P).mp4"), ""},
        {"--output chosen/mine.bin --download 720p @/streams", 0, saved("chosen/mine.bin"), ""},
        {"--download 1080p @/streams", 1, "", "no 1080P stream"},
        {"--download 720p --output gone/ @/streams", 3, "", "the folder cannot be written: No such file or directory"},
        {"--download 720p --output gone @/streams @/watch", 64, "", "--output names a folder, and gone is not one"},
        {"--download 240P @/streams", 3, "", "the server answered 404"},
        {"--download 480p @/expiring", 0, saved("e1 (480P).flv"),
         "410; the watch page gave the stream's address again"},
        {"--download 720p --output ./chosen/.. @/streams", 0, saved("AC_DC_ Live_ (720P) (3).mp4"), ""}, // clean
        // What takes the stream as it comes gets it whole, with nothing made beside it.
        {"--download 720p --output - @/streams", 0, m_video, ""},
        {"--download 720p --output /dev/null @/streams", 0, "/dev/null\n", ""},
        {"--download 720p --output piped/stream @/streams", 0, "piped/stream\n", ""},
        {"--download 480p --output /dev/null @/expiring", 0, "/dev/null\n", "the watch page gave the stream's address"},
        {"--download 240p --output /dev/null @/streams", 3, "", "the server answered 404"},
        // A reader that has gone (| head, | true) ends the links quietly and stops no download
        // half-way; a saved file's path that cannot be printed is no success.
        {"--links @/watch", 0, "", "", Out::Gone},
        {"--download mobile @/streams", 74, "", "but that cannot be printed: Broken pipe", Out::Gone},
        {"--download mobile @/streams", 74, "", "", Out::AllGone},
        {"--download 720p @/streams", 74, "", "but that cannot be printed: Bad file descriptor", Out::Closed},
    };
    // A named pipe takes the stream whole. The test holds it open too, so that its reader ends
    // however the program does.
    const fs::path fifo = here / "piped" / "stream";
    fs::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int held = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    auto piped = std::async(std::launch::async, [&fifo] { return ReadFile(fifo); });
    const auto regularFilesInDev = [] { // a device's neighbours
        return std::ranges::count_if(fs::directory_iterator("/dev"), [](const auto& f) { return f.is_regular_file(); });
    };
    const auto devBefore = regularFilesInDev();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result result = Run(Args(c.args), QStringLiteral(VELTRIN_EXECUTABLE), here, c.output);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err.empty(), c.errHas.empty()) << result.err;
        EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
    EXPECT_EQ(regularFilesInDev(), devBefore);
    ::close(held);
    EXPECT_TRUE(piped.get() == m_video) << "the stream whole through the pipe";
    EXPECT_EQ(FileNames(fifo.parent_path()), std::set<std::string>{"stream"});
    EXPECT_EQ(FileNames(here),
              (std::set<std::string>{"AC_DC_ Live_ (720P).mp4", "AC_DC_ Live_ (720P) (2).mp4", "e1 (480P).flv",
                                     "AC_DC_ Live_ (720P) (3).mp4", "AC_DC_ Live_ (720P) (4).mp4",
                                     "AC_DC_ Live_ (Mobile).3gp", "AC_DC_ Live_ (Mobile) (2).3gp", "chosen", "piped"}));
    EXPECT_EQ(FileNames(here / "chosen"), (std::set<std::string>{"AC_DC_ Live_ (720P).mp4", "mine.bin"}));
    for (const fs::path& file : fs::recursive_directory_iterator(here)) {
        EXPECT_TRUE(fs::is_directory(file) || fs::is_fifo(file) || ReadFile(file) == m_video) << file; // whole
    }
}

// However a download stops, the same command goes on from there; a second process meanwhile
// takes the next name.
TEST_F(Program, StoppedDownloadIsContinuedByTheSameCommand) {
    const QStringList download = {QStringLiteral("--download"), QStringLiteral("mobile"), Url("/streams")};
    // 0: a hang-up that the starter ignores, as nohup does, is no interruption.
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, {SIGTERM, 130}, {SIGHUP, 130}, {SIGKILL, -1}, {0, 0}}) {
        SCOPED_TRACE(signal);
        const fs::path here = m_folder / std::to_string(signal);
        fs::create_directories(here);
        QProcess process;
        process.setProcessEnvironment(Environment());
        process.setChildProcessModifier([signal] { std::signal(SIGHUP, signal == 0 ? SIG_IGN : SIG_DFL); });
        process.setWorkingDirectory(QString::fromStdString(here.string()));
        process.start(QStringLiteral(VELTRIN_EXECUTABLE), download);
        const fs::path part = here / "AC_DC_ Live_ (Mobile).3gp.part";
        ASSERT_TRUE(WaitFor([&] { return fs::exists(part) && fs::file_size(part) > 0; }));
        QProcess second; // while the first runs, a second takes the next name
        if (signal == SIGINT) {
            second.setProcessEnvironment(Environment());
            second.setWorkingDirectory(QString::fromStdString(here.string()));
            second.start(QStringLiteral(VELTRIN_EXECUTABLE), download);
            ASSERT_TRUE(WaitFor([&] { return fs::exists(here / "AC_DC_ Live_ (Mobile) (2).3gp.part"); }));
        }
        ::kill(static_cast<pid_t>(process.processId()), signal == 0 ? SIGHUP : signal);
        ASSERT_TRUE(process.waitForFinished(10000));
        const std::string err = process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode(), status);
        EXPECT_FALSE(fs::exists(here / "AC_DC_ Live_ (Mobile).3gp") && signal != 0) << "nothing looks complete";
        EXPECT_TRUE(signal == 0 || signal == SIGKILL || err.ends_with("; the same command goes on from there\n"))
            << err;
        EXPECT_TRUE(signal != SIGINT || (second.waitForFinished(10000) && second.exitCode() == 0));
        const Result again = Run(download, QStringLiteral(VELTRIN_EXECUTABLE), here);
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_TRUE(signal == 0 || signal == SIGKILL || again.err.starts_with("Veltrin: continuing")) << again.err;
        EXPECT_EQ(ReadFile(here / "AC_DC_ Live_ (Mobile).3gp"), m_video);
        EXPECT_EQ(FileNames(here).size(), signal == SIGINT || signal == 0 ? 2u : 1u) << "nothing left over";
    }
}

// The sound alone: copied, or made into MP3, and the video gone; a video without sound kept as a
// video; a page served in place of a video kept for the next try.
TEST_F(Program, DownloadKeepsTheSoundAloneOrSaysWhyNot) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the ffmpeg program, which makes the test media, is not installed";
    }
    const std::string make = "cd '" + m_folder.Path().string() + "' && ffmpeg -v error -nostdin -y -f lavfi " +
                             "-i testsrc=size=176x144:rate=15:duration=2 ";
    ASSERT_EQ(std::system((make + "-f lavfi -i sine=duration=2 -c:v mpeg4 -c:a aac talk.mp4").c_str()), 0);
    ASSERT_EQ(std::system((make + "-c:v flv1 silent.flv").c_str()), 0);
    std::ofstream(m_folder / "error.html") << "<!DOCTYPE html><html><body>Gone</body></html>";
    const fs::path here = m_folder / "here";
    fs::create_directories(here);
    const struct {
        const char* args;
        int status;
        std::string out;
        std::string errHas;
    } cases[] = {
        {"--download best --audio @/sound?a=talk.mp4&b=silent.flv", 0, "Slow walk.m4a", "keeping the sound"},
        {"--download 720p --audio @/sound?a=talk.mp4&b=silent.flv", 0, "Slow walk (2).m4a", "keeping the sound"},
        {"--download 720p --audio=mp3 @/sound?a=talk.mp4&b=silent.flv", 0, "Slow walk.mp3", "keeping the sound"},
        {"--download best --audio @/sound?a=silent.flv&b=talk.mp4", 3, "",
         "This video has no sound to keep; the video is kept as "},
        {"--download best --audio @/sound?a=error.html&b=error.html", 3, "", "not a video file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result result = Run(Args(c.args), QStringLiteral(VELTRIN_EXECUTABLE), here);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out.empty() ? "" : (here / c.out).string() + "\n");
        EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
    EXPECT_EQ(FileNames(here),
              (std::set<std::string>{"Slow walk.m4a", "Slow walk (2).m4a", "Slow walk.mp3", "Slow walk (720P).mp4",
                                     "Slow walk (720P) (2).mp4.part", "Slow walk (720P) (2).mp4.part.resume"}));
}

// A list downloads what it can, names what failed, and a second run skips what the downloads
// list holds as finished.
TEST_F(Program, ListOfLinksDownloadsEachVideoOnceAndSummarises) {
    const fs::path here = m_folder / "here";
    fs::create_directories(here);
    std::ofstream(m_folder / "one") << "first video";
    std::ofstream(m_folder / "two") << "second video";
    std::ofstream(here / "list.txt") << "# to watch\n" + Url("/sound?a=one&b=x").toStdString() + "\n\n  " +
                                            Url("/sound?a=two&b=x").toStdString() + "\r\n" +
                                            Url("/plain").toStdString() + "\n" +
                                            Url("/sound?a=one&b=x#again").toStdString() + "\n";
    const std::string bad = "failed: " + Url("/plain").toStdString() + " (line 5): the page at ";
    const struct {
        const char* args;
        std::string outHas;
        std::string errHas;
    } runs[] = {
        {"--download 720p --batch list.txt", (here / "Slow walk (720P).mp4").string() + "\n",
         "2 of 3 finished, 1 failed\n"},
        {"--download 720p --jobs 1 --json --batch list.txt", "\"state\": \"skipped\"",
         "2 of 3 finished (2 downloaded before, skipped), 1 failed\n"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args);
        const Result result = Run(Args(run.args), QStringLiteral(VELTRIN_EXECUTABLE), here);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.out.find(run.outHas), std::string::npos) << result.out;
        EXPECT_EQ(std::ranges::count(result.out, '\n'), 2 + (result.out.starts_with('{') ? 1 : 0)) << result.out;
        EXPECT_NE(result.err.find(run.errHas), std::string::npos) << result.err;
        EXPECT_NE(result.err.rfind(bad), std::string::npos) << result.err;
        EXPECT_EQ(FileNames(here),
                  (std::set<std::string>{"list.txt", "Slow walk (720P).mp4", "Slow walk (720P) (2).mp4"}));
    }
    EXPECT_EQ((std::set{ReadFile(here / "Slow walk (720P).mp4"), ReadFile(here / "Slow walk (720P) (2).mp4")}),
              (std::set<std::string>{"first video", "second video"}));

    // Ctrl+C keeps the part, and the same command goes on from it.
    const QStringList stopped = Args("--download mobile --output stop @/streams @/streams");
    fs::create_directories(here / "stop");
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.setWorkingDirectory(QString::fromStdString(here.string()));
    process.start(QStringLiteral(VELTRIN_EXECUTABLE), stopped);
    const fs::path part = here / "stop" / "AC_DC_ Live_ (Mobile).3gp.part";
    ASSERT_TRUE(WaitFor([&] { return fs::exists(part) && fs::file_size(part) > 0; }));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(process.readAllStandardError().endsWith("1 stopped; the same command goes on from there\n"));
    const Result again = Run(stopped, QStringLiteral(VELTRIN_EXECUTABLE), here);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("Veltrin: continuing"), std::string::npos) << again.err;
    EXPECT_EQ(ReadFile(here / "stop" / "AC_DC_ Live_ (Mobile).3gp"), m_video);
}

TEST_F(Program, LinkHandedToTheRunningWindowIsRun) {
    // A copy of the program in a folder of its own, where its results file goes.
    const fs::path folder = m_folder / "program", built = fs::path(VELTRIN_EXECUTABLE).parent_path();
    fs::create_directories(folder / "modules");
    for (const char* name : {"Veltrin", "modules/veltrin-webview.so", "dl.jpg"}) {
        fs::copy_file(built / name, folder / name, fs::copy_options::overwrite_existing);
    }
    const QString program = QString::fromStdString((folder / "Veltrin").string());
    const fs::path results = folder / "temp.html";
    // No window runs: the link starts one, which runs it, on the platform Qt's own option names.
    QProcessEnvironment env = Environment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    m_window.setProcessEnvironment(env);
    m_window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_window.start(program, {QStringLiteral("-platform"), QStringLiteral("offscreen"), Url("/watch")});
    ASSERT_TRUE(m_window.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return fs::exists(results); })) << "the first start ran its link";
    EXPECT_NE(ReadFile(results).find("720P Version"), std::string::npos);
    fs::remove(results);

    const Result second = Run({Url("/watch")}, program);
    EXPECT_EQ(second.status, 0) << second.err;
    ASSERT_TRUE(WaitFor([&] { return fs::exists(results); })) << "the running window ran the handed link";
    EXPECT_EQ(m_window.state(), QProcess::Running) << "the second start only handed its link on";
    // One window a display: a start without a link only brings it to the front, a hidden one
    // changes nothing there.
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("--hidden")}}) {
        const Result again = Run(args, program);
        EXPECT_EQ(again.status, 0) << again.err;
    }
    // What the window would refuse starts no window of its own either.
    const Result third = Run({Url("/watch#") + QString(70000, QLatin1Char('x'))}, program);
    EXPECT_EQ(third.status, 64);
    EXPECT_NE(third.err.find("longer than 64 KB"), std::string::npos) << third.err;
}

} // namespace
} // namespace veltrin::testing
