// Taking over the owner and access lists of the driver's registry keys.
#pragma once
#include <string>

#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"

namespace varnok::cfg {

extern const char* const kMsgPrivilegeMissing;     // "The token does not have the specified privilege"
extern const char* const kMsgSetPermissionsFailed; // "Could not set permissions"
extern const char* const kMsgArbiterOpenFailed;    // "Error opening key COM_NAME_ARBITER"
extern const char* const kMsgWriteDacOpenFailed;   // "Failed to open the key %s for WRITE_DAC access"
extern const char* const kMsgTokenOpenFailed;      // "Couldn't open the process token"

constexpr uint32_t kTokenAdjustAndQuery = 0x28;  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kKeyAllAccessAndSystemSecurity = 0x10F003F;
constexpr uint32_t kTrusteeUnknown = 0, kTrusteeGroup = 2, kTrusteeWellKnownGroup = 5;

// Each adds its problems in order (kMsgPrivilegeMissing and the WRITE_DAC
// one as warnings) and returns whether it did what it set out to do.
bool EnablePrivilege(Configurator& app, const std::string& privilege, bool enable,
                     Problems& problems);
bool GrantEnumeratorAccess(Configurator& app, Problems& problems);
bool GrantInstanceKeyAccess(Configurator& app, Problems& problems);

}  // namespace varnok::cfg
