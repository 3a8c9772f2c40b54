// Search and commit of several adapters in virtual time, one after another
// (the protocol's functions in a loop) and side by side (the engine with the
// virtual executor, at most sixteen exchanges at once), printed as a table with
// the goals. The window's answering time is measured under Wine
// (tests/e2e/test_modetool.sh), not here.
#include <cstdio>
#include <string>

#include "modetool/Engine.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualExecutor.h"

using namespace varnok;

namespace {

constexpr double kOneQueryMs = 660;

struct Rig {
    explicit Rig(int adapters, unsigned ports) {
        for (int i = 0; i < adapters; ++i) {
            sim::SimDevice d;
            d.locId = 0x100u * static_cast<uint32_t>(i + 1) + 5u;
            d.description = "Varnok Plus - Config";
            d.comPort = 20 + i;
            d2xx.devices.push_back(d);
            sim::SimAdapterOptions o;
            o.portCount = ports;
            serial.attach("COM" + std::to_string(20 + i), o);
        }
    }
    sim::VirtualClock clock;
    sim::SimSerialPorts serial{clock};
    sim::SimD2xx d2xx;
    mode::ModeTool tool{d2xx, serial, clock};
};

// Virtual milliseconds of a search of `n` adapters.
double Search(int n, bool parallel) {
    Rig rig(n, 4);
    if (!parallel) {
        mode::SearchResult r = mode::EnumVarnokDevices(rig.tool);
        if (static_cast<int>(r.adapters.size()) != n) return -1;
        return static_cast<double>(rig.clock.nowMs());
    }
    sim::VirtualExecutor exec(rig.clock);
    mode::SearchOutcome out = mode::Engine(rig.tool, exec).search();
    if (static_cast<int>(out.result.adapters.size()) != n) return -1;
    return static_cast<double>(exec.elapsedMs(0));
}

// Virtual milliseconds of a commit of `n` adapters with `ports` ports each.
double Commit(int n, unsigned ports, bool parallel) {
    Rig rig(n, ports);
    sim::VirtualExecutor searchExec(rig.clock);
    mode::AdapterArray array = mode::Engine(rig.tool, searchExec).search().result.adapters;
    if (static_cast<int>(array.size()) != n) return -1;
    for (auto& r : array) {
        r.changed = 1;
        for (int k = 0; k < r.portCount; ++k) r.ports[k].modeCode = 7;
    }
    const uint64_t t0 = rig.clock.nowMs();
    if (!parallel) {
        (void)mode::CommitAdapters(rig.serial, rig.clock, array);
        return static_cast<double>(rig.clock.nowMs() - t0);
    }
    sim::VirtualExecutor exec(rig.clock);
    (void)mode::Engine(rig.tool, exec).commit(array);
    return static_cast<double>(exec.elapsedMs(t0));
}

void Row(const char* figure, double sequential, double parallel, double unit, const char* unitName,
         double goal) {
    std::printf("| %-38s | %8.0f ms (%5.2f x %s) | %8.0f ms (%5.2f x %s) | <= %.2f x %s | %s |\n",
                figure, sequential, sequential / unit, unitName, parallel, parallel / unit, unitName,
                goal, unitName, parallel <= goal * unit && parallel > 0 ? "met" : "NOT MET");
}

}  // namespace

int main() {
    std::printf("| %-38s | %-28s | %-28s | %-17s | goal |\n", "figure (virtual time)",
                "one after another", "side by side (16 at once)", "goal");
    std::printf("|%s|%s|%s|%s|------|\n", std::string(40, '-').c_str(),
                std::string(30, '-').c_str(), std::string(30, '-').c_str(),
                std::string(19, '-').c_str());
    Row("search, 4 adapters", Search(4, false), Search(4, true), kOneQueryMs, "660 ms", 1.25);
    Row("search, 16 adapters", Search(16, false), Search(16, true), kOneQueryMs, "660 ms", 1.5);
    const double oneCommit = Commit(1, 8, false);
    Row("commit, 4 adapters with 8 ports each", Commit(4, 8, false), Commit(4, 8, true), oneCommit,
        "one", 1.2);
    std::printf("(one commit of 8 ports: %.0f ms; the window's longest wait is measured by the "
                "Wine case)\n",
                oneCommit);
    return 0;
}
