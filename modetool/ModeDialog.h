// The interface-mode tool's dialog (resource 1000): searches for adapters by
// itself shortly after it opens, lists adapters and ports, shows and edits
// the selected ports' modes and control bits, commits the changed adapters.
#pragma once
#include "common/platform/DialogView.h"
#include "modetool/ModeTool.h"
#include "modetool/Modes.h"

namespace varnok::mode {

constexpr unsigned kStartSearchDelayMs = 100;

int ModeButtonId(int modeCode);  // 1004 + code
int BitBoxId(int bit);           // 1014 + bit

class ModeDialog : public ui::DialogLogic {
public:
    explicit ModeDialog(ModeTool& tool) : tool_(tool) {}
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
    void deviceSelectionChanged(ui::DialogView& view);
    void portSelectionChanged(ui::DialogView& view);
    // The adapters selected in the device list (rows whose item data is a
    // record of the current array) and the selected port rows.
    Selection selection(ui::DialogView& view);
    // "Error(%d) / %s: %s", caption "Error", exclamation icon.
    void showFailure(ui::DialogView& view, const Failure& failure);

    ModeTool& tool_;
    AdapterArray array_;
    bool bitsWereEnabled_ = false;
    bool libraryErrorShown_ = false;
};

}  // namespace varnok::mode
