// `varnokctl set --all latency-timer=1` on the in-memory registry: 8 attached
// ports among 50 installed keys against 64 among 2,000. Reports the registry
// operations of one run (key opens, value reads and writes, subkey
// enumerations) beside the time: they are to grow with keys + devices, not
// with their product.
#include <benchmark/benchmark.h>

#include <sstream>

#include "bench/Installation.h"
#include "cli/CommandLine.h"
#include "cli/ConfigCommands.h"
#include "sim/MemFileStore.h"
#include "tests/unit/FtdiFixture.h"

using varnok::test::FtdiFixture;
namespace cli = varnok::cli;

namespace {

// Each backup of a run gets its own second, as runs from a script would.
class TickingLocalTime : public varnok::LocalTimeSource {
public:
    varnok::LocalTime localNow() override {
        varnok::LocalTime t{2026, 12, 7, 0, 0, 0};
        const int s = seconds_++;
        t.hour = s / 3600 % 24;
        t.minute = s / 60 % 60;
        t.second = s % 60;
        t.day += s / 86400;
        return t;
    }

private:
    int seconds_ = 0;
};

void BM_SetAllLatency(benchmark::State& state) {
    const int attached = static_cast<int>(state.range(0));
    const int keys = static_cast<int>(state.range(1));
    FtdiFixture f;
    std::vector<std::string> params;
    varnok::bench::SeedInstallation(f, attached, keys, &params);
    varnok::sim::MemFileStore backups;
    TickingLocalTime time;
    const cli::ParseResult parsed =
        cli::ParseCommandLine({"set", "--all", "latency-timer=1"}, cli::Platform::Windows);
    if (!parsed.command) {
        state.SkipWithError("the command line was not taken");
        return;
    }
    varnok::sim::MemRegistry::Counters total{};
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& p : params) f.registry.setDword(p, "LatencyTimer", 16);
        f.registry.counters = {};
        state.ResumeTiming();
        cli::ConfigSeams seams(f.registry, f.d2xx, f.serialPorts, f.clock);
        seams.backupFolder = &backups;
        seams.localTime = &time;
        std::ostringstream out, err;
        if (cli::RunConfigCommand(*parsed.command, seams, out, err) != cli::ExitStatus::Done) {
            state.SkipWithError(err.str().c_str());
            break;
        }
        state.PauseTiming();
        const auto& c = f.registry.counters;
        total.opens += c.opens;
        total.queries += c.queries;
        total.sets += c.sets;
        total.enums += c.enums;
        total.counts += c.counts;
        state.ResumeTiming();
    }
    if (f.registry.dword(params.back(), "LatencyTimer") != 1)
        state.SkipWithError("the latency timer was not written");
    const double n = static_cast<double>(state.iterations());
    state.counters["key_opens"] = static_cast<double>(total.opens) / n;
    state.counters["value_reads"] = static_cast<double>(total.queries) / n;
    state.counters["value_writes"] = static_cast<double>(total.sets) / n;
    state.counters["subkey_enums"] = static_cast<double>(total.enums) / n;
    const uint64_t all = total.opens + total.queries + total.sets + total.enums + total.counts;
    state.counters["registry_ops"] = static_cast<double>(all) / n;
}

}  // namespace

BENCHMARK(BM_SetAllLatency)->Args({8, 50})->Args({64, 2000})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
