// The slice view's fit of a slice into the client area and the points it draws,
// computed without a display.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "transfer/TransferFunction.h"
#include "view/SliceView.h"
#include "volume/Volume.h"

namespace {

// A dataset file in a private temporary directory, loaded into a CVolume.
class VolumeFile {
public:
    VolumeFile(int nDimX, int nDimY, int nDimZ, const std::vector<int16_t>& voxels) {
        char pattern[] = "/tmp/orvex-slicefit-XXXXXX";
        const int fd = mkstemp(pattern);
        EXPECT_GE(fd, 0);
        m_sPath = pattern;
        FILE* f = fdopen(fd, "wb");
        auto put16 = [f](int v) {
            const unsigned char b[2] = {static_cast<unsigned char>(v & 0xff),
                                        static_cast<unsigned char>((v >> 8) & 0xff)};
            std::fwrite(b, 1, 2, f);
        };
        put16(nDimX);
        put16(nDimY);
        put16(nDimZ);
        for (int16_t v : voxels)
            put16(v);
        std::fclose(f);
        m_pVolume = new CVolume(m_sPath);
    }
    ~VolumeFile() {
        delete m_pVolume;
        std::remove(m_sPath.c_str());
    }
    CVolume* Get() const { return m_pVolume; }

private:
    std::string m_sPath;
    CVolume* m_pVolume = nullptr;
};

std::vector<int16_t> Filled(int nCount, int16_t nValue) {
    return std::vector<int16_t>(static_cast<size_t>(nCount), nValue);
}

TEST(SliceFit, SquareSliceInTwiceItsSizeCoversTwoByTwoPixelsPerVoxel) {
    VolumeFile volume(256, 256, 1, Filled(256 * 256, 100));
    ASSERT_NE(volume.Get()->m_pVoxels, nullptr);
    SliceFit fit;
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 0, 512, 512, fit));
    EXPECT_EQ(fit.du, 0.5f);
    EXPECT_EQ(fit.dv, 0.5f);
    EXPECT_EQ(fit.y0, 0);
    EXPECT_EQ(fit.y1, 511);
    // trunc(256 - 256) and trunc(2 * 256): the 513th column lies just outside.
    EXPECT_EQ(fit.x0, 0);
    EXPECT_EQ(fit.x1, 512);
}

TEST(SliceFit, WideSliceFillsTheWidthAndIsCentredVertically) {
    VolumeFile volume(200, 100, 1, Filled(200 * 100, 1));
    SliceFit fit;
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 0, 400, 400, fit));
    EXPECT_EQ(fit.du, 0.5f);
    EXPECT_EQ(fit.dv, 0.5f);
    EXPECT_EQ(fit.x0, 0);
    EXPECT_EQ(fit.x1, 399);
    // r = 1/2: trunc(200 - 100) and trunc(1.5 * 200).
    EXPECT_EQ(fit.y0, 100);
    EXPECT_EQ(fit.y1, 300);
}

TEST(SliceFit, TallSliceFillsTheHeightAndIsCentredHorizontally) {
    VolumeFile volume(100, 200, 1, Filled(100 * 200, 1));
    SliceFit fit;
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 0, 400, 400, fit));
    EXPECT_EQ(fit.du, 0.5f);
    EXPECT_EQ(fit.dv, 0.5f);
    EXPECT_EQ(fit.y0, 0);
    EXPECT_EQ(fit.y1, 399);
    EXPECT_EQ(fit.x0, 100);
    EXPECT_EQ(fit.x1, 300);
}

TEST(SliceFit, PlanesTakeTheirAxesFromTheTable) {
    // 4 x 8 x 2: XY is 4 x 8, XZ is 4 x 2, YZ is 8 x 2.
    VolumeFile volume(4, 8, 2, Filled(4 * 8 * 2, 1));
    SliceFit fit;
    // YZ (8 x 2, aspect 4) in 800 x 200 (aspect 4): the height branch.
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 2, 800, 200, fit));
    EXPECT_EQ(fit.dv, 0.01f);
    EXPECT_EQ(fit.du, 0.01f);
    EXPECT_EQ(fit.x0, 0);
    EXPECT_EQ(fit.x1, 800);
    // XZ (4 x 2, aspect 2) in 800 x 200: narrower, centred horizontally.
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 1, 800, 200, fit));
    EXPECT_EQ(fit.x0, 200);
    EXPECT_EQ(fit.x1, 600);
    EXPECT_EQ(fit.y1, 199);
    // XY (4 x 8, aspect 1/2) in 800 x 200.
    ASSERT_TRUE(ComputeSliceFit(volume.Get(), 0, 800, 200, fit));
    EXPECT_EQ(fit.x0, 350);
    EXPECT_EQ(fit.x1, 450);
}

TEST(SliceFit, NothingIsDrawnWithoutPlaneVoxelsOrArea) {
    VolumeFile volume(4, 4, 4, Filled(64, 1));
    SliceFit fit;
    EXPECT_FALSE(ComputeSliceFit(volume.Get(), 3, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(volume.Get(), -1, 100, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(nullptr, 0, 100, 100, fit));
    // A zero-sized client area has no aspect to fit to.
    EXPECT_FALSE(ComputeSliceFit(volume.Get(), 0, 0, 100, fit));
    EXPECT_FALSE(ComputeSliceFit(volume.Get(), 0, 100, 0, fit));
    // A dataset that could not be read has no voxels.
    CVolume empty("/nonexistent/orvex-slicefit.dat");
    EXPECT_FALSE(ComputeSliceFit(&empty, 0, 100, 100, fit));
}

// A table whose entry i has red = i % 256 and green = i / 256, so that a drawn
// colour names the sample value it came from.
void FillIdentifyingTable(CTransferFunction& tf) {
    for (int i = 0; i < TABLE_SIZE; ++i)
        tf.m_Table[i] = TableEntry{static_cast<float>(i % 256), static_cast<float>(i / 256), 0, 0};
}

struct Point {
    int x, y, value;
};

std::vector<Point> DrawnPoints(const CVolume* pVolume, const CTransferFunction& tf, int nPlane,
                               int nSlice, int nInterpolation, int nWidth, int nHeight) {
    std::vector<Point> points;
    ForEachSlicePoint(pVolume, tf, nPlane, nSlice, nInterpolation, nWidth, nHeight,
                      [&](int x, int y, double r, double g, double) {
                          const int value = static_cast<int>(std::lround(r * 255.0)) +
                                            256 * static_cast<int>(std::lround(g * 255.0));
                          points.push_back(Point{x, y, value});
                      });
    return points;
}

TEST(SlicePoints, EveryVoxelCoversTwoByTwoPixelsFromTheBottomLeft) {
    // 64 x 64 voxels, value x + 64 y, drawn into 128 x 128.
    std::vector<int16_t> voxels(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            voxels[y * 64 + x] = static_cast<int16_t>(x + 64 * y);
    VolumeFile volume(64, 64, 1, voxels);
    CTransferFunction tf(nullptr);
    FillIdentifyingTable(tf);

    const std::vector<Point> points = DrawnPoints(volume.Get(), tf, 0, 0, 0, 128, 128);
    ASSERT_EQ(points.size(), 128u * 129u);
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.front().y, 0);
    EXPECT_EQ(points.back().x, 128);
    EXPECT_EQ(points.back().y, 127);
    int nWrong = 0;
    for (const Point& p : points) {
        // Column 128 samples u = 64, just outside the slice: value 0.
        const int expected = p.x == 128 ? 0 : p.x / 2 + 64 * (p.y / 2);
        nWrong += p.value != expected;
    }
    EXPECT_EQ(nWrong, 0);
}

TEST(SlicePoints, SliceOutsideItsAxisShowsValueZeroInBothSamplings) {
    std::vector<int16_t> voxels(4 * 4 * 4, 3000);
    VolumeFile volume(4, 4, 4, voxels);
    CTransferFunction tf(nullptr);
    FillIdentifyingTable(tf);
    for (int nInterpolation = 0; nInterpolation <= 1; ++nInterpolation) {
        for (int nPlane = 0; nPlane <= 2; ++nPlane) {
            for (int nSlice : {-1, 4, 1000}) {
                const auto points =
                    DrawnPoints(volume.Get(), tf, nPlane, nSlice, nInterpolation, 40, 40);
                ASSERT_FALSE(points.empty());
                int nNonZero = 0;
                for (const Point& p : points)
                    nNonZero += p.value != 0;
                EXPECT_EQ(nNonZero, 0) << "plane " << nPlane << " slice " << nSlice
                                       << " interpolation " << nInterpolation;
            }
            // Inside the axis the slice shows the voxel value.
            const auto inside = DrawnPoints(volume.Get(), tf, nPlane, 2, nInterpolation, 40, 40);
            EXPECT_EQ(inside[0].value, 3000);
        }
    }
}

TEST(SlicePoints, BilinearSmoothsOnlyHorizontallyOnXzAndYz) {
    // Voxel value 1000 * (x + y + z) on 2 x 2 x 2: horizontally and vertically
    // the value changes between neighbours on every plane.
    std::vector<int16_t> voxels(8);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                voxels[z * 4 + y * 2 + x] = static_cast<int16_t>(1000 * (x + y + z));
    VolumeFile volume(2, 2, 2, voxels);
    CTransferFunction tf(nullptr);
    FillIdentifyingTable(tf);
    // A 2 x 2 slice in 8 x 8: du = dv = 0.25, columns 0..8, rows 0..7.
    auto valueAt = [](const std::vector<Point>& points, int x, int y) {
        for (const Point& p : points)
            if (p.x == x && p.y == y)
                return p.value;
        return -1;
    };
    // XZ, slice y = 0: at column 2 (u = 0.5) the bilinear sample lies half way
    // along x; at row 2 (v = 0.5) the vertical position is truncated to z = 0.
    const auto xz = DrawnPoints(volume.Get(), tf, 1, 0, 1, 8, 8);
    EXPECT_EQ(valueAt(xz, 2, 0), 500);
    EXPECT_EQ(valueAt(xz, 0, 2), 0);
    EXPECT_EQ(valueAt(xz, 0, 4), 1000);
    // XY, slice z = 0: bilinear in both directions.
    const auto xy = DrawnPoints(volume.Get(), tf, 0, 0, 1, 8, 8);
    EXPECT_EQ(valueAt(xy, 2, 0), 500);
    EXPECT_EQ(valueAt(xy, 0, 2), 500);
    EXPECT_EQ(valueAt(xy, 2, 2), 1000);
    // Nearest neighbour takes the voxel at the lower edge of each step.
    const auto nearest = DrawnPoints(volume.Get(), tf, 1, 0, 0, 8, 8);
    EXPECT_EQ(valueAt(nearest, 2, 0), 0);
    EXPECT_EQ(valueAt(nearest, 4, 0), 1000);
}

} // namespace
