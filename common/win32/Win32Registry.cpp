#include "common/win32/Win32Registry.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <vector>

#include "common/win32/Handles.h"
#include "common/win32/StopEvent.h"

namespace varnok::win32 {

namespace {

// A well-known SID; null (with the system's error) when it cannot be made.
unique_sid WellKnownSid(reg::Trustee trustee) {
    struct WellKnown {
        SID_IDENTIFIER_AUTHORITY authority;
        BYTE count;
        DWORD rids[2];
    };
    // In the order of reg::Trustee.
    WellKnown known[] = {
        {SECURITY_WORLD_SID_AUTHORITY, 1, {SECURITY_WORLD_RID, 0}},
        {SECURITY_NT_AUTHORITY, 2, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
        {SECURITY_NT_AUTHORITY, 1, {SECURITY_LOCAL_SYSTEM_RID, 0}},
        {SECURITY_CREATOR_SID_AUTHORITY, 1, {SECURITY_CREATOR_OWNER_RID, 0}},
    };
    unique_sid sid;
    const auto index = static_cast<std::size_t>(trustee);
    if (index >= sizeof known / sizeof known[0]) return sid;
    WellKnown& k = known[index];
    if (!AllocateAndInitializeSid(&k.authority, k.count, k.rids[0], k.rids[1], 0, 0, 0, 0, 0, 0,
                                  sid.put()))
        sid.release();  // nothing was allocated
    return sid;
}

class Win32RegistryKey : public reg::RegistryKey {
public:
    explicit Win32RegistryKey(unique_hkey key) : key_(std::move(key)) {}

    reg::Status queryValue(const std::string& name, std::size_t capacity, uint32_t* type,
                           std::vector<uint8_t>* data) override {
        data->clear();
        if (capacity > 0xFFFFFFFFu) capacity = 0xFFFFFFFFu;
        std::vector<uint8_t> buffer(capacity == 0 ? 1 : capacity);
        DWORD valueType = REG_NONE;
        DWORD size = static_cast<DWORD>(capacity);
        LONG st = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &valueType, buffer.data(),
                                   &size);
        if (type != nullptr) *type = valueType;
        if (st != ERROR_SUCCESS) return st;
        data->assign(buffer.begin(), buffer.begin() + std::min<std::size_t>(size, capacity));
        return reg::kSuccess;
    }

    reg::Status setValue(const std::string& name, uint32_t type, const uint8_t* data,
                         std::size_t size) override {
        if (size > 0xFFFFFFFFu) return reg::kInvalidParameter;
        return RegSetValueExA(key_.get(), name.c_str(), 0, type, data, static_cast<DWORD>(size));
    }

    reg::Status deleteValue(const std::string& name) override {
        return RegDeleteValueA(key_.get(), name.c_str());
    }

    reg::Status subKeyCount(uint32_t* count) override {
        DWORD n = 0;
        LONG st = RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, &n, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
        *count = st == ERROR_SUCCESS ? n : 0;
        return st;
    }

    reg::Status subKeyName(uint32_t index, std::size_t capacity, std::string* name) override {
        name->clear();
        if (capacity > 0xFFFF) capacity = 0xFFFF;
        std::vector<char> buffer(capacity == 0 ? 1 : capacity, '\0');
        DWORD size = static_cast<DWORD>(capacity);
        LONG st = RegEnumKeyExA(key_.get(), index, buffer.data(), &size, nullptr, nullptr, nullptr,
                                nullptr);
        if (st == ERROR_SUCCESS) name->assign(buffer.data(), size < capacity ? size : capacity);
        return st;
    }

    reg::Status setDacl(const std::vector<reg::AccessEntry>& entries) override {
        // One SID per entry (each entry names its own trustee), all released
        // on every path.
        std::vector<unique_sid> sids;
        std::vector<EXPLICIT_ACCESS_A> access(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            sids.push_back(WellKnownSid(entries[i].trustee));
            if (!sids.back()) return static_cast<reg::Status>(GetLastError());
            EXPLICIT_ACCESS_A& ea = access[i];  // zeroed by the vector
            ea.grfAccessPermissions = entries[i].rights;
            ea.grfAccessMode = GRANT_ACCESS;
            ea.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
            ea.Trustee.TrusteeForm = TRUSTEE_IS_SID;
            ea.Trustee.TrusteeType = static_cast<TRUSTEE_TYPE>(entries[i].trusteeType);
            ea.Trustee.ptstrName = static_cast<LPSTR>(sids.back().get());
        }
        unique_local_ptr<PACL> acl;
        DWORD st = SetEntriesInAclA(static_cast<ULONG>(access.size()), access.data(), nullptr,
                                    acl.put());
        if (st != ERROR_SUCCESS) return static_cast<reg::Status>(st);
        SECURITY_DESCRIPTOR sd;
        if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION))
            return static_cast<reg::Status>(GetLastError());
        if (!SetSecurityDescriptorDacl(&sd, TRUE, acl.get(), FALSE))
            return static_cast<reg::Status>(GetLastError());
        return RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, &sd);
    }

private:
    unique_hkey key_;
};

// A change notification on a key and its subtree, armed again each time it
// fires so that changes made while the caller looks at the keys wake the
// next wait.
class Win32KeyWatch : public reg::KeyWatch {
public:
    static constexpr DWORD kFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

    Win32KeyWatch(unique_hkey key, unique_event event)
        : key_(std::move(key)), event_(std::move(event)) {}

    reg::Status arm() {
        return RegNotifyChangeKeyValue(key_.get(), TRUE, kFilter, event_.get(), TRUE);
    }

    Wake wait(uint32_t timeoutMs) override {
        const HANDLE handles[] = {event_.get(), ProcessStopEvent()};
        const DWORD count = handles[1] != nullptr ? 2 : 1;
        const DWORD got = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
        if (got == WAIT_OBJECT_0) {
            // Re-armed at once: a notification covers one change at most.
            // If it cannot be armed the next wait still ends by its time-out.
            (void)arm();
            return Wake::Changed;
        }
        if (got == WAIT_OBJECT_0 + 1) return Wake::Stopped;
        return Wake::TimedOut;
    }

private:
    unique_hkey key_;
    unique_event event_;  // auto-reset
};

}  // namespace

reg::Status Win32Registry::watchKey(const std::string& path,
                                    std::unique_ptr<reg::KeyWatch>* watch) {
    watch->reset();
    unique_hkey key;
    LONG st = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_NOTIFY, key.put());
    if (st != ERROR_SUCCESS) {
        key.release();
        return st;
    }
    unique_event event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event) return static_cast<reg::Status>(GetLastError());
    auto made = std::make_unique<Win32KeyWatch>(std::move(key), std::move(event));
    st = made->arm();
    if (st != ERROR_SUCCESS) return st;
    *watch = std::move(made);
    return reg::kSuccess;
}

reg::Status Win32Registry::openKey(const std::string& path, uint32_t access,
                                   std::unique_ptr<reg::RegistryKey>* key) {
    key->reset();
    unique_hkey h;
    LONG st = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, h.put());
    if (st != ERROR_SUCCESS) {
        h.release();  // nothing was opened
        return st;
    }
    *key = std::make_unique<Win32RegistryKey>(std::move(h));
    return reg::kSuccess;
}

reg::Status Win32Registry::setOwnerToAdministrators(const std::string& objectName) {
    const unique_sid admins = WellKnownSid(reg::Trustee::Administrators);
    if (!admins) return static_cast<reg::Status>(GetLastError());
    std::string name = objectName;  // the call takes a writable name
    return static_cast<reg::Status>(SetNamedSecurityInfoA(name.data(), SE_REGISTRY_KEY,
                                                          OWNER_SECURITY_INFORMATION,
                                                          admins.get(), nullptr, nullptr,
                                                          nullptr));
}

reg::Status Win32Registry::enablePrivilege(const std::string& privilege, bool enable,
                                           bool* adjusted) {
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using AdjustTokenPrivilegesFn =
        BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);

    *adjusted = false;
    const unique_hmodule advapi(LoadLibraryA("Advapi32.dll"));
    if (!advapi) return static_cast<reg::Status>(GetLastError());
    auto openToken = LibraryFunction<OpenProcessTokenFn>(advapi.get(), "OpenProcessToken");
    auto adjust = LibraryFunction<AdjustTokenPrivilegesFn>(advapi.get(), "AdjustTokenPrivileges");
    auto lookup = LibraryFunction<LookupPrivilegeValueFn>(advapi.get(), "LookupPrivilegeValueA");
    if (openToken == nullptr || adjust == nullptr || lookup == nullptr)
        return static_cast<reg::Status>(GetLastError());

    TOKEN_PRIVILEGES privileges{};
    if (!lookup(nullptr, privilege.c_str(), &privileges.Privileges[0].Luid))
        return static_cast<reg::Status>(GetLastError());
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    unique_token token;
    if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()))
        return static_cast<reg::Status>(GetLastError());
    *adjusted = adjust(token.get(), FALSE, &privileges, 16, nullptr, nullptr) != FALSE;
    return static_cast<reg::Status>(GetLastError());
}

reg::Status Win32Registry::probeProcessToken(uint32_t access) {
    unique_token token;
    if (!OpenProcessToken(GetCurrentProcess(), access, token.put()))
        return static_cast<reg::Status>(GetLastError());
    // The user information is read (size first, then data) but not used.
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size > 0 && size < 0x10000) {
        std::vector<uint8_t> info(size);
        GetTokenInformation(token.get(), TokenUser, info.data(), size, &size);
    }
    if (!CloseHandle(token.release())) return static_cast<reg::Status>(GetLastError());
    return reg::kSuccess;
}

}  // namespace varnok::win32
