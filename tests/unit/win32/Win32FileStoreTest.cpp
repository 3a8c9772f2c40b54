// The real file store in a folder under the temporary folder: missing levels
// made, names kept as UTF-8 both ways, a file read back whole, a name that is no valid UTF-8 refused
// without touching the folder; and the ANSI text of a wide name.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/win32/FileNames.h"
#include "common/win32/Win32FileStore.h"

namespace varnok::win32 {
namespace {

TEST(Win32FileStore, WritesListsAndRemovesUtf8NamesAndRefusesInvalidOnes) {
    wchar_t temp[MAX_PATH + 1] = {0};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"varnok-store-" +
                                std::to_wstring(GetCurrentProcessId()) + L"\\B\u00e4ckups";
    Win32FileStore store(folder);
    ASSERT_TRUE(store.prepare());

    const std::string name = "\xc3\xa4-20260101-000000.reg";  // "ä-..." in UTF-8
    EXPECT_TRUE(store.writeFile(name, "REGEDIT4\r\n"));
    EXPECT_FALSE(store.writeFile("\xff.reg", "x"));
    EXPECT_FALSE(store.removeFile("\xff.reg"));
    EXPECT_EQ(store.fileNames(), std::vector<std::string>{name});
    std::string back;
    const std::string large(200000, 'x');  // more than one read
    EXPECT_TRUE(store.writeFile(name, large));
    EXPECT_TRUE(store.readFile(name, &back));
    EXPECT_EQ(back, large);
    EXPECT_FALSE(store.readFile("absent.reg", &back));
    // A new name is claimed once: the second creation finds it taken and
    // leaves the first one's content, and no part file stays behind.
    EXPECT_EQ(store.createFile(name, "other run"), FileStore::Created::Exists);
    EXPECT_EQ(store.createFile("new.reg", "first"), FileStore::Created::Done);
    EXPECT_EQ(store.createFile("new.reg", "second"), FileStore::Created::Exists);
    EXPECT_EQ(store.fileNames().size(), 2u);
    EXPECT_TRUE(store.removeFile("new.reg"));
    EXPECT_TRUE(store.removeFile(name));
    EXPECT_TRUE(store.fileNames().empty());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());

    EXPECT_EQ(AnsiFromWide(L"C:\\Windows\\system32\\ftd2xx.dll"),
              "C:\\Windows\\system32\\ftd2xx.dll");
    EXPECT_EQ(AnsiFromWide(L""), "");
}

}  // namespace
}  // namespace varnok::win32
