// The casters' two instruction sets: processors without AVX2 run the SSE2
// casters, which must give the AVX2 casters' pictures bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "headless/Phantom.h"
#include "engine/BrickMap.h"
#include "engine/CompositingModes.h"
#include "engine/RayCaster.h"
#include "engine/ShadeCache.h"

namespace {

// Pictures cast row by row from an empty shading cache, with the AVX2 casters,
// the SSE2 casters, and the SSE2 casters skipping empty space, in three views
// (one with longer voxels along z), every compositing type and sampling.
void ExpectSamePictures(int nDimX, int nDimY, int nDimZ, const std::vector<int16_t>& voxels) {
    const testfiles::ScratchDir dir;
    CVolume volume(dir.Write("volume.dat", testfiles::RawBytes(nDimX, nDimY, nDimZ, voxels)));
    ASSERT_NE(volume.m_pVoxels, nullptr);
    CTransferFunction tf;
    SetPhantomTransferFunction(tf);
    tf.BuildTable();
    CBrickRanges ranges;
    ASSERT_TRUE(ranges.Build(volume));
    RunSettings state;
    state.nLowerThreshold = 1000;
    state.nUpperThreshold = 2500;
    CVectorMath math;
    auto picture = [&](bool bAvx2, const CSkipMap* pSkip) {
        UseCasterAvx2(bAvx2);
        EXPECT_EQ(CasterUsesAvx2(), bAvx2);
        RayView view;
        SetupView(state, nDimX, nDimY, nDimZ, math, view, volume.m_dSpacing);
        CShadeCache shade;
        shade.Fit(volume.m_nVoxelCount);
        const int w = state.nWidth, h = state.nHeight;
        std::vector<ImagePixel> pixels(static_cast<size_t>(w) * h);
        std::memset(pixels.data(), 0, pixels.size() * sizeof(ImagePixel)); // padding too
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                CastGridRay(view, state, double(x) / w, double(y) / h, tf, volume, shade,
                            pixels[static_cast<size_t>(y) * w + x], pSkip);
        return pixels;
    };
    const int views[][5] = {{0, 90, 48, 36, 1}, {37, 20, 40, 44, 1}, {-120, -45, 36, 48, 3}};
    for (const auto& [nLongitude, nLatitude, w, h, nSpacingZ] : views) {
        state.nWidth = w;
        state.nHeight = h;
        state.camera.fLongitude = DegreesToRadians(nLongitude);
        state.camera.fLatitude = DegreesToRadians(nLatitude);
        volume.m_dSpacing[2] = nSpacingZ;
        for (const CompositingMode& mode : COMPOSITING_MODES) {
            for (int nInterpolation : {VOLUME_NEAREST, VOLUME_TRILINEAR}) {
                const int nType = mode.nType;
                state.nVolumeType = nType;
                state.nVolumeInterpolation = nInterpolation;
                CSkipMap skip;
                mode.buildSkipMap(skip, ranges, tf, state);
                SCOPED_TRACE(std::to_string(nLongitude) + "/" + std::to_string(nType) + "/" +
                             std::to_string(nInterpolation));
                const std::vector<ImagePixel> avx2 = picture(true, nullptr);
                EXPECT_TRUE(AnyLit(avx2));
                EXPECT_TRUE(SamePixels(avx2, picture(false, nullptr)));
                EXPECT_TRUE(SamePixels(avx2, picture(false, &skip)));
            }
        }
    }
}

} // namespace

TEST(CasterInstructionSets, Sse2CastersGiveTheAvx2Pictures) {
    if (!CasterAvx2Available())
        GTEST_SKIP() << "this processor has no AVX2";
    struct Restore { // the casters go back to AVX2 whatever happens
        ~Restore() { UseCasterAvx2(true); }
    } restore;
    // The phantom, and a noisy ramp lit up to its faces, with a few voxels below
    // 0 and above the table.
    unsigned nNoise = 12345;
    const std::vector<int16_t> field = testfiles::Field(64, 64, 28, [&nNoise](int x, int y, int z) {
        nNoise = nNoise * 1103515245u + 12345u;
        return 70 * x + 3 * y + 20 * z + static_cast<int>((nNoise >> 16) % 700) - 100;
    });
    ExpectSamePictures(64, 64, 28, MakeHeadPhantom(64, 64, 28));
    ExpectSamePictures(64, 64, 28, field);
    // The phantom with one voxel of -32768 inside: its neighbours' differences
    // take 32 bits.
    std::vector<int16_t> wide = MakeHeadPhantom(64, 64, 28);
    wide[32 + 64 * (32 + 64 * 14)] = -32768;
    ExpectSamePictures(64, 64, 28, wide);
}
