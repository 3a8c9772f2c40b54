// The COM Port Assignment dialog (resource 108) for the selected port.
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

class ComPortAssignmentDialog : public ui::DialogLogic {
public:
    explicit ComPortAssignmentDialog(Configurator& app) : app_(app) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, int code) override;
    bool onUpDownDelta(ui::DialogView& view, int id, int pos, int delta) override;

private:
    Configurator& app_;
};

}  // namespace varnok::cfg
