// Whether a file may be trusted by the watcher service, which runs as
// LocalSystem: its program, and the profile whose values it writes into the
// driver's keys. Only Administrators and SYSTEM (and the system's installer
// account) may be able to change either (or its folder's list of files). The rule works on the file's owner and access list as
// read by the Win32 layer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::cli {

// System: SYSTEM, the system's installer account (TrustedInstaller), or
// the account that runs the check (SYSTEM when the service manager starts
// the service).
enum class Principal { Administrators, System, Other };

struct AccessEntry {
    Principal who = Principal::Other;
    std::string name;  // as the system names it ("BUILTIN\Users"), for the message
    bool allow = true;
    uint32_t mask = 0;
    bool inheritOnly = false;  // applies to children only, not to this object
};

struct ObjectAccess {
    bool hasDacl = true;  // a null list lets everyone do anything
    Principal owner = Principal::Administrators;
    std::string ownerName;
    std::vector<AccessEntry> entries;
};

// Rights that change a file or what it holds: write data, append, write
// attributes, delete, change the access list or owner, and the generic
// write and all.
constexpr uint32_t kFileChangeRights = 0x0002 | 0x0004 | 0x0100 | 0x00010000 | 0x00040000 |
                                       0x00080000 | 0x40000000 | 0x10000000;
// On the folder: remove any file in it (FILE_DELETE_CHILD), change its list.
constexpr uint32_t kFolderChangeRights = 0x0040 | 0x00040000 | 0x00080000 | 0x10000000;

// Who other than Administrators and SYSTEM could change the file `name`
// (the profile, or the program the service runs), each once
// ("BUILTIN\Users may change the profile"); empty when nobody.
std::vector<std::string> OthersWhoMayChange(const ObjectAccess& file, const ObjectAccess& folder,
                                            const std::string& name = "the profile");

}  // namespace varnok::cli
