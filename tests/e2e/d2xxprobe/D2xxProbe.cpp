// Calls the ten functions of the system folder's ftd2xx.dll (loaded by the
// programs' own loader, from there only) and prints what they return, one
// line each. The end-to-end tests use it to check the test ftd2xx.dll's exports and ABI under Wine.
//   d2xxprobe list            every device: detail, COM number, user area
//   d2xxprobe nodes           FT_GetDeviceInfoList
//   d2xxprobe reload VID PID  FT_Reload (hex ids)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/win32/D2xxLibrary.h"

using namespace varnok::win32::ftabi;
using FT_DEVICE_LIST_INFO_NODE = DeviceListInfoNode;

int main(int argc, char** argv) {
    const varnok::win32::D2xxLibrary lib;
    if (!lib.loaded() && lib.missingExports().empty()) {
        std::printf("cannot load ftd2xx.dll\n");
        return 2;
    }
    for (const std::string& name : lib.missingExports())
        std::printf("missing export %s\n", name.c_str());
    const Functions& ft = lib.fn();
    const bool all = lib.loaded();
    int rc = all ? 0 : 3;
    const char* cmd = argc > 1 ? argv[1] : "list";
    if (all && std::strcmp(cmd, "reload") == 0 && argc == 4) {
        WORD vid = static_cast<WORD>(std::strtoul(argv[2], nullptr, 16));
        WORD pid = static_cast<WORD>(std::strtoul(argv[3], nullptr, 16));
        std::printf("reload %lu\n", ft.reload(vid, pid));
    } else if (all && std::strcmp(cmd, "nodes") == 0) {
        DWORD n = 0;
        FT_STATUS st = ft.createDeviceInfoList(&n);
        std::printf("count %lu %lu\n", st, n);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(n + 1);
        DWORD got = 0;
        st = ft.getDeviceInfoList(nodes.data(), &got);
        std::printf("list %lu %lu\n", st, got);
        for (DWORD i = 0; st == 0 && i < got && i < n; ++i) {
            const auto& d = nodes[i];
            std::printf("node %lu flags=%lu type=%lu id=%08lx loc=%lx serial=%.16s desc=%.64s\n", i, d.Flags,
                        d.Type, d.ID, d.LocId, d.SerialNumber, d.Description);
        }
    } else if (all) {
        DWORD n = 0;
        FT_STATUS st = ft.createDeviceInfoList(&n);
        std::printf("count %lu %lu\n", st, n);
        for (DWORD i = 0; st == 0 && i < n; ++i) {
            DWORD flags = 0, type = 0, id = 0, loc = 0;
            char serial[17] = {}, desc[65] = {};
            FT_HANDLE unused = nullptr;
            FT_STATUS ds =
                ft.getDeviceInfoDetail(i, &flags, &type, &id, &loc, serial, desc, &unused);
            std::printf("device %lu status=%lu flags=%lu type=%lu id=%08lx loc=%lx serial=%s desc=%s\n", i, ds,
                        flags, type, id, loc, serial, desc);
            FT_HANDLE h = nullptr;
            FT_STATUS os = ft.openEx(reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(loc)), 4, &h);
            if (os != 0) {
                std::printf("  open %lu\n", os);
                continue;
            }
            LONG com = 0;
            FT_STATUS cs = ft.getComPortNumber(h, &com);
            DWORD size = 0;
            FT_STATUS us = ft.eeUaSize(h, &size);
            std::printf("  com %lu %ld ua %lu %lu\n", cs, com, us, size);
            if (us == 0 && size > 0) {
                std::vector<unsigned char> buf(size);
                DWORD got = 0;
                FT_STATUS rs = ft.eeUaRead(h, buf.data(), size, &got);
                std::printf("  uaread %lu %lu %.*s\n", rs, got, static_cast<int>(got), buf.data());
            }
            std::printf("  close %lu\n", ft.close(h));
        }
        FT_HANDLE h = nullptr;
        std::printf("open-index-0 %lu\n", ft.open(0, &h));
        if (h != nullptr) ft.close(h);
    }
    return rc;
}
