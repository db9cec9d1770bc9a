// Conversions per second of the two hot geography functions over a million
// varied inputs each.
#include "geo/AngleText.h"
#include "geo/MeshCode.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> MeshCodes() {
    std::mt19937 rng(7);
    std::vector<std::string> codes;
    codes.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) {
        std::string c = std::to_string(30 + rng() % 40) + std::to_string(22 + rng() % 32);
        for (int k = 0; k < 2; ++k) c += static_cast<char>('0' + rng() % 8);
        for (int k = 0; k < 2; ++k) c += static_cast<char>('0' + rng() % 10);
        codes.push_back(std::move(c));
    }
    return codes;
}

std::vector<std::string> AngleTexts() {
    std::mt19937 rng(11);
    auto next = [&rng] { return static_cast<unsigned>(rng()); };
    std::vector<std::string> texts;
    texts.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%u.%02u%02u", 24 + next() % 122, next() % 60, next() % 60);
        texts.emplace_back(buf);
    }
    return texts;
}

void BM_MeshCodeToPoint(benchmark::State& state) {
    static const std::vector<std::string> codes = MeshCodes();
    for (auto _ : state) {
        long double sum = 0;
        for (const std::string& c : codes) {
            auto p = kavum::geo::MeshCodeToPoint(c, kavum::geo::PointPrecision::StandardMesh);
            sum += p->latitude;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(codes.size()));
}
BENCHMARK(BM_MeshCodeToPoint)->Unit(benchmark::kMillisecond);

void BM_StrToDeg(benchmark::State& state) {
    static const std::vector<std::string> texts = AngleTexts();
    for (auto _ : state) {
        double sum = 0;
        for (const std::string& t : texts) sum += kavum::geo::StrToDeg(t);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_StrToDeg)->Unit(benchmark::kMillisecond);

// The same texts through the general conversion, for comparison.
void BM_StrToDegGeneral(benchmark::State& state) {
    static const std::vector<std::string> texts = AngleTexts();
    for (auto _ : state) {
        double sum = 0;
        for (const std::string& t : texts) sum += kavum::geo::StrToDegGeneral(t);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_StrToDegGeneral)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
