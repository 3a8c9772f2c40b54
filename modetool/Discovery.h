// Finding the maker's adapters among the FTDI devices: "Varnok Plus"
// adapters through their configuration interface, other adapters through a
// first interface (location ending in 1) that announces itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modetool/ModeTool.h"
#include "modetool/Protocol.h"

namespace varnok::mode {

extern const char kConfigInterfaceMark[];  // "Varnok Plus - Config"
extern const char kFamilyMark[];           // "Varnok Plus"

// How a search went; a failure's value is the number that the
// "EnumVarnokDevices failed (%d)" message shows.
enum class SearchStatus {
    Found = 1,           // one adapter or more
    NoneFound = 0,       // also when D2XX reports no device at all
    ListFailed = -1,     // FT_CreateDeviceInfoList failed (or no library)
    NoMemory = -2,       // no room for the device list
    GetListFailed = -3,  // FT_GetDeviceInfoList failed
};

struct SearchResult {
    SearchStatus status = SearchStatus::NoneFound;
    AdapterArray adapters;  // in device-list order; empty unless Found
};

// One device of the D2XX list (at `index`): its record when it is one of the
// maker's adapters and answers; nothing when it is not one or cannot be
// used; the query's failure when it was asked and failed. Independent of
// every other device.
using Probe = Result<std::optional<AdapterRecord>>;

// A device is probed in three steps, so that the serial exchanges of several
// devices may overlap while the D2XX calls stay one at a time:
// PrepareProbe (D2XX only) says whether the device is one to ask and at which
// COM port; QueryCandidate (serial only) asks it; FinishProbe (D2XX only)
// fills in the COM names of a configuration interface's ports and adds the
// adapter to `found`.
struct Candidate {
    uint32_t index = 0;
    uint32_t locId = 0;
    bool configInterface = false;
    std::string comName;
    int32_t userArea = 0;
};
std::optional<Candidate> PrepareProbe(const ModeTool& tool, const d2xx::DeviceListInfoNode& node,
                                     uint32_t index);
Probe QueryCandidate(const ModeTool& tool, const Candidate& candidate);
void FinishProbe(const ModeTool& tool, const Candidate& candidate, AdapterRecord& record,
                 AdapterArray& found);

// Reads the D2XX device list; on failure `status` says which step failed.
// An empty list is a success.
Outcome ReadDeviceList(const ModeTool& tool, std::vector<d2xx::DeviceListInfoNode>* nodes,
                       SearchStatus* status);

// Finds the maker's adapters. `report` hears of each query failure the user
// is told about, as it happens, in device-list order.
SearchResult EnumVarnokDevices(const ModeTool& tool, const FailureReport& report = {});

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
