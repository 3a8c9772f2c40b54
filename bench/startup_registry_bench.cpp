// Start-up's registry work on the in-memory registry: the permission pass
// over every installed instance key, the D2XX pass, the key matching and the
// reading of every attached port's values. Compares 8 attached devices among
// 50 installed keys with 64 among 2,000, reporting key opens and value reads
// per start-up beside the time.
#include <benchmark/benchmark.h>

#include "bench/Installation.h"
#include "configurator/discovery/Discovery.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/ShownProblems.h"

using varnok::test::FtdiFixture;

namespace {

void ReportCounters(benchmark::State& state, const FtdiFixture& f) {
    const double n = static_cast<double>(state.iterations());
    state.counters["key_opens"] = static_cast<double>(f.registry.counters.opens) / n;
    state.counters["value_reads"] = static_cast<double>(f.registry.counters.queries) / n;
    state.counters["subkey_enums"] = static_cast<double>(f.registry.counters.enums) / n;
}

void BM_StartUp(benchmark::State& state) {
    const int attached = static_cast<int>(state.range(0));
    const int keys = static_cast<int>(state.range(1));
    FtdiFixture f;
    varnok::bench::SeedInstallation(f, attached, keys);
    f.startDialog();
    if (f.view.rowTexts(IDC_PORT_LIST).size() != static_cast<std::size_t>(attached) ||
        !f.view.boxes.empty())
        state.SkipWithError("start-up did not list the attached ports");
    f.registry.counters = {};
    for (auto _ : state) {
        f.view.init();
        benchmark::DoNotOptimize(f.app.table.entries.data());
    }
    ReportCounters(state, f);
}

void BM_MatchInstanceKeys(benchmark::State& state) {
    const int attached = static_cast<int>(state.range(0));
    const int keys = static_cast<int>(state.range(1));
    FtdiFixture f;
    varnok::bench::SeedInstallation(f, attached, keys);
    std::unique_ptr<varnok::reg::RegistryKey> key;
    f.registry.openKey(varnok::cfg::kEnumeratorKeyPath, varnok::reg::kKeyRead, &key);
    f.registry.counters = {};
    for (auto _ : state) {
        state.PauseTiming();
        varnok::test::EnumerateD2xxDevices(f.app, f.view);
        state.ResumeTiming();
        varnok::cfg::MatchInstanceKeys(f.app, *key);
    }
    ReportCounters(state, f);
}

}  // namespace

BENCHMARK(BM_StartUp)->Args({8, 50})->Args({64, 2000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchInstanceKeys)->Args({8, 50})->Args({64, 2000})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
