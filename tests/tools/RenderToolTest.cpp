// orvex-render end to end: small datasets made here, the program run as a child
// process, and pixels whose values follow by hand from the geometry and the
// transfer function's table.
#include "_Image.h"
#include "_Phantom.h"

#include "ToolTestUtil.h"

#include "transfer/TransferFunction.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <utility>

namespace {

using namespace tooltest;
using Args = std::vector<std::string>;

RunResult Render(const Args& args) {
    return RunProgram(ORVEX_RENDER_EXE, args);
}

// Renders and decodes the file named after "-o", expecting success.
Picture RenderPicture(const Args& args) {
    const RunResult r = Render(args);
    EXPECT_EQ(r.nExitCode, 0) << r.sStderr;
    return ReadPicture(*(std::find(args.begin(), args.end(), "-o") + 1));
}

// The pixels with some red, as (x, y).
std::vector<std::pair<int, int>> Lit(const Picture& p) {
    std::vector<std::pair<int, int>> lit;
    for (int y = 0; y < p.nHeight; ++y)
        for (int x = 0; x < p.nWidth; ++x)
            if (p.rgb.empty() ? p.Byte(x, y)[0] > 0 : p.Float(x, y)[0] > 0.0f)
                lit.emplace_back(x, y);
    return lit;
}

// The X-Ray grey of a rod of 4095s, 64 voxels long, seen end-on at 64 x 48: 63
// of its 64 samples fall inside (the first lies just beyond it), each adding
// 4095 / (64 * 4096); the sum times 5 is 4.92, stored unclamped.
float RodGrey() {
    double sum = 0.0;
    for (int i = 0; i < 63; ++i)
        sum = sum + 4095 / (64 * 4096.0);
    return float(sum * 5.0);
}

// A linear table: red 0..1, green half of it, blue a quarter; opacity 0..1.
// With bBlueZero the value 0 is blue instead of black.
std::string SaveLinearTable(const ScratchDir& dir, bool bBlueZero = false) {
    CTransferFunction tf(nullptr);
    tf.Clear();
    tf.SetPoint(0, 0.0f, 0.0f, bBlueZero ? 1.0f : 0.0f, 0.0f);
    tf.SetPoint(4095, 1.0f, 0.5f, 0.25f, 1.0f);
    EXPECT_EQ(tf.Save(dir.Path("linear.trf")), 0);
    return dir.Path("linear.trf");
}

// The slice view's colour of a value: table colour times 1/255 (double); also
// the First Hit colour where the shade factor is exactly 1/255.
float SliceColour(const std::string& sTable, int nValue, int c) {
    CTransferFunction tf(nullptr);
    EXPECT_EQ(tf.Load(sTable), 0);
    const TableEntry& e = tf.Lookup(int16_t(nValue));
    return float((c == 0 ? e.red : c == 1 ? e.green : e.blue) * 0.00392156862745098);
}

// ---------------------------------------------------------------- volume mode

TEST(RenderTool, XRayOfAnEndOnRodIsOnePixelInBothFormats) {
    // With both angles 0 the central ray (pixel W/2, H/2) runs along +z through
    // the voxels (dimX/2, dimY/2, z).
    ScratchDir dir;
    const std::string sRod =
        dir.Write("rod.dat", testfiles::RawBytes(1, 1, 64, std::vector<int16_t>(64, 4095)));
    auto xray = [&](const std::string& sData, const char* pOut, const char* pLatitude = "0") {
        return Render({sData, "-o", dir.Path(pOut), "--type", "xray", "--latitude", pLatitude,
                       "--size", "64x48"});
    };
    const RunResult r = xray(sRod, "x.pfm");
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    // The worker's lines reach stderr: 64 x 48 needs steps 1 to 7.
    EXPECT_NE(r.sStderr.find("ProgressiveVolumeThread started!\n"), std::string::npos);
    EXPECT_NE(r.sStderr.find("step #7 ready! "), std::string::npos);
    EXPECT_EQ(r.sStderr.find("step #8"), std::string::npos);
    EXPECT_NE(r.sStderr.find("ProgressiveVolumeThread ended!\n"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.Path("x.pfm")).substr(0, 13), "PF\n64 48\n-1.0");
    const Picture p = ReadPfm(dir.Path("x.pfm"));
    ASSERT_EQ(p.sError, "");
    ASSERT_EQ(Lit(p), (std::vector<std::pair<int, int>>{{32, 24}}));
    EXPECT_NEAR(p.Float(32, 24)[0], RodGrey(), 1e-6);
    // Grey, and nothing else anywhere.
    EXPECT_EQ(std::accumulate(p.rgb.begin(), p.rgb.end(), 0.0f), 3 * p.Float(32, 24)[0]);
    EXPECT_EQ(p.Float(32, 24)[1], p.Float(32, 24)[0]);

    // PNG clamps the same pixel to white.
    ASSERT_EQ(xray(sRod, "x.png").nExitCode, 0);
    const Picture q = ReadPng(dir.Path("x.png"));
    ASSERT_EQ(q.sError, "");
    ASSERT_EQ(q.nWidth, 64);
    ASSERT_EQ(q.nHeight, 48);
    EXPECT_EQ(Lit(q), (std::vector<std::pair<int, int>>{{32, 24}}));
    EXPECT_EQ(q.Byte(32, 24)[0], 255);

    // Bytes after the voxels are not read.
    ASSERT_EQ(
        xray(dir.Write("long.dat", ReadFile(sRod) + std::string(1000, '\xab')), "l.pfm").nExitCode,
        0);
    EXPECT_EQ(ReadPfm(dir.Path("l.pfm")).rgb, p.rgb);

    // Row 0 is the window's top row: the default angles look along +y with +z
    // up, so a rod whose upper half (z >= 32) is filled lights only the middle
    // column from the middle row (which crosses z = 32) up.
    std::vector<int16_t> upper(64, 0);
    std::fill(upper.begin() + 32, upper.end(), int16_t(4095));
    ASSERT_EQ(
        xray(dir.Write("z.dat", testfiles::RawBytes(1, 1, 64, upper)), "z.pfm", "90").nExitCode, 0);
    const auto column = Lit(ReadPfm(dir.Path("z.pfm")));
    EXPECT_GT(column.size(), 5u);
    for (auto [x, y] : column) {
        EXPECT_EQ(x, 32) << y;
        EXPECT_LE(y, 24) << x;
    }
}

// 3 x 3 x 32 voxels with value 100 * z: at the one interior column (1, 1, z) the
// gradient is (0, 0, 100), so the normal is +z, which is L when both angles are 0:
// the shade factor is exactly 1/255. diag = sqrt(1042), N = 32; front to back the
// samples lie at z = -0.14 + 1.0087 i, so sample i falls into voxel i - 1.
TEST(RenderTool, FirstHitMeetsTheFirstSampleStrictlyInsideTheThresholds) {
    ScratchDir dir;
    std::vector<int16_t> voxels(3 * 3 * 32);
    for (size_t i = 0; i < voxels.size(); ++i)
        voxels[i] = int16_t(100 * (i / 9));
    ASSERT_TRUE(WriteRawDataset(dir.Path("ramp.dat"), 3, 3, 32, voxels));
    const std::string sTable = SaveLinearTable(dir);
    auto run = [&](Args extra, const char* pOut = "f.pfm") {
        extra.insert(extra.end(), {dir.Path("ramp.dat"), "-o", dir.Path(pOut), "--tf", sTable,
                                   "--type", "firsthit", "--latitude", "0", "--size", "64x48"});
        return RenderPicture(extra);
    };
    auto expectHit = [&](const Picture& p, int nValue) {
        ASSERT_EQ(p.sError, "");
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(p.Float(32, 24)[c], SliceColour(sTable, nValue, c), 1e-7) << nValue;
    };
    // Nearest neighbour: voxel 3 (value 300) is the first above 250; with lower
    // 300 that voxel is passed over and 400 hits; an empty window hits nothing.
    expectHit(run({"--sampling", "nearest", "--lower", "250"}), 300);
    expectHit(run({"--sampling", "nearest", "--lower", "300", "--upper", "500"}), 400);
    const Picture none = run({"--sampling", "nearest", "--lower", "500", "--upper", "500"});
    EXPECT_TRUE(Lit(none).empty());

    // Trilinear: the third sample lies at z = 2.886, value 288.6, the first above
    // 250; its table entry is that of 288 (truncated), far from voxel 300's.
    const Picture tri = run({"--lower", "250"});
    EXPECT_NEAR(tri.Float(32, 24)[0], SliceColour(sTable, 288, 0), 0.0003);
    EXPECT_GT(std::abs(tri.Float(32, 24)[0] - SliceColour(sTable, 300, 0)), 0.002);

    // The PNG holds the PFM's values rounded.
    const Picture pfm = run({"--sampling", "nearest", "--lower", "1000"}, "a.pfm");
    const Picture png = run({"--sampling", "nearest", "--lower", "1000"}, "a.png");
    ASSERT_EQ(png.sError, "");
    ASSERT_EQ(png.bytes.size(), pfm.rgb.size());
    for (size_t i = 0; i < pfm.rgb.size(); ++i)
        ASSERT_EQ(png.bytes[i], ComponentToByte(pfm.rgb[i])) << i;
    EXPECT_EQ(png.Byte(32, 24)[0], ComponentToByte(SliceColour(sTable, 1100, 0)));
}

TEST(RenderTool, LevoyIsBitIdenticalRunAfterRun) {
    ScratchDir dir;
    // A 12 x 10 x 8 volume with structure on every axis.
    std::vector<int16_t> voxels(12 * 10 * 8);
    for (size_t i = 0; i < voxels.size(); ++i)
        voxels[i] = int16_t((i % 12 * 37 + i / 12 % 10 * 91 + i / 120 * 53) % 4096);
    ASSERT_TRUE(WriteRawDataset(dir.Path("v.dat"), 12, 10, 8, voxels));
    const std::string sTable = SaveLinearTable(dir);
    std::vector<std::string> files;
    for (const char* pSampling : {"trilinear", "trilinear", "nearest"}) {
        const std::string sOut = dir.Path("levoy" + std::to_string(files.size()) + ".pfm");
        RenderPicture({dir.Path("v.dat"), "-o", sOut, "--tf", sTable, "--sampling", pSampling,
                       "--size", "40x30", "--longitude", "30", "--latitude", "60"});
        files.push_back(ReadFile(sOut));
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_NE(files[0], files[2]); // the sampling makes a difference
    EXPECT_FALSE(Lit(ReadPfm(dir.Path("levoy0.pfm"))).empty());

    // Without --tf the table is all zero: every pixel black.
    const Picture zero =
        RenderPicture({dir.Path("v.dat"), "-o", dir.Path("z.pfm"), "--size", "40x30"});
    ASSERT_EQ(zero.sError, "");
    EXPECT_EQ(*std::max_element(zero.rgb.begin(), zero.rgb.end()), 0.0f);
}

TEST(RenderTool, VolumeBeyondTheBuffersStaysBlack) {
    // A rod along x seen side-on fills the middle row (950) of a 2000 x 1900
    // client beyond column 1920, where the worker's buffers end.
    ScratchDir dir;
    const std::string sRod =
        dir.Write("rod.dat", testfiles::RawBytes(64, 1, 1, std::vector<int16_t>(64, 4095)));
    const Picture p = RenderPicture({sRod, "-o", dir.Path("rod.png"), "--type", "xray",
                                     "--latitude", "0", "--size", "2000x1900"});
    ASSERT_EQ(p.sError, "");
    ASSERT_EQ(p.nWidth, 2000);
    ASSERT_EQ(p.nHeight, 1900);
    const auto lit = Lit(p);
    EXPECT_TRUE(std::any_of(lit.begin(), lit.end(), [](auto xy) { return xy.first >= 1880; }));
    for (auto [x, y] : lit)
        ASSERT_TRUE(x < 1920 && y < 1440) << x << "," << y;
}

// ---------------------------------------------------------------- slice mode

// 4 x 2 x 3 voxels, value 100 * (1 + x + 4 y) + 1000 z.
int SliceValue(int x, int y, int z) {
    return 100 * (1 + x + 4 * y) + 1000 * z;
}

TEST(RenderTool, SlicesFitTheWindowInEveryPlane) {
    ScratchDir dir;
    std::vector<int16_t> voxels(4 * 2 * 3);
    for (int i = 0; i < 24; ++i)
        voxels[size_t(i)] = int16_t(SliceValue(i % 4, i / 4 % 2, i / 8));
    ASSERT_TRUE(WriteRawDataset(dir.Path("s.dat"), 4, 2, 3, voxels));
    // Value 0 is blue, so that the fitted area shows apart from the undrawn bands.
    const std::string sTable = SaveLinearTable(dir, true);
    auto V = SliceValue;
    const struct {
        Args options;
        std::function<int(int x, int y)> value; // at pixel (x, y); -1: not drawn
    } cases[] = {
        // 4 x 2 into 8 x 4: both aspects 2, du = dv = 0.5; column 8 falls outside,
        // rows count from the bottom.
        {{"--plane", "xy", "--slice", "1", "--size", "8x4"},
         [=](int x, int y) { return V(x / 2, (3 - y) / 2, 1); }},
        // 4 x 2 into 8 x 8: the width branch, rows y0 = 2 .. y1 = 6 from the bottom;
        // the fifth row samples v = 2.0, outside the slice: value 0.
        {{"--plane", "xy", "--slice", "0", "--size", "8x8"},
         [=](int x, int y) { return y == 0 || y >= 6 ? -1
                                    : y == 1         ? 0
                                                     : V(x / 2, y < 4, 0); }},
        // XZ slice y = 1 into 8 x 6. Bilinear mixes neighbours along x at u = k / 2
        // (the one beyond the edge counts 0); v is truncated, so rows repeat in pairs.
        {{"--plane", "xz", "--slice", "1", "--size", "8x6", "--sampling", "bilinear"},
         [=](int x, int y) {
             const int n = x / 2, z = (5 - y) / 2, a = V(n, 1, z);
             return x % 2 ? (a + (n < 3 ? V(n + 1, 1, z) : 0)) / 2 : a;
         }},
        // YZ slice x = 3: y across, z up.
        {{"--plane", "yz", "--slice", "3", "--size", "4x6"},
         [=](int x, int y) { return V(3, x / 2, (5 - y) / 2); }},
        // A slice number beyond the volume samples 0 everywhere in the fitted area.
        {{"--plane", "yz", "--slice", "4", "--size", "4x6", "--sampling", "bilinear"},
         [](int, int) { return 0; }},
    };
    for (const auto& c : cases) {
        Args args = c.options;
        args.insert(args.end(), {dir.Path("s.dat"), "-o", dir.Path("s.pfm"), "--tf", sTable,
                                 "--mode", "slice"});
        SCOPED_TRACE(::testing::PrintToString(args));
        const RunResult r = Render(args);
        ASSERT_EQ(r.nExitCode, 0);
        EXPECT_EQ(r.sStderr, ""); // slices involve no worker
        const Picture p = ReadPfm(dir.Path("s.pfm"));
        ASSERT_EQ(p.sError, "");
        for (int y = 0; y < p.nHeight; ++y)
            for (int x = 0; x < p.nWidth; ++x)
                for (int k = 0; k < 3; ++k) {
                    const int nValue = c.value(x, y);
                    EXPECT_EQ(p.Float(x, y)[k], nValue < 0 ? 0.0f : SliceColour(sTable, nValue, k))
                        << "pixel " << x << "," << y << " value " << nValue;
                }
    }
}

// ---------------------------------------------------------------- failures

TEST(RenderTool, FailuresPrintOneLineExitNonZeroAndWriteNothing) {
    ScratchDir dir;
    const std::string sOut = dir.Path("out.png");
    auto file = [&](const char* pName, const std::string& sBytes) {
        return dir.Write(pName, sBytes);
    };
    std::filesystem::create_directory(dir.Path("folder.png"));
    const std::string sGood =
        dir.Write("a.dat", testfiles::RawBytes(2, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
    const struct {
        Args args;
        const char* pMessage;
    } cases[] = {
        {{dir.Path("missing.dat"), "-o", sOut}, "cannot be opened"},
        // Header 4 x 4 x 4 but only ten voxels.
        {{file("short.dat", testfiles::RawBytes(4, 4, 4, std::vector<int16_t>(10, 7))), "-o", sOut},
         "too short"},
        // Garbage: a negative dimension, and a file shorter than the header.
        {{file("garbage.dat", std::string("\xfd\xff\x10\x00\x41\x42\x01\x02", 8)), "-o", sOut},
         "invalid header"},
        {{file("stub.dat", std::string("\x02\x00\x02", 3)), "-o", sOut, "--mode", "slice"},
         "invalid header"},
        {{file("empty.dat", ""), "-o", sOut}, "empty.dat"},
        {{sGood, "-o", sOut, "--size", "0x448"}, "--size"},
        {{sGood, "-o", sOut, "--frobnicate"}, "unknown option"},
        {{sGood, "-o", dir.Path("out.bmp")}, ".pfm or .png"},
        {{sGood, "-o", sOut, "--tf", dir.Path("missing.trf")}, "missing.trf"},
        {{sGood, "-o", dir.Path("no/such/dir/out.png")}, "no folder"},
        {{sGood, "-o", dir.Path("folder.png")}, "it is a folder"},
        {{sGood, "-o", sOut, "--raw-size", "2x2x3", "--raw-type", "int16"}, "make 24"},
        {{file("notes.txt", "Dear diary"), "-o", sOut}, "needs its size and value type"},
        // MetaIO would add lines of its own about the missing bytes.
        {{file("cut.mha", "NDims = 3\nDimSize = 2 2 2\nElementType = MET_SHORT\n"
                          "ElementDataFile = LOCAL\n" +
                              std::string(10, '\1')),
          "-o", sOut},
         "cut short"},
    };
    for (const auto& c : cases) {
        const RunResult r = Render(c.args);
        EXPECT_NE(r.nExitCode, 0) << c.pMessage;
        EXPECT_EQ(r.sStderr.rfind("orvex-render: ", 0), 0u) << r.sStderr;
        EXPECT_EQ(std::count(r.sStderr.begin(), r.sStderr.end(), '\n'), 1) << r.sStderr;
        EXPECT_NE(r.sStderr.find(c.pMessage), std::string::npos) << r.sStderr;
        EXPECT_FALSE(std::filesystem::exists(sOut)) << c.pMessage;
    }

    // A write that fails half-way (here: beyond the file size limit) keeps the
    // old picture and leaves no temporary file.
    const std::string sOld = dir.Write("old.pfm", "old");
    const Args slice = {sGood, "-o", sOld, "--mode", "slice", "--size", "64x48"};
    auto files = [&] { return std::distance(std::filesystem::directory_iterator(dir.Path()), {}); };
    const auto nFiles = files();
    RunResult failed;
    {
        testfiles::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.m_bActive);
        failed = Render(slice);
    }
    EXPECT_NE(failed.nExitCode, 0);
    EXPECT_NE(failed.sStderr.find("cannot write"), std::string::npos) << failed.sStderr;
    EXPECT_EQ(ReadFile(sOld), "old");
    EXPECT_EQ(files(), nFiles);
    EXPECT_EQ(Render(slice).nExitCode, 0);
    EXPECT_EQ(ReadPfm(sOld).nWidth, 64);

    const RunResult help = Render({"--help"});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_NE(help.sStdout.find("usage: orvex-render DATASET -o OUT.(pfm|png)"), std::string::npos);
    EXPECT_EQ(help.sStderr, "");
}

} // namespace
