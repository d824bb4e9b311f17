// GetPage against a bare libcurl transfer of the same body, both on loopback, in one run.
#include "net/http_request.h"
#include "net/mod_net.h"
#include "support/loopback_server.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

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
        s->Start();
        return s;
    }();
    return *server;
}

void BM_GetPage(benchmark::State& state) {
    const std::string url = Server().Url("/" + std::to_string(state.range(0)));
    auto request = modNet::CreateConfiguredRequest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(modNet::GetPage(request.get(), url));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}
BENCHMARK(BM_GetPage)->Arg(100 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

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

} // namespace

BENCHMARK_MAIN();
