// The control-point list, the lookup table and the .trf format.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "transfer/TransferFunction.h"

namespace fs = std::filesystem;

namespace {

struct Point {
    int position;
    float red, green, blue, opacity;
    bool operator==(const Point&) const = default;
};

std::vector<Point> Points(const CTransferFunction& tf) {
    std::vector<Point> v;
    for (const ControlPoint* p = tf.GetFirstPoint(); p; p = p->next)
        v.push_back({p->position, p->red, p->green, p->blue, p->opacity});
    return v;
}

ControlPoint* PointAt(const CTransferFunction& tf, int nPosition) {
    for (ControlPoint* p = tf.GetFirstPoint(); p; p = p->next)
        if (p->position == nPosition)
            return p;
    return nullptr;
}

// A .trf record as existing files carry it: arbitrary padding and link word.
std::string Record(int16_t nPosition, float r, float g, float b, float a,
                   uint32_t nLink = 0xDEADBEEF) {
    unsigned char rec[24];
    const uint16_t u = static_cast<uint16_t>(nPosition);
    rec[0] = static_cast<unsigned char>(u);
    rec[1] = static_cast<unsigned char>(u >> 8);
    rec[2] = 0xAB;
    rec[3] = 0xCD;
    const float f[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) {
        uint32_t n;
        std::memcpy(&n, &f[i], 4);
        for (int k = 0; k < 4; ++k)
            rec[4 + 4 * i + k] = static_cast<unsigned char>(n >> (8 * k));
    }
    for (int k = 0; k < 4; ++k)
        rec[20 + k] = static_cast<unsigned char>(nLink >> (8 * k));
    return std::string(reinterpret_cast<const char*>(rec), 24);
}

void FillTable(CTransferFunction& tf, float f) {
    for (TableEntry& e : tf.m_Table)
        e = {f, f, f, f};
}

bool SameEntry(const TableEntry& a, const TableEntry& b) {
    return std::memcmp(&a, &b, sizeof(TableEntry)) == 0;
}

class TrfFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_Dir = fs::temp_directory_path() /
                ("orvex-trf-" + std::string(info->name()) + "-" + std::to_string(getpid()));
        fs::remove_all(m_Dir);
        fs::create_directories(m_Dir);
    }
    void TearDown() override { fs::remove_all(m_Dir); }

    std::string PathOf(const std::string& sName) const { return (m_Dir / sName).string(); }
    std::string Write(const std::string& sName, const std::string& sBytes) {
        std::ofstream out(PathOf(sName), std::ios::binary);
        out.write(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
        return PathOf(sName);
    }
    static std::string Read(const std::string& sPath) {
        std::ifstream in(sPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> v;
        for (const auto& e : fs::directory_iterator(m_Dir))
            v.push_back(e.path().filename().string());
        std::sort(v.begin(), v.end());
        return v;
    }

    fs::path m_Dir;
};

// ---------------------------------------------------------------- the list

TEST(TransferFunctionTest, NewFunctionHasTwoBlackTransparentEndsAndZeroTable) {
    CTransferFunction tf(nullptr);
    EXPECT_EQ(Points(tf), (std::vector<Point>{{0, 0, 0, 0, 0}, {4095, 0, 0, 0, 0}}));
    for (const TableEntry& e : tf.m_Table)
        EXPECT_TRUE(SameEntry(e, TableEntry{0, 0, 0, 0}));
}

TEST(TransferFunctionTest, SetPointInsertsReplacesPrependsAndAppends) {
    CTransferFunction tf(nullptr);
    EXPECT_EQ(tf.Clear(), 0);
    EXPECT_EQ(tf.GetFirstPoint(), nullptr);

    EXPECT_EQ(tf.SetPoint(500, 0.5f, 0.5f, 0.5f, 0.5f), 0); // into the empty list
    EXPECT_EQ(tf.SetPoint(100, 0.1f, 0, 0, 0.1f), 0);       // before the first
    EXPECT_EQ(tf.SetPoint(900, 0.9f, 0, 0, 0.9f), 0);       // after the last
    EXPECT_EQ(tf.SetPoint(300, 0.3f, 0, 0, 0.3f), 0);       // between
    EXPECT_EQ(tf.SetPoint(101, 0.2f, 0, 0, 0.2f), 0);       // right after a point
    EXPECT_EQ(tf.SetPoint(899, 0.8f, 0, 0, 0.8f), 0);       // right before a point
    ControlPoint* p500 = PointAt(tf, 500);
    EXPECT_EQ(tf.SetPoint(500, 1.0f, 0.25f, 0.75f, 0.125f), 0); // replaces in place
    EXPECT_EQ(PointAt(tf, 500), p500);
    EXPECT_EQ(Points(tf), (std::vector<Point>{{100, 0.1f, 0, 0, 0.1f},
                                              {101, 0.2f, 0, 0, 0.2f},
                                              {300, 0.3f, 0, 0, 0.3f},
                                              {500, 1.0f, 0.25f, 0.75f, 0.125f},
                                              {899, 0.8f, 0, 0, 0.8f},
                                              {900, 0.9f, 0, 0, 0.9f}}));
    // Replacing the first and the last keeps their places too.
    tf.SetPoint(100, 0, 1, 0, 1);
    tf.SetPoint(900, 0, 0, 1, 1);
    EXPECT_EQ(Points(tf).front(), (Point{100, 0, 1, 0, 1}));
    EXPECT_EQ(Points(tf).back(), (Point{900, 0, 0, 1, 1}));
    EXPECT_EQ(Points(tf).size(), 6u);
}

TEST(TransferFunctionTest, SetPointRefusesPositionsOutsideTheTable) {
    CTransferFunction tf(nullptr);
    EXPECT_EQ(tf.SetPoint(-1, 1, 1, 1, 1), -1);
    EXPECT_EQ(tf.SetPoint(4096, 1, 1, 1, 1), -1);
    EXPECT_EQ(tf.SetPoint(-32768, 1, 1, 1, 1), -1);
    EXPECT_EQ(Points(tf).size(), 2u);
}

TEST(TransferFunctionTest, FindPreviousWalksTheList) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(10, 0, 0, 0, 0);
    ControlPoint* p0 = PointAt(tf, 0);
    ControlPoint* p10 = PointAt(tf, 10);
    ControlPoint* pLast = PointAt(tf, 4095);
    EXPECT_EQ(tf.FindPrevious(p0), nullptr);
    EXPECT_EQ(tf.FindPrevious(p10), p0);
    EXPECT_EQ(tf.FindPrevious(pLast), p10);
    ControlPoint stranger{20, 0, 0, 0, 0, nullptr};
    EXPECT_EQ(tf.FindPrevious(&stranger), nullptr);
    EXPECT_EQ(tf.FindPrevious(nullptr), nullptr);
}

TEST(TransferFunctionTest, RemovePointProtectsEndsAndTheFirstPoint) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(10, 0, 0, 0, 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 0)), 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 4095)), 0);
    EXPECT_EQ(Points(tf).size(), 3u);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 10)), 0);
    EXPECT_EQ(Points(tf), (std::vector<Point>{{0, 0, 0, 0, 0}, {4095, 0, 0, 0, 0}}));

    // Without end points: the first point stays, a last point elsewhere may go.
    tf.Clear();
    tf.SetPoint(10, 0, 0, 0, 0);
    tf.SetPoint(20, 0, 0, 0, 0);
    tf.SetPoint(30, 0, 0, 0, 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 10)), 0);
    EXPECT_EQ(Points(tf).size(), 3u);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 30)), 0);
    EXPECT_EQ(Points(tf).size(), 2u);
    EXPECT_EQ(tf.GetFirstPoint()->next->next, nullptr);

    // A point that is not in the list is neither unlinked nor freed.
    ControlPoint stranger{15, 0, 0, 0, 0, nullptr};
    EXPECT_EQ(tf.RemovePoint(&stranger), -1);
    EXPECT_EQ(tf.RemovePoint(nullptr), -1);
    EXPECT_EQ(Points(tf).size(), 2u);
}

TEST(TransferFunctionTest, MovePointClampsOpacityAndNeverOvertakes) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(100, 0.5f, 0.25f, 0.125f, 0.5f);
    tf.SetPoint(200, 0, 0, 0, 0.5f);
    ControlPoint* p = PointAt(tf, 100);

    // Inside the neighbours (0 and 200) the point moves; the opacity is clamped.
    EXPECT_EQ(tf.MovePoint(p, 150, 1.7f), 0);
    EXPECT_EQ(p->position, 150);
    EXPECT_EQ(p->opacity, 1.0f);
    EXPECT_EQ(tf.MovePoint(p, 1, -0.2f), 0);
    EXPECT_EQ(p->position, 1);
    EXPECT_EQ(p->opacity, 0.0f);

    // Onto or beyond a neighbour: the position stays, the opacity is still taken.
    EXPECT_EQ(tf.MovePoint(p, 0, 0.25f), 0);
    EXPECT_EQ(p->position, 1);
    EXPECT_EQ(p->opacity, 0.25f);
    EXPECT_EQ(tf.MovePoint(p, 200, 0.75f), 0);
    EXPECT_EQ(p->position, 1);
    EXPECT_EQ(p->opacity, 0.75f);
    EXPECT_EQ(tf.MovePoint(p, 3000, 0.5f), 0);
    EXPECT_EQ(p->position, 1);
    EXPECT_EQ(tf.MovePoint(p, 199, 0.5f), 0);
    EXPECT_EQ(p->position, 199);
    // The colour never changes here.
    EXPECT_EQ(p->red, 0.5f);
    EXPECT_EQ(p->green, 0.25f);
    EXPECT_EQ(p->blue, 0.125f);
    EXPECT_EQ(tf.MovePoint(p, -5, 0.5f), 0);
    EXPECT_EQ(p->position, 199);
}

TEST(TransferFunctionTest, MovePointLeavesFirstAndLastAlone) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(2000, 0, 0, 0, 0.5f);
    EXPECT_EQ(tf.MovePoint(PointAt(tf, 0), 10, 0.9f), 0);
    EXPECT_EQ(tf.MovePoint(PointAt(tf, 4095), 4000, 0.9f), 0);
    EXPECT_EQ(Points(tf),
              (std::vector<Point>{{0, 0, 0, 0, 0}, {2000, 0, 0, 0, 0.5f}, {4095, 0, 0, 0, 0}}));

    // Also when they do not sit at 0 and 4095.
    tf.Clear();
    tf.SetPoint(10, 0, 0, 0, 0.1f);
    tf.SetPoint(20, 0, 0, 0, 0.2f);
    tf.SetPoint(30, 0, 0, 0, 0.3f);
    tf.MovePoint(PointAt(tf, 10), 5, 1.0f);
    tf.MovePoint(PointAt(tf, 30), 25, 1.0f);
    EXPECT_EQ(Points(tf),
              (std::vector<Point>{{10, 0, 0, 0, 0.1f}, {20, 0, 0, 0, 0.2f}, {30, 0, 0, 0, 0.3f}}));

    ControlPoint stranger{15, 0, 0, 0, 0, PointAt(tf, 30)};
    EXPECT_EQ(tf.MovePoint(&stranger, 16, 1.0f), -1);
    EXPECT_EQ(stranger.position, 15);
}

// ---------------------------------------------------------------- the table

TEST(TransferFunctionTest, BuildTableWorkedExample) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(0, 1, 0, 0, 1);
    EXPECT_EQ(tf.BuildTable(), 0);
    const TableEntry& e0 = tf.Lookup(0);
    EXPECT_EQ(e0.red, 255.0f);
    EXPECT_EQ(e0.green, 0.0f);
    EXPECT_EQ(e0.blue, 0.0f);
    EXPECT_EQ(e0.opacity, static_cast<float>(1.0 / 3547.5));
    EXPECT_NEAR(e0.opacity, 0.00028188864, 0.5e-11);

    const TableEntry& e2047 = tf.Lookup(2047);
    EXPECT_NEAR(e2047.red, 127.53114, 0.5e-5);
    EXPECT_NEAR(e2047.opacity, 0.00014097872, 0.5e-11);
    const TableEntry& e4094 = tf.Lookup(4094);
    EXPECT_NEAR(e4094.red, 0.062271, 0.5e-6);
    EXPECT_NEAR(e4094.opacity, 0.0000000688149, 0.5e-13);
    EXPECT_EQ(e4094.green, 0.0f);
    EXPECT_TRUE(SameEntry(tf.Lookup(4095), TableEntry{0, 0, 0, 0}));

    // Red falls as 255 (1 - i / 4095) all the way.
    for (int i = 0; i < 4096; ++i)
        EXPECT_NEAR(tf.m_Table[i].red, 255.0 * (1.0 - i / 4095.0), 2e-5) << i;
}

TEST(TransferFunctionTest, BuildTableWritesOnlyTheSpanOfThePoints) {
    CTransferFunction tf(nullptr);
    tf.Clear();
    tf.SetPoint(100, 0.2f, 0.4f, 0.6f, 0.5f);
    tf.SetPoint(200, 0.4f, 0.4f, 0.2f, 1.0f);
    FillTable(tf, -7.0f);
    tf.BuildTable();
    for (int i = 0; i < 4096; ++i) {
        const bool bWritten = i >= 100 && i <= 200;
        EXPECT_EQ(tf.m_Table[i].red == -7.0f, !bWritten) << i;
        EXPECT_EQ(tf.m_Table[i].opacity == -7.0f, !bWritten) << i;
    }
    // Both ends carry their own point's values; in between it is linear.
    EXPECT_EQ(tf.m_Table[100].red, 0.2f * 255.0f);
    EXPECT_EQ(tf.m_Table[100].blue, 0.6f * 255.0f);
    EXPECT_EQ(tf.m_Table[200].red, 0.4f * 255.0f);
    EXPECT_EQ(tf.m_Table[200].opacity, static_cast<float>(1.0 / 3547.5));
    EXPECT_NEAR(tf.m_Table[150].red, 0.3 * 255, 1e-4);
    EXPECT_NEAR(tf.m_Table[150].green, 0.4 * 255, 1e-4);
    EXPECT_NEAR(tf.m_Table[150].opacity, 0.75 / 3547.5, 1e-10);
    // Entries written by one pair are consistent with the next pair's start.
    tf.SetPoint(300, 0, 0, 0, 0);
    tf.BuildTable();
    EXPECT_EQ(tf.m_Table[200].red, 0.4f * 255.0f);
    EXPECT_EQ(tf.m_Table[300].red, 0.0f);
    EXPECT_EQ(tf.m_Table[301].red, -7.0f);
}

TEST(TransferFunctionTest, BuildTableWithoutPointsWritesNothing) {
    CTransferFunction tf(nullptr);
    tf.Clear();
    FillTable(tf, 3.0f);
    EXPECT_EQ(tf.BuildTable(), 0);
    for (const TableEntry& e : tf.m_Table)
        EXPECT_TRUE(SameEntry(e, TableEntry{3, 3, 3, 3}));
    // A single point writes just its own entry.
    tf.SetPoint(7, 1, 1, 1, 1);
    tf.BuildTable();
    EXPECT_EQ(tf.m_Table[7].red, 255.0f);
    EXPECT_EQ(tf.m_Table[6].red, 3.0f);
    EXPECT_EQ(tf.m_Table[8].red, 3.0f);
}

TEST(TransferFunctionTest, LookupClampsItsIndex) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(0, 1, 0, 0, 0);
    tf.SetPoint(4095, 0, 0, 1, 0);
    tf.BuildTable();
    EXPECT_EQ(&tf.Lookup(-1), &tf.m_Table[0]);
    EXPECT_EQ(&tf.Lookup(-32768), &tf.m_Table[0]);
    EXPECT_EQ(&tf.Lookup(4096), &tf.m_Table[4095]);
    EXPECT_EQ(&tf.Lookup(32767), &tf.m_Table[4095]);
    EXPECT_EQ(&tf.Lookup(1234), &tf.m_Table[1234]);
}

// ---------------------------------------------------------------- .trf files

TEST_F(TrfFileTest, RecordsHaveTheExactByteLayout) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(4095, 1.0f, 0.5f, 0.25f, 1.0f);
    ASSERT_EQ(tf.Save(PathOf("new.trf")), 0);
    const std::string s = Read(PathOf("new.trf"));
    ASSERT_EQ(s.size(), 48u);
    // Position 0, zero padding, four zero floats, link word 1 (a record follows).
    EXPECT_EQ(s.substr(0, 24), std::string("\0\0\0\0"
                                           "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
                                           "\1\0\0\0",
                                           24));
    // Position 4095 = 0x0FFF, then 1.0f, 0.5f, 0.25f, 1.0f, link word 0 (the last).
    EXPECT_EQ(s.substr(24), std::string("\xFF\x0F\0\0"
                                        "\0\0\x80\x3F"
                                        "\0\0\0\x3F"
                                        "\0\0\x80\x3E"
                                        "\0\0\x80\x3F"
                                        "\0\0\0\0",
                                        24));
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"new.trf"});
}

TEST_F(TrfFileTest, SaveAndLoadRoundTrip) {
    CTransferFunction a(nullptr);
    a.SetPoint(0, 0.1f, 0.2f, 0.3f, 0.0f);
    a.SetPoint(1000, 1.0f / 3.0f, 0.7f, 0.0f, 0.05f);
    a.SetPoint(1001, 1e-7f, 1.0f, 0.99999994f, 1.0f);
    a.SetPoint(3000, 0.5f, 0.5f, 0.5f, 0.3f);
    a.SetPoint(4095, 1.0f, 1.0f, 1.0f, 1.0f);
    a.BuildTable();
    ASSERT_EQ(a.Save(PathOf("rt.trf")), 0);
    EXPECT_EQ(fs::file_size(PathOf("rt.trf")), 5u * 24u);

    CTransferFunction b(nullptr);
    ASSERT_EQ(b.Load(PathOf("rt.trf")), 0);
    EXPECT_EQ(Points(b), Points(a));
    for (int i = 0; i < 4096; ++i)
        EXPECT_TRUE(SameEntry(b.m_Table[i], a.m_Table[i])) << i;

    // Saving over an existing file replaces it completely.
    b.Clear();
    b.SetPoint(5, 0, 0, 0, 0);
    ASSERT_EQ(b.Save(PathOf("rt.trf")), 0);
    EXPECT_EQ(fs::file_size(PathOf("rt.trf")), 24u);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"rt.trf"});
}

TEST_F(TrfFileTest, TrailingPartialRecordIsIgnored) {
    const std::string s =
        Record(0, 1, 0, 0, 1) + Record(4095, 0, 1, 0, 0.5f, 0) + std::string(12, '\x55');
    ASSERT_EQ(s.size(), 60u);
    CTransferFunction tf(nullptr);
    EXPECT_EQ(tf.Load(Write("sixty.trf", s)), 0);
    EXPECT_EQ(Points(tf), (std::vector<Point>{{0, 1, 0, 0, 1}, {4095, 0, 1, 0, 0.5f}}));
    EXPECT_EQ(tf.m_Table[4095].green, 255.0f); // the table was rebuilt
}

TEST_F(TrfFileTest, RecordsInAnyOrderComeOutSortedAndLaterDuplicatesWin) {
    const std::string s = Record(4095, 0, 0, 0, 0) + Record(2000, 0.5f, 0, 0, 0.5f) +
                          Record(0, 1, 1, 1, 1) + Record(2000, 0, 0.25f, 0, 0.75f);
    CTransferFunction tf(nullptr);
    ASSERT_EQ(tf.Load(Write("desc.trf", s)), 0);
    EXPECT_EQ(Points(tf), (std::vector<Point>{
                              {0, 1, 1, 1, 1}, {2000, 0, 0.25f, 0, 0.75f}, {4095, 0, 0, 0, 0}}));
}

TEST_F(TrfFileTest, RecordsOutsideTheTableAreSkipped) {
    const std::string s = Record(-1, 1, 1, 1, 1) + Record(10, 0.5f, 0, 0, 0) +
                          Record(4096, 1, 1, 1, 1) + Record(32767, 1, 1, 1, 1) +
                          Record(-32768, 1, 1, 1, 1) + Record(20, 0, 0.5f, 0, 0);
    CTransferFunction tf(nullptr);
    FillTable(tf, -1.0f);
    ASSERT_EQ(tf.Load(Write("range.trf", s)), 0);
    EXPECT_EQ(Points(tf), (std::vector<Point>{{10, 0.5f, 0, 0, 0}, {20, 0, 0.5f, 0, 0}}));
    EXPECT_EQ(tf.m_Table[9].red, -1.0f);
    EXPECT_EQ(tf.m_Table[21].red, -1.0f);
    EXPECT_EQ(tf.m_Table[4095].red, -1.0f);
}

TEST_F(TrfFileTest, ShortOrEmptyFileLoadsNoPointsAndWritesNoEntry) {
    for (size_t n : {size_t{0}, size_t{23}}) {
        CTransferFunction tf(nullptr);
        FillTable(tf, 2.0f);
        EXPECT_EQ(tf.Load(Write("short.trf", Record(5, 1, 1, 1, 1).substr(0, n))), 0);
        EXPECT_EQ(tf.GetFirstPoint(), nullptr);
        for (const TableEntry& e : tf.m_Table)
            EXPECT_TRUE(SameEntry(e, TableEntry{2, 2, 2, 2}));
    }
}

TEST_F(TrfFileTest, FailedLoadKeepsPointsAndTable) {
    CTransferFunction tf(nullptr);
    tf.SetPoint(1234, 0.5f, 0.5f, 0.5f, 0.5f);
    tf.BuildTable();
    const std::vector<Point> before = Points(tf);
    const TableEntry entry = tf.m_Table[1234];

    EXPECT_EQ(tf.Load(PathOf("missing.trf")), -1);
    EXPECT_EQ(Points(tf), before);
    EXPECT_TRUE(SameEntry(tf.m_Table[1234], entry));
    // A directory opens but cannot be read: no half-loaded function either.
    EXPECT_EQ(tf.Load(m_Dir.string()), -1);
    EXPECT_EQ(Points(tf), before);
    EXPECT_TRUE(SameEntry(tf.m_Table[1234], entry));
}

TEST_F(TrfFileTest, FailedSaveLeavesEverythingAsItWas) {
    CTransferFunction tf(nullptr);
    EXPECT_EQ(tf.Save(PathOf("no/such/dir/a.trf")), -1);
    EXPECT_FALSE(fs::exists(PathOf("no")));

    // A directory in the target's place stays a directory, with its contents.
    fs::create_directory(PathOf("d.trf"));
    Write("d.trf/inside", "keep");
    EXPECT_EQ(tf.Save(PathOf("d.trf")), -1);
    EXPECT_TRUE(fs::is_directory(PathOf("d.trf")));
    EXPECT_EQ(Read(PathOf("d.trf/inside")), "keep");
    EXPECT_EQ(tf.Save(PathOf("d.trf") + "/"), -1);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"d.trf"});
    EXPECT_EQ(fs::directory_iterator(PathOf("d.trf"))->path().filename(), "inside");
}

// Ignores SIGXFSZ and limits the size of files this process writes while alive.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t nBytes) {
        m_pOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_Old);
        rlimit limit = m_Old;
        limit.rlim_cur = nBytes;
        m_bActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_Old);
        std::signal(SIGXFSZ, m_pOldHandler);
    }
    bool Active() const { return m_bActive; }

private:
    rlimit m_Old{};
    void (*m_pOldHandler)(int) = nullptr;
    bool m_bActive = false;
};

TEST_F(TrfFileTest, WriteFailureLeavesAnExistingFileUntouched) {
    const std::string sOld = Record(0, 1, 1, 1, 1, 1) + Record(4095, 0, 0, 0, 0, 0);
    const std::string sPath = Write("keep.trf", sOld);
    CTransferFunction tf(nullptr);
    for (int i = 1; i < 10; ++i)
        tf.SetPoint(static_cast<int16_t>(i * 100), 0.5f, 0.5f, 0.5f, 0.5f); // 11 records
    int nResult = 0;
    {
        FileSizeLimit limit(100); // room for four of the eleven records
        ASSERT_TRUE(limit.Active());
        nResult = tf.Save(sPath);
    }
    EXPECT_EQ(nResult, -1);
    EXPECT_EQ(Read(sPath), sOld);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"keep.trf"});
    // With room again the same save succeeds.
    EXPECT_EQ(tf.Save(sPath), 0);
    EXPECT_EQ(fs::file_size(sPath), 11u * 24u);
}

} // namespace
