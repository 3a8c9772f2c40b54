// What a writing command did (set, import, rename, buffered, alias, reset,
// modes set, and each event of watch): the one result both the text and the
// --json output are made from. A dry run fills it the same way, with
// `changed` saying whether a real run would change anything.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "cli/TextOutput.h"

namespace varnok::cli {

struct SkippedPort {
    std::string port;    // COM or tty name (or the serial when it has none)
    std::string reason;  // "its Device Parameters key is missing", ...
};

struct WriteResult {
    bool changed = false;
    std::vector<Change> changes;  // in the order they were (or would be) written
    std::vector<SkippedPort> skipped;
    std::optional<std::string> backup;  // the backup file this run wrote to
    bool reloaded = false;              // the driver was reloaded
    std::vector<std::string> warnings;
};

// One JSON object: {"changed", "changes": [{"port", "setting", "from", "to"}],
// "skipped": [{"port", "reason"}], "backup", "reloaded", "warnings"}. A value
// that could not be read before is null in "from". Indented, ending in a
// newline; with `oneLine` a single line (watch prints one object per event).
std::string WriteResultJson(const WriteResult& result, bool oneLine = false);

}  // namespace varnok::cli
