// The RAW reader, the derived gradients and histogram, and the samplers, on tiny
// datasets written by the tests themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "platform/Sync.h"
#include "volume/Volume.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes16(int16_t n) {
    const uint16_t u = static_cast<uint16_t>(n);
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

// A fresh directory per test, removed afterwards.
class VolumeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_Dir = fs::temp_directory_path() /
                ("orvex-volume-" + std::string(info->name()) + "-" + std::to_string(getpid()));
        fs::remove_all(m_Dir);
        fs::create_directories(m_Dir);
    }
    void TearDown() override { fs::remove_all(m_Dir); }

    std::string WriteBytes(const std::string& sName, const std::string& sBytes) {
        const std::string sPath = (m_Dir / sName).string();
        std::ofstream out(sPath, std::ios::binary);
        out.write(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
        return sPath;
    }
    // Header dx, dy, dz, then the values (x fastest), then the trailer bytes.
    std::string WriteRaw(const std::string& sName, int16_t dx, int16_t dy, int16_t dz,
                         const std::vector<int16_t>& values, const std::string& sTrailer = "") {
        std::string s = Bytes16(dx) + Bytes16(dy) + Bytes16(dz);
        for (int16_t v : values)
            s += Bytes16(v);
        return WriteBytes(sName, s + sTrailer);
    }
    // A dx*dy*dz dataset whose value at (x, y, z) is f(x, y, z).
    template <class F>
    std::string WriteField(const std::string& sName, int dx, int dy, int dz, F f) {
        std::vector<int16_t> values;
        for (int z = 0; z < dz; ++z)
            for (int y = 0; y < dy; ++y)
                for (int x = 0; x < dx; ++x)
                    values.push_back(static_cast<int16_t>(f(x, y, z)));
        return WriteRaw(sName, static_cast<int16_t>(dx), static_cast<int16_t>(dy),
                        static_cast<int16_t>(dz), values);
    }

    fs::path m_Dir;
};

int HistogramTotal(const CVolume& v) {
    int n = 0;
    for (int c : v.m_Histogram)
        n += c;
    return n;
}

// Everything a rejected or unreadable file must leave behind.
void ExpectEmpty(const CVolume& v) {
    EXPECT_EQ(v.m_pVoxels, nullptr);
    EXPECT_EQ(v.m_pGradient, nullptr);
    EXPECT_EQ(v.m_pGradientMagnitude, nullptr);
    EXPECT_EQ(v.m_pShadeR, nullptr);
    EXPECT_EQ(v.m_pShadeG, nullptr);
    EXPECT_EQ(v.m_pShadeB, nullptr);
    EXPECT_EQ(v.m_pShadeAlpha, nullptr);
    EXPECT_EQ(v.m_pShadeValid, nullptr);
    EXPECT_EQ(v.m_nDimX, 0);
    EXPECT_EQ(v.m_nDimY, 0);
    EXPECT_EQ(v.m_nDimZ, 0);
    EXPECT_EQ(v.m_nStrideX, 0);
    EXPECT_EQ(v.m_nStrideY, 0);
    EXPECT_EQ(v.m_nStrideZ, 0);
    EXPECT_EQ(v.m_nVoxelCount, 0);
    EXPECT_EQ(v.m_nHistogramPeak, 0);
    EXPECT_EQ(HistogramTotal(v), 0);
    // The samplers stay safe on an empty dataset.
    EXPECT_EQ(v.VoxelAt(0, 0, 0), 0);
    EXPECT_EQ(v.SampleTrilinear(0.5f, 0.5f, 0.5f), 0.0);
    EXPECT_EQ(v.SampleBilinear(0.5f, 0.5f, 0), 0);
    float g[3] = {1, 1, 1};
    v.GradientTrilinear(0.5f, 0.5f, 0.5f, g);
    EXPECT_EQ(g[0], 0.0f);
    EXPECT_EQ(g[1], 0.0f);
    EXPECT_EQ(g[2], 0.0f);
}

std::string RejectLine(RawLoadError e) {
    return std::string("Couldn't load dataset file: ") + CVolume::LoadErrorText(e) + "!\n";
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Loads the file in a child process that may use only a little more address
// space than it already has; exits 0 when the load was refused as too large and
// left the dataset empty.
[[noreturn]] void LoadUnderAddressLimit(const std::string& sPath) {
    long nPages = 0;
    if (std::FILE* pStat = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(pStat, "%ld", &nPages) != 1)
            nPages = 0;
        std::fclose(pStat);
    }
    const rlim_t nLimit = static_cast<rlim_t>(nPages) * sysconf(_SC_PAGESIZE) + (256u << 20);
    const rlimit limit{nLimit, nLimit};
    setrlimit(RLIMIT_AS, &limit);
    CVolume v(sPath);
    const bool bOk = v.GetLoadError() == RAW_TOO_LARGE && !v.m_pVoxels && !v.m_pGradient &&
                     v.m_nVoxelCount == 0 && v.m_nDimX == 0;
    std::_Exit(bOk ? 0 : 1);
}
#endif

// ---------------------------------------------------------------- reading

TEST_F(VolumeFileTest, TwoCubedHeaderGivesCountStridesAndVoxelOrder) {
    const std::string sPath = WriteRaw("a.dat", 2, 2, 2, {10, 11, 12, 13, 14, 15, 16, 17});
    CDebugCapture capture;
    CVolume v(sPath);
    EXPECT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(capture.Text(), "");
    EXPECT_EQ(v.m_nDimX, 2);
    EXPECT_EQ(v.m_nDimY, 2);
    EXPECT_EQ(v.m_nDimZ, 2);
    EXPECT_EQ(v.m_nVoxelCount, 8);
    EXPECT_EQ(v.m_nStrideX, 1);
    EXPECT_EQ(v.m_nStrideY, 2);
    EXPECT_EQ(v.m_nStrideZ, 4);
    ASSERT_NE(v.m_pVoxels, nullptr);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(v.VoxelAt(x, y, z), 10 + x + 2 * y + 4 * z);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(v.m_pGradientMagnitude[i], 0.0f);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(v.m_pGradient[3 * i + c], 0.0f);
        EXPECT_EQ(v.m_Histogram[10 + i], 1);
    }
    EXPECT_EQ(HistogramTotal(v), 8);
    EXPECT_NE(v.m_pShadeR, nullptr);
    EXPECT_NE(v.m_pShadeG, nullptr);
    EXPECT_NE(v.m_pShadeB, nullptr);
    EXPECT_NE(v.m_pShadeAlpha, nullptr);
    EXPECT_NE(v.m_pShadeValid, nullptr);
}

TEST_F(VolumeFileTest, LoadRawReportsSuccessAndDimensionsAreLittleEndian) {
    // 258 = 0x0102 along x: a byte-order mistake would read 513.
    std::vector<int16_t> values(258, 0x0304);
    CVolume v(WriteRaw("le.dat", 258, 1, 1, values));
    EXPECT_EQ(v.m_nDimX, 258);
    EXPECT_EQ(v.VoxelAt(257, 0, 0), 0x0304);
    EXPECT_EQ(v.LoadRaw(WriteRaw("le2.dat", 1, 1, 1, {7})), 0);
    EXPECT_EQ(v.m_nVoxelCount, 1);
    EXPECT_EQ(v.VoxelAt(0, 0, 0), 7);
}

TEST_F(VolumeFileTest, ThreeCubedHasOneInteriorVoxelWithGradient) {
    CVolume v(WriteField("x.dat", 3, 3, 3, [](int x, int, int) { return x; }));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    for (int i = 0; i < 27; ++i) {
        const bool bCentre = i == 13; // (1, 1, 1)
        EXPECT_EQ(v.m_pGradient[3 * i], bCentre ? 1.0f : 0.0f) << i;
        EXPECT_EQ(v.m_pGradient[3 * i + 1], 0.0f) << i;
        EXPECT_EQ(v.m_pGradient[3 * i + 2], 0.0f) << i;
        EXPECT_EQ(v.m_pGradientMagnitude[i], bCentre ? 1.0f : 0.0f) << i;
    }
}

TEST_F(VolumeFileTest, GradientsUseTheRightNeighboursOnEveryAxis) {
    // Central differences of x^2 + 2y^2 - 3z^2 are exactly (2x, 4y, -6z); an odd
    // step along x gives halves.
    auto f = [](int x, int y, int z) { return x * x + 2 * y * y - 3 * z * z + (x == 2 ? 1 : 0); };
    CVolume v(WriteField("q.dat", 4, 5, 6, f));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    for (int z = 0; z < 6; ++z)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 4; ++x) {
                const int i = x + 4 * (y + 5 * z);
                const bool bInside = x > 0 && x < 3 && y > 0 && y < 4 && z > 0 && z < 5;
                float gx = 0, gy = 0, gz = 0;
                if (bInside) {
                    gx = static_cast<float>(f(x + 1, y, z) - f(x - 1, y, z)) * 0.5f;
                    gy = static_cast<float>(4 * y);
                    gz = static_cast<float>(-6 * z);
                }
                EXPECT_EQ(v.m_pGradient[3 * i], gx) << x << y << z;
                EXPECT_EQ(v.m_pGradient[3 * i + 1], gy) << x << y << z;
                EXPECT_EQ(v.m_pGradient[3 * i + 2], gz) << x << y << z;
                EXPECT_FLOAT_EQ(v.m_pGradientMagnitude[i], std::sqrt(gx * gx + gy * gy + gz * gz));
            }
    // (1, y, z): neighbours 0 and 4 (with the +1 at x = 2) -> (4 + 1 - 0) / 2.
    EXPECT_EQ(v.m_pGradient[3 * (1 + 4 * (1 + 5 * 1))], 2.5f);
}

TEST_F(VolumeFileTest, GradientsOfNegativeValuesAreSignExtended) {
    // Values -30000 .. 30000 along x: a difference taken in 16 bits would wrap.
    CVolume v(WriteField("n.dat", 3, 3, 3, [](int x, int, int) { return (x - 1) * 30000; }));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.m_pGradient[3 * 13], 30000.0f);
    EXPECT_EQ(v.m_pGradientMagnitude[13], 30000.0f);
}

TEST_F(VolumeFileTest, FlatDimensionsLeaveAllGradientsZero) {
    for (int d : {1, 2}) {
        CVolume v(WriteField("flat.dat", 5, d, 5, [](int x, int y, int z) { return x * y * z; }));
        ASSERT_EQ(v.GetLoadError(), RAW_OK);
        for (int i = 0; i < v.m_nVoxelCount; ++i)
            EXPECT_EQ(v.m_pGradientMagnitude[i], 0.0f);
    }
}

TEST_F(VolumeFileTest, HistogramPeakPrefersTheLowerOfEqualBins) {
    CVolume equal(WriteRaw("eq.dat", 6, 1, 1, {900, 5, 900, 5, 4095, 0}));
    EXPECT_EQ(equal.m_Histogram[5], 2);
    EXPECT_EQ(equal.m_Histogram[900], 2);
    EXPECT_EQ(equal.m_Histogram[4095], 1);
    EXPECT_EQ(equal.m_Histogram[0], 1);
    EXPECT_EQ(equal.m_nHistogramPeak, 5);

    CVolume zeros(WriteField("z.dat", 3, 3, 3, [](int, int, int) { return 0; }));
    EXPECT_EQ(zeros.m_Histogram[0], 27);
    EXPECT_EQ(zeros.m_nHistogramPeak, 0);

    CVolume high(WriteRaw("hi.dat", 3, 1, 1, {4095, 4095, 1}));
    EXPECT_EQ(high.m_nHistogramPeak, 4095);
}

TEST_F(VolumeFileTest, ValuesOutsideTwelveBitsAreNotCounted) {
    CVolume v(WriteRaw("out.dat", 6, 1, 1, {-1, 4096, 32767, -32768, 4095, 0}));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(HistogramTotal(v), 2);
    EXPECT_EQ(v.m_Histogram[0], 1);
    EXPECT_EQ(v.m_Histogram[4095], 1);
    // The values themselves are kept as read.
    EXPECT_EQ(v.VoxelAt(0, 0, 0), -1);
    EXPECT_EQ(v.VoxelAt(3, 0, 0), -32768);
}

TEST_F(VolumeFileTest, TrailingBytesAreIgnored) {
    CVolume v(WriteRaw("t.dat", 2, 1, 1, {3, 4}, std::string("trailer\x01\x02\x03", 10)));
    EXPECT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.m_nVoxelCount, 2);
    EXPECT_EQ(v.VoxelAt(1, 0, 0), 4);
    EXPECT_EQ(HistogramTotal(v), 2);
}

// ---------------------------------------------------------------- rejection

TEST_F(VolumeFileTest, MissingFileReportsOnceAndStaysEmpty) {
    CDebugCapture capture;
    CVolume v((m_Dir / "missing.dat").string());
    EXPECT_EQ(v.GetLoadError(), RAW_CANNOT_OPEN);
    EXPECT_EQ(capture.Count("Couldn't open dataset file!"), 1);
    EXPECT_EQ(capture.Text(), "Couldn't open dataset file!");
    ExpectEmpty(v);
    EXPECT_EQ(v.LoadRaw((m_Dir / "missing.dat").string()), -1);
}

TEST_F(VolumeFileTest, DirectoryCannotBeOpenedAsDataset) {
    CDebugCapture capture;
    CVolume v(m_Dir.string());
    EXPECT_EQ(v.GetLoadError(), RAW_CANNOT_OPEN);
    EXPECT_EQ(capture.Text(), "Couldn't open dataset file!");
    ExpectEmpty(v);
}

TEST_F(VolumeFileTest, DimensionsBelowOneAreRejected) {
    const int16_t bad[] = {0, -1, -32768};
    for (int axis = 0; axis < 3; ++axis) {
        for (int16_t b : bad) {
            int16_t d[3] = {2, 2, 2};
            d[axis] = b;
            // Plenty of voxel bytes, so that only the header can be at fault.
            const std::string sPath =
                WriteRaw("bad.dat", d[0], d[1], d[2], std::vector<int16_t>(64, 1));
            CDebugCapture capture;
            CVolume v(sPath);
            EXPECT_EQ(v.GetLoadError(), RAW_INVALID_HEADER) << axis << " " << b;
            EXPECT_EQ(capture.Text(), RejectLine(RAW_INVALID_HEADER));
            ExpectEmpty(v);
        }
    }
}

TEST_F(VolumeFileTest, CutShortHeaderIsRejected) {
    const std::string sHeader = Bytes16(2) + Bytes16(2) + Bytes16(2);
    for (size_t n = 0; n < 6; ++n) {
        CDebugCapture capture;
        CVolume v(WriteBytes("h.dat", sHeader.substr(0, n)));
        EXPECT_EQ(v.GetLoadError(), RAW_INVALID_HEADER) << n;
        EXPECT_EQ(capture.Text(), RejectLine(RAW_INVALID_HEADER));
        ExpectEmpty(v);
    }
}

TEST_F(VolumeFileTest, TruncatedVoxelDataIsRejected) {
    // 2 x 2 x 2 needs 16 voxel bytes: none, 7 values, and 15 bytes all fall short.
    const std::string sHeader = Bytes16(2) + Bytes16(2) + Bytes16(2);
    std::string sValues;
    for (int i = 0; i < 8; ++i)
        sValues += Bytes16(static_cast<int16_t>(i));
    for (size_t n : {size_t{0}, size_t{1}, size_t{14}, size_t{15}}) {
        CDebugCapture capture;
        CVolume v(WriteBytes("s.dat", sHeader + sValues.substr(0, n)));
        EXPECT_EQ(v.GetLoadError(), RAW_TOO_SHORT) << n;
        EXPECT_EQ(capture.Text(), RejectLine(RAW_TOO_SHORT));
        ExpectEmpty(v);
    }
    CVolume exact(WriteBytes("s.dat", sHeader + sValues));
    EXPECT_EQ(exact.GetLoadError(), RAW_OK);
}

TEST_F(VolumeFileTest, HugeHeaderOverflowingThirtyTwoBitsIsRejected) {
    CDebugCapture capture;
    CVolume v(WriteRaw("huge.dat", 32767, 32767, 32767, {1, 2, 3}));
    EXPECT_EQ(v.GetLoadError(), RAW_TOO_LARGE);
    EXPECT_EQ(capture.Text(), RejectLine(RAW_TOO_LARGE));
    ExpectEmpty(v);

    // 32767 * 32767 * 3 just passes 2^31; with only a few bytes behind it the file
    // is at fault for its size, not for its length.
    CVolume w(WriteRaw("huge3.dat", 32767, 32767, 3, {1}));
    EXPECT_EQ(w.GetLoadError(), RAW_TOO_LARGE);
    // 32767 * 32767 * 2 still fits: such a tiny file is merely too short.
    CVolume s(WriteRaw("huge2.dat", 32767, 32767, 2, {1}));
    EXPECT_EQ(s.GetLoadError(), RAW_TOO_SHORT);
    ExpectEmpty(s);
}

TEST_F(VolumeFileTest, BuffersThatCannotBeAllocatedAreRejected) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "an address-space limit cannot be combined with a sanitizer";
#else
    // 1024 x 1024 x 64 voxels need 1.7 GB of buffers; the file itself is sparse.
    const std::string sPath = (m_Dir / "big.dat").string();
    {
        std::ofstream out(sPath, std::ios::binary);
        const std::string s = Bytes16(1024) + Bytes16(1024) + Bytes16(64);
        out.write(s.data(), 6);
    }
    fs::resize_file(sPath, 6 + 2ull * 1024 * 1024 * 64);
    EXPECT_EXIT(LoadUnderAddressLimit(sPath), ::testing::ExitedWithCode(0),
                "Couldn't load dataset file: too large!");
#endif
}

TEST_F(VolumeFileTest, GarbageFilesNeverLeaveAHalfLoadedDataset) {
    CDebugCapture capture;
    // Text that decodes to a huge header.
    CVolume text(WriteBytes("g.dat", "GARBAGE! this is not a volume"));
    EXPECT_EQ(text.GetLoadError(), RAW_TOO_LARGE);
    ExpectEmpty(text);

    // Small random headers (some below 1) with random bytes of random length
    // behind them: every file either loads whole or leaves the dataset empty.
    std::mt19937 random(12345);
    int nLoaded = 0;
    for (int n = 0; n < 300; ++n) {
        const int16_t dx = static_cast<int16_t>(static_cast<int>(random() % 7) - 2);
        const int16_t dy = static_cast<int16_t>(static_cast<int>(random() % 7) - 2);
        const int16_t dz = static_cast<int16_t>(static_cast<int>(random() % 7) - 2);
        std::string s = Bytes16(dx) + Bytes16(dy) + Bytes16(dz);
        s.resize(random() % 140);
        for (size_t i = 6; i < s.size(); ++i)
            s[i] = static_cast<char>(random());
        CVolume v(WriteBytes("r.dat", s));
        const long long nNeed = 6 + 2LL * dx * dy * dz;
        const bool bFits = dx > 0 && dy > 0 && dz > 0 && static_cast<long long>(s.size()) >= nNeed;
        EXPECT_EQ(v.GetLoadError() == RAW_OK, bFits) << n;
        if (v.GetLoadError() == RAW_OK) {
            ++nLoaded;
            EXPECT_EQ(v.m_nVoxelCount, dx * dy * dz);
            EXPECT_EQ(v.VoxelAt(dx - 1, dy - 1, dz - 1),
                      static_cast<int16_t>(static_cast<uint8_t>(s[nNeed - 2]) |
                                           (static_cast<uint8_t>(s[nNeed - 1]) << 8)));
            int nInRange = 0;
            for (int i = 0; i < v.m_nVoxelCount; ++i)
                nInRange += v.m_pVoxels[i] >= 0 && v.m_pVoxels[i] < 4096 ? 1 : 0;
            EXPECT_EQ(HistogramTotal(v), nInRange);
        } else {
            ExpectEmpty(v);
        }
    }
    EXPECT_GT(nLoaded, 20);
}

TEST(VolumeTest, LoadErrorTexts) {
    EXPECT_STREQ(CVolume::LoadErrorText(RAW_CANNOT_OPEN), "cannot be opened");
    EXPECT_STREQ(CVolume::LoadErrorText(RAW_INVALID_HEADER), "invalid header");
    EXPECT_STREQ(CVolume::LoadErrorText(RAW_TOO_SHORT), "too short");
    EXPECT_STREQ(CVolume::LoadErrorText(RAW_TOO_LARGE), "too large");
}

TEST_F(VolumeFileTest, ReloadingAfterAFailureStartsClean) {
    CVolume v(WriteRaw("ok.dat", 2, 1, 1, {5, 6}));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.LoadRaw(WriteRaw("bad.dat", 0, 1, 1, {})), -1);
    EXPECT_EQ(v.GetLoadError(), RAW_INVALID_HEADER);
    ExpectEmpty(v);
    EXPECT_EQ(v.LoadRaw(WriteRaw("ok2.dat", 1, 1, 1, {9})), 0);
    EXPECT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.m_Histogram[9], 1);
    EXPECT_EQ(HistogramTotal(v), 1);
}

// ---------------------------------------------------------------- samplers

class SamplerTest : public VolumeFileTest {
protected:
    void SetUp() override {
        VolumeFileTest::SetUp();
        // 4 x 3 x 2, value x + 7y + 50z + 1: linear, so trilinear sampling inside
        // the grid reproduces the formula exactly.
        m_pVolume = new CVolume(WriteField("s.dat", 4, 3, 2, Value));
        ASSERT_EQ(m_pVolume->GetLoadError(), RAW_OK);
    }
    void TearDown() override {
        delete m_pVolume;
        VolumeFileTest::TearDown();
    }
    static int Value(int x, int y, int z) { return x + 7 * y + 50 * z + 1; }
    CVolume* m_pVolume = nullptr;
};

TEST_F(SamplerTest, VoxelAtIsZeroJustOutsideEveryFace) {
    const CVolume& v = *m_pVolume;
    EXPECT_EQ(v.VoxelAt(3, 2, 1), Value(3, 2, 1));
    EXPECT_EQ(v.VoxelAt(-1, 0, 0), 0);
    EXPECT_EQ(v.VoxelAt(4, 0, 0), 0);
    EXPECT_EQ(v.VoxelAt(0, -1, 0), 0);
    EXPECT_EQ(v.VoxelAt(0, 3, 0), 0);
    EXPECT_EQ(v.VoxelAt(0, 0, -1), 0);
    EXPECT_EQ(v.VoxelAt(0, 0, 2), 0);
    // x beyond the row must not wrap into the next row.
    EXPECT_EQ(v.VoxelAt(4, 1, 0), 0);
}

TEST_F(SamplerTest, TrilinearIsExactAtVoxelsAndInsideCells) {
    const CVolume& v = *m_pVolume;
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(v.SampleTrilinear(float(x), float(y), float(z)), Value(x, y, z));
    EXPECT_EQ(v.SampleTrilinear(0.25f, 1.5f, 0.75f), 0.25 + 10.5 + 37.5 + 1);
    EXPECT_EQ(v.SampleTrilinear(2.5f, 0.125f, 0.5f), 2.5 + 0.875 + 25 + 1);
}

TEST_F(SamplerTest, TrilinearCountsCornersBeyondTheGridAsZero) {
    const CVolume& v = *m_pVolume;
    // Half the border voxel's value just past the last voxel on each axis.
    EXPECT_EQ(v.SampleTrilinear(3.5f, 1.0f, 1.0f), Value(3, 1, 1) * 0.5);
    EXPECT_EQ(v.SampleTrilinear(1.0f, 2.5f, 0.0f), Value(1, 2, 0) * 0.5);
    EXPECT_EQ(v.SampleTrilinear(2.0f, 1.0f, 1.5f), Value(2, 1, 1) * 0.5);
    EXPECT_EQ(v.SampleTrilinear(40.0f, 1.0f, 1.0f), 0.0);
    EXPECT_EQ(v.SampleTrilinear(1.0f, 1.0f, -3.0f), 0.0);
    EXPECT_EQ(v.SampleTrilinear(1e30f, std::nanf(""), 0.0f), 0.0);
}

TEST_F(SamplerTest, TrilinearExtrapolatesBelowZero) {
    const CVolume& v = *m_pVolume;
    // x = -0.5 truncates to cell 0 with fraction -0.5: 1.5 v(0) - 0.5 v(1).
    EXPECT_EQ(v.SampleTrilinear(-0.5f, 1.0f, 1.0f), 1.5 * Value(0, 1, 1) - 0.5 * Value(1, 1, 1));
    EXPECT_EQ(v.SampleTrilinear(2.0f, -0.25f, 0.0f), 1.25 * Value(2, 0, 0) - 0.25 * Value(2, 1, 0));
}

TEST_F(SamplerTest, BilinearInterpolatesInsideOneSliceOnly) {
    const CVolume& v = *m_pVolume;
    EXPECT_EQ(v.SampleBilinear(1.0f, 2.0f, 1), Value(1, 2, 1));
    // 0.5 between x=1 and x=2, 0.25 between y=0 and y=1: 1.5 + 1.75 + 50 + 1.
    EXPECT_EQ(v.SampleBilinear(1.5f, 0.25f, 1), 54);
    EXPECT_EQ(v.SampleBilinear(3.5f, 1.0f, 0), Value(3, 1, 0) / 2); // 5.5 -> 5
    EXPECT_EQ(v.SampleBilinear(1.0f, 1.0f, -1), 0);
    EXPECT_EQ(v.SampleBilinear(1.0f, 1.0f, 2), 0);
    EXPECT_EQ(v.SampleBilinear(1.5f, 1.5f, 1000), 0);
}

TEST_F(VolumeFileTest, BilinearTruncatesTowardZero) {
    CVolume v(WriteRaw("b.dat", 2, 1, 2, {1, 2, -1, -2}));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    EXPECT_EQ(v.SampleBilinear(0.5f, 0.0f, 0), 1);   // 1.5
    EXPECT_EQ(v.SampleBilinear(0.5f, 0.0f, 1), -1);  // -1.5, not floored to -2
    EXPECT_EQ(v.SampleBilinear(0.75f, 0.0f, 1), -1); // -1.75
    EXPECT_EQ(v.SampleBilinear(0.0f, 0.5f, 0), 0);   // half of 1 with y beyond the grid
}

TEST_F(VolumeFileTest, WholeValuesNeverTruncateToOneLess) {
    // Single-precision arithmetic gives e.g. 3 * 0.9f + 3 * 0.1f = 2.9999998 here.
    for (int value : {3, 5, 7, 10, 100, 1000, 4095}) {
        CVolume v(WriteField("c.dat", 3, 3, 3, [value](int, int, int) { return value; }));
        ASSERT_EQ(v.GetLoadError(), RAW_OK);
        for (int i = 1; i < 100; ++i) {
            const float f = static_cast<float>(i) / 100.0f;
            for (float c : {f, 1.0f + f}) {
                EXPECT_EQ(v.SampleBilinear(c, f, 1), value) << value << " " << c;
                EXPECT_EQ(v.SampleBilinear(f, c, 0), value) << value << " " << c;
                EXPECT_EQ(static_cast<int>(v.SampleTrilinear(c, f, 1.0f - f)), value)
                    << value << " " << c;
                EXPECT_EQ(static_cast<int>(v.SampleTrilinear(f, c, f)), value) << value << " " << c;
            }
        }
    }
}

TEST_F(VolumeFileTest, GradientTrilinearInterpolatesStoredGradients) {
    // Stored gradients of x^2 + 2y^2 + 3z^2 are (2x, 4y, 6z) inside, zero on faces.
    CVolume v(WriteField("g.dat", 4, 5, 6,
                         [](int x, int y, int z) { return x * x + 2 * y * y + 3 * z * z; }));
    ASSERT_EQ(v.GetLoadError(), RAW_OK);
    float g[3];
    EXPECT_EQ(v.GradientTrilinear(1.5f, 2.25f, 3.5f, g), g);
    EXPECT_EQ(g[0], 3.0f);
    EXPECT_EQ(g[1], 9.0f);
    EXPECT_EQ(g[2], 21.0f);
    v.GradientTrilinear(2.0f, 3.0f, 4.0f, g);
    EXPECT_EQ(g[0], 4.0f);
    EXPECT_EQ(g[1], 12.0f);
    EXPECT_EQ(g[2], 24.0f);
    // Towards a face the stored zero pulls the value down: halfway from x=2 (4) to x=3 (0).
    v.GradientTrilinear(2.5f, 2.0f, 2.0f, g);
    EXPECT_EQ(g[0], 2.0f);
    EXPECT_EQ(g[1], 4.0f);
    EXPECT_EQ(g[2], 6.0f);
    // Corners beyond the grid are not read; they count as zero gradients.
    v.GradientTrilinear(3.5f, 2.0f, 2.0f, g);
    EXPECT_EQ(g[0], 0.0f);
    v.GradientTrilinear(-0.5f, 2.0f, 2.0f, g);
    EXPECT_EQ(g[0], -1.0f); // 1.5 * 0 - 0.5 * 2
    EXPECT_EQ(g[1], -4.0f);
}

} // namespace
