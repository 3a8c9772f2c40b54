#include "configurator/settings/ConfigFiles.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/platform/FileNames.h"

namespace varnok::cfg {

const char* const kMsgCannotOpenFile = "Cannot open file";
const char* const kMsgCannotWriteFile =
    "Cannot write file: the configuration could not be saved completely.\n"
    "An existing file of that name was left unchanged.";
const char* const kMsgCannotReadFile = "Cannot read file: nothing was loaded.";
const char* const kMsgWrongFileSize =
    "This is not a configuration file: a configuration file is exactly 84 bytes long.\n"
    "Nothing was loaded.";

namespace fs = std::filesystem;
using files::PathFromUtf8;

namespace {

constexpr std::size_t kOffMinRead = 64;
constexpr std::size_t kOffMinWrite = 65;
constexpr std::size_t kOffLatency = 66;
constexpr std::size_t kOffUpperFilters = 67;
constexpr std::size_t kOffPolling = 83;

// A name beside `target` that is not taken yet. Names are UTF-8 as the file
// dialog gave them.
std::string SideName(const std::string& target, const char* suffix) {
    std::error_code ec;
    std::string name = target + suffix;
    for (int i = 1; i < 1000 && fs::exists(PathFromUtf8(name), ec); ++i)
        name = target + suffix + std::to_string(i);
    return name;
}

void DefaultRename(const std::string& from, const std::string& to, std::error_code& ec) {
    fs::rename(PathFromUtf8(from), PathFromUtf8(to), ec);
}

// The new content goes beside `path` and replaces it only when it is
// completely written. A failure's context is the message for the dialog.
Outcome WriteBeside(const std::string& path, const std::string& bytes) {
    const std::string temp = SideName(path, ".tmp");
    std::ofstream out(PathFromUtf8(temp), std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return Outcome::Fail(0, kMsgCannotOpenFile);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();  // flushes; a failed write or flush leaves the stream failed
    bool written = !out.fail();
    std::error_code ec;
    if (written) {
        // The size on disk confirms that every byte arrived.
        const auto size = fs::file_size(PathFromUtf8(temp), ec);
        written = !ec && size == bytes.size();
    }
    if (!written || !ReplaceFileWith(temp, path)) {
        fs::remove(PathFromUtf8(temp), ec);
        return Outcome::Fail(0, kMsgCannotWriteFile);
    }
    return {};
}

}  // namespace

ConfigFileBytes EncodeConfigFile(const PortEntry& e) {
    ConfigFileBytes b{};
    std::copy(e.configData.begin(), e.configData.end(), b.begin());
    b[kOffMinRead] = static_cast<uint8_t>(e.minReadTimeout & 0xFF);
    b[kOffMinWrite] = static_cast<uint8_t>(e.minWriteTimeout & 0xFF);
    b[kOffLatency] = static_cast<uint8_t>(e.latencyTimer & 0xFF);
    std::copy(e.upperFilters.begin(), e.upperFilters.end(), b.begin() + kOffUpperFilters);
    b[kOffPolling] = static_cast<uint8_t>(e.pollingPeriod & 0xFF);
    return b;
}

bool DecodeConfigFile(const uint8_t* data, std::size_t size, PortEntry& e) {
    if (data == nullptr || size != kConfigFileSize) return false;
    std::copy(data, data + e.configData.size(), e.configData.begin());
    e.minReadTimeout = data[kOffMinRead];
    e.minWriteTimeout = data[kOffMinWrite];
    e.latencyTimer = data[kOffLatency];
    // The file's filter bytes say only whether the Serial Enumerator is on:
    // the record takes that state in the program's own form, never a list
    // of driver names from the file.
    const bool serenum = std::memcmp(data + kOffUpperFilters, "serenum", sizeof "serenum") == 0;
    e.upperFilters = serenum ? kSerenumOn : kSerenumOff;
    e.pollingPeriod = data[kOffPolling];
    e.knownFields |= kFieldConfigData | kFieldMinReadTimeout | kFieldMinWriteTimeout |
                     kFieldLatencyTimer | kFieldUpperFilters | kFieldPollingPeriod;
    return true;
}

bool ReplaceFileWith(const std::string& from, const std::string& to,
                     const RenameFunction& renameFn) {
    const RenameFunction& rename = renameFn ? renameFn : RenameFunction(DefaultRename);
    std::error_code ec;
    rename(from, to, ec);
    if (!ec) return true;
    std::error_code probe;
    if (!fs::exists(PathFromUtf8(to), probe)) return false;
    // The primitive would not replace: move the old file aside first.
    const std::string aside = SideName(to, ".old");
    rename(to, aside, ec);
    if (ec) return false;
    rename(from, to, ec);
    if (ec) {
        std::error_code back;
        rename(aside, to, back);
        return false;
    }
    fs::remove(PathFromUtf8(aside), probe);
    return true;
}

bool WriteFileBeside(const std::string& path, const std::string& bytes) {
    return WriteBeside(path, bytes).ok();
}

std::vector<std::string> FieldsCutInFile(const PortEntry& e) {
    const std::pair<const char*, int32_t> fields[] = {{"minReadTimeout", e.minReadTimeout},
                                                      {"minWriteTimeout", e.minWriteTimeout},
                                                      {"latencyTimer", e.latencyTimer},
                                                      {"pollingPeriod", e.pollingPeriod}};
    std::vector<std::string> cut;
    for (const auto& [name, value] : fields) {
        const auto v = static_cast<uint32_t>(value);
        if (v <= 0xFF) continue;
        cut.push_back(std::string(name) + " " + std::to_string(v) + " (saved as " +
                      std::to_string(v & 0xFF) + ")");
    }
    return cut;
}

std::string ConfigFileSuggestedName(const PortEntry& entry) { return "Config_" + entry.portName; }

Outcome SaveConfigurationFile(const PortEntry& e, const std::string& path) {
    const ConfigFileBytes bytes = EncodeConfigFile(e);
    return WriteBeside(path, std::string(bytes.begin(), bytes.end()));
}

Outcome LoadConfigurationFile(PortEntry& e, const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in.is_open()) return Outcome::Fail(0, kMsgCannotOpenFile);
    // One byte more than a configuration file holds tells a longer file.
    std::vector<uint8_t> bytes(kConfigFileSize + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return Outcome::Fail(0, kMsgCannotReadFile);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (!DecodeConfigFile(bytes.data(), bytes.size(), e)) return Outcome::Fail(0, kMsgWrongFileSize);
    return {};
}

}  // namespace varnok::cfg
