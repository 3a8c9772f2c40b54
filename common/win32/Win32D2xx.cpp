#include "common/win32/Win32D2xx.h"

namespace varnok::win32 {

namespace {

using namespace ftabi;
static_assert(sizeof(DeviceListInfoNode) == sizeof(d2xx::DeviceListInfoNode),
              "device list node layout");
static_assert(sizeof(ULONG) == sizeof(uint32_t) && sizeof(DWORD) == sizeof(uint32_t) &&
                  sizeof(LONG) == sizeof(int32_t),
              "32-bit words");
static_assert(kOtherError == d2xx::kOtherError, "the not-loaded status");

}  // namespace

d2xx::Status Win32D2xx::CreateDeviceInfoList(uint32_t* count) {
    DWORD n = 0;
    FT_STATUS st = fn().createDeviceInfoList(&n);
    if (count != nullptr) *count = n;
    return st;
}

d2xx::Status Win32D2xx::GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) {
    DWORD n = count != nullptr ? *count : 0;
    FT_STATUS st = fn().getDeviceInfoList(reinterpret_cast<DeviceListInfoNode*>(nodes), &n);
    if (count != nullptr) *count = n;
    return st;
}

d2xx::Status Win32D2xx::GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                            uint32_t* id, uint32_t* locId, char* serial,
                                            char* description, d2xx::Handle* handle) {
    DWORD f = 0, t = 0, i = 0, l = 0;
    FT_HANDLE h = nullptr;
    FT_STATUS st = fn().getDeviceInfoDetail(index, &f, &t, &i, &l, serial, description, &h);
    if (flags != nullptr) *flags = f;
    if (type != nullptr) *type = t;
    if (id != nullptr) *id = i;
    if (locId != nullptr) *locId = l;
    if (handle != nullptr) *handle = h;
    return st;
}

d2xx::Status Win32D2xx::Open(int index, d2xx::Handle* handle) {
    return fn().open(index, handle);
}

d2xx::Status Win32D2xx::OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) {
    // By location the first argument carries the location itself, by value.
    return fn().openEx(reinterpret_cast<PVOID>(static_cast<uintptr_t>(location)), flags,
                            handle);
}

d2xx::Status Win32D2xx::Close(d2xx::Handle handle) { return fn().close(handle); }

d2xx::Status Win32D2xx::GetComPortNumber(d2xx::Handle handle, int32_t* port) {
    LONG n = -1;
    FT_STATUS st = fn().getComPortNumber(handle, &n);
    if (port != nullptr) *port = n;
    return st;
}

d2xx::Status Win32D2xx::EE_UASize(d2xx::Handle handle, uint32_t* size) {
    DWORD n = 0;
    FT_STATUS st = fn().eeUaSize(handle, &n);
    if (size != nullptr) *size = n;
    return st;
}

d2xx::Status Win32D2xx::EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                                  uint32_t* bytesRead) {
    DWORD n = 0;
    FT_STATUS st = fn().eeUaRead(handle, buffer, length, &n);
    if (bytesRead != nullptr) *bytesRead = n;
    return st;
}

d2xx::Status Win32D2xx::Reload(uint16_t vendorId, uint16_t productId) {
    return fn().reload(vendorId, productId);
}

d2xx::Status Win32D2xx::CyclePort(d2xx::Handle handle) { return fn().cyclePort(handle); }

}  // namespace varnok::win32
