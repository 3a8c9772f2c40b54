#include "common/platform/RegistryValues.h"

namespace varnok::reg {

std::unique_ptr<RegistryKey> OpenKey(Registry& registry, const std::string& path, Access access) {
    std::unique_ptr<RegistryKey> key;
    if (registry.openKey(path, static_cast<uint32_t>(access), &key) != kSuccess) return nullptr;
    return key;
}

DwordRead ReadDword(RegistryKey& key, const std::string& name) {
    DwordRead r;
    r.status = QueryIntoField(key, name, &r.value, sizeof r.value);
    if (!r.ok()) r.value = 0;
    return r;
}

std::optional<std::vector<uint8_t>> ReadExactBinary(RegistryKey& key, const std::string& name,
                                                    std::size_t size) {
    std::vector<uint8_t> data;
    if (key.queryValue(name, size, nullptr, &data) != kSuccess || data.size() != size)
        return std::nullopt;
    return data;
}

bool ValueReadable(RegistryKey& key, const std::string& name, std::size_t capacity) {
    std::vector<uint8_t> data;
    return key.queryValue(name, capacity, nullptr, &data) == kSuccess;
}

}  // namespace varnok::reg
