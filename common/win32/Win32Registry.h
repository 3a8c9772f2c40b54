// The registry seam over advapi32: HKEY_LOCAL_MACHINE, ANSI calls, keys
// closed when their RegistryKey object is destroyed.
#pragma once
#include "common/platform/Registry.h"

namespace varnok::win32 {

class Win32Registry : public reg::Registry {
public:
    reg::Status openKey(const std::string& path, uint32_t access,
                        std::unique_ptr<reg::RegistryKey>* key) override;
    reg::Status setOwnerToAdministrators(const std::string& objectName) override;
    reg::Status enablePrivilege(const std::string& privilege, bool enable,
                                bool* adjusted) override;
    reg::Status probeProcessToken(uint32_t access) override;
    // The wait also ends, with Stopped, when ProcessStopEvent() is set.
    reg::Status watchKey(const std::string& path, std::unique_ptr<reg::KeyWatch>* watch) override;
};

}  // namespace varnok::win32
