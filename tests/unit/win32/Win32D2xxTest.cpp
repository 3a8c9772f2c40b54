// The D2XX binding without a library (the test prefix's system folder has no
// ftd2xx.dll): every call fails with FT_OTHER_ERROR and leaves defined
// outputs, and the reason names the file looked for.
#include <gtest/gtest.h>

#include "common/win32/Win32D2xx.h"

namespace varnok::win32 {
namespace {

TEST(Win32D2xx, WithoutTheLibraryEveryCallFailsWithDefinedOutputs) {
    Win32D2xx lib;
    if (lib.loaded()) GTEST_SKIP() << "this system folder has an ftd2xx.dll";
    EXPECT_NE(lib.loadError().find("ftd2xx.dll only; system error "), std::string::npos)
        << lib.loadError();

    uint32_t count = 7;
    EXPECT_EQ(lib.CreateDeviceInfoList(&count), d2xx::kOtherError);
    EXPECT_EQ(count, 0u);
    d2xx::DeviceListInfoNode nodes[2] = {};
    count = 2;
    EXPECT_EQ(lib.GetDeviceInfoList(nodes, &count), d2xx::kOtherError);
    EXPECT_EQ(count, 0u);
    d2xx::Handle h = nullptr;
    EXPECT_EQ(lib.OpenEx(0x11, d2xx::kOpenByLocation, &h), d2xx::kOtherError);
    EXPECT_EQ(lib.Open(0, &h), d2xx::kOtherError);
    EXPECT_EQ(h, nullptr);
    int32_t port = 5;
    EXPECT_EQ(lib.GetComPortNumber(h, &port), d2xx::kOtherError);
    EXPECT_EQ(port, -1);
    uint32_t size = 9;
    EXPECT_EQ(lib.EE_UASize(h, &size), d2xx::kOtherError);
    EXPECT_EQ(size, 0u);
    uint8_t buffer[4];
    uint32_t got = 9;
    EXPECT_EQ(lib.EE_UARead(h, buffer, sizeof buffer, &got), d2xx::kOtherError);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(lib.Close(h), d2xx::kOtherError);
    EXPECT_EQ(lib.Reload(d2xx::kFtdiVendorId, 0), d2xx::kOtherError);
}

}  // namespace
}  // namespace varnok::win32
