// The D2XX seam over FTDI's ftd2xx.dll, loaded at run time from the system
// folder only (where the FTDI driver package installs it). When the library
// or one of its functions is missing, every call fails with a non-zero
// status and loaded() is false; loadError() then says why.
#pragma once
#include <string>

#include "common/d2xx/D2xx.h"

namespace varnok::win32 {

// Restricts where the process loads libraries from to the system folder
// (and the program's own imports, which Windows resolves before this runs).
// Call first thing at start. False when the system lacks the call; the D2XX
// binding then still loads ftd2xx.dll by the system folder's full path.
bool RestrictLibrarySearchToSystem();

// The full path of `name` in the system folder; empty when unknown.
std::wstring SystemLibraryPath(const wchar_t* name);

class Win32D2xx : public d2xx::D2xx {
public:
    Win32D2xx();
    ~Win32D2xx() override;
    Win32D2xx(const Win32D2xx&) = delete;
    Win32D2xx& operator=(const Win32D2xx&) = delete;

    bool loaded() const { return loaded_; }
    const std::string& loadError() const { return loadError_; }

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override;
    d2xx::Status GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) override;
    d2xx::Status GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                     uint32_t* id, uint32_t* locId, char* serial,
                                     char* description, d2xx::Handle* handle) override;
    d2xx::Status Open(int index, d2xx::Handle* handle) override;
    d2xx::Status OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) override;
    d2xx::Status Close(d2xx::Handle handle) override;
    d2xx::Status GetComPortNumber(d2xx::Handle handle, int32_t* port) override;
    d2xx::Status EE_UASize(d2xx::Handle handle, uint32_t* size) override;
    d2xx::Status EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                           uint32_t* bytesRead) override;
    d2xx::Status Reload(uint16_t vendorId, uint16_t productId) override;

private:
    struct Functions;
    void* module_ = nullptr;  // HMODULE
    Functions* fn_ = nullptr;
    bool loaded_ = false;
    std::string loadError_;
};

}  // namespace varnok::win32
