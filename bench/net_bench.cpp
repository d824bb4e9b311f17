// FetchPageText against a bare libcurl transfer of the same body, and a download by the engine against
// a bare libcurl transfer to a file, all on loopback, in one run.
#include "download/download_engine.h"
#include "net/http_request.h"
#include "net/page_fetch.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>

namespace {

veltrin::testing::LoopbackServer<>& Server() {
    static auto* server = [] {
        auto* s = new veltrin::testing::LoopbackServer<>();
        for (const std::size_t size : {std::size_t{100} << 10, std::size_t{8} << 20}) {
            // Mostly ASCII with some Latin-1 text, as a watch page is.
            std::string body;
            while (body.size() < size) {
                body += "<div class=\"watch\">caf\xC3\xA9 flashvars url%3Dhttp%253A%252F%252Fr1</div>\n";
            }
            body.resize(size);
            (*s)->Get("/" + std::to_string(size),
                      [body](const auto&, auto& res) { res.set_content(body, "text/html; charset=utf-8"); });
        }
        static const std::string video(std::size_t{64} << 20, 'v');
        (*s)->Get("/video", [](const auto&, auto& res) { res.set_content(video, "video/mp4"); });
        s->Start();
        return s;
    }();
    return *server;
}

void BM_FetchPageText(benchmark::State& state) {
    const std::string url = Server().Url("/" + std::to_string(state.range(0)));
    auto request = veltrin::CreateConfiguredRequest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(veltrin::FetchPageText(*request, url));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_FetchPageText)->Arg(100 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

size_t Append(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurl(benchmark::State& state) {
    const std::string url = Server().Url("/" + std::to_string(state.range(0)));
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    for (auto _ : state) {
        body.clear();
        curl_easy_perform(curl);
        benchmark::DoNotOptimize(body.data());
    }
    curl_easy_cleanup(curl);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_BareCurl)->Arg(100 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

// From Add to the end seen by a caller that waits, the file named: what a download costs besides
// its bytes shows against the bare transfer below. Arg 1: added as the command line adds it, with
// a record beside the part for a later run.
void BM_Download(benchmark::State& state) {
    const std::string url = Server().Url("/video");
    veltrin::testing::TemporaryFolder folder;
    veltrin::DownloadEngine engine({}, nullptr);
    const veltrin::DownloadTarget target{folder, "video", "mp4"};
    for (auto _ : state) {
        const int id = state.range(0) ? engine.Add(url, target, {{"id", 22}, "http://w"}) : engine.Add(url, target);
        const auto info = engine.Wait(id);
        if (!info || info->state != veltrin::DownloadState::Finished) {
            state.SkipWithError("the download did not finish");
            break;
        }
        std::filesystem::remove(info->file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t{64} << 20));
}
BENCHMARK(BM_Download)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareCurlToFile(benchmark::State& state) {
    const std::string url = Server().Url("/video");
    veltrin::testing::TemporaryFolder folder;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    for (auto _ : state) {
        std::FILE* file = std::fopen((folder / "video.mp4").c_str(), "wb");
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
        curl_easy_perform(curl);
        std::fclose(file);
    }
    curl_easy_cleanup(curl);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t{64} << 20));
}
BENCHMARK(BM_BareCurlToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
