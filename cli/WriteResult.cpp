#include "cli/WriteResult.h"

#include <nlohmann/json.hpp>

namespace varnok::cli {

std::string WriteResultJson(const WriteResult& result, bool oneLine) {
    using nlohmann::ordered_json;
    ordered_json changes = ordered_json::array();
    for (const auto& c : result.changes)
        changes.push_back({{"port", c.port.empty() ? ordered_json(nullptr) : ordered_json(c.port)},
                           {"setting", c.name},
                           {"from", c.from ? ordered_json(*c.from) : ordered_json(nullptr)},
                           {"to", c.to}});
    ordered_json skipped = ordered_json::array();
    for (const auto& s : result.skipped) skipped.push_back({{"port", s.port}, {"reason", s.reason}});
    const ordered_json doc{
        {"changed", result.changed},
        {"changes", std::move(changes)},
        {"skipped", std::move(skipped)},
        {"backup", result.backup ? ordered_json(*result.backup) : ordered_json(nullptr)},
        {"reloaded", result.reloaded},
        {"warnings", result.warnings},
    };
    // Device and file text may hold any bytes: replace what is not UTF-8
    // rather than throw.
    return doc.dump(oneLine ? -1 : 2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace varnok::cli
