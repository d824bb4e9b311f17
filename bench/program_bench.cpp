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

int RunToEnd(const std::vector<std::string>& args) {
    int status = 0;
    waitpid(Spawn(args), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    for (const char* name : {"Veltrin", "veltrin-webview.so", "dl.jpg"}) {
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
