// The serial configuration protocol of the adapters: open the adapter's COM
// port, identify the adapter, read every port's mode and control bits, and
// commit new ones. Every wait goes through the clock and every byte through
// the serial seam.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/platform/Clock.h"
#include "common/platform/Outcome.h"
#include "common/platform/SerialPort.h"

namespace varnok::mode {

constexpr int kMaxPorts = 64;
constexpr std::size_t kMaxAdapterName = 127;
constexpr std::size_t kMaxDevicePath = 259;

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
// Each opens one adapter's COM port for its own length and shares nothing with
// another adapter's. Configuration mode, once entering has begun, is left
// ("98\r") exactly once before the port closes, on every path. A failure
// holds the system error captured where it failed (0 when a protocol rule
// failed) and, as context, the port's name as the error message shows it.

// Identifies the adapter behind `portName` ("COM5") and reads every port's
// mode and control bits. accessKind 2 wakes a configuration interface first;
// 1 only listens.
Result<AdapterRecord> QueryAdapter(serial::SerialPorts& ports, Clock& clock,
                                   const std::string& portName, int accessKind);

enum class CommitStatus { Unchanged, Stored, Declined };
// Writes one adapter's modes and control bits (whether or not `changed` is
// set). Declined: the adapter did not answer "OK"; it was left unchanged.
Result<CommitStatus> CommitAdapter(serial::SerialPorts& ports, Clock& clock,
                                   const AdapterRecord& record);

// Failures the user is told about: any with a system error, except a query's
// of a port held by another program.
bool QueryFailureIsReported(const Failure& failure);
bool CommitFailureIsReported(const Failure& failure);
// Hears of each failure the user is told about, in adapter order, as it
// happens (once that adapter's port is closed).
using FailureReport = std::function<void(const Failure&)>;

// Commits every record with `changed` set, in array order; one adapter's
// failure does not stop the others. One result per record (Unchanged for
// those not changed).
std::vector<Result<CommitStatus>> CommitAdapters(serial::SerialPorts& ports, Clock& clock,
                                                 const AdapterArray& array,
                                                 const FailureReport& report = {});

}  // namespace varnok::mode
