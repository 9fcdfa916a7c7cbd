#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "EngineTestSupport.h"
#include "app/ViewerApp.h"
#include "engine/BrickMap.h"
#include "engine/RayCaster.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"

namespace {

struct ReferenceBrick {
    BrickRange own{INT16_MAX, INT16_MIN};
    BrickRange apron{INT16_MAX, INT16_MIN};
    bool bOwnFlat = true;
    bool bApronFlat = true;
};

// Brick (bx, by, bz) computed voxel by voxel.
ReferenceBrick Reference(const CVolume& v, int bx, int by, int bz) {
    ReferenceBrick r;
    for (int z = 8 * bz; z < std::min(8 * bz + 9, int(v.m_nDimZ)); ++z) {
        for (int y = 8 * by; y < std::min(8 * by + 9, int(v.m_nDimY)); ++y) {
            for (int x = 8 * bx; x < std::min(8 * bx + 9, int(v.m_nDimX)); ++x) {
                const int32_t k = VoxelIndex(v, x, y, z);
                const int16_t n = v.m_pVoxels[k];
                r.apron.nMin = std::min(r.apron.nMin, n);
                r.apron.nMax = std::max(r.apron.nMax, n);
                for (int c = 0; c < 3; ++c)
                    r.bApronFlat = r.bApronFlat && v.m_pGradient[3 * k + c] == 0.0f;
                if (x < 8 * bx + 8 && y < 8 * by + 8 && z < 8 * bz + 8) {
                    r.own.nMin = std::min(r.own.nMin, n);
                    r.own.nMax = std::max(r.own.nMax, n);
                    const float m = v.m_pGradientMagnitude[k];
                    r.bOwnFlat = r.bOwnFlat && !(m > 0.0f && std::isfinite(m));
                }
            }
        }
    }
    return r;
}

void ExpectMatchesReference(const CVolume& v) {
    CBrickRanges ranges;
    ASSERT_TRUE(ranges.Build(v));
    ASSERT_EQ(ranges.m_nBricksX, (v.m_nDimX + 7) / 8);
    ASSERT_EQ(ranges.m_nBricksY, (v.m_nDimY + 7) / 8);
    ASSERT_EQ(ranges.m_nBricksZ, (v.m_nDimZ + 7) / 8);
    for (int bz = 0; bz < ranges.m_nBricksZ; ++bz) {
        for (int by = 0; by < ranges.m_nBricksY; ++by) {
            for (int bx = 0; bx < ranges.m_nBricksX; ++bx) {
                const ReferenceBrick r = Reference(v, bx, by, bz);
                const size_t b = static_cast<size_t>(ranges.Index(bx, by, bz));
                SCOPED_TRACE(::testing::Message() << "brick " << bx << " " << by << " " << bz);
                EXPECT_EQ(ranges.m_Own[b].nMin, r.own.nMin);
                EXPECT_EQ(ranges.m_Own[b].nMax, r.own.nMax);
                EXPECT_EQ(ranges.m_Apron[b].nMin, r.apron.nMin);
                EXPECT_EQ(ranges.m_Apron[b].nMax, r.apron.nMax);
                EXPECT_EQ(ranges.m_OwnFlat[b], r.bOwnFlat ? 1 : 0);
                EXPECT_EQ(ranges.m_ApronFlat[b], r.bApronFlat ? 1 : 0);
            }
        }
    }
}

// Ranges for a made-up grid of bricks, for the skip rules alone.
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

TEST(BrickRangesTest, MatchVoxelByVoxelOnOddSizes) {
    std::mt19937 rng(3);
    const int sizes[][3] = {{1, 1, 1}, {8, 8, 8}, {9, 9, 9}, {17, 9, 3}, {33, 16, 10}, {7, 20, 17}};
    for (const auto& d : sizes) {
        SCOPED_TRACE(::testing::Message() << d[0] << "x" << d[1] << "x" << d[2]);
        // Blocks of constant values (flat inside) with noise in some of them.
        auto pVolume = MakeVolume(d[0], d[1], d[2], [&](int x, int y, int z) {
            const int nBlock = (x / 5 + 3 * (y / 6) + 7 * (z / 4)) % 5;
            if (nBlock == 0)
                return int16_t(0);
            if (nBlock == 1)
                return int16_t(std::uniform_int_distribution<int>(-300, 4095)(rng));
            return int16_t(500 * nBlock);
        });
        ExpectMatchesReference(*pVolume);
    }
}

TEST(BrickRangesTest, FlatnessFollowsTheStoredGradients) {
    auto pVolume = MakeUniformVolume(20, 18, 11, 700); // all gradients zero
    CVolume& v = *pVolume;
    {
        CBrickRanges ranges;
        ASSERT_TRUE(ranges.Build(v));
        for (size_t b = 0; b < ranges.m_OwnFlat.size(); ++b) {
            EXPECT_EQ(ranges.m_OwnFlat[b], 1);
            EXPECT_EQ(ranges.m_ApronFlat[b], 1);
        }
    }
    // Lengths that shading cannot use keep a brick flat for nearest neighbour;
    // -0 components keep it flat for trilinear; anything else does not.
    SetGradient(v, 1, 1, 1, -0.0f, 0.0f, -0.0f, 0.0f);
    SetGradient(v, 2, 1, 1, 0.0f, 0.0f, 0.0f, -3.0f);
    SetGradient(v, 3, 1, 1, 0.0f, 0.0f, 0.0f, std::numeric_limits<float>::infinity());
    SetGradient(v, 4, 1, 1, 0.0f, 0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN());
    SetGradient(v, 9, 1, 1, 0.0f, 1.0e-30f, 0.0f, 0.0f); // tiny component, zero length
    SetGradient(v, 17, 17, 10, 0.0f, 0.0f, 0.0f, 2.0f);  // last, partial brick
    SetGradient(v, 8, 8, 8, 0.0f, 0.0f, 0.5f, 0.5f);     // the far apron corner of brick 0
    ExpectMatchesReference(v);
    CBrickRanges ranges;
    ASSERT_TRUE(ranges.Build(v));
    EXPECT_EQ(ranges.m_OwnFlat[static_cast<size_t>(ranges.Index(0, 0, 0))], 1);
    EXPECT_EQ(ranges.m_ApronFlat[static_cast<size_t>(ranges.Index(0, 0, 0))], 0);
    EXPECT_EQ(ranges.m_OwnFlat[static_cast<size_t>(ranges.Index(1, 0, 0))], 1);
    EXPECT_EQ(ranges.m_ApronFlat[static_cast<size_t>(ranges.Index(1, 0, 0))], 0);
    EXPECT_EQ(ranges.m_OwnFlat[static_cast<size_t>(ranges.Index(1, 1, 1))], 0);
    EXPECT_EQ(ranges.m_OwnFlat[static_cast<size_t>(ranges.Index(2, 2, 1))], 0);
}

TEST(BrickRangesTest, BelongToOneLoadOfOneDataset) {
    auto pA = MakeUniformVolume(10, 10, 10, 5);
    auto pB = MakeUniformVolume(10, 10, 10, 5);
    CBrickRanges ranges;
    EXPECT_FALSE(ranges.IsFor(*pA));
    ASSERT_TRUE(ranges.Build(*pA));
    EXPECT_TRUE(ranges.IsFor(*pA));
    EXPECT_FALSE(ranges.IsFor(*pB)); // same size and values, another dataset
    pA->AllocateBuffers();           // new contents (as every load makes)
    EXPECT_FALSE(ranges.IsFor(*pA));
    pA->m_nContentSerial = CVolume::NextContentSerial();
    EXPECT_FALSE(ranges.IsFor(*pA));
    pA->FreeBuffers();
    EXPECT_EQ(pA->m_nContentSerial, 0u);
    EXPECT_FALSE(ranges.IsFor(*pA));
}

TEST(BrickRangesTest, BuildGivesUpWhenAskedToStop) {
    auto pVolume = MakeUniformVolume(16, 16, 40, 9);
    CBrickRanges ranges;
    int nAsked = 0;
    EXPECT_FALSE(ranges.Build(*pVolume, [&nAsked] { return ++nAsked == 3; }));
    EXPECT_EQ(nAsked, 3);
    EXPECT_FALSE(ranges.IsFor(*pVolume));
    EXPECT_TRUE(ranges.Build(*pVolume, [] { return false; }));
    EXPECT_TRUE(ranges.IsFor(*pVolume));
}

// ---------------------------------------------------------------- skip rules

TEST(SkipMapTest, LevoyNeedsZeroOpacityForEveryReachableValue) {
    CTransferFunction tf(GetViewerApp());
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
    CTransferFunction one(GetViewerApp());
    one.m_Table[1].opacity = 0.25f;
    map.BuildLevoy(MadeUpRanges({{0, 0}, {2, 5}, {3, 5}}), one, VOLUME_TRILINEAR);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true}));
    // A NaN opacity is not zero.
    tf.m_Table[TABLE_SIZE - 1].opacity = 0.0f;
    tf.m_Table[50].opacity = std::numeric_limits<float>::quiet_NaN();
    map.BuildLevoy(r, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false, false, true, true, false}));
}

TEST(SkipMapTest, LevoySkipsBricksWithoutGradient) {
    CTransferFunction tf(GetViewerApp());
    for (int i = 0; i < TABLE_SIZE; ++i)
        tf.m_Table[i].opacity = 0.01f;
    CBrickRanges r = MadeUpRanges({{5, 5}, {5, 5}, {5, 5}});
    r.m_OwnFlat = {1, 0, 1};
    r.m_ApronFlat = {0, 1, 1};
    CSkipMap map;
    map.BuildLevoy(r, tf, VOLUME_NEAREST);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, true}));
    map.BuildLevoy(r, tf, VOLUME_TRILINEAR);
    EXPECT_EQ(Empty(map), (std::vector<bool>{false, true, true}));
}

TEST(SkipMapTest, FirstHitNeedsAValueStrictlyBetweenTheThresholds) {
    const CBrickRanges r =
        MadeUpRanges({{0, 100}, {0, 101}, {199, 300}, {200, 300}, {0, 99}, {201, 300}});
    CSkipMap map;
    map.BuildFirstHit(r, VOLUME_NEAREST, 100, 200);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false, true, true, true}));
    EXPECT_EQ(map.m_Key, (SkipKey{VOLUME_TYPE_FIRST_HIT, VOLUME_NEAREST, 100, 200}));
    // Trilinear floats lie between the corners: the same bricks.
    map.BuildFirstHit(r, VOLUME_TRILINEAR, 100, 200);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false, true, true, true}));
    // No whole value lies strictly between neighbours; nothing between crossed
    // thresholds.
    for (const int nInterpolation : {VOLUME_NEAREST, VOLUME_TRILINEAR}) {
        map.BuildFirstHit(r, nInterpolation, 150, 150);
        EXPECT_EQ(map.SolidBricks(), 0);
        map.BuildFirstHit(r, nInterpolation, 300, 100);
        EXPECT_EQ(map.SolidBricks(), 0);
    }
    map.BuildFirstHit(r, VOLUME_NEAREST, 150, 151);
    EXPECT_EQ(map.SolidBricks(), 0);
    map.BuildFirstHit(r, VOLUME_NEAREST, INT32_MIN, INT32_MAX);
    EXPECT_EQ(map.SolidBricks(), 6);
}

TEST(SkipMapTest, XRaySkipsOnlyAllZeroBricks) {
    const CBrickRanges r = MadeUpRanges({{0, 0}, {0, 1}, {-1, 0}, {7, 7}});
    CSkipMap map;
    map.BuildXRay(r);
    EXPECT_EQ(Empty(map), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(map.m_Key.nType, VOLUME_TYPE_XRAY);
}

TEST(SkipMapTest, DistancesAreChessboardDistancesToTheNearestSolidBrick) {
    std::mt19937 rng(5);
    for (int nCase = 0; nCase < 40; ++nCase) {
        const int nx = 1 + static_cast<int>(rng() % 9), ny = 1 + static_cast<int>(rng() % 7),
                  nz = 1 + static_cast<int>(rng() % 6);
        const int nSolidEvery = 1 + static_cast<int>(rng() % 40);
        CBrickRanges r;
        r.m_nBricksX = nx;
        r.m_nBricksY = ny;
        r.m_nBricksZ = nz;
        const size_t n = static_cast<size_t>(nx) * ny * nz;
        r.m_Own.assign(n, BrickRange{0, 0});
        for (BrickRange& b : r.m_Own)
            if (rng() % static_cast<unsigned>(nSolidEvery) == 0)
                b = BrickRange{1, 1};
        r.m_Apron = r.m_Own;
        r.m_OwnFlat.assign(n, 0);
        r.m_ApronFlat.assign(n, 0);
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

TEST(SkipMapTest, FitsOnlyItsOwnBrickGrid) {
    auto pVolume = MakeUniformVolume(17, 8, 3, 0);
    CBrickRanges ranges;
    ASSERT_TRUE(ranges.Build(*pVolume));
    CSkipMap map;
    EXPECT_FALSE(map.Fits(17, 8, 3));
    map.BuildXRay(ranges);
    EXPECT_TRUE(map.Fits(17, 8, 3));
    EXPECT_TRUE(map.Fits(24, 1, 8));
    EXPECT_FALSE(map.Fits(25, 8, 3));
    EXPECT_FALSE(map.Fits(17, 9, 3));
}
