#include "common/platform/DpiScale.h"

#include <gtest/gtest.h>

namespace varnok::ui {
namespace {

TEST(DpiScale, ConvertsRoundsAndRejectsImpossibleResolutions) {
    struct Case {
        int value, from, to, expected;
    };
    const Case cases[] = {
        {16, 96, 96, 16},     // 100 %: unchanged, pixel for pixel
        {16, 96, 144, 24},    // 150 %
        {16, 96, 192, 32},    // 200 %
        {6, 96, 120, 8},      // 125 %: 7.5 rounds up
        {5, 96, 120, 6},      // 6.25 rounds down
        {-3, 96, 144, -5},    // negative halves round away from zero, like positive ones
        {141, 96, 168, 247},  // 175 %
        {24, 144, 96, 16},    // back from 150 %
        {80, 0, 144, 120},    // a zero resolution counts as 96
        {80, 96, -144, 80},
        {80, 96, 100000, 80},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertDpi(c.value, c.from, c.to), c.expected)
            << c.value << " from " << c.from << " to " << c.to;
    }
    // The product of a large size and a resolution does not overflow.
    EXPECT_EQ(ConvertDpi(1000000000, 192, 96), 500000000);
    EXPECT_EQ(ScaleForDpi(300, 144), 450);
}

TEST(DpiScale, BoxesKeepSharedEdgesAndComeBackUnchanged) {
    // Two controls that touch at x = 7 (odd: 10.5 at 150 %) still touch.
    const Box left{1, 1, 7, 9};
    const Box right{7, 1, 13, 9};
    const Box l = ConvertBox(left, 96, 144);
    const Box r = ConvertBox(right, 96, 144);
    EXPECT_EQ(l.right, r.left);
    EXPECT_EQ(l.right, 11);
    // A layout taken at 96 dpi, shown at 150 % and converted back, is the
    // layout it was.
    const Box back = ConvertBox(ConvertBox(right, 96, 144), 144, 96);
    EXPECT_EQ(back.left, right.left);
    EXPECT_EQ(back.right, right.right);
    EXPECT_EQ(back.bottom, right.bottom);
}

}  // namespace
}  // namespace varnok::ui
