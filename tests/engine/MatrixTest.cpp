#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "engine/Matrix.h"

namespace {

struct Point {
    float x, y, z;
};

Point Apply(const CMatrix4& m, float x, float y, float z) {
    float out[3];
    m.TransformPoint(x, y, z, out);
    return {out[0], out[1], out[2]};
}

void ExpectNear(const Point& p, float x, float y, float z) {
    EXPECT_NEAR(p.x, x, 1e-6f);
    EXPECT_NEAR(p.y, y, 1e-6f);
    EXPECT_NEAR(p.z, z, 1e-6f);
}

bool SameElements(const CMatrix4& a, const CMatrix4& b) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (a.m_Elements[c][r] != b.m_Elements[c][r])
                return false;
    return true;
}

} // namespace

TEST(MatrixTest, NewMatrixAndSetIdentityThroughTheBaseGiveTheIdentity) {
    std::unique_ptr<CTransform> pTransform = std::make_unique<CMatrix4>();
    auto& m = static_cast<CMatrix4&>(*pTransform);
    m.Translate(4, 5, 6);
    m.Rotate(2, 0.3);
    pTransform->SetIdentity();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(m.m_Elements[c][r], r == c ? 1.0 : 0.0) << c << "," << r;
}

TEST(MatrixTest, SpecialMatricesSetOnlyTheirElementsInColumnMajorOrder) {
    const CTranslationMatrix t(1, 2, 3);
    EXPECT_EQ(t.m_Elements[3][0], 1.0);
    EXPECT_EQ(t.m_Elements[3][1], 2.0);
    EXPECT_EQ(t.m_Elements[3][2], 3.0);
    EXPECT_EQ(t.m_Elements[0][3], 0.0); // row 3 stays (0, 0, 0, 1)
    EXPECT_EQ(t.m_Elements[3][3], 1.0);

    const CScalingMatrix s(2, 3, 4);
    EXPECT_EQ(s.m_Elements[0][0], 2.0);
    EXPECT_EQ(s.m_Elements[1][1], 3.0);
    EXPECT_EQ(s.m_Elements[2][2], 4.0);
    EXPECT_EQ(s.m_Elements[3][3], 1.0);

    const double a = 0.5;
    const CRotationMatrix rx(0, a);
    EXPECT_EQ(rx.m_Elements[1][1], std::cos(a));
    EXPECT_EQ(rx.m_Elements[2][1], -std::sin(a)); // row 1 = (0, c, -s)
    EXPECT_EQ(rx.m_Elements[1][2], std::sin(a));  // row 2 = (0, s, c)
    const CRotationMatrix ry(1, a);
    EXPECT_EQ(ry.m_Elements[2][0], std::sin(a));  // row 0 = (c, 0, s)
    EXPECT_EQ(ry.m_Elements[0][2], -std::sin(a)); // row 2 = (-s, 0, c)
    const CRotationMatrix rz(2, a);
    EXPECT_EQ(rz.m_Elements[1][0], -std::sin(a)); // row 0 = (c, -s, 0)
    EXPECT_EQ(rz.m_Elements[0][1], std::sin(a));  // row 1 = (s, c, 0)
    EXPECT_TRUE(SameElements(CRotationMatrix(3, a), CMatrix4()));
    EXPECT_TRUE(SameElements(CRotationMatrix(-1, a), CMatrix4()));
}

TEST(MatrixTest, RotationsAreRightHanded) {
    const double q = std::numbers::pi / 2;
    CMatrix4 y;
    y.Rotate(1, q);
    ExpectNear(Apply(y, 1, 0, 0), 0, 0, -1);
    ExpectNear(Apply(y, 0, 0, 1), 1, 0, 0);
    CMatrix4 x;
    x.Rotate(0, q);
    ExpectNear(Apply(x, 0, 1, 0), 0, 0, 1); // +y toward +z
    CMatrix4 z;
    z.Rotate(2, q);
    ExpectNear(Apply(z, 1, 0, 0), 0, 1, 0); // +x toward +y
}

TEST(MatrixTest, RotationAboutAnUnknownAxisChangesNothing) {
    CMatrix4 m;
    m.Translate(1, -2, 3);
    m.Rotate(0, 0.7);
    CMatrix4 before = m;
    m.Rotate(3, 1.234);
    EXPECT_TRUE(SameElements(m, before));
}

TEST(MatrixTest, EachOperationPremultipliesSoTheNewestActsLast) {
    CMatrix4 a;
    a.Translate(1, 2, 3);
    a.Scale(2);
    const Point pa = Apply(a, 0, 0, 0);
    EXPECT_EQ(pa.x, 2.0f);
    EXPECT_EQ(pa.y, 4.0f);
    EXPECT_EQ(pa.z, 6.0f);

    CMatrix4 b;
    b.Scale(2);
    b.Translate(1, 2, 3);
    const Point pb = Apply(b, 0, 0, 0);
    EXPECT_EQ(pb.x, 1.0f);
    EXPECT_EQ(pb.y, 2.0f);
    EXPECT_EQ(pb.z, 3.0f);

    // Rotate, then translate: (1, 0, 0) turns to (0, 1, 0) and then moves.
    CMatrix4 c;
    c.Rotate(2, std::numbers::pi / 2);
    c.Translate(10, 0, 0);
    ExpectNear(Apply(c, 1, 0, 0), 10, 1, 0);
}

TEST(MatrixTest, MultiplyUsesTheOldValuesEvenWithItself) {
    CMatrix4 m;
    m.Translate(1, 2, 3);
    m.Scale(3);
    m.Multiply(m); // (S T)(S T): p -> 3 (3 (p + t) + t)
    const Point p = Apply(m, 1, 1, 1);
    EXPECT_EQ(p.x, 3.0f * (3.0f * 2.0f + 1.0f));
    EXPECT_EQ(p.y, 3.0f * (3.0f * 3.0f + 2.0f));
    EXPECT_EQ(p.z, 3.0f * (3.0f * 4.0f + 3.0f));
}

TEST(MatrixTest, TransformPointWorksInDoubleAndIgnoresRowThree) {
    CMatrix4 m;
    m.m_Elements[0][0] = 16777216.0; // 2^24
    m.m_Elements[1][0] = 1.0;
    m.m_Elements[3][0] = 1.0;
    // 2^24 + 1 + 0 + 1 is exact in double; summed in float, each + 1 would be lost.
    EXPECT_EQ(Apply(m, 1.0f, 1.0f, 0.0f).x, 16777218.0f);

    m.SetIdentity();
    m.m_Elements[0][3] = 5.0; // row 3: no division by w
    m.m_Elements[3][3] = 7.0;
    const Point p = Apply(m, 1, 2, 3);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
}

TEST(VectorMathTest, LengthScaleAndNormalize) {
    CVectorMath math;
    EXPECT_EQ(math.Length(256, 256, 128), 384.0);
    EXPECT_EQ(math.Length(1, 1, 1), std::sqrt(3.0));

    float out[3] = {9, 9, 9};
    ScaleVector(1.5f, -2.0f, 3.0f, 0.0f, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    ScaleVector(1.5f, -2.0f, 3.0f, 2.0f, out);
    EXPECT_EQ(out[0], 3.0f);
    EXPECT_EQ(out[1], -4.0f);
    EXPECT_EQ(out[2], 6.0f);

    NormalizeVector(3, 0, 4, out);
    EXPECT_EQ(out[0], 0.6f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.8f);
}

TEST(VectorMathTest, NormalizingTheZeroVectorGivesZeroNotNaN) {
    float out[3] = {1, 1, 1};
    NormalizeVector(0, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
}
