#include "cli/WriteResult.h"

#include <nlohmann/json.hpp>

namespace varnok::cli {

std::string WriteResultJson(const WriteResult& result, bool oneLine) {
    using nlohmann::ordered_json;
    ordered_json changes = ordered_json::array();
    for (const auto& c : result.changes) {
        ordered_json one;
        one["port"] = c.port.empty() ? ordered_json(nullptr) : ordered_json(c.port);
        one["setting"] = c.name;
        one["from"] = c.from ? ordered_json(*c.from) : ordered_json(nullptr);
        one["to"] = c.to;
        changes.push_back(std::move(one));
    }
    ordered_json skipped = ordered_json::array();
    for (const auto& s : result.skipped) skipped.push_back({{"port", s.port}, {"reason", s.reason}});
    ordered_json doc;
    doc["changed"] = result.changed;
    doc["changes"] = std::move(changes);
    doc["skipped"] = std::move(skipped);
    doc["backup"] = result.backup ? ordered_json(*result.backup) : ordered_json(nullptr);
    doc["reloaded"] = result.reloaded;
    doc["warnings"] = result.warnings;
    // Device and file text may hold any bytes: replace what is not UTF-8
    // rather than throw.
    return (oneLine ? doc.dump(-1, ' ', false, ordered_json::error_handler_t::replace)
                    : doc.dump(2, ' ', false, ordered_json::error_handler_t::replace)) +
           "\n";
}

}  // namespace varnok::cli
