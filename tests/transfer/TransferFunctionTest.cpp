// The control-point list, the lookup table and the .trf format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "transfer/TransferFunction.h"

namespace fs = std::filesystem;

namespace {

using testfiles::Le16;
using testfiles::Le32;
using testfiles::LeFloat;
using testfiles::ReadFile;
using testfiles::ScratchDir;

struct Point {
    int position;
    float red, green, blue, opacity;
    bool operator==(const Point&) const = default;
};
using Points = std::vector<Point>;

Points PointsOf(const CTransferFunction& tf) {
    Points v;
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

// A .trf record; existing files carry arbitrary padding and link words.
std::string Record(int nPosition, float r, float g, float b, float a, uint32_t nLink = 0xDEADBEEF,
                   const std::string& sPadding = "\xAB\xCD") {
    return Le16(nPosition) + sPadding + LeFloat(r) + LeFloat(g) + LeFloat(b) + LeFloat(a) +
           Le32(nLink);
}

void FillTable(CTransferFunction& tf, float f) {
    for (TableEntry& e : tf.m_Table)
        e = {f, f, f, f};
}

bool SameEntry(const TableEntry& a, const TableEntry& b) {
    return std::memcmp(&a, &b, sizeof(TableEntry)) == 0;
}

// ---------------------------------------------------------------- the list

TEST(TransferFunctionPoints, NewFunctionAndSetPointKeepTheListSorted) {
    CTransferFunction tf;
    EXPECT_EQ(PointsOf(tf), (Points{{0, 0, 0, 0, 0}, {4095, 0, 0, 0, 0}}));
    for (const TableEntry& e : tf.m_Table)
        ASSERT_TRUE(SameEntry(e, TableEntry{0, 0, 0, 0}));
    for (int16_t n : {-1, 4096, -32768})
        EXPECT_EQ(tf.SetPoint(n, 1, 1, 1, 1), -1) << n;
    EXPECT_EQ(PointsOf(tf).size(), 2u);

    EXPECT_EQ(tf.Clear(), 0);
    EXPECT_EQ(tf.GetFirstPoint(), nullptr);
    // Into the empty list, before the first, after the last, between, right after
    // and right before a point.
    auto point = [](int n) { return Point{n, n / 1000.0f, 0, 0, n / 2000.0f}; };
    for (int n : {500, 100, 900, 300, 101, 899})
        EXPECT_EQ(tf.SetPoint(int16_t(n), point(n).red, 0, 0, point(n).opacity), 0) << n;
    // An existing position is replaced in place, the first and the last included.
    ControlPoint* p500 = PointAt(tf, 500);
    EXPECT_EQ(tf.SetPoint(500, 1.0f, 0.25f, 0.75f, 0.125f), 0);
    tf.SetPoint(100, 0, 1, 0, 1);
    tf.SetPoint(900, 0, 0, 1, 1);
    EXPECT_EQ(PointAt(tf, 500), p500);
    EXPECT_EQ(PointsOf(tf), (Points{{100, 0, 1, 0, 1},
                                    point(101),
                                    point(300),
                                    {500, 1.0f, 0.25f, 0.75f, 0.125f},
                                    point(899),
                                    {900, 0, 0, 1, 1}}));
}

TEST(TransferFunctionPoints, FindPreviousAndRemovePointProtectTheEndsAndTheFirst) {
    CTransferFunction tf;
    tf.SetPoint(10, 0, 0, 0, 0);
    ControlPoint stranger{15, 0, 0, 0, 0, nullptr};
    EXPECT_EQ(tf.FindPrevious(PointAt(tf, 0)), nullptr);
    EXPECT_EQ(tf.FindPrevious(PointAt(tf, 10)), PointAt(tf, 0));
    EXPECT_EQ(tf.FindPrevious(PointAt(tf, 4095)), PointAt(tf, 10));
    EXPECT_EQ(tf.FindPrevious(&stranger), nullptr);
    EXPECT_EQ(tf.FindPrevious(nullptr), nullptr);

    // The points at 0 and 4095 stay (with status 0); one between them goes.
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 0)), 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 4095)), 0);
    EXPECT_EQ(PointsOf(tf).size(), 3u);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 10)), 0);
    EXPECT_EQ(PointsOf(tf), (Points{{0, 0, 0, 0, 0}, {4095, 0, 0, 0, 0}}));

    // Without end points: the first point stays, a last point elsewhere may go.
    tf.Clear();
    for (int16_t n : {10, 20, 30})
        tf.SetPoint(n, 0, 0, 0, 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 10)), 0);
    EXPECT_EQ(tf.RemovePoint(PointAt(tf, 30)), 0);
    EXPECT_EQ(PointsOf(tf), (Points{{10, 0, 0, 0, 0}, {20, 0, 0, 0, 0}}));
    // A point that is not in the list is neither unlinked nor freed.
    EXPECT_EQ(tf.RemovePoint(&stranger), -1);
    EXPECT_EQ(tf.RemovePoint(nullptr), -1);
    EXPECT_EQ(PointsOf(tf).size(), 2u);
}

TEST(TransferFunctionPoints, MovePointClampsOpacityNeverOvertakesAndSparesTheEnds) {
    CTransferFunction tf;
    tf.SetPoint(100, 0.5f, 0.25f, 0.125f, 0.5f);
    tf.SetPoint(200, 0, 0, 0, 0.5f);
    ControlPoint* p = PointAt(tf, 100);
    // Strictly between the neighbours (0 and 200) the point moves; onto or beyond
    // one it stays. The opacity is always taken, clamped to 0..1.
    const struct {
        int16_t nTo;
        float fOpacity;
        int nPosition;
        float fExpected;
    } steps[] = {{150, 1.7f, 150, 1.0f}, {1, -0.2f, 1, 0.0f},   {0, 0.25f, 1, 0.25f},
                 {200, 0.75f, 1, 0.75f}, {3000, 0.5f, 1, 0.5f}, {199, 0.5f, 199, 0.5f},
                 {-5, 0.3f, 199, 0.3f}};
    for (const auto& s : steps) {
        EXPECT_EQ(tf.MovePoint(p, s.nTo, s.fOpacity), 0);
        EXPECT_EQ(p->position, s.nPosition) << "to " << s.nTo;
        EXPECT_EQ(p->opacity, s.fExpected) << "to " << s.nTo;
    }
    // The colour never changes, and the first and the last point stay as they are.
    EXPECT_EQ(tf.MovePoint(PointAt(tf, 0), 10, 0.9f), 0);
    EXPECT_EQ(tf.MovePoint(PointAt(tf, 4095), 4000, 0.9f), 0);
    EXPECT_EQ(PointsOf(tf), (Points{{0, 0, 0, 0, 0},
                                    {199, 0.5f, 0.25f, 0.125f, 0.3f},
                                    {200, 0, 0, 0, 0.5f},
                                    {4095, 0, 0, 0, 0}}));
    // Also when they do not sit at 0 and 4095.
    tf.Clear();
    for (int16_t n : {10, 20, 30})
        tf.SetPoint(n, 0, 0, 0, n / 100.0f);
    tf.MovePoint(PointAt(tf, 10), 5, 1.0f);
    tf.MovePoint(PointAt(tf, 30), 25, 1.0f);
    EXPECT_EQ(PointsOf(tf),
              (Points{{10, 0, 0, 0, 0.1f}, {20, 0, 0, 0, 0.2f}, {30, 0, 0, 0, 0.3f}}));
    ControlPoint stranger{15, 0, 0, 0, 0, PointAt(tf, 30)};
    EXPECT_EQ(tf.MovePoint(&stranger, 16, 1.0f), -1);
    EXPECT_EQ(stranger.position, 15);
}

// ---------------------------------------------------------------- the table

TEST(TransferFunctionTable, ASinglePointWritesItsEntryAndLookupClamps) {
    CTransferFunction tf;
    tf.Clear();
    FillTable(tf, 3.0f);
    tf.SetPoint(7, 1, 1, 1, 1); // a single point writes just its own entry
    EXPECT_EQ(tf.BuildTable(), 0);
    EXPECT_EQ(tf.m_Table[7].red, 255.0f);
    EXPECT_EQ(tf.m_Table[6].red, 3.0f);
    EXPECT_EQ(tf.m_Table[8].red, 3.0f);

    // No index reads outside the table.
    for (auto [nValue, nEntry] :
         {std::pair{-1, 0}, {-32768, 0}, {4096, 4095}, {32767, 4095}, {1234, 1234}})
        EXPECT_EQ(&tf.Lookup(int16_t(nValue)), &tf.m_Table[nEntry]) << nValue;
}

// ---------------------------------------------------------------- .trf files

TEST(TrfFile, RecordsHaveTheExactByteLayoutAndRoundTrip) {
    ScratchDir dir;
    CTransferFunction tf;
    tf.SetPoint(4095, 1.0f, 0.5f, 0.25f, 1.0f);
    ASSERT_EQ(tf.Save(dir.Path("new.trf")), 0);
    // Zero padding; link word 1 when a record follows, 0 in the last.
    const std::string sZero(2, '\0');
    EXPECT_EQ(ReadFile(dir.Path("new.trf")),
              Record(0, 0, 0, 0, 0, 1, sZero) + Record(4095, 1.0f, 0.5f, 0.25f, 1.0f, 0, sZero));

    CTransferFunction a;
    a.SetPoint(0, 0.1f, 0.2f, 0.3f, 0.0f);
    a.SetPoint(1000, 1.0f / 3.0f, 0.7f, 0.0f, 0.05f);
    a.SetPoint(1001, 1e-7f, 1.0f, 0.99999994f, 1.0f);
    a.SetPoint(3000, 0.5f, 0.5f, 0.5f, 0.3f);
    a.SetPoint(4095, 1.0f, 1.0f, 1.0f, 1.0f);
    a.BuildTable();
    // Saving over an existing file replaces it completely, leaving nothing beside it.
    ASSERT_EQ(a.Save(dir.Path("new.trf")), 0);
    EXPECT_EQ(fs::file_size(dir.Path("new.trf")), 5u * 24u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
    CTransferFunction b;
    ASSERT_EQ(b.Load(dir.Path("new.trf")), 0);
    EXPECT_EQ(PointsOf(b), PointsOf(a));
    for (int i = 0; i < 4096; ++i)
        ASSERT_TRUE(SameEntry(b.m_Table[i], a.m_Table[i])) << i;
}

TEST(TrfFile, LoadTakesWholeRecordsInRangeInAnyOrder) {
    ScratchDir dir;
    const struct {
        const char* pWhat;
        std::string sBytes;
        Points points;
    } cases[] = {
        {"60 bytes: the partial record is ignored",
         Record(0, 1, 0, 0, 1) + Record(4095, 0, 1, 0, 0.5f, 0) + std::string(12, '\x55'),
         {{0, 1, 0, 0, 1}, {4095, 0, 1, 0, 0.5f}}},
        {"descending, a later duplicate wins",
         Record(4095, 0, 0, 0, 0) + Record(2000, 0.5f, 0, 0, 0.5f) + Record(0, 1, 1, 1, 1) +
             Record(2000, 0, 0.25f, 0, 0.75f),
         {{0, 1, 1, 1, 1}, {2000, 0, 0.25f, 0, 0.75f}, {4095, 0, 0, 0, 0}}},
        {"positions outside 0..4095 are skipped",
         Record(-1, 1, 1, 1, 1) + Record(10, 0.5f, 0, 0, 0) + Record(4096, 1, 1, 1, 1) +
             Record(32767, 1, 1, 1, 1) + Record(-32768, 1, 1, 1, 1) + Record(20, 0, 0.5f, 0, 0),
         {{10, 0.5f, 0, 0, 0}, {20, 0, 0.5f, 0, 0}}},
        {"colour or opacity not a finite number is skipped",
         Record(30, 1, 1, 1, 1) + Record(10, 0, 0, 0, std::nanf("")) +
             Record(30, 1, 1, INFINITY, 1) + Record(40, -INFINITY, 0, 0, 1) +
             Record(50, 0, std::nanf(""), 0, 0),
         {{30, 1, 1, 1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pWhat);
        CTransferFunction tf;
        FillTable(tf, -1.0f);
        ASSERT_EQ(tf.Load(dir.Write("a.trf", c.sBytes)), 0);
        EXPECT_EQ(PointsOf(tf), c.points);
        // The table is rebuilt over the points' span, and only there.
        for (int i = 0; i < 4096; ++i) {
            const bool bSpan = !c.points.empty() && i >= c.points.front().position &&
                               i <= c.points.back().position;
            ASSERT_EQ(tf.m_Table[i].red == -1.0f, !bSpan) << i;
        }
        for (const Point& p : c.points)
            EXPECT_EQ(tf.m_Table[p.position].green, p.green * 255.0f) << p.position;
    }
}

TEST(TrfFile, FailedLoadKeepsPointsAndTable) {
    ScratchDir dir;
    CTransferFunction tf;
    tf.SetPoint(1234, 0.5f, 0.5f, 0.5f, 0.5f);
    tf.BuildTable();
    const Points before = PointsOf(tf);
    const TableEntry entry = tf.m_Table[1234];
    // A missing file; a directory opens but cannot be read: no half-loaded
    // function. Files without a usable record are no function either.
    const std::string files[] = {
        dir.Path("missing.trf"),
        dir.Path(),
        dir.Write("empty.trf", ""),
        dir.Write("23.trf", Record(5, 1, 1, 1, 1).substr(0, 23)),
        dir.Write("outside.trf", Record(-1, 1, 1, 1, 1) + Record(4096, 1, 1, 1, 1)),
        dir.Write("nan.trf", Record(5, 1, 1, 1, std::nanf("")) + Record(6, INFINITY, 1, 1, 1)),
    };
    for (const std::string& sPath : files) {
        EXPECT_EQ(tf.Load(sPath), -1) << sPath;
        EXPECT_EQ(PointsOf(tf), before);
        EXPECT_TRUE(SameEntry(tf.m_Table[1234], entry));
    }
}

TEST(TrfFile, FailedSaveLeavesEverythingAsItWas) {
    ScratchDir dir;
    CTransferFunction tf;
    EXPECT_EQ(tf.Save(dir.Path("no/such/dir/a.trf")), -1);
    EXPECT_FALSE(fs::exists(dir.Path("no")));
    // A directory in the target's place stays a directory, with its contents.
    fs::create_directory(dir.Path("d.trf"));
    dir.Write("d.trf/inside", "keep");
    EXPECT_EQ(tf.Save(dir.Path("d.trf")), -1);
    EXPECT_EQ(tf.Save(dir.Path("d.trf") + "/"), -1);
    EXPECT_EQ(ReadFile(dir.Path("d.trf/inside")), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("d.trf")), {}), 1);

    // A write that fails half-way leaves the old file as it was, and no temporary.
    const std::string sOld = Record(0, 1, 1, 1, 1, 1) + Record(4095, 0, 0, 0, 0, 0);
    const std::string sPath = dir.Write("keep.trf", sOld);
    for (int i = 1; i < 10; ++i)
        tf.SetPoint(static_cast<int16_t>(i * 100), 0.5f, 0.5f, 0.5f, 0.5f); // 11 records
    int nResult = 0;
    {
        testfiles::FileSizeLimit limit(100); // room for four of the eleven records
        ASSERT_TRUE(limit.m_bActive);
        nResult = tf.Save(sPath);
    }
    EXPECT_EQ(nResult, -1);
    EXPECT_EQ(ReadFile(sPath), sOld);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2); // keep.trf, d.trf
    // With room again the same save succeeds.
    EXPECT_EQ(tf.Save(sPath), 0);
    EXPECT_EQ(fs::file_size(sPath), 11u * 24u);
}

} // namespace
