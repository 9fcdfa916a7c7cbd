// The picture files: PFM layout and values, PNG structure and byte rounding.
#include "headless/Image.h"

#include "ToolTestUtil.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace tooltest;

TEST(ImageFiles, PfmKeepsTheFloatsBottomRowFirstAndPngRoundsThemToBytes) {
    // A 3 x 2 picture whose every component is different, with values outside 0..1.
    RgbImage image(3, 2);
    for (size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = 0.25f * float(i) - 1.0f;
    ScratchDir dir;
    std::string sError;
    ASSERT_TRUE(WriteImage(dir.Path("a.pfm"), image, sError)) << sError;
    // The first stored float is red of pixel (0, 1), the bottom-left pixel.
    EXPECT_EQ(ReadFile(dir.Path("a.pfm")).substr(0, 16),
              "PF\n3 2\n-1.0\n" + testfiles::LeFloat(image.At(0, 1)[0]));
    const Picture pfm = ReadPfm(dir.Path("a.pfm"));
    ASSERT_EQ(pfm.sError, "");
    EXPECT_EQ(pfm.rgb, image.rgb); // bit for bit, in their places

    // Rounded to the nearest byte (127.5 up, 127.245 down), limited to 0..255,
    // NaN black; the extension is recognised in any letter case.
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    const float values[6] = {0.5f, 0.499f, -3.0f, 4.9f, fNaN, 0.6f / 255.0f};
    const int bytes[6] = {128, 127, 0, 255, 0, 1};
    std::copy(values, values + 6, image.rgb.begin());
    ASSERT_TRUE(WriteImage(dir.Path("a.PNG"), image, sError)) << sError;
    const Picture png = ReadPng(dir.Path("a.PNG"));
    ASSERT_EQ(png.sError, "");
    ASSERT_EQ(png.nWidth * 10 + png.nHeight, 32);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(png.bytes[i], bytes[i]) << values[i];
    EXPECT_EQ(png.Byte(2, 1)[2], 255); // 1.25
    EXPECT_FALSE(HasImageExtension("x.pfm.txt"));
}

} // namespace
