// Registry seam: HKEY_LOCAL_MACHINE only, ANSI names. Keys are RAII objects:
// destroying a RegistryKey closes it, so every key is closed on every path.
// Status codes are Win32 error codes (0 = ERROR_SUCCESS), as LONG: 32 bits
// and signed in every build, so that the native tests see the shipped width.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnok::reg {

using Status = int32_t;  // LONG
constexpr Status kSuccess = 0;
constexpr Status kFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
constexpr Status kAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr Status kInvalidParameter = 87;
constexpr Status kMoreData = 234;     // ERROR_MORE_DATA
constexpr Status kNoMoreItems = 259;  // ERROR_NO_MORE_ITEMS
constexpr Status kNotAllAssigned = 1300;

// Value types.
constexpr uint32_t kNone = 0;
constexpr uint32_t kSz = 1;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;
constexpr uint32_t kMultiSz = 7;

// Access masks the programs open keys with.
constexpr uint32_t kKeyRead = 0x20019;       // KEY_READ
constexpr uint32_t kKeyAllAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr uint32_t kWriteDac = 0x40000;      // WRITE_DAC

// Well-known trustees of the access entries the configurator installs.
enum class Trustee { Everyone, Administrators, LocalSystem, CreatorOwner };

// One explicit access entry: GRANT_ACCESS, inheritance 3
// (SUB_CONTAINERS_AND_OBJECTS_INHERIT), trustee given as a SID.
struct AccessEntry {
    Trustee trustee;
    uint32_t rights;
    uint32_t trusteeType;  // TRUSTEE_IS_UNKNOWN 0, _GROUP 2, _WELL_KNOWN_GROUP 5
    bool operator==(const AccessEntry& o) const {
        return trustee == o.trustee && rights == o.rights && trusteeType == o.trusteeType;
    }
};

class RegistryKey {
public:
    virtual ~RegistryKey() = default;  // closes the key
    // RegQueryValueExA offered `capacity` bytes. On success *data holds the
    // value's bytes (its real size, at most capacity). A value larger than
    // capacity gives kMoreData and leaves *data empty. `type` may be null.
    virtual Status queryValue(const std::string& name, std::size_t capacity, uint32_t* type,
                              std::vector<uint8_t>* data) = 0;
    virtual Status setValue(const std::string& name, uint32_t type, const uint8_t* data,
                            std::size_t size) = 0;
    virtual Status deleteValue(const std::string& name) = 0;
    virtual Status subKeyCount(uint32_t* count) = 0;
    // RegEnumKeyExA with a name buffer of `capacity` bytes (NUL included).
    virtual Status subKeyName(uint32_t index, std::size_t capacity, std::string* name) = 0;
    // Installs a DACL made of these entries alone (key opened with WRITE_DAC).
    virtual Status setDacl(const std::vector<AccessEntry>& entries) = 0;
};

// Waits for keys to be created or deleted, or values to be set, anywhere
// below one key. Made by Registry::watchKey; destroying it ends the watch.
class KeyWatch {
public:
    enum class Wake { Changed, TimedOut, Stopped };
    virtual ~KeyWatch() = default;
    // Returns Changed as soon as something below the watched key changed
    // since the watch was made or last returned Changed (also when that
    // happened before this call), TimedOut after `timeoutMs` without a
    // change, Stopped when the process has been asked to stop.
    virtual Wake wait(uint32_t timeoutMs) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access).
    virtual Status openKey(const std::string& path, uint32_t access,
                           std::unique_ptr<RegistryKey>* key) = 0;
    // SetNamedSecurityInfoA(objectName, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION,
    // Administrators); objectName is "MACHINE\\<path>".
    virtual Status setOwnerToAdministrators(const std::string& objectName) = 0;
    // Enables or disables a privilege of the process token, resolving the
    // advapi32 entry points at run time. *adjusted is true when the token was
    // adjusted; the return value is the thread's last error afterwards
    // (kNotAllAssigned when the token lacks the privilege).
    virtual Status enablePrivilege(const std::string& privilege, bool enable, bool* adjusted) = 0;
    // Opens and closes the process token with the given access (0x28 in the
    // permission pass); kSuccess when both succeeded.
    virtual Status probeProcessToken(uint32_t access) = 0;
    // RegNotifyChangeKeyValue on `path` and its whole subtree (key names
    // and values): kFileNotFound when the key does not exist.
    virtual Status watchKey(const std::string& path, std::unique_ptr<KeyWatch>* watch) = 0;
};

// Convenience: reads a value into a fixed-size field the way the programs
// do (offering exactly the field's size). Returns the status; on success
// the field's bytes after the value are zero.
Status QueryIntoField(RegistryKey& key, const std::string& name, void* field, std::size_t size);

}  // namespace varnok::reg
