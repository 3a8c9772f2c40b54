// The Baud Rate Mapping dialog (resource 105) for the selected port.
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

class BaudRateMappingDialog : public ui::DialogLogic {
public:
    explicit BaudRateMappingDialog(Configurator& app) : app_(app) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, int code) override;

private:
    Configurator& app_;
};

}  // namespace varnok::cfg
