// The interface-mode tool's dialog (resource 1000): searches for adapters by
// itself shortly after it opens, lists adapters and ports, shows and edits
// the selected ports' modes and control bits, commits the changed adapters.
#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "common/platform/DialogView.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"
#include "modetool/Modes.h"

namespace varnok::mode {

constexpr unsigned kStartSearchDelayMs = 100;

int ModeButtonId(int modeCode);  // 1004 + code
int BitBoxId(int bit);           // 1014 + bit

// Told when a mode click left adapters alone (their model lacks the mode);
// their list lines follow, one a line.
std::string ModeNotSetText(int modeCode, uint16_t typeCode);

// Busy lines over the busy panels.
std::string ProgressLine(bool committing, std::size_t done, std::size_t total);
extern const char kFinishingLine[];

// Starts a piece of work off the dialog's thread and returns at once; the
// default starts a thread, which the dialog joins before it goes.
using WorkStarter = std::function<void(std::function<void()>)>;

// Search and commit run on the engine's threads; the dialog's thread only
// shows states, and hears of progress and results through the view's post().
// Closing the window while busy stops new exchanges, lets the started ones
// leave configuration mode, and ends the dialog after that.
class ModeDialog : public ui::DialogLogic {
public:
    ModeDialog(ModeTool& tool, Executor& executor, WorkStarter start = {})
        : tool_(tool), executor_(executor), start_(std::move(start)) {}
    ~ModeDialog() override;
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;
    void onTimer(ui::DialogView& view, int timerId) override;
    void onDestroy(ui::DialogView& view) override;

    const AdapterArray& adapters() const { return array_; }

private:
    void enterBusy(ui::DialogView& view);
    void leaveBusy(ui::DialogView& view);
    void search(ui::DialogView& view);
    void commit(ui::DialogView& view);
    void searched(ui::DialogView& view, SearchOutcome found);
    void committed(ui::DialogView& view, const CommitOutcome& written);
    // Runs `work` off the dialog's thread; `done` then runs on it.
    void startWork(ui::DialogView& view, std::function<std::function<void()>()> work);
    EngineOptions engineOptions(ui::DialogView& view, bool committing);
    void joinWorker();
    void deviceSelectionChanged(ui::DialogView& view);
    void portSelectionChanged(ui::DialogView& view);
    // The adapters selected in the device list (rows whose item data is a
    // record of the current array) and the selected port rows.
    Selection selection(ui::DialogView& view);
    // "Error(%d) / %s: %s", caption "Error", exclamation icon.
    void showFailure(ui::DialogView& view, const Failure& failure);

    ModeTool& tool_;
    Executor& executor_;
    WorkStarter start_;
    std::thread worker_;
    bool busy_ = false;
    bool closing_ = false;
    std::atomic<bool> stop_{false};
    AdapterArray array_;
    bool bitsWereEnabled_ = false;
    bool libraryErrorShown_ = false;
};

}  // namespace varnok::mode
