// The file store of the real programs: one folder on disk, wide file calls
// throughout (the folder may hold any characters), each file written beside
// its final name and then moved over it. Also the local clock for names.
#pragma once
#include <string>

#include "common/platform/FileStore.h"

namespace varnok::win32 {

class Win32FileStore : public FileStore {
public:
    explicit Win32FileStore(std::wstring folder) : folder_(std::move(folder)) {}

    // <local application data>\<subFolder>: the shell's CSIDL_LOCAL_APPDATA
    // folder, or the LOCALAPPDATA variable; empty when neither is known.
    static std::wstring LocalAppDataFolder(const std::wstring& subFolder);

    bool prepare() override;
    std::string location() const override;
    std::vector<std::string> fileNames() override;
    bool writeFile(const std::string& name, const std::string& bytes) override;
    Created createFile(const std::string& name, const std::string& bytes) override;
    bool removeFile(const std::string& name) override;
    bool readFile(const std::string& name, std::string* bytes) override;
    // <common application data>\<subFolder> (C:\ProgramData\...): CSIDL_COMMON_APPDATA,
    // or the ProgramData variable; empty when neither is known.
    static std::wstring CommonAppDataFolder(const std::wstring& subFolder);

private:
    // Empty without a folder, or when `name` is no valid UTF-8 name.
    std::wstring pathOf(const std::string& name) const;
    std::wstring folder_;
};

class Win32LocalTime : public LocalTimeSource {
public:
    LocalTime localNow() override;
};

}  // namespace varnok::win32
