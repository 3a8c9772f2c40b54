// Typed helpers over the registry seam: keys opened at a named access level,
// values read as DWORDs and binary blocks, with the seam's status kept where
// a caller needs it. Values are written by the configurator's change set only
// (configurator/changes/ChangeSet).
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/Registry.h"

namespace varnok::reg {

// The access a key is opened with: its access mask.
enum class Access : uint32_t {
    Read = kKeyRead,
    WriteDac = kWriteDac,  // replace the access list only
};

// The key, or null when it does not open.
[[nodiscard]] std::unique_ptr<RegistryKey> OpenKey(Registry& registry, const std::string& path, Access access);

// A DWORD read the way the programs always did: offering four bytes, any
// shorter value zero-extended, the type not checked. The status on failure.
struct [[nodiscard]] DwordRead {
    Status status = kFileNotFound;
    uint32_t value = 0;
    bool ok() const { return status == kSuccess; }
};
DwordRead ReadDword(RegistryKey& key, const std::string& name);

// A binary value of exactly `size` bytes (offered exactly that many); nothing
// when it is missing, longer or shorter.
[[nodiscard]] std::optional<std::vector<uint8_t>> ReadExactBinary(RegistryKey& key, const std::string& name,
                                                    std::size_t size);
// True when the value can be read with `capacity` bytes offered.
[[nodiscard]] bool ValueReadable(RegistryKey& key, const std::string& name, std::size_t capacity);

}  // namespace varnok::reg
