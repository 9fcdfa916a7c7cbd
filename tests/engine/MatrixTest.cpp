#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "engine/Matrix.h"

namespace {

void ExpectMaps(const CMatrix4& m, float x, float y, float z, float ex, float ey, float ez) {
    float out[3];
    m.TransformPoint(x, y, z, out);
    EXPECT_NEAR(out[0], ex, 1e-6f);
    EXPECT_NEAR(out[1], ey, 1e-6f);
    EXPECT_NEAR(out[2], ez, 1e-6f);
}

bool SameElements(const CMatrix4& a, const CMatrix4& b) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (a.m_Elements[c][r] != b.m_Elements[c][r])
                return false;
    return true;
}

} // namespace

TEST(MatrixTest, SpecialMatricesSetOnlyTheirElementsInColumnMajorOrder) {
    std::unique_ptr<CTransform> pTransform = std::make_unique<CMatrix4>();
    auto& m = static_cast<CMatrix4&>(*pTransform);
    m.Translate(4, 5, 6);
    m.Rotate(2, 0.3);
    pTransform->SetIdentity(); // through the base
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(m.m_Elements[c][r], r == c ? 1.0 : 0.0) << c << "," << r;

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
    EXPECT_EQ(rx.m_Elements[2][1], -std::sin(a)); // row 1 = (0, c, -s)
    EXPECT_EQ(rx.m_Elements[1][2], std::sin(a));  // row 2 = (0, s, c)
    const CRotationMatrix ry(1, a);
    EXPECT_EQ(ry.m_Elements[2][0], std::sin(a));  // row 0 = (c, 0, s)
    EXPECT_EQ(ry.m_Elements[0][2], -std::sin(a)); // row 2 = (-s, 0, c)
    const CRotationMatrix rz(2, a);
    EXPECT_EQ(rz.m_Elements[1][0], -std::sin(a)); // row 0 = (c, -s, 0)
    EXPECT_EQ(rz.m_Elements[0][1], std::sin(a));  // row 1 = (s, c, 0)
    // An unknown axis gives the identity, and rotating about one changes nothing.
    EXPECT_TRUE(SameElements(CRotationMatrix(3, a), CMatrix4()));
    EXPECT_TRUE(SameElements(CRotationMatrix(-1, a), CMatrix4()));
    m.Translate(1, -2, 3);
    m.Rotate(0, 0.7);
    const CMatrix4 before = m;
    m.Rotate(3, 1.234);
    EXPECT_TRUE(SameElements(m, before));
}

TEST(MatrixTest, RotationsAreRightHanded) {
    const double q = std::numbers::pi / 2;
    CMatrix4 y;
    y.Rotate(1, q);
    ExpectMaps(y, 1, 0, 0, 0, 0, -1);
    ExpectMaps(y, 0, 0, 1, 1, 0, 0);
    CMatrix4 x;
    x.Rotate(0, q);
    ExpectMaps(x, 0, 1, 0, 0, 0, 1); // +y toward +z
    CMatrix4 z;
    z.Rotate(2, q);
    ExpectMaps(z, 1, 0, 0, 0, 1, 0); // +x toward +y
}

TEST(MatrixTest, EachOperationPremultipliesSoTheNewestActsLast) {
    CMatrix4 a;
    a.Translate(1, 2, 3);
    a.Scale(2);
    ExpectMaps(a, 0, 0, 0, 2, 4, 6);
    CMatrix4 b;
    b.Scale(2);
    b.Translate(1, 2, 3);
    ExpectMaps(b, 0, 0, 0, 1, 2, 3);
    // Rotate, then translate: (1, 0, 0) turns to (0, 1, 0) and then moves.
    CMatrix4 c;
    c.Rotate(2, std::numbers::pi / 2);
    c.Translate(10, 0, 0);
    ExpectMaps(c, 1, 0, 0, 10, 1, 0);
    // Multiply uses the old values even with itself: (S T)(S T) maps p to
    // 3 (3 (p + t) + t).
    CMatrix4 m;
    m.Translate(1, 2, 3);
    m.Scale(3);
    m.Multiply(m);
    ExpectMaps(m, 1, 1, 1, 3.0f * (3.0f * 2.0f + 1.0f), 3.0f * (3.0f * 3.0f + 2.0f),
               3.0f * (3.0f * 4.0f + 3.0f));
}

TEST(MatrixTest, TransformPointWorksInDoubleAndIgnoresRowThree) {
    CMatrix4 m;
    m.m_Elements[0][0] = 16777216.0; // 2^24
    m.m_Elements[1][0] = 1.0;
    m.m_Elements[3][0] = 1.0;
    // 2^24 + 1 + 0 + 1 is exact in double; summed in float, each + 1 would be lost.
    float out[3];
    m.TransformPoint(1.0f, 1.0f, 0.0f, out);
    EXPECT_EQ(out[0], 16777218.0f);

    m.SetIdentity();
    m.m_Elements[0][3] = 5.0; // row 3: no division by w
    m.m_Elements[3][3] = 7.0;
    ExpectMaps(m, 1, 2, 3, 1, 2, 3);
}

TEST(VectorMathTest, LengthScaleAndNormalize) {
    CVectorMath math;
    EXPECT_EQ(math.Length(256, 256, 128), 384.0);
    EXPECT_EQ(math.Length(1, 1, 1), std::sqrt(3.0));

    auto expect = [](const float* out, float x, float y, float z) {
        EXPECT_EQ(out[0], x);
        EXPECT_EQ(out[1], y);
        EXPECT_EQ(out[2], z);
    };
    float out[3] = {9, 9, 9};
    ScaleVector(1.5f, -2.0f, 3.0f, 0.0f, out);
    expect(out, 0, 0, 0);
    ScaleVector(1.5f, -2.0f, 3.0f, 2.0f, out);
    expect(out, 3, -4, 6);
    NormalizeVector(3, 0, 4, out);
    expect(out, 0.6f, 0, 0.8f);
    NormalizeVector(0, 0, 0, out); // zero, not NaN
    expect(out, 0, 0, 0);
}
