// The D2XX seam over FTDI's ftd2xx.dll (common/win32/D2xxLibrary). When the
// library or one of its functions is missing, every call fails with
// FT_OTHER_ERROR and loaded() is false; loadError() then says why.
#pragma once
#include "common/d2xx/D2xx.h"
#include "common/win32/D2xxLibrary.h"

namespace varnok::win32 {

class Win32D2xx : public d2xx::D2xx, public D2xxLibrary {
public:
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
    d2xx::Status CyclePort(d2xx::Handle handle) override;
};

}  // namespace varnok::win32
