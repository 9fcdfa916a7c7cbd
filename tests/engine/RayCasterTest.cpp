// The view set-up and the three casters on tiny volumes whose pixels follow by
// hand, and the casters in a real view against a plain march of every sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "EngineTestSupport.h"
#include "render/ProgressiveThread.h"
#include "engine/RayCaster.h"
#include "engine/ShadeCache.h"

namespace {

constexpr double K255D = 0.00392156862745098;
const float kAlongZ[3] = {0.0f, 0.0f, 1.0f};

void SetEntry(CTransferFunction& tf, int nIndex, float r, float g, float b, float a) {
    tf.m_Table[nIndex] = TableEntry{r, g, b, a};
}

// Marks every pixel field so that a caster that forgets one is noticed.
ImagePixel Dirty() {
    ImagePixel p;
    std::memset(&p, 0, sizeof(p));
    p.computed = 7;
    p.r = p.g = p.b = 42.0f;
    return p;
}

void ExpectBlack(const ImagePixel& p) {
    EXPECT_EQ(p.computed, 1);
    EXPECT_EQ(p.r, 0.0f);
    EXPECT_EQ(p.g, 0.0f);
    EXPECT_EQ(p.b, 0.0f);
}

} // namespace

// ---------------------------------------------------------------- view set-up

class ViewTest : public testing::Test {
protected:
    RunSettings m_State;
    CTransferFunction m_Tf;
    CVectorMath m_Math;
    RayView m_View;
    CShadeCache m_Shade;

    void Setup(int w, int h, int nLongitude, int nLatitude, int dx, int dy, int dz,
               const double* pSpacing = nullptr) {
        m_State.nWidth = w;
        m_State.nHeight = h;
        m_State.camera.fLongitude = DegreesToRadians(nLongitude);
        m_State.camera.fLatitude = DegreesToRadians(nLatitude);
        SetupView(m_State, dx, dy, dz, m_Math, m_View, pSpacing);
    }
    void ExpectMaps(float ex, float ey, float ez, float vx, float vy, float vz) {
        float p[3];
        m_View.pMatrix->TransformPoint(ex, ey, ez, p);
        EXPECT_NEAR(p[0], vx, 2e-3f);
        EXPECT_NEAR(p[1], vy, 2e-3f);
        EXPECT_NEAR(p[2], vz, 2e-3f);
    }
    void ExpectLight(float x, float y, float z) {
        EXPECT_NEAR(m_View.light[0], x, 1e-6f);
        EXPECT_NEAR(m_View.light[1], y, 1e-6f);
        EXPECT_NEAR(m_View.light[2], z, 1e-6f);
    }
    ImagePixel CastAt(CVolume& volume, int nType, int nInterpolation, double fx, double fy) {
        m_State.nVolumeType = nType;
        m_State.nVolumeInterpolation = nInterpolation;
        m_State.nLowerThreshold = 0;
        m_State.nUpperThreshold = 4095;
        ImagePixel p = Dirty();
        if (m_Shade.Size() != volume.m_nVoxelCount)
            m_Shade.Fit(volume.m_nVoxelCount);
        CastGridRay(m_View, m_State, fx, fy, m_Tf, volume, m_Shade, p);
        return p;
    }
};

TEST_F(ViewTest, DefaultViewSizesTheBoxByTheDiagonalAndAnglesTurnIt) {
    Setup(692, 448, 0, 90, 256, 256, 128);
    EXPECT_EQ(m_View.nSamples, 384);
    EXPECT_EQ(m_View.box.dScale[0], 256 / 384.0);
    EXPECT_EQ(m_View.box.dScale[2], 128 / 384.0);
    EXPECT_EQ(m_View.box.dNear, 1.2);
    EXPECT_EQ(m_View.box.dDistance, 2.2);
    EXPECT_EQ(m_View.box.dFrustumRight, 0.5 * 692.0 / 448.0);
    EXPECT_EQ(m_View.box.dFrustumTop, 0.5);
    EXPECT_EQ(m_View.dRight, 0.5 * 692.0 / 448.0);
    // The box centre is the volume centre; one eye unit is diag / 2 = 192 voxels.
    ExpectMaps(0, 0, 2.2f, 128, 128, 64);
    ExpectMaps(0, 0, 2.7f, 128, 128 + 96, 64);    // +z (viewing axis) -> +y
    ExpectMaps(0.5f, 0, 2.2f, 128 + 96, 128, 64); // +x -> +x
    ExpectMaps(0, 0.5f, 2.2f, 128, 128, 64 - 96); // +y (down) -> -z, so +z is up
    ExpectLight(0, 1, 0);

    Setup(692, 448, 0, 0, 256, 256, 128); // along +z with y down
    ExpectMaps(0, 0, 2.7f, 128, 128, 64 + 96);
    ExpectMaps(0, 0.5f, 2.2f, 128, 128 + 96, 64);
    ExpectLight(0, 0, 1);
    // Eye +z now runs along the volume's -x: Ry(-90 degrees) turns +z toward -x.
    Setup(692, 448, 90, 0, 256, 256, 128);
    ExpectMaps(0, 0, 2.7f, 128 - 96, 128, 64);
    ExpectLight(-1, 0, 0);

    // Portrait, and an empty client area (which counts as 1 x 1).
    Setup(448, 692, 0, 90, 256, 256, 113);
    EXPECT_EQ(m_View.dTop, 0.5 * 692.0 / 448.0);
    EXPECT_EQ(m_View.nSamples, 379); // sqrt(256^2 + 256^2 + 113^2) = 379.26
    Setup(0, 0, 0, 90, 4, 4, 4);
    EXPECT_TRUE(std::isfinite(m_View.dRight) && std::isfinite(m_View.dTop));
}

TEST_F(ViewTest, LongerVoxelsStretchTheirAxis) {
    // 256 x 256 x 64 voxels of 0.5 x 0.5 x 1 span 256 x 256 x 128 units of the
    // shortest edge: the box of 256 x 256 x 128 cubic voxels, each z voxel two
    // units long.
    const double spacing[3] = {0.5, 0.5, 1.0};
    Setup(692, 448, 0, 90, 256, 256, 64, spacing);
    EXPECT_EQ(m_View.nSamples, 384);
    EXPECT_EQ(m_View.dStretch, 2.0);
    EXPECT_EQ(m_View.box.dScale[2], 128 / 384.0);
    ExpectMaps(0, 0, 2.7f, 128, 128 + 96, 32);
    ExpectMaps(0, 0.5f, 2.2f, 128, 128, 32 - 48);
}

TEST_F(ViewTest, RaysTheLagApartNeverReachOneShadingCacheEntry) {
    // Every ray of every fourth row is cast alone, from an empty cache; the
    // columns whose rays fill one cache entry must lie less than the lag apart.
    // The lag is a safe bound, but not a loose one: with cubic voxels the widest
    // such pair lies more than a quarter of it apart. Voxels 12 times as long along
    // z, seen from the side, let many columns share a long voxel.
    auto pVolume = MakeUniformVolume(24, 20, 4, 1000); // all transparent: no ray ends early
    const double cubic[3] = {1, 1, 1}, stretched[3] = {1.0, 1.0, 12.0};
    for (const auto& [pSpacing, n] : {std::pair{cubic, 256}, {stretched, 64}}) {
        Setup(n, n, 90, 10, 24, 20, 4, pSpacing);
        const int nLag = RowLag(m_View, n);
        std::vector<int> first(pVolume->m_nVoxelCount, n), last(pVolume->m_nVoxelCount, -1);
        for (int nRow = 0; nRow < n; nRow += 4) {
            for (int nColumn = 0; nColumn < n; ++nColumn) {
                m_Shade.Fit(pVolume->m_nVoxelCount);
                CastAt(*pVolume, VOLUME_TYPE_LEVOY, VOLUME_TRILINEAR, double(nColumn) / n,
                       double(nRow) / n);
                for (int32_t k = 0; k < pVolume->m_nVoxelCount; ++k) {
                    if (m_Shade.IsFilled(k)) {
                        first[k] = std::min(first[k], nColumn);
                        last[k] = std::max(last[k], nColumn);
                    }
                }
            }
        }
        int nWidest = 0;
        for (int32_t k = 0; k < pVolume->m_nVoxelCount; ++k)
            nWidest = std::max(nWidest, last[k] - first[k]);
        EXPECT_LT(nWidest, nLag) << n;
        EXPECT_GT(nWidest, pSpacing == cubic ? nLag / 4 : 10) << "lag " << nLag;
    }
}

// ------------------------------------------------------------------ Levoy

// A 3 x 3 x 6 volume whose voxels (1, 1, z) are met by a ray along +z at
// p = (1.5, 1.5, 0.5 + i): N = 4 samples from 0 to 4, matrix = shift.
class LevoyNearestTest : public testing::Test {
protected:
    CTransferFunction m_Tf;
    std::unique_ptr<CVolume> m_pVolume =
        MakeVolume(3, 3, 6, [](int, int, int z) { return 100 + z; });
    CMatrix4 m_Matrix = Shift(1.5, 1.5, 0.5);
    CShadeCache m_Shade;

    ImagePixel Cast(const float* pLight = kAlongZ) {
        m_Shade.Fit(m_pVolume->m_nVoxelCount);
        ImagePixel pixel = Dirty();
        EXPECT_EQ(CastRayLevoy(4, 0.0, 4.0, kAlongZ, pLight, VOLUME_NEAREST, m_Tf, m_Matrix,
                               *m_pVolume, m_Shade, pixel),
                  0);
        return pixel;
    }
    int32_t K(int z) const { return VoxelIndex(*m_pVolume, 1, 1, z); }
    void Gradient(int z, float gz) { SetGradient(*m_pVolume, K(z), 0, 0, gz); }
};

TEST_F(LevoyNearestTest, CompositesFrontToBackWithCachedBytesAndTheShadingRules) {
    Gradient(0, 2); // faces the light: I = 1
    Gradient(1, 2);
    SetEntry(m_Tf, 100, 200.7f, 50.0f, 0.0f, 0.25f);
    SetEntry(m_Tf, 101, 10.0f, 250.9f, 0.0f, 0.125f);
    ImagePixel p = Cast();
    // Sample 0: bytes 200, 50, alpha 0.5. Sample 1: bytes 10, 250, alpha 0.25,
    // weighted by the remaining 0.5. Samples 2 and 3 are transparent.
    EXPECT_EQ(p.computed, 1);
    EXPECT_EQ(p.r, (200.0f * 0.5f + 10.0f * 0.5f * 0.25f) * K255);
    EXPECT_EQ(p.g, (50.0f * 0.5f + 250.0f * 0.5f * 0.25f) * K255);
    EXPECT_EQ(p.b, 0.0f);
    EXPECT_EQ(m_Shade.Of(K(0)).red, 200);
    EXPECT_EQ(m_Shade.Of(K(1)).green, 250);
    EXPECT_EQ(m_Shade.Of(K(1)).alpha, 0.25f);
    for (int z = 0; z < 4; ++z)
        EXPECT_TRUE(m_Shade.IsFilled(K(z))) << z;
    EXPECT_FALSE(m_Shade.IsFilled(K(4)));

    Gradient(0, 0);  // no gradient: colour 0 and opacity 0; the ray goes on
    Gradient(1, -2); // faces away: I = 0.3 - 0.7 < 0
    Gradient(2, 2);
    SetEntry(m_Tf, 100, 255.0f, 255.0f, 255.0f, 1.0f);
    SetEntry(m_Tf, 101, 255.0f, 255.0f, 255.0f, 0.125f);
    SetEntry(m_Tf, 102, 400.0f, 255.9f, -20.0f, 0.125f);
    p = Cast();
    EXPECT_EQ(m_Shade.Of(K(0)).red, 0);
    EXPECT_EQ(m_Shade.Of(K(0)).alpha, 0.0f);
    // Facing away: bytes limited to 0, the opacity stays (a dark occluder).
    EXPECT_EQ(m_Shade.Of(K(1)).red, 0);
    EXPECT_EQ(m_Shade.Of(K(1)).alpha, 0.25f);
    // Table colours beyond the byte range are limited to 0..255.
    const ShadeEntry s = m_Shade.Of(K(2));
    EXPECT_EQ(std::vector<int>({s.red, s.green, s.blue}), std::vector<int>({255, 255, 0}));
    EXPECT_EQ(p.r, 255.0f * 0.75f * 0.25f * K255);
    EXPECT_EQ(p.b, 0.0f);
    EXPECT_FALSE(std::isnan(p.g));
}

TEST_F(LevoyNearestTest, SpecularHighlightUsesTheHalfVector) {
    // Light along +y, ray along +z: half vector (1/sqrt2)(0, 1, 1); a normal along
    // +y gets diffuse 1 and specular (1/sqrt2)^30 = 2^-15.
    const float light[3] = {0.0f, 1.0f, 0.0f};
    SetGradient(*m_pVolume, K(0), 0, 3, 0);
    SetEntry(m_Tf, 100, 255.0f, 100.0f, 0.0f, 0.25f);
    Cast(light);
    // 0.7 * 255 + 0.3 * 255 / 32768 = 178.502 and 0.7 * 100 + 0.3 * 100 / 32768 =
    // 70.0009; without the specular term the second would truncate to 69.
    EXPECT_EQ(m_Shade.Of(K(0)).red, 178);
    EXPECT_EQ(m_Shade.Of(K(0)).green, 70);
    EXPECT_EQ(m_Shade.Of(K(0)).alpha, 0.75f);
}

TEST_F(LevoyNearestTest, StopsRightAfterTheSampleThatPassesPoint99AndFacesAreOutside) {
    for (int z = 0; z < 3; ++z)
        Gradient(z, 2);
    SetEntry(m_Tf, 100, 100.0f, 0.0f, 0.0f, 0.49f); // a = 0.98
    SetEntry(m_Tf, 101, 0.0f, 200.0f, 0.0f, 0.3f);  // a = 0.6: A -> 0.992
    SetEntry(m_Tf, 102, 0.0f, 0.0f, 255.0f, 0.5f);
    const ImagePixel p = Cast();
    EXPECT_EQ(p.r, 100.0f * 1.0f * (2.0f * 0.49f) * K255);
    EXPECT_EQ(p.g, 200.0f * (1.0f - 2.0f * 0.49f) * (2.0f * 0.3f) * K255); // in full
    EXPECT_EQ(p.b, 0.0f);                                                  // never reached
    EXPECT_FALSE(m_Shade.IsFilled(K(2)));
    // With a1 = 0.4, A = 0.988 stays below: the third sample counts.
    SetEntry(m_Tf, 101, 0.0f, 200.0f, 0.0f, 0.2f);
    EXPECT_GT(Cast().b, 0.0f);

    // p.x = 0 and p.x = dimX - 1 = 2 fail the strict inside test; 1.999 passes.
    for (const auto& [x, bInside] : {std::pair{0.0, false}, {2.0, false}, {1.999, true}}) {
        m_Matrix = Shift(x, 1.5, 0.5);
        EXPECT_EQ(Cast().r > 0.0f, bInside) << x;
    }
}

TEST(CasterTest, LevoyTrilinearCacheKeepsTheFirstRaysShadingForTheRun) {
    // Values 1000 + 100 x: inside the cell (2..3, 2..3, 2..3) the gradient is
    // (100, 0, 0) and the value 1225 at x = 2.25, 1275 at x = 2.75, both in the
    // cell of voxel (2, 2, 2).
    CTransferFunction tf;
    auto pVolume = MakeVolume(5, 5, 5, [](int x, int, int) { return 1000 + 100 * x; });
    SetEntry(tf, 1225, 200.0f, 0.0f, 0.0f, 0.001f);
    SetEntry(tf, 1275, 0.0f, 200.0f, 0.0f, 0.001f);
    const float light[3] = {1.0f, 0.0f, 0.0f};
    const int32_t k = VoxelIndex(*pVolume, 2, 2, 2);
    CShadeCache m_Shade;
    auto cast = [&](double fx) {
        ImagePixel p = Dirty();
        CastRayLevoy(1, 0.0, 1.0, kAlongZ, light, VOLUME_TRILINEAR, tf, Shift(fx, 2.5, 2.5),
                     *pVolume, m_Shade, p);
        return p;
    };
    m_Shade.Fit(pVolume->m_nVoxelCount);
    const ImagePixel first = cast(2.25), second = cast(2.75);
    // I = 0.7 + 0.3 * 2^-15 (half vector at 45 degrees): 200 I = 140.0018.
    EXPECT_EQ(m_Shade.Of(k).red, 140);
    EXPECT_EQ(m_Shade.Of(k).green, 0);
    EXPECT_EQ(m_Shade.Of(k).alpha, 100.0f * 0.001f);
    EXPECT_GT(first.r, 0.0f);
    EXPECT_EQ(second.r, first.r);
    EXPECT_EQ(second.g, 0.0f);
    // A fresh run lets the second ray classify the voxel itself.
    m_Shade.Fit(pVolume->m_nVoxelCount);
    const ImagePixel alone = cast(2.75);
    EXPECT_EQ(alone.r, 0.0f);
    EXPECT_EQ(alone.g, first.r);
}

TEST(ShadeCache, ClearingEmptiesEveryEntryOverManyRuns) {
    CShadeCache v;
    ASSERT_TRUE(v.Fit(3));
    EXPECT_FALSE(v.IsFilled(0));
    // Entry 0 is filled once (opaque), entry 1 in every run (transparent or
    // opaque, claimed in between), entry 2 is claimed once: after each clear none
    // may count as filled or claimed, also when the run numbers have come round
    // again.
    v.m_pValid[0] = v.Opaque();
    v.m_pValid[2] = v.Claimed();
    for (int nRun = 0; nRun < 400; ++nRun) {
        const uint8_t states[] = {v.Claimed(), v.Transparent(), v.Opaque()};
        v.m_pValid[1] = states[nRun % 3];
        ASSERT_TRUE(v.IsFilled(1) == (nRun % 3 != 0)) << nRun;
        v.Clear();
        for (int32_t k = 0; k < 3; ++k) {
            ASSERT_FALSE(v.IsFilled(k)) << nRun << " " << k;
            ASSERT_NE(v.m_pValid[k], v.Claimed()) << nRun << " " << k;
        }
    }
}

// ------------------------------------------------------------ X-Ray, First Hit

TEST(CasterTest, XRayAveragesFiveTimesTheValuesOver4096N) {
    auto pVolume = MakeUniformVolume(4, 4, 4, 4095);
    const float fAll = static_cast<float>(5.0 * 4095.0 / 4096.0);
    const float fThreeOfFour = static_cast<float>(5.0 * 3.0 * 4095.0 / (4.0 * 4096.0));
    struct Case {
        double tx, tz; // back to front, z = tz + 4, 3, 2, 1
        float fExpected;
    };
    // The inside test is half open: z = 0 and x = 0 count, z = 4 and x = 4 do not.
    // The sum is stored as computed (above 1); the drawing limits it.
    for (const Case& c : {Case{1.5, -0.5, fAll}, Case{1.5, 0.0, fThreeOfFour},
                          Case{0.0, -0.5, fAll}, Case{4.0, -0.5, 0.0f}}) {
        ImagePixel p = Dirty();
        EXPECT_EQ(CastRayXRay(4, 0.0, 4.0, kAlongZ, Shift(c.tx, 1.5, c.tz), *pVolume, p), 0);
        EXPECT_EQ(p.computed, 1);
        EXPECT_EQ(p.r, c.fExpected) << c.tx << " " << c.tz;
        EXPECT_EQ(p.g, p.r);
        EXPECT_EQ(p.b, p.r);
    }
    // Values 1000 + 100 z; eight samples at z = 3.9 .. -3.1, four of them inside,
    // read the nearest voxels z = 3, 2, 1, 0 (4600 in all); the missed ones still
    // count in N.
    auto pRamp = MakeVolume(4, 4, 8, [](int, int, int z) { return 1000 + 100 * z; });
    ImagePixel p = Dirty();
    CastRayXRay(8, 0.0, 8.0, kAlongZ, Shift(1.5, 1.5, -4.1), *pRamp, p);
    EXPECT_EQ(p.r, 5.0f * 4600.0f / (8 * 4096));
}

// Values 500 z; the ray along +z meets (1, 1, 0..3) with values 0, 500, 1000,
// 1500, each with the normal (0, 0, 1) facing the light (0, 0, 1).
class FirstHitNearestTest : public testing::Test {
protected:
    CTransferFunction m_Tf;
    std::unique_ptr<CVolume> m_pVolume =
        MakeVolume(3, 3, 6, [](int, int, int z) { return 500 * z; });

    void SetUp() override {
        for (int z = 0; z < 4; ++z)
            SetGradient(*m_pVolume, VoxelIndex(*m_pVolume, 1, 1, z), 0, 0, 2);
        SetEntry(m_Tf, 1000, 255.0f, 127.5f, 0.0f, 0.0f);
        SetEntry(m_Tf, 1500, 0.0f, 0.0f, 255.0f, 0.0f);
    }
    ImagePixel Cast(int nLower, int nUpper) {
        ImagePixel p = Dirty();
        EXPECT_EQ(CastRayFirstHit(4, 0.0f, 4.0f, kAlongZ, kAlongZ, nUpper, nLower, VOLUME_NEAREST,
                                  m_Tf, Shift(1.5, 1.5, 0.5), *m_pVolume, p),
                  0);
        return p;
    }
};

TEST_F(FirstHitNearestTest, ThresholdsAreStrictAndBackLitOrFlatHitsDarken) {
    ImagePixel p = Cast(500, 2000); // 500 is not above the lower threshold
    EXPECT_EQ(p.computed, 1);
    EXPECT_EQ(p.r, static_cast<float>(K255D * 255.0));
    EXPECT_EQ(p.g, static_cast<float>(K255D * 127.5));
    EXPECT_EQ(p.b, 0.0f);
    p = Cast(1000, 2000); // 1000 equals the lower threshold: the hit is 1500
    EXPECT_EQ(p.r, 0.0f);
    EXPECT_EQ(p.b, static_cast<float>(K255D * 255.0));
    ExpectBlack(Cast(500, 1000)); // 1000 equals the upper threshold
    ExpectBlack(Cast(2000, 100)); // lower above upper: nothing can hit
    EXPECT_GT(Cast(999, 1001).r, 0.0f);

    // A hit facing away is negative; one without gradient is black, and the
    // sample behind it is not looked at.
    SetGradient(*m_pVolume, VoxelIndex(*m_pVolume, 1, 1, 2), 0, 0, -2);
    EXPECT_EQ(Cast(500, 2000).r, static_cast<float>(-1.0 * K255D * 255.0));
    SetGradient(*m_pVolume, VoxelIndex(*m_pVolume, 1, 1, 2), 0, 0, 0);
    ExpectBlack(Cast(500, 2000));
}

TEST(CasterTest, FirstHitTrilinearUsesInterpolatedValueAndNormal) {
    CTransferFunction tf;
    auto pVolume = MakeVolume(5, 5, 5, [](int x, int, int) { return 1000 + 100 * x; });
    SetEntry(tf, 1225, 200.0f, 100.0f, 50.0f, 0.0f);
    const float light[3] = {1.0f, 0.0f, 0.0f};
    auto cast = [&](const CVolume& volume, int nLower, int nUpper) {
        ImagePixel p = Dirty();
        CastRayFirstHit(1, 0.0f, 1.0f, kAlongZ, light, nUpper, nLower, VOLUME_TRILINEAR, tf,
                        Shift(2.25, 2.5, 2.5), volume, p);
        return p;
    };
    const ImagePixel p = cast(*pVolume, 1224, 1226);
    EXPECT_EQ(p.r, static_cast<float>(K255D * 200.0));
    EXPECT_EQ(p.g, static_cast<float>(K255D * 100.0));
    EXPECT_EQ(p.b, static_cast<float>(K255D * 50.0));
    ExpectBlack(cast(*pVolume, 1225, 1300)); // the value equals a threshold exactly
    ExpectBlack(cast(*pVolume, 1000, 1225));
    // A hit where the gradient is zero everywhere is black, not NaN.
    SetEntry(tf, 1000, 255.0f, 255.0f, 255.0f, 1.0f);
    ExpectBlack(cast(*MakeUniformVolume(5, 5, 5, 1000), 0, 4095));
}

// ------------------------------------------------ the casters in a real view

// The casters skip samples that provably lie outside the volume or its crop
// box. These straightforward marches map every sample; the casters must agree
// with them bit for bit, also on rays that only graze the volume or the box.
namespace {

// Whether a mapped sample counts: inside the crop box's voxels [min, max + 1)
// (X-Ray, bClosed) or strictly inside them and off the grid's last voxel.
bool InCrop(const float* p, const CVolume& v, const CropBox& crop, bool bClosed) {
    const int dims[3] = {v.m_nDimX, v.m_nDimY, v.m_nDimZ};
    const CropBox box = crop.Clamped(dims);
    for (int c = 0; c < 3; ++c) {
        const float fLow = static_cast<float>(box.nMin[c]);
        const float fHigh = static_cast<float>(std::min(box.nMax[c] + 1, dims[c] - !bClosed));
        if (!(bClosed ? p[c] >= fLow : p[c] > fLow) || !(p[c] < fHigh))
            return false;
    }
    return true;
}

float ReferenceXRay(int32_t n, const float* pDir, const CMatrix4& m, const CVolume& v,
                    const CropBox& crop) {
    float d[3], pos[3], step[3];
    NormalizeVector(pDir[0], pDir[1], pDir[2], d);
    ScaleVector(d[0], d[1], d[2], static_cast<float>(RAY_FAR), pos);
    ScaleVector(d[0], d[1], d[2], static_cast<float>((RAY_NEAR - RAY_FAR) / n), step);
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        float p[3];
        m.TransformPoint(pos[0], pos[1], pos[2], p);
        if (InCrop(p, v, crop, true))
            sum = sum + v.VoxelAt(int(p[0]), int(p[1]), int(p[2])) / (n * 4096.0);
        for (int c = 0; c < 3; ++c)
            pos[c] += step[c];
    }
    return static_cast<float>(sum * 5.0);
}

// First Hit, nearest neighbour, thresholds 0 and 4095: the index of the first
// inside sample with a value above 0, or -1.
int32_t ReferenceFirstHitVoxel(int32_t n, const float* pDir, const CMatrix4& m, const CVolume& v,
                               const CropBox& crop) {
    float d[3], pos[3], step[3];
    NormalizeVector(pDir[0], pDir[1], pDir[2], d);
    ScaleVector(d[0], d[1], d[2], 1.2f, pos);
    ScaleVector(d[0], d[1], d[2], (3.2f - 1.2f) / static_cast<float>(n), step);
    for (int32_t i = 0; i < n; ++i) {
        float p[3];
        m.TransformPoint(pos[0], pos[1], pos[2], p);
        if (InCrop(p, v, crop, false)) {
            const int32_t k = VoxelIndex(v, int(p[0]), int(p[1]), int(p[2]));
            if (v.m_pVoxels[k] > 0)
                return k;
        }
        for (int c = 0; c < 3; ++c)
            pos[c] += step[c];
    }
    return -1;
}

} // namespace

TEST_F(ViewTest, SkippingOutsideSamplesKeepsEveryBitAndCroppingShortensTheMarch) {
    // The third with voxels of unequal edges.
    const int dims[][3] = {{13, 9, 7}, {200, 3, 5}, {11, 14, 6}};
    const double spacings[][3] = {{1, 1, 1}, {1, 1, 1}, {0.4, 1, 3}};
    for (int i = 0; i < 3; ++i) {
        const int* dim = dims[i];
        // Scattered values 1..4000; every voxel k gets its own normal, along
        // (1, k, 0), so the First Hit colour lit along x tells which voxel was hit.
        auto pVolume = MakeVolume(dim[0], dim[1], dim[2], [](int x, int y, int z) {
            return 1 + (x * 7919 + y * 104729 + z * 1299709) % 4000;
        });
        for (int32_t k = 0; k < pVolume->m_nVoxelCount; ++k)
            SetGradient(*pVolume, k, 1, static_cast<float>(k), 0);
        for (int j = 0; j < TABLE_SIZE; ++j)
            SetEntry(m_Tf, j, 255.0f, 0.0f, 0.0f, 0.0f);
        const float light[3] = {1.0f, 0.0f, 0.0f};
        // Every other view crops away a third of x and the upper half of y.
        CropBox cropped;
        cropped.nMin[0] = dim[0] / 3;
        cropped.nMax[1] = dim[1] / 2;
        int nCompared = 0, nHits = 0;
        int64_t nWholeSamples = 0, nCroppedSamples = 0;
        for (int nLongitude = -180; nLongitude <= 180; nLongitude += 37) {
            for (int nLatitude = -90; nLatitude <= 90; nLatitude += 29) {
                m_State.crop = CropBox();
                Setup(64, 48, nLongitude, nLatitude, dim[0], dim[1], dim[2], spacings[i]);
                RayView croppedView;
                RunSettings croppedSettings = m_State;
                croppedSettings.crop = cropped;
                SetupView(croppedSettings, dim[0], dim[1], dim[2], m_Math, croppedView,
                          spacings[i]);
                for (int j = 0; j < 24 * 24; ++j) {
                    nWholeSamples += MarchedSampleCount(m_View, m_State, j % 24 / 24.0, j / 576.0);
                    nCroppedSamples +=
                        MarchedSampleCount(croppedView, croppedSettings, j % 24 / 24.0, j / 576.0);
                }
                if ((nLongitude + nLatitude) % 2 == 0) {
                    std::swap(m_View, croppedView);
                    m_State = croppedSettings;
                }
                std::copy_n(light, 3, m_View.light);
                const CMatrix4& m = *m_View.pMatrix;
                for (int j = 0; j < 24 * 24; ++j) {
                    // The grid's rays, which the image-plane bounds of the box may
                    // turn away without a march.
                    const double fx = j % 24 / 24.0, fy = j / 24 / 24.0;
                    const float dir[3] = {
                        static_cast<float>(2.0 * fx * m_View.dRight - m_View.dRight),
                        static_cast<float>(2.0 * fy * m_View.dTop - m_View.dTop), 1.2f};
                    ImagePixel p = CastAt(*pVolume, VOLUME_TYPE_XRAY, VOLUME_NEAREST, fx, fy);
                    ASSERT_EQ(p.r, ReferenceXRay(m_View.nSamples, dir, m, *pVolume, m_State.crop));
                    p = CastAt(*pVolume, VOLUME_TYPE_FIRST_HIT, VOLUME_NEAREST, fx, fy);
                    const int32_t k =
                        ReferenceFirstHitVoxel(m_View.nSamples, dir, m, *pVolume, m_State.crop);
                    ASSERT_EQ(p.r, k < 0 ? 0.0f
                                         : static_cast<float>(1.0f / pVolume->GradientLength(k) *
                                                              K255D * 255.0));
                    ++nCompared;
                    nHits += k >= 0 ? 1 : 0;
                }
            }
        }
        EXPECT_GT(nHits, nCompared / 100); // the comparison covers many hits ...
        EXPECT_LT(nHits, nCompared);       // ... and many misses
        // The rays start and end at the box's faces: less than half the walk.
        EXPECT_LT(nCroppedSamples * 2, nWholeSamples) << nCroppedSamples << " " << nWholeSamples;
    }
}
