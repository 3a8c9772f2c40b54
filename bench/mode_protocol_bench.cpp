// Query and commit against the simulated adapter in virtual time: the
// virtual milliseconds each exchange takes against the pauses the protocol
// demands (query through a configuration interface 660 ms, through a first
// data port 570 ms, commit 610 ms plus 100 ms per piece of settings text).
// The difference is the time spent in reads.
#include <benchmark/benchmark.h>

#include "modetool/Protocol.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

using namespace varnok;

namespace {

struct Rig {
    sim::VirtualClock clock;
    sim::SimSerialPorts ports{clock};
};

void Report(benchmark::State& state, uint64_t virtualMs, uint64_t sleptMs, uint64_t demandedMs) {
    state.counters["virtual_ms"] = static_cast<double>(virtualMs);
    state.counters["slept_ms"] = static_cast<double>(sleptMs);
    state.counters["demanded_ms"] = static_cast<double>(demandedMs);
    state.counters["reads_ms"] = static_cast<double>(virtualMs - sleptMs);
    state.counters["virtual/demanded"] = static_cast<double>(virtualMs) / static_cast<double>(demandedMs);
}

void Query(benchmark::State& state, int accessKind, uint64_t demanded) {
    uint64_t virtualMs = 0, slept = 0;
    for (auto _ : state) {
        Rig rig;
        sim::SimAdapterOptions o;
        o.accessKind = accessKind;
        o.portCount = static_cast<unsigned>(state.range(0));
        rig.ports.attach("COM5", o);
        auto r = mode::QueryAdapter(rig.ports, rig.clock, "COM5", accessKind);
        if (!r) state.SkipWithError("query failed");
        virtualMs = rig.clock.nowMs();
        slept = rig.clock.totalSlept();
        benchmark::DoNotOptimize(r);
    }
    Report(state, virtualMs, slept, demanded);
}

void BM_QueryConfigInterface(benchmark::State& state) { Query(state, 2, 660); }
void BM_QueryFirstDataPort(benchmark::State& state) { Query(state, 1, 570); }

void BM_Commit(benchmark::State& state) {
    uint64_t virtualMs = 0, slept = 0, pieces = 0;
    for (auto _ : state) {
        Rig rig;
        sim::SimAdapterOptions o;
        o.portCount = static_cast<unsigned>(state.range(0));
        rig.ports.attach("COM5", o);
        auto queried = mode::QueryAdapter(rig.ports, rig.clock, "COM5", 2);
        if (!queried) {
            state.SkipWithError("query failed");
            break;
        }
        mode::AdapterArray array{queried.value()};
        array[0].changed = 1;
        for (int k = 0; k < array[0].portCount; ++k) array[0].ports[k].modeCode = 7;
        std::size_t text = mode::BuildSettingsText(array[0]).size();
        pieces = (text + 49) / 50;
        uint64_t t0 = rig.clock.nowMs();
        rig.clock.sleeps.clear();
        (void)mode::CommitAdapters(rig.ports, rig.clock, array);
        virtualMs = rig.clock.nowMs() - t0;
        slept = rig.clock.totalSlept();
        if (rig.ports.adapter("COM5")->storedTexts.size() != 1) state.SkipWithError("not stored");
    }
    state.counters["pieces"] = static_cast<double>(pieces);
    Report(state, virtualMs, slept, 610 + 100 * pieces);
}

}  // namespace

BENCHMARK(BM_QueryConfigInterface)->Arg(1)->Arg(4)->Arg(8)->Arg(64);
BENCHMARK(BM_QueryFirstDataPort)->Arg(1)->Arg(4)->Arg(31);
BENCHMARK(BM_Commit)->Arg(2)->Arg(8)->Arg(64);

BENCHMARK_MAIN();
