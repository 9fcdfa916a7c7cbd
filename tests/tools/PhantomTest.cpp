// The sample data made at build time, and the generators behind it.
#include "headless/Phantom.h"

#include "ToolTestUtil.h"

#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <set>

namespace {

const std::string kPhantom = ORVEX_SAMPLE_DIR "/phantom.dat";
const std::string kTable = ORVEX_SAMPLE_DIR "/default.trf";

TEST(SampleData, PhantomLoadsWithItsSizeAndTissueValues) {
    ASSERT_EQ(std::filesystem::file_size(kPhantom), 6u + 2u * 256u * 256u * 113u);
    CVolume volume(kPhantom);
    ASSERT_NE(volume.m_pVoxels, nullptr);
    EXPECT_EQ((std::array<int, 3>{volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ}),
              (std::array<int, 3>{256, 256, 113}));

    // Only the tissue values occur (no ellipsoids overlap beyond the nesting),
    // and each of them does; the histogram counts every voxel.
    const std::set<int> tissues = {PHANTOM_AIR,        PHANTOM_BRAIN,       PHANTOM_SKULL,
                                   PHANTOM_VENTRICLE,  PHANTOM_SMALL_BLOBS, PHANTOM_UPPER_BLOB,
                                   PHANTOM_LOWER_BLOBS};
    std::set<int> seen;
    for (int i = 0; i < volume.m_nVoxelCount; ++i)
        seen.insert(volume.m_pVoxels[i]);
    EXPECT_EQ(seen, tissues);
    EXPECT_EQ(std::accumulate(std::begin(volume.m_Histogram), std::end(volume.m_Histogram), 0),
              256 * 256 * 113);
    EXPECT_EQ(volume.m_nHistogramPeak, PHANTOM_AIR);

    // Landmarks: air in the corner, brain at the centre, skull on the x axis at
    // grid coordinate 0.676 (between the brain's 0.6624 and the skull's 0.69),
    // and the ventricles either side.
    EXPECT_EQ(volume.VoxelAt(0, 0, 0), PHANTOM_AIR);
    EXPECT_EQ(volume.VoxelAt(128, 128, 56), PHANTOM_BRAIN);
    EXPECT_EQ(volume.VoxelAt(214, 128, 56), PHANTOM_SKULL);
    EXPECT_EQ(volume.VoxelAt(41, 128, 56), PHANTOM_SKULL);
    EXPECT_EQ(volume.VoxelAt(156, 128, 56), PHANTOM_VENTRICLE);  // x = +0.22
    EXPECT_EQ(volume.VoxelAt(99, 128, 56), PHANTOM_VENTRICLE);   // x = -0.22
    EXPECT_EQ(volume.VoxelAt(128, 172, 47), PHANTOM_UPPER_BLOB); // y = .35, z = -.15
}

TEST(SampleData, DefaultTableShowsEachTissue) {
    CTransferFunction tf(nullptr);
    ASSERT_EQ(tf.Load(kTable), 0);
    ASSERT_EQ(std::filesystem::file_size(kTable) % 24, 0u);
    // The editor's invariants: end points at 0 and 4095, opacities within 0..1.
    ASSERT_NE(tf.GetFirstPoint(), nullptr);
    EXPECT_EQ(tf.GetFirstPoint()->position, 0);
    const ControlPoint* p = tf.GetFirstPoint();
    for (; p->next; p = p->next)
        EXPECT_TRUE(p->opacity >= 0.0f && p->opacity <= 1.0f) << p->position;
    EXPECT_EQ(p->position, 4095);

    auto entry = [&](int v) { return tf.Lookup(int16_t(v)); };
    // Air and brain are transparent; the skull is translucent, the inner
    // ellipsoids opaque.
    EXPECT_EQ(entry(PHANTOM_AIR).opacity, 0.0f);
    EXPECT_EQ(entry(PHANTOM_BRAIN).opacity, 0.0f);
    EXPECT_GT(entry(PHANTOM_SKULL).opacity, 0.0f);
    for (int v : {PHANTOM_VENTRICLE, PHANTOM_SMALL_BLOBS, PHANTOM_UPPER_BLOB, PHANTOM_LOWER_BLOBS})
        EXPECT_GT(entry(v).opacity, entry(PHANTOM_SKULL).opacity) << v;
    // Distinct colours: blue, green, yellow, red.
    const TableEntry blue = entry(PHANTOM_VENTRICLE), green = entry(PHANTOM_SMALL_BLOBS);
    const TableEntry yellow = entry(PHANTOM_UPPER_BLOB), red = entry(PHANTOM_LOWER_BLOBS);
    EXPECT_GT(blue.blue, std::max(blue.red, blue.green));
    EXPECT_GT(green.green, std::max(green.red, green.blue));
    EXPECT_GT(std::min(yellow.red, yellow.green), 2 * yellow.blue);
    EXPECT_GT(red.red, 2 * std::max(red.green, red.blue));
    // First Hit with the default thresholds meets the skull at any value from 1
    // up to the skull's: all of them bright.
    for (int v = 1; v <= PHANTOM_SKULL; ++v) {
        const TableEntry e = entry(v);
        ASSERT_GT(std::min({e.red, e.green, e.blue}), 0.6f * 255.0f) << v;
    }
    // Slices show air black.
    EXPECT_EQ(entry(PHANTOM_AIR).red + entry(PHANTOM_AIR).green + entry(PHANTOM_AIR).blue, 0.0f);
}

TEST(PhantomGenerator, WaveVolumeForTheBenchmarkStaysInRange) {
    const std::vector<int16_t> w = MakeWaveVolume(24);
    ASSERT_EQ(w.size(), 24u * 24u * 24u);
    EXPECT_EQ(w[0], 0); // the corner lies outside the ball
    EXPECT_GE(*std::min_element(w.begin(), w.end()), 0);
    EXPECT_LE(*std::max_element(w.begin(), w.end()), 4000);
    EXPECT_GT(std::set<int16_t>(w.begin(), w.end()).size(), 100u);
}

TEST(PhantomGenerator, RawWriterWritesTheLittleEndianFormat) {
    tooltest::ScratchDir dir;
    const std::vector<int16_t> voxels = {0, 1, -5, 4095, 300, 7, 8, 9, 10, 11, 12, 2047};
    ASSERT_TRUE(WriteRawDataset(dir.Path("r.dat"), 3, 2, 2, voxels));
    EXPECT_EQ(tooltest::ReadFile(dir.Path("r.dat")), testfiles::RawBytes(3, 2, 2, voxels));
    EXPECT_FALSE(WriteRawDataset(dir.Path("no/dir/r.dat"), 3, 2, 2, voxels));
}

} // namespace
