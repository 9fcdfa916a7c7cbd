// The RAW reader, the derived gradients and histogram, and the samplers, on tiny
// datasets written by the tests themselves.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "support/TestFiles.h"
#include "volume/Volume.h"

namespace {

using testfiles::FieldBytes;
using testfiles::RawBytes;
using testfiles::ScratchDir;

int HistogramTotal(const CVolume& v) {
    return std::accumulate(std::begin(v.m_Histogram), std::end(v.m_Histogram), 0);
}

// Everything a rejected or unreadable file must leave behind.
void ExpectEmpty(const CVolume& v) {
    const void* buffers[] = {v.m_pVoxels, v.m_pDifferences, v.m_pWideDifferences};
    for (const void* p : buffers)
        EXPECT_EQ(p, nullptr);
    const int sizes[] = {v.m_nDimX,       v.m_nDimY,          v.m_nDimZ,
                         v.m_nStrideX,    v.m_nStrideY,       v.m_nStrideZ,
                         v.m_nVoxelCount, v.m_nHistogramPeak, HistogramTotal(v)};
    for (int n : sizes)
        EXPECT_EQ(n, 0);
    // The samplers stay safe on an empty dataset.
    EXPECT_EQ(v.VoxelAt(0, 0, 0), 0);
    EXPECT_EQ(v.SampleTrilinear(0.5f, 0.5f, 0.5f), 0.0);
    EXPECT_EQ(v.SampleBilinear(0.5f, 0.5f, 0), 0);
    float g[3] = {1, 1, 1};
    v.GradientTrilinear(0.5f, 0.5f, 0.5f, g);
    EXPECT_TRUE(g[0] == 0.0f && g[1] == 0.0f && g[2] == 0.0f);
}

// ---------------------------------------------------------------- reading

TEST(VolumeLoad, GradientsAreCentralDifferencesInsideAndZeroOnTheFaces) {
    ScratchDir dir;
    // Central differences of x^2 + 2y^2 - 3z^2 are exactly (2x, 4y, -6z); the +1 at
    // x = 2 makes the step along x odd, giving halves.
    auto f = [](int x, int y, int z) { return x * x + 2 * y * y - 3 * z * z + (x == 2 ? 1 : 0); };
    CVolume v(dir.Write("q.dat", FieldBytes(4, 5, 6, f)));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    auto expectGradients = [&] {
        for (int i = 0; i < v.m_nVoxelCount; ++i) {
            const int x = i % 4, y = i / 4 % 5, z = i / 20;
            float g[3] = {0, 0, 0}, stored[3];
            if (x > 0 && x < 3 && y > 0 && y < 4 && z > 0 && z < 5) {
                g[0] = static_cast<float>(f(x + 1, y, z) - f(x - 1, y, z)) * 0.5f;
                g[1] = static_cast<float>(4 * y);
                g[2] = static_cast<float>(-6 * z);
            }
            v.GradientAt(i, stored);
            EXPECT_EQ(std::vector(stored, stored + 3), std::vector(g, g + 3)) << x << y << z;
            EXPECT_FLOAT_EQ(v.GradientLength(i),
                            std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]));
        }
    };
    expectGradients();
    // (1, y, z): neighbours 0 and 4 (with the +1 at x = 2) -> (4 + 1 - 0) / 2.
    float g[3];
    v.GradientAt(1 + 4 * (1 + 5 * 1), g);
    EXPECT_EQ(g[0], 2.5f);
    // Released, the gradients alone go (the slices stay); restored, they are
    // the same bits again.
    const std::vector<int16_t> before(v.m_pDifferences, v.m_pDifferences + 3 * v.m_nVoxelCount);
    v.ReleaseGradients();
    EXPECT_FALSE(v.HasGradients());
    EXPECT_EQ(v.SampleBilinear(1.0f, 2.0f, 3), f(1, 2, 3));
    ASSERT_TRUE(v.RestoreGradients());
    EXPECT_EQ(std::vector(v.m_pDifferences, v.m_pDifferences + 3 * v.m_nVoxelCount), before);
    expectGradients();

    // 3 x 3 x 3 has one interior voxel; values -30000 .. 30000 along x would wrap
    // if the difference were kept in 16 bits: it takes 32, also when restored.
    CVolume n(
        dir.Write("n.dat", FieldBytes(3, 3, 3, [](int x, int, int) { return (x - 1) * 30000; })));
    ASSERT_EQ(n.GetLoadError(), RAW_OK);
    n.ReleaseGradients();
    ASSERT_TRUE(n.RestoreGradients());
    for (int i = 0; i < 27; ++i) {
        n.GradientAt(i, g);
        EXPECT_EQ(g[0], i == 13 ? 30000.0f : 0.0f) << i;
        EXPECT_EQ(n.GradientLength(i), i == 13 ? 30000.0f : 0.0f) << i;
    }
    // Large enough to be split into slabs among the processors: each slab
    // fills its own gradients and counts its own values.
    const auto pBig =
        testfiles::MakeVolume(64, 64, 128, [](int x, int, int z) { return x + 3 * z; });
    EXPECT_EQ(HistogramTotal(*pBig), pBig->m_nVoxelCount);
    int nInterior = 0;
    for (int i = 0; i < pBig->m_nVoxelCount; ++i) {
        pBig->GradientAt(i, g);
        nInterior += g[0] == 1.0f && g[1] == 0.0f && g[2] == 3.0f;
    }
    EXPECT_EQ(nInterior, 62 * 62 * 126);
    // A dimension of 1 or 2 leaves no interior voxel at all.
    for (int d : {1, 2}) {
        CVolume flat(dir.Write(
            "flat.dat", FieldBytes(5, d, 5, [](int x, int y, int z) { return x * y * z + x; })));
        for (int i = 0; i < flat.m_nVoxelCount; ++i)
            ASSERT_EQ(flat.GradientLength(i), 0.0f) << d << " " << i;
    }
}

// ---------------------------------------------------------------- rejection

TEST(VolumeLoad, RejectedFilesNameTheReasonAndFreeTheOldDataset) {
    ScratchDir dir;
    const std::string sHeader = RawBytes(2, 2, 2, {});
    const std::string sValues = RawBytes(2, 2, 2, {0, 1, 2, 3, 4, 5, 6, 7}).substr(6);
    struct Case {
        std::string sBytes;
        RawLoadError eError;
        const char* pReason;
    };
    std::vector<Case> cases;
    // A dimension below 1 on any axis, with plenty of voxel bytes behind it.
    for (int axis = 0; axis < 3; ++axis)
        for (int nBad : {0, -1, -32768}) {
            int d[3] = {2, 2, 2};
            d[axis] = nBad;
            cases.push_back({RawBytes(d[0], d[1], d[2], std::vector<int16_t>(64, 1)),
                             RAW_INVALID_HEADER, "invalid header"});
        }
    for (size_t n = 0; n < 6; ++n) // the header itself cut short
        cases.push_back({sHeader.substr(0, n), RAW_INVALID_HEADER, "invalid header"});
    // 2 x 2 x 2 needs 16 voxel bytes: none, one, seven values and 15 bytes fall short.
    for (size_t n : {0, 1, 14, 15})
        cases.push_back({sHeader + sValues.substr(0, n), RAW_TOO_SHORT, "too short"});
    // 32767^3 overflows 32 bits, and 32767 * 32767 * 3 just passes 2^31: the size is
    // at fault, not the length. 32767 * 32767 * 2 still fits: merely too short.
    cases.push_back({RawBytes(32767, 32767, 32767, {1, 2, 3}), RAW_TOO_LARGE, "too large"});
    cases.push_back({RawBytes(32767, 32767, 3, {1}), RAW_TOO_LARGE, "too large"});
    cases.push_back({RawBytes(32767, 32767, 2, {1}), RAW_TOO_SHORT, "too short"});
    // Text decodes to a huge header.
    cases.push_back({"GARBAGE! this is not a volume", RAW_TOO_LARGE, "too large"});

    CVolume v(dir.Write("ok.dat", RawBytes(2, 1, 1, {5, 6})));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        ASSERT_EQ(v.LoadRaw(dir.Path("ok.dat")), 0);
        CDebugCapture capture;
        EXPECT_EQ(v.LoadRaw(dir.Write("bad.dat", cases[i].sBytes)), -1);
        EXPECT_EQ(v.GetLoadError(), cases[i].eError);
        EXPECT_EQ(capture.Text(),
                  std::string("Couldn't load dataset file: ") + cases[i].pReason + "!\n");
        ExpectEmpty(v);
    }
    // A load after a failure starts clean.
    EXPECT_EQ(v.LoadRaw(dir.Write("one.dat", RawBytes(1, 1, 1, {9}))), 0);
    EXPECT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.m_Histogram[9], 1);
    EXPECT_EQ(HistogramTotal(v), 1);
}

// ---------------------------------------------------------------- samplers

// 4 x 3 x 2, linear in x, y and z: interpolation inside the grid reproduces the
// formula exactly.
int Linear(int x, int y, int z) {
    return x + 7 * y + 50 * z + 1;
}

TEST(VolumeLoad, AForkedChildInheritsNoneOfTheDatasetsBuffers) {
    // The import reads files in a forked child: a dataset's buffers must not be
    // mapped there (no page tables to copy, no pages copied on write).
    const auto pVolume = testfiles::MakeVolume(64, 64, 64, [](int x, int, int) { return x; });
    const void* buffers[] = {pVolume->m_pVoxels, pVolume->m_pDifferences};
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // mincore fails with ENOMEM on an address that is not mapped.
        const long nPage = sysconf(_SC_PAGESIZE);
        unsigned char resident = 0;
        int nMapped = 0;
        for (const void* p : buffers) {
            void* pPage = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(p) / nPage * nPage);
            nMapped += mincore(pPage, 1, &resident) == 0;
        }
        _exit(nMapped);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "buffers mapped in the child";
}

TEST(VolumeSamplers, VoxelAtTrilinearAndBilinearInsideBeyondAndBelowTheGrid) {
    ScratchDir dir;
    CVolume v(dir.Write("s.dat", FieldBytes(4, 3, 2, Linear)));
    CVolume n(dir.Write("n.dat", RawBytes(2, 1, 2, {1, 2, -1, -2})));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    ASSERT_EQ(n.GetLoadError(), RAW_OK);
    // 0 just outside every face; x beyond the row must not wrap into the next row.
    EXPECT_EQ(v.VoxelAt(3, 2, 1), Linear(3, 2, 1));
    for (auto [x, y, z] :
         {std::array{-1, 0, 0}, {4, 0, 0}, {0, -1, 0}, {0, 3, 0}, {0, 0, -1}, {0, 0, 2}, {4, 1, 0}})
        EXPECT_EQ(v.VoxelAt(x, y, z), 0) << x << "," << y << "," << z;
    for (int i = 0; i < 24; ++i) {
        const int x = i % 4, y = (i / 4) % 3, z = i / 12;
        EXPECT_EQ(v.SampleTrilinear(float(x), float(y), float(z)), Linear(x, y, z));
    }

    const struct {
        float x, y, z;
        double dExpected;
    } trilinear[] = {
        {0.25f, 1.5f, 0.75f, 0.25 + 10.5 + 37.5 + 1}, // inside cells: the formula
        {2.5f, 0.125f, 0.5f, 2.5 + 0.875 + 25 + 1},
        // Just past the last voxel on each axis the missing corners count as 0.
        {3.5f, 1.0f, 1.0f, Linear(3, 1, 1) * 0.5},
        {1.0f, 2.5f, 0.0f, Linear(1, 2, 0) * 0.5},
        {2.0f, 1.0f, 1.5f, Linear(2, 1, 1) * 0.5},
        {40.0f, 1.0f, 1.0f, 0.0},
        {1.0f, 1.0f, -3.0f, 0.0},
        {1e30f, std::nanf(""), 0.0f, 0.0},
        // x = -0.5 truncates to cell 0 with fraction -0.5: 1.5 v(0) - 0.5 v(1).
        {-0.5f, 1.0f, 1.0f, 1.5 * Linear(0, 1, 1) - 0.5 * Linear(1, 1, 1)},
        {2.0f, -0.25f, 0.0f, 1.25 * Linear(2, 0, 0) - 0.25 * Linear(2, 1, 0)},
    };
    for (const auto& c : trilinear)
        EXPECT_EQ(v.SampleTrilinear(c.x, c.y, c.z), c.dExpected) << c.x << "," << c.y << "," << c.z;

    const struct {
        const CVolume& volume;
        float x, y;
        int z, nExpected;
    } bilinear[] = {
        {v, 1.0f, 2.0f, 1, Linear(1, 2, 1)},
        {v, 1.5f, 0.25f, 1, 54},                 // 1.5 + 1.75 + 50 + 1
        {v, 3.5f, 1.0f, 0, Linear(3, 1, 0) / 2}, // 5.5 -> 5
        {v, 1.0f, 1.0f, -1, 0},
        {v, 1.0f, 1.0f, 2, 0},
        {v, 1.5f, 1.5f, 1000, 0},
        {n, 0.5f, 0.0f, 0, 1},   // 1.5
        {n, 0.5f, 0.0f, 1, -1},  // -1.5, truncated toward zero, not floored to -2
        {n, 0.75f, 0.0f, 1, -1}, // -1.75
        {n, 0.0f, 0.5f, 0, 0},   // half of 1 with y beyond the grid
    };
    for (const auto& c : bilinear)
        EXPECT_EQ(c.volume.SampleBilinear(c.x, c.y, c.z), c.nExpected) << c.x << "," << c.y;
}

TEST(VolumeSamplers, WholeValuesNeverTruncateToOneLess) {
    // Single-precision arithmetic gives e.g. 3 * 0.9f + 3 * 0.1f = 2.9999998 here.
    ScratchDir dir;
    for (int value : {3, 5, 7, 10, 100, 1000, 4095}) {
        CVolume v(dir.Write("c.dat", FieldBytes(3, 3, 3, [=](int, int, int) { return value; })));
        ASSERT_EQ(v.GetLoadError(), RAW_OK);
        for (int i = 1; i < 100; ++i) {
            const float f = static_cast<float>(i) / 100.0f;
            for (float c : {f, 1.0f + f}) {
                ASSERT_EQ(v.SampleBilinear(c, f, 1), value) << c;
                ASSERT_EQ(v.SampleBilinear(f, c, 0), value) << c;
                ASSERT_EQ(static_cast<int>(v.SampleTrilinear(c, f, 1.0f - f)), value) << c;
                ASSERT_EQ(static_cast<int>(v.SampleTrilinear(f, c, f)), value) << c;
            }
        }
    }
}

TEST(VolumeSamplers, GradientTrilinearInterpolatesStoredGradients) {
    // Stored gradients of x^2 + 2y^2 + 3z^2 are (2x, 4y, 6z) inside, zero on faces;
    // the second dataset keeps them in 32 bits, for its one value -32768 (in a
    // corner, which no difference takes).
    ScratchDir dir;
    auto f = [](int x, int y, int z) { return x * x + 2 * y * y + 3 * z * z; };
    CVolume v(dir.Write("g.dat", FieldBytes(4, 5, 6, f)));
    CVolume w(dir.Write("w.dat", FieldBytes(4, 5, 6, [&](int x, int y, int z) {
                            return x + y + z == 0 ? -32768 : f(x, y, z);
                        })));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    ASSERT_NE(w.m_pWideDifferences, nullptr);
    const struct {
        float x, y, z, g[3];
    } cases[] = {
        {1.5f, 2.25f, 3.5f, {3, 9, 21}},
        {2.0f, 3.0f, 4.0f, {4, 12, 24}},
        // Towards a face the stored zero pulls the value down: half of (4, 8, 12).
        {2.5f, 2.0f, 2.0f, {2, 4, 6}},
        // Corners beyond the grid are not read; they count as zero gradients.
        {3.5f, 2.0f, 2.0f, {0, 0, 0}},
        {-0.5f, 2.0f, 2.0f, {-1, -4, -6}}, // 1.5 * 0 - 0.5 * (2, 8, 12)
    };
    for (const CVolume* p : {&v, &w})
        for (const auto& c : cases) {
            float g[3];
            EXPECT_EQ(p->GradientTrilinear(c.x, c.y, c.z, g), g);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(g[k], c.g[k]) << c.x << "," << c.y << "," << c.z << " axis " << k;
        }
}

} // namespace
