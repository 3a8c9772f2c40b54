// Test rig of the interface-mode tool: simulated D2XX devices, simulated
// adapters behind in-memory serial ports, a virtual clock and a fake dialog.
#pragma once
#include <numeric>
#include <string>
#include <vector>

#include "modetool/ModeTool.h"
#include "sim/FakeDialogView.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

namespace varnok::test {

struct ModeRig {
    sim::VirtualClock clock;
    sim::SimSerialPorts ports{clock};
    sim::SimD2xx d2xx;
    sim::FakeDialogView view;
    mode::ModeTool tool{d2xx, ports, clock};

    static std::string Received(const sim::SimAdapter& a) {
        return std::string(a.received.begin(), a.received.end());
    }
    uint64_t slept() const { return clock.totalSlept(); }
};

// The mode codes of the first `n` ports of an adapter record or a simulated adapter.
template <class Adapter>
std::vector<int> ModeCodes(const Adapter& a, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(a.ports[i].modeCode);
    return out;
}

inline std::vector<uint32_t> Repeat(uint32_t ms, int n) { return std::vector<uint32_t>(n, ms); }

inline std::vector<uint32_t> Concat(std::initializer_list<std::vector<uint32_t>> parts) {
    std::vector<uint32_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace varnok::test
