// The global "Ignore Hardware Serial Number" flag (UsbFlags values).
#pragma once
#include <array>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

// The four flags for vendor 0403 and products 6001, 6010, 6011, 6015, in the
// order they are read, set and deleted.
extern const std::array<const char*, 4> kIgnoreSerialValueNames;

// Reads the flag (any readable value of at most 64 bytes counts as on) into
// the remembered state and shows the remembered state in checkbox 1013.
void ReadIgnoreSerialFlag(Configurator& app, ui::DialogView& view);
// Checkbox 1013 checked: sets the four values to the one byte 0x01;
// otherwise deletes them.
void ApplyIgnoreSerialFlag(Configurator& app, ui::DialogView& view);

}  // namespace varnok::cfg
