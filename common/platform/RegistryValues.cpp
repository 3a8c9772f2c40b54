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

Status WriteDword(RegistryKey& key, const std::string& name, uint32_t v) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return key.setValue(name, kDword, bytes, sizeof bytes);
}

std::optional<std::vector<uint8_t>> ReadExactBinary(RegistryKey& key, const std::string& name,
                                                    std::size_t size) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (key.queryValue(name, size, &type, &data) != kSuccess || data.size() != size)
        return std::nullopt;
    return data;
}

Status WriteBinary(RegistryKey& key, const std::string& name, const uint8_t* data,
                   std::size_t size) {
    return key.setValue(name, kBinary, data, size);
}

Status WriteString(RegistryKey& key, const std::string& name, const std::string& text) {
    return key.setValue(name, kSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                        text.size() + 1);
}

Status WriteMultiString(RegistryKey& key, const std::string& name, const uint8_t* data,
                        std::size_t size) {
    return key.setValue(name, kMultiSz, data, size);
}

bool ValueReadable(RegistryKey& key, const std::string& name, std::size_t capacity) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    return key.queryValue(name, capacity, &type, &data) == kSuccess;
}

}  // namespace varnok::reg
