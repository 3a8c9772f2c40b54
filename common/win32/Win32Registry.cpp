#include "common/win32/Win32Registry.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

namespace varnok::win32 {

namespace {

// A well-known SID from AllocateAndInitializeSid, released with FreeSid.
class WellKnownSid {
public:
    explicit WellKnownSid(reg::Trustee trustee) {
        SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
        SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
        SID_IDENTIFIER_AUTHORITY creator = {SECURITY_CREATOR_SID_AUTHORITY};
        BOOL ok = FALSE;
        switch (trustee) {
            case reg::Trustee::Everyone:
                ok = AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0,
                                              0, &sid_);
                break;
            case reg::Trustee::Administrators:
                ok = AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                              DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid_);
                break;
            case reg::Trustee::LocalSystem:
                ok = AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0,
                                              0, 0, &sid_);
                break;
            case reg::Trustee::CreatorOwner:
                ok = AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0,
                                              0, 0, 0, 0, &sid_);
                break;
        }
        if (!ok) sid_ = nullptr;
    }
    WellKnownSid(const WellKnownSid&) = delete;
    WellKnownSid& operator=(const WellKnownSid&) = delete;
    ~WellKnownSid() {
        if (sid_ != nullptr) FreeSid(sid_);
    }
    PSID get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

class LocalMemory {
public:
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() {
        if (p_ != nullptr) LocalFree(p_);
    }
    PACL* aclOut() { return reinterpret_cast<PACL*>(&p_); }
    PACL acl() const { return static_cast<PACL>(p_); }

private:
    HLOCAL p_ = nullptr;
};

class ScopedHandle {
public:
    ScopedHandle() = default;
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { close(); }
    HANDLE* out() { return &h_; }
    HANDLE get() const { return h_; }
    BOOL close() {
        BOOL ok = TRUE;
        if (h_ != nullptr) ok = CloseHandle(h_);
        h_ = nullptr;
        return ok;
    }

private:
    HANDLE h_ = nullptr;
};

class ScopedLibrary {
public:
    explicit ScopedLibrary(const char* name) : h_(LoadLibraryA(name)) {}
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;
    ~ScopedLibrary() {
        if (h_ != nullptr) FreeLibrary(h_);
    }
    HMODULE get() const { return h_; }

private:
    HMODULE h_;
};

class Win32RegistryKey : public reg::RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;
    ~Win32RegistryKey() override { RegCloseKey(key_); }

    reg::Status queryValue(const std::string& name, std::size_t capacity, uint32_t* type,
                           std::vector<uint8_t>* data) override {
        data->clear();
        if (capacity > 0xFFFFFFFFu) capacity = 0xFFFFFFFFu;
        std::vector<uint8_t> buffer(capacity == 0 ? 1 : capacity);
        DWORD valueType = REG_NONE;
        DWORD size = static_cast<DWORD>(capacity);
        LONG st = RegQueryValueExA(key_, name.c_str(), nullptr, &valueType, buffer.data(), &size);
        if (type != nullptr) *type = valueType;
        if (st != ERROR_SUCCESS) return st;
        if (size > capacity) size = static_cast<DWORD>(capacity);
        data->assign(buffer.begin(), buffer.begin() + size);
        return reg::kSuccess;
    }

    reg::Status setValue(const std::string& name, uint32_t type, const uint8_t* data,
                         std::size_t size) override {
        if (size > 0xFFFFFFFFu) return reg::kInvalidParameter;
        return RegSetValueExA(key_, name.c_str(), 0, type, data, static_cast<DWORD>(size));
    }

    reg::Status deleteValue(const std::string& name) override {
        return RegDeleteValueA(key_, name.c_str());
    }

    reg::Status subKeyCount(uint32_t* count) override {
        DWORD n = 0;
        LONG st = RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
        *count = st == ERROR_SUCCESS ? n : 0;
        return st;
    }

    reg::Status subKeyName(uint32_t index, std::size_t capacity, std::string* name) override {
        name->clear();
        if (capacity > 0xFFFF) capacity = 0xFFFF;
        std::vector<char> buffer(capacity == 0 ? 1 : capacity, '\0');
        DWORD size = static_cast<DWORD>(capacity);
        LONG st = RegEnumKeyExA(key_, index, buffer.data(), &size, nullptr, nullptr, nullptr,
                                nullptr);
        if (st == ERROR_SUCCESS) name->assign(buffer.data(), size < capacity ? size : capacity);
        return st;
    }

    reg::Status setDacl(const std::vector<reg::AccessEntry>& entries) override {
        // One SID per entry (each entry names its own trustee), all released
        // on every path.
        std::vector<std::unique_ptr<WellKnownSid>> sids;
        std::vector<EXPLICIT_ACCESS_A> access(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            sids.push_back(std::make_unique<WellKnownSid>(entries[i].trustee));
            if (sids.back()->get() == nullptr) return static_cast<reg::Status>(GetLastError());
            EXPLICIT_ACCESS_A& ea = access[i];
            ZeroMemory(&ea, sizeof ea);
            ea.grfAccessPermissions = entries[i].rights;
            ea.grfAccessMode = GRANT_ACCESS;
            ea.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
            ea.Trustee.TrusteeForm = TRUSTEE_IS_SID;
            ea.Trustee.TrusteeType = static_cast<TRUSTEE_TYPE>(entries[i].trusteeType);
            ea.Trustee.ptstrName = static_cast<LPSTR>(sids.back()->get());
        }
        LocalMemory acl;
        DWORD st = SetEntriesInAclA(static_cast<ULONG>(access.size()), access.data(), nullptr,
                                    acl.aclOut());
        if (st != ERROR_SUCCESS) return static_cast<reg::Status>(st);
        SECURITY_DESCRIPTOR sd;
        if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION))
            return static_cast<reg::Status>(GetLastError());
        if (!SetSecurityDescriptorDacl(&sd, TRUE, acl.acl(), FALSE))
            return static_cast<reg::Status>(GetLastError());
        return RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd);
    }

private:
    HKEY key_;
};

}  // namespace

reg::Status Win32Registry::openKey(const std::string& path, uint32_t access,
                                   std::unique_ptr<reg::RegistryKey>* key) {
    key->reset();
    HKEY h = nullptr;
    LONG st = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &h);
    if (st != ERROR_SUCCESS) return st;
    *key = std::make_unique<Win32RegistryKey>(h);
    return reg::kSuccess;
}

reg::Status Win32Registry::setOwnerToAdministrators(const std::string& objectName) {
    WellKnownSid admins(reg::Trustee::Administrators);
    if (admins.get() == nullptr) return static_cast<reg::Status>(GetLastError());
    std::vector<char> name(objectName.begin(), objectName.end());
    name.push_back('\0');
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
    ScopedLibrary advapi("Advapi32.dll");
    if (advapi.get() == nullptr) return static_cast<reg::Status>(GetLastError());
    auto openToken = reinterpret_cast<OpenProcessTokenFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi.get(), "OpenProcessToken")));
    auto adjust = reinterpret_cast<AdjustTokenPrivilegesFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi.get(), "AdjustTokenPrivileges")));
    auto lookup = reinterpret_cast<LookupPrivilegeValueFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi.get(), "LookupPrivilegeValueA")));
    if (openToken == nullptr || adjust == nullptr || lookup == nullptr)
        return static_cast<reg::Status>(GetLastError());

    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof privileges);
    if (!lookup(nullptr, privilege.c_str(), &privileges.Privileges[0].Luid))
        return static_cast<reg::Status>(GetLastError());
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    ScopedHandle token;
    if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.out()))
        return static_cast<reg::Status>(GetLastError());
    *adjusted = adjust(token.get(), FALSE, &privileges, 16, nullptr, nullptr) != FALSE;
    const DWORD error = GetLastError();
    return static_cast<reg::Status>(error);
}

reg::Status Win32Registry::probeProcessToken(uint32_t access) {
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), access, token.out()))
        return static_cast<reg::Status>(GetLastError());
    // The user information is read (size first, then data) but not used.
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size > 0 && size < 0x10000) {
        std::vector<uint8_t> info(size);
        GetTokenInformation(token.get(), TokenUser, info.data(), size, &size);
    }
    if (!token.close()) return static_cast<reg::Status>(GetLastError());
    return reg::kSuccess;
}

}  // namespace varnok::win32
