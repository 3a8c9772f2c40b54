#include "common/platform/Registry.h"

#include <cstring>

namespace varnok::reg {

Status QueryIntoField(RegistryKey& key, const std::string& name, void* field, std::size_t size) {
    std::vector<uint8_t> data;
    Status st = key.queryValue(name, size, nullptr, &data);
    if (st != kSuccess) return st;
    std::memset(field, 0, size);
    if (!data.empty()) std::memcpy(field, data.data(), data.size() < size ? data.size() : size);
    return kSuccess;
}

}  // namespace varnok::reg
