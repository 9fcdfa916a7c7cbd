#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SpeedTestSupport.h"
#include "app/ViewerApp.h"
#include "engine/BrickMap.h"
#include "engine/Matrix.h"
#include "engine/RayCaster.h"

// Empty-space skipping against the full march: whole pictures cast pixel by
// pixel in the worker's scan order, once with and once without a skip map, each
// with an emptied shading cache, must agree bit for bit.

namespace {

struct View {
    int nLongitude, nLatitude, w, h;
};

const View kViews[] = {
    {0, 90, 48, 36}, {37, 20, 40, 40}, {-120, -45, 36, 48}, {90, 0, 44, 30}, {180, 33, 40, 32}};

class SkipTest : public testing::Test {
protected:
    CRenderState m_State{GetViewerApp()};
    CTransferFunction m_Tf{nullptr};
    CVectorMath m_Math;
    CBrickRanges m_Ranges;

    void Settings(int nType, int nInterpolation, int nLower = 0, int nUpper = 4095) {
        m_State.m_nVolumeType = nType;
        m_State.m_nVolumeInterpolation = nInterpolation;
        m_State.m_nLowerThreshold = nLower;
        m_State.m_nUpperThreshold = nUpper;
    }

    // The skip map for the current settings, as a run would make it.
    std::unique_ptr<CSkipMap> MapFor(const CVolume& volume) {
        if (!m_Ranges.IsFor(volume)) {
            EXPECT_TRUE(m_Ranges.Build(volume));
        }
        auto pMap = std::make_unique<CSkipMap>();
        switch (m_State.m_nVolumeType.load()) {
        case VOLUME_TYPE_LEVOY:
            pMap->BuildLevoy(m_Ranges, m_Tf, m_State.m_nVolumeInterpolation);
            break;
        case VOLUME_TYPE_XRAY:
            pMap->BuildXRay(m_Ranges);
            break;
        default:
            pMap->BuildFirstHit(m_Ranges, m_State.m_nVolumeInterpolation, m_State.m_nLowerThreshold,
                                m_State.m_nUpperThreshold);
            break;
        }
        return pMap;
    }

    // One picture cast row by row, left to right, from an empty cache.
    std::vector<ImagePixel> Picture(CVolume& volume, const View& v, const CSkipMap* pSkip) {
        m_State.m_nWidth = v.w;
        m_State.m_nHeight = v.h;
        m_State.m_fLongitude = static_cast<float>(v.nLongitude * std::numbers::pi / 180.0);
        m_State.m_fLatitude = static_cast<float>(v.nLatitude * std::numbers::pi / 180.0);
        RayView view;
        SetupView(m_State, volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ, m_Math, view,
                  volume.m_dSpacing);
        volume.ClearShadeCache();
        std::vector<ImagePixel> picture(static_cast<size_t>(v.w) * v.h);
        std::memset(picture.data(), 0, picture.size() * sizeof(ImagePixel));
        for (int y = 0; y < v.h; ++y)
            for (int x = 0; x < v.w; ++x)
                CastGridRay(view, m_State, double(x) / v.w, double(y) / v.h, m_Tf, volume,
                            picture[static_cast<size_t>(y) * v.w + x], pSkip);
        return picture;
    }

    int FilledEntries(const CVolume& volume) {
        int n = 0;
        for (int32_t k = 0; k < volume.m_nVoxelCount; ++k)
            n += volume.IsShadeFilled(k) ? 1 : 0;
        return n;
    }

    // Compares every view; returns how many pictures had a lit pixel.
    int ExpectSameWithAndWithoutSkipping(CVolume& volume, const std::string& sWhat) {
        const std::unique_ptr<CSkipMap> pMap = MapFor(volume);
        int nLit = 0;
        for (const View& v : kViews) {
            const std::vector<ImagePixel> full = Picture(volume, v, nullptr);
            const std::vector<ImagePixel> skipped = Picture(volume, v, pMap.get());
            EXPECT_TRUE(SamePixels(full, skipped))
                << sWhat << ", view " << v.nLongitude << "/" << v.nLatitude;
            nLit += AnyLit(full) ? 1 : 0;
        }
        return nLit;
    }

    void ExpectAllModesSame(CVolume& volume, const std::string& sWhat) {
        int nLit = 0, nPictures = 0;
        for (int nInterpolation : {VOLUME_NEAREST, VOLUME_TRILINEAR}) {
            Settings(VOLUME_TYPE_LEVOY, nInterpolation);
            nLit += ExpectSameWithAndWithoutSkipping(volume, sWhat + ", Levoy");
            for (const auto& t : {std::pair{0, 4095}, std::pair{1000, 2500}, std::pair{2399, 2401},
                                  std::pair{500, 400}}) {
                Settings(VOLUME_TYPE_FIRST_HIT, nInterpolation, t.first, t.second);
                nLit += ExpectSameWithAndWithoutSkipping(
                    volume, sWhat + ", First Hit " + std::to_string(t.first) + ".." +
                                std::to_string(t.second));
            }
            nPictures += 5 * 5;
        }
        Settings(VOLUME_TYPE_XRAY, VOLUME_NEAREST);
        nLit += ExpectSameWithAndWithoutSkipping(volume, sWhat + ", X-Ray");
        // Most pictures show something (crossed thresholds show nothing).
        EXPECT_GT(nLit, (nPictures + 5) / 2) << sWhat;
    }
};

} // namespace

TEST_F(SkipTest, RandomVolumesWithGappyTablesAreBitIdentical) {
    const int dims[][3] = {{40, 33, 21}, {17, 50, 30}, {64, 12, 9}};
    for (unsigned nSeed = 1; nSeed <= 3; ++nSeed) {
        const auto& d = dims[nSeed - 1];
        auto pVolume = MakeRandomVolume(nSeed, d[0], d[1], d[2]);
        if (nSeed == 3) { // voxels of unequal edges
            pVolume->m_dSpacing[1] = 1.3;
            pVolume->m_dSpacing[2] = 3.0;
        }
        UseGappyTable(m_Tf, nSeed * 17);
        ExpectAllModesSame(*pVolume, "random volume " + std::to_string(nSeed));
    }
}

TEST_F(SkipTest, SkippedSamplesLeaveTheShadingCacheUnfilled) {
    // Skipping is in effect: the samples in empty space no longer fill their
    // (transparent) cache entries, while every pixel stays the same.
    auto pVolume = MakeSmallPhantom(64, 64, 29);
    UsePhantomTable(m_Tf);
    for (int nInterpolation : {VOLUME_NEAREST, VOLUME_TRILINEAR}) {
        Settings(VOLUME_TYPE_LEVOY, nInterpolation);
        const std::unique_ptr<CSkipMap> pMap = MapFor(*pVolume);
        EXPECT_GT(pMap->SolidBricks(), 0);
        EXPECT_LT(pMap->SolidBricks(), pMap->m_nBricksX * pMap->m_nBricksY * pMap->m_nBricksZ);
        const std::vector<ImagePixel> full = Picture(*pVolume, kViews[0], nullptr);
        const int nFull = FilledEntries(*pVolume);
        EXPECT_TRUE(SamePixels(Picture(*pVolume, kViews[0], pMap.get()), full));
        const int nSkipped = FilledEntries(*pVolume);
        EXPECT_LT(nSkipped, nFull * 3 / 4) << nInterpolation;
        EXPECT_GT(nSkipped, 0) << nInterpolation;
    }
    // With everything transparent every brick is skipped and no entry filled.
    for (int i = 0; i < TABLE_SIZE; ++i)
        m_Tf.m_Table[i] = TableEntry{255.0f, 255.0f, 255.0f, 0.0f};
    const std::unique_ptr<CSkipMap> pMap = MapFor(*pVolume);
    EXPECT_EQ(pMap->SolidBricks(), 0);
    const std::vector<ImagePixel> full = Picture(*pVolume, kViews[1], nullptr);
    EXPECT_GT(FilledEntries(*pVolume), 0);
    const std::vector<ImagePixel> picture = Picture(*pVolume, kViews[1], pMap.get());
    EXPECT_EQ(FilledEntries(*pVolume), 0);
    EXPECT_TRUE(SamePixels(picture, full));
    for (const ImagePixel& p : picture)
        EXPECT_EQ(p.computed, 1);
}

TEST_F(SkipTest, AMapForOtherSettingsOrAnotherGridIsNotUsed) {
    auto pVolume = MakeRandomVolume(4, 32, 32, 32);
    UseGappyTable(m_Tf, 5);
    // A Levoy map with everything transparent would blacken any other mode.
    for (int i = 0; i < TABLE_SIZE; ++i)
        m_Tf.m_Table[i].opacity = 0.0f;
    Settings(VOLUME_TYPE_LEVOY, VOLUME_TRILINEAR);
    const std::unique_ptr<CSkipMap> pLevoy = MapFor(*pVolume);
    ASSERT_EQ(pLevoy->SolidBricks(), 0);
    Settings(VOLUME_TYPE_XRAY, VOLUME_NEAREST);
    EXPECT_TRUE(SamePixels(Picture(*pVolume, kViews[0], pLevoy.get()),
                           Picture(*pVolume, kViews[0], nullptr)));
    // First Hit with thresholds other than the map's.
    Settings(VOLUME_TYPE_FIRST_HIT, VOLUME_TRILINEAR, 150, 150);
    const std::unique_ptr<CSkipMap> pNothing = MapFor(*pVolume);
    ASSERT_EQ(pNothing->SolidBricks(), 0);
    Settings(VOLUME_TYPE_FIRST_HIT, VOLUME_TRILINEAR, 0, 4095);
    EXPECT_TRUE(SamePixels(Picture(*pVolume, kViews[0], pNothing.get()),
                           Picture(*pVolume, kViews[0], nullptr)));
    // A map for the same settings but another brick grid.
    auto pOther = MakeUniformVolume(40, 32, 32, 3000);
    CBrickRanges otherRanges;
    ASSERT_TRUE(otherRanges.Build(*pOther));
    CSkipMap otherMap;
    otherMap.BuildFirstHit(otherRanges, VOLUME_TRILINEAR, 0, 1000);
    ASSERT_EQ(otherMap.SolidBricks(), 0);
    Settings(VOLUME_TYPE_FIRST_HIT, VOLUME_TRILINEAR, 0, 1000);
    const std::vector<ImagePixel> full = Picture(*pVolume, kViews[0], nullptr);
    EXPECT_TRUE(AnyLit(full));
    EXPECT_TRUE(SamePixels(Picture(*pVolume, kViews[0], &otherMap), full));
}
