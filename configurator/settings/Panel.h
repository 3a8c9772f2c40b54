// The "Port Settings" panel of the main dialog and its three presets. All
// work on the selected record.
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

void ShowPortSettings(Configurator& app, ui::DialogView& view);
void StorePortSettings(Configurator& app, ui::DialogView& view);
void ApplyVarnokPreset(Configurator& app, ui::DialogView& view);
void ApplyBrivanePreset(Configurator& app, ui::DialogView& view);
void ApplyDefaultSettings(Configurator& app, ui::DialogView& view);

}  // namespace varnok::cfg
