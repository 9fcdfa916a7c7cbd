#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <random>

#include "EngineTestSupport.h"
#include "engine/BrickMap.h"
#include "engine/RayCaster.h"

// Brick ranges and the skip rules. Whether skipping changes a picture is
// checked on whole pictures; these cases are the edges that random volumes
// rarely reach.

namespace {

// Ranges for a made-up row of bricks, for the skip rules alone.
CBrickRanges MadeUpRanges(const std::vector<BrickRange>& bricks, uint8_t nFlat = 0) {
    CBrickRanges r;
    r.m_nBricksX = static_cast<int>(bricks.size());
    r.m_nBricksY = r.m_nBricksZ = 1;
    r.m_Own = r.m_Apron = bricks;
    r.m_OwnFlat.assign(bricks.size(), nFlat);
    r.m_ApronFlat.assign(bricks.size(), nFlat);
    return r;
}

std::vector<bool> Empty(const CSkipMap& map) {
    std::vector<bool> empty;
    for (int bx = 0; bx < map.m_nBricksX; ++bx)
        empty.push_back(map.Distance(bx, 0, 0) != 0);
    return empty;
}

} // namespace

// ------------------------------------------------------------ brick ranges

TEST(BrickRangesTest, RangesAndFlatnessIncludeTheApron) {
    // A 20 x 18 x 11 volume: 3 x 3 x 2 bricks, the last ones partial.
    auto pVolume = MakeVolume(20, 18, 11, [](int x, int y, int z) {
        return static_cast<int16_t>(x == 8 && y == 3 && z == 3 ? -7 : 700 + (x >= 16 ? 1 : 0));
    });
    CVolume& v = *pVolume;
    for (int32_t k = 0; k < v.m_nVoxelCount; ++k) // all gradients zero
        SetGradient(v, k, 0, 0, 0);
    // One component each: the far apron corner of brick 0 (in brick (1, 1, 1)),
    // a voxel of the last, partial brick, and one of the apron voxels along x of
    // brick (1, 0, 0).
    SetGradient(v, VoxelIndex(v, 8, 8, 8), 0, 0, 0.5f);
    SetGradient(v, VoxelIndex(v, 17, 17, 10), 0, -3, 0);
    SetGradient(v, VoxelIndex(v, 16, 2, 5), 1, 0, 0);
    CBrickRanges r;
    ASSERT_TRUE(r.Build(v));
    ASSERT_EQ(r.m_nBricksX, 3);
    ASSERT_EQ(r.m_nBricksY, 3);
    ASSERT_EQ(r.m_nBricksZ, 2);
    auto at = [&r](int bx, int by, int bz) { return static_cast<size_t>(r.Index(bx, by, bz)); };
    // Voxel (8, 3, 3) is in brick 1 and in the apron of brick 0 (one voxel wider).
    EXPECT_EQ(r.m_Own[at(0, 0, 0)].nMin, 700);
    EXPECT_EQ(r.m_Apron[at(0, 0, 0)].nMin, -7);
    EXPECT_EQ(r.m_Own[at(1, 0, 0)].nMin, -7);
    EXPECT_EQ(r.m_Own[at(1, 0, 0)].nMax, 700);
    EXPECT_EQ(r.m_Apron[at(1, 0, 0)].nMax, 701); // x = 16 lies in brick 1's apron
    EXPECT_EQ(r.m_Own[at(2, 2, 1)].nMin, 701);
    // Own and apron flatness.
    for (const auto& [b, nOwn, nApron] : {std::tuple{at(0, 0, 0), 1, 0},
                                          {at(1, 1, 1), 0, 0},
                                          {at(1, 0, 0), 1, 0},
                                          {at(2, 0, 0), 0, 0},
                                          {at(2, 2, 1), 0, 0},
                                          {at(0, 1, 0), 1, 0},
                                          {at(0, 2, 0), 1, 1}})
        EXPECT_EQ(r.m_OwnFlat[b] * 10 + r.m_ApronFlat[b], nOwn * 10 + nApron) << b;
    EXPECT_TRUE(r.IsFor(v));
    // Ranges made while the gradients are released are made again later.
    v.ReleaseGradients();
    ASSERT_TRUE(r.Build(v));
    EXPECT_FALSE(r.IsFor(v));
}

// ---------------------------------------------------------------- skip rules

TEST(SkipMapTest, LevoyNeedsZeroOpacityForEveryReachableValue) {
    CTransferFunction tf;
    tf.m_Table[100].opacity = 0.001f;
    const CBrickRanges r = MadeUpRanges(
        {{101, 200}, {100, 100}, {-50, 99}, {-50, 100}, {102, 4000}, {4096, 32767}, {0, 98}});
    CSkipMap map;
    map.BuildLevoy(r, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true, false, true, true, true}));
    EXPECT_EQ(map.m_Key, (SkipKey{VOLUME_TYPE_LEVOY, VOLUME_NEAREST, 0, 0}));
    // Trilinear values are truncated interpolations: one below a positive
    // minimum may be reached.
    map.BuildLevoy(r, tf, VOLUME_TRILINEAR);
    EXPECT_EQ(Empty(map), (std::vector<bool>{false, false, true, false, true, true, true}));
    // Values above the table use its last entry.
    tf.m_Table[TABLE_SIZE - 1].opacity = 0.5f;
    map.BuildLevoy(r, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true, false, true, false, true}));
    // An all-zero brick interpolates to exactly zero; one of whole values from 2
    // up can truncate to 1.
    CTransferFunction one;
    one.m_Table[1].opacity = 0.25f;
    map.BuildLevoy(MadeUpRanges({{0, 0}, {2, 5}, {3, 5}}), one, VOLUME_TRILINEAR);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true}));
    // A NaN opacity is not zero.
    tf.m_Table[TABLE_SIZE - 1].opacity = 0.0f;
    tf.m_Table[50].opacity = std::numeric_limits<float>::quiet_NaN();
    map.BuildLevoy(r, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false, false, true, true, false}));

    // Bricks without gradient are skipped: their own for nearest neighbour,
    // with the apron for trilinear.
    for (int i = 0; i < TABLE_SIZE; ++i)
        tf.m_Table[i].opacity = 0.01f;
    CBrickRanges flat = MadeUpRanges({{5, 5}, {5, 5}, {5, 5}});
    flat.m_OwnFlat = {1, 0, 1};
    flat.m_ApronFlat = {0, 1, 1};
    map.BuildLevoy(flat, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true}));
    map.BuildLevoy(flat, tf, VOLUME_TRILINEAR);
    EXPECT_EQ(Empty(map), (std::vector<bool>{false, true, true}));
}

TEST(SkipMapTest, AMapIsKeptOnlyForTheSameRangesSettingsAndOpacities) {
    // Three bricks along x of values 100-107, 108-111 and 312-315, 316-323.
    auto pLow =
        MakeVolume(24, 8, 8, [](int x, int, int) { return int16_t(x + (x < 12 ? 100 : 300)); });
    auto pHigh = MakeVolume(24, 8, 8, [](int x, int, int) { return int16_t(x + 300); });
    CBrickRanges low, high;
    ASSERT_TRUE(low.Build(*pLow));
    ASSERT_TRUE(high.Build(*pHigh));
    CTransferFunction tf;
    for (int i = 300; i < 400; ++i)
        tf.m_Table[i].opacity = 0.5f;
    CSkipMap map;
    map.BuildLevoy(low, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false}));
    for (int i = 0; i < TABLE_SIZE; ++i)
        tf.m_Table[i].opacity = i >= 100 && i < 110 ? 0.5f : 0.0f;
    map.BuildLevoy(low, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{false, false, true}));
    map.BuildFirstHit(low, VOLUME_NEAREST, 200, 4095);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false}));
    map.BuildFirstHit(low, VOLUME_NEAREST, 0, 200);
    EXPECT_EQ(Empty(map), (std::vector<bool>{false, false, true}));
    map.BuildFirstHit(high, VOLUME_NEAREST, 0, 200);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, true, true}));
}

TEST(SkipMapTest, DistancesAreChessboardDistancesToTheNearestSolidBrick) {
    std::mt19937 rng(5);
    for (int nCase = 0; nCase < 40; ++nCase) {
        const int nx = 1 + static_cast<int>(rng() % 9), ny = 1 + static_cast<int>(rng() % 7),
                  nz = 1 + static_cast<int>(rng() % 6);
        const unsigned nSolidEvery = 1 + rng() % 40;
        CBrickRanges r = MadeUpRanges(std::vector<BrickRange>(static_cast<size_t>(nx * ny * nz)));
        r.m_nBricksX = nx;
        r.m_nBricksY = ny;
        r.m_nBricksZ = nz;
        for (BrickRange& b : r.m_Own)
            b = rng() % nSolidEvery == 0 ? BrickRange{1, 1} : BrickRange{0, 0};
        CSkipMap map;
        map.BuildXRay(r);
        for (int z = 0; z < nz; ++z) {
            for (int y = 0; y < ny; ++y) {
                for (int x = 0; x < nx; ++x) {
                    int nExpected = CSkipMap::SKIP_DISTANCE_CAP;
                    for (int qz = 0; qz < nz; ++qz)
                        for (int qy = 0; qy < ny; ++qy)
                            for (int qx = 0; qx < nx; ++qx)
                                if (r.m_Own[static_cast<size_t>(r.Index(qx, qy, qz))].nMax != 0)
                                    nExpected = std::min(
                                        nExpected, std::max({std::abs(qx - x), std::abs(qy - y),
                                                             std::abs(qz - z)}));
                    ASSERT_EQ(map.Distance(x, y, z), nExpected)
                        << "case " << nCase << " brick " << x << " " << y << " " << z;
                }
            }
        }
    }
}
