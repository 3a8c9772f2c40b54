#include <gtest/gtest.h>

#include "configurator/app/PortTable.h"

using namespace varnok::cfg;

namespace {
PortEntry Named(const std::string& n) {
    PortEntry e;
    e.portName = n;
    return e;
}
}  // namespace

TEST(PortTable, SortsShorterNamesFirstThenBytewise) {
    PortTable t;
    for (auto n : {"COM3", "COM10", "", "COM2", "COM9"}) t.entries.push_back(Named(n));
    SortByPortName(t);
    std::vector<std::string> got;
    for (auto& e : t.entries) got.push_back(e.portName);
    EXPECT_EQ(got, (std::vector<std::string>{"", "COM2", "COM3", "COM9", "COM10"}));
}

TEST(PortTable, ComparesUnsignedBytes) {
    EXPECT_LT(ComparePortNames(Named("COMa"), Named("COM\xE9")), 0);
    EXPECT_EQ(ComparePortNames(Named("COM5"), Named("COM5")), 0);
}

TEST(PortTable, SerialEnumeratorOnlyForExactSerenum) {
    PortEntry e;
    EXPECT_FALSE(e.serialEnumeratorOn());
    e.upperFilters = kSerenumOn;
    EXPECT_TRUE(e.serialEnumeratorOn());
    e.upperFilters[7] = 'x';  // "serenumx..." is another filter
    EXPECT_FALSE(e.serialEnumeratorOn());
}
