// The test ftd2xx.dll: the simulated D2XX library behind FTDI's documented
// ABI, for the end-to-end tests and the demo under Wine. Never shipped.
//
// VARNOK_SIM_DEVICES names the device file (format: ParseDeviceFile). A
// missing or unparsable file means zero devices; the reason goes to the log.
// The file is read again by each FT_CreateDeviceInfoList while no device is
// open, so a test plugs a device in by adding its line.
// VARNOK_SIM_LOG names a file to which every call that changes something is
// appended, one line each ("FT_Reload 0x0403 0x0000").
//
// Built with VARNOK_PLANTED_COPY it plays a stray copy that must never be
// loaded: as soon as a process loads it, it creates the file named by
// VARNOK_SIM_LOG with ".planted" appended.
//
// The ABI: every function is WINAPI (__stdcall; on x64 the one calling
// convention), FT_STATUS is ULONG, FT_HANDLE is PVOID, DWORD and ULONG are
// 32-bit unsigned, LONG 32-bit signed: the fixed-width types of the D2XX seam,
// so that this file needs no Windows or vendor header; the names are exported
// undecorated through sim/ftd2xx.def.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/SimD2xx.h"

#if defined(_MSC_VER) || defined(__MINGW32__)
#define FT_API __stdcall
#else
#define FT_API
#endif

namespace {

using varnok::d2xx::DeviceListInfoNode;
using varnok::sim::SimD2xx;

using FtStatus = varnok::d2xx::Status;  // FT_STATUS (ULONG)
using FtHandle = varnok::d2xx::Handle;  // FT_HANDLE (PVOID)
using Dword = uint32_t;                 // DWORD

// An environment variable's text; empty when it is not set.
std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

// Appends one line to a file; nothing happens when it cannot be opened.
void AppendLine(const std::string& path, const std::string& line) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

class Library {
public:
    Library() : logPath_(Env("VARNOK_SIM_LOG")) { load(); }

    SimD2xx& sim() { return sim_; }

    // Takes the device file's devices again when its text has changed.
    void rescan() {
        if (sim_.openHandles() > 0) return;
        std::string text;
        if (!readFile(&text) || text == text_) return;
        flush();
        load();
    }

    // Appends the calls that changed something since the last flush.
    void flush() {
        for (; logged_ < sim_.changes.size(); ++logged_) write(sim_.changes[logged_]);
    }

private:
    bool readFile(std::string* text) const {
        std::ifstream in(Env("VARNOK_SIM_DEVICES"), std::ios::binary);
        if (!in) return false;
        std::ostringstream buffer;
        buffer << in.rdbuf();
        *text = buffer.str();
        return true;
    }

    void load() {
        const std::string path = Env("VARNOK_SIM_DEVICES");
        if (path.empty()) {
            write("device file: VARNOK_SIM_DEVICES is not set; no devices");
            return;
        }
        std::string text;
        if (!readFile(&text)) {
            write("device file: cannot read " + path + "; no devices");
            return;
        }
        text_ = text;
        // Parse into a scratch simulator: a file with an error yields no
        // devices at all, not the ones before the bad line.
        SimD2xx parsed;
        std::string error;
        if (!varnok::sim::ParseDeviceFile(text, &parsed, &error)) {
            write("device file: " + path + ": " + error + "; no devices");
            sim_ = SimD2xx();
        } else {
            sim_ = parsed;
        }
        logged_ = 0;
    }

    void write(const std::string& line) {
        if (!logPath_.empty()) AppendLine(logPath_, line);
    }

    SimD2xx sim_;
    std::string logPath_;
    std::string text_;  // of the device file, as last read
    std::size_t logged_ = 0;
};

// Created on the first call (the programs call from one thread).
#ifdef VARNOK_PLANTED_COPY
struct AnnounceLoad {
    AnnounceLoad() {
        const std::string log = Env("VARNOK_SIM_LOG");
        if (!log.empty()) AppendLine(log + ".planted", "the planted ftd2xx.dll was loaded");
    }
} announceLoad;
#endif

Library& Lib() {
    static Library lib;
    return lib;
}

// Runs one call and logs what it changed.
template <typename F>
FtStatus Call(F f) {
    Library& lib = Lib();
    FtStatus st = f(lib.sim());
    lib.flush();
    return st;
}

constexpr FtStatus kInvalidParameter = 6;  // FT_INVALID_PARAMETER

}  // namespace

extern "C" {

FtStatus FT_API FT_CreateDeviceInfoList(Dword* count) {
    if (count == nullptr) return kInvalidParameter;
    Lib().rescan();
    return Call([&](SimD2xx& s) { return s.CreateDeviceInfoList(count); });
}

FtStatus FT_API FT_GetDeviceInfoList(DeviceListInfoNode* nodes, Dword* count) {
    if (nodes == nullptr || count == nullptr) return kInvalidParameter;
    return Call([&](SimD2xx& s) { return s.GetDeviceInfoList(nodes, count); });
}

FtStatus FT_API FT_GetDeviceInfoDetail(Dword index, Dword* flags, Dword* type, Dword* id,
                                       Dword* locId, void* serial, void* description,
                                       FtHandle* handle) {
    return Call([&](SimD2xx& s) {
        return s.GetDeviceInfoDetail(index, flags, type, id, locId, static_cast<char*>(serial),
                                     static_cast<char*>(description), handle);
    });
}

FtStatus FT_API FT_Open(int index, FtHandle* handle) {
    if (handle == nullptr) return kInvalidParameter;
    return Call([&](SimD2xx& s) { return s.Open(index, handle); });
}

FtStatus FT_API FT_OpenEx(void* arg, Dword flags, FtHandle* handle) {
    if (handle == nullptr) return kInvalidParameter;
    // By location the location itself travels in the pointer argument.
    uint32_t location = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
    return Call([&](SimD2xx& s) { return s.OpenEx(location, flags, handle); });
}

FtStatus FT_API FT_Close(FtHandle handle) {
    return Call([&](SimD2xx& s) { return s.Close(handle); });
}

FtStatus FT_API FT_GetComPortNumber(FtHandle handle, int32_t* port) {
    if (port == nullptr) return kInvalidParameter;
    return Call([&](SimD2xx& s) { return s.GetComPortNumber(handle, port); });
}

FtStatus FT_API FT_EE_UASize(FtHandle handle, Dword* size) {
    if (size == nullptr) return kInvalidParameter;
    return Call([&](SimD2xx& s) { return s.EE_UASize(handle, size); });
}

FtStatus FT_API FT_EE_UARead(FtHandle handle, unsigned char* buffer, Dword length,
                             Dword* bytesRead) {
    if (buffer == nullptr || bytesRead == nullptr) return kInvalidParameter;
    return Call([&](SimD2xx& s) { return s.EE_UARead(handle, buffer, length, bytesRead); });
}

FtStatus FT_API FT_Reload(unsigned short vendorId, unsigned short productId) {
    return Call([&](SimD2xx& s) { return s.Reload(vendorId, productId); });
}

FtStatus FT_API FT_CyclePort(FtHandle handle) {
    return Call([&](SimD2xx& s) { return s.CyclePort(handle); });
}

}  // extern "C"
