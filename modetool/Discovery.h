// Finding the maker's adapters among the FTDI devices: "Varnok Plus"
// adapters through their configuration interface, other adapters through a
// first interface (location ending in 1) that announces itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "modetool/ModeTool.h"
#include "modetool/Protocol.h"

namespace varnok::mode {

constexpr int kEnumListFailed = -1;
constexpr int kEnumNoMemory = -2;
constexpr int kEnumGetListFailed = -3;

extern const char kConfigInterfaceMark[];  // "Varnok Plus - Config"
extern const char kFamilyMark[];           // "Varnok Plus"

extern const char kNoDeviceCaption[];
extern const char kNoDeviceText[];
extern const char kEnumFailedFormat[];     // "EnumVarnokDevices failed (%d)"

// Releases the old array, then fills it: n > 0 adapters found, 0 none,
// -1 / -2 / -3 when the device list could not be had.
int EnumVarnokDevices(ModeTool& tool, AdapterArray* array);

// The number behind the first "1," of the user-area text, which the EEPROM
// holds with each pair of bytes exchanged. 0 without "1,".
int32_t ParseUserAreaNumber(const uint8_t* data, std::size_t size);

// Location of port k (from 0) of a "Varnok Plus" adapter whose configuration
// interface is at `configLocation`.
uint32_t PortLocation(uint32_t configLocation, int k);

// Lines of the device and port lists.
std::string DeviceLine(const AdapterRecord& record);
std::string PortLine(const AdapterRecord& record, int portIndex);

}  // namespace varnok::mode
