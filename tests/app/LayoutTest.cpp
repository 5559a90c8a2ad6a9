// The layout arithmetic with the design geometry: what grows, what stays, and the minimum size.
#include "app/Layout.h"

#include <gtest/gtest.h>

using app::arrange;
using app::Geometry;

TEST(LayoutTest, WiderAndTallerGrowOnlyTheQueryBoxGridAndDataBar) {
    const Geometry design = arrange(Geometry{}, app::designWidth, app::designHeight);
    const Geometry g = arrange(design, app::designWidth + 3000, app::designHeight + 1000);
    EXPECT_FLOAT_EQ(g.text1.width, 6945 + 3000);
    EXPECT_FLOAT_EQ(g.grid.width, 10525 + 3000);
    EXPECT_FLOAT_EQ(g.grid.height, 5920 + 1000);
    EXPECT_FLOAT_EQ(g.data1.top, g.grid.top + g.grid.height + 120);
    EXPECT_FLOAT_EQ(g.data1.width, (app::designWidth + 3000) / 2 - 120);
    EXPECT_EQ(g.dir1, design.dir1);
    EXPECT_EQ(g.file1, design.file1);
    EXPECT_EQ(g.drive1, design.drive1);
    EXPECT_EQ(g.command1, design.command1);
    EXPECT_EQ(g.text1.height, design.text1.height);
    EXPECT_FLOAT_EQ(g.list1.height, g.text1.height + 200);
}

TEST(LayoutTest, MinimumSizeIsTheFirstThatHoldsTheLayout) {
    const Geometry g;
    EXPECT_FALSE(app::largeEnough(g, 1695 + 1695 + 2600, 8640));
    EXPECT_FALSE(app::largeEnough(g, 10575, 1820 + 120 + 315 + 345 + 120));
    EXPECT_TRUE(app::largeEnough(g, app::minimumWidth(g), app::minimumHeight(g)));
    EXPECT_FLOAT_EQ(app::minimumWidth(g), 5991);
    EXPECT_FLOAT_EQ(app::minimumHeight(g), 2721);
}

TEST(LayoutTest, DirectDisplaySharesTheQueryBoxRoomWithTheList) {
    const Geometry g = arrange(Geometry{}, app::designWidth + 1000, app::designHeight);
    const app::SharedRoom shared = app::shareWithList(g.text1);
    // The list above, the box below, together exactly the room the box has alone.
    EXPECT_EQ(shared.list1, (app::Box{3600, 0, 7945, 900}));
    EXPECT_EQ(shared.text1, (app::Box{3600, 900, 7945, 900}));
    // An odd height leaves no gap and no overlap.
    const app::SharedRoom odd = app::shareWithList(app::Box{10, 20, 300, 1801});
    EXPECT_FLOAT_EQ(odd.list1.top + odd.list1.height, odd.text1.top);
    EXPECT_FLOAT_EQ(odd.text1.top + odd.text1.height, 20 + 1801);
}
