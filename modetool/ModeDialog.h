// The interface-mode tool's dialog (resource 1000).
#pragma once
#include "common/platform/DialogView.h"
#include "modetool/ModeTool.h"

namespace varnok::mode {

class ModeDialog : public ui::DialogLogic {
public:
    explicit ModeDialog(ModeTool& tool) : tool_(tool) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, int code) override;
    void onTimer(ui::DialogView& view, int timerId) override;
    void onDestroy(ui::DialogView& view) override;

private:
    ModeTool& tool_;
};

}  // namespace varnok::mode
