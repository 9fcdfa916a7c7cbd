#include "engine/RayCaster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#define ORVEX_X86 1
#include <immintrin.h>
#endif

#include "engine/BrickMap.h"
#include "engine/CompositingModes.h"
#include "engine/FloatSteps.h"
#include "engine/ShadeCache.h"
#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

namespace {

// The double nearest to 1/255, the First Hit scale factor.
constexpr double K255_DOUBLE = 0.00392156862745098;

// A value truncated toward zero into the signed 16-bit range; NaN gives 0.
int16_t TruncToInt16(double d) {
    if (!(d > -32768.0))
        return d != d ? 0 : -32768;
    if (d >= 32767.0)
        return 32767;
    return static_cast<int16_t>(static_cast<int>(d));
}

// A shaded colour component truncated toward zero into a byte: below 0 (and NaN)
// becomes 0, above 255 becomes 255.
uint8_t TruncToByte(float f) {
    if (!(f > 0.0f))
        return 0;
    if (f >= 255.0f)
        return 255;
    return static_cast<uint8_t>(static_cast<int>(f));
}

} // namespace

float SpecularPower(float fCosine) {
    const double x = fCosine;
    if (!(std::fabs(x) >= 1.0e-10 && std::fabs(x) <= 1.0e10))
        return static_cast<float>(std::pow(x, 30.0)); // zero, tiny, huge, infinite or NaN
    // x^30 by seven multiplications, each rounding by at most 2^-53 relatively:
    // within 29 * 2^-53 of the exact power (which neither underflows nor
    // overflows here). The library's pow is within one unit in the last place
    // (2 * 2^-53) of it. Both lie within 40 * 2^-53 of y; when that whole band
    // rounds to one float, so do both.
    const double x2 = x * x;
    const double x4 = x2 * x2;
    const double x8 = x4 * x4;
    const double x16 = x8 * x8;
    const double y = x16 * x8 * x4 * x2;
    constexpr double BAND = 40.0 / 9007199254740992.0; // 40 * 2^-53
    const float fLow = static_cast<float>(y * (1.0 - BAND));
    const float fHigh = static_cast<float>(y * (1.0 + BAND));
    if (fLow == fHigh)
        return fLow;
    return static_cast<float>(std::pow(x, 30.0));
}

// What every ray of a view shares: the matrix as doubles, the volume's box and
// the bounds of the rays that can meet it.
struct RayMarchSetup {
    double m[4][3];    // m[c][r]: row r of column c of the matrix (row 3 is not used)
    bool bFinite;      // every element of m is finite
    double dRowSum[3]; // sum over the columns 0..2 of |m[c][r]|, per row r
    int32_t nDim[3];
    double dDim[3];
    // The crop box in continuous voxel coordinates: a sample counts when
    // dLow <= p < dHigh on every axis (X-Ray), or dLow < p < min(dHigh, dim - 1)
    // (Levoy and First Hit). The whole volume gives 0 and dim.
    double dLow[3];
    double dHigh[3];
    // Bound on the float rounding of two mapped positions, in voxels, for the
    // empty-space jumps.
    double dSkipRound;
    // Image-plane rectangles (u from, u to, v from, v to, for the direction
    // (u, v, RAY_NEAR)) outside which no ray has a sample inside the box: [0]
    // for the closed box of X-Ray, [1] for the open one; bBounds says
    // whether each is known.
    bool bBounds[2];
    double dBounds[2][4];
};

// One ray to cast, with everything its caster needs.
struct CastRequest {
    const RayMarchSetup* pSetup;
    int32_t nType; // a VolumeType
    int32_t nInterpolation;
    int32_t nUpper;
    int32_t nLower;
    int32_t nSamples;
    const float* pDirection; // not normalised
    float fStart;            // distance of the first sample along the ray
    float fStep;             // distance from one sample to the next
    const float* pLight;
    const CTransferFunction* pTf;
    const CVolume* pVolume;
    CShadeCache* pShade; // Levoy
    ImagePixel* pPixel;
    const CSkipMap* pSkip;
    bool bShared; // other rays may use the shading cache at the same time
};

namespace {

float Dot(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void SetPixel(ImagePixel& pixel, float r, float g, float b) {
    pixel.computed = 1;
    pixel.r = r;
    pixel.g = g;
    pixel.b = b;
}

constexpr double TWO_TO_MINUS_22 = 1.0 / 4194304.0;
constexpr double TWO_TO_MINUS_23 = 1.0 / 8388608.0;
constexpr double TWO_TO_MINUS_24 = 1.0 / 16777216.0;

// The rectangle on the image plane around the rays that can meet the box
// [pLow, pHigh] on each axis (false when it cannot be told). The box is widened by
// far more than a ray's samples can stray from its exact line (the float
// position drifts by less than one rounding per sample, the direction is
// rounded to float, and so is the mapped position); the exact rays that meet
// the widened box pass through its projection, which is the hull of its
// projected corners as long as all of them lie in front of the eye.
bool ImageBounds(const RayMarchSetup& s, int32_t nSamples, const double* pLow, const double* pHigh,
                 double* pBounds) {
    if (!s.bFinite)
        return false;
    // The 3 x 3 part A of the matrix and its inverse: an eye point E maps to
    // A E + t.
    double a[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = s.m[c][r];
    const double inv[3][3] = {
        {a[1][1] * a[2][2] - a[1][2] * a[2][1], a[0][2] * a[2][1] - a[0][1] * a[2][2],
         a[0][1] * a[1][2] - a[0][2] * a[1][1]},
        {a[1][2] * a[2][0] - a[1][0] * a[2][2], a[0][0] * a[2][2] - a[0][2] * a[2][0],
         a[0][2] * a[1][0] - a[0][0] * a[1][2]},
        {a[1][0] * a[2][1] - a[1][1] * a[2][0], a[0][1] * a[2][0] - a[0][0] * a[2][1],
         a[0][0] * a[1][1] - a[0][1] * a[1][0]}};
    const double dDet = a[0][0] * inv[0][0] + a[0][1] * inv[1][0] + a[0][2] * inv[2][0];
    if (!std::isfinite(dDet) || std::fabs(dDet) < 1.0e-300)
        return false;
    const double dScale = std::max({s.dRowSum[0], s.dRowSum[1], s.dRowSum[2]});
    // In eye units a sample strays by at most (N + 1) roundings of 2^-24 of a
    // coordinate below 3.3 on each axis, and the float direction by a few
    // roundings; four times that, mapped, plus the rounding of the mapped
    // position (2^-24 of a coordinate of the box) and a thousandth of a voxel.
    const double dEye = 4.0 * (nSamples + 2.0) * 3.3 * TWO_TO_MINUS_24 + 1.0e-5;
    const double dMaxHigh = std::max({pHigh[0], pHigh[1], pHigh[2]});
    const double dMargin = dScale * dEye + (dMaxHigh + 2.0) * TWO_TO_MINUS_22 + 1.0e-3;
    double uMin = HUGE_VAL, uMax = -HUGE_VAL, vMin = HUGE_VAL, vMax = -HUGE_VAL;
    for (int nCorner = 0; nCorner < 8; ++nCorner) {
        double d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = ((nCorner >> c) & 1 ? pHigh[c] + dMargin : pLow[c] - dMargin) - s.m[3][c];
        double e[3];
        for (int r = 0; r < 3; ++r)
            e[r] = (inv[r][0] * d[0] + inv[r][1] * d[1] + inv[r][2] * d[2]) / dDet;
        if (!(e[2] > 1.0e-3) || !std::isfinite(e[0]) || !std::isfinite(e[1]))
            return false;
        const double u = RAY_NEAR * e[0] / e[2];
        const double v = RAY_NEAR * e[1] / e[2];
        uMin = std::min(uMin, u);
        uMax = std::max(uMax, u);
        vMin = std::min(vMin, v);
        vMax = std::max(vMax, v);
    }
    // Room for the rounding of these computations.
    const double dRoom = 1.0e-9 * (1.0 + std::max({-uMin, uMax, -vMin, vMax}));
    pBounds[0] = uMin - dRoom;
    pBounds[1] = uMax + dRoom;
    pBounds[2] = vMin - dRoom;
    pBounds[3] = vMax + dRoom;
    return true;
}

// pCrop, when given, limits the samples to its voxels.
void MakeRayMarchSetup(const CMatrix4& matrix, int nDimX, int nDimY, int nDimZ, int32_t nSamples,
                       RayMarchSetup& s, const CropBox* pCrop = nullptr) {
    s.bFinite = true;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 3; ++r) {
            s.m[c][r] = matrix.m_Elements[c][r];
            s.bFinite = s.bFinite && std::isfinite(s.m[c][r]);
        }
    }
    for (int r = 0; r < 3; ++r)
        s.dRowSum[r] = std::fabs(s.m[0][r]) + std::fabs(s.m[1][r]) + std::fabs(s.m[2][r]);
    s.nDim[0] = nDimX;
    s.nDim[1] = nDimY;
    s.nDim[2] = nDimZ;
    const CropBox crop = (pCrop ? *pCrop : CropBox()).Clamped(s.nDim);
    for (int c = 0; c < 3; ++c) {
        s.dDim[c] = s.nDim[c];
        // The whole volume keeps exactly 0 and dim (also a grid without voxels).
        const bool bWhole = crop.nMin[c] == 0 && crop.nMax[c] + 1 >= s.nDim[c];
        s.dLow[c] = bWhole ? 0.0 : crop.nMin[c];
        s.dHigh[c] = bWhole ? s.dDim[c] : crop.nMax[c] + 1.0;
    }
    const int nMaxDim = std::max({nDimX, nDimY, nDimZ});
    s.dSkipRound =
        (nMaxDim + (CSkipMap::SKIP_DISTANCE_CAP + 2.0) * BRICK_SIZE + 1.0) * TWO_TO_MINUS_22;
    for (int nBox = 0; nBox < 2; ++nBox) {
        double high[3];
        for (int c = 0; c < 3; ++c)
            high[c] = std::min(s.dHigh[c], s.dDim[c] - nBox);
        s.bBounds[nBox] = nSamples > 0 && ImageBounds(s, nSamples, s.dLow, high, s.dBounds[nBox]);
    }
}

// The samples of one ray that can land inside the volume. The position of
// sample i is the start plus i steps, added one at a time in float; that sum
// drifts from the exact line start + i * step by less than (i + 1) float
// roundings of the largest coordinate, and mapping it into voxel space adds at
// most a float rounding of the result. Every sample whose exact line point lies
// further than that bound (plus half a voxel) outside the crop box [low, high]
// (the whole volume: [0, dim]) on some axis is outside it for all three inside
// tests, so it need not be mapped. Returns false when no sample can be inside;
// otherwise [first, last] holds every sample that can be. Also gives the
// mapped step b (voxels per sample, per axis) and the largest magnitude of a
// coordinate along the ray.
bool InsideSampleRange(const RayMarchSetup& s, const float* pStart, const float* pStep,
                       int32_t nSamples, int32_t& nFirst, int32_t& nLast, double* b,
                       double& dMaxCoord) {
    const double n = nSamples;
    dMaxCoord = 0.0;
    for (int j = 0; j < 3; ++j) {
        const double dEnd = static_cast<double>(pStart[j]) + n * pStep[j];
        dMaxCoord =
            std::max({dMaxCoord, std::fabs(static_cast<double>(pStart[j])), std::fabs(dEnd)});
    }
    for (int c = 0; c < 3; ++c)
        b[c] = s.m[0][c] * pStep[0] + s.m[1][c] * pStep[1] + s.m[2][c] * pStep[2];
    // Drift of the accumulated float position, per coordinate (with room to spare).
    const double dDrift = 2.0 * (n + 1.0) * std::ldexp(1.0, -24) * (dMaxCoord + 1.0e-20);

    double tMin = 0.0;
    double tMax = n - 1.0;
    for (int c = 0; c < 3; ++c) {
        const double a =
            s.m[3][c] + s.m[0][c] * pStart[0] + s.m[1][c] * pStart[1] + s.m[2][c] * pStart[2];
        if (!s.bFinite || !std::isfinite(a) || !std::isfinite(b[c])) {
            nFirst = 0; // cannot reason about it: take every sample as it comes
            nLast = nSamples - 1;
            return true;
        }
        const double dMargin = 0.5 + s.dRowSum[c] * dDrift +
                               1.0e-6 * (std::fabs(a) + std::fabs(b[c]) * n +
                                         s.dRowSum[c] * dMaxCoord + std::fabs(s.m[3][c]) + 1.0);
        const double lo = s.dLow[c] - dMargin;
        const double hi = s.dHigh[c] + dMargin;
        if (b[c] == 0.0) {
            if (a < lo || a > hi)
                return false;
            continue;
        }
        double t1 = (lo - a) / b[c];
        double t2 = (hi - a) / b[c];
        if (t1 > t2)
            std::swap(t1, t2);
        tMin = std::max(tMin, t1);
        tMax = std::min(tMax, t2);
    }
    if (!(tMin <= tMax))
        return false;
    // Both lie in [0, nSamples - 1] here; one more sample on each side absorbs the
    // rounding of the divisions above.
    nFirst = std::max(0, static_cast<int32_t>(std::floor(tMin)) - 1);
    nLast = std::min(nSamples - 1, static_cast<int32_t>(std::ceil(tMax)) + 1);
    return true;
}

// Finds, for a sample that falls into an empty brick, how many samples from it on
// surely lie in the empty space around that brick (the cube of bricks within its
// skip distance). Sample i + j lies at the mapped float position p_i plus j
// times the voxel step b, off by the drift of j float additions (mapped into
// voxel space) and by the rounding of both mapped positions to float.
class CRaySkipper {
public:
    // Without a map (or with one it cannot use) it reports no empty runs; the
    // caster then marches every sample. b is the mapped step and dMaxCoord the
    // largest magnitude of a coordinate along the ray (InsideSampleRange).
    CRaySkipper(const CSkipMap* pSkipMap, const CVolume& volume, const RayMarchSetup& s,
                const double* b, double dMaxCoord) {
        if (!pSkipMap || !pSkipMap->Fits(volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ))
            return;
        // Each addition rounds by at most half a unit in the last place of the
        // largest coordinate: 2^-24 of it; twice that for room.
        const double dAddError = dMaxCoord * TWO_TO_MINUS_23 + 1.0e-300;
        // Rounding of a mapped position to float: half a unit in the last place,
        // at most 2^-24 of the largest magnitude a position or region bound can
        // have (doubled, and for both positions of a comparison).
        m_dRound = s.dSkipRound;
        for (int c = 0; c < 3; ++c) {
            const double dDrift =
                s.dRowSum[c] * dAddError * 1.001 + std::fabs(b[c]) * 1.0e-12 + 1.0e-300;
            m_nDirection[c] = b[c] > 0.0 ? 1 : (b[c] < 0.0 ? -1 : 0);
            m_dInverse[c] = 1.0 / (std::fabs(b[c]) + dDrift);
            if (!std::isfinite(b[c]) || !std::isfinite(dDrift) || !(m_dInverse[c] > 0.0) ||
                !std::isfinite(m_dInverse[c]))
                return;
        }
        m_pDistance = pSkipMap->Distances();
        m_nBricksX = pSkipMap->m_nBricksX;
        m_nBricksXY = pSkipMap->m_nBricksX * pSkipMap->m_nBricksY;
    }
    bool Active() const { return m_pDistance != nullptr; }

    // For a sample at p in the given cell: 0 when its brick may contribute,
    // otherwise the count of samples from this one on (at least 1, at most
    // nRemaining) that surely lie in the empty space around it.
    int32_t EmptyRun(const float* p, const int32_t* cell, int32_t nRemaining) const {
        const int32_t bricks[3] = {cell[0] >> BRICK_SHIFT, cell[1] >> BRICK_SHIFT,
                                   cell[2] >> BRICK_SHIFT};
        const int D = m_pDistance[bricks[0] + m_nBricksX * bricks[1] + m_nBricksXY * bricks[2]];
        if (D == 0)
            return 0;
        double dRun = static_cast<double>(nRemaining - 1);
        for (int c = 0; c < 3; ++c) {
            const double lo = static_cast<double>(bricks[c] - D + 1) * BRICK_SIZE;
            const double hi = static_cast<double>(bricks[c] + D) * BRICK_SIZE;
            const double pc = p[c];
            double dRoom;
            if (m_nDirection[c] > 0)
                dRoom = hi - pc;
            else if (m_nDirection[c] < 0)
                dRoom = pc - lo;
            else
                dRoom = std::min(hi - pc, pc - lo);
            dRun = std::min(dRun, (dRoom - m_dRound) * m_dInverse[c] - 1.0e-6);
        }
        return dRun >= 1.0 ? static_cast<int32_t>(dRun) + 1 : 1;
    }

private:
    const uint8_t* m_pDistance = nullptr; // null: no skipping
    int32_t m_nBricksX = 0;
    int32_t m_nBricksXY = 0;
    double m_dRound = 0.0;                  // float rounding of two positions
    int m_nDirection[3] = {0, 0, 0};        // sign of the voxel step per axis
    double m_dInverse[3] = {0.0, 0.0, 0.0}; // 1 / (|voxel step| + drift bound per sample)
};

// Waits until the ray that claimed a shading-cache entry has filled it, and
// gives its valid flag (one of the two given). The claimer computes one
// sample's shading without waiting on anything, so this is short.
uint8_t WaitUntilFilled(std::atomic_ref<uint8_t> valid, uint8_t nTransparent, uint8_t nOpaque) {
    for (int nSpins = 0;; ++nSpins) {
        const uint8_t nState = valid.load(std::memory_order_acquire);
        if (nState == nTransparent || nState == nOpaque)
            return nState;
        if (nSpins < 64) {
#ifdef __SSE2__
            _mm_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
}

// ---- Instruction sets. The casters are written once, over one of these; each
// does every double and float operation of the scalar code, in the same order
// and without fused multiply-adds, only several lanes at a time (a lane of a
// SIMD operation rounds exactly as the scalar operation does). ----

// Every x86-64 processor's: SSE2 (or plain C++ elsewhere).
struct CBaseIsa {
    // Maps float positions into voxel space as CMatrix4::TransformPoint does
    // (rows 0 and 1 side by side in SSE2) and tells whether the result lies
    // inside the box: low <= p < high on every axis (bClosed) or low < p <
    // min(high, dim - 1) (RayMarchSetup).
    template <bool bClosed> class CMapper {
    public:
        explicit CMapper(const RayMarchSetup& s) {
            for (int c = 0; c < 4; ++c) {
                for (int r = 0; r < 3; ++r)
                    m[c][r] = s.m[c][r];
#ifdef __SSE2__
                m_Rows01[c] = _mm_set_pd(m[c][1], m[c][0]);
#endif
            }
            for (int c = 0; c < 3; ++c) {
                m_fLow[c] = static_cast<float>(s.dLow[c]);
                m_fHigh[c] =
                    static_cast<float>(std::min(s.dHigh[c], s.dDim[c] - (bClosed ? 0 : 1)));
            }
        }

        // p receives the mapped position (p[0..2]); cell its cell when inside.
        bool MapInside(const float* pPos, float* p, int32_t* cell) const {
            const double x = pPos[0];
            const double y = pPos[1];
            const double z = pPos[2];
#ifdef __SSE2__
            __m128d v = _mm_mul_pd(m_Rows01[0], _mm_set1_pd(x));
            v = _mm_add_pd(v, _mm_mul_pd(m_Rows01[1], _mm_set1_pd(y)));
            v = _mm_add_pd(v, _mm_mul_pd(m_Rows01[2], _mm_set1_pd(z)));
            v = _mm_add_pd(v, m_Rows01[3]);
            const __m128 f = _mm_cvtpd_ps(v);
            p[0] = _mm_cvtss_f32(f);
            p[1] = _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1));
#else
            p[0] = static_cast<float>(m[0][0] * x + m[1][0] * y + m[2][0] * z + m[3][0]);
            p[1] = static_cast<float>(m[0][1] * x + m[1][1] * y + m[2][1] * z + m[3][1]);
#endif
            p[2] = static_cast<float>(m[0][2] * x + m[1][2] * y + m[2][2] * z + m[3][2]);
            p[3] = 0.0f;
            bool bInside;
            if constexpr (bClosed)
                bInside = p[0] >= m_fLow[0] && p[0] < m_fHigh[0] && p[1] >= m_fLow[1] &&
                          p[1] < m_fHigh[1] && p[2] >= m_fLow[2] && p[2] < m_fHigh[2];
            else
                bInside = p[0] > m_fLow[0] && p[0] < m_fHigh[0] && p[1] > m_fLow[1] &&
                          p[1] < m_fHigh[1] && p[2] > m_fLow[2] && p[2] < m_fHigh[2];
            if (!bInside)
                return false;
            cell[0] = static_cast<int32_t>(p[0]);
            cell[1] = static_cast<int32_t>(p[1]);
            cell[2] = static_cast<int32_t>(p[2]);
            return true;
        }

    private:
        double m[4][3];
#ifdef __SSE2__
        __m128d m_Rows01[4]; // (m[c][0], m[c][1]) for c = 0..3
#endif
        float m_fLow[3];
        float m_fHigh[3];
    };

    // The next sample's position: one float addition per coordinate.
    static void Advance(float* pPos, const float* pStep) {
        pPos[0] += pStep[0];
        pPos[1] += pStep[1];
        pPos[2] += pStep[2];
    }

    // The trilinear value at p in its cell, whose corner (0, 0, 0) is pCorner:
    // CVolume::SampleTrilinear's sum for a cell inside the grid.
    static double Value(const int16_t* pCorner, ptrdiff_t sy, ptrdiff_t sz, const float* p,
                        const int32_t* cell) {
        const double fx = static_cast<double>(p[0]) - cell[0];
        const double fy = static_cast<double>(p[1]) - cell[1];
        const double fz = static_cast<double>(p[2]) - cell[2];
        const double gx = 1.0 - fx;
        const double gy = 1.0 - fy;
        const double a00 = pCorner[0] * gx + pCorner[1] * fx;
        const double a10 = pCorner[sy] * gx + pCorner[sy + 1] * fx;
        const double a01 = pCorner[sz] * gx + pCorner[sz + 1] * fx;
        const double a11 = pCorner[sz + sy] * gx + pCorner[sz + sy + 1] * fx;
        const double b0 = a00 * gy + a10 * fy;
        const double b1 = a01 * gy + a11 * fy;
        return b0 * (1.0 - fz) + b1 * fz;
    }

    // The trilinear gradient at p in its cell, whose corner (0, 0, 0) has the
    // differences pCorner (three per voxel; sy and sz count voxels): the eight
    // corners' differences weighted as CVolume::GradientTrilinear weighs them
    // (along x, then y, then z), halved and rounded to float. The cell lies
    // inside the grid.
    template <class T>
    static void Gradient(const T* pCorner, ptrdiff_t sy, ptrdiff_t sz, const float* p,
                         const int32_t* cell, float* pGradient) {
        const double fx = static_cast<double>(p[0]) - cell[0];
        const double fy = static_cast<double>(p[1]) - cell[1];
        const double fz = static_cast<double>(p[2]) - cell[2];
        const T* c000 = pCorner;
        const T* c100 = pCorner + 3;
        const T* c010 = pCorner + 3 * sy;
        const T* c110 = pCorner + 3 * sy + 3;
        const T* c001 = pCorner + 3 * sz;
        const T* c101 = pCorner + 3 * sz + 3;
        const T* c011 = pCorner + 3 * (sz + sy);
        const T* c111 = pCorner + 3 * (sz + sy) + 3;
#ifdef __SSE2__
        // Lanes (dx, dy) and (dz, 0).
        const double gx = 1.0 - fx;
        const double gy = 1.0 - fy;
        const double gz = 1.0 - fz;
        const __m128d vgx = _mm_set1_pd(gx), vfx = _mm_set1_pd(fx);
        const __m128d vgy = _mm_set1_pd(gy), vfy = _mm_set1_pd(fy);
        const __m128d vgz = _mm_set1_pd(gz), vfz = _mm_set1_pd(fz);
        __m128d r[2];
        for (int h = 0; h < 2; ++h) {
            auto load = [h](const T* c) {
                return h == 0 ? _mm_set_pd(c[1], c[0]) : _mm_set_pd(0.0, c[2]);
            };
            const __m128d a00 =
                _mm_add_pd(_mm_mul_pd(load(c000), vgx), _mm_mul_pd(load(c100), vfx));
            const __m128d a10 =
                _mm_add_pd(_mm_mul_pd(load(c010), vgx), _mm_mul_pd(load(c110), vfx));
            const __m128d a01 =
                _mm_add_pd(_mm_mul_pd(load(c001), vgx), _mm_mul_pd(load(c101), vfx));
            const __m128d a11 =
                _mm_add_pd(_mm_mul_pd(load(c011), vgx), _mm_mul_pd(load(c111), vfx));
            const __m128d b0 = _mm_add_pd(_mm_mul_pd(a00, vgy), _mm_mul_pd(a10, vfy));
            const __m128d b1 = _mm_add_pd(_mm_mul_pd(a01, vgy), _mm_mul_pd(a11, vfy));
            r[h] =
                _mm_mul_pd(_mm_add_pd(_mm_mul_pd(b0, vgz), _mm_mul_pd(b1, vfz)), _mm_set1_pd(0.5));
        }
        pGradient[0] = static_cast<float>(_mm_cvtsd_f64(r[0]));
        pGradient[1] = static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(r[0], r[0])));
        pGradient[2] = static_cast<float>(_mm_cvtsd_f64(r[1]));
#else
        const T* const corners[8] = {c000, c100, c010, c110, c001, c101, c011, c111};
        for (int c = 0; c < 3; ++c)
            pGradient[c] = static_cast<float>(TrilinearCorners(corners, c, fx, fy, fz) * 0.5);
#endif
    }
};

#ifdef ORVEX_X86
// AVX2: the mapping and the trilinear sums four doubles wide.
struct CAvx2Isa {
    template <bool bClosed> class CMapper {
    public:
        [[gnu::target("avx2")]] explicit CMapper(const RayMarchSetup& s) {
            m_Column[0] = _mm256_set_pd(0.0, s.m[0][2], s.m[0][1], s.m[0][0]);
            m_Column[1] = _mm256_set_pd(0.0, s.m[1][2], s.m[1][1], s.m[1][0]);
            m_Column[2] = _mm256_set_pd(0.0, s.m[2][2], s.m[2][1], s.m[2][0]);
            m_Column[3] = _mm256_set_pd(0.0, s.m[3][2], s.m[3][1], s.m[3][0]);
            const int nOff = bClosed ? 0 : 1;
            float high[3];
            for (int c = 0; c < 3; ++c)
                high[c] = static_cast<float>(std::min(s.dHigh[c], s.dDim[c] - nOff));
            m_High = _mm_set_ps(1.0f, high[2], high[1], high[0]);
            m_Low = _mm_set_ps(0.0f, static_cast<float>(s.dLow[2]), static_cast<float>(s.dLow[1]),
                               static_cast<float>(s.dLow[0]));
        }

        [[gnu::target("avx2")]] bool MapInside(const float* pPos, float* p, int32_t* cell) const {
            const __m256d pos = _mm256_cvtps_pd(_mm_load_ps(pPos));
            __m256d v = _mm256_mul_pd(m_Column[0], _mm256_permute4x64_pd(pos, 0x00));
            v = _mm256_add_pd(v, _mm256_mul_pd(m_Column[1], _mm256_permute4x64_pd(pos, 0x55)));
            v = _mm256_add_pd(v, _mm256_mul_pd(m_Column[2], _mm256_permute4x64_pd(pos, 0xaa)));
            v = _mm256_add_pd(v, m_Column[3]);
            const __m128 f = _mm256_cvtpd_ps(v);
            _mm_store_ps(p, f);
            const __m128 low = bClosed ? _mm_cmpge_ps(f, m_Low) : _mm_cmpgt_ps(f, m_Low);
            if ((_mm_movemask_ps(_mm_and_ps(low, _mm_cmplt_ps(f, m_High))) & 7) != 7)
                return false;
            const __m128i c = _mm_cvttps_epi32(f);
            cell[0] = _mm_cvtsi128_si32(c);
            cell[1] = _mm_extract_epi32(c, 1);
            cell[2] = _mm_extract_epi32(c, 2);
            return true;
        }

    private:
        __m256d m_Column[4]; // (m[c][0], m[c][1], m[c][2], 0)
        __m128 m_Low;
        __m128 m_High;
    };

    [[gnu::target("avx2")]] static void Advance(float* pPos, const float* pStep) {
        _mm_store_ps(pPos, _mm_add_ps(_mm_load_ps(pPos), _mm_load_ps(pStep)));
    }

    static int32_t LoadPair(const int16_t* p) {
        int32_t n;
        std::memcpy(&n, p, 4);
        return n;
    }

    // As CBaseIsa::Value: the four sums along x as one four-lane sum, then the
    // two along y as one two-lane sum.
    [[gnu::target("avx2")]] static double Value(const int16_t* pCorner, ptrdiff_t sy, ptrdiff_t sz,
                                                const float* p, const int32_t* cell) {
        const double fx = static_cast<double>(p[0]) - cell[0];
        const double fy = static_cast<double>(p[1]) - cell[1];
        const double fz = static_cast<double>(p[2]) - cell[2];
        // The four pairs (x, x + 1) of rows (y, z), (y + 1, z), (y, z + 1), (y + 1, z + 1).
        __m128i v = _mm_cvtsi32_si128(LoadPair(pCorner));
        v = _mm_insert_epi32(v, LoadPair(pCorner + sy), 1);
        v = _mm_insert_epi32(v, LoadPair(pCorner + sz), 2);
        v = _mm_insert_epi32(v, LoadPair(pCorner + sz + sy), 3);
        const __m256d c0 = _mm256_cvtepi32_pd(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16));
        const __m256d c1 = _mm256_cvtepi32_pd(_mm_srai_epi32(v, 16));
        const __m256d a = _mm256_add_pd(_mm256_mul_pd(c0, _mm256_set1_pd(1.0 - fx)),
                                        _mm256_mul_pd(c1, _mm256_set1_pd(fx)));
        // (a00, a10, a01, a11) -> (a00, a01) and (a10, a11).
        const __m256d aPaired = _mm256_permute4x64_pd(a, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128d b =
            _mm_add_pd(_mm_mul_pd(_mm256_castpd256_pd128(aPaired), _mm_set1_pd(1.0 - fy)),
                       _mm_mul_pd(_mm256_extractf128_pd(aPaired, 1), _mm_set1_pd(fy)));
        return _mm_cvtsd_f64(b) * (1.0 - fz) + _mm_cvtsd_f64(_mm_unpackhi_pd(b, b)) * fz;
    }

    // A voxel's differences (dx, dy, dz) and one more value as four doubles.
    [[gnu::target("avx2")]] static __m256d LoadDifferences(const int16_t* p) {
        return _mm256_cvtepi32_pd(
            _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    [[gnu::target("avx2")]] static __m256d LoadDifferences(const int32_t* p) {
        return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }

    // As CBaseIsa::Gradient, the lanes (dx, dy, dz, and one unused) of a corner
    // at once.
    template <class T>
    [[gnu::target("avx2")]] static void Gradient(const T* pCorner, ptrdiff_t sy, ptrdiff_t sz,
                                                 const float* p, const int32_t* cell,
                                                 float* pGradient) {
        const __m256d f =
            _mm256_sub_pd(_mm256_cvtps_pd(_mm_load_ps(p)),
                          _mm256_cvtepi32_pd(_mm_set_epi32(0, cell[2], cell[1], cell[0])));
        const __m256d g = _mm256_sub_pd(_mm256_set1_pd(1.0), f);
        const __m256d fx = _mm256_permute4x64_pd(f, 0x00), gx = _mm256_permute4x64_pd(g, 0x00);
        const __m256d fy = _mm256_permute4x64_pd(f, 0x55), gy = _mm256_permute4x64_pd(g, 0x55);
        const __m256d fz = _mm256_permute4x64_pd(f, 0xaa), gz = _mm256_permute4x64_pd(g, 0xaa);
        const T* c = pCorner;
        const ptrdiff_t y = 3 * sy, z = 3 * sz;
        const __m256d c000 = LoadDifferences(c);
        const __m256d c100 = LoadDifferences(c + 3);
        const __m256d c010 = LoadDifferences(c + y);
        const __m256d c110 = LoadDifferences(c + y + 3);
        const __m256d c001 = LoadDifferences(c + z);
        const __m256d c101 = LoadDifferences(c + z + 3);
        const __m256d c011 = LoadDifferences(c + z + y);
        const __m256d c111 = LoadDifferences(c + z + y + 3);
        const __m256d a00 = _mm256_add_pd(_mm256_mul_pd(c000, gx), _mm256_mul_pd(c100, fx));
        const __m256d a10 = _mm256_add_pd(_mm256_mul_pd(c010, gx), _mm256_mul_pd(c110, fx));
        const __m256d a01 = _mm256_add_pd(_mm256_mul_pd(c001, gx), _mm256_mul_pd(c101, fx));
        const __m256d a11 = _mm256_add_pd(_mm256_mul_pd(c011, gx), _mm256_mul_pd(c111, fx));
        const __m256d b0 = _mm256_add_pd(_mm256_mul_pd(a00, gy), _mm256_mul_pd(a10, fy));
        const __m256d b1 = _mm256_add_pd(_mm256_mul_pd(a01, gy), _mm256_mul_pd(a11, fy));
        const __m256d r = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(b0, gz), _mm256_mul_pd(b1, fz)),
                                        _mm256_set1_pd(0.5));
        alignas(16) float fr[4];
        _mm_store_ps(fr, _mm256_cvtpd_ps(r));
        pGradient[0] = fr[0];
        pGradient[1] = fr[1];
        pGradient[2] = fr[2];
    }
};
#endif

// ---- The march that the three casters share ----

// A ray starts at pPos and advances by adding pStep once per sample, in float;
// each position is mapped into voxel space and, when it lies inside the
// caster's box, handed to the caster's step with its cell and the linear index
// k of its nearest voxel. The samples that cannot be inside are passed over in
// one go (InsideSampleRange), and so are those that a usable skip map marks as
// empty while the step allows it; the position still ends up exactly where one
// addition per sample takes it (CFloatRuns, or AddRepeated where the runs
// cannot be described). pPos and pStep hold four floats, the fourth 0.
//
// TStep provides:
//   static constexpr bool CLOSED_BOX: inside is 0 <= p < dim on every axis
//     (X-Ray); otherwise 0 < p < dim - 1 (Levoy and First Hit);
//   bool MaySkip() const: whether samples in empty space may be jumped now;
//   bool Sample(const float* p, const int32_t* cell, int32_t k): takes one
//     inside sample; false ends the march.
template <class TIsa, class TStep>
inline void MarchRay(const RayMarchSetup& setup, int32_t nSamples, float* pPos, const float* pStep,
                     const CVolume& volume, const CSkipMap* pSkip, TStep& step) {
    int32_t nFirst = 0, nLast = -1;
    double b[3];
    double dMaxCoord = 0.0;
    if (!InsideSampleRange(setup, pPos, pStep, nSamples, nFirst, nLast, b, dMaxCoord))
        return;
    const CRaySkipper skipper(pSkip, volume, setup, b, dMaxCoord);
    const bool bSkip = skipper.Active();
    // Moves the position from sample i to sample j >= i: a short way by adding,
    // a long way by looking it up in the runs of its coordinates (described
    // when first needed, from the start) or, where they cannot be described,
    // with AddRepeated.
    CFloatRuns runs[3];
    enum { RUNS_NONE, RUNS_MADE, RUNS_FAILED } eRuns = RUNS_NONE;
    const float start[3] = {pPos[0], pPos[1], pPos[2]};
    auto moveOn = [&](int32_t i, int32_t j) {
        if (j - i <= 8) {
            for (int32_t n = i; n < j; ++n)
                TIsa::Advance(pPos, pStep);
            return;
        }
        if (eRuns == RUNS_NONE)
            eRuns = BuildFloatRuns3(runs, start, pStep, nLast) ? RUNS_MADE : RUNS_FAILED;
        if (eRuns == RUNS_MADE) {
            pPos[0] = runs[0].At(j);
            pPos[1] = runs[1].At(j);
            pPos[2] = runs[2].At(j);
        } else {
            AddRepeated3(pPos, pStep, j - i);
        }
    };
    moveOn(0, nFirst);

    const typename TIsa::template CMapper<TStep::CLOSED_BOX> mapper(setup);
    const int32_t nStrideY = volume.m_nStrideY;
    const int32_t nStrideZ = volume.m_nStrideZ;
    // The march looks one sample ahead: the next sample is mapped (and what it
    // will read is asked for from memory) before this one is taken.
    alignas(16) float p[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int32_t cell[3] = {0, 0, 0};
    bool bInside = mapper.MapInside(pPos, p, cell);
    for (int32_t i = nFirst; i <= nLast;) {
        TIsa::Advance(pPos, pStep); // now at sample i + 1
        alignas(16) float pNext[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        int32_t cellNext[3] = {0, 0, 0};
        const bool bInsideNext = i < nLast && mapper.MapInside(pPos, pNext, cellNext);
        if (bInsideNext)
            step.Prefetch(cellNext[0] + cellNext[1] * nStrideY + cellNext[2] * nStrideZ);
        if (bInside) {
            if (bSkip && step.MaySkip()) {
                const int32_t nRun = skipper.EmptyRun(p, cell, nLast - i + 1);
                if (nRun > 0) {
                    moveOn(i + 1, i + nRun);
                    i += nRun;
                    bInside = i <= nLast && mapper.MapInside(pPos, p, cell);
                    continue;
                }
            }
            if (!step.Sample(p, cell, cell[0] + cell[1] * nStrideY + cell[2] * nStrideZ))
                return;
        }
        bInside = bInsideNext;
        if (bInsideNext) {
            std::copy_n(pNext, 4, p);
            std::copy_n(cellNext, 3, cell);
        }
        ++i;
    }
}

// Asks memory for a trilinear cell whose corner (0, 0, 0) is pCorner: its four
// rows of two corners each.
template <class T> void PrefetchCell(const T* pCorner, ptrdiff_t sy, ptrdiff_t sz) {
    __builtin_prefetch(pCorner);
    __builtin_prefetch(pCorner + sy);
    __builtin_prefetch(pCorner + sz);
    __builtin_prefetch(pCorner + sy + sz);
}

// The trilinear gradient at p in its cell, whose corner (0, 0, 0) is voxel k,
// from the volume's differences of either width.
template <class TIsa>
void CellGradient(const CVolume& volume, int32_t k, const float* p, const int32_t* cell, float* g) {
    volume.WithDifferences([&](const auto* pDifferences) {
        TIsa::Gradient(pDifferences + 3 * static_cast<ptrdiff_t>(k), volume.m_nStrideY,
                       volume.m_nStrideZ, p, cell, g);
    });
}

// Levoy: shaded front-to-back compositing through the shading cache.
template <class TIsa, bool TRILINEAR> class CLevoyStep {
public:
    static constexpr bool CLOSED_BOX = false;

    // pDirection: the normalised ray direction. bShared: other rays may use the
    // cache at the same time (then entries are claimed atomically).
    CLevoyStep(const CastRequest& r, const float* pDirection)
        : CLevoyStep(pDirection, r.pLight, *r.pTf, *r.pVolume, *r.pShade, r.bShared) {}
    CLevoyStep(const float* pDirection, const float* pLight, const CTransferFunction& tf,
               const CVolume& volume, CShadeCache& cache, bool bShared)
        : m_pDirection(pDirection), m_pLight(pLight), m_bShared(bShared), m_Tf(tf),
          m_Volume(volume), m_pShade(cache.m_pEntries), m_pValid(cache.m_pValid),
          m_nTransparent(cache.Transparent()), m_nOpaque(cache.Opaque()),
          m_nClaimed(cache.Claimed()) {}

    // Samples in empty space have opacity 0: with a finite A they change no sum,
    // and A stays at or below 0.99.
    bool MaySkip() const { return std::isfinite(A); }

    void Finish(ImagePixel& pixel) const { SetPixel(pixel, cr * K255, cg * K255, cb * K255); }

    void Prefetch(int32_t k) const {
        __builtin_prefetch(m_pValid + k);
        if constexpr (TRILINEAR) {
            m_Volume.WithDifferences([&](const auto* pDifferences) {
                PrefetchCell(pDifferences + 3 * static_cast<ptrdiff_t>(k),
                             3 * static_cast<ptrdiff_t>(m_Volume.m_nStrideY),
                             3 * static_cast<ptrdiff_t>(m_Volume.m_nStrideZ));
            });
        }
    }

    bool Sample(const float* p, const int32_t* cell, int32_t k) {
        // Within a run an entry, once filled, is never recomputed: what a later
        // sample would compute for it is discarded, so it is not computed at all.
        // The first ray to reach the voxel claims the entry and fills it; any
        // other waits for that.
        std::atomic_ref<uint8_t> valid(m_pValid[k]);
        uint8_t nState =
            valid.load(m_bShared ? std::memory_order_acquire : std::memory_order_relaxed);
        if (nState != m_nTransparent && nState != m_nOpaque) {
            if (!m_bShared) {
                nState = Fill(p, cell, k);
                valid.store(nState, std::memory_order_relaxed);
            } else if (nState != m_nClaimed && valid.compare_exchange_strong(
                                                   nState, m_nClaimed, std::memory_order_acquire)) {
                nState = Fill(p, cell, k);
                valid.store(nState, std::memory_order_release);
            } else {
                nState = WaitUntilFilled(valid, m_nTransparent, m_nOpaque);
            }
        }
        if (nState == m_nTransparent) {
            // Colour 0 and opacity 0: with a finite A every product is a zero,
            // and adding a zero leaves each sum as it is.
            if (std::isfinite(A))
                return true;
            Composite(0, 0, 0, 0.0f);
            return !(A > 0.99);
        }
        const ShadeEntry& entry = m_pShade[k];
        Composite(entry.red, entry.green, entry.blue, entry.alpha);
        return !(A > 0.99);
    }

    float cr = 0.0f, cg = 0.0f, cb = 0.0f, A = 0.0f;

private:
    void Composite(uint8_t nRed, uint8_t nGreen, uint8_t nBlue, float a) {
        const float rest = 1.0f - A;
        cr += static_cast<float>(nRed) * rest * a;
        cg += static_cast<float>(nGreen) * rest * a;
        cb += static_cast<float>(nBlue) * rest * a;
        A += rest * a;
    }

    // Shades the sample at p for the cache entry of its nearest voxel k: the
    // entry's valid flag for a transparent entry (which is not written), or
    // writes the entry and gives the flag for an opaque one.
    uint8_t Fill(const float* p, const int32_t* cell, int32_t k) {
        const CVolume& volume = m_Volume;
        float g[3] = {0.0f, 0.0f, 0.0f};
        float m = 0.0f;
        const TableEntry* pEntry;
        if constexpr (TRILINEAR) {
            // The value first (from the compact voxels); the gradient only for
            // an entry that is not transparent.
            pEntry = &m_Tf.Lookup(TruncToInt16(
                TIsa::Value(volume.m_pVoxels + k, volume.m_nStrideY, volume.m_nStrideZ, p, cell)));
            if (pEntry->opacity != 0.0f) {
                CellGradient<TIsa>(volume, k, p, cell, g);
                m = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
            }
        } else {
            pEntry = &m_Tf.Lookup(volume.m_pVoxels[k]);
            if (pEntry->opacity != 0.0f) {
                volume.GradientAt(k, g);
                m = volume.GradientLength(k);
            }
        }
        const TableEntry& e = *pEntry;
        // A transparent entry (opacity m * 0 = 0 for every finite m) adds nothing
        // to any ray whatever its colour, and without a usable gradient there is
        // no surface: colour 0 and opacity 0.
        if (e.opacity == 0.0f || !(m > 0.0f && std::isfinite(m)))
            return m_nTransparent;
        if (!m_bHalf) {
            NormalizeVector(m_pDirection[0] + m_pLight[0], m_pDirection[1] + m_pLight[1],
                            m_pDirection[2] + m_pLight[2], m_Half);
            m_bHalf = true;
        }
        const float nv[3] = {g[0] / m, g[1] / m, g[2] / m};
        const float fDiffuse = Dot(nv, m_pLight);
        const float fSpecular = SpecularPower(Dot(nv, m_Half));
        const float I = 0.3f * fSpecular + 0.7f * fDiffuse;
        ShadeEntry& entry = m_pShade[k];
        entry.red = TruncToByte(I * e.red);
        entry.green = TruncToByte(I * e.green);
        entry.blue = TruncToByte(I * e.blue);
        entry.alpha = m * e.opacity;
        return m_nOpaque;
    }

    const float* m_pDirection;
    const float* m_pLight;
    const bool m_bShared;
    const CTransferFunction& m_Tf;
    const CVolume& m_Volume;
    ShadeEntry* const m_pShade;
    uint8_t* const m_pValid;
    const uint8_t m_nTransparent;
    const uint8_t m_nOpaque;
    const uint8_t m_nClaimed;
    bool m_bHalf = false; // the half vector is made when the first entry is shaded
    float m_Half[3] = {0.0f, 0.0f, 0.0f};
};

// X-Ray: the sum of the nearest voxel values, each divided by 4096 N.
class CXRayStep {
public:
    static constexpr bool CLOSED_BOX = true;

    CXRayStep(const CastRequest& r, const float*)
        : m_pVoxels(r.pVolume->m_pVoxels), m_dDivisor(r.nSamples * 4096.0) {}

    void Finish(ImagePixel& pixel) const {
        const float fGrey = static_cast<float>(dSum * 5.0);
        SetPixel(pixel, fGrey, fGrey, fGrey);
    }

    // Voxels of value 0 add exact zeros, which change no sum.
    bool MaySkip() const { return true; }

    void Prefetch(int32_t k) const { __builtin_prefetch(m_pVoxels + k); }

    bool Sample(const float*, const int32_t*, int32_t k) {
        dSum = dSum + m_pVoxels[k] / m_dDivisor;
        return true;
    }

    double dSum = 0.0;

private:
    const int16_t* const m_pVoxels;
    const double m_dDivisor;
};

// A sample's value as a float: the trilinear value at p in its cell, or the
// nearest voxel k's; and asking memory for what that reads.
template <class TIsa, bool TRILINEAR>
float ValueAt(const CVolume& volume, const float* p, const int32_t* cell, int32_t k) {
    if constexpr (TRILINEAR) {
        return static_cast<float>(
            TIsa::Value(volume.m_pVoxels + k, volume.m_nStrideY, volume.m_nStrideZ, p, cell));
    } else {
        return static_cast<float>(volume.m_pVoxels[k]);
    }
}

template <bool TRILINEAR> void PrefetchValue(const CVolume& volume, int32_t k) {
    if constexpr (TRILINEAR) {
        PrefetchCell(volume.m_pVoxels + k, volume.m_nStrideY, volume.m_nStrideZ);
    } else {
        __builtin_prefetch(volume.m_pVoxels + k);
    }
}

// First Hit: the first sample strictly between the thresholds, diffusely shaded.
template <class TIsa, bool TRILINEAR> class CFirstHitStep {
public:
    static constexpr bool CLOSED_BOX = false;

    CFirstHitStep(const CastRequest& r, const float*)
        : m_pLight(r.pLight), m_fLower(static_cast<float>(r.nLower)),
          m_fUpper(static_cast<float>(r.nUpper)), m_Tf(*r.pTf), m_Volume(*r.pVolume),
          m_Pixel(*r.pPixel) {}

    // A hit has written the pixel already.
    void Finish(ImagePixel&) const {}

    // No sample in empty space can be a hit.
    bool MaySkip() const { return true; }

    void Prefetch(int32_t k) const { PrefetchValue<TRILINEAR>(m_Volume, k); }

    bool Sample(const float* p, const int32_t* cell, int32_t k) {
        const CVolume& volume = m_Volume;
        const float fValue = ValueAt<TIsa, TRILINEAR>(volume, p, cell, k);
        if (!(m_fLower < fValue && fValue < m_fUpper))
            return true;
        const TableEntry& e = m_Tf.Lookup(TruncToInt16(fValue));
        float nv[3];
        bool bSurface;
        if constexpr (TRILINEAR) {
            float g[3];
            CellGradient<TIsa>(volume, k, p, cell, g);
            NormalizeVector(g[0], g[1], g[2], nv);
            bSurface = nv[0] != 0.0f || nv[1] != 0.0f || nv[2] != 0.0f;
        } else {
            float g[3];
            volume.GradientAt(k, g);
            const float m = volume.GradientLength(k);
            bSurface = m > 0.0f && std::isfinite(m);
            if (bSurface) {
                nv[0] = g[0] / m;
                nv[1] = g[1] / m;
                nv[2] = g[2] / m;
            }
        }
        // A hit without a gradient has no normal to shade with: black.
        if (bSurface) {
            const double s = static_cast<double>(Dot(nv, m_pLight)) * K255_DOUBLE;
            SetPixel(m_Pixel, static_cast<float>(s * e.red), static_cast<float>(s * e.green),
                     static_cast<float>(s * e.blue));
        }
        return false;
    }

private:
    const float* m_pLight;
    const float m_fLower;
    const float m_fUpper;
    const CTransferFunction& m_Tf;
    const CVolume& m_Volume;
    ImagePixel& m_Pixel;
};

// MIP and MinIP: the largest (smallest) sampled value along the ray, as grey
// value / 4095. MIP takes every sample but starts from 0, so that samples at or
// below 0 change nothing and bricks without a value above 0 can be skipped; a
// ray through nothing above 0 is black. MinIP takes only the samples inside
// the object: over the whole ray the minimum would be the air around the
// object wherever the ray passes it. A sample counts when its value lies
// strictly between the First Hit thresholds (the lower one, 0 for a .dat and
// Otsu's threshold for a scan, keeps the air out) and, trilinear, every corner
// of its cell lies above the lower threshold too, so that the blend of air and
// object at the object's surface does not count. A ray without such a sample
// is black.
template <class TIsa, bool TRILINEAR, bool MAXIMUM> class CProjectionStep {
public:
    static constexpr bool CLOSED_BOX = false;

    CProjectionStep(const CastRequest& r, const float*)
        : m_fLower(static_cast<float>(r.nLower)), m_fUpper(static_cast<float>(r.nUpper)),
          m_Volume(*r.pVolume) {}

    void Finish(ImagePixel& pixel) const {
        const float fGrey = m_bAny ? m_fBest / 4095.0f : 0.0f;
        SetPixel(pixel, fGrey, fGrey, fGrey);
    }

    // The skip map leaves out only bricks whose samples would be passed over.
    bool MaySkip() const { return true; }

    void Prefetch(int32_t k) const { PrefetchValue<TRILINEAR>(m_Volume, k); }

    bool Sample(const float* p, const int32_t* cell, int32_t k) {
        const float fValue = ValueAt<TIsa, TRILINEAR>(m_Volume, p, cell, k);
        if constexpr (MAXIMUM) {
            if (fValue > m_fBest) {
                m_fBest = fValue;
                m_bAny = true;
            }
        } else if (m_fLower < fValue && fValue < m_fUpper && (!m_bAny || fValue < m_fBest) &&
                   CornersAboveLower(k)) {
            m_fBest = fValue;
            m_bAny = true;
        }
        return true;
    }

private:
    bool CornersAboveLower(int32_t k) const {
        if constexpr (!TRILINEAR)
            return true;
        const int16_t* c = m_Volume.m_pVoxels + k;
        const ptrdiff_t sy = m_Volume.m_nStrideY, sz = m_Volume.m_nStrideZ;
        const int16_t nMin =
            std::min({c[0], c[1], c[sy], c[sy + 1], c[sz], c[sz + 1], c[sz + sy], c[sz + sy + 1]});
        return m_fLower < static_cast<float>(nMin);
    }

    const float m_fLower;
    const float m_fUpper;
    const CVolume& m_Volume;
    float m_fBest = 0.0f;
    bool m_bAny = false;
};

template <class TIsa, bool TRILINEAR> using CMipStep = CProjectionStep<TIsa, TRILINEAR, true>;
template <class TIsa, bool TRILINEAR> using CMinIpStep = CProjectionStep<TIsa, TRILINEAR, false>;

// The window (0, MIP_UPPER) holds every value a sample can take above 0: a
// First Hit skip map for it leaves out exactly the bricks that no MIP sample
// there can raise above 0.
constexpr int32_t MIP_UPPER = 32768;

template <class TIsa, class TStep> inline void CastWith(const CastRequest& r) {
    ImagePixel& pixel = *r.pPixel;
    const CVolume& volume = *r.pVolume;
    SetPixel(pixel, 0.0f, 0.0f, 0.0f);
    if (r.nSamples < 1 || !volume.m_pVoxels)
        return;
    float dir[3];
    NormalizeVector(r.pDirection[0], r.pDirection[1], r.pDirection[2], dir);
    alignas(16) float pos[4] = {dir[0] * r.fStart, dir[1] * r.fStart, dir[2] * r.fStart, 0.0f};
    alignas(16) const float step[4] = {dir[0] * r.fStep, dir[1] * r.fStep, dir[2] * r.fStep, 0.0f};
    TStep marcher(r, dir);
    MarchRay<TIsa>(*r.pSetup, r.nSamples, pos, step, volume, r.pSkip, marcher);
    marcher.Finish(pixel);
}

// The casts of a step class for each instruction set and sampling, each
// compiled on its own (with its own use of the registers) and with everything
// it calls inlined.
template <template <class, bool> class TStep, bool TRILINEAR>
[[gnu::flatten]] void CastBase(const CastRequest& r) {
    CastWith<CBaseIsa, TStep<CBaseIsa, TRILINEAR>>(r);
}

#ifdef ORVEX_X86
template <template <class, bool> class TStep, bool TRILINEAR>
[[gnu::target("avx2"), gnu::flatten]] void CastAvx2(const CastRequest& r) {
    CastWith<CAvx2Isa, TStep<CAvx2Isa, TRILINEAR>>(r);
}

bool ProcessorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
bool ProcessorHasAvx2() {
    return false;
}
#endif

template <template <class, bool> class TStep>
constexpr std::array<std::array<CastFunction, 2>, 2> CastsOf() {
#ifdef ORVEX_X86
    return {{{CastBase<TStep, false>, CastBase<TStep, true>},
             {CastAvx2<TStep, false>, CastAvx2<TStep, true>}}};
#else
    return {{{CastBase<TStep, false>, CastBase<TStep, true>},
             {CastBase<TStep, false>, CastBase<TStep, true>}}};
#endif
}

// Levoy's samples, front to back from RAY_NEAR, (RAY_FAR - RAY_NEAR) / N apart.
void MarchFrontToBack(int32_t nSamples, float& fStart, float& fStep) {
    fStart = static_cast<float>(RAY_NEAR);
    fStep = static_cast<float>((RAY_FAR - RAY_NEAR) / nSamples);
}

// X-Ray reads the nearest voxel whatever the sampling.
template <class, bool> using CXRayStepOf = CXRayStep;

std::atomic<bool> g_bUseAvx2{ProcessorHasAvx2()};

void Cast(const CastRequest& r) {
    const CompositingMode* pMode = FindCompositingMode(r.nType);
    if (!pMode) {
        SetPixel(*r.pPixel, 0.0f, 0.0f, 0.0f);
        return;
    }
    const bool bAvx2 = g_bUseAvx2.load(std::memory_order_relaxed);
    pMode->cast[bAvx2][r.nInterpolation == VOLUME_TRILINEAR](r);
}

// A request for one of the public casters, which take the matrix and the
// distances themselves: with a setup made for this ray's view alone.
CastRequest SingleRequest(RayMarchSetup& setup, int32_t nType, int32_t nSamples,
                          const float* pDirection, float fStart, float fStep,
                          const CMatrix4& matrix, const CVolume& volume, ImagePixel& pixel,
                          const CSkipMap* pSkip) {
    MakeRayMarchSetup(matrix, volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ, 0, setup);
    CastRequest r{};
    r.pSetup = &setup;
    r.nType = nType;
    r.nSamples = nSamples;
    r.pDirection = pDirection;
    r.fStart = fStart;
    r.fStep = fStep;
    r.pVolume = &volume;
    r.pPixel = &pixel;
    r.pSkip = pSkip;
    r.bShared = true;
    return r;
}

} // namespace

const CompositingMode COMPOSITING_MODES[COMPOSITING_MODE_COUNT] = {
    {VOLUME_TYPE_LEVOY, "Levoy", L"Levoy", 0, 0, "levoy",
     CLevoyStep<CBaseIsa, false>::CLOSED_BOX ? 0 : 1, false, true, MarchFrontToBack,
     [](const RunSettings& s) {
         return SkipKey{VOLUME_TYPE_LEVOY, s.nVolumeInterpolation, 0, 0};
     },
     [](CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction& tf,
        const RunSettings& s) { map.BuildLevoy(ranges, tf, s.nVolumeInterpolation); },
     CastsOf<CLevoyStep>()},
    {VOLUME_TYPE_XRAY, "X-Ray", L"X-Ray", 2, 0, "xray", CXRayStep::CLOSED_BOX ? 0 : 1, false, false,
     [](int32_t nSamples, float& fStart, float& fStep) {
         fStart = static_cast<float>(RAY_FAR);
         fStep = static_cast<float>((RAY_NEAR - RAY_FAR) / nSamples);
     },
     [](const RunSettings&) {
         return SkipKey{VOLUME_TYPE_XRAY, -1, 0, 0};
     },
     [](CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction&, const RunSettings&) {
         map.BuildXRay(ranges);
     },
     CastsOf<CXRayStepOf>()},
    {VOLUME_TYPE_FIRST_HIT, "First Hit", L"First Hit", 1, 0, "firsthit",
     CFirstHitStep<CBaseIsa, false>::CLOSED_BOX ? 0 : 1, true, false,
     [](int32_t nSamples, float& fStart, float& fStep) {
         fStart = static_cast<float>(RAY_NEAR);
         fStep = (static_cast<float>(RAY_FAR) - static_cast<float>(RAY_NEAR)) /
                 static_cast<float>(nSamples);
     },
     [](const RunSettings& s) {
         return SkipKey{VOLUME_TYPE_FIRST_HIT, s.nVolumeInterpolation, s.nLowerThreshold,
                        s.nUpperThreshold};
     },
     [](CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction&, const RunSettings& s) {
         map.BuildFirstHit(ranges, s.nVolumeInterpolation, s.nLowerThreshold, s.nUpperThreshold);
     },
     CastsOf<CFirstHitStep>()},
    {VOLUME_TYPE_MIP, "MIP", L"MIP", 0, 1, "mip", CMipStep<CBaseIsa, false>::CLOSED_BOX ? 0 : 1,
     false, false, MarchFrontToBack,
     [](const RunSettings& s) {
         return SkipKey{VOLUME_TYPE_FIRST_HIT, s.nVolumeInterpolation, 0, MIP_UPPER};
     },
     [](CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction&, const RunSettings& s) {
         map.BuildFirstHit(ranges, s.nVolumeInterpolation, 0, MIP_UPPER);
     },
     CastsOf<CMipStep>()},
    {VOLUME_TYPE_MINIP, "MinIP", L"MinIP", 1, 1, "minip",
     CMinIpStep<CBaseIsa, false>::CLOSED_BOX ? 0 : 1, true, false, MarchFrontToBack,
     // The samples that count are those a First Hit would hit.
     [](const RunSettings& s) { return COMPOSITING_MODES[VOLUME_TYPE_FIRST_HIT].skipKey(s); },
     [](CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction& tf,
        const RunSettings& s) {
         COMPOSITING_MODES[VOLUME_TYPE_FIRST_HIT].buildSkipMap(map, ranges, tf, s);
     },
     CastsOf<CMinIpStep>()},
};

const CompositingMode* FindCompositingMode(int32_t nType) {
    return nType >= 0 && nType < COMPOSITING_MODE_COUNT ? &COMPOSITING_MODES[nType] : nullptr;
}

bool CasterAvx2Available() {
    return ProcessorHasAvx2();
}

void UseCasterAvx2(bool bUse) {
    g_bUseAvx2.store(bUse && ProcessorHasAvx2());
}

bool CasterUsesAvx2() {
    return g_bUseAvx2.load();
}

void SetWireFrustum(int nWidth, int nHeight, const ZoomPan& zoom, WireBox& box) {
    const float W = static_cast<float>(std::max(1, nWidth));
    const float H = static_cast<float>(std::max(1, nHeight));
    double R, T;
    if (W >= H) {
        R = 0.5 * W / H;
        T = 0.5;
    } else {
        R = 0.5;
        T = 0.5 * H / W;
    }
    box.dFrustumRight = R;
    box.dFrustumTop = T;
    box.dFrustumCentreX = box.dFrustumCentreY = 0.0;
    if (zoom.IsDefault())
        return;
    // A pixel spans 2 R / W image-plane units; the frustum shrinks by the zoom
    // about the shifted centre (its y grows upward, the pan's downward).
    const double dPixel = 2.0 * R / W;
    box.dFrustumRight = R / zoom.dZoom;
    box.dFrustumTop = T / zoom.dZoom;
    box.dFrustumCentreX = -zoom.dPanX * dPixel / zoom.dZoom;
    box.dFrustumCentreY = zoom.dPanY * dPixel / zoom.dZoom;
}

void SetupView(const RunSettings& settings, int nDimX, int nDimY, int nDimZ,
               CVectorMath& vectorMath, RayView& view, const double* pSpacing) {
    // Each voxel edge over the shortest (exactly 1 for the shortest, and for all
    // three when they are equal), and the extents in units of the shortest edge.
    double stretch[3] = {1.0, 1.0, 1.0};
    bool bCubic = true;
    if (pSpacing && std::isfinite(pSpacing[0] + pSpacing[1] + pSpacing[2]) && pSpacing[0] > 0.0 &&
        pSpacing[1] > 0.0 && pSpacing[2] > 0.0 &&
        !(pSpacing[0] == pSpacing[1] && pSpacing[1] == pSpacing[2])) {
        const double dShortest = std::min({pSpacing[0], pSpacing[1], pSpacing[2]});
        for (int i = 0; i < 3; ++i)
            stretch[i] = pSpacing[i] == dShortest ? 1.0 : pSpacing[i] / dShortest;
        bCubic = false;
    }
    const double ext[3] = {nDimX * stretch[0], nDimY * stretch[1], nDimZ * stretch[2]};
    const double dDiag = vectorMath.Length(ext[0], ext[1], ext[2]);
    view.dDiagonal = dDiag;
    view.dStretch = std::max({stretch[0], stretch[1], stretch[2]});

    // The frustum at zoom 1 gives the image plane's half-width and height.
    const ZoomPan& zoom = settings.camera.zoom;
    SetWireFrustum(settings.nWidth, settings.nHeight, ZoomPan(), view.box);
    const double R = view.box.dFrustumRight;
    const double T = view.box.dFrustumTop;
    view.bZoomed = !zoom.IsDefault();
    if (view.bZoomed) {
        SetWireFrustum(settings.nWidth, settings.nHeight, zoom, view.box);
        const double dPixel =
            2.0 * R / static_cast<float>(std::max(1, static_cast<int>(settings.nWidth)));
        view.dZoom = zoom.dZoom;
        view.dShiftU = zoom.dPanX * dPixel;
        view.dShiftV = zoom.dPanY * dPixel;
    }
    const double dLongitude = settings.camera.fLongitude;
    const double dLatitude = settings.camera.fLatitude;
    view.box.dNear = RAY_NEAR;
    view.box.dDistance = VIEW_DISTANCE;

    view.nSamples = dDiag < 2147483647.0 ? static_cast<int32_t>(dDiag) : 0;
    view.dRight = R;
    view.dTop = T;

    view.pMatrix = std::make_unique<CMatrix4>();
    CMatrix4& m = *view.pMatrix;
    m.Translate(0.0, 0.0, -VIEW_DISTANCE);
    m.Rotate(1, -dLongitude);
    m.Rotate(0, -dLatitude);

    float p[3];
    m.TransformPoint(0.0f, 0.0f, static_cast<float>(RAY_NEAR), p);
    NormalizeVector(-p[0], -p[1], -p[2], view.light);

    // A volume without voxels has a zero diagonal; its box then has no size.
    const double sx = dDiag > 0.0 ? ext[0] / dDiag : 0.0;
    const double sy = dDiag > 0.0 ? ext[1] / dDiag : 0.0;
    const double sz = dDiag > 0.0 ? ext[2] / dDiag : 0.0;

    m.Translate(0.0, 0.0, VIEW_DISTANCE);
    m.Translate(sx, sy, -1.2 - (1.0 - sz));
    m.Scale(dDiag * 0.5);
    // So far the map leads into units of the shortest edge; the longer edges
    // hold fewer voxels per unit.
    if (!bCubic)
        m.Multiply(CScalingMatrix(1.0 / stretch[0], 1.0 / stretch[1], 1.0 / stretch[2]));

    view.box.dScale[0] = sx;
    view.box.dScale[1] = sy;
    view.box.dScale[2] = sz;
    const int dims[3] = {nDimX, nDimY, nDimZ};
    const CropBox crop = settings.crop.Clamped(dims);
    for (int a = 0; a < 3; ++a) {
        if (dims[a] < 1)
            continue;
        const double dLow = static_cast<double>(crop.nMin[a]) / dims[a];
        const double dHigh = (crop.nMax[a] + 1.0) / dims[a];
        // The box's x runs with the volume's, its y and z against them.
        const double dCentre = 0.5 * (dLow + dHigh) - 0.5;
        view.box.dCropCentre[a] = a == 0 ? dCentre : -dCentre;
        view.box.dCropSize[a] = dHigh - dLow;
    }

    auto pSetup = std::make_shared<RayMarchSetup>();
    MakeRayMarchSetup(m, nDimX, nDimY, nDimZ, view.nSamples, *pSetup, &settings.crop);
    view.pSetup = std::move(pSetup);
}

namespace {

// The direction (not normalised) of the ray of the grid fractions fx, fy.
// A zoomed or panned view divides the image-plane point, shifted by the pan,
// by the zoom; the default view computes exactly the unzoomed point.
void GridDirection(const RayView& view, double fx, double fy, float* pDirection) {
    double u = 2.0 * fx * view.dRight - view.dRight;
    double v = 2.0 * fy * view.dTop - view.dTop;
    if (view.bZoomed) {
        u = (u - view.dShiftU) / view.dZoom;
        v = (v - view.dShiftV) / view.dZoom;
    }
    pDirection[0] = static_cast<float>(u);
    pDirection[1] = static_cast<float>(v);
    pDirection[2] = static_cast<float>(RAY_NEAR);
}

// Whether a ray passes outside the image-plane bounds of the mode's box, so
// that it meets nothing.
bool MissesBox(const RayMarchSetup& setup, const CompositingMode& mode, const float* pDirection) {
    const double* pBounds = setup.dBounds[mode.nBox];
    return setup.bBounds[mode.nBox] &&
           !(pDirection[0] >= pBounds[0] && pDirection[0] <= pBounds[1] &&
             pDirection[1] >= pBounds[2] && pDirection[1] <= pBounds[3]);
}

} // namespace

void CastGridRay(const RayView& view, const RunSettings& settings, double fx, double fy,
                 const CTransferFunction& tf, const CVolume& volume, CShadeCache& shade,
                 ImagePixel& pixel, const CSkipMap* pSkip, bool bShared) {
    float direction[3];
    GridDirection(view, fx, fy, direction);
    if (!view.pSetup) {
        // A view that SetupView did not make: its setup is made for this ray.
        RayView made;
        made.pMatrix = std::make_unique<CMatrix4>(*view.pMatrix);
        made.nSamples = view.nSamples;
        made.dRight = view.dRight;
        made.dTop = view.dTop;
        made.bZoomed = view.bZoomed;
        made.dZoom = view.dZoom;
        made.dShiftU = view.dShiftU;
        made.dShiftV = view.dShiftV;
        std::copy_n(view.light, 3, made.light);
        auto pSetup = std::make_shared<RayMarchSetup>();
        MakeRayMarchSetup(*view.pMatrix, volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ,
                          view.nSamples, *pSetup, &settings.crop);
        made.pSetup = std::move(pSetup);
        CastGridRay(made, settings, fx, fy, tf, volume, shade, pixel, pSkip, bShared);
        return;
    }
    const CompositingMode* pMode = FindCompositingMode(settings.nVolumeType);
    if (!pMode) {
        SetPixel(pixel, 0.0f, 0.0f, 0.0f);
        return;
    }
    CastRequest r;
    r.pSetup = view.pSetup.get();
    r.nType = pMode->nType;
    if (MissesBox(*r.pSetup, *pMode, direction)) {
        SetPixel(pixel, 0.0f, 0.0f, 0.0f);
        return;
    }
    r.nInterpolation = settings.nVolumeInterpolation;
    r.nUpper = settings.nUpperThreshold;
    r.nLower = settings.nLowerThreshold;
    r.nSamples = view.nSamples;
    r.pDirection = direction;
    r.pLight = view.light;
    r.pTf = &tf;
    r.pVolume = &volume;
    r.pShade = &shade;
    r.pPixel = &pixel;
    r.pSkip = pSkip && pSkip->m_Key == pMode->skipKey(settings) ? pSkip : nullptr;
    r.bShared = bShared;
    pMode->march(view.nSamples, r.fStart, r.fStep);
    Cast(r);
}

int32_t MarchedSampleCount(const RayView& view, const RunSettings& settings, double fx, double fy) {
    const CompositingMode* pMode = FindCompositingMode(settings.nVolumeType);
    if (!view.pSetup || !pMode || view.nSamples < 1)
        return 0;
    const RayMarchSetup& setup = *view.pSetup;
    float direction[3];
    GridDirection(view, fx, fy, direction);
    if (MissesBox(setup, *pMode, direction))
        return 0;
    float fStart = 0.0f, fStep = 0.0f;
    pMode->march(view.nSamples, fStart, fStep);
    float dir[3];
    NormalizeVector(direction[0], direction[1], direction[2], dir);
    const float pos[3] = {dir[0] * fStart, dir[1] * fStart, dir[2] * fStart};
    const float step[3] = {dir[0] * fStep, dir[1] * fStep, dir[2] * fStep};
    int32_t nFirst = 0, nLast = -1;
    double b[3];
    double dMaxCoord = 0.0;
    if (!InsideSampleRange(setup, pos, step, view.nSamples, nFirst, nLast, b, dMaxCoord))
        return 0;
    return nLast - nFirst + 1;
}

int CastRayLevoy(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                 const float* pLight, int32_t nInterpolation, const CTransferFunction& tf,
                 const CMatrix4& matrix, const CVolume& volume, CShadeCache& shade,
                 ImagePixel& pixel, const CSkipMap* pSkip) {
    RayMarchSetup setup;
    CastRequest r =
        SingleRequest(setup, VOLUME_TYPE_LEVOY, nSamples, pDirection, static_cast<float>(dNear),
                      static_cast<float>((dFar - dNear) / nSamples), matrix, volume, pixel, pSkip);
    r.nInterpolation = nInterpolation;
    r.pLight = pLight;
    r.pTf = &tf;
    r.pShade = &shade;
    Cast(r);
    return 0;
}

int CastRayXRay(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                const CMatrix4& matrix, const CVolume& volume, ImagePixel& pixel,
                const CSkipMap* pSkip) {
    RayMarchSetup setup;
    Cast(SingleRequest(setup, VOLUME_TYPE_XRAY, nSamples, pDirection, static_cast<float>(dFar),
                       static_cast<float>((dNear - dFar) / nSamples), matrix, volume, pixel,
                       pSkip));
    return 0;
}

int CastRayFirstHit(int32_t nSamples, float fNear, float fFar, const float* pDirection,
                    const float* pLight, int32_t nUpperThreshold, int32_t nLowerThreshold,
                    int32_t nInterpolation, const CTransferFunction& tf, const CMatrix4& matrix,
                    const CVolume& volume, ImagePixel& pixel, const CSkipMap* pSkip) {
    RayMarchSetup setup;
    CastRequest r =
        SingleRequest(setup, VOLUME_TYPE_FIRST_HIT, nSamples, pDirection, fNear,
                      (fFar - fNear) / static_cast<float>(nSamples), matrix, volume, pixel, pSkip);
    r.nUpper = nUpperThreshold;
    r.nLower = nLowerThreshold;
    r.nInterpolation = nInterpolation;
    r.pLight = pLight;
    r.pTf = &tf;
    Cast(r);
    return 0;
}
