#include "configurator/discovery/AccessRights.h"

#include <memory>

namespace varnok::cfg {

const char* const kMsgPrivilegeMissing = "The token does not have the specified privilege";
const char* const kMsgSetPermissionsFailed = "Could not set permissions";
const char* const kMsgArbiterOpenFailed = "Error opening key COM_NAME_ARBITER";
const char* const kMsgWriteDacOpenFailed = "Failed to open the key %s for WRITE_DAC access";
const char* const kMsgTokenOpenFailed = "Couldn't open the process token";

namespace {

const std::string kObjectPrefix = "MACHINE\\";

std::string WriteDacFailedText(const std::string& path) {
    std::string text = kMsgWriteDacOpenFailed;
    text.replace(text.find("%s"), 2, path);
    return text;
}

}  // namespace

std::vector<reg::AccessEntry> EnumeratorAccessEntries() {
    return {
        {reg::Trustee::Everyone, reg::kKeyRead, kTrusteeWellKnownGroup},
        {reg::Trustee::Administrators, reg::kKeyAllAccess, kTrusteeGroup},
        {reg::Trustee::LocalSystem, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
        {reg::Trustee::CreatorOwner, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
    };
}

std::vector<reg::AccessEntry> InstanceKeyAccessEntries() {
    return {
        {reg::Trustee::Everyone, reg::kKeyRead, kTrusteeWellKnownGroup},
        {reg::Trustee::Administrators, kGenericAll, kTrusteeGroup},
        {reg::Trustee::LocalSystem, kKeyAllAccessAndSystemSecurity, kTrusteeUnknown},
    };
}

int EnablePrivilege(Configurator& app, const std::string& privilege, bool enable) {
    bool adjusted = false;
    reg::Status lastError = app.registry.enablePrivilege(privilege, enable, &adjusted);
    if (lastError == reg::kNotAllAssigned)
        PlacedMessage(app, kMsgPrivilegeMissing, "ERROR", ui::Icon::Warning);
    return adjusted ? 1 : 0;
}

int GrantEnumeratorAccess(Configurator& app) {
    const auto entries = EnumeratorAccessEntries();
    app.registry.setOwnerToAdministrators(kObjectPrefix + kEnumeratorKeyPath);

    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(kEnumeratorKeyPath, reg::kWriteDac, &key) != reg::kSuccess) return 0;
    if (app.registry.probeProcessToken(kTokenAdjustAndQuery) != reg::kSuccess) return 0;
    if (key->setDacl(entries) != reg::kSuccess) {
        PlacedMessage(app, kMsgSetPermissionsFailed, "ERROR", ui::Icon::None);
        return 0;
    }
    key.reset();

    if (app.registry.openKey(kComNameArbiterKeyPath, reg::kWriteDac, &key) != reg::kSuccess) {
        PlacedMessage(app, kMsgArbiterOpenFailed, "ERROR", ui::Icon::None);
        return 0;
    }
    if (key->setDacl(entries) != reg::kSuccess) {
        PlacedMessage(app, kMsgSetPermissionsFailed, "ERROR", ui::Icon::None);
        return 0;
    }
    return 1;
}

int GrantInstanceKeyAccess(Configurator& app) {
    const auto entries = InstanceKeyAccessEntries();
    for (const PortEntry& e : app.table.entries) {
        if (e.deviceId == 0) continue;
        const std::string path = InstanceKeyPath(e);
        app.registry.setOwnerToAdministrators(kObjectPrefix + path);

        std::unique_ptr<reg::RegistryKey> key;
        if (app.registry.openKey(path, reg::kWriteDac, &key) != reg::kSuccess)
            PlacedMessage(app, WriteDacFailedText(path), "ERROR", ui::Icon::Warning);
        if (app.registry.probeProcessToken(kTokenAdjustAndQuery) != reg::kSuccess) {
            PlacedMessage(app, kMsgTokenOpenFailed, "ERROR", ui::Icon::None);
            return 0;  // the token that was never opened cannot be closed
        }
        if (key) key->setDacl(entries);  // result not checked
    }
    return 1;
}

}  // namespace varnok::cfg
