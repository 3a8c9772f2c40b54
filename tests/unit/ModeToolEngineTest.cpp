// The parallel engine in virtual time: the exchanges overlap, the results
// keep device-list order, each port sees the same bytes as one after
// another, at most `bound` run at once, and stopping lets started exchanges
// leave configuration mode.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

#include "modetool/Engine.h"
#include "sim/VirtualExecutor.h"
#include "tests/unit/ModeToolRig.h"

using namespace varnok;
using namespace varnok::mode;
using namespace varnok::test;

namespace {

constexpr uint64_t kOneQueryMs = 660;  // the pauses of one configuration-interface query

// `n` "Varnok Plus" configuration interfaces named A0, A1, ... with `ports`
// ports each, on COM 20, 21, ...
void AddAdapters(ModeRig& rig, int n, unsigned ports = 4) {
    for (int i = 0; i < n; ++i) {
        sim::SimDevice d;
        d.locId = 0x100u * static_cast<uint32_t>(i + 1) + 5u;
        d.description = "Varnok Plus - Config";
        d.comPort = 20 + i;
        rig.d2xx.devices.push_back(d);
        sim::SimAdapterOptions o;
        o.portCount = ports;
        o.name = "A" + std::to_string(i);
        // Later adapters answer sooner, so lanes end out of index order.
        o.settingsLatencyMs = 40 - static_cast<uint32_t>(i % 8) * 4;
        rig.ports.attach("COM" + std::to_string(20 + i), o);
    }
}

std::string Bytes(ModeRig& rig, int i) {
    return ModeRig::Received(*rig.ports.adapter("COM" + std::to_string(20 + i)));
}

// The exchange's last bytes are the leave step.
bool LeftConfigMode(const std::string& bytes) {
    return bytes.size() >= 3 && bytes.compare(bytes.size() - 3, 3, "98\r") == 0;
}

}  // namespace

TEST(ModeEngine, SearchOverlapsKeepsOrderAndBytesAndHonoursTheBound) {
    struct Case {
        int adapters;
        std::size_t bound;
        bool reverse;
        double maxOfOneQuery;  // parallel time / one query's pauses
    };
    const Case cases[] = {{1, 8, false, 1.25}, {4, 8, true, 1.25}, {16, 16, false, 1.5},
                          {16, 8, true, 2.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE("adapters " + std::to_string(c.adapters) + " bound " + std::to_string(c.bound));
        ModeRig sequential;
        AddAdapters(sequential, c.adapters);
        const uint64_t sequentialMs = [&] {
            SearchResult r = EnumVarnokDevices(sequential.tool);
            EXPECT_EQ(r.adapters.size(), static_cast<std::size_t>(c.adapters));
            return sequential.clock.nowMs();
        }();

        ModeRig rig;
        AddAdapters(rig, c.adapters);
        sim::VirtualExecutor exec(rig.clock);
        exec.reverseFirstBatch = c.reverse;
        EngineOptions o;
        o.bound = c.bound;
        SearchOutcome out = Engine(rig.tool, exec).search(o);
        const uint64_t parallelMs = exec.elapsedMs(0);

        ASSERT_EQ(out.result.status, SearchStatus::Found);
        ASSERT_EQ(out.result.adapters.size(), static_cast<std::size_t>(c.adapters));
        for (int i = 0; i < c.adapters; ++i) {
            EXPECT_EQ(out.result.adapters[i].adapterName, "A" + std::to_string(i));
            EXPECT_EQ(out.result.adapters[i].adapterCount, c.adapters);
            EXPECT_EQ(Bytes(rig, i), Bytes(sequential, i)) << "adapter " << i;
            EXPECT_TRUE(LeftConfigMode(Bytes(rig, i))) << "adapter " << i;
        }
        EXPECT_EQ(rig.ports.openPorts(), 0);
        EXPECT_EQ(rig.clock.nowMs(), sequentialMs) << "the same exchanges, one after another";
        EXPECT_LE(parallelMs, static_cast<uint64_t>(c.maxOfOneQuery * kOneQueryMs));
        EXPECT_GE(parallelMs, kOneQueryMs * ((c.adapters + c.bound - 1) / c.bound));
        EXPECT_TRUE(out.failures.empty());
        EXPECT_FALSE(out.stopped);
    }
}

TEST(ModeEngine, ProgressCountsEveryEndedExchange) {
    ModeRig rig;
    AddAdapters(rig, 3);
    sim::VirtualExecutor exec(rig.clock);
    // (done, total, exchanges over when told): a count never runs ahead of
    // the exchanges that really ended.
    using Seen = std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>;
    Seen seen;
    std::function<std::size_t()> ended = [&] {
        std::size_t n = 0;
        for (int i = 0; i < 3; ++i) n += LeftConfigMode(Bytes(rig, i));
        return n;
    };
    EngineOptions o;
    o.progress = [&](std::size_t done, std::size_t total) { seen.emplace_back(done, total, ended()); };
    SearchOutcome out = Engine(rig.tool, exec).search(o);
    ASSERT_EQ(out.result.adapters.size(), 3u);
    EXPECT_EQ(seen, (Seen{{0, 3, 0}, {1, 3, 1}, {2, 3, 2}, {3, 3, 3}}));

    // Commit counts only the changed adapters.
    AdapterArray array = out.result.adapters;
    array[0].changed = 1;
    array[2].changed = 1;
    seen.clear();
    ended = [&] {
        std::size_t n = 0;
        for (int i = 0; i < 3; ++i)
            n += rig.ports.adapter("COM" + std::to_string(20 + i))->storedTexts.size();
        return n;
    };
    CommitOutcome written = Engine(rig.tool, exec).commit(array, o);
    EXPECT_EQ(seen, (Seen{{0, 2, 0}, {1, 2, 1}, {2, 2, 2}}));
    ASSERT_EQ(written.results.size(), 3u);
    EXPECT_EQ(*written.results[0], CommitStatus::Stored);
    EXPECT_EQ(*written.results[1], CommitStatus::Unchanged);
    EXPECT_EQ(*written.results[2], CommitStatus::Stored);
    EXPECT_TRUE(rig.ports.adapter("COM21")->storedTexts.empty());
}

TEST(ModeEngine, StoppingLetsStartedExchangesLeaveConfigurationMode) {
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "search");
        ModeRig rig;
        AddAdapters(rig, 12);
        AdapterArray array;
        if (commit) {
            sim::VirtualExecutor all(rig.clock);
            array = Engine(rig.tool, all).search().result.adapters;
            ASSERT_EQ(array.size(), 12u);
            for (auto& r : array) r.changed = 1;
            for (int i = 0; i < 12; ++i) rig.ports.adapter("COM" + std::to_string(20 + i))->received.clear();
        }
        std::atomic<bool> stop{false};
        sim::VirtualExecutor exec(rig.clock);
        EngineOptions o;
        o.bound = 8;
        o.stop = &stop;
        // The window is closed when the first exchange ends.
        o.progress = [&](std::size_t done, std::size_t) {
            if (done == 1) stop = true;
        };
        Engine engine(rig.tool, exec);
        std::size_t kept = 0;
        bool stopped = false;
        if (commit) {
            CommitOutcome out = engine.commit(array, o);
            stopped = out.stopped;
            for (const auto& r : out.results) kept += (r && *r == CommitStatus::Stored) ? 1 : 0;
        } else {
            SearchOutcome out = engine.search(o);
            stopped = out.stopped;
            kept = out.result.adapters.size();
            std::vector<std::string> notAsked;
            for (const Candidate& c : out.notAsked) notAsked.push_back(c.comName);
            EXPECT_EQ(notAsked, (std::vector<std::string>{"COM28", "COM29", "COM30", "COM31"}));
            EXPECT_TRUE(out.quiet.empty());
        }
        EXPECT_TRUE(stopped);
        EXPECT_EQ(kept, 8u) << "the eight started exchanges end";
        for (int i = 0; i < 12; ++i) {
            const std::string bytes = Bytes(rig, i);
            if (i < 8)
                EXPECT_TRUE(LeftConfigMode(bytes)) << "adapter " << i;
            else
                EXPECT_TRUE(bytes.empty()) << "adapter " << i << " never started";
        }
        EXPECT_EQ(rig.ports.openPorts(), 0);
    }
}

// A device that fails without a failure the user is told about is kept
// apart, with its candidate, so that a front end can name it.
TEST(ModeEngine, QuietFailuresAreKeptApartFromToldOnes) {
    ModeRig rig;
    AddAdapters(rig, 4);
    rig.ports.attach("COM21", [] {
        sim::SimAdapterOptions o;
        o.misbehaviour = sim::Misbehaviour::Silent;
        return o;
    }());
    rig.ports.adapter("COM22")->unplugged = true;
    rig.ports.adapter("COM23")->heldByOtherProgram = true;
    sim::VirtualExecutor exec(rig.clock);
    const SearchOutcome out = Engine(rig.tool, exec).search();

    ASSERT_EQ(out.result.adapters.size(), 1u);
    EXPECT_EQ(out.result.adapters[0].adapterName, "A0");
    ASSERT_EQ(out.failures.size(), 1u);
    EXPECT_EQ(out.failures[0].context, "COM22");
    ASSERT_EQ(out.quiet.size(), 2u);
    EXPECT_EQ(out.quiet[0].candidate.comName, "COM21");
    EXPECT_TRUE(out.quiet[0].candidate.configInterface);
    EXPECT_EQ(out.quiet[0].failure.code, 0u);
    EXPECT_EQ(out.quiet[1].candidate.comName, "COM23");
    EXPECT_EQ(out.quiet[1].failure.code, serial::kErrorAccessDenied);
    EXPECT_TRUE(out.notAsked.empty());
    EXPECT_FALSE(out.stopped);
}

TEST(ModeEngine, CommitOfFourAdaptersTakesAboutOne) {
    auto run = [](bool parallel, uint64_t* ms, std::vector<std::string>* stored) {
        ModeRig rig;
        AddAdapters(rig, 4, 8);
        sim::VirtualExecutor exec(rig.clock);
        AdapterArray array = Engine(rig.tool, exec).search().result.adapters;
        ASSERT_EQ(array.size(), 4u);
        for (auto& r : array) {
            r.changed = 1;
            for (int k = 0; k < r.portCount; ++k) r.ports[k].modeCode = 7;
        }
        const uint64_t t0 = rig.clock.nowMs();
        if (parallel) {
            sim::VirtualExecutor commitExec(rig.clock);
            (void)Engine(rig.tool, commitExec).commit(array);
            *ms = commitExec.elapsedMs(t0);
        } else {
            (void)CommitAdapters(rig.ports, rig.clock, array);
            *ms = rig.clock.nowMs() - t0;
        }
        for (int i = 0; i < 4; ++i) {
            auto* a = rig.ports.adapter("COM" + std::to_string(20 + i));
            ASSERT_EQ(a->storedTexts.size(), 1u);
            stored->push_back(a->storedTexts[0] + "|" + Bytes(rig, i));
        }
    };
    uint64_t sequentialMs = 0, parallelMs = 0;
    std::vector<std::string> seqStored, parStored;
    run(false, &sequentialMs, &seqStored);
    run(true, &parallelMs, &parStored);
    EXPECT_EQ(parStored, seqStored) << "the same text and bytes on every port";
    EXPECT_LE(parallelMs * 4, static_cast<uint64_t>(1.2 * static_cast<double>(sequentialMs)));
}

TEST(ModeEngine, ThreadExecutorRunsEachLaneOnceWithinTheBound) {
    ThreadExecutor exec;
    for (std::size_t bound : {1u, 3u, 8u}) {
        SCOPED_TRACE("bound " + std::to_string(bound));
        std::mutex m;
        std::condition_variable more;
        std::size_t active = 0, most = 0;
        std::vector<int> runs(40, 0);
        exec.forEach(runs.size(), bound, {}, [&](std::size_t i) {
            std::unique_lock<std::mutex> lock(m);
            if (i >= runs.size()) {
                ADD_FAILURE() << "lane " << i << " of " << runs.size();
                return;
            }
            ++runs[i];
            most = std::max(most, ++active);
            more.notify_all();
            // The first `bound` lanes stay until a lane beyond the bound runs
            // beside them (never, while the bound holds) or 250 ms pass.
            if (i < bound)
                more.wait_for(lock, std::chrono::milliseconds(250), [&] { return active > bound; });
            --active;
        });
        EXPECT_LE(most, bound);
        EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 40);
    }
    // Stopped before the start: nothing runs.
    int ran = 0;
    exec.forEach(5, 2, [] { return true; }, [&](std::size_t) { ++ran; });
    EXPECT_EQ(ran, 0);
}

// Lanes on threads share the simulated ports: an exchange that starts on one
// thread (clearing the code) must not hide the failure another thread is
// about to report, nor read that thread's code.
TEST(ModeSimSerial, LastErrorIsKeptPerThread) {
    ModeRig rig;
    AddAdapters(rig, 1);
    rig.ports.adapter("COM20")->heldByOtherProgram = true;
    rig.ports.setLastError(0);
    EXPECT_EQ(rig.ports.open("\\\\.\\COM99"), nullptr);
    uint32_t other = 99;
    std::thread lane([&] {
        EXPECT_EQ(rig.ports.lastError(), 0u) << "a new thread starts without a code";
        rig.ports.setLastError(0);
        EXPECT_EQ(rig.ports.open("\\\\.\\COM20"), nullptr);
        other = rig.ports.lastError();
    });
    lane.join();
    EXPECT_EQ(rig.ports.lastError(), serial::kErrorFileNotFound);
    EXPECT_EQ(other, serial::kErrorAccessDenied);
}
