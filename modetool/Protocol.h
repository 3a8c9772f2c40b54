// The serial configuration protocol of the adapters: open the adapter's COM
// port, identify the adapter, read every port's mode and control bits, and
// commit new ones. Every wait goes through the tool's clock and every byte
// through its serial seam.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/platform/SerialPort.h"
#include "modetool/ModeTool.h"

namespace varnok::mode {

constexpr int kMaxPorts = 64;
constexpr std::size_t kMaxAdapterName = 127;
constexpr std::size_t kMaxDevicePath = 259;
constexpr int kQueryFailed = 20;

constexpr int kAccessFirstDataPort = 1;
constexpr int kAccessConfigInterface = 2;

struct AdapterPort {
    uint8_t modeCode = 0;
    uint8_t controlBits = 0;
    std::string comName;  // "COM%d"; configuration-interface adapters only
};

struct AdapterRecord {
    int32_t adapterCount = 0;
    int32_t changed = 0;
    std::string devicePath;   // "\\.\COMn", at most 259 characters
    std::string adapterName;  // at most 127 characters
    int32_t userAreaNumber = 0;
    int32_t accessKind = 0;
    uint8_t portCount = 0;    // 1 .. 64
    uint16_t typeCode = 0;
    std::array<AdapterPort, kMaxPorts> ports{};
};

// Records keep their addresses while the array is not changed: the dialog's
// list rows carry them.
using AdapterArray = std::vector<AdapterRecord>;

// --- Parsers of the adapter's replies (byte buffers as received) ---

enum class IdResult {
    Ok,
    NotIdLine,    // too short, or not CR "[": listen again
    NoMarker,     // "#" or "]" missing: listen again
    NoPorts,      // port count 0: the query fails
    TooManyPorts  // port count above 64: the query fails
};

// Parses an identification line; on Ok and on NoPorts/TooManyPorts the record
// has been reset and its portCount, typeCode and adapterName are filled.
IdResult ParseIdentification(const uint8_t* data, std::size_t size, AdapterRecord* record);

// Parses the settings reply into ports 1 .. record->portCount (at most 64).
// False when the block start or a port's number, mode or bits is missing, or
// a block carries another port number than the next one expected.
bool ParseSettingsReply(const uint8_t* data, std::size_t size, AdapterRecord* record);

// The settings text of a commit: "\r\n%d\r\n%d\r\n%d\r\n" per port.
std::string BuildSettingsText(const AdapterRecord& record);

// "Error(%d) / %s: %s" from the code, the name ("none" when empty) and the
// system's text (a fallback text when the system has none).
std::string ErrorMessageText(uint32_t code, const std::string& name,
                             const std::string& systemText);
extern const char kNoSystemText[];

// --- The exchanges ---

enum class Purpose { Read, Write };

std::unique_ptr<serial::SerialPort> OpenConfigPort(ModeTool& tool, const std::string& path);
bool SendText(ModeTool& tool, serial::SerialPort& port, const std::string& text);
bool EnterConfigMode(ModeTool& tool, serial::SerialPort& port, Purpose purpose);
bool LeaveConfigMode(ModeTool& tool, serial::SerialPort& port);
// 0 on success, 20 on failure. `portName` is the bare name ("COM5").
int QueryAdapter(ModeTool& tool, AdapterRecord* record, const std::string& portName,
                 int accessKind);
// Commits every record with `changed` set; failures are reported per adapter.
int CommitAdapters(ModeTool& tool, AdapterArray* array);
// Message box "Error(%d) / %s: %s", caption "Error", exclamation icon.
void ReportError(ModeTool& tool, uint32_t code, const std::string& name);

}  // namespace varnok::mode
