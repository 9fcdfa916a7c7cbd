// Reference pictures: the sample phantom with default.trf, rendered as
// orvex-render renders it (the headless viewer driving the progressive worker,
// default casting threads, empty-space skipping on) at 160 x 104, for each
// compositing type, two views and both samplings where they differ. Each is
// compared pixel for pixel with a reviewed PNG in reference/ (decoded here, so
// that another zlib cannot break the comparison), and the unclamped float
// picture bit for bit with its digest in reference/digests.txt.
//
// After a change that is meant to alter the pictures, regenerate them with (on
// one line)
//   ORVEX_UPDATE_REFERENCE_PICTURES=1 build/tests/tools/tools_test
//       --gtest_filter='ReferencePictures.*'
// which rewrites the PNGs and the digests in tests/tools/reference/. Look at every
// picture before committing them. When a comparison fails, the picture made here
// is left next to the test program as NAME.actual.png.
#include "headless/Headless.h"
#include "headless/Image.h"

#include "ToolTestUtil.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>

namespace {

using namespace tooltest;

constexpr int kWidth = 160;
constexpr int kHeight = 104;
const std::string kReferenceDir = ORVEX_REFERENCE_DIR;
const std::string kDigestFile = kReferenceDir + "/digests.txt";

// FNV-1a over the bits of every float component: any change of any bit shows.
std::string Digest(const RgbImage& image) {
    uint64_t h = 14695981039346656037ull;
    for (float f : image.rgb) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        for (int i = 0; i < 4; ++i) {
            h ^= (bits >> (8 * i)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::map<std::string, std::string> ReadDigests() {
    std::map<std::string, std::string> digests;
    std::istringstream in(ReadFile(kDigestFile));
    std::string sName, sDigest;
    while (in >> sName >> sDigest)
        digests[sName] = sDigest;
    return digests;
}

TEST(ReferencePictures, PhantomIsBitIdenticalToTheReviewedPictures) {
    const bool bUpdate = std::getenv("ORVEX_UPDATE_REFERENCE_PICTURES") != nullptr;
    const struct {
        const char* pName;
        int nType, nSampling, nLongitude, nLatitude;
    } cases[] = {
        {"levoy-trilinear-0-90", VOLUME_TYPE_LEVOY, 1, 0, 90},
        {"levoy-nearest-0-90", VOLUME_TYPE_LEVOY, 0, 0, 90},
        {"levoy-trilinear-30-60", VOLUME_TYPE_LEVOY, 1, 30, 60},
        {"levoy-nearest-30-60", VOLUME_TYPE_LEVOY, 0, 30, 60},
        {"xray-0-90", VOLUME_TYPE_XRAY, 1, 0, 90},
        {"xray-30-60", VOLUME_TYPE_XRAY, 1, 30, 60},
        {"firsthit-trilinear-0-90", VOLUME_TYPE_FIRST_HIT, 1, 0, 90},
        {"firsthit-nearest-0-90", VOLUME_TYPE_FIRST_HIT, 0, 0, 90},
        {"firsthit-trilinear-30-60", VOLUME_TYPE_FIRST_HIT, 1, 30, 60},
        {"firsthit-nearest-30-60", VOLUME_TYPE_FIRST_HIT, 0, 30, 60},
        {"mip-trilinear-0-90", VOLUME_TYPE_MIP, 1, 0, 90},
        {"mip-nearest-30-60", VOLUME_TYPE_MIP, 0, 30, 60},
        {"minip-trilinear-30-60", VOLUME_TYPE_MINIP, 1, 30, 60},
        {"minip-nearest-0-90", VOLUME_TYPE_MINIP, 0, 0, 90},
    };
    CHeadlessViewer viewer;
    std::string sError;
    ASSERT_TRUE(viewer.LoadTransferFunction(ORVEX_SAMPLE_DIR "/default.trf", sError)) << sError;
    ASSERT_TRUE(viewer.LoadDataset(ORVEX_SAMPLE_DIR "/phantom.dat", sError)) << sError;
    const std::map<std::string, std::string> digests = ReadDigests();
    std::string sNewDigests;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pName);
        viewer.SetVolumeSettings(kWidth, kHeight, c.nType, c.nSampling, c.nLongitude, c.nLatitude,
                                 0, 4095);
        ASSERT_TRUE(viewer.RunVolume(sError)) << sError;
        const RgbImage image = viewer.FrontImage();
        const std::string sPng = kReferenceDir + "/" + c.pName + ".png";
        if (bUpdate) {
            ASSERT_TRUE(WriteImage(sPng, image, sError)) << sError;
            sNewDigests += std::string(c.pName) + " " + Digest(image) + "\n";
            continue;
        }
        const Picture reference = ReadPng(sPng);
        ASSERT_EQ(reference.sError, "") << sPng;
        ASSERT_EQ(reference.nWidth, kWidth);
        ASSERT_EQ(reference.nHeight, kHeight);
        int nDiffering = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int k = 0; k < 3; ++k)
                    if (ComponentToByte(image.At(x, y)[k]) != reference.Byte(x, y)[k] &&
                        ++nDiffering <= 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " component " << k << ": "
                                      << int(ComponentToByte(image.At(x, y)[k])) << ", reference "
                                      << int(reference.Byte(x, y)[k]);
        EXPECT_EQ(nDiffering, 0) << "bytes differ from the reference";
        const auto it = digests.find(c.pName);
        const bool bSameBits = it != digests.end() && it->second == Digest(image);
        EXPECT_TRUE(bSameBits) << "the float picture differs from the reference in some bit";
        if (nDiffering > 0 || !bSameBits)
            WriteImage(std::string(c.pName) + ".actual.png", image, sError);
    }
    if (bUpdate) {
        std::ofstream(kDigestFile, std::ios::trunc) << sNewDigests;
        GTEST_SKIP() << "reference pictures written to " << kReferenceDir;
    }
}

} // namespace
