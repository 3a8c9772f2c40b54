#include "sim/MemRegistry.h"

#include <algorithm>
#include <cctype>

namespace varnok::sim {

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

constexpr reg::Status kKeyDeleted = 1018;  // ERROR_KEY_DELETED

}  // namespace

std::string MemRegistry::lower(const std::string& s) {
    std::string r = s;
    std::transform(r.begin(), r.end(), r.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

// One open key: remembers its path and looks the node up on every call, so a
// key removed while open answers like a deleted key instead of dangling.
class MemKey : public reg::RegistryKey {
public:
    MemKey(MemRegistry& reg, std::string path, uint32_t access)
        : reg_(reg), path_(std::move(path)), access_(access) {
        ++reg_.openKeys;
    }
    ~MemKey() override { --reg_.openKeys; }

    reg::Status queryValue(const std::string& name, std::size_t capacity, uint32_t* type,
                           std::vector<uint8_t>* data) override {
        ++reg_.counters.queries;
        reg_.note("query " + path_ + "|" + name);
        data->clear();
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        if (reg_.failQuery.count(MemRegistry::lower(path_ + "|" + name))) return reg::kAccessDenied;
        auto it = n->values.find(MemRegistry::lower(name));
        if (it == n->values.end()) return reg::kFileNotFound;
        if (type != nullptr) *type = it->second.type;
        if (it->second.data.size() > capacity) return reg::kMoreData;
        *data = it->second.data;
        return reg::kSuccess;
    }

    reg::Status setValue(const std::string& name, uint32_t type, const uint8_t* data,
                         std::size_t size) override {
        ++reg_.counters.sets;
        reg_.note("set " + path_ + "|" + name);
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        if (access_ != reg::kKeyAllAccess) return reg::kAccessDenied;
        if (reg_.failSet.count(MemRegistry::lower(path_ + "|" + name))) return reg::kAccessDenied;
        n->values[MemRegistry::lower(name)] = MemValue{type, {data, data + size}};
        return reg::kSuccess;
    }

    reg::Status deleteValue(const std::string& name) override {
        ++reg_.counters.deletes;
        reg_.note("delete " + path_ + "|" + name);
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        if (access_ != reg::kKeyAllAccess) return reg::kAccessDenied;
        if (n->values.erase(MemRegistry::lower(name)) == 0) return reg::kFileNotFound;
        return reg::kSuccess;
    }

    reg::Status subKeyCount(uint32_t* count) override {
        ++reg_.counters.counts;
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        *count = static_cast<uint32_t>(n->kids.size());
        return reg::kSuccess;
    }

    reg::Status subKeyName(uint32_t index, std::size_t capacity, std::string* name) override {
        ++reg_.counters.enums;
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        // Enumeration order: the order of creation is not kept by std::map, so
        // keys enumerate in case-insensitive name order, like the real
        // registry.
        if (index >= n->kids.size()) return reg::kNoMoreItems;
        // Walking index 0, 1, 2, ... stays linear: continue from the last
        // position while the tree has not changed.
        if (!(cacheNode_ == n && cacheGeneration_ == reg_.generation_ && cacheIndex_ <= index)) {
            cacheIt_ = n->kids.begin();
            cacheIndex_ = 0;
        }
        while (cacheIndex_ < index) {
            ++cacheIt_;
            ++cacheIndex_;
        }
        cacheNode_ = n;
        cacheGeneration_ = reg_.generation_;
        if (cacheIt_->second->name.size() + 1 > capacity) return reg::kMoreData;
        *name = cacheIt_->second->name;
        return reg::kSuccess;
    }

    reg::Status setDacl(const std::vector<reg::AccessEntry>& entries) override {
        reg_.note("dacl " + path_);
        auto* n = reg_.find(path_);
        if (n == nullptr) return kKeyDeleted;
        if (access_ != reg::kWriteDac && access_ != reg::kKeyAllAccess) return reg::kAccessDenied;
        if (reg_.failSetDacl.count(MemRegistry::lower(path_))) return reg::kAccessDenied;
        n->dacl = entries;
        n->daclSet = true;
        return reg::kSuccess;
    }

private:
    MemRegistry& reg_;
    std::string path_;
    uint32_t access_;
    const MemRegistry::Node* cacheNode_ = nullptr;  // null until the first walk
    uint64_t cacheGeneration_ = 0;
    uint32_t cacheIndex_ = 0;
    std::map<std::string, std::unique_ptr<MemRegistry::Node>>::iterator cacheIt_;
};

// Wakes when the set of keys below its key differs from the one it saw last.
class MemKeyWatch : public reg::KeyWatch {
public:
    MemKeyWatch(MemRegistry& reg, std::string path)
        : reg_(reg), path_(std::move(path)), seen_(reg.keysBelow(path_)) {}

    Wake wait(uint32_t timeoutMs) override {
        ++reg_.counters.waits;
        reg_.note("wait " + path_ + " " + std::to_string(timeoutMs));
        if (reg_.keysBelow(path_) == seen_ && reg_.onWatchWait) reg_.onWatchWait(timeoutMs);
        std::set<std::string> now = reg_.keysBelow(path_);
        if (now == seen_) return Wake::TimedOut;
        seen_ = std::move(now);
        return Wake::Changed;
    }

private:
    MemRegistry& reg_;
    std::string path_;
    std::set<std::string> seen_;
};

MemRegistry::MemRegistry() : root_(std::make_unique<Node>()) {}

MemRegistry::Node* MemRegistry::find(const std::string& path) const {
    Node* n = root_.get();
    for (const auto& part : SplitPath(path)) {
        auto it = n->kids.find(lower(part));
        if (it == n->kids.end()) return nullptr;
        n = it->second.get();
    }
    return n;
}

MemRegistry::Node* MemRegistry::make(const std::string& path) {
    Node* n = root_.get();
    for (const auto& part : SplitPath(path)) {
        auto& slot = n->kids[lower(part)];
        if (!slot) {
            ++generation_;
            slot = std::make_unique<Node>();
            slot->name = part;
        }
        n = slot.get();
    }
    return n;
}

void MemRegistry::createKey(const std::string& path) { make(path); }

void MemRegistry::setRaw(const std::string& path, const std::string& name, uint32_t type,
                         std::vector<uint8_t> bytes) {
    Node* n = make(path);
    n->values[lower(name)] = MemValue{type, std::move(bytes)};
}

void MemRegistry::setDword(const std::string& path, const std::string& name, uint32_t v) {
    setRaw(path, name, reg::kDword,
           {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)});
}

void MemRegistry::setString(const std::string& path, const std::string& name,
                            const std::string& s) {
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    setRaw(path, name, reg::kSz, std::move(bytes));
}

void MemRegistry::setBinary(const std::string& path, const std::string& name,
                            std::vector<uint8_t> bytes) {
    setRaw(path, name, reg::kBinary, std::move(bytes));
}

void MemRegistry::removeKey(const std::string& path) {
    auto parts = SplitPath(path);
    if (parts.empty()) return;
    std::string last = parts.back();
    parts.pop_back();
    std::string parent;
    for (auto& p : parts) parent += p + "\\";
    Node* n = find(parent);
    if (n != nullptr && n->kids.erase(lower(last)) > 0) ++generation_;
}

const MemRegistry::Node* MemRegistry::node(const std::string& path) const { return find(path); }

std::set<std::string> MemRegistry::keysBelow(const std::string& path) const {
    std::set<std::string> out;
    const Node* top = find(path);
    if (top == nullptr) return out;
    std::vector<std::pair<const Node*, std::string>> todo{{top, ""}};
    while (!todo.empty()) {
        auto [n, prefix] = todo.back();
        todo.pop_back();
        for (const auto& [name, kid] : n->kids) {
            out.insert(prefix + name);
            for (const auto& [valueName, v] : kid->values) {
                std::string line = prefix + name + "|" + valueName + "=" + std::to_string(v.type) + ":";
                line.append(v.data.begin(), v.data.end());
                out.insert(line);
            }
            todo.push_back({kid.get(), prefix + name + "\\"});
        }
    }
    return out;
}

const MemValue* MemRegistry::value(const std::string& path, const std::string& name) const {
    Node* n = find(path);
    if (n == nullptr) return nullptr;
    auto it = n->values.find(lower(name));
    return it == n->values.end() ? nullptr : &it->second;
}

bool MemRegistry::hasValue(const std::string& path, const std::string& name) const {
    return value(path, name) != nullptr;
}

uint32_t MemRegistry::dword(const std::string& path, const std::string& name) const {
    const MemValue* v = value(path, name);
    if (v == nullptr) return 0;
    uint32_t r = 0;
    for (std::size_t i = 0; i < 4 && i < v->data.size(); ++i) r |= uint32_t(v->data[i]) << (8 * i);
    return r;
}

std::string MemRegistry::string(const std::string& path, const std::string& name) const {
    const MemValue* v = value(path, name);
    if (v == nullptr) return {};
    std::string s(v->data.begin(), v->data.end());
    auto z = s.find('\0');
    return z == std::string::npos ? s : s.substr(0, z);
}

reg::Status MemRegistry::openKey(const std::string& path, uint32_t access,
                                 std::unique_ptr<reg::RegistryKey>* key) {
    ++counters.opens;
    note("open " + path);
    key->reset();
    const std::string l = lower(path);
    if (failOpen.count(l)) return reg::kAccessDenied;
    if (access != reg::kKeyRead && failOpenForWrite.count(l)) return reg::kAccessDenied;
    if (find(path) == nullptr) return reg::kFileNotFound;
    *key = std::make_unique<MemKey>(*this, path, access);
    return reg::kSuccess;
}

reg::Status MemRegistry::setOwnerToAdministrators(const std::string& objectName) {
    note("owner " + objectName);
    const std::string prefix = "MACHINE\\";
    if (objectName.compare(0, prefix.size(), prefix) != 0) return reg::kInvalidParameter;
    Node* n = find(objectName.substr(prefix.size()));
    if (n == nullptr) return reg::kFileNotFound;
    n->ownerAdministrators = true;
    return reg::kSuccess;
}

reg::Status MemRegistry::enablePrivilege(const std::string& privilege, bool enable,
                                         bool* adjusted) {
    note("privilege " + privilege + (enable ? " on" : " off"));
    *adjusted = false;
    if (privilegeCallFails) return reg::kInvalidParameter;
    *adjusted = true;
    return privilegeMissing ? reg::kNotAllAssigned : reg::kSuccess;
}

reg::Status MemRegistry::probeProcessToken(uint32_t access) {
    note("token " + std::to_string(access));
    return tokenFails ? reg::kAccessDenied : reg::kSuccess;
}

reg::Status MemRegistry::watchKey(const std::string& path,
                                  std::unique_ptr<reg::KeyWatch>* watch) {
    note("watch " + path);
    watch->reset();
    if (failWatch.count(lower(path))) return reg::kAccessDenied;
    if (find(path) == nullptr) return reg::kFileNotFound;
    *watch = std::make_unique<MemKeyWatch>(*this, path);
    return reg::kSuccess;
}

}  // namespace varnok::sim
