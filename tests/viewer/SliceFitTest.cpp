// The slice view's fit of a slice into the client area and the points it draws,
// computed without a display.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "transfer/TransferFunction.h"
#include "view/SliceView.h"
#include "volume/Volume.h"

namespace {

// A dataset written to a scratch file and read back as the viewer reads it;
// voxel (x, y, z) holds f(x, y, z).
template <class F> std::unique_ptr<CVolume> MakeVolume(int nDimX, int nDimY, int nDimZ, F f) {
    const testfiles::ScratchDir dir;
    auto pVolume = std::make_unique<CVolume>(
        dir.Write("slice.dat", testfiles::FieldBytes(nDimX, nDimY, nDimZ, f)));
    EXPECT_NE(pVolume->m_pVoxels, nullptr);
    return pVolume;
}

std::unique_ptr<CVolume> Filled(int nDimX, int nDimY, int nDimZ, int nValue) {
    return MakeVolume(nDimX, nDimY, nDimZ, [=](int, int, int) { return nValue; });
}

TEST(SliceFit, FillsOneDirectionAndCentresTheOther) {
    struct Case {
        int nDimX, nDimY, nDimZ, nPlane, nWidth, nHeight;
        SliceFit fit;
        double dSpacingZ = 1.0;
    };
    const Case cases[] = {
        // 256 x 256 in 512 x 512: 2 x 2 pixels per voxel; the 513th column lies
        // just outside the viewport.
        {256, 256, 1, 0, 512, 512, {0.5f, 0.5f, 0, 512, 0, 511}},
        // Wide: fills the width, centred vertically (r = 1/2).
        {200, 100, 1, 0, 400, 400, {0.5f, 0.5f, 0, 399, 100, 300}},
        // Tall: fills the height, centred horizontally.
        {100, 200, 1, 0, 400, 400, {0.5f, 0.5f, 100, 300, 0, 399}},
        // 4 x 8 x 2 in 800 x 200: YZ is 8 x 2, XZ 4 x 2, XY 4 x 8.
        {4, 8, 2, 2, 800, 200, {0.01f, 0.01f, 0, 800, 0, 199}},
        {4, 8, 2, 1, 800, 200, {0.01f, 0.01f, 200, 600, 0, 199}},
        {4, 8, 2, 0, 800, 200, {0.04f, 0.04f, 350, 450, 0, 199}},
        // Voxels twice as long along z: the XZ slice is 4 x 4 units, square on
        // the screen, and a pixel steps half as far along z.
        {4, 8, 2, 1, 800, 200, {0.02f, 0.01f, 300, 500, 0, 199}, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.nDimX << "x" << c.nDimY << "x" << c.nDimZ << " plane " << c.nPlane);
        const auto pVolume = Filled(c.nDimX, c.nDimY, c.nDimZ, 100);
        pVolume->m_dSpacing[2] = c.dSpacingZ;
        SliceFit fit;
        ASSERT_TRUE(ComputeSliceFit(pVolume.get(), c.nPlane, c.nWidth, c.nHeight, fit));
        EXPECT_EQ(fit.du, c.fit.du);
        EXPECT_EQ(fit.dv, c.fit.dv);
        EXPECT_EQ(fit.x0, c.fit.x0);
        EXPECT_EQ(fit.x1, c.fit.x1);
        EXPECT_EQ(fit.y0, c.fit.y0);
        EXPECT_EQ(fit.y1, c.fit.y1);
    }
}

TEST(SliceFit, NothingIsDrawnWithoutPlaneVoxelsOrArea) {
    const auto pVolume = Filled(4, 4, 4, 1);
    CVolume empty("/nonexistent/orvex-slicefit.dat"); // could not be read: no voxels
    SliceFit fit;
    EXPECT_FALSE(ComputeSliceFit(pVolume.get(), 3, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(pVolume.get(), -1, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(nullptr, 0, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(&empty, 0, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(pVolume.get(), 0, 0, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(pVolume.get(), 0, 100, 0, fit));
}

// The sample value the slice view shows at point (x, y) (-1: no point there):
// the table entry i has red = i % 256 and green = i / 256, so a colour names
// its value.
int ValueAt(const CVolume& volume, int nPlane, int nSlice, int nInterpolation, int x, int y) {
    CTransferFunction tf(nullptr);
    for (int i = 0; i < TABLE_SIZE; ++i)
        tf.m_Table[i] = TableEntry{static_cast<float>(i % 256), static_cast<float>(i / 256), 0, 0};
    int nValue = -1;
    ForEachSlicePoint(&volume, tf, nPlane, nSlice, nInterpolation, 8, 8,
                      [&](int px, int py, double r, double g, double) {
                          if (px == x && py == y)
                              nValue = static_cast<int>(std::lround(r * 255.0)) +
                                       256 * static_cast<int>(std::lround(g * 255.0));
                      });
    return nValue;
}

TEST(SlicePoints, BilinearSmoothsOnlyHorizontallyOnXzAndYzAndOutsideIsZero) {
    // 1000 * (x + y + z) on 2 x 2 x 2; a 2 x 2 slice in 8 x 8 steps by 0.25.
    const auto pVolume =
        MakeVolume(2, 2, 2, [](int x, int y, int z) { return 1000 * (x + y + z); });
    const CVolume& v = *pVolume;
    // XZ, slice y = 0: half way along x at column 2; the vertical position is
    // truncated, so row 2 (v = 0.5) still shows z = 0. YZ alike.
    EXPECT_EQ(ValueAt(v, 1, 0, 1, 2, 0), 500);
    EXPECT_EQ(ValueAt(v, 1, 0, 1, 0, 2), 0);
    EXPECT_EQ(ValueAt(v, 1, 0, 1, 0, 4), 1000);
    EXPECT_EQ(ValueAt(v, 2, 1, 1, 2, 2), 1500);
    // XY, slice z = 0: bilinear in both directions.
    EXPECT_EQ(ValueAt(v, 0, 0, 1, 2, 0), 500);
    EXPECT_EQ(ValueAt(v, 0, 0, 1, 0, 2), 500);
    EXPECT_EQ(ValueAt(v, 0, 0, 1, 2, 2), 1000);
    // Nearest neighbour takes the voxel at the lower edge of each step.
    EXPECT_EQ(ValueAt(v, 1, 0, 0, 2, 0), 0);
    EXPECT_EQ(ValueAt(v, 1, 0, 0, 4, 0), 1000);
    // A slice outside its axis shows value 0 in both samplings, on every plane.
    for (int nPlane = 0; nPlane <= 2; ++nPlane)
        for (int nSlice : {-1, 2, 1000})
            for (int nInterpolation : {0, 1})
                EXPECT_EQ(ValueAt(v, nPlane, nSlice, nInterpolation, 6, 6), 0)
                    << nPlane << " " << nSlice << " " << nInterpolation;
}

} // namespace
