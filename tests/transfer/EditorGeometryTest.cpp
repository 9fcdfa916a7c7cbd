// The editor's geometry: pixel <-> value/opacity, the pick, the histogram
// columns and the markers, with the exact numbers of a 700-pixel-wide client.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"

namespace {

TEST(EditorGeometry, PixelConversionsTruncateTowardZero) {
    EXPECT_EQ(ValueToPixelX(2048, 700), 350);
    EXPECT_EQ(ValueToPixelX(4095, 700), 699); // 699.83: truncated, not rounded
    EXPECT_EQ(ValueToPixelX(6, 700), 1);      // 1.025
    EXPECT_EQ(ValueToPixelX(5, 700), 0);      // 0.854
    EXPECT_FLOAT_EQ(ValueToPixelXExact(4095, 700), 699.8291f);
    EXPECT_EQ(ValueToPixelX(4095, 0), 0);
    EXPECT_EQ(OpacityToPixelY(1.0f, 180), 180);
    EXPECT_EQ(OpacityToPixelY(0.999f, 180), 179); // 179.82
    EXPECT_EQ(OpacityToPixelY(0.5f, 0), 0);
    EXPECT_EQ(PixelToValue(350, 700), 2048);
    EXPECT_EQ(PixelToValue(699, 700), 4090); // the end point at 4095 is out of reach
    EXPECT_EQ(PixelToValue(700, 700), 4096);
    EXPECT_EQ(PixelToValue(-10, 700), -58); // -58.5 truncated toward zero, not floored
    EXPECT_FLOAT_EQ(PixelToOpacity(0, 180), 1.0f);
    EXPECT_NEAR(PixelToOpacity(179, 180), 1.0f / 180.0f, 1e-6f); // nearly 0
    EXPECT_FLOAT_EQ(PixelToOpacity(360, 180), -1.0f);            // not clamped here
}

TEST(EditorGeometry, HistogramColumnsFoldBinsWithARunningMaximum) {
    std::vector<int32_t> hist(TABLE_SIZE, 0);
    hist[3] = 20;     // column 0: folded into the next drawn column (1)
    hist[6] = 5;      // first bin of column 1 (6 * 700 / 4096 = 1.03)
    hist[7] = 1000;   // column 1 as well (1.20), but only reaches the line of column 2
    hist[12] = 2;     // first bin of column 2 (2.05)
    hist[2048] = 150; // column 350
    hist[4091] = 1;   // first bin of column 699: ln 1 = 0, a line of no height
    hist[4095] = 900; // after the first bin of the last column: never drawn
    std::vector<HistogramLine> lines;
    ASSERT_TRUE(ComputeHistogramLines(hist.data(), 7, false, 700, 180, lines));
    ASSERT_EQ(lines.size(), 4u);
    // trunc(ln n * 180 / ln 1000) for n = 20, 1000 (180 or just below), 150, 1.
    EXPECT_EQ(std::vector<int>({lines[0].x, lines[1].x, lines[2].x, lines[3].x}),
              std::vector<int>({1, 2, 350, 699}));
    EXPECT_EQ(std::vector<int>({lines[0].yTop, lines[2].yTop, lines[3].yTop}),
              std::vector<int>({78, 130, 0}));
    EXPECT_GE(lines[1].yTop, 179);
    EXPECT_EQ(lines[0].yBottom, 0);
    // In Slicing mode (and only there) the lines stand on row 16, scaled into
    // the height above it: trunc(ln 150 * 180/ln 1000 * 164/180) = 118, + 16.
    hist = std::vector<int32_t>(TABLE_SIZE, 0);
    hist[2048] = 1000;
    hist[1024] = 150;
    for (const auto& [bSlicing, nBottom, nTop] :
         {std::tuple{true, 16, 134}, std::tuple{false, 0, 130}}) {
        ASSERT_TRUE(ComputeHistogramLines(hist.data(), 2048, bSlicing, 700, 180, lines));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].x, 175);
        EXPECT_EQ(lines[0].yBottom, nBottom);
        EXPECT_EQ(lines[0].yTop, nTop);
        EXPECT_EQ(lines[1].yBottom, nBottom);
        EXPECT_GE(lines[1].yTop, 179);
        EXPECT_LE(lines[1].yTop, 180);
    }
}

TEST(EditorGeometry, TheScanAxisStandsAtRoundValuesInScanUnits) {
    // CT: stored 1024 is 0 HU, at column 1024 / 4096 * 700.
    const std::vector<AxisTick> ct = ComputeAxisTicks(-1024.0, 1.0, 700);
    ASSERT_EQ(ct.size(), 5u);
    EXPECT_EQ(ct[0].dValue, -1000.0);
    EXPECT_EQ(ct[1].dValue, 0.0);
    EXPECT_EQ(ct[1].x, 175);
    EXPECT_EQ(ct[4].dValue, 3000.0);
    // An 8-bit scan spread over 0..4095: 0, 50, ... 250, the last at stored 4014.7.
    const std::vector<AxisTick> mr = ComputeAxisTicks(0.0, 255.0 / 4095.0, 700);
    ASSERT_EQ(mr.size(), 6u);
    EXPECT_EQ(mr[5].dValue, 250.0);
    EXPECT_EQ(mr[5].x, 686);
    // The value under the mouse stays inside the table beyond either edge.
    EXPECT_EQ(MouseValue(350, 700), 2048);
    EXPECT_EQ(MouseValue(-5, 700), 0);
    EXPECT_EQ(MouseValue(900, 700), 4095);
}

} // namespace
