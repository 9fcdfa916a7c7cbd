// Presets fitted to a dataset: Otsu's threshold, the automatic fit, and the CT
// presets in scan units.
#include <gtest/gtest.h>

#include <vector>

#include "transfer/Presets.h"

namespace {

// Background noise 0..99 (most voxels) and an object around 2500.
std::vector<int32_t> TwoClasses() {
    std::vector<int32_t> h(TABLE_SIZE, 0);
    for (int i = 0; i < 100; ++i)
        h[i] = 900 + 7 * (i % 5);
    for (int i = 2400; i < 2600; ++i)
        h[i] = 150;
    return h;
}

TEST(Presets, OtsuAndTheFitSeparateBackgroundFromObject) {
    const std::vector<int32_t> h = TwoClasses();
    const int t = OtsuThreshold(h.data());
    // Every threshold between the classes splits them alike: the middle counts.
    EXPECT_EQ(t, (99 + 2399) / 2);
    // A CT's padding (its lowest value) is no class: the split stays between
    // air and body.
    std::vector<int32_t> ct(TABLE_SIZE, 0);
    ct[0] = 30000;
    for (int i = 0; i < 100; ++i)
        ct[1300 + i] = ct[2000 + i] = 480;
    EXPECT_EQ(OtsuThreshold(ct.data()), (1399 + 1999) / 2);
    CTransferFunction tf;
    ASSERT_EQ(ApplyPreset(PRESET_FIT_TO_DATA, {h.data()}, tf), 0);
    for (int v = 0; v <= 99; ++v)
        EXPECT_EQ(tf.Lookup(v).opacity, 0.0f) << v; // the noise stays transparent
    for (int v : {2400, 2500, 2599}) {
        EXPECT_GT(tf.Lookup(v).opacity, 0.4f / 3547.5f) << v;
        EXPECT_GT(tf.Lookup(v).red, 200.0f) << v; // bright, not black
    }
}

TEST(Presets, CtPresetsLandOnTheSameHounsfieldValuesWhateverTheOffset) {
    const std::vector<int32_t> h = TwoClasses();
    for (TransferPreset e : {PRESET_CT_BONE, PRESET_CT_SKIN, PRESET_CT_SOFT_TISSUE}) {
        CTransferFunction a, b;
        ASSERT_EQ(ApplyPreset(e, {h.data(), -1024.0, 1.0}, a), 0);
        ASSERT_EQ(ApplyPreset(e, {h.data(), -2000.0, 1.0}, b), 0);
        for (int hu = -1000; hu <= 1000; hu += 10) {
            const TableEntry& ea = a.Lookup(static_cast<int16_t>(hu + 1024));
            const TableEntry& eb = b.Lookup(static_cast<int16_t>(hu + 2000));
            // (A last segment that ends at another value rounds its slope apart.)
            EXPECT_NEAR(ea.opacity, eb.opacity, 1e-9) << hu;
            EXPECT_NEAR(ea.red, eb.red, 1e-3) << hu;
        }
        // Air is transparent, dense bone opaque.
        EXPECT_EQ(a.Lookup(0).opacity, 0.0f);
        EXPECT_GT(a.Lookup(1024 + 1500).opacity, 0.5f / 3547.5f);
    }
}

} // namespace
