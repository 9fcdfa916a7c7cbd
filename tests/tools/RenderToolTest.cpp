// orvex-render end to end: small datasets made here, the program run as a child
// process, and pixels whose values follow by hand from the geometry. The table
// of most cases rises linearly in red from 0 at value 0 to 1 at 4095, so that
// red times 4095 names the value a pixel shows.
#include "ToolTestUtil.h"

#include "headless/Headless.h"
#include "render/Orientation.h"
#include "transfer/TransferFunction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
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

// The linear table (blue 1 at value 0, so that a drawn 0 is not black).
std::string SaveLinearTable(const ScratchDir& dir) {
    CTransferFunction tf;
    tf.SetPoint(0, 0.0f, 0.0f, 1.0f, 0.0f);
    tf.SetPoint(4095, 1.0f, 0.5f, 0.25f, 1.0f);
    EXPECT_EQ(tf.Save(dir.Path("linear.trf")), 0);
    return dir.Path("linear.trf");
}

// The value a pixel of a picture in the linear table shows; -1 where nothing
// is drawn (black).
int ValueAt(const Picture& p, int x, int y) {
    const float* c = p.Float(x, y);
    return c[0] == 0 && c[1] == 0 && c[2] == 0 ? -1 : static_cast<int>(std::lround(c[0] * 4095));
}

// ---------------------------------------------------------------- volume mode

TEST(RenderTool, XRayOfAnEndOnRodIsOnePixelInBothFormats) {
    // With both angles 0 the central ray (pixel W/2, H/2) runs along +z through
    // the voxels (dimX/2, dimY/2, z): 63 of its 64 samples fall inside the rod of
    // 4095s (the first lies just beyond it), each adding 4095 / (64 * 4096); the
    // sum times 5 is stored unclamped.
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
    EXPECT_EQ(r.sStderr.find(testfiles::kStarted), 0u);
    EXPECT_NE(r.sStderr.find("step #7 ready! "), std::string::npos);
    EXPECT_EQ(r.sStderr.find("step #8"), std::string::npos);
    EXPECT_NE(r.sStderr.find(testfiles::kEnded), std::string::npos);
    const Picture p = ReadPfm(dir.Path("x.pfm"));
    ASSERT_EQ(p.sError, "");
    ASSERT_EQ(Lit(p), (std::vector<std::pair<int, int>>{{32, 24}}));
    EXPECT_EQ(p.Float(32, 24)[0], 5.0f * 63 * 4095 / (64 * 4096));
    EXPECT_EQ(p.Float(32, 24)[2], p.Float(32, 24)[0]); // grey

    // PNG clamps the same pixel to white. Bytes after the voxels are not read.
    const Picture q = RenderPicture(
        {sRod, "-o", dir.Path("x.png"), "--type", "xray", "--latitude", "0", "--size", "64x48"});
    ASSERT_EQ(q.sError, "");
    EXPECT_EQ(Lit(q), (std::vector<std::pair<int, int>>{{32, 24}}));
    EXPECT_EQ(q.Byte(32, 24)[1], 255);
    ASSERT_EQ(xray(dir.Write("long.dat", ReadFile(sRod) + "\xab\xab"), "l.pfm").nExitCode, 0);
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
    for (auto [x, y] : column)
        EXPECT_TRUE(x == 32 && y <= 24) << x << "," << y;
}

TEST(RenderTool, FirstHitMipAndMinIpReadTheSamplesStrictlyInsideTheThresholds) {
    // 3 x 3 x 32 voxels with value 100 z: at the one interior column (1, 1, z)
    // the gradient is (0, 0, 100), so the normal is +z, which is the light when
    // both angles are 0: the table colour is shown unshaded. diag = sqrt(1042),
    // N = 32; front to back the samples lie at z = -0.14 + 1.0087 i, so sample i
    // falls into voxel i - 1.
    ScratchDir dir;
    const std::string sRamp = dir.Write(
        "ramp.dat", testfiles::FieldBytes(3, 3, 32, [](int, int, int z) { return 100 * z; }));
    const std::string sTable = SaveLinearTable(dir);
    auto run = [&](Args extra, const char* pType = "firsthit") {
        extra.insert(extra.end(), {sRamp, "-o", dir.Path("f.pfm"), "--tf", sTable, "--type", pType,
                                   "--latitude", "0", "--size", "64x48"});
        return ValueAt(RenderPicture(extra), 32, 24);
    };
    // Nearest neighbour: voxel 3 (value 300) is the first above 250; with lower
    // 300 that voxel is passed over and 400 hits; an empty window hits nothing.
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "250"}), 300);
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "300", "--upper", "500"}), 400);
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "500", "--upper", "500"}), -1);
    // Trilinear: the third sample lies at z = 2.886, value 288.6, the first above
    // 250; its table entry is that of 288 (truncated).
    EXPECT_EQ(run({"--lower", "250"}), 288);
    // The same file read as a scan (bare RAW) fills 0..4095 and takes its
    // thresholds in its own units: 250 still passes over voxel 2 (200) to hit
    // voxel 3 (300, stored as 396). A RAW dataset refuses one beyond 4095.
    EXPECT_EQ(run({"--raw-size", "3x3x32", "--raw-type", "int16", "--raw-header", "6", "--sampling",
                   "nearest", "--lower", "250"}),
              396);
    // MIP, grey value / 4095: the last inside sample, z = 30.12, voxel 30 or
    // 3012.25. MinIP: the first sample above the lower threshold, voxel 1 (100)
    // or 3 (300); trilinear only where its whole cell is above it: not z = 2.886
    // (cell 2..3 reaches down to 200) but z = 3.895 (389.5), and nothing
    // below the upper threshold is black.
    EXPECT_EQ(run({"--sampling", "nearest"}, "mip"), 3000);
    EXPECT_EQ(run({}, "mip"), 3012);
    EXPECT_EQ(run({"--sampling", "nearest"}, "minip"), 100);
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "250"}, "minip"), 300);
    EXPECT_EQ(run({"--lower", "250"}, "minip"), 389);
    EXPECT_EQ(run({"--upper", "100"}, "minip"), -1);
    const RunResult refused = Render({sRamp, "-o", dir.Path("f.pfm"), "--lower", "4096"});
    EXPECT_NE(refused.nExitCode, 0);
    // A crop box from z 5 on leaves the voxels in front of it out: the first
    // sample beyond its face, in voxel 5, hits. The whole grid given as a box
    // changes nothing; a box beyond the grid is refused.
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "250", "--crop", "0,2,0,2,5,31"}), 500);
    EXPECT_EQ(run({"--sampling", "nearest", "--lower", "250", "--crop", "0,2,0,2,0,31"}), 300);
    EXPECT_NE(Render({sRamp, "-o", dir.Path("f.pfm"), "--crop", "0,2,0,2,0,32"}).nExitCode, 0);
    EXPECT_NE(refused.sStderr.find("0..4095"), std::string::npos) << refused.sStderr;
}

TEST(RenderTool, TurntableFrameKIsThePictureAtItsLongitude) {
    ScratchDir dir;
    const std::string sBlock =
        dir.Write("block.dat", testfiles::FieldBytes(12, 9, 7, [](int x, int y, int z) {
                      return 300 * x + (y > 4 ? 1000 : 0) + 10 * z;
                  }));
    // Levoy through the table: a frame cast without it would be black.
    const Args common = {sBlock, "--tf", SaveLinearTable(dir), "--size", "40x30"};
    auto with = [&](Args extra) {
        extra.insert(extra.begin(), common.begin(), common.end());
        return extra;
    };
    const RunResult r =
        Render(with({"--turntable", "8", "--longitude", "10", "-o", dir.Path("t.png")}));
    ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("t-008.png")));
    for (int k = 0; k < 8; ++k) {
        const std::string sFrame = dir.Path("t-00" + std::to_string(k) + ".png");
        const Picture single = RenderPicture(
            with({"--longitude", std::to_string(10 + 45 * k), "-o", dir.Path("s.png")}));
        EXPECT_EQ(ReadPicture(sFrame).bytes, single.bytes) << sFrame;
    }
}

TEST(RenderTool, FitPresetShowsTheBallAndNotTheNoiseAroundIt) {
    // A ball of 2000 (radius 8) in noise of 0..150 filling a 32^3 box: the
    // greyscale ramp lights the whole box faintly, the fit only the ball.
    ScratchDir dir;
    const std::string sBall =
        dir.Write("ball.dat", testfiles::FieldBytes(32, 32, 32, [](int x, int y, int z) {
                      const int r2 =
                          (x - 16) * (x - 16) + (y - 16) * (y - 16) + (z - 16) * (z - 16);
                      return r2 < 64 ? 2000 : (x * 37 + y * 11 + z * 5) % 151;
                  }));
    auto render = [&](const char* pPreset) {
        return RenderPicture(
            {sBall, "-o", dir.Path("b.pfm"), "--preset", pPreset, "--size", "64x48"});
    };
    const Picture fit = render("fit");
    const size_t nFit = Lit(fit).size();
    const size_t nRamp = Lit(render("greyscale")).size();
    EXPECT_GT(fit.Float(32, 24)[0], 0.05f);
    EXPECT_GT(nFit, 50u);
    EXPECT_LT(nFit * 2, nRamp) << nFit;
}

// ---------------------------------------------------------------- slice mode

TEST(RenderTool, SlicesFitTheWindowInEveryPlane) {
    // 4 x 2 x 3 voxels, value 100 * (1 + x + 4 y) + 1000 z.
    auto V = [](int x, int y, int z) { return 100 * (1 + x + 4 * y) + 1000 * z; };
    ScratchDir dir;
    const std::string sData = dir.Write("s.dat", testfiles::FieldBytes(4, 2, 3, V));
    const std::string sTable = SaveLinearTable(dir);
    const struct {
        Args options;
        std::function<int(int x, int y)> value; // at pixel (x, y); -1: not drawn
    } cases[] = {
        // 4 x 2 into 8 x 4: both aspects 2, du = dv = 0.5; rows count from the bottom.
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
        {{"--plane", "yz", "--slice", "4", "--size", "4x6"}, [](int, int) { return 0; }},
    };
    for (const auto& c : cases) {
        Args args = c.options;
        args.insert(args.end(),
                    {sData, "-o", dir.Path("s.pfm"), "--tf", sTable, "--mode", "slice"});
        SCOPED_TRACE(::testing::PrintToString(args));
        const RunResult r = Render(args);
        ASSERT_EQ(r.nExitCode, 0);
        EXPECT_EQ(r.sStderr, ""); // slices involve no worker
        const Picture p = ReadPfm(dir.Path("s.pfm"));
        ASSERT_EQ(p.sError, "");
        for (int y = 0; y < p.nHeight; ++y)
            for (int x = 0; x < p.nWidth; ++x)
                EXPECT_EQ(ValueAt(p, x, y), c.value(x, y)) << "pixel " << x << "," << y;
    }
}

TEST(RenderTool, ZoomMagnifiesAboutTheCentreAndPanMovesByPixelsInBothModes) {
    // An 8^3 cube of 4095 in the middle of 32^3, X-Ray along +z: a square about
    // the picture's centre.
    auto cube = [](int x, int y, int z) {
        return std::max({x, y, z}) < 20 && std::min({x, y, z}) >= 12 ? 4095 : 0;
    };
    ScratchDir dir;
    const std::string sData = dir.Write("c.dat", testfiles::FieldBytes(32, 32, 32, cube));
    CHeadlessViewer viewer;
    std::string sError;
    ASSERT_TRUE(viewer.LoadDataset(sData, sError)) << sError;
    const std::string sTable = SaveLinearTable(dir);
    ASSERT_TRUE(viewer.LoadTransferFunction(sTable, sError)) << sError;
    using Render = std::function<RgbImage(const ZoomPan&)>;
    const Render volume = [&](const ZoomPan& zoom) {
        viewer.SetVolumeSettings(120, 100, VOLUME_TYPE_XRAY, 0, 0, 0, 0, 4095, zoom);
        EXPECT_TRUE(viewer.RunVolume(sError)) << sError;
        return viewer.VolumePicture();
    };
    const Render slice = [&](const ZoomPan& z) {
        return viewer.RenderSlice(120, 100, 0, 16, 0, z);
    };
    for (const Render& render : {volume, slice}) {
        // Zoom 2 doubles the square about the centre (60, 50); a pan of 7
        // right and 5 up then moves it by as many pixels. The rays sample the
        // cube's edges one voxel apart: a pixel of slack at each edge.
        const auto box = [&](const ZoomPan& zoom) {
            const RgbImage p = render(zoom);
            const auto lit = [&](int x, int y) { return p.At(x, y)[0] > 0.3f; };
            return testfiles::LitBox(p.nWidth, p.nHeight, lit);
        };
        const std::array<int, 4> one = box(ZoomPan()), two = box(ZoomPan{2.0, 0.0, 0.0});
        const std::array<int, 4> moved = box(ZoomPan{2.0, 7.0, -5.0});
        ASSERT_GT(one[2] - one[0], 10);
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(two[i + 2] - two[i], 2 * (one[i + 2] - one[i]), 3);
            EXPECT_NEAR(two[i] + two[i + 2], one[i] + one[i + 2], 2);
            EXPECT_NEAR(moved[i], two[i] + (i ? -5 : 7), 1);
            EXPECT_NEAR(moved[i + 2], two[i + 2] + (i ? -5 : 7), 1);
        }
    }
    // orvex-render --zoom --pan gives the setters' pictures.
    for (const Render* pRender : {&volume, &slice}) {
        const Picture tool = RenderPicture(
            {sData, "-o", dir.Path("z.pfm"), "--tf", sTable, "--type", "xray", "--latitude", "0",
             "--mode", pRender == &slice ? "slice" : "volume", "--size", "120x100", "--zoom", "2.5",
             "--pan", "-3.5,6", "--slice", "16"});
        EXPECT_TRUE(tool.rgb == (*pRender)(ZoomPan{2.5, -3.5, 6.0}).rgb);
    }
}

// ---------------------------------------------------------------- failures

TEST(RenderTool, FailuresPrintOneLineExitNonZeroAndWriteNothing) {
    ScratchDir dir;
    const std::string sOut = dir.Path("out.png");
    std::filesystem::create_directory(dir.Path("folder.png"));
    const std::string sGood =
        dir.Write("a.dat", testfiles::RawBytes(2, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
    const struct {
        Args args;
        const char* pMessage;
    } cases[] = {
        {{dir.Path("missing.dat"), "-o", sOut}, "cannot be opened"},
        // Header 4 x 4 x 4 but only ten voxels; a negative dimension.
        {{dir.Write("short.dat", testfiles::RawBytes(4, 4, 4, std::vector<int16_t>(10, 7))), "-o",
          sOut},
         "too short"},
        {{dir.Write("garbage.dat", std::string("\xfd\xff\x10\x00\x41\x42\x01\x02", 8)), "-o", sOut},
         "invalid header"},
        {{sGood, "-o", sOut, "--frobnicate"}, "unknown option"},
        {{sGood, "-o", dir.Path("no/such/dir/out.png")}, "no folder"},
        {{sGood, "-o", dir.Path("folder.png")}, "it is a folder"},
    };
    for (const auto& c : cases) {
        const RunResult r = Render(c.args);
        EXPECT_NE(r.nExitCode, 0) << c.pMessage;
        EXPECT_EQ(r.sStderr.rfind("orvex-render: ", 0), 0u) << r.sStderr;
        EXPECT_EQ(std::count(r.sStderr.begin(), r.sStderr.end(), '\n'), 1) << r.sStderr;
        EXPECT_NE(r.sStderr.find(c.pMessage), std::string::npos) << r.sStderr;
        EXPECT_FALSE(std::filesystem::exists(sOut)) << c.pMessage;
    }

    const RunResult help = Render({"--help"});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_EQ(help.sStdout.rfind("usage: orvex-render DATASET -o OUT.(pfm|png)", 0), 0u);
}

// ---------------------------------------------------------------- orientation

// A head in the patient frame LPS (x to the patient's left, y posterior, z
// superior): a ball of 1000 with a nose of 2000 in front (small y), an ear of
// 3000 at the left (large x) and a knob of 4000 on top (large z).
int Head(int x, int y, int z) {
    const auto d2 = [&](int cx, int cy, int cz) {
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz);
    };
    return d2(24, 11, 24) <= 16   ? 2000
           : d2(37, 24, 24) <= 16 ? 3000
           : d2(24, 24, 37) <= 16 ? 4000
                                  : (d2(24, 24, 24) <= 144) * 1000;
}

using Vec = std::array<double, 3>;
// Checks a First Hit picture of Head (nose red, ear green, knob blue) for a view
// showing the patient's directions right, up and toward the viewer: a bump toward
// the viewer at the centre, one pointing away hidden, the others to their side.
void ExpectView(const RgbImage& im, const Vec& right, const Vec& up, const Vec& toward) {
    const Vec sides[3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    const auto dot = [](const Vec& a, const Vec& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    for (int k = 0; k < 3; ++k) {
        double n = 0, dx = 0, dy = 0;
        for (int y = 0; y < im.nHeight; ++y)
            for (int x = 0; x < im.nWidth; ++x) {
                const float* c = im.At(x, y);
                if (c[k] > 0.05f && c[k] > 2 * c[(k + 1) % 3] && c[k] > 2 * c[(k + 2) % 3])
                    ++n, dx += x - im.nWidth / 2, dy += im.nHeight / 2 - y;
            }
        const double dToward = dot(sides[k], toward);
        EXPECT_TRUE(dToward > -0.9 || n == 0) << "bump " << k << " shows through the head";
        if (dToward < -0.3)
            continue;
        ASSERT_GT(n, 3) << "bump " << k;
        for (const auto& [d, side] : {std::pair{dx / n, right}, std::pair{dy / n, up}}) {
            const double e = dot(sides[k], side);
            EXPECT_TRUE(e == 0 ? std::abs(d) < 3 : std::abs(e) < 0.4 || d * e > 6 * std::abs(e))
                << "bump " << k << " at " << d;
        }
    }
}

TEST(RenderTool, ScansInThePatientFrameShowTheFaceHeadUpAndNoMirrorInEveryView) {
    ScratchDir dir;
    CHeadlessViewer viewer;
    std::string sError;
    ASSERT_TRUE(
        viewer.LoadDataset(dir.Write("h.dat", testfiles::FieldBytes(48, 48, 48, Head)), sError));
    CTransferFunction& tf = viewer.TransferFunction();
    for (int k = 0; k < 4; ++k)
        tf.SetPoint(1000 * (k + 1), k ? k == 1 : 0.5f, k ? k == 2 : 0.5f, k ? k == 3 : 0.5f, 1);
    tf.BuildTable();
    auto render = [&](int nLongitude, int nLatitude, int nPreset = -1) {
        viewer.SetVolumeSettings(96, 96, VOLUME_TYPE_FIRST_HIT, 0, nLongitude, nLatitude, 500,
                                 4095);
        viewer.State().SetViewPreset(nPreset); // restarts: the run below may find it active
        EXPECT_TRUE(viewer.RunVolume(sError)) << sError;
        return viewer.VolumePicture();
    };
    // The default view looks at the face, head up, the patient's left on the
    // right; each preset puts its side toward the viewer, head up (face up along
    // the body). Right is up x toward in each: no view is mirrored.
    const Vec L{1, 0, 0}, P{0, 1, 0}, S{0, 0, 1}, R{-1, 0, 0}, A{0, -1, 0}, I{0, 0, -1};
    ExpectView(render(0, 90), L, S, A);
    const Vec views[VIEW_PRESET_COUNT][3] = {{L, S, A}, {R, S, P}, {P, S, L},
                                             {A, S, R}, {R, A, S}, {L, A, I}};
    for (int i = 0; i < VIEW_PRESET_COUNT; ++i)
        ExpectView(render(45, 45, i), views[i][0], views[i][1], views[i][2]);
    // At oblique views the orientation marker's axes agree with the picture.
    for (const auto& [nLongitude, nLatitude] : {std::pair{30, 60}, {250, 120}}) {
        const ScreenAxes a = VolumeAxesOnScreen(
            Camera{DegreesToRadians(nLongitude), DegreesToRadians(nLatitude), {}});
        const auto screen = [&](int j) { return Vec{a.axis[0][j], a.axis[1][j], a.axis[2][j]}; };
        ExpectView(render(nLongitude, nLatitude), screen(0), screen(1), screen(2));
    }
    // orvex-render --view superior gives the picture of the preset.
    ASSERT_EQ(tf.Save(dir.Path("h.trf")), 0);
    const Picture tool =
        RenderPicture({dir.Path("h.dat"), "-o", dir.Path("s.pfm"), "--tf", dir.Path("h.trf"),
                       "--type", "firsthit", "--sampling", "nearest", "--lower", "500", "--view",
                       "superior", "--size", "96x96"});
    EXPECT_TRUE(tool.rgb == render(0, 90, 4).rgb);
}

} // namespace
