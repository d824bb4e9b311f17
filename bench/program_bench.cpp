// The program as a whole process, side by side with curl fetching the same page: the command
// line's start-up, fetch and extraction, and a link handed to a running window.
#include "stream_map.h"
#include "support/loopback_server.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

veltrin::testing::LoopbackServer<>& Server() {
    static auto* server = [] {
        auto* s = new veltrin::testing::LoopbackServer<>();
        (*s)->set_tcp_nodelay(true);
        // A page of 100 KB shaped like a real one: mark-up around a player with 24 streams.
        std::string page = "<html><body>";
        const std::string markup = "<div class=\"comment\">a comment on the video, thanks for sharing it</div>\n";
        while (page.size() < 50 << 10) {
            page += markup;
        }
        page += "<script>var p = {" + veltrin::bench::ParameterWindow(24 * 600) + "};</script>";
        while (page.size() < 100 << 10) {
            page += markup;
        }
        (*s)->Get("/watch", [page](const auto&, auto& res) { res.set_content(page, "text/html"); });
        (*s)->Get("/ad", [](const auto&, auto& res) { res.set_content("ad", "text/html"); });
        // Streams of any size, made up as they are sent: /stream/<bytes>.
        (*s)->Get(R"(/stream/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            static const std::string chunk(1 << 20, 'v');
            res.set_content_provider(std::stoull(req.matches[1]), "video/mp4",
                                     [](size_t, size_t length, httplib::DataSink& sink) {
                                         return sink.write(chunk.data(), std::min(length, chunk.size()));
                                     });
        });
        (*s)->Get(R"(/watch-stream/(\d+))", [s](const httplib::Request& req, httplib::Response& res) {
            res.set_content("flashvars url=" + s->Url("/stream/" + std::string(req.matches[1])) +
                                "?itag=22&quality=hd</script>",
                            "text/html");
        });
        s->Start();
        return s;
    }();
    return *server;
}

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + args.front());
    }
    return pid;
}

int RunToEnd(const std::vector<std::string>& args, long* peakKilobytes = nullptr) {
    int status = 0;
    rusage usage{};
    wait4(Spawn(args), &status, 0, &usage);
    if (peakKilobytes) {
        *peakKilobytes = usage.ru_maxrss;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path DownloadFolder() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/veltrin-bench-download-XXXXXX";
        return fs::path(mkdtemp(pattern));
    }();
    return folder;
}

// A stream of the given size saved by the command line, against curl saving the same body.
void BM_DownloadCommand(benchmark::State& state) {
    const std::string url = Server().Url("/watch-stream/" + std::to_string(state.range(0)));
    long peak = 0;
    for (auto _ : state) {
        if (RunToEnd({VELTRIN_EXECUTABLE, "--download", "720p", url, "--output", DownloadFolder().string() + "/"},
                     &peak) != 0) {
            state.SkipWithError("Veltrin --download failed");
            break;
        }
        state.PauseTiming();
        fs::remove_all(DownloadFolder());
        fs::create_directories(DownloadFolder());
        state.ResumeTiming();
    }
    long idle = 0;
    RunToEnd({VELTRIN_EXECUTABLE, "--version"}, &idle);
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024;
    state.counters["added_MiB"] = static_cast<double>(peak - idle) / 1024;
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DownloadCommand)
    ->Arg(200 << 20)
    ->Arg(int64_t{1} << 30)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_CurlDownload(benchmark::State& state) {
    const std::string url = Server().Url("/stream/" + std::to_string(state.range(0)));
    const std::string file = (DownloadFolder() / "curl.mp4").string();
    for (auto _ : state) {
        RunToEnd({"/usr/bin/curl", "-s", "-o", file, url});
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CurlDownload)->Arg(200 << 20)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LinksCommand(benchmark::State& state) {
    const std::string url = Server().Url("/watch");
    for (auto _ : state) {
        if (RunToEnd({VELTRIN_EXECUTABLE, "--links", url}) != 0) {
            state.SkipWithError("Veltrin --links failed");
            break;
        }
    }
}
BENCHMARK(BM_LinksCommand)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_CurlFetch(benchmark::State& state) {
    if (access("/usr/bin/curl", X_OK) != 0) {
        state.SkipWithError("curl is not installed");
        return;
    }
    const std::string url = Server().Url("/watch");
    for (auto _ : state) {
        RunToEnd({"/usr/bin/curl", "-s", "-o", "/dev/null", url});
    }
}
BENCHMARK(BM_CurlFetch)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// From the second start to the results file written by the window that runs already.
void BM_HandOff(benchmark::State& state) {
    char pattern[] = "/tmp/veltrin-bench-handoff-XXXXXX";
    const fs::path folder = mkdtemp(pattern);
    const fs::path built = fs::path(VELTRIN_EXECUTABLE).parent_path();
    fs::create_directories(folder / "modules");
    for (const char* name : {"Veltrin", "modules/veltrin-webview.so", "dl.jpg"}) {
        fs::copy_file(built / name, folder / name);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("VELTRIN_TEST_ADVERTISEMENT_PAGE", Server().Url("/ad").c_str(), 1);
    const std::string program = (folder / "Veltrin").string();
    const fs::path results = folder / "temp.html";
    const pid_t window = Spawn({program, Server().Url("/watch")});
    while (!fs::exists(results)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto _ : state) {
        fs::remove(results);
        RunToEnd({program, Server().Url("/watch")});
        while (!fs::exists(results)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    kill(window, SIGTERM);
    waitpid(window, nullptr, 0);
    fs::remove_all(folder);
}
BENCHMARK(BM_HandOff)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
