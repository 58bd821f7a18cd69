#include <gtest/gtest.h>

#include "app/win32/win32_dialog_host.h"

namespace brivane::testing {
namespace {

TEST(MinimisedIcon, IsCentredWithTruncatingDivision) {
    struct Case {
        int width, height;
        LONG x, y;
    };
    for (const Case c : {Case{36, 36, 2, 2}, Case{0, 0, -15, -15}, Case{33, 33, 1, 1},
                         Case{31, 100, 0, 34}, Case{1, 2, -15, -14}}) {
        const POINT at = centredIcon(RECT{0, 0, c.width, c.height}, 32, 32);
        EXPECT_EQ(at.x, c.x) << c.width << " x " << c.height;
        EXPECT_EQ(at.y, c.y) << c.width << " x " << c.height;
    }
}

}  // namespace
}  // namespace brivane::testing
