// The protocol's exchanges in real time on a Linux pseudo-terminal: the
// simulated adapter answers on the master side in its own thread, and the
// protocol talks to the slave side through the POSIX serial seam with the
// system clock, as varnokctl does with a USB adapter. For each exchange the
// wall time against the pauses the protocol itself asks for (the sum of the
// clock's sleeps, checked against the fixed pauses: query through a
// configuration interface 660 ms, through a first data port 570 ms, commit
// 610 ms plus 100 ms per piece of settings text), and the time spent in the
// seam's reads and writes, printed as a table with the goal.
//
// Linux only. About 15 s: every exchange runs a few times, each 0.6-0.9 s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/linux/PosixSerial.h"
#include "modetool/Protocol.h"
#include "sim/SimAdapter.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

using namespace varnok;

namespace {

using Steady = std::chrono::steady_clock;

double MsSince(Steady::time_point t0) {
    return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

// The system clock, adding up what it was asked to sleep and what the
// sleeps really took.
class SleepCountingClock : public Clock {
public:
    void sleepMs(uint32_t ms) override {
        const auto t0 = Steady::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        askedMs += ms;
        sleptMs += MsSince(t0);
    }
    uint64_t nowMs() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         Steady::now().time_since_epoch())
                                         .count());
    }
    void reset() {
        askedMs = 0;
        sleptMs = 0;
    }
    uint64_t askedMs = 0;
    double sleptMs = 0;
};

// The POSIX seam, timing its ports' reads and writes.
struct SeamTimes {
    double readMs = 0, writeMs = 0;
    std::vector<double> eachReadMs;
};

class TimedPort : public serial::SerialPort {
public:
    TimedPort(std::unique_ptr<serial::SerialPort> port, SeamTimes& times)
        : port_(std::move(port)), times_(times) {}
    bool setTimeouts(const serial::CommTimeouts& t) override { return port_->setTimeouts(t); }
    bool setLine(const std::string& d) override { return port_->setLine(d); }
    bool purge(uint32_t flags) override { return port_->purge(flags); }
    bool read(uint8_t* buffer, uint32_t size, uint32_t* received) override {
        const auto t0 = Steady::now();
        const bool ok = port_->read(buffer, size, received);
        const double ms = MsSince(t0);
        times_.readMs += ms;
        times_.eachReadMs.push_back(ms);
        return ok;
    }
    bool write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        const auto t0 = Steady::now();
        const bool ok = port_->write(data, size, written);
        times_.writeMs += MsSince(t0);
        return ok;
    }

private:
    std::unique_ptr<serial::SerialPort> port_;
    SeamTimes& times_;
};

class TimedPorts : public serial::SerialPorts {
public:
    std::unique_ptr<serial::SerialPort> open(const std::string& path) override {
        auto port = posix_.open(path);
        if (!port) return nullptr;
        return std::make_unique<TimedPort>(std::move(port), times);
    }
    bool exists(const std::string& name) override { return posix_.exists(name); }
    uint32_t lastError() override { return posix_.lastError(); }
    void setLastError(uint32_t code) override { posix_.setLastError(code); }
    SeamTimes times;

private:
    linuxhost::PosixSerialPorts posix_;
};

// The simulated adapter on the master side of a fresh pseudo-terminal, driven
// in real time by its own thread (as the adapter program does); both ends are
// closed when it goes.
class PtyAdapter {
public:
    explicit PtyAdapter(const sim::SimAdapterOptions& options) : adapter_(options) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const char* name = ptsname(master_);
        if (name == nullptr) return;
        slavePath_ = name;
        // Held open here so that the terminal lives between the host's opens.
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) return;
        termios tio{};
        if (tcgetattr(slave_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(slave_, TCSANOW, &tio);
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { run(); });
    }
    ~PtyAdapter() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    PtyAdapter(const PtyAdapter&) = delete;
    PtyAdapter& operator=(const PtyAdapter&) = delete;

    bool ok() const { return thread_.joinable(); }
    const std::string& slavePath() const { return slavePath_; }
    std::size_t storedTexts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return adapter_.storedTexts.size();
    }

private:
    void run() {
        const auto t0 = Steady::now();
        auto now = [&] {
            return static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - t0).count());
        };
        while (!stop_) {
            int waitMs = 5;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const uint64_t t = now();
                adapter_.produceUntil(t);
                std::vector<uint8_t> due;
                auto& q = adapter_.output();
                while (!q.empty() && q.front().atMs <= t) {
                    due.push_back(q.front().byte);
                    q.pop_front();
                }
                if (!due.empty()) (void)!::write(master_, due.data(), due.size());
                if (!q.empty())
                    waitMs = q.front().atMs <= t
                                 ? 0
                                 : static_cast<int>(std::min<uint64_t>(q.front().atMs - t, 5));
            }
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
                uint8_t buf[512];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                std::lock_guard<std::mutex> lock(mutex_);
                const uint64_t at = now();
                for (ssize_t i = 0; i < n; ++i) adapter_.receive(buf[i], at);
            }
        }
    }

    sim::SimAdapter adapter_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    int master_ = -1, slave_ = -1;
    std::string slavePath_;
    std::thread thread_;
};

// One exchange's figures, added up over its runs.
struct Figures {
    int runs = 0;
    double wallMs = 0, sleptMs = 0, readMs = 0, writeMs = 0, worstRatio = 0;
    std::vector<double> eachReadMs;  // sums over the runs, first read first
    uint64_t askedMs = 0, fixedMs = 0;  // the last run's sum of sleeps, the fixed pauses
    double virtualMs = 0;               // the same exchange in virtual time
    void add(double wall, const SleepCountingClock& clock, const SeamTimes& t) {
        ++runs;
        wallMs += wall;
        askedMs = clock.askedMs;
        sleptMs += clock.sleptMs;
        readMs += t.readMs;
        writeMs += t.writeMs;
        if (eachReadMs.size() < t.eachReadMs.size()) eachReadMs.resize(t.eachReadMs.size());
        for (std::size_t i = 0; i < t.eachReadMs.size(); ++i) eachReadMs[i] += t.eachReadMs[i];
        worstRatio = std::max(worstRatio, wall / static_cast<double>(clock.askedMs));
    }
};
std::map<std::string, Figures> g_figures;
std::vector<std::string> g_order;

Figures& FiguresOf(const std::string& name, uint64_t fixedMs) {
    if (g_figures.find(name) == g_figures.end()) g_order.push_back(name);
    Figures& f = g_figures[name];
    f.fixedMs = fixedMs;
    return f;
}

void Counters(benchmark::State& state, const Figures& f) {
    if (f.runs == 0) return;
    state.counters["wall_ms"] = f.wallMs / f.runs;
    state.counters["pauses_ms"] = static_cast<double>(f.askedMs);
    state.counters["wall/pauses"] = f.wallMs / f.runs / static_cast<double>(f.askedMs);
}

sim::SimAdapterOptions Adapter(int accessKind, unsigned ports) {
    sim::SimAdapterOptions o;
    o.accessKind = accessKind;
    o.portCount = ports;
    return o;
}

// The same exchanges against the same simulated adapter in virtual time, where
// sleeps are exact and bytes travel without delay: what is left above the
// pauses there is the protocol's own read windows.
void SetModifiedModes(mode::AdapterRecord& record) {
    record.changed = 1;
    for (int k = 0; k < record.portCount; ++k) record.ports[k].modeCode = 7;
}

double VirtualQueryMs(int accessKind) {
    sim::VirtualClock clock;
    sim::SimSerialPorts ports{clock};
    ports.attach("COM5", Adapter(accessKind, 8));
    return mode::QueryAdapter(ports, clock, "COM5", accessKind) ? static_cast<double>(clock.nowMs())
                                                                : -1;
}

double VirtualCommitMs() {
    sim::VirtualClock clock;
    sim::SimSerialPorts ports{clock};
    ports.attach("COM5", Adapter(mode::kAccessConfigInterface, 8));
    auto queried = mode::QueryAdapter(ports, clock, "COM5", mode::kAccessConfigInterface);
    if (!queried) return -1;
    mode::AdapterRecord record = queried.value();
    SetModifiedModes(record);
    const uint64_t t0 = clock.nowMs();
    auto r = mode::CommitAdapter(ports, clock, record);
    return r ? static_cast<double>(clock.nowMs() - t0) : -1;
}

void Query(benchmark::State& state, const char* name, int accessKind, uint64_t fixedMs) {
    Figures& f = FiguresOf(name, fixedMs);
    f.virtualMs = VirtualQueryMs(accessKind);
    for (auto _ : state) {
        PtyAdapter adapter(Adapter(accessKind, 8));
        if (!adapter.ok()) {
            state.SkipWithError("no pseudo-terminal");
            break;
        }
        SleepCountingClock clock;
        TimedPorts ports;
        const auto t0 = Steady::now();
        auto r = mode::QueryAdapter(ports, clock, adapter.slavePath(), accessKind);
        const double wall = MsSince(t0);
        if (!r || r->portCount != 8) {
            state.SkipWithError("query failed");
            break;
        }
        state.SetIterationTime(wall / 1000.0);
        f.add(wall, clock, ports.times);
    }
    Counters(state, f);
}

void BM_QueryConfigInterface(benchmark::State& state) {
    Query(state, "query, configuration interface", mode::kAccessConfigInterface, 660);
}
void BM_QueryFirstDataPort(benchmark::State& state) {
    Query(state, "query, first data port", mode::kAccessFirstDataPort, 570);
}

// One adapter with eight ports, all set to mode 7: two pieces of settings text.
void BM_Commit(benchmark::State& state) {
    Figures* f = nullptr;
    for (auto _ : state) {
        PtyAdapter adapter(Adapter(mode::kAccessConfigInterface, 8));
        if (!adapter.ok()) {
            state.SkipWithError("no pseudo-terminal");
            break;
        }
        SleepCountingClock clock;
        TimedPorts ports;
        auto queried =
            mode::QueryAdapter(ports, clock, adapter.slavePath(), mode::kAccessConfigInterface);
        if (!queried) {
            state.SkipWithError("query failed");
            break;
        }
        mode::AdapterRecord record = queried.value();
        SetModifiedModes(record);
        const uint64_t pieces = (mode::BuildSettingsText(record).size() + 49) / 50;
        if (f == nullptr) {
            f = &FiguresOf("commit, 8 ports", 610 + 100 * pieces);
            f->virtualMs = VirtualCommitMs();
        }
        clock.reset();
        ports.times = {};
        const auto t0 = Steady::now();
        auto r = mode::CommitAdapter(ports, clock, record);
        const double wall = MsSince(t0);
        if (!r || r.value() != mode::CommitStatus::Stored) {
            state.SkipWithError("commit failed");
            break;
        }
        if (adapter.storedTexts() != 1) {
            state.SkipWithError("the adapter stored nothing");
            break;
        }
        state.SetIterationTime(wall / 1000.0);
        f->add(wall, clock, ports.times);
    }
    if (f != nullptr) Counters(state, *f);
}

constexpr double kGoal = 1.10;

// Columns: the mean wall time of the runs; the pauses (the sleeps the
// protocol asked for); their ratio, the figure with its goal; the ratio
// without the sleeps' overshoot (the system sleeping longer than asked);
// the ratio in virtual time; and where the wall time went.
void PrintTable() {
    std::printf("\n| %-30s | %8s | %8s | %7s | %-7s | %-7s | %9s | %9s | %-26s |\n",
                "exchange (pseudo-terminal)", "wall", "pauses", "ratio", "goal", "", "w/o overs.",
                "virtual", "reads / writes / sleeps");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(32, '-').c_str(),
                std::string(10, '-').c_str(), std::string(10, '-').c_str(),
                std::string(9, '-').c_str(), std::string(9, '-').c_str(),
                std::string(9, '-').c_str(), std::string(12, '-').c_str(),
                std::string(11, '-').c_str(), std::string(28, '-').c_str());
    bool allMet = true;
    for (const std::string& name : g_order) {
        const Figures& f = g_figures[name];
        if (f.runs == 0) {
            std::printf("| %-30s | no runs\n", name.c_str());
            allMet = false;
            continue;
        }
        const double wall = f.wallMs / f.runs;
        const double pauses = static_cast<double>(f.askedMs);
        const double ratio = wall / pauses;
        const double oversleep = f.sleptMs / f.runs - pauses;
        const bool met = ratio <= kGoal;
        allMet = allMet && met;
        std::printf("| %-30s | %5.0f ms | %5.0f ms | %5.3f x | <= %.2f | %-7s | %8.3f x | %7.3f x "
                    "| %4.0f / %3.0f / %4.0f ms     |\n",
                    name.c_str(), wall, pauses, ratio, kGoal, met ? "met" : "NOT MET",
                    (wall - oversleep) / pauses, f.virtualMs / pauses, f.readMs / f.runs,
                    f.writeMs / f.runs, f.sleptMs / f.runs);
        std::printf("|   reads, one by one:");
        for (double ms : f.eachReadMs) std::printf(" %.1f ms", ms / f.runs);
        std::printf("\n");
        if (f.askedMs != f.fixedMs)
            std::printf("|   (the clock was asked for %llu ms, the fixed pauses are %llu ms)\n",
                        static_cast<unsigned long long>(f.askedMs),
                        static_cast<unsigned long long>(f.fixedMs));
    }
    std::printf("(mean of %d runs each; worst single run's ratio:", g_order.empty() ? 0 : g_figures[g_order[0]].runs);
    for (const std::string& name : g_order) std::printf(" %.3f", g_figures[name].worstRatio);
    std::printf(")\n%s\n", allMet ? "all goals met" : "goal NOT MET");
}

}  // namespace

BENCHMARK(BM_QueryConfigInterface)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryFirstDataPort)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Commit)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
