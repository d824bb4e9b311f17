// The Go command from end to end on loopback, beside the two fetches it makes, in one run; the
// window's start-up until it is shown with "about:blank" loaded; and the downloads list, empty and
// with 10,000 finished rows: the window's start, the downloads window's opening and scrolling, and
// the look-up before a stream is downloaded again. The start and the opening also with a list of the
// first layout, which they bring up to this build's. A list of 1,000 links: its dialog's opening and
// the window's thread while its pages come.
#include "library/download_store.h"
#include "library/downloads.h"
#include "net/http_request.h"
#include "net/page_fetch.h"
#include "stream_map.h"
#include "support/loopback_server.h"
#include "window/controls.h"
#include "window/downloads_window.h"
#include "window/go_fetcher.h"
#include "window/link_list_dialog.h"
#include "window/main_window.h"
#include "window/web_browser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A watch page of the given size. Shaped as a real one: page mark-up around a player whose
// parameters hold a stream map of 24 entries. Or, for the worst case, all player parameters:
// the decoder, the scan and the results page get the most work a page of that size can give.
std::string WatchPage(std::size_t size, bool allParameters) {
    const std::string player = "<script>var swf = {";
    const std::string end = "};</script>";
    std::string page = "<html><head><title>watch</title></head><body>";
    if (allParameters) {
        return page + player + veltrin::bench::ParameterWindow(size - page.size() - 64) + end + "</body></html>";
    }
    const std::string markup = "<div class=\"comment\"><a href=\"/user/someone\">someone</a> great video, thanks "
                               "for sharing it with all of us</div>\n";
    while (page.size() < size / 2) {
        page += markup;
    }
    page += player + veltrin::bench::ParameterWindow(24 * 600) + end;
    while (page.size() < size - 16) {
        page += markup;
    }
    return page + "</body></html>";
}

veltrin::testing::LoopbackServer<>& Server() {
    static auto* server = [] {
        auto* s = new veltrin::testing::LoopbackServer<>();
        // A reply's head and body go out in two writes; without this the second waits for the
        // delayed acknowledgement of the first, a test-server artifact of tens of milliseconds.
        (*s)->set_tcp_nodelay(true);
        for (const std::size_t size : {std::size_t{100} << 10, std::size_t{5} << 20, std::size_t{8} << 20}) {
            for (const bool all : {false, true}) {
                const std::string path = "/watch/" + std::to_string(size) + (all ? "/all" : "");
                (*s)->Get(path, [page = WatchPage(size, all)](const auto&, auto& res) {
                    res.set_content(page, "text/html; charset=utf-8");
                });
            }
        }
        (*s)->Get("/ad", [](const auto&, auto& res) { res.set_content("<html>ad</html>", "text/html"); });
        // A small page of each video of a list, named by its "v".
        (*s)->Get("/watch", [](const httplib::Request& req, auto& res) {
            const std::string v = req.get_param_value("v");
            res.set_content("<html><script>var p = {flashvars: \"video_id=" + v + "&title=" + v +
                                "&map=url%3Dhttp%3A%2F%2F127.0.0.1%2Fs%3Fitag%253D22%26quality%3Dhd720\"};</script>",
                            "text/html");
        });
        (*s)->Get("/stream", [](const auto&, auto& res) {
            static const std::string chunk(1 << 20, 'v');
            res.set_content_provider(std::size_t{200} << 20, "video/mp4",
                                     [](size_t, size_t length, httplib::DataSink& sink) {
                                         return sink.write(chunk.data(), std::min(length, chunk.size()));
                                     });
        });
        s->Start();
        return s;
    }();
    return *server;
}

fs::path Folder() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/veltrin-bench-XXXXXX";
        return fs::path(mkdtemp(pattern));
    }();
    return folder;
}

void BM_GoCommand(benchmark::State& state) {
    veltrin::MainWindow window({Server().Url("/ad"), Folder(), Folder() / "fallback", Folder() / "list.sqlite"});
    window.Start();
    const std::string path = "/watch/" + std::to_string(state.range(0)) + (state.range(1) ? "/all" : "");
    window.LinkBox()->setText(QString::fromStdString(Server().Url(path)));
    // Only the Go's own answer is delivered: the web view's loading of each page is not the Go's.
    auto* fetcher = window.findChild<veltrin::GoFetcher*>();
    for (auto _ : state) {
        QTest::keyClick(window.LinkBox(), Qt::Key_Return); // from Return to the results file
        fetcher->WaitForAnswers();
        QCoreApplication::sendPostedEvents(fetcher, QEvent::MetaCall);
        if (window.GoRunning()) {
            state.SkipWithError("the Go did not end");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
// Second argument: 1 for a page of player parameters only.
BENCHMARK(BM_GoCommand)->ArgsProduct({{100 << 10, 5 << 20, 8 << 20}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_TwoFetches(benchmark::State& state) {
    auto request = veltrin::CreateConfiguredRequest();
    const std::string watch = Server().Url("/watch/" + std::to_string(state.range(0)) + (state.range(1) ? "/all" : ""));
    const std::string ad = Server().Url("/ad");
    for (auto _ : state) {
        benchmark::DoNotOptimize(veltrin::FetchPageText(*request, watch));
        benchmark::DoNotOptimize(veltrin::FetchPageText(*request, ad));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_TwoFetches)->ArgsProduct({{100 << 10, 8 << 20}, {0, 1}})->Unit(benchmark::kMillisecond);

// A list of that many finished downloads, made once. Of the first layout (the same table, without
// a version): a fresh copy for each use, as opening it brings it up.
QString ListOf(int rows, bool firstLayout = false) {
    const fs::path path = Folder() / ("list-" + std::to_string(rows) + ".sqlite");
    if (!fs::exists(path)) {
        auto opened = veltrin::DownloadStore::Open(QString::fromStdString(path.string()));
        veltrin::StoredDownload row;
        row.page = "http://w.test/watch?v=some-video";
        row.title = "Some video with a title of an ordinary length";
        row.quality = "720P";
        row.state = veltrin::DownloadState::Finished;
        row.received = row.total = 123456789;
        for (int i = 0; i < rows; ++i) {
            row.stream = {"video" + std::to_string(i), 22};
            row.address = "http://v.test/videoplayback?id=" + std::to_string(i) + "&itag=22";
            row.target = (Folder() / ("Some video " + std::to_string(i) + " (720P).mp4")).string();
            opened.store->Add(row);
        }
    }
    if (!firstLayout) {
        return QString::fromStdString(path.string());
    }
    const fs::path first = Folder() / ("first-layout-" + std::to_string(rows) + ".sqlite");
    if (!fs::exists(first)) {
        fs::copy_file(path, first);
        // The layout's version is SQLite's user_version: four bytes at offset 60 of the header.
        std::fstream file(first, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(60);
        file.write("\0\0\0\0", 4);
    }
    const fs::path copy = Folder() / "first-layout-copy.sqlite";
    for (const char* journal : {"-wal", "-shm"}) {
        fs::remove(copy.string() + journal);
    }
    fs::copy_file(first, copy, fs::copy_options::overwrite_existing);
    // On the disk, as a user's list is: else the checkpoint at its close writes the whole copy out.
    const int fd = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    ::fsync(fd);
    ::close(fd);
    return QString::fromStdString(copy.string());
}

// Window made, loaded and shown, with the empty page in the view; its downloads list has rows.
void StartUp(const QString& list) {
    veltrin::MainWindow::Settings settings = veltrin::MainWindow::DefaultSettings();
    settings.downloadList = list.toStdString();
    veltrin::MainWindow window(settings);
    QSignalSpy loaded(window.ResultsView(), &veltrin::WebBrowser::loadFinished);
    window.Start();
    if (!QTest::qWaitForWindowExposed(&window) || (loaded.isEmpty() && !loaded.wait(10000))) {
        throw std::runtime_error("the window did not come up");
    }
}

// A list for each run of the benchmark: rows, and 1 for the first layout.
QString ListFor(benchmark::State& state) {
    state.PauseTiming();
    const QString list = ListOf(static_cast<int>(state.range(0)), state.range(1) != 0);
    state.ResumeTiming();
    return list;
}

// The first window of a process also starts the web engine, as the program's one window does.
void BM_StartUpFirstWindow(benchmark::State& state) {
    for (auto _ : state) {
        StartUp(ListFor(state));
    }
}
BENCHMARK(BM_StartUpFirstWindow)->Args({0, 0})->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_StartUpLaterWindow(benchmark::State& state) {
    for (auto _ : state) {
        StartUp(ListFor(state));
    }
}
BENCHMARK(BM_StartUpLaterWindow)
    ->Args({0, 0})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// From opening the list to the downloads window shown and painted.
void BM_DownloadsWindowOpens(benchmark::State& state) {
    for (auto _ : state) {
        const QString list = ListFor(state);
        veltrin::Downloads downloads;
        downloads.OpenList(list);
        veltrin::DownloadsWindow window(&downloads);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            throw std::runtime_error("the downloads window did not come up");
        }
        window.View()->viewport()->repaint();
        if (window.View()->model()->rowCount() != state.range(0)) {
            throw std::runtime_error("the downloads window does not list every row");
        }
    }
}
BENCHMARK(BM_DownloadsWindowOpens)->Args({0, 0})->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond);

// One page down and painted, through the whole list and back.
void BM_DownloadsWindowScrolls(benchmark::State& state) {
    veltrin::Downloads downloads;
    downloads.OpenList(ListOf(static_cast<int>(state.range(0))));
    veltrin::DownloadsWindow window(&downloads);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        throw std::runtime_error("the downloads window did not come up");
    }
    QScrollBar* bar = window.View()->verticalScrollBar();
    int step = bar->pageStep();
    for (auto _ : state) {
        if (bar->value() + step > bar->maximum() || bar->value() + step < 0) {
            step = -step;
        }
        bar->setValue(bar->value() + step);
        window.View()->viewport()->repaint();
    }
}
BENCHMARK(BM_DownloadsWindowScrolls)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The question before a stream is downloaded again: one look-up by the stream's index.
void BM_DownloadedBefore(benchmark::State& state) {
    auto opened = veltrin::DownloadStore::Open(ListOf(static_cast<int>(state.range(0))));
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(opened.store->LastFinished({"video" + std::to_string(i++ % 10000), 22}));
    }
}
BENCHMARK(BM_DownloadedBefore)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);

// How late, at worst, a 10 ms timer of the window's thread fires while the object lives.
class Lateness {
public:
    Lateness() {
        m_tick.setInterval(10);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, static_cast<double>(now - m_last - 10));
            m_last = now;
        });
        m_clock.start();
        m_tick.start();
    }
    double Longest() const { return m_longest; }
    qint64 Elapsed() const { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_last = 0;
    double m_longest = 0;
};

// A list of that many links typed into the box: from Enter to its dialog shown with a row each,
// and how late a 10 ms timer of the window's thread fires while every page comes.
void BM_ListOfLinks(benchmark::State& state) {
    veltrin::MainWindow window({Server().Url("/ad"), Folder(), Folder() / "fallback", Folder() / "list.sqlite"});
    window.Start();
    QString list;
    for (int i = 0; i < state.range(0); ++i) {
        list += QString::fromStdString(Server().Url("/watch?v=video" + std::to_string(i))) + QLatin1Char('\n');
    }
    double longest = 0;
    for (auto _ : state) {
        window.LinkBox()->setText(list);
        QTest::keyClick(window.LinkBox(), Qt::Key_Return);
        auto* dialog = window.ListDialog();
        if (!dialog || dialog->Table()->rowCount() != state.range(0)) {
            state.SkipWithError("the list has not a row a link");
            break;
        }
        state.PauseTiming();
        const Lateness lateness;
        while (dialog->Fetching()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        longest = std::max(longest, lateness.Longest());
        state.counters["pages_s"] =
            static_cast<double>(state.range(0)) * 1000.0 / static_cast<double>(lateness.Elapsed());
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.counters["longest_delay_ms"] = longest;
}
BENCHMARK(BM_ListOfLinks)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// How late a 10 ms timer of the window's thread fires while a fast download runs.
void BM_EventLoopDuringDownload(benchmark::State& state) {
    double longest = 0;
    const std::string url = Server().Url("/stream");
    for (auto _ : state) {
        veltrin::Downloads downloads;
        bool done = false;
        QObject::connect(&downloads, &veltrin::Downloads::Changed, [&](const veltrin::DownloadInfo& info) {
            done =
                done || info.state == veltrin::DownloadState::Finished || info.state == veltrin::DownloadState::Failed;
        });
        const Lateness lateness;
        downloads.Add(url, {Folder(), "stream", "mp4"}, {});
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        longest = std::max(longest, lateness.Longest());
        fs::remove(Folder() / "stream.mp4");
    }
    state.counters["longest_delay_ms"] = longest;
}
BENCHMARK(BM_EventLoopDuringDownload)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    veltrin::WebBrowser::SetModulePath(QStringLiteral(VELTRIN_WEBVIEW_MODULE));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(Folder());
    return 0;
}
