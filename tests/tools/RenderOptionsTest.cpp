// The command line of orvex-render.
#include "_RenderOptions.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

RenderParseResult Parse(std::vector<std::string> args, RenderOptions& options,
                        std::string& sError) {
    return ParseRenderOptions(args, options, sError);
}

TEST(RenderOptions, DefaultsFollowTheViewersStartValues) {
    RenderOptions o;
    std::string sError;
    ASSERT_EQ(Parse({"head.dat", "-o", "out.png"}, o, sError), RENDER_PARSE_OK) << sError;
    EXPECT_EQ(std::tie(o.sDataset, o.sOutput, o.sTransferFunction),
              std::make_tuple("head.dat", "out.png", ""));
    // 692 x 448, volume mode, Levoy, trilinear, longitude 0, latitude 90,
    // thresholds 0 and 4095, XY plane, slice 0.
    EXPECT_EQ(std::tie(o.nWidth, o.nHeight, o.bSlice, o.nVolumeType, o.nSampling, o.nLongitude,
                       o.nLatitude, o.nLowerThreshold, o.nUpperThreshold, o.nPlane, o.nSlice),
              std::make_tuple(692, 448, false, 0, 1, 0, 90, 0, 4095, 0, 0));

    // In slice mode the default sampling is nearest neighbour.
    ASSERT_EQ(Parse({"--mode", "slice", "head.dat", "-o", "out.pfm"}, o, sError), RENDER_PARSE_OK);
    EXPECT_TRUE(o.bSlice);
    EXPECT_EQ(o.nSampling, 0);
}

TEST(RenderOptions, EveryValueMapsToItsCode) {
    RenderOptions o;
    std::string sError;
    ASSERT_EQ(Parse({"-o",         "x.pfm",    "--tf",       "a.trf",   "--size",      "300X200",
                     "--type",     "firsthit", "--sampling", "nearest", "--longitude", "-30",
                     "--latitude", "400",      "--lower",    "10",      "--upper=20",  "--plane",
                     "yz",         "--slice",  "-4",         "d.dat"},
                    o, sError),
              RENDER_PARSE_OK)
        << sError;
    EXPECT_EQ(o.sTransferFunction, "a.trf");
    // A slice outside the volume is allowed: it shows value 0.
    EXPECT_EQ(std::tie(o.nWidth, o.nHeight, o.nVolumeType, o.nSampling, o.nLongitude, o.nLatitude,
                       o.nLowerThreshold, o.nUpperThreshold, o.nPlane, o.nSlice),
              std::make_tuple(300, 200, 2, 0, -30, 400, 10, 20, 2, -4));
    ASSERT_EQ(Parse({"d.dat", "-o", "x.pfm", "--type", "xray", "--plane", "xz"}, o, sError),
              RENDER_PARSE_OK);
    EXPECT_EQ(o.nVolumeType, 1);
    EXPECT_EQ(o.nPlane, 1);
    // The sampling is checked against the mode wherever the two stand.
    ASSERT_EQ(
        Parse({"--sampling", "bilinear", "d.dat", "--mode", "slice", "-o", "x.pfm"}, o, sError),
        RENDER_PARSE_OK);
    EXPECT_EQ(o.nSampling, 1);
    ASSERT_EQ(
        Parse({"d.dat", "-o", "x.pfm", "--mode", "volume", "--sampling", "nearest"}, o, sError),
        RENDER_PARSE_OK);
    EXPECT_EQ(o.nSampling, 0);
}

TEST(RenderOptions, ThreadsAndSkipping) {
    RenderOptions o;
    std::string sError;
    ASSERT_EQ(Parse({"d.dat", "-o", "x.pfm"}, o, sError), RENDER_PARSE_OK);
    EXPECT_EQ(o.nThreads, 0); // one per hardware thread
    EXPECT_TRUE(o.bSkipping);
    ASSERT_EQ(Parse({"d.dat", "-o", "x.pfm", "--threads", "3", "--skipping=off"}, o, sError),
              RENDER_PARSE_OK)
        << sError;
    EXPECT_EQ(o.nThreads, 3);
    EXPECT_FALSE(o.bSkipping);
    ASSERT_EQ(Parse({"d.dat", "-o", "x.pfm", "--threads=64", "--skipping", "on"}, o, sError),
              RENDER_PARSE_OK);
    EXPECT_EQ(o.nThreads, 64);
    EXPECT_TRUE(o.bSkipping);
}

TEST(RenderOptions, BareRawLayout) {
    RenderOptions o;
    std::string sError;
    ASSERT_EQ(Parse({"d.dat", "-o", "x.pfm"}, o, sError), RENDER_PARSE_OK);
    EXPECT_FALSE(o.bRaw);
    ASSERT_EQ(Parse({"scan.raw", "-o", "x.pfm", "--raw-size", "512x256x32767", "--raw-type=float64",
                     "--raw-endian", "big", "--raw-header", "1024", "--raw-spacing", "0.5,.7,3e0"},
                    o, sError),
              RENDER_PARSE_OK)
        << sError;
    EXPECT_TRUE(o.bRaw);
    EXPECT_EQ(std::tie(o.raw.nDimX, o.raw.nDimY, o.raw.nDimZ, o.raw.eType, o.raw.bBigEndian,
                       o.raw.nHeaderBytes),
              std::make_tuple(512, 256, 32767, VoxelType::Float64, true, 1024LL));
    EXPECT_EQ(std::vector<double>(o.raw.dSpacing, o.raw.dSpacing + 3),
              std::vector<double>({0.5, 0.7, 3.0}));
    ASSERT_EQ(
        Parse({"s.raw", "-o", "x.pfm", "--raw-type", "int8", "--raw-size", "1x2x3"}, o, sError),
        RENDER_PARSE_OK);
    EXPECT_EQ(std::tie(o.raw.eType, o.raw.bBigEndian, o.raw.nHeaderBytes, o.raw.dSpacing[2]),
              std::make_tuple(VoxelType::Int8, false, 0LL, 1.0));
}

TEST(RenderOptions, SizesAndNumbersAreStrict) {
    int w = 0, h = 0, n = 0;
    EXPECT_TRUE(ParseSize("1x1", w, h));
    EXPECT_TRUE(ParseSize("8192x8192", w, h));
    EXPECT_EQ(w, 8192);
    for (const char* p :
         {"", "0x10", "10x0", "10", "x10", "10x", "-5x5", "5x-5", "+5x5", "10x10x", "axb", "8193x1",
          "1x8193", " 10x10", "10x10 ", "1e3x10", "99999999999999999999x1"}) {
        EXPECT_FALSE(ParseSize(p, w, h)) << "'" << p << "'";
    }
    EXPECT_TRUE(ParseWholeNumber("-12", -100, 100, n));
    EXPECT_EQ(n, -12);
    EXPECT_TRUE(ParseWholeNumber("+7", -100, 100, n));
    EXPECT_EQ(n, 7);
    for (const char* p :
         {"", "-", "12.5", "1e2", "0x10", "12a", " 1", "101", "-101", "9999999999999999999999"}) {
        EXPECT_FALSE(ParseWholeNumber(p, -100, 100, n)) << "'" << p << "'";
    }
}

TEST(RenderOptions, ErrorsSayWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        const char* pExpected; // part of the message
    };
    const Case cases[] = {
        {{"-o", "x.png"}, "no dataset"},
        {{"d.dat"}, "no output file"},
        {{"d.dat", "-o", "x.jpg"}, ".pfm or .png"},
        {{"d.dat", "e.dat", "-o", "x.png"}, "more than one dataset"},
        {{"d.dat", "-o", "x.png", "--bogus", "1"}, "unknown option '--bogus'"},
        {{"d.dat", "-o", "x.png", "--size"}, "needs a value"},
        {{"d.dat", "-o", "x.png", "--size", "0x448"}, "--size"},
        {{"d.dat", "-o", "x.png", "--mode", "slab"}, "volume or slice"},
        {{"d.dat", "-o", "x.png", "--type", "mip"}, "levoy, xray or firsthit"},
        {{"d.dat", "-o", "x.png", "--sampling", "cubic"}, "--sampling"},
        {{"d.dat", "-o", "x.png", "--sampling", "bilinear"}, "not a volume sampling"},
        {{"d.dat", "-o", "x.png", "--mode", "slice", "--sampling", "trilinear"},
         "not a slice sampling"},
        {{"d.dat", "-o", "x.png", "--longitude", "12.5"}, "whole degrees"},
        {{"d.dat", "-o", "x.png", "--lower", "4096"}, "0..4095"},
        {{"d.dat", "-o", "x.png", "--upper", "-1"}, "0..4095"},
        {{"d.dat", "-o", "x.png", "--plane", "zx"}, "xy, xz or yz"},
        {{"d.dat", "-o", "x.png", "--slice", "one"}, "slice number"},
        {{"d.dat", "-o", "x.png", "--tf="}, "--tf"},
        {{"d.dat", "-o", "x.png", "--threads", "-1"}, "one per hardware thread"},
        {{"d.dat", "-o", "x.png", "--threads", "65"}, "0..64"},
        {{"d.dat", "-o", "x.png", "--threads", "two"}, "--threads"},
        {{"d.dat", "-o", "x.png", "--skipping", "yes"}, "on or off"},
        {{"d.raw", "-o", "x.png", "--raw-size", "2x2"}, "XxYxZ"},
        {{"d.raw", "-o", "x.png", "--raw-size", "2x2x32768"}, "1..32767"},
        {{"d.raw", "-o", "x.png", "--raw-type", "uint64"}, "float64"},
        {{"d.raw", "-o", "x.png", "--raw-spacing", "1,0,1"}, "three positive numbers"},
        {{"d.raw", "-o", "x.png", "--raw-spacing", "1,1"}, "three positive numbers"},
        {{"d.raw", "-o", "x.png", "--raw-header", "-1"}, "byte count"},
        {{"d.raw", "-o", "x.png", "--raw-endian", "middle"}, "little or big"},
        {{"d.raw", "-o", "x.png", "--raw-size", "2x2x2"}, "both --raw-size and --raw-type"},
        {{"d.raw", "-o", "x.png", "--raw-header", "8"}, "both --raw-size and --raw-type"},
    };
    for (const Case& c : cases) {
        RenderOptions o;
        std::string sError;
        EXPECT_EQ(Parse(c.args, o, sError), RENDER_PARSE_ERROR) << c.pExpected;
        EXPECT_NE(sError.find(c.pExpected), std::string::npos)
            << "'" << sError << "' lacks '" << c.pExpected << "'";
        EXPECT_EQ(sError.find('\n'), std::string::npos);
    }
    RenderOptions o;
    std::string sError;
    EXPECT_EQ(Parse({"d.dat", "--help"}, o, sError), RENDER_PARSE_HELP);
    EXPECT_EQ(Parse({"-h"}, o, sError), RENDER_PARSE_HELP);
}

} // namespace
