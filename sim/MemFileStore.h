// In-memory file store and a fixed local clock for unit tests: the folder is
// a map of names to contents, each operation can be made to fail.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "common/platform/FileStore.h"

namespace varnok::sim {

class MemFileStore : public FileStore {
public:
    std::map<std::string, std::string> files;
    bool failPrepare = false;
    bool failWrite = false;
    int writes = 0;

    bool prepare() override { return !failPrepare; }
    std::string location() const override { return "C:\\Users\\me\\AppData\\Local\\Varnok Plus\\Backups"; }
    std::vector<std::string> fileNames() override {
        std::vector<std::string> names;
        for (const auto& f : files) names.push_back(f.first);
        return names;
    }
    bool writeFile(const std::string& name, const std::string& bytes) override {
        if (failWrite) return false;
        ++writes;
        files[name] = bytes;
        return true;
    }
    Created createFile(const std::string& name, const std::string& bytes) override {
        if (files.count(name)) return Created::Exists;
        return writeFile(name, bytes) ? Created::Done : Created::Failed;
    }
    bool removeFile(const std::string& name) override { return files.erase(name) == 1; }
    bool readFile(const std::string& name, std::string* bytes) override {
        const auto found = files.find(name);
        if (found == files.end()) return false;
        *bytes = found->second;
        return true;
    }
};

class FixedLocalTime : public LocalTimeSource {
public:
    LocalTime now{2026, 12, 7, 18, 30, 5};
    LocalTime localNow() override { return now; }
};

}  // namespace varnok::sim
