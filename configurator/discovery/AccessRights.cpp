#include "configurator/discovery/AccessRights.h"

#include <vector>

#include "common/platform/RegistryValues.h"

namespace varnok::cfg {

const char* const kMsgPrivilegeMissing = "The token does not have the specified privilege";
const char* const kMsgSetPermissionsFailed = "Could not set permissions";
const char* const kMsgArbiterOpenFailed = "Error opening key COM_NAME_ARBITER";
const char* const kMsgWriteDacOpenFailed = "Failed to open the key %s for WRITE_DAC access";
const char* const kMsgTokenOpenFailed = "Couldn't open the process token";

namespace {

const std::string kObjectPrefix = "MACHINE\\";

// Access list of the enumerator and COM Name Arbiter keys. Everyone may
// read them only: with more, any user could rewrite every FTDI port's
// driver options and filter list.
const std::vector<reg::AccessEntry> kEnumeratorAccess = {
    {reg::Trustee::Everyone, reg::kKeyRead, kTrusteeWellKnownGroup},
    {reg::Trustee::Administrators, reg::kKeyAllAccess, kTrusteeGroup},
    {reg::Trustee::LocalSystem, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
    {reg::Trustee::CreatorOwner, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
};

// Access list of each device instance key.
const std::vector<reg::AccessEntry> kInstanceKeyAccess = {
    {reg::Trustee::Everyone, reg::kKeyRead, kTrusteeWellKnownGroup},
    {reg::Trustee::Administrators, kGenericAll, kTrusteeGroup},
    {reg::Trustee::LocalSystem, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
};

}  // namespace

bool EnablePrivilege(Configurator& app, const std::string& privilege, bool enable,
                     Problems& problems) {
    bool adjusted = false;
    reg::Status lastError = app.registry.enablePrivilege(privilege, enable, &adjusted);
    if (lastError == reg::kNotAllAssigned)
        problems.push_back({kMsgPrivilegeMissing, true});
    return adjusted;
}

bool GrantEnumeratorAccess(Configurator& app, Problems& problems) {
    app.registry.setOwnerToAdministrators(kObjectPrefix + kEnumeratorKeyPath);

    auto key = reg::OpenKey(app.registry, kEnumeratorKeyPath, reg::Access::WriteDac);
    if (!key) return false;
    if (app.registry.probeProcessToken(kTokenAdjustAndQuery) != reg::kSuccess) return false;
    if (key->setDacl(kEnumeratorAccess) != reg::kSuccess) {
        problems.push_back({kMsgSetPermissionsFailed});
        return false;
    }
    key.reset();

    key = reg::OpenKey(app.registry, kComNameArbiterKeyPath, reg::Access::WriteDac);
    if (!key) {
        problems.push_back({kMsgArbiterOpenFailed});
        return false;
    }
    if (key->setDacl(kEnumeratorAccess) != reg::kSuccess) {
        problems.push_back({kMsgSetPermissionsFailed});
        return false;
    }
    return true;
}

bool GrantInstanceKeyAccess(Configurator& app, Problems& problems) {
    for (const PortEntry& e : app.table.entries) {
        if (e.deviceId == 0) continue;
        const std::string path = InstanceKeyPath(e);
        app.registry.setOwnerToAdministrators(kObjectPrefix + path);

        auto key = reg::OpenKey(app.registry, path, reg::Access::WriteDac);
        if (!key) {
            std::string text = kMsgWriteDacOpenFailed;
            problems.push_back({text.replace(text.find("%s"), 2, path), true});
        }
        if (app.registry.probeProcessToken(kTokenAdjustAndQuery) != reg::kSuccess) {
            problems.push_back({kMsgTokenOpenFailed});
            return false;  // the token that was never opened cannot be closed
        }
        if (key) key->setDacl(kInstanceKeyAccess);  // result not checked
    }
    return true;
}

}  // namespace varnok::cfg
