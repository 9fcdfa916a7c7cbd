// orvex-render end to end: small datasets made here, the program run as a child
// process, and pixels whose values follow by hand from the geometry and the
// transfer function's table.
#include "_Image.h"
#include "_Phantom.h"

#include "ToolTestUtil.h"

#include "transfer/TransferFunction.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using tooltest::Picture;
using tooltest::RunResult;
using tooltest::ScratchDir;

RunResult Render(const std::vector<std::string>& args) {
    return tooltest::RunProgram(ORVEX_RENDER_EXE, args);
}

// A linear table: red 0..1, green half of it, blue a quarter; opacity 0..1.
// With bBlueZero the value 0 is blue instead of black.
void SaveLinearTable(const std::string& sPath, bool bBlueZero = false) {
    CTransferFunction tf(nullptr);
    tf.Clear();
    tf.SetPoint(0, 0.0f, 0.0f, bBlueZero ? 1.0f : 0.0f, 0.0f);
    tf.SetPoint(4095, 1.0f, 0.5f, 0.25f, 1.0f);
    ASSERT_EQ(tf.Save(sPath), 0);
}

// The table that orvex-render builds from such a file.
struct Table {
    CTransferFunction tf{nullptr};
    explicit Table(const std::string& sPath) { EXPECT_EQ(tf.Load(sPath), 0); }
    // The slice view's colour of a value: table colour times 1/255 (double).
    float Slice(int nValue, int c) const {
        const TableEntry& e = tf.Lookup(int16_t(nValue));
        const float f[3] = {e.red, e.green, e.blue};
        return float(f[c] * 0.00392156862745098);
    }
};

// The central ray of a W x H client (W, H even) is the grid point with the
// fractions 1/2, 1/2: pixel (W/2, H/2), direction (0, 0, 1.2). With both angles
// 0 it runs along +z through the voxels (dimX/2, dimY/2, z).

TEST(RenderTool, XRayOfAConstantColumnIsOnePixel) {
    ScratchDir dir;
    // 1 x 1 x 64 voxels of 4095: diag = sqrt(4098), N = 64 samples one step of
    // diag/64 apart, back to front from z = 32 + diag/2 = 64.008: the first sample
    // lies beyond the column, the other 63 inside.
    ASSERT_TRUE(WriteRawDataset(dir.Path("column.dat"), 1, 1, 64, std::vector<int16_t>(64, 4095)));
    const RunResult r = Render({dir.Path("column.dat"), "-o", dir.Path("x.pfm"), "--type", "xray",
                                "--latitude", "0", "--size", "64x48"});
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    // The worker's lines reach stderr: 64 x 48 needs steps 1 to 7 (2 * 64 > 64
    // but not > 128).
    EXPECT_NE(r.sStderr.find("ProgressiveVolumeThread started!\n"), std::string::npos);
    EXPECT_NE(r.sStderr.find("step #7 ready! "), std::string::npos);
    EXPECT_EQ(r.sStderr.find("step #8"), std::string::npos);
    EXPECT_NE(r.sStderr.find("ProgressiveVolumeThread ended!\n"), std::string::npos);

    // The header, and the one lit pixel in the bottom-row-first file layout: image
    // row 24 is file row 48 - 1 - 24 = 23.
    const std::vector<uint8_t> bytes = tooltest::ReadBytes(dir.Path("x.pfm"));
    const std::string sHeader = "PF\n64 48\n-1.0\n";
    ASSERT_EQ(bytes.size(), sHeader.size() + 64 * 48 * 12);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + long(sHeader.size())), sHeader);
    float fStored;
    std::memcpy(&fStored, &bytes[sHeader.size() + 12 * (23 * 64 + 32)], 4);

    double sum = 0.0;
    for (int i = 0; i < 63; ++i)
        sum = sum + 4095 / (64 * 4096.0);
    const float grey = float(sum * 5.0); // 4.92, stored unclamped
    EXPECT_NEAR(fStored, grey, 1e-6);

    const Picture picture = tooltest::ReadPfm(dir.Path("x.pfm"));
    ASSERT_EQ(picture.sError, "");
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const float* p = picture.Float(x, y);
            if (x == 32 && y == 24) {
                EXPECT_NEAR(p[0], grey, 1e-6);
                EXPECT_EQ(p[0], p[1]);
                EXPECT_EQ(p[0], p[2]);
            } else {
                ASSERT_EQ(p[0] + p[1] + p[2], 0.0f) << "pixel " << x << "," << y;
            }
        }
    }

    // PNG clamps the same pixel to white.
    ASSERT_EQ(Render({dir.Path("column.dat"), "-o", dir.Path("x.png"), "--type", "xray",
                      "--latitude", "0", "--size", "64x48"})
                  .nExitCode,
              0);
    const Picture png = tooltest::ReadPng(dir.Path("x.png"));
    ASSERT_EQ(png.sError, "");
    ASSERT_EQ(png.nWidth, 64);
    ASSERT_EQ(png.nHeight, 48);
    EXPECT_EQ(png.Byte(32, 24)[0], 255);
    EXPECT_EQ(png.Byte(32, 23)[0], 0);
    EXPECT_EQ(png.Byte(31, 24)[0], 0);
}

// The default angles (longitude 0, latitude 90) look along +y with +x to the
// right and +z up; longitude 90 then looks along -x.
TEST(RenderTool, DefaultViewShowsXRightAndZUp) {
    ScratchDir dir;
    double sum = 0.0;
    for (int i = 0; i < 63; ++i)
        sum = sum + 4095 / (64 * 4096.0);
    const float grey = float(sum * 5.0);
    auto render = [&](const std::string& sData, std::vector<std::string> extra) {
        std::vector<std::string> args = {sData,    "-o",   dir.Path("v.pfm"), "--type", "xray",
                                         "--size", "64x48"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Render(args);
        EXPECT_EQ(r.nExitCode, 0) << r.sStderr;
        return tooltest::ReadPfm(dir.Path("v.pfm"));
    };
    // A column along y seen end-on: the central pixel sums 63 of its 64 samples,
    // as the column along z does with both angles 0.
    ASSERT_TRUE(WriteRawDataset(dir.Path("y.dat"), 1, 64, 1, std::vector<int16_t>(64, 4095)));
    Picture p = render(dir.Path("y.dat"), {});
    ASSERT_EQ(p.sError, "");
    EXPECT_NEAR(p.Float(32, 24)[0], grey, 1e-6);
    // A rod along x: end-on at longitude 90, across the picture's middle row at 0.
    ASSERT_TRUE(WriteRawDataset(dir.Path("x.dat"), 64, 1, 1, std::vector<int16_t>(64, 4095)));
    p = render(dir.Path("x.dat"), {"--longitude", "90"});
    EXPECT_NEAR(p.Float(32, 24)[0], grey, 1e-6);
    p = render(dir.Path("x.dat"), {});
    int nLit = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (p.Float(x, y)[0] > 0.0f) {
                EXPECT_EQ(y, 24) << x;
                ++nLit;
            }
        }
    }
    EXPECT_GT(nLit, 10);
    // A column along z whose upper half (z >= 32) is filled lights only the rows
    // from the middle (which crosses z = 32) up, in the middle column.
    std::vector<int16_t> upper(64, 0);
    std::fill(upper.begin() + 32, upper.end(), int16_t(4095));
    ASSERT_TRUE(WriteRawDataset(dir.Path("z.dat"), 1, 1, 64, upper));
    p = render(dir.Path("z.dat"), {});
    nLit = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (p.Float(x, y)[0] > 0.0f) {
                EXPECT_EQ(x, 32) << y;
                EXPECT_LE(y, 24) << x;
                ++nLit;
            }
        }
    }
    EXPECT_GT(nLit, 5);
}

// 3 x 3 x 32 voxels with value 100 * z: at the one interior column (1, 1, z) the
// gradient is (0, 0, 100), so the normal is +z, which is L when both angles are 0:
// the shade factor is exactly 1/255. diag = sqrt(1042), N = 32; front to back the
// samples lie at z = -0.14 + 1.0087 i, so sample i falls into voxel i - 1 (i = 1..15).
class FirstHitRamp : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<int16_t> voxels(3 * 3 * 32);
        for (int z = 0; z < 32; ++z)
            for (int i = 0; i < 9; ++i)
                voxels[size_t(z) * 9 + size_t(i)] = int16_t(100 * z);
        ASSERT_TRUE(WriteRawDataset(m_Dir.Path("ramp.dat"), 3, 3, 32, voxels));
        SaveLinearTable(m_Dir.Path("linear.trf"));
    }
    Picture Run(std::vector<std::string> extra, const char* pOut = "f.pfm") {
        std::vector<std::string> args = {m_Dir.Path("ramp.dat"),
                                         "-o",
                                         m_Dir.Path(pOut),
                                         "--tf",
                                         m_Dir.Path("linear.trf"),
                                         "--type",
                                         "firsthit",
                                         "--latitude",
                                         "0",
                                         "--size",
                                         "64x48"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Render(args);
        EXPECT_EQ(r.nExitCode, 0) << r.sStderr;
        return std::string(pOut).ends_with(".png") ? tooltest::ReadPng(m_Dir.Path(pOut))
                                                   : tooltest::ReadPfm(m_Dir.Path(pOut));
    }
    // First Hit colour of a table entry with the shade factor 1/255.
    float Hit(int nValue, int c) { return Table(m_Dir.Path("linear.trf")).Slice(nValue, c); }
    ScratchDir m_Dir;
};

TEST_F(FirstHitRamp, NearestHitsTheFirstVoxelStrictlyInsideTheThresholds) {
    // lower 250: voxel 3 (value 300) is the first above it.
    Picture p = Run({"--sampling", "nearest", "--lower", "250"});
    ASSERT_EQ(p.sError, "");
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(p.Float(32, 24)[c], Hit(300, c), 1e-7) << c;
    EXPECT_GT(p.Float(32, 24)[0], 0.07f);
    // Strict: with lower 300 the voxel of value 300 is passed over, 400 hits.
    p = Run({"--sampling", "nearest", "--lower", "300", "--upper", "500"});
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(p.Float(32, 24)[c], Hit(400, c), 1e-7) << c;
    // An empty window hits nothing.
    p = Run({"--sampling", "nearest", "--lower", "500", "--upper", "500"});
    EXPECT_EQ(p.Float(32, 24)[0], 0.0f);
    // Rays beside the column meet no interior voxel.
    EXPECT_EQ(p.Float(0, 0)[0], 0.0f);
}

TEST_F(FirstHitRamp, TrilinearHitsBetweenVoxels) {
    // The third sample lies at z = 2.886, value 288.6: the first above 250; the
    // table entry is that of 288 (truncated), a step of 255/4095 from its
    // neighbours, far from the nearest-neighbour entry 300.
    const Picture p = Run({"--lower", "250"});
    ASSERT_EQ(p.sError, "");
    EXPECT_NEAR(p.Float(32, 24)[0], Hit(288, 0), 0.0003);
    EXPECT_GT(std::abs(p.Float(32, 24)[0] - Hit(300, 0)), 0.002);
}

TEST_F(FirstHitRamp, PngHoldsThePfmValuesRounded) {
    const Picture pfm = Run({"--sampling", "nearest", "--lower", "1000"}, "a.pfm");
    const Picture png = Run({"--sampling", "nearest", "--lower", "1000"}, "a.png");
    ASSERT_EQ(pfm.sError, "");
    ASSERT_EQ(png.sError, "");
    ASSERT_EQ(png.nWidth, pfm.nWidth);
    ASSERT_EQ(png.nHeight, pfm.nHeight);
    for (int y = 0; y < pfm.nHeight; ++y)
        for (int x = 0; x < pfm.nWidth; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(png.Byte(x, y)[c], ComponentToByte(pfm.Float(x, y)[c]));
    EXPECT_EQ(png.Byte(32, 24)[0], ComponentToByte(Hit(1100, 0)));
}

TEST(RenderTool, LevoyIsBitIdenticalRunAfterRun) {
    ScratchDir dir;
    // A 12 x 10 x 8 volume with structure on every axis.
    std::vector<int16_t> voxels(12 * 10 * 8);
    for (int z = 0; z < 8; ++z)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x)
                voxels[size_t(x + 12 * (y + 10 * z))] = int16_t((x * 37 + y * 91 + z * 53) % 4096);
    ASSERT_TRUE(WriteRawDataset(dir.Path("v.dat"), 12, 10, 8, voxels));
    SaveLinearTable(dir.Path("linear.trf"));
    std::vector<std::vector<uint8_t>> files;
    for (const char* pSampling : {"trilinear", "trilinear", "nearest"}) {
        const std::string sOut =
            dir.Path(std::string("levoy-") + std::to_string(files.size()) + ".pfm");
        const RunResult r =
            Render({dir.Path("v.dat"), "-o", sOut, "--tf", dir.Path("linear.trf"), "--sampling",
                    pSampling, "--size", "40x30", "--longitude", "30", "--latitude", "60"});
        ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
        files.push_back(tooltest::ReadBytes(sOut));
    }
    EXPECT_EQ(files[0], files[1]);
    // Something was composited, and the sampling made a difference.
    const Picture p = tooltest::ReadPfm(dir.Path("levoy-0.pfm"));
    ASSERT_EQ(p.sError, "");
    EXPECT_GT(*std::max_element(p.rgb.begin(), p.rgb.end()), 0.0f);
    EXPECT_NE(files[0], files[2]);

    // Without --tf the table is all zero: every pixel black.
    const RunResult r = Render({dir.Path("v.dat"), "-o", dir.Path("zero.pfm"), "--size", "40x30"});
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    const Picture zero = tooltest::ReadPfm(dir.Path("zero.pfm"));
    ASSERT_EQ(zero.sError, "");
    EXPECT_EQ(*std::max_element(zero.rgb.begin(), zero.rgb.end()), 0.0f);
}

// A rod of 64 x 1 x 1 voxels seen side-on fills the middle row of a 2000 x 1900
// client beyond column 1920; the worker's buffers end there.
TEST(RenderTool, VolumeBeyondTheBuffersStaysBlack) {
    ScratchDir dir;
    ASSERT_TRUE(WriteRawDataset(dir.Path("rod.dat"), 64, 1, 1, std::vector<int16_t>(64, 4095)));
    const RunResult r = Render({dir.Path("rod.dat"), "-o", dir.Path("rod.png"), "--type", "xray",
                                "--latitude", "0", "--size", "2000x1900"});
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    const Picture p = tooltest::ReadPng(dir.Path("rod.png"));
    ASSERT_EQ(p.sError, "");
    ASSERT_EQ(p.nWidth, 2000);
    ASSERT_EQ(p.nHeight, 1900);
    // Row 950 is the central row (fraction 1/2). Computed columns up to 1919 show
    // the rod, columns from 1920 on are never computed.
    int nLitNearEdge = 0;
    for (int x = 1880; x < 1920; ++x)
        nLitNearEdge += p.Byte(x, 950)[0] > 0;
    EXPECT_GT(nLitNearEdge, 0);
    for (int x = 1920; x < 2000; ++x)
        ASSERT_EQ(p.Byte(x, 950)[0], 0) << x;
    for (int y = 1440; y < 1900; ++y)
        ASSERT_EQ(p.Byte(1000, y)[0], 0) << y;
}

// Slices: each point at GL (x, ys) lands on pixel (x, H - 1 - ys).
class SliceModes : public ::testing::Test {
protected:
    void SetUp() override {
        // 4 x 2 x 3 voxels, value 100 * (1 + x + 4 y) + 1000 z.
        std::vector<int16_t> voxels(4 * 2 * 3);
        for (int z = 0; z < 3; ++z)
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 4; ++x)
                    voxels[size_t(x + 4 * (y + 2 * z))] = int16_t(Value(x, y, z));
        ASSERT_TRUE(WriteRawDataset(m_Dir.Path("s.dat"), 4, 2, 3, voxels));
        SaveLinearTable(m_Dir.Path("blue0.trf"), true);
    }
    static int Value(int x, int y, int z) { return 100 * (1 + x + 4 * y) + 1000 * z; }
    Picture Run(std::vector<std::string> extra) {
        std::vector<std::string> args = {m_Dir.Path("s.dat"),
                                         "-o",
                                         m_Dir.Path("s.pfm"),
                                         "--tf",
                                         m_Dir.Path("blue0.trf"),
                                         "--mode",
                                         "slice"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Render(args);
        EXPECT_EQ(r.nExitCode, 0) << r.sStderr;
        // Slices involve no worker: nothing on stderr.
        EXPECT_EQ(r.sStderr, "");
        return tooltest::ReadPfm(m_Dir.Path("s.pfm"));
    }
    void ExpectPixel(const Picture& p, int x, int y, int nValue) {
        const Table table(m_Dir.Path("blue0.trf"));
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(p.Float(x, y)[c], table.Slice(nValue, c))
                << "pixel " << x << "," << y << " value " << nValue;
    }
    void ExpectBlack(const Picture& p, int x, int y) {
        EXPECT_EQ(p.Float(x, y)[0] + p.Float(x, y)[1] + p.Float(x, y)[2], 0.0f)
            << "pixel " << x << "," << y;
    }
    ScratchDir m_Dir;
};

TEST_F(SliceModes, XYFillsTheHeightTwoPixelsPerVoxel) {
    // 4 x 2 into 8 x 4: both aspects 2, du = dv = 0.5; columns 0..8 (8 falls
    // outside), rows 0..3 from the bottom.
    const Picture p = Run({"--plane", "xy", "--slice", "1", "--size", "8x4"});
    ASSERT_EQ(p.sError, "");
    ASSERT_EQ(p.nWidth, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            ExpectPixel(p, x, y, Value(x / 2, (3 - y) / 2, 1));
}

TEST_F(SliceModes, XYWiderThanTheWindowIsCentredWithBands) {
    // 4 x 2 into 8 x 8: the width branch, du = dv = 0.5, rows y0 = 2 .. y1 = 6.
    // The fifth row samples v = 2.0, outside the slice: value 0 (blue here).
    const Picture p = Run({"--plane", "xy", "--slice", "0", "--size", "8x8"});
    ASSERT_EQ(p.sError, "");
    for (int x = 0; x < 8; ++x) {
        ExpectBlack(p, x, 0);
        ExpectPixel(p, x, 1, 0);
        ExpectPixel(p, x, 2, Value(x / 2, 1, 0)); // GL row 5, v = 1.5
        ExpectPixel(p, x, 3, Value(x / 2, 1, 0)); // GL row 4, v = 1.0
        ExpectPixel(p, x, 4, Value(x / 2, 0, 0));
        ExpectPixel(p, x, 5, Value(x / 2, 0, 0)); // GL row 2, v = 0
        ExpectBlack(p, x, 6);
        ExpectBlack(p, x, 7);
    }
}

TEST_F(SliceModes, XZBilinearInterpolatesAlongTheRowOnly) {
    // XZ slice y = 1 is 4 x 3 voxels; into 8 x 6: du = dv = 0.5. Along x the
    // samples at u = k / 2 mix neighbours (the one beyond the edge counts 0);
    // vertically v is truncated, so rows repeat in pairs.
    const Picture p =
        Run({"--plane", "xz", "--slice", "1", "--size", "8x6", "--sampling", "bilinear"});
    ASSERT_EQ(p.sError, "");
    for (int y = 0; y < 6; ++y) {
        const int z = (5 - y) / 2;
        for (int x = 0; x < 8; ++x) {
            const int n = x / 2;
            const int a = Value(n, 1, z);
            const int b = n + 1 < 4 ? Value(n + 1, 1, z) : 0;
            ExpectPixel(p, x, y, x % 2 ? (a + b) / 2 : a);
        }
    }
    // Nearest neighbour repeats each voxel.
    const Picture q = Run({"--plane", "xz", "--slice", "1", "--size", "8x6"});
    ExpectPixel(q, 1, 5, Value(0, 1, 0));
    ExpectPixel(q, 7, 0, Value(3, 1, 2));
}

TEST_F(SliceModes, YZAndSlicesOutsideTheVolume) {
    // YZ slice x = 3 is 2 x 3 voxels (y across, z up); into 4 x 6: du = dv = 0.5.
    const Picture p = Run({"--plane", "yz", "--slice", "3", "--size", "4x6"});
    ASSERT_EQ(p.sError, "");
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x)
            ExpectPixel(p, x, y, Value(3, x / 2, (5 - y) / 2));
    // A slice number beyond the volume samples 0 everywhere in the fitted area.
    for (const char* pSampling : {"nearest", "bilinear"}) {
        const Picture q =
            Run({"--plane", "yz", "--slice", "4", "--size", "4x6", "--sampling", pSampling});
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 4; ++x)
                ExpectPixel(q, x, y, 0);
    }
}

// Failures: one line on stderr naming the problem, a non-zero exit, no file.
class RenderErrors : public ::testing::Test {
protected:
    void ExpectFailure(const std::vector<std::string>& args, const char* pMessage) {
        const RunResult r = Render(args);
        EXPECT_NE(r.nExitCode, 0) << pMessage;
        EXPECT_EQ(r.sStderr.rfind("orvex-render: ", 0), 0u) << r.sStderr;
        EXPECT_EQ(std::count(r.sStderr.begin(), r.sStderr.end(), '\n'), 1) << r.sStderr;
        EXPECT_NE(r.sStderr.find(pMessage), std::string::npos) << r.sStderr;
        EXPECT_FALSE(std::filesystem::exists(m_Dir.Path("out.png")));
    }
    std::string Out() { return m_Dir.Path("out.png"); }
    ScratchDir m_Dir;
};

TEST_F(RenderErrors, UnreadableDatasets) {
    ExpectFailure({m_Dir.Path("missing.dat"), "-o", Out()}, "cannot be opened");
    // Header 4 x 4 x 4 but only ten voxels.
    std::vector<uint8_t> bytes = {4, 0, 4, 0, 4, 0};
    bytes.resize(6 + 20, 7);
    tooltest::WriteBytes(m_Dir.Path("short.dat"), bytes);
    ExpectFailure({m_Dir.Path("short.dat"), "-o", Out()}, "too short");
    // Garbage: a negative dimension, and a file shorter than the header.
    tooltest::WriteBytes(m_Dir.Path("garbage.dat"), {0xfd, 0xff, 0x10, 0x00, 0x41, 0x42, 1, 2});
    ExpectFailure({m_Dir.Path("garbage.dat"), "-o", Out()}, "invalid header");
    tooltest::WriteBytes(m_Dir.Path("stub.dat"), {2, 0, 2});
    ExpectFailure({m_Dir.Path("stub.dat"), "-o", Out(), "--mode", "slice"}, "invalid header");
    tooltest::WriteBytes(m_Dir.Path("empty.dat"), {});
    ExpectFailure({m_Dir.Path("empty.dat"), "-o", Out()}, "empty.dat");
}

TEST_F(RenderErrors, OversizedDatasetRendersItsVoxels) {
    // Bytes after the voxels are not read.
    ASSERT_TRUE(WriteRawDataset(m_Dir.Path("a.dat"), 1, 1, 64, std::vector<int16_t>(64, 4095)));
    std::vector<uint8_t> bytes = tooltest::ReadBytes(m_Dir.Path("a.dat"));
    bytes.resize(bytes.size() + 1000, 0xab);
    tooltest::WriteBytes(m_Dir.Path("long.dat"), bytes);
    const RunResult r = Render({m_Dir.Path("long.dat"), "-o", m_Dir.Path("a.pfm"), "--type", "xray",
                                "--latitude", "0", "--size", "64x48"});
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    const Picture p = tooltest::ReadPfm(m_Dir.Path("a.pfm"));
    ASSERT_EQ(p.sError, "");
    EXPECT_GT(p.Float(32, 24)[0], 4.9f);
}

TEST_F(RenderErrors, BadOptionsAndFiles) {
    ASSERT_TRUE(WriteRawDataset(m_Dir.Path("a.dat"), 2, 2, 2, std::vector<int16_t>(8, 100)));
    const std::string sData = m_Dir.Path("a.dat");
    ExpectFailure({sData, "-o", Out(), "--size", "0x448"}, "--size");
    ExpectFailure({sData, "-o", Out(), "--size", "640x"}, "--size");
    ExpectFailure({sData, "-o", Out(), "--type", "mip"}, "--type");
    ExpectFailure({sData, "-o", Out(), "--frobnicate"}, "unknown option");
    ExpectFailure({sData, "-o", Out(), "--sampling", "bilinear"}, "volume sampling");
    ExpectFailure({sData}, "no output file");
    ExpectFailure({sData, "-o", m_Dir.Path("out.bmp")}, ".pfm or .png");
    ExpectFailure({sData, "-o", Out(), "--tf", m_Dir.Path("missing.trf")}, "missing.trf");
    ExpectFailure({sData, "-o", m_Dir.Path("no/such/dir/out.png")}, "cannot write");

    const RunResult help = Render({"--help"});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_NE(help.sStdout.find("usage: orvex-render DATASET.dat -o OUT.(pfm|png)"),
              std::string::npos);
    EXPECT_EQ(help.sStderr, "");
}

} // namespace
