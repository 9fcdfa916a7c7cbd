// The image writers: PFM layout and values, PNG structure and byte rounding.
#include "headless/Image.h"

#include "ToolTestUtil.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace tooltest;

// A 3 x 2 picture whose every component is different, with values outside 0..1.
RgbImage SamplePicture() {
    RgbImage image(3, 2);
    for (size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = 0.25f * float(i) - 1.0f;
    return image;
}

TEST(ImageFiles, PfmIsHeaderThenBottomRowFirstUnclamped) {
    const RgbImage image = SamplePicture();
    ScratchDir dir;
    std::string sError;
    ASSERT_TRUE(WriteImage(dir.Path("a.pfm"), image, sError)) << sError;
    // The first stored float is red of pixel (0, 1), the bottom-left pixel.
    const std::string sBytes = ReadFile(dir.Path("a.pfm"));
    EXPECT_EQ(sBytes.substr(0, 16), "PF\n3 2\n-1.0\n" + testfiles::LeFloat(image.At(0, 1)[0]));
    const Picture picture = ReadPfm(dir.Path("a.pfm"));
    ASSERT_EQ(picture.sError, "");
    EXPECT_EQ(picture.nWidth, 3);
    EXPECT_EQ(picture.nHeight, 2);
    EXPECT_EQ(picture.rgb, image.rgb); // bit for bit, in their places
}

TEST(ImageFiles, PngHoldsTheComponentsClampedAndRounded) {
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    const float fInf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> bytes[] = {
        {0.0f, 0},          {-3.0f, 0},
        {fNaN, 0},          {-fInf, 0},
        {fInf, 255},        {1.0f, 255},
        {4.9f, 255},        {0.5f, 128}, // 127.5 rounds up: rounded to the nearest, not truncated
        {0.499f, 127},                   // 127.245
        {1.0f / 255.0f, 1}, {0.6f / 255.0f, 1},
        {0.4f / 255.0f, 0}, {254.6f / 255.0f, 255},
    };
    for (auto [f, n] : bytes)
        EXPECT_EQ(ComponentToByte(f), n) << f;

    // The extension is recognised in any letter case, but only at the end.
    EXPECT_TRUE(HasImageExtension("x.Pfm"));
    EXPECT_FALSE(HasImageExtension("pfm"));
    EXPECT_FALSE(HasImageExtension("x.pfm.txt"));
    RgbImage image = SamplePicture();
    image.rgb[4] = fNaN;
    ScratchDir dir;
    std::string sError;
    ASSERT_TRUE(WriteImage(dir.Path("a.PNG"), image, sError)) << sError;
    const Picture picture = ReadPng(dir.Path("a.PNG"));
    ASSERT_EQ(picture.sError, "");
    ASSERT_EQ(picture.nWidth, 3);
    ASSERT_EQ(picture.nHeight, 2);
    for (size_t i = 0; i < image.rgb.size(); ++i)
        EXPECT_EQ(picture.bytes[i], ComponentToByte(image.rgb[i])) << i;

    // A large, mostly black picture compresses.
    RgbImage large(692, 448);
    for (int x = 100; x < 200; ++x)
        large.At(x, 300)[1] = 0.5f;
    const std::vector<uint8_t> png = EncodePng(large);
    EXPECT_LT(png.size(), 692u * 448u * 3u / 20u);
    ASSERT_TRUE(WriteFileBytes(dir.Path("b.png"), png));
    const Picture decoded = ReadPng(dir.Path("b.png"));
    ASSERT_EQ(decoded.sError, "");
    EXPECT_EQ(decoded.Byte(150, 300)[1], 128);
    EXPECT_EQ(decoded.Byte(150, 301)[1], 0);
}

} // namespace
