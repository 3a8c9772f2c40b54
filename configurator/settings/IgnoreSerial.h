// The global "Ignore Hardware Serial Number" flag (UsbFlags values).
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

void ReadIgnoreSerialFlag(Configurator& app, ui::DialogView& view);
void ApplyIgnoreSerialFlag(Configurator& app, ui::DialogView& view);

}  // namespace varnok::cfg
