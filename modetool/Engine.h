// The parallel engine of the interface-mode tool: searches for and commits
// N adapters with each adapter's serial exchange on its own COM port at the
// same time as the others', at most `bound` at once. The D2XX calls stay on
// the calling thread, one at a time, before and after the parallel part.
// Results come in device-list (array) order whatever order the exchanges end
// in. Stopping means finishing what was started: no new exchange begins, and
// every begun one runs to its end, leaving configuration mode on the way.
// Nothing here knows of dialogs; front ends hear of progress through a
// callback and show failures themselves.
#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "modetool/Discovery.h"
#include "modetool/ModeTool.h"
#include "modetool/Protocol.h"

namespace varnok::mode {

// Sixteen adapters are searched in the time of about one.
constexpr std::size_t kDefaultParallelExchanges = 16;

// Runs lane(0) .. lane(count-1), at most `bound` at once, starting them in
// index order; returns when every started lane has ended. Before a lane
// starts, `stop` is asked: once it says true no further lane starts.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void forEach(std::size_t count, std::size_t bound, const std::function<bool()>& stop,
                         const std::function<void(std::size_t)>& lane) = 0;
};

// Worker threads (std::thread) and the system's clock.
class ThreadExecutor : public Executor {
public:
    void forEach(std::size_t count, std::size_t bound, const std::function<bool()>& stop,
                 const std::function<void(std::size_t)>& lane) override;
};

// (done, total): an exchange has ended. Called from the lanes' threads, one
// call at a time.
using ProgressReport = std::function<void(std::size_t done, std::size_t total)>;

struct EngineOptions {
    std::size_t bound = kDefaultParallelExchanges;  // at least 1
    ProgressReport progress;
    const std::atomic<bool>* stop = nullptr;  // "finish what was started"
};

// A device that was asked and failed without a failure the user is told
// about: it did not answer, answered what is not an identification, or its
// port is held by another program.
struct QuietDevice {
    Candidate candidate;
    Failure failure;
};

struct SearchOutcome {
    SearchResult result;
    // The failures the user is told about, in device-list order.
    std::vector<Failure> failures;
    // The other failed devices, in device-list order. The dialog shows
    // nothing for them: a first data port that does not speak is usually no
    // adapter at all, or one not in configuration mode.
    std::vector<QuietDevice> quiet;
    // The devices not asked because the search was stopped, in device-list
    // order.
    std::vector<Candidate> notAsked;
    bool stopped = false;  // some devices were not asked
};

struct CommitOutcome {
    // One per record, in array order; Unchanged for records not changed and
    // for those not written because the engine was stopped first.
    std::vector<Result<CommitStatus>> results;
    std::vector<Failure> failures;  // those the user is told about, in order
    bool stopped = false;
};

class Engine {
public:
    Engine(const ModeTool& tool, Executor& executor) : tool_(tool), executor_(executor) {}
    SearchOutcome search(const EngineOptions& options = {});
    CommitOutcome commit(const AdapterArray& array, const EngineOptions& options = {});

private:
    const ModeTool& tool_;
    Executor& executor_;
};

}  // namespace varnok::mode
