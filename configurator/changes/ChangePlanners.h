// The planners: what the user asked for, as a change set (ChangeSet.h) that
// holds only values that differ from what was read, and never a value that
// could not be read unless the user set it (PortEntry::writesBack).
#pragma once
#include <string>

#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"
#include "configurator/changes/ChangeSet.h"

namespace varnok::cfg {

// The latency timers written: 1 to 255 ms.
constexpr uint32_t kLatencyTimerMin = 1;
constexpr uint32_t kLatencyTimerMax = 255;
bool LatencyTimerWritable(int32_t latency);

// "COM5", or "serial:<serial>" for a port without a name.
std::string PortLabel(const PortEntry& entry);

// One port, from its values as read (entry.asRead) to the record as the user
// left it (the panel, a preset, a loaded file, an imported document, the
// Buffered Writes and Baud Rate Mapping dialogs): the four numbers,
// ConfigData, the three buffered-write values (deleted, where they were
// read, when buffered writes are off), UpperFilters in the program's own
// two forms. A latency timer outside 1..255 is not planned; it adds a
// problem. Nothing for a record without a device identity.
// `fields` limits the plan to those PortField bits (a sub-dialog writes its
// own values only).
[[nodiscard]] ChangeSet PlanPortChanges(const PortEntry& entry, Problems* problems = nullptr,
                          uint32_t fields = ~0u);
// Every record of the table, in table order.
[[nodiscard]] ChangeSet PlanTableChanges(const PortTable& table, Problems* problems = nullptr);

// The ignore-serial-number flag to `on`: nothing when the registry already
// says so; on sets the four values to the one byte 0x01, off deletes those
// present.
[[nodiscard]] ChangeSet PlanIgnoreSerial(Configurator& app, bool on);

// Renaming a port: the three writes of PlanComName (entry.comDbBitmap is
// updated).
[[nodiscard]] ChangeSet PlanRename(PortEntry& entry, const std::string& newName);

// After ApplyChanges: the values the set wrote for `entry` count as read,
// so that planning again does not repeat them.
void TakeWrittenAsRead(PortEntry& entry, const ChangeSet& changes, const ApplyReport& report);

}  // namespace varnok::cfg
