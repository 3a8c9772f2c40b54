// The portable pieces of the Win32 layer: the handle owner template and the
// text both programs show when ftd2xx.dll could not be loaded.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "common/d2xx/D2xx.h"
#include "common/win32/UniqueAny.h"

namespace varnok::win32 {
namespace {

std::vector<int*> g_closed;
void CloseFake(int* h) { g_closed.push_back(h); }
// Owns nothing at -1, like a file handle.
using unique_fake = unique_any<int*, &CloseFake, -1>;

struct Pair {
    int a = 0, b = 0;
    bool operator==(const Pair& o) const { return a == o.a && b == o.b; }
    bool operator!=(const Pair& o) const { return !(*this == o); }
};
std::vector<Pair> g_closedPairs;
void ClosePair(Pair p) { g_closedPairs.push_back(p); }

TEST(UniqueAny, ClosesEachHandleExactlyOnceWhateverPathItTakes) {
    g_closed.clear();
    int x = 0, y = 0, z = 0;
    {
        unique_fake none;
        EXPECT_FALSE(none);
        EXPECT_EQ(none.get(), reinterpret_cast<int*>(-1));
        unique_fake nullIsAHandleHere(nullptr);
        EXPECT_TRUE(nullIsAHandleHere) << "only the sentinel owns nothing";
        nullIsAHandleHere.release();

        unique_fake a(&x);
        a.reset(&x);  // the same handle again: kept, not closed
        EXPECT_TRUE(g_closed.empty());
        unique_fake b(std::move(a));
        EXPECT_FALSE(a);
        b = unique_fake(&y);  // the old one closed on assignment
        EXPECT_EQ(g_closed, std::vector<int*>{&x});
        *b.put() = &z;  // put closes what it held first
        EXPECT_EQ(g_closed, (std::vector<int*>{&x, &y}));
        unique_fake kept(b.release());
        EXPECT_FALSE(b);
        kept.release();  // given up: never closed
    }
    EXPECT_EQ(g_closed, (std::vector<int*>{&x, &y}));
}

TEST(UniqueAny, RecordsOwnNothingWhenEmpty) {
    g_closedPairs.clear();
    {
        unique_any<Pair, &ClosePair> empty;
        EXPECT_FALSE(empty);
        unique_any<Pair, &ClosePair> held(Pair{1, 2});
        EXPECT_TRUE(held);
    }
    ASSERT_EQ(g_closedPairs.size(), 1u);
    EXPECT_EQ(g_closedPairs[0], (Pair{1, 2}));
}

TEST(D2xxLoadText, NamesTheReasonWhenThereIsOne) {
    EXPECT_EQ(d2xx::LibraryMissingText(""),
              "The FTDI D2XX library (ftd2xx.dll) could not be loaded.");
    EXPECT_EQ(d2xx::LibraryMissingText("looked for C:\\windows\\system32\\ftd2xx.dll only; "
                                       "system error 126"),
              "The FTDI D2XX library (ftd2xx.dll) could not be loaded (looked for "
              "C:\\windows\\system32\\ftd2xx.dll only; system error 126).");
}

}  // namespace
}  // namespace varnok::win32
