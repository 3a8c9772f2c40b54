// The rules of the "Port Settings" panel and its three presets, on a port
// record, with each setting's name and range. The main dialog joins its boxes
// to these settings by name and takes them through these rules
// (MainDialogPanel); varnokctl does the same with its setting names.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "configurator/app/PortTable.h"
#include "configurator/baud/ConfigDataRecord.h"

namespace varnok::cfg {

// A number setting and the field it edits, with its range.
struct PanelNumber {
    const char* name;  // "latencyTimer", as varnokctl's documents name it
    int32_t PortEntry::*field;
    PortField known;
    uint32_t low, high;
};
// In the order the panel is stored: the two time-outs, polling, latency.
extern const std::array<PanelNumber, 4> kPanelNumbers;

// An option setting and its ConfigData bit.
struct PanelOption {
    const char* name;  // "serialPrinter"
    OptionBit bit;
};
extern const std::array<PanelOption, 5> kPanelOptions;
// The Serial Enumerator box's setting name: "serialEnumerator".
extern const char* const kSerialEnumeratorSetting;

// The box of a setting by its name; null for another name.
const PanelNumber* PanelNumberNamed(const std::string& name);
const PanelOption* PanelOptionNamed(const std::string& name);
bool IsSerialEnumeratorSetting(const std::string& name);

// A number box's text as the panel reads it: more than 5 characters gives no
// value; otherwise leading white space, an optional sign and the digits up
// to the first non-digit, taken as an unsigned 32-bit number (so "-1" is
// 4294967295); no digits give 0.
std::optional<uint32_t> ParsePanelNumber(const std::string& text);

// Takes a number box's text into its field when it is a number in range: a
// different value counts as set by the user. False when the text is refused
// (the box then shows the field again).
bool TakePanelNumber(PortEntry& entry, const PanelNumber& box, const std::string& text);
// Takes the Serial Enumerator box: the filter list changes only when the
// box's state differs from the state the record shows, so another driver's
// list (shown as off) survives a store with the box left as it was.
void TakeSerialEnumerator(PortEntry& entry, bool on);

enum class Preset { Varnok, Brivane, Default };
// Sets the four numbers, the option bits, the serial enumerator (except the
// Brivane preset, which leaves it) and the divisor table; all count as set
// by the user.
void ApplyPreset(PortEntry& entry, Preset preset);
bool PresetSetsSerialEnumerator(Preset preset);

}  // namespace varnok::cfg
