// The sample data made at build time, and the generators behind it.
#include "headless/Phantom.h"

#include "ToolTestUtil.h"

#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace {

TEST(SampleData, PhantomHasItsSizeAndTissuesAndTheTableShowsThem) {
    const std::string sPhantom = ORVEX_SAMPLE_DIR "/phantom.dat";
    ASSERT_EQ(std::filesystem::file_size(sPhantom), 6u + 2u * 256u * 256u * 113u);
    CVolume volume(sPhantom);
    ASSERT_NE(volume.m_pVoxels, nullptr);
    // Only the tissue values occur, and each of them does.
    const std::set<int> seen(volume.m_pVoxels, volume.m_pVoxels + volume.m_nVoxelCount);
    EXPECT_EQ(seen, (std::set<int>{PHANTOM_AIR, PHANTOM_BRAIN, PHANTOM_SKULL, PHANTOM_VENTRICLE,
                                   PHANTOM_SMALL_BLOBS, PHANTOM_UPPER_BLOB, PHANTOM_LOWER_BLOBS}));
    // Landmarks: air in the corner, brain at the centre, skull on the x axis at
    // grid coordinate 0.676 (between the brain's 0.6624 and the skull's 0.69),
    // the ventricles at x = +-0.22 and the upper ellipsoid at y = .35, z = -.15.
    const int landmarks[][4] = {
        {0, 0, 0, PHANTOM_AIR},           {128, 128, 56, PHANTOM_BRAIN},
        {214, 128, 56, PHANTOM_SKULL},    {156, 128, 56, PHANTOM_VENTRICLE},
        {99, 128, 56, PHANTOM_VENTRICLE}, {128, 172, 47, PHANTOM_UPPER_BLOB}};
    for (const auto& l : landmarks)
        EXPECT_EQ(volume.VoxelAt(l[0], l[1], l[2]), l[3]) << l[0] << "," << l[1] << "," << l[2];

    CTransferFunction tf;
    ASSERT_EQ(tf.Load(ORVEX_SAMPLE_DIR "/default.trf"), 0);
    auto entry = [&](int v) { return tf.Lookup(int16_t(v)); };
    // Air and brain are transparent, the skull translucent, the inner ellipsoids
    // more opaque (their colours: the reference pictures).
    EXPECT_EQ(entry(PHANTOM_AIR).opacity + entry(PHANTOM_BRAIN).opacity, 0.0f);
    for (int v : {PHANTOM_VENTRICLE, PHANTOM_SMALL_BLOBS, PHANTOM_UPPER_BLOB, PHANTOM_LOWER_BLOBS})
        EXPECT_GT(entry(v).opacity, entry(PHANTOM_SKULL).opacity) << v;
    EXPECT_GT(entry(PHANTOM_SKULL).opacity, 0.0f);
    // First Hit with the default thresholds meets the skull at any value from 1
    // up to the skull's: all of them bright. Slices show air black.
    for (int v = 1; v <= PHANTOM_SKULL; ++v)
        ASSERT_GT(std::min({entry(v).red, entry(v).green, entry(v).blue}), 0.6f * 255.0f) << v;
    EXPECT_EQ(entry(PHANTOM_AIR).red + entry(PHANTOM_AIR).green + entry(PHANTOM_AIR).blue, 0.0f);
}

TEST(PhantomGenerator, RawWriterWritesTheLittleEndianFormat) {
    tooltest::ScratchDir dir;
    const std::vector<int16_t> voxels = {0, 1, -5, 4095, 300, 7, 8, 9, 10, 11, 12, 2047};
    ASSERT_TRUE(WriteRawDataset(dir.Path("r.dat"), 3, 2, 2, voxels));
    const CVolume volume(dir.Path("r.dat")); // read back as the viewer reads it
    ASSERT_EQ(volume.m_nVoxelCount, 12);
    EXPECT_EQ(std::vector<int16_t>(volume.m_pVoxels, volume.m_pVoxels + 12), voxels);
    EXPECT_FALSE(WriteRawDataset(dir.Path("no/dir/r.dat"), 3, 2, 2, voxels));
}

} // namespace
