// varnokctl's plain-text output: the dry-run change lines, the table of
// `list` and the details of `show`.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "cli/Data.h"

namespace varnok::cli {

// One value that a command changes (or would change, with --dry-run).
struct Change {
    std::string port;                // "COM5"; empty for a global value
    std::string name;                // "latencyTimer", "bufferedWrites.size", ...
    std::optional<std::string> from; // empty: the value could not be read
    std::string to;
};
// "COM5 latencyTimer 16 -> 1"; an unread value shows as "(unread)".
std::string FormatChange(const Change& change);

// The changes from `before` to `after` of one port, named as in the JSON
// output: settings, buffered writes, and baud aliases by row
// ("baudAliases.921600 923077 -> 2000000"). Values the same on both sides,
// and values `after` leaves unknown, are no change.
std::vector<Change> PortChanges(const PortInfo& before, const PortInfo& after);

// The table of `list`: a header and one line per port with all settings,
// columns as wide as their contents. Unread values show as "?".
std::string ListTable(const std::vector<PortInfo>& ports);
// `show`: one port, a line per value, every alias row.
std::string PortDetails(const PortInfo& port);

}  // namespace varnok::cli
