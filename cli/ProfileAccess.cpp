#include "cli/ProfileAccess.h"

#include <algorithm>

namespace varnok::cli {

namespace {

void Check(const ObjectAccess& object, uint32_t rights, const std::string& what,
           std::vector<std::string>* out) {
    auto add = [&](const std::string& who) {
        const std::string line = (who.empty() ? std::string("someone") : who) + " may change " + what;
        if (std::find(out->begin(), out->end(), line) == out->end()) out->push_back(line);
    };
    if (!object.hasDacl) add("everyone");
    // The owner may always rewrite the access list.
    if (object.owner == Principal::Other) add(object.ownerName);
    for (const auto& e : object.entries)
        if (e.allow && !e.inheritOnly && e.who == Principal::Other && (e.mask & rights) != 0)
            add(e.name);
}

}  // namespace

std::vector<std::string> OthersWhoMayChange(const ObjectAccess& file, const ObjectAccess& folder,
                                            const std::string& name) {
    std::vector<std::string> out;
    Check(file, kFileChangeRights, name, &out);
    Check(folder, kFolderChangeRights, name + "'s folder", &out);
    return out;
}

}  // namespace varnok::cli
