#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "configurator/baud/ConfigDataRecord.h"

using namespace varnok::cfg;

namespace {
std::string Rate(double divisor) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", 3000000.0 / divisor);
    return buf;
}
}  // namespace

TEST(ConfigDataRecord, StandardTableDecodesToTheStandardRates) {
    const std::vector<std::string> want = {"300",    "600",    "1200",   "2400",   "4800",
                                           "9600",   "19200",  "38400",  "57692",  "115385",
                                           "230769", "461538", "923077", "3000000", "14406"};
    for (int slot = 1; slot <= kSlotCount; ++slot)
        EXPECT_EQ(Rate(DecodeDivisor(ReadSlotCode(kStandardDivisorTable, slot))),
                  want[static_cast<std::size_t>(slot - 1)])
            << "slot " << slot;
    // Bytes as stored: slot 6 is 38 41 00 00, slot 15 is D0 80 00 00.
    EXPECT_EQ(kStandardDivisorTable[24], 0x38);
    EXPECT_EQ(kStandardDivisorTable[25], 0x41);
    EXPECT_EQ(kStandardDivisorTable[60], 0xD0);
    EXPECT_EQ(kStandardDivisorTable[61], 0x80);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(kStandardDivisorTable[static_cast<std::size_t>(i)], 0);
}

TEST(ConfigDataRecord, BrivaneTableIsFullSpeedExceptRow115200) {
    for (int slot = 1; slot <= kSlotCount; ++slot)
        EXPECT_EQ(ReadSlotCode(kBrivaneDivisorTable, slot), slot == 10 ? 0x1Au : 0u);
}

TEST(ConfigDataRecord, EncodeDecodeRoundTripsEveryEighthDivisor) {
    for (uint32_t k = 2; k <= 16383; ++k) {
        for (uint32_t j = 0; j < 8; ++j) {
            const double x = k + j / 8.0;
            const uint32_t code = EncodeDivisor(x);
            ASSERT_EQ(code & ~0x1FFFFu, 0u) << x;
            ASSERT_EQ(code & 0x3FFFu, k) << x;
            ASSERT_EQ(DecodeDivisor(code), x) << x;
        }
    }
}

TEST(ConfigDataRecord, KnownCodesAndSpecialCodes) {
    EXPECT_EQ(EncodeDivisor(4285.75), 0x190BDu);
    EXPECT_EQ(DecodeDivisor(0x190BD), 4285.75);
    EXPECT_EQ(EncodeDivisor(5000.625), 0x15388u);
    EXPECT_EQ(EncodeDivisor(312.5), 0x4138u);
    EXPECT_EQ(EncodeDivisor(208.25), 0x80D0u);
    // The two special codes survive a decode-encode cycle.
    EXPECT_EQ(DecodeDivisor(0), 1.0);
    EXPECT_EQ(DecodeDivisor(1), 1.5);
    EXPECT_EQ(EncodeDivisor(DecodeDivisor(0)), 0u);
    EXPECT_EQ(EncodeDivisor(DecodeDivisor(1)), 1u);
}

TEST(ConfigDataRecord, BitsAbove16AreIgnoredWhenRead) {
    EXPECT_EQ(DecodeDivisor(0xAB004138u), 312.5);  // high byte set
    EXPECT_EQ(DecodeDivisor(0x00FE0005u), 5.0);    // bits 17..23 set, no sub-integer code
    EXPECT_EQ(DecodeDivisor(0xFF000000u), 1.0);    // whole code 0 after masking
    EXPECT_EQ(EncodeDivisor(DecodeDivisor(0x00FE0005u)), 5u);
}

TEST(ConfigDataRecord, EncodeNeverSpillsIntoOtherBits) {
    EXPECT_EQ(EncodeDivisor(100.3), 100u);  // not an eighth: nothing added
    EXPECT_EQ(EncodeDivisor(16384.0), 0x3FFFu);
    EXPECT_EQ(EncodeDivisor(1e30), 0x3FFFu);
    EXPECT_EQ(EncodeDivisor(-3.0), 0u);
    EXPECT_EQ(EncodeDivisor(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(EncodeDivisor(std::numeric_limits<double>::infinity()), 0x3FFFu);
}

TEST(ConfigDataRecord, SlotsAreLittleEndianAndBounded) {
    ConfigBytes d{};
    WriteSlotCode(d, 13, 0x01020304);
    EXPECT_EQ(d[52], 0x04);
    EXPECT_EQ(d[55], 0x01);
    EXPECT_EQ(ReadSlotCode(d, 13), 0x01020304u);
    const ConfigBytes before = d;
    WriteSlotCode(d, 0, 0xFFFFFFFF);
    WriteSlotCode(d, 16, 0xFFFFFFFF);
    EXPECT_EQ(d, before);
    EXPECT_EQ(ReadSlotCode(d, 16), 0u);

    EXPECT_EQ(SlotOfRow(0), 1);
    EXPECT_EQ(SlotOfRow(12), 13);
    EXPECT_EQ(SlotOfRow(13), 15);
    EXPECT_EQ(SlotOfRow(14), 0);
    EXPECT_EQ(SlotOfRow(-1), 0);
    EXPECT_STREQ(RowLabel(12), "921600");
    EXPECT_STREQ(RowLabel(13), "14400");
    EXPECT_STREQ(RowLabel(14), "");
}

TEST(ConfigDataRecord, CopyingATableKeepsBytesZeroToThree) {
    for (const ConfigBytes* table : {&kStandardDivisorTable, &kBrivaneDivisorTable}) {
        ConfigBytes d;
        d.fill(0xEE);
        CopyDivisorTable(d, *table);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(d[i], 0xEE);
        for (std::size_t i = 4; i < 64; ++i) EXPECT_EQ(d[i], (*table)[i]);
    }
}

TEST(ConfigDataRecord, OptionBitsAreReadModifyWrite) {
    ConfigBytes d{};
    d[0] = 0x17;
    d[1] = 0x04;
    SetOption(d, kOptSerialPrinter, true);
    SetOption(d, kOptDisableModemCtrl, true);
    EXPECT_EQ(d[0], 0x97);
    EXPECT_EQ(d[1], 0x06);
    EXPECT_TRUE(HasOption(d, kOptBufferedWrites));
    SetOption(d, kOptBufferedWrites, false);
    SetOption(d, kOptSerialPrinter, false);
    EXPECT_EQ(d[0], 0x17);
    EXPECT_EQ(d[1], 0x02);
}
