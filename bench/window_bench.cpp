// The Go command from end to end on loopback, beside the two fetches it makes, in one run; and the
// window's start-up until it is shown with "about:blank" loaded.
#include "net/http_request.h"
#include "net/mod_net.h"
#include "stream_map.h"
#include "support/loopback_server.h"
#include "window/controls.h"
#include "window/downloads.h"
#include "window/frm_main.h"
#include "window/go_fetcher.h"
#include "window/web_browser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <thread>

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
        for (const std::size_t size : {std::size_t{100} << 10, std::size_t{8} << 20}) {
            for (const bool all : {false, true}) {
                const std::string path = "/watch/" + std::to_string(size) + (all ? "/all" : "");
                (*s)->Get(path, [page = WatchPage(size, all)](const auto&, auto& res) {
                    res.set_content(page, "text/html; charset=utf-8");
                });
            }
        }
        (*s)->Get("/ad", [](const auto&, auto& res) { res.set_content("<html>ad</html>", "text/html"); });
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
    veltrin::frmMain window({Server().Url("/ad"), Folder(), Folder() / "fallback"});
    window.Form_Load();
    const std::string path = "/watch/" + std::to_string(state.range(0)) + (state.range(1) ? "/all" : "");
    window.txtURL()->setText(QString::fromStdString(Server().Url(path)));
    // Only the Go's own answer is delivered: the web view's loading of each page is not the Go's.
    auto* fetcher = window.findChild<veltrin::GoFetcher*>();
    for (auto _ : state) {
        window.cmdGo_Click();
        while (window.GoRunning()) {
            QCoreApplication::sendPostedEvents(fetcher, QEvent::MetaCall);
            std::this_thread::sleep_for(std::chrono::microseconds(20)); // the server's thread needs the core
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
// Second argument: 1 for a page of player parameters only.
BENCHMARK(BM_GoCommand)->ArgsProduct({{100 << 10, 8 << 20}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_TwoFetches(benchmark::State& state) {
    auto request = modNet::CreateConfiguredRequest();
    const std::string watch = Server().Url("/watch/" + std::to_string(state.range(0)) + (state.range(1) ? "/all" : ""));
    const std::string ad = Server().Url("/ad");
    for (auto _ : state) {
        benchmark::DoNotOptimize(modNet::GetPage(request.get(), watch));
        benchmark::DoNotOptimize(modNet::GetPage(request.get(), ad));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_TwoFetches)->ArgsProduct({{100 << 10, 8 << 20}, {0, 1}})->Unit(benchmark::kMillisecond);

// Window made, loaded and shown, with the empty page in the view.
void StartUp() {
    veltrin::frmMain window;
    QSignalSpy loaded(window.wb1(), &veltrin::WebBrowser::loadFinished);
    window.Form_Load();
    if (!QTest::qWaitForWindowExposed(&window) || (loaded.isEmpty() && !loaded.wait(10000))) {
        throw std::runtime_error("the window did not come up");
    }
}

// The first window of a process also starts the web engine, as the program's one window does.
void BM_StartUpFirstWindow(benchmark::State& state) {
    for (auto _ : state) {
        StartUp();
    }
}
BENCHMARK(BM_StartUpFirstWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_StartUpLaterWindow(benchmark::State& state) {
    for (auto _ : state) {
        StartUp();
    }
}
BENCHMARK(BM_StartUpLaterWindow)->Iterations(5)->Unit(benchmark::kMillisecond);

// How late a 10 ms timer of the window's thread fires while a fast download runs.
void BM_EventLoopDuringDownload(benchmark::State& state) {
    double longest = 0;
    const std::string url = Server().Url("/stream");
    for (auto _ : state) {
        veltrin::Downloads downloads;
        QElapsedTimer clock;
        QTimer tick;
        tick.setInterval(10);
        qint64 last = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, static_cast<double>(now - last - 10));
            last = now;
        });
        bool done = false;
        QObject::connect(&downloads, &veltrin::Downloads::Changed, [&](const veltrin::DownloadInfo& info) {
            done =
                done || info.state == veltrin::DownloadState::Finished || info.state == veltrin::DownloadState::Failed;
        });
        clock.start();
        tick.start();
        downloads.Add(url, {Folder(), "stream", "mp4"});
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
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
