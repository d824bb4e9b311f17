#include "core/parameters.h"
#include "core/results_page.h"
#include "core/stream_entries.h"
#include "stream_map.h"
#include "support/literal_chain.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

using namespace veltrin;

constexpr std::size_t kRealistic = 4u << 20;
constexpr std::size_t kLarge = 64u << 20;

const std::string& Window(std::size_t size) {
    static const std::string realistic = bench::ParameterWindow(kRealistic);
    static const std::string large = bench::ParameterWindow(kLarge);
    return size == kRealistic ? realistic : large;
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The machine's copy rate, for scale.
void BM_Memcpy(benchmark::State& state) {
    const std::string& in = Window(kRealistic);
    std::string out(in.size(), '\0');
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, in.size());
}
BENCHMARK(BM_Memcpy);

void BM_DecodeLiteralChain(benchmark::State& state) {
    const std::string& in = Window(kRealistic);
    for (auto _ : state) {
        benchmark::DoNotOptimize(testing::LiteralChain(in));
    }
    SetBytes(state, in.size());
}
BENCHMARK(BM_DecodeLiteralChain)->Unit(benchmark::kMillisecond);

void BM_DecodeParameters(benchmark::State& state) {
    const std::string& in = Window(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeParameters(in));
    }
    SetBytes(state, in.size());
}
BENCHMARK(BM_DecodeParameters)->Arg(kRealistic)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_FindParameterWindow(benchmark::State& state) {
    const std::string page = "<html><script>var p = {" + Window(kLarge) + "};</script></html>";
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindParameterWindow(page));
    }
    SetBytes(state, page.size());
}
BENCHMARK(BM_FindParameterWindow)->Unit(benchmark::kMillisecond);

void BM_ScanStreamEntries(benchmark::State& state) {
    const std::string block = DecodeParameters(Window(kLarge));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanStreamEntries(block));
    }
    SetBytes(state, block.size());
}
BENCHMARK(BM_ScanStreamEntries)->Unit(benchmark::kMillisecond);

void BM_ComposeResultsPage(benchmark::State& state) {
    const std::string block = DecodeParameters(Window(kLarge));
    const auto matches = ScanStreamEntries(block);
    const std::string ad = AdvertisementBlock("http://ads.veltrin.example/banner.html");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComposeResultsPage(matches, ad));
    }
    SetBytes(state, block.size());
    state.counters["rows"] = static_cast<double>(matches.size());
}
BENCHMARK(BM_ComposeResultsPage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
