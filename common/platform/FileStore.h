// File-store seam: one folder of small files, written whole. The backups of
// the configurator go through it, so that unit tests keep them in memory.
// Names are plain file names inside the folder (no path separators).
#pragma once
#include <string>
#include <vector>

namespace varnok {

class FileStore {
public:
    virtual ~FileStore() = default;
    // Creates the folder (and its parents) when missing; false when it
    // cannot be made.
    virtual bool prepare() = 0;
    // The folder as the user would find it, for messages.
    virtual std::string location() const = 0;
    // Names of the files now in the folder (no sub-folders), any order.
    virtual std::vector<std::string> fileNames() = 0;
    // Writes the file whole, replacing an older one of that name so that
    // the old content stays until the new one is complete.
    virtual bool writeFile(const std::string& name, const std::string& bytes) = 0;
    // Writes a new file whole under a name no file has yet. The name is
    // claimed at once: of two programs creating one name, one gets Exists
    // and nothing of its content lands in the other's file.
    enum class Created { Done, Exists, Failed };
    virtual Created createFile(const std::string& name, const std::string& bytes) = 0;
    virtual bool removeFile(const std::string& name) = 0;
    // The whole file; false when it does not exist or cannot be read.
    virtual bool readFile(const std::string& name, std::string* bytes) = 0;
};

// Local wall-clock time, for names that people read and sort.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class LocalTimeSource {
public:
    virtual ~LocalTimeSource() = default;
    virtual LocalTime localNow() = 0;
};

}  // namespace varnok
