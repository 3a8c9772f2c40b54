#include "cli/win32/Service.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ConfigSession.h"
#include "cli/ProfileAccess.h"
#include "cli/Values.h"
#include "cli/Watch.h"
#include "cli/WatchLog.h"
#include "cli/win32/RealConfigSeams.h"
#include "common/platform/FileNames.h"
#include "common/win32/FileNames.h"
#include "common/win32/Handles.h"
#include "common/win32/StopEvent.h"
#include "common/win32/Win32FileStore.h"

namespace varnok::cli {

namespace {

using win32::unique_schandle;

constexpr const wchar_t* kServiceName = L"VarnokPlusWatch";
constexpr const wchar_t* kDisplayName = L"Varnok Plus profile watcher";
constexpr const wchar_t* kDescription =
    L"Applies the site profile %ProgramData%\\Varnok Plus\\profile.json to every FTDI port "
    L"that appears (varnokctl watch).";
constexpr const char* kProfileName = "profile.json";
constexpr DWORD kStateWaitMs = 15000;

// Service-specific exit codes, as `sc query` shows them.
constexpr DWORD kExitRefused = 4;
constexpr DWORD kExitFailed = 1;

std::wstring DataFolder() { return win32::Win32FileStore::CommonAppDataFolder(L"Varnok Plus"); }
std::string DataFile(const char* name) { return win32::Utf8FromWide(DataFolder()) + "\\" + name; }

std::string SystemText(DWORD code) {
    win32::unique_local_ptr<wchar_t*> text;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<LPWSTR>(text.put()), 0,
                                   nullptr);
    std::string s = n > 0 ? win32::Utf8FromWide(std::wstring(text.get(), n)) : std::string();
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return "system error " + std::to_string(code) + (s.empty() ? "" : ": " + s);
}

// Fails with what went wrong, the system's last error, and what to do.
[[noreturn]] void FailWithLastError(const std::string& what, const char* advice = "") {
    const DWORD code = GetLastError();
    Fail(ExitStatus::Failed, what + " (" + SystemText(code) + ")" + advice);
}

constexpr const char* kElevate = "; run varnokctl from an elevated prompt";

// ---- the profile's access list ------------------------------------------

// The account this process runs as: SYSTEM for the service the service
// manager starts. What it may change is no one else's doing.
std::vector<uint8_t> ProcessUser() {
    std::vector<uint8_t> info;
    win32::unique_token token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        token.release();
        return info;
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 0x10000) return info;
    info.resize(size);
    if (!GetTokenInformation(token.get(), TokenUser, info.data(), size, &size)) info.clear();
    return info;
}

// NT SERVICE\TrustedInstaller, which owns what Windows installs.
bool IsTrustedInstaller(PSID sid) {
    win32::unique_local_ptr<LPWSTR> text;
    if (!ConvertSidToStringSidW(sid, text.put())) return false;
    return std::wstring(text.get()) ==
           L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}

Principal PrincipalOf(PSID sid) {
    static const std::vector<uint8_t> self = ProcessUser();
    if (sid == nullptr) return Principal::Other;
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Principal::Administrators;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsTrustedInstaller(sid)) return Principal::System;
    if (!self.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(self.data())->User.Sid))
        return Principal::System;
    return Principal::Other;
}

std::string NameOf(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return win32::Utf8FromWide(domainSize > 0 ? std::wstring(domain) + L"\\" + name : name);
    win32::unique_local_ptr<LPWSTR> text;
    if (!ConvertSidToStringSidW(sid, text.put())) return "an unknown account";
    return win32::Utf8FromWide(text.get());
}

// The owner and access list of a file or folder; false (with the error)
// when they cannot be read.
bool ReadAccess(const std::wstring& path, ObjectAccess* out, DWORD* error) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    win32::unique_local_ptr<PSECURITY_DESCRIPTOR> sd;  // owns what `owner` and `dacl` point into
    *error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                   nullptr, &dacl, nullptr, sd.put());
    if (*error != ERROR_SUCCESS) return false;
    out->owner = PrincipalOf(owner);
    out->ownerName = owner != nullptr ? NameOf(owner) : "no owner";
    out->hasDacl = dacl != nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) continue;
        const auto* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
            continue;
        // Both types share this layout.
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        PSID sid = &ace->SidStart;
        out->entries.push_back({PrincipalOf(sid), NameOf(sid),
                                header->AceType == ACCESS_ALLOWED_ACE_TYPE, ace->Mask,
                                (header->AceFlags & INHERIT_ONLY_ACE) != 0});
    }
    return true;
}

// Administrators and SYSTEM may do anything, users may read; nothing is
// inherited from above. On a folder the entries pass to what it holds.
DWORD Protect(std::wstring path, bool folder) {
    const std::wstring sddl = std::wstring(L"O:BAD:P") +
                              (folder ? L"(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)"
                                      : L"(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;BU)");
    win32::unique_local_ptr<PSECURITY_DESCRIPTOR> sd;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              sd.put(), nullptr))
        return GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID sid = nullptr;
    if (!GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted) ||
        !GetSecurityDescriptorOwner(sd.get(), &sid, &defaulted))
        return GetLastError();
    return SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                     PROTECTED_DACL_SECURITY_INFORMATION,
                                 sid, nullptr, dacl, nullptr);
}

// Empty when only Administrators and SYSTEM can change the profile;
// otherwise why the service must not use it.
std::string ProfileRefusal() {
    const std::wstring folder = DataFolder();
    const std::wstring file = folder + L"\\" + win32::WideFromUtf8(kProfileName);
    ObjectAccess fileAccess, folderAccess;
    DWORD error = 0;
    if (!ReadAccess(file, &fileAccess, &error) || !ReadAccess(folder, &folderAccess, &error))
        return DataFile(kProfileName) + ": its access list cannot be read (" + SystemText(error) +
               ")";
    const std::vector<std::string> others = OthersWhoMayChange(fileAccess, folderAccess);
    if (others.empty()) return {};
    return DataFile(kProfileName) +
           ": not used, since not only Administrators and SYSTEM can change it (" +
           Join(others, "; ") + "); install it again with varnokctl service install PROFILE";
}

// ---- the service manager ---------------------------------------------------

unique_schandle OpenManager(DWORD access, const char* advice = "") {
    unique_schandle manager(OpenSCManagerW(nullptr, nullptr, access));
    if (!manager) FailWithLastError("the service manager cannot be opened", advice);
    return manager;
}

// Waits until the service leaves `pending` (bounded); its status after.
SERVICE_STATUS WaitWhile(SC_HANDLE service, DWORD pending) {
    SERVICE_STATUS status{};
    for (DWORD waited = 0; QueryServiceStatus(service, &status) &&
                           status.dwCurrentState == pending && waited < kStateWaitMs;
         waited += 100)
        Sleep(100);
    return status;
}

bool StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return false;
    return WaitWhile(service, SERVICE_STOP_PENDING).dwCurrentState == SERVICE_STOPPED;
}

std::string ProgramPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return win32::Utf8FromWide(std::wstring(path.data(), n));
        path.resize(path.size() * 2);
    }
}

// Empty when only Administrators and SYSTEM can change this program (and
// its folder), which the service will run as LocalSystem; otherwise why it
// must not be installed as a service from here.
std::string ProgramRefusal() {
    const std::wstring file = win32::WideFromUtf8(ProgramPath());
    const std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
    ObjectAccess fileAccess, folderAccess;
    DWORD error = 0;
    if (file.empty() || !ReadAccess(file, &fileAccess, &error) ||
        !ReadAccess(folder, &folderAccess, &error))
        return "the program's access list cannot be read (" + SystemText(error) + ")";
    const std::vector<std::string> others =
        OthersWhoMayChange(fileAccess, folderAccess, "varnokctl.exe");
    if (others.empty()) return {};
    return ProgramPath() + ": the service would run it as LocalSystem, but not only "
                           "Administrators and SYSTEM can change it (" + Join(others, "; ") +
           "); install the service from C:\\Program Files\\Varnok Plus\\varnokctl.exe";
}

const char* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "starting";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_RUNNING: return "running";
    default: return "paused";
    }
}

int Install(const std::string& profile) {
    // The profile must be one varnokctl can apply (the very bytes that are
    // copied), and the program one that only administrators can replace.
    std::string text;
    {
        std::ifstream in(files::PathFromUtf8(profile), std::ios::binary);
        std::ostringstream buffer;
        buffer << in.rdbuf();
        if (!in) Fail(ExitStatus::Failed, profile + ": the file cannot be read");
        text = buffer.str();
    }
    (void)ParseDocument(text, profile);
    if (const std::string unsafe = ProgramRefusal(); !unsafe.empty())
        Fail(ExitStatus::Refused, unsafe);
    const auto protect = [](const std::wstring& path, bool isFolder, const std::string& shown) {
        if (const DWORD error = Protect(path, isFolder); error != ERROR_SUCCESS)
            Fail(ExitStatus::Failed,
                 shown + ": its access list cannot be set (" + SystemText(error) + ")");
    };
    win32::Win32FileStore folder(DataFolder());
    if (!folder.prepare())
        Fail(ExitStatus::Failed, folder.location() + ": the folder cannot be made");
    protect(DataFolder(), true, folder.location());
    if (!folder.writeFile(kProfileName, text))
        Fail(ExitStatus::Failed, DataFile(kProfileName) + ": the file cannot be written");
    protect(DataFolder() + L"\\" + win32::WideFromUtf8(kProfileName), false,
            DataFile(kProfileName));

    const unique_schandle manager =
        OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, kElevate);
    const std::wstring binary = L"\"" + win32::WideFromUtf8(ProgramPath()) + L"\" service run";
    unique_schandle service(CreateServiceW(manager.get(), kServiceName, kDisplayName,
                                           SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                           binary.c_str(), nullptr, nullptr, nullptr, nullptr,
                                           nullptr));
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        // Installed before: the new profile and program, started again.
        service.reset(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
        if (service && (!StopAndWait(service.get()) ||
                        !ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS,
                                              SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                              binary.c_str(), nullptr, nullptr, nullptr, nullptr,
                                              nullptr, kDisplayName)))
            FailWithLastError("the installed service cannot be changed");
    }
    if (!service) FailWithLastError("the service cannot be installed");
    SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kDescription)};
    (void)ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    if (!StartServiceW(service.get(), 0, nullptr) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        FailWithLastError("the service was installed but does not start");
    const SERVICE_STATUS status = WaitWhile(service.get(), SERVICE_START_PENDING);
    if (status.dwCurrentState != SERVICE_RUNNING)
        Fail(ExitStatus::Failed, "the service was installed but is " +
                                     std::string(StateName(status.dwCurrentState)) + "; see " +
                                     DataFile("watch.log"));
    std::cout << "installed and started \"Varnok Plus profile watcher\" with "
              << DataFile(kProfileName) << "; events in " << DataFile("watch.log") << "\n";
    return ToInt(ExitStatus::Done);
}

int Uninstall() {
    const unique_schandle manager = OpenManager(SC_MANAGER_CONNECT);
    const unique_schandle service(
        OpenServiceW(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        std::cout << "the service is not installed; nothing to remove\n";
        return ToInt(ExitStatus::Done);
    }
    if (!service) FailWithLastError("the service cannot be opened", kElevate);
    if (!StopAndWait(service.get())) FailWithLastError("the service does not stop");
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        FailWithLastError("the service cannot be removed");
    std::cout << "stopped and removed \"Varnok Plus profile watcher\"; " << DataFile(kProfileName)
              << " and " << DataFile("watch.log") << " are kept\n";
    return ToInt(ExitStatus::Done);
}

int Status(bool json) {
    const unique_schandle manager = OpenManager(SC_MANAGER_CONNECT);
    const unique_schandle service(OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    const bool installed = service.valid();
    if (!installed && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
        FailWithLastError("the service cannot be opened");
    if (installed && !QueryServiceStatus(service.get(), &status))
        FailWithLastError("the service's state cannot be read");
    const std::string state = installed ? StateName(status.dwCurrentState) : "not installed";
    if (json) {
        std::cout << "{\"installed\": " << (installed ? "true" : "false") << ", \"state\": \""
                  << state << "\"}\n";
    } else {
        std::cout << "Varnok Plus profile watcher: " << state << "\n";
        if (installed)
            std::cout << "profile: " << DataFile(kProfileName) << "\nlog: " << DataFile("watch.log")
                      << "\n";
    }
    return ToInt(installed ? ExitStatus::Done : ExitStatus::NotFound);
}

// ---- running as the service -------------------------------------------------

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
std::atomic<bool> g_stop{false};
const Command* g_command = nullptr;

void Report(DWORD state, DWORD exitCode = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 10000;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // The port under way is finished, then the watch ends.
        Report(SERVICE_STOP_PENDING);
        g_stop.store(true);
        win32::RaiseProcessStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// The watch with its events in the log, once the profile is found safe;
// the service's exit code.
DWORD Watch() {
    win32::Win32FileStore folder(DataFolder());
    win32::Win32LocalTime localTime;
    WatchLog log(folder, localTime);
    const auto write = [&log](const std::string& line) { (void)log.add(line); };
    if (const std::string refusal = ProfileRefusal(); !refusal.empty()) {
        write("varnokctl: " + refusal);
        return kExitRefused;
    }
    Report(SERVICE_RUNNING);
    RealConfigSeams real(DataFolder() + L"\\Backups");
    ConfigSeams& seams = real.seams();
    if (!seams.d2xxAvailable)
        write("varnokctl: " + d2xx::LibraryMissingText(seams.d2xxLoadError));
    write("watching with " + DataFile(kProfileName));
    const ExitStatus status =
        RunWatch(*g_command, DataFile(kProfileName), seams, {write, write}, &g_stop);
    if (status == ExitStatus::Interrupted) {
        write("stopped");
        return 0;
    }
    return status == ExitStatus::Refused ? kExitRefused : kExitFailed;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
    if (g_statusHandle == nullptr) return;
    (void)win32::ProcessStopEvent();
    Report(SERVICE_START_PENDING);
    const DWORD exitCode = Watch();
    Report(SERVICE_STOPPED, exitCode);
}

int Run(const Command& command) {
    g_command = &command;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain},
                                    {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        Fail(ExitStatus::Usage,
             "service run is for the service manager (" + SystemText(GetLastError()) + ")");
    return ToInt(ExitStatus::Done);
}

}  // namespace

int RunServiceCommand(const Command& command, const ServiceCommand& service) {
    try {
        switch (service.verb) {
        case ServiceCommand::Verb::Install: return Install(service.profile);
        case ServiceCommand::Verb::Uninstall: return Uninstall();
        case ServiceCommand::Verb::Status: return Status(command.options.json);
        case ServiceCommand::Verb::Run: return Run(command);
        }
    } catch (const CliError& e) {
        std::cerr << ErrorLine(e.what());
        return ToInt(e.status());
    }
    return ToInt(ExitStatus::Usage);
}

}  // namespace varnok::cli
