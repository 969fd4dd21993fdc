#include "settings/sweep.h"

#include <gtest/gtest.h>

TEST(Sweep, EachFrameRoundsTheWholeValueHalfAwayFromZero) {
    struct Row {
        std::int32_t from, to, frames, frame, expected;
    } rows[] = {
        {0, -1500, 60, 0, 0},   {0, -1500, 60, 59, -1500}, {0, -600, 60, 1, -10},
        {0, 360, 12, 1, 33},    // 32.727...
        {0, 1, 3, 1, 1},        // 0.5 goes up
        {-1, 0, 3, 1, -1},      // -0.5 goes down, though the step is +0.5
        {255, 0, 2, 1, 0},      {-1500, 1500, 100000, 50000, 0},  // 0.0150..., no overflow on the way
        {-1500, 1500, 100000, 99998, 1500},                     // 1499.97
    };
    for (const Row& row : rows) {
        Sweep sweep;
        sweep.from.XOffset = row.from;
        sweep.to.XOffset = row.to;
        sweep.frames = row.frames;
        const RenderSettings frame = sweep.Frame(row.frame);
        EXPECT_EQ(frame.XOffset, row.expected) << row.from << ":" << row.to << " frame " << row.frame << " of " << row.frames;
        EXPECT_EQ(frame.Pattern, sweep.from.Pattern);  // what is fixed stays
    }
}
