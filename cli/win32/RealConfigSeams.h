// The seams of the configuration commands (and the watcher) on the real
// registry, D2XX library and COM ports, with backups in a given folder.
#pragma once
#include <string>
#include <utility>

#include "cli/ConfigCommands.h"
#include "common/win32/RealDevices.h"
#include "common/win32/Win32FileStore.h"
#include "common/win32/Win32Registry.h"

namespace varnok::cli {

struct RealConfigSeams {
    explicit RealConfigSeams(std::wstring backups) : backupFolder(std::move(backups)) {
        devices.state.backupFolder = &backupFolder;
        devices.state.localTime = &localTime;
    }
    RealConfigSeams(const RealConfigSeams&) = delete;
    RealConfigSeams& operator=(const RealConfigSeams&) = delete;

    ConfigSeams& seams() { return devices.state; }

    win32::Win32Registry registry;
    win32::Win32FileStore backupFolder;
    win32::Win32LocalTime localTime;
    win32::OnRealDevices<ConfigSeams> devices{registry};  // last: made after the others
};

}  // namespace varnok::cli
