#include "engine/Matrix.h"

#include <cmath>

CTransform::~CTransform() = default;

void CTransform::SetIdentity() {}

CMatrix4::CMatrix4() {
    CMatrix4::SetIdentity();
}

CMatrix4::~CMatrix4() = default;

void CMatrix4::SetIdentity() {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            m_Elements[c][r] = r == c ? 1.0 : 0.0;
}

void CMatrix4::Multiply(const CMatrix4& other) {
    // All sixteen products from the old values of both matrices (other may even
    // be this matrix).
    double result[4][4];
    const double(&a)[4][4] = other.m_Elements;
    const double(&b)[4][4] = m_Elements;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            result[c][r] =
                a[0][r] * b[c][0] + a[1][r] * b[c][1] + a[2][r] * b[c][2] + a[3][r] * b[c][3];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            m_Elements[c][r] = result[c][r];
}

void CMatrix4::TransformPoint(float x, float y, float z, float* pOut) const {
    const double dx = x;
    const double dy = y;
    const double dz = z;
    for (int i = 0; i < 3; ++i)
        pOut[i] = static_cast<float>(m_Elements[0][i] * dx + m_Elements[1][i] * dy +
                                     m_Elements[2][i] * dz + m_Elements[3][i]);
}

void CMatrix4::Translate(double tx, double ty, double tz) {
    CTranslationMatrix* pTranslation = new CTranslationMatrix(tx, ty, tz);
    Multiply(*pTranslation);
    delete pTranslation;
}

void CMatrix4::Scale(double s) {
    CScalingMatrix* pScaling = new CScalingMatrix(s, s, s);
    Multiply(*pScaling);
    delete pScaling;
}

void CMatrix4::Rotate(int32_t nAxis, double dAngle) {
    CRotationMatrix* pRotation = new CRotationMatrix(nAxis, dAngle);
    Multiply(*pRotation);
    delete pRotation;
}

CRotationMatrix::CRotationMatrix(int32_t nAxis, double dAngle) {
    const double c = std::cos(dAngle);
    const double s = std::sin(dAngle);
    double(&m)[4][4] = m_Elements;
    switch (nAxis) {
    case 0: // rows 1 and 2: (0, c, -s), (0, s, c)
        m[1][1] = c;
        m[2][1] = -s;
        m[1][2] = s;
        m[2][2] = c;
        break;
    case 1: // rows 0 and 2: (c, 0, s), (-s, 0, c)
        m[0][0] = c;
        m[2][0] = s;
        m[0][2] = -s;
        m[2][2] = c;
        break;
    case 2: // rows 0 and 1: (c, -s, 0), (s, c, 0)
        m[0][0] = c;
        m[1][0] = -s;
        m[0][1] = s;
        m[1][1] = c;
        break;
    default:
        break;
    }
}

CRotationMatrix::~CRotationMatrix() = default;

CScalingMatrix::CScalingMatrix(double sx, double sy, double sz) {
    m_Elements[0][0] = sx;
    m_Elements[1][1] = sy;
    m_Elements[2][2] = sz;
}

CScalingMatrix::~CScalingMatrix() = default;

CTranslationMatrix::CTranslationMatrix(double tx, double ty, double tz) {
    m_Elements[3][0] = tx;
    m_Elements[3][1] = ty;
    m_Elements[3][2] = tz;
}

CTranslationMatrix::~CTranslationMatrix() = default;

CVectorMath::~CVectorMath() = default;

double CVectorMath::Length(double x, double y, double z) {
    return std::sqrt(x * x + y * y + z * z);
}

void ScaleVector(float x, float y, float z, float s, float* pOut) {
    pOut[0] = x * s;
    pOut[1] = y * s;
    pOut[2] = z * s;
}
