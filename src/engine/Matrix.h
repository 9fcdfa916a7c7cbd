// The view transformation family: an abstract transformation, a general 4 x 4
// matrix of doubles, three special matrices (rotation, scaling, translation),
// and the small vector helpers that the ray casters use on float triples.
#pragma once

#include <cmath>
#include <cstdint>

class CTransform {
public:
    virtual ~CTransform();
    // The base has nothing to reset.
    virtual void SetIdentity();
};

// Stored column by column: m_Elements[c][r] is the element of row r, column c.
// Points are column vectors with an implicit fourth component 1 (p' = M p), so
// the translation sits in column 3.
class CMatrix4 : public CTransform {
public:
    CMatrix4(); // the identity
    ~CMatrix4() override;

    void SetIdentity() override;
    // Premultiplies: this = other x this. Applied to a point, the newest factor acts
    // last.
    void Multiply(const CMatrix4& other);
    // pOut[i] = m[0][i] * x + m[1][i] * y + m[2][i] * z + m[3][i], evaluated in
    // double from left to right and stored as floats. Row 3 is ignored.
    void TransformPoint(float x, float y, float z, float* pOut) const;
    // Premultiply by a translation, a uniform scaling or a rotation about one axis
    // (0 x, 1 y, 2 z; any other axis leaves the matrix as it is).
    void Translate(double tx, double ty, double tz);
    void Scale(double s);
    void Rotate(int32_t nAxis, double dAngle);

    double m_Elements[4][4];
};

// Right-handed rotation by an angle in radians about axis 0 (x), 1 (y) or 2 (z);
// the identity for any other axis.
class CRotationMatrix : public CMatrix4 {
public:
    CRotationMatrix(int32_t nAxis, double dAngle);
    ~CRotationMatrix() override;
};

class CScalingMatrix : public CMatrix4 {
public:
    CScalingMatrix(double sx, double sy, double sz);
    ~CScalingMatrix() override;
};

class CTranslationMatrix : public CMatrix4 {
public:
    CTranslationMatrix(double tx, double ty, double tz);
    ~CTranslationMatrix() override;
};

class CVectorMath {
public:
    virtual ~CVectorMath();
    // sqrt(x*x + y*y + z*z) in double.
    double Length(double x, double y, double z);
};

// pOut = (x * s, y * s, z * s) in float.
void ScaleVector(float x, float y, float z, float s, float* pOut);
// pOut = (x, y, z) / sqrt(x*x + y*y + z*z), all in float. The zero vector (which
// has no direction) yields (0, 0, 0) instead of 0 / 0. Inline: the casters
// normalise at every shaded sample.
inline void NormalizeVector(float x, float y, float z, float* pOut) {
    const float fLength = std::sqrt(x * x + y * y + z * z);
    if (!(fLength > 0.0f)) {
        pOut[0] = pOut[1] = pOut[2] = 0.0f;
        return;
    }
    pOut[0] = x / fLength;
    pOut[1] = y / fLength;
    pOut[2] = z / fLength;
}
