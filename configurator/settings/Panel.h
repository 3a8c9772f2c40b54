// The "Port Settings" panel of the main dialog and its three presets. All
// work on the selected record.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

void ShowPortSettings(Configurator& app, ui::DialogView& view);
void StorePortSettings(Configurator& app, ui::DialogView& view);
void ApplyVarnokPreset(Configurator& app, ui::DialogView& view);
void ApplyBrivanePreset(Configurator& app, ui::DialogView& view);
void ApplyDefaultSettings(Configurator& app, ui::DialogView& view);
// Enables or disables the panel's labels, number boxes and option boxes.
void EnablePortSettings(ui::DialogView& view, bool enabled);
// Empties the four number boxes and unchecks the six option boxes.
void ClearPortSettings(ui::DialogView& view);

// A number box's text as the panel reads it: more than 5 characters gives no
// value; otherwise leading white space, an optional sign and the digits up
// to the first non-digit, taken as an unsigned 32-bit number (so "-1" is
// 4294967295); no digits give 0.
std::optional<uint32_t> ParsePanelNumber(const std::string& text);

// The accepted range of each number box (1004, 1005, 1007, 1001); false for
// any other id.
bool PanelValueInRange(int boxId, uint32_t value);

}  // namespace varnok::cfg
