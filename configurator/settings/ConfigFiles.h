// Saving and loading one port's configuration as an 84-byte file: the 64
// bytes of ConfigData, the low bytes of the minimum read and write time-outs
// and of the latency timer, the 16 bytes of UpperFilters, the low byte of the
// polling period. No header.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "common/platform/Outcome.h"
#include "configurator/app/PortTable.h"

namespace varnok::cfg {

constexpr std::size_t kConfigFileSize = 84;
using ConfigFileBytes = std::array<uint8_t, kConfigFileSize>;

extern const char* const kMsgCannotOpenFile;   // "Cannot open file"
extern const char* const kMsgCannotWriteFile;  // a save that could not be completed
extern const char* const kMsgCannotReadFile;
extern const char* const kMsgWrongFileSize;    // a file that is not 84 bytes

ConfigFileBytes EncodeConfigFile(const PortEntry& entry);
// Fills the file's fields of `entry` from exactly 84 bytes; any other size
// changes nothing and returns false. The filter bytes set the Serial
// Enumerator on when their first string is "serenum", off otherwise.
bool DecodeConfigFile(const uint8_t* data, std::size_t size, PortEntry& entry);

// Moves `from` over `to`, replacing an existing `to` without ever leaving
// neither. `rename` is the primitive (std::filesystem::rename by default);
// where it refuses to replace an existing file (some Windows runtimes), the
// old file is first moved aside and put back if the move fails.
using RenameFunction =
    std::function<void(const std::string& from, const std::string& to, std::error_code& ec)>;
bool ReplaceFileWith(const std::string& from, const std::string& to,
                     const RenameFunction& rename = {});

// Writes `bytes` beside `path` (a UTF-8 name) and moves them over it once
// every byte arrived: a failed write leaves the old file as it was.
bool WriteFileBeside(const std::string& path, const std::string& bytes);

// The two File menu operations on a record and a file the user chose (a
// UTF-8 name). Save writes beside the file and replaces it only when every
// byte arrived; load changes the record only with a file of exactly 84
// bytes. A failure's context is the message for the user (caption "ERROR",
// error icon).
Outcome SaveConfigurationFile(const PortEntry& entry, const std::string& path);
Outcome LoadConfigurationFile(PortEntry& entry, const std::string& path);
// The values of `entry` that the file's one-byte fields cannot hold (the
// time-outs and the polling period above 255), as "minReadTimeout 1000
// (saved as 232)": saving keeps only their low 8 bits, so the front ends
// warn with these before they save.
std::vector<std::string> FieldsCutInFile(const PortEntry& entry);

// The name the save dialog offers: "Config_" and the port's name.
std::string ConfigFileSuggestedName(const PortEntry& entry);

}  // namespace varnok::cfg
