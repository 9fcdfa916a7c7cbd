#include <gtest/gtest.h>

#include <cmath>
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

TEST(MatrixTest, RotationsAreRightHandedAndTheNewestOperationActsLast) {
    const double q = std::numbers::pi / 2;
    CMatrix4 x, y, z;
    x.Rotate(0, q);
    y.Rotate(1, q);
    z.Rotate(2, q);
    ExpectMaps(x, 0, 1, 0, 0, 0, 1); // +y toward +z
    ExpectMaps(y, 1, 0, 0, 0, 0, -1);
    ExpectMaps(y, 0, 0, 1, 1, 0, 0);
    ExpectMaps(z, 1, 0, 0, 0, 1, 0); // +x toward +y
    // An unknown axis changes nothing.
    CMatrix4 m = z;
    m.Rotate(3, 1.234);
    m.Rotate(-1, 1.234);
    ExpectMaps(m, 1, 0, 0, 0, 1, 0);

    CMatrix4 a;
    a.Translate(1, 2, 3);
    a.Scale(2);
    ExpectMaps(a, 0, 0, 0, 2, 4, 6);
    // Rotate, then translate: (1, 0, 0) turns to (0, 1, 0) and then moves.
    z.Translate(10, 0, 0);
    ExpectMaps(z, 1, 0, 0, 10, 1, 0);
    // Multiply uses the old values even with itself: (S T)(S T) maps p to
    // 3 (3 (p + t) + t).
    CMatrix4 s;
    s.Translate(1, 2, 3);
    s.Scale(3);
    s.Multiply(s);
    ExpectMaps(s, 1, 1, 1, 3.0f * (3.0f * 2.0f + 1.0f), 3.0f * (3.0f * 3.0f + 2.0f),
               3.0f * (3.0f * 4.0f + 3.0f));
    s.SetIdentity();
    ExpectMaps(s, 1, 2, 3, 1, 2, 3);
}

} // namespace
