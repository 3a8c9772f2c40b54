// In-memory registry for unit tests: a tree of keys with typed values,
// case-insensitive like the real one, with injectable failures and counters
// of every call (for benchmarks and "was it written?" assertions).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/platform/Registry.h"

namespace varnok::sim {

struct MemValue {
    uint32_t type = reg::kNone;
    std::vector<uint8_t> data;
};

class MemRegistry : public reg::Registry {
public:
    struct Node {
        std::string name;  // as created (case kept)
        std::map<std::string, MemValue> values;             // key: lower-case name
        std::map<std::string, std::unique_ptr<Node>> kids;  // key: lower-case name
        std::vector<reg::AccessEntry> dacl;
        bool daclSet = false;
        bool ownerAdministrators = false;
    };

    MemRegistry();

    // --- set-up helpers (create missing keys on the way) ---
    void createKey(const std::string& path);
    void setDword(const std::string& path, const std::string& name, uint32_t v);
    void setString(const std::string& path, const std::string& name, const std::string& s);
    void setBinary(const std::string& path, const std::string& name, std::vector<uint8_t> bytes);
    void setRaw(const std::string& path, const std::string& name, uint32_t type,
                std::vector<uint8_t> bytes);
    void removeKey(const std::string& path);

    // --- inspection ---
    bool hasValue(const std::string& path, const std::string& name) const;
    const MemValue* value(const std::string& path, const std::string& name) const;
    uint32_t dword(const std::string& path, const std::string& name) const;  // 0 when absent
    std::string string(const std::string& path, const std::string& name) const;
    const Node* node(const std::string& path) const;
    // Every key below `path`, as lower-case paths relative to it, each
    // with its values ("path|name=type:bytes").
    std::set<std::string> keysBelow(const std::string& path) const;

    // --- failure injection (paths compared case-insensitively) ---
    std::set<std::string> failOpen;             // any access
    std::set<std::string> failOpenForWrite;     // KEY_ALL_ACCESS / WRITE_DAC only
    std::set<std::string> failSet;              // "path|value"
    std::set<std::string> failQuery;            // "path|value"
    std::set<std::string> failSetDacl;          // path
    bool privilegeMissing = false;              // enablePrivilege reports 1300
    bool privilegeCallFails = false;            // advapi32 lookups fail
    bool tokenFails = false;
    std::set<std::string> failWatch;            // path: watchKey is refused

    // A key watch's wait with nothing changed calls this with its time-out
    // (virtual time: the test advances its clock, changes keys or raises a
    // stop flag in here); without it the wait times out at once.
    std::function<void(uint32_t timeoutMs)> onWatchWait;

    // --- counters and log ---
    struct Counters {
        uint64_t opens = 0, queries = 0, sets = 0, deletes = 0, enums = 0, counts = 0, waits = 0;
    } counters;
    std::vector<std::string> log;  // "open <path> <access>", "set <path>|<name>", ...
    bool logging = true;
    int openKeys = 0;  // keys currently open (must return to 0)

    // --- reg::Registry ---
    reg::Status openKey(const std::string& path, uint32_t access,
                        std::unique_ptr<reg::RegistryKey>* key) override;
    reg::Status setOwnerToAdministrators(const std::string& objectName) override;
    reg::Status enablePrivilege(const std::string& privilege, bool enable, bool* adjusted) override;
    reg::Status probeProcessToken(uint32_t access) override;
    reg::Status watchKey(const std::string& path, std::unique_ptr<reg::KeyWatch>* watch) override;

    static std::string lower(const std::string& s);

private:
    Node* find(const std::string& path) const;
    Node* make(const std::string& path);
    void note(const std::string& line) {
        if (logging) log.push_back(line);
    }
    friend class MemKey;
    friend class MemKeyWatch;
    std::unique_ptr<Node> root_;
    uint64_t generation_ = 0;  // bumped whenever a key is added or removed
};

}  // namespace varnok::sim
