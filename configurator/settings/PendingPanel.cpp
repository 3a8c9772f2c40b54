// Not built yet: the settings panel, its presets and the Baud Rate Mapping
// dialog. This file goes away when they arrive; until then these do nothing.
#include "configurator/baud/BaudRateMappingDialog.h"
#include "configurator/settings/Panel.h"

namespace varnok::cfg {

void ShowPortSettings(Configurator&, ui::DialogView&) {}
void StorePortSettings(Configurator&, ui::DialogView&) {}
void ApplyVarnokPreset(Configurator&, ui::DialogView&) {}
void ApplyBrivanePreset(Configurator&, ui::DialogView&) {}
void ApplyDefaultSettings(Configurator&, ui::DialogView&) {}
void BaudRateMappingDialog::onInit(ui::DialogView& view) { view.endDialog(1); }
void BaudRateMappingDialog::onCommand(ui::DialogView& view, int, int) { view.endDialog(1); }

}  // namespace varnok::cfg
