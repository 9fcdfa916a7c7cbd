// The image writers: PFM layout and values, PNG structure and byte rounding.
#include "_Image.h"

#include "ToolTestUtil.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>

namespace {

using tooltest::Picture;
using tooltest::ScratchDir;

// A 3 x 2 picture whose every component is different, with values outside 0..1.
RgbImage SamplePicture() {
    RgbImage image(3, 2);
    for (size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = 0.25f * float(i) - 1.0f;
    return image;
}

TEST(PfmWriter, HeaderThenBottomRowFirstLittleEndian) {
    const RgbImage image = SamplePicture();
    const std::vector<uint8_t> bytes = EncodePfm(image);
    const std::string sHeader = "PF\n3 2\n-1.0\n";
    ASSERT_EQ(bytes.size(), sHeader.size() + 3 * 2 * 3 * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + long(sHeader.size())), sHeader);
    // The first stored float is red of pixel (0, 1), the bottom-left pixel.
    const uint8_t* p = &bytes[sHeader.size()];
    const float expected = image.At(0, 1)[0];
    uint32_t bits;
    std::memcpy(&bits, &expected, 4);
    EXPECT_EQ(p[0], uint8_t(bits));
    EXPECT_EQ(p[3], uint8_t(bits >> 24));

    ScratchDir dir;
    std::string sError;
    ASSERT_TRUE(WriteImage(dir.Path("a.pfm"), image, sError)) << sError;
    const Picture picture = tooltest::ReadPfm(dir.Path("a.pfm"));
    ASSERT_EQ(picture.sError, "");
    ASSERT_EQ(picture.nWidth, 3);
    ASSERT_EQ(picture.nHeight, 2);
    // Unclamped values come back bit for bit, in their places.
    EXPECT_EQ(picture.rgb, image.rgb);
}

TEST(PngWriter, ComponentsAreClampedAndRounded) {
    EXPECT_EQ(ComponentToByte(0.0f), 0);
    EXPECT_EQ(ComponentToByte(-3.0f), 0);
    EXPECT_EQ(ComponentToByte(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(ComponentToByte(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(ComponentToByte(std::numeric_limits<float>::infinity()), 255);
    EXPECT_EQ(ComponentToByte(1.0f), 255);
    EXPECT_EQ(ComponentToByte(4.9f), 255);
    // Rounded to the nearest byte, not truncated.
    EXPECT_EQ(ComponentToByte(0.5f), 128);   // 127.5 rounds up
    EXPECT_EQ(ComponentToByte(0.499f), 127); // 127.245
    EXPECT_EQ(ComponentToByte(1.0f / 255.0f), 1);
    EXPECT_EQ(ComponentToByte(0.6f / 255.0f), 1);
    EXPECT_EQ(ComponentToByte(0.4f / 255.0f), 0);
    EXPECT_EQ(ComponentToByte(254.6f / 255.0f), 255);
}

TEST(PngWriter, DecodesToTheClampedBytes) {
    RgbImage image = SamplePicture();
    image.rgb[4] = std::numeric_limits<float>::quiet_NaN();
    ScratchDir dir;
    std::string sError;
    // The extension is recognised in any letter case.
    ASSERT_TRUE(WriteImage(dir.Path("a.PNG"), image, sError)) << sError;
    const Picture picture = tooltest::ReadPng(dir.Path("a.PNG"));
    ASSERT_EQ(picture.sError, "");
    ASSERT_EQ(picture.nWidth, 3);
    ASSERT_EQ(picture.nHeight, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(picture.Byte(x, y)[c], ComponentToByte(image.At(x, y)[c]))
                    << x << "," << y << "," << c;
}

TEST(PngWriter, LargePictureCompresses) {
    RgbImage image(692, 448);
    for (int x = 100; x < 200; ++x)
        image.At(x, 300)[1] = 0.5f;
    const std::vector<uint8_t> bytes = EncodePng(image);
    ASSERT_FALSE(bytes.empty());
    EXPECT_LT(bytes.size(), 692u * 448u * 3u / 20u);
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.Path("b.png"), bytes));
    const Picture picture = tooltest::ReadPng(dir.Path("b.png"));
    ASSERT_EQ(picture.sError, "");
    EXPECT_EQ(picture.Byte(150, 300)[1], 128);
    EXPECT_EQ(picture.Byte(150, 301)[1], 0);
}

TEST(ImageFiles, FailuresAreReported) {
    ScratchDir dir;
    const RgbImage image(2, 2);
    std::string sError;
    EXPECT_FALSE(WriteImage(dir.Path("picture.jpg"), image, sError));
    EXPECT_NE(sError, "");
    sError.clear();
    EXPECT_FALSE(WriteImage(dir.Path("no/such/folder/a.pfm"), image, sError));
    EXPECT_NE(sError.find("cannot write"), std::string::npos) << sError;
    EXPECT_FALSE(WriteFileBytes(dir.Path("no/such/folder/a.png"), {1, 2, 3}));
    EXPECT_FALSE(CanWriteFile(dir.Path("no/such/folder/a.png"), sError));
    EXPECT_NE(sError.find("no folder"), std::string::npos) << sError;
    EXPECT_FALSE(CanWriteFile(dir.Path(""), sError)); // the folder itself
    EXPECT_TRUE(CanWriteFile(dir.Path("new.png"), sError)) << sError;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.png"))); // checking creates nothing
    EXPECT_TRUE(HasImageExtension("x.Pfm"));
    EXPECT_FALSE(HasImageExtension("pfm"));
    EXPECT_FALSE(HasImageExtension("x.pfm.txt"));
}

} // namespace
