// The editor's geometry: pixel <-> value/opacity, the pick, the histogram
// columns and the markers, with the exact numbers of a 700-pixel-wide client.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"

namespace {

// A hand-made list of points (the geometry needs no transfer function object).
class PointList {
public:
    void Add(int16_t nPosition, float fOpacity) {
        m_Points.push_back({nPosition, 0.0f, 0.0f, 0.0f, fOpacity, nullptr});
    }
    ControlPoint* First() {
        for (size_t i = 0; i + 1 < m_Points.size(); i++)
            m_Points[i].next = &m_Points[i + 1];
        return m_Points.empty() ? nullptr : &m_Points[0];
    }
    ControlPoint* At(size_t i) { return &m_Points[i]; }

private:
    std::vector<ControlPoint> m_Points;
};

TEST(EditorGeometry, ValueToPixelTruncatesInA700PixelClient) {
    EXPECT_EQ(ValueToPixelX(0, 700), 0);
    EXPECT_EQ(ValueToPixelX(2048, 700), 350);
    EXPECT_EQ(ValueToPixelX(4095, 700), 699); // 699.83: truncated, not rounded
    EXPECT_EQ(ValueToPixelX(6, 700), 1);      // 1.025
    EXPECT_EQ(ValueToPixelX(5, 700), 0);      // 0.854
    EXPECT_FLOAT_EQ(ValueToPixelXExact(4095, 700), 699.8291f);
    EXPECT_EQ(ValueToPixelX(4095, 4096), 4095); // one value per pixel
    EXPECT_EQ(ValueToPixelX(4095, 0), 0);
}

TEST(EditorGeometry, OpacityToPixelTruncates) {
    EXPECT_EQ(OpacityToPixelY(1.0f, 180), 180);
    EXPECT_EQ(OpacityToPixelY(0.0f, 180), 0);
    EXPECT_EQ(OpacityToPixelY(0.999f, 180), 179); // 179.82
    EXPECT_EQ(OpacityToPixelY(0.5f, 0), 0);
}

TEST(EditorGeometry, MouseColumnToValue) {
    EXPECT_EQ(PixelToValue(350, 700), 2048);
    EXPECT_EQ(PixelToValue(699, 700), 4090); // the end point at 4095 is out of reach
    EXPECT_EQ(PixelToValue(0, 700), 0);
    EXPECT_EQ(PixelToValue(700, 700), 4096);
    EXPECT_EQ(PixelToValue(-10, 700), -58); // -58.5 truncated toward zero, not floored
}

TEST(EditorGeometry, MouseValueSaturatesInsteadOfWrapping) {
    // A captured drag far to the right of a narrow window: 80 * 4096 would wrap
    // round to 0 in 16 bits and land the point between its neighbours.
    EXPECT_EQ(PixelToValue(800, 10), INT16_MAX);
    EXPECT_EQ(PixelToValue(-800, 10), INT16_MIN);
}

TEST(EditorGeometry, MouseRowToOpacity) {
    EXPECT_FLOAT_EQ(PixelToOpacity(0, 180), 1.0f);
    EXPECT_NEAR(PixelToOpacity(179, 180), 1.0f / 180.0f, 1e-6f); // nearly 0
    EXPECT_FLOAT_EQ(PixelToOpacity(90, 180), 0.5f);
    EXPECT_FLOAT_EQ(PixelToOpacity(360, 180), -1.0f); // not clamped here
    EXPECT_FLOAT_EQ(PixelToOpacity(-90, 180), 1.5f);
}

TEST(EditorGeometry, ZeroSizedClientNeverDividesByZero) {
    EXPECT_EQ(PixelToValue(0, 0), 0);
    EXPECT_EQ(PixelToValue(3, 0), 12288); // counts as one pixel wide
    EXPECT_FLOAT_EQ(PixelToOpacity(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(PixelToOpacity(1, 0), 0.0f);
    EXPECT_FALSE(std::isnan(PixelToOpacity(0, -5)));
}

TEST(EditorGeometry, NearestPointUsesUnroundedPositionsAndDrawingRows) {
    PointList list;
    list.Add(0, 0.0f);
    list.Add(2048, 0.5f);
    list.Add(4095, 0.0f);
    ControlPoint* pFirst = list.First();
    // Mouse row 90 of a 180-high client is drawing row 90: the middle point.
    EXPECT_EQ(FindNearestPoint(pFirst, 350, 90, 700, 180), list.At(1));
    // Near the bottom right corner (mouse y grows downwards).
    EXPECT_EQ(FindNearestPoint(pFirst, 690, 179, 700, 180), list.At(2));
    EXPECT_EQ(FindNearestPoint(pFirst, 5, 170, 700, 180), list.At(0));
}

TEST(EditorGeometry, NearestPointTiesGoToTheFirst) {
    PointList list;
    list.Add(1024, 0.0f); // x 175
    list.Add(3072, 0.0f); // x 525
    ControlPoint* pFirst = list.First();
    EXPECT_EQ(FindNearestPoint(pFirst, 350, 180, 700, 180), list.At(0)); // both 175 away
    EXPECT_EQ(FindNearestPoint(pFirst, 351, 180, 700, 180), list.At(1)); // strictly closer
}

TEST(EditorGeometry, NearestPointNeedsADistanceBelow10000) {
    PointList list;
    list.Add(0, 0.0f);
    ControlPoint* pFirst = list.First();
    // The point sits at drawing (0, 0); mouse row 100 of a 100-high client is row 0.
    EXPECT_EQ(FindNearestPoint(pFirst, 10000, 100, 4096, 100), nullptr);
    EXPECT_EQ(FindNearestPoint(pFirst, 9999, 100, 4096, 100), list.At(0));
    EXPECT_EQ(FindNearestPoint(nullptr, 0, 0, 700, 180), nullptr);
}

TEST(EditorGeometry, HistogramIsSkippedWithoutAUsableScale) {
    std::vector<int32_t> hist(TABLE_SIZE, 0);
    std::vector<HistogramLine> lines{{1, 2, 3}};
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 0, RENDER_MODE_VOLUME, 700, 180, lines));
    EXPECT_TRUE(lines.empty());
    hist[100] = 1; // a single voxel: ln 1 = 0
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 100, RENDER_MODE_VOLUME, 700, 180, lines));
    hist[100] = 50;
    EXPECT_FALSE(ComputeHistogramLines(nullptr, 100, RENDER_MODE_VOLUME, 700, 180, lines));
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 100, RENDER_MODE_VOLUME, 0, 180, lines));
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 100, RENDER_MODE_VOLUME, 700, 0, lines));
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 4096, RENDER_MODE_VOLUME, 700, 180, lines));
    EXPECT_FALSE(ComputeHistogramLines(hist.data(), 100, RENDER_MODE_SLICING, 700, 16, lines));
    EXPECT_TRUE(ComputeHistogramLines(hist.data(), 100, RENDER_MODE_VOLUME, 700, 180, lines));
    EXPECT_EQ(lines.size(), 1u);
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
    ASSERT_TRUE(ComputeHistogramLines(hist.data(), 7, RENDER_MODE_VOLUME, 700, 180, lines));
    ASSERT_EQ(lines.size(), 4u);
    const double dScale = 180.0 / std::log(1000.0);
    EXPECT_EQ(lines[0].x, 1);
    EXPECT_EQ(lines[0].yBottom, 0);
    EXPECT_EQ(lines[0].yTop, static_cast<int>(std::log(20.0) * dScale)); // 78
    EXPECT_EQ(lines[0].yTop, 78);
    EXPECT_EQ(lines[1].x, 2);
    EXPECT_EQ(lines[1].yTop, static_cast<int>(std::log(1000.0) * dScale)); // 180 or 179
    EXPECT_GE(lines[1].yTop, 179);
    EXPECT_EQ(lines[2].x, 350);
    EXPECT_EQ(lines[2].yTop, 130); // 130.59
    EXPECT_EQ(lines[3].x, 699);
    EXPECT_EQ(lines[3].yTop, 0);
}

TEST(EditorGeometry, SlicingHistogramStandsAboveTheBar) {
    std::vector<int32_t> hist(TABLE_SIZE, 0);
    hist[2048] = 1000;
    hist[1024] = 150;
    std::vector<HistogramLine> lines;
    ASSERT_TRUE(ComputeHistogramLines(hist.data(), 2048, RENDER_MODE_SLICING, 700, 180, lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].x, 175);
    EXPECT_EQ(lines[0].yBottom, 16);
    EXPECT_EQ(lines[0].yTop, 134); // trunc(ln 150 * 180/ln 1000 * 164/180) = 118, + 16
    EXPECT_EQ(lines[1].x, 350);
    EXPECT_EQ(lines[1].yBottom, 16);
    EXPECT_LE(lines[1].yTop, 180);
    EXPECT_GE(lines[1].yTop, 179);
    // The initial mode draws like Volume mode.
    std::vector<HistogramLine> initial;
    ASSERT_TRUE(ComputeHistogramLines(hist.data(), 2048, RENDER_MODE_NONE, 700, 180, initial));
    EXPECT_EQ(initial[0].yBottom, 0);
    EXPECT_EQ(initial[0].yTop, 130);
}

TEST(EditorGeometry, MarkersOnlyForInnerPoints) {
    EXPECT_FALSE(HasMarker(0));
    EXPECT_FALSE(HasMarker(4095));
    EXPECT_TRUE(HasMarker(1));
    EXPECT_TRUE(HasMarker(4094));
}

TEST(EditorGeometry, MarkerCornersTruncateTowardZero) {
    const MarkerTriangle m = ComputeMarker(2048, 700);
    EXPECT_EQ(m.tipX, 350);
    EXPECT_EQ(m.tipY, 16);
    EXPECT_EQ(m.rightX, 355);
    EXPECT_EQ(m.rightY, 21);
    EXPECT_EQ(m.leftX, 345);
    EXPECT_EQ(m.leftY, 21);
    // Column 0.51: the left corner at -4.49 becomes -4, the right one 5.
    const MarkerTriangle edge = ComputeMarker(3, 700);
    EXPECT_EQ(edge.tipX, 0);
    EXPECT_EQ(edge.rightX, 5);
    EXPECT_EQ(edge.leftX, -4);
    // 4094 * 700 / 4096 = 699.66: right corner 704.66 -> 704.
    EXPECT_EQ(ComputeMarker(4094, 700).rightX, 704);
}

TEST(EditorGeometry, DefaultExtensionOnlyWhenTheNameHasNone) {
    EXPECT_EQ(WithDefaultExtension("/tmp/curve"), "/tmp/curve.trf");
    EXPECT_EQ(WithDefaultExtension("/tmp/curve.trf"), "/tmp/curve.trf");
    EXPECT_EQ(WithDefaultExtension("/tmp/curve.bak"), "/tmp/curve.bak");
    EXPECT_EQ(WithDefaultExtension("/tmp/dir.d/curve"), "/tmp/dir.d/curve.trf");
    EXPECT_EQ(WithDefaultExtension("curve"), "curve.trf");
    EXPECT_EQ(WithDefaultExtension("/tmp/.hidden"), "/tmp/.hidden.trf");
}

} // namespace
