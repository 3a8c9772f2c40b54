// The main dialog's "Port Settings" panel: shows the selected record and
// takes the boxes into it through the panel's rules (settings/Panel.h).
#pragma once
#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/settings/Panel.h"

namespace varnok::cfg {

// The selected record to and from the panel; nothing without a selection.
void ShowPortSettings(Configurator& app, ui::DialogView& view);
void StorePortSettings(Configurator& app, ui::DialogView& view);
// A preset on the selected record, shown in the panel.
void ApplyPresetToPanel(Configurator& app, ui::DialogView& view, Preset preset);
// Enables or disables the panel's labels, number boxes and option boxes.
void EnablePortSettings(ui::DialogView& view, bool enabled);
// Empties the four number boxes and unchecks the six option boxes.
void ClearPortSettings(ui::DialogView& view);

// The accepted range of each number box (1004, 1005, 1007, 1001); false for
// any other id.
bool PanelValueInRange(int boxId, uint32_t value);

}  // namespace varnok::cfg
