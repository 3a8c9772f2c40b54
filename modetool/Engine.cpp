#include "modetool/Engine.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

namespace varnok::mode {

void ThreadExecutor::forEach(std::size_t count, std::size_t bound,
                             const std::function<bool()>& stop,
                             const std::function<void(std::size_t)>& lane) {
    std::mutex m;
    std::size_t next = 0;
    bool stopped = false;
    auto take = [&](std::size_t* index) {
        std::lock_guard<std::mutex> lock(m);
        if (stopped || next >= count) return false;
        if (stop && stop()) {
            stopped = true;
            return false;
        }
        *index = next++;
        return true;
    };
    auto worker = [&] {
        std::size_t i = 0;
        while (take(&i)) lane(i);
    };
    const std::size_t workers = std::min(count, std::max<std::size_t>(bound, 1));
    std::vector<std::thread> threads;
    threads.reserve(workers);
    try {
        for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(worker);
    } catch (const std::exception&) {
        // Fewer threads than asked for: the ones there (and this one) share
        // the lanes.
    }
    worker();
    for (std::thread& t : threads) t.join();
}

namespace {

// Counts ended lanes and tells the front end, one call at a time.
class Progress {
public:
    // Tells "0 of total" at once.
    Progress(const ProgressReport& report, std::size_t total) : report_(report), total_(total) {
        if (report_) report_(0, total_);
    }
    void ended() {
        std::lock_guard<std::mutex> lock(m_);
        ++done_;
        if (report_) report_(done_, total_);
    }

private:
    const ProgressReport& report_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::mutex m_;
};

std::function<bool()> StopOf(const EngineOptions& o) {
    if (o.stop == nullptr) return {};
    return [flag = o.stop] { return flag->load(); };
}

}  // namespace

SearchOutcome Engine::search(const EngineOptions& options) {
    SearchOutcome out;
    std::vector<d2xx::DeviceListInfoNode> nodes;
    if (!ReadDeviceList(tool_, &nodes, &out.result.status)) return out;
    // D2XX, one device after another.
    std::vector<Candidate> candidates;
    for (uint32_t j = 0; j < nodes.size(); ++j)
        if (std::optional<Candidate> c = PrepareProbe(tool_, nodes[j], j))
            candidates.push_back(std::move(*c));

    // The serial exchanges, side by side; each lane writes only its own slot.
    std::vector<std::optional<Probe>> probes(candidates.size());
    Progress progress(options.progress, candidates.size());
    executor_.forEach(candidates.size(), options.bound, StopOf(options), [&](std::size_t i) {
        probes[i].emplace(QueryCandidate(tool_, candidates[i]));
        progress.ended();
    });

    // D2XX again, in device-list order.
    AdapterArray& found = out.result.adapters;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!probes[i]) {
            out.stopped = true;
            out.notAsked.push_back(candidates[i]);
            continue;
        }
        Probe& probed = *probes[i];
        if (!probed) {
            if (QueryFailureIsReported(probed.failure()))
                out.failures.push_back(probed.failure());
            else
                out.quiet.push_back({candidates[i], probed.failure()});
            continue;
        }
        if (probed.value()) FinishProbe(tool_, candidates[i], *probed.value(), found);
    }
    for (auto& r : found) r.adapterCount = static_cast<int32_t>(found.size());
    out.result.status = found.empty() ? SearchStatus::NoneFound : SearchStatus::Found;
    return out;
}

CommitOutcome Engine::commit(const AdapterArray& array, const EngineOptions& options) {
    CommitOutcome out;
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < array.size(); ++i)
        if (array[i].changed == 1) changed.push_back(i);

    std::vector<std::optional<Result<CommitStatus>>> written(changed.size());
    Progress progress(options.progress, changed.size());
    executor_.forEach(changed.size(), options.bound, StopOf(options), [&](std::size_t i) {
        written[i].emplace(CommitAdapter(tool_.serial, tool_.clock, array[changed[i]]));
        progress.ended();
    });

    out.results.assign(array.size(), Result<CommitStatus>(CommitStatus::Unchanged));
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (!written[i]) {
            out.stopped = true;
            continue;
        }
        out.results[changed[i]] = std::move(*written[i]);
        const auto& r = out.results[changed[i]];
        if (!r && CommitFailureIsReported(r.failure())) out.failures.push_back(r.failure());
    }
    return out;
}

}  // namespace varnok::mode
