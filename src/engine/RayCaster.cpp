#include "engine/RayCaster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/BrickMap.h"
#include "engine/FloatSteps.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"
#include "volume/Volume.h"

namespace {

// The double nearest to 1/255, the First Hit scale factor.
constexpr double K255_DOUBLE = 0.00392156862745098;

// The matrix elements that map a point, held in locals. Map does exactly what
// CMatrix4::TransformPoint does, with the same double operations in the same
// order, only inline (and rows 0 and 1 side by side in one SSE2 register, which
// rounds each lane exactly as the scalar code would).
struct PointMap {
    double m[4][3];
#ifdef __SSE2__
    __m128d m_Rows01[4]; // (m[c][0], m[c][1]) for c = 0..3
#endif
    explicit PointMap(const CMatrix4& matrix) {
        for (int c = 0; c < 4; ++c) {
            for (int r = 0; r < 3; ++r)
                m[c][r] = matrix.m_Elements[c][r];
#ifdef __SSE2__
            m_Rows01[c] = _mm_set_pd(m[c][1], m[c][0]);
#endif
        }
    }
    void Map(const float* pPos, float* pOut) const {
        const double x = pPos[0];
        const double y = pPos[1];
        const double z = pPos[2];
#ifdef __SSE2__
        __m128d v = _mm_mul_pd(m_Rows01[0], _mm_set1_pd(x));
        v = _mm_add_pd(v, _mm_mul_pd(m_Rows01[1], _mm_set1_pd(y)));
        v = _mm_add_pd(v, _mm_mul_pd(m_Rows01[2], _mm_set1_pd(z)));
        v = _mm_add_pd(v, m_Rows01[3]);
        const __m128 f = _mm_cvtpd_ps(v);
        pOut[0] = _mm_cvtss_f32(f);
        pOut[1] = _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1));
#else
        pOut[0] = static_cast<float>(m[0][0] * x + m[1][0] * y + m[2][0] * z + m[3][0]);
        pOut[1] = static_cast<float>(m[0][1] * x + m[1][1] * y + m[2][1] * z + m[3][1]);
#endif
        pOut[2] = static_cast<float>(m[0][2] * x + m[1][2] * y + m[2][2] * z + m[3][2]);
    }
};

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

// The samples of one ray that can land inside the volume. The position of
// sample i is the start plus i steps, added one at a time in float; that sum
// drifts from the exact line start + i * step by less than (i + 1) float
// roundings of the largest coordinate, and mapping it into voxel space adds at
// most a float rounding of the result. Every sample whose exact line point lies
// further than that bound (plus half a voxel) outside the box [0, dim] on some
// axis is outside the volume for all three inside tests, so it need not be
// mapped. Returns false when no sample can be inside; otherwise [first, last]
// holds every sample that can be.
bool InsideSampleRange(const PointMap& map, const float* pStart, const float* pStep,
                       int32_t nSamples, const CVolume& volume, int32_t& nFirst, int32_t& nLast) {
    const double dims[3] = {static_cast<double>(volume.m_nDimX),
                            static_cast<double>(volume.m_nDimY),
                            static_cast<double>(volume.m_nDimZ)};
    const double n = nSamples;
    double dMaxCoord = 0.0;
    for (int j = 0; j < 3; ++j) {
        const double dEnd = static_cast<double>(pStart[j]) + n * pStep[j];
        dMaxCoord =
            std::max({dMaxCoord, std::fabs(static_cast<double>(pStart[j])), std::fabs(dEnd)});
    }
    // Drift of the accumulated float position, per coordinate (with room to spare).
    const double dDrift = 2.0 * (n + 1.0) * std::ldexp(1.0, -24) * (dMaxCoord + 1.0e-20);

    double tMin = 0.0;
    double tMax = n - 1.0;
    for (int c = 0; c < 3; ++c) {
        double a = map.m[3][c];
        double b = 0.0;
        double dRowSum = 0.0;
        for (int j = 0; j < 3; ++j) {
            a += map.m[j][c] * pStart[j];
            b += map.m[j][c] * pStep[j];
            dRowSum += std::fabs(map.m[j][c]);
        }
        if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(dRowSum)) {
            nFirst = 0; // cannot reason about it: take every sample as it comes
            nLast = nSamples - 1;
            return true;
        }
        const double dMargin = 0.5 + dRowSum * dDrift +
                               1.0e-6 * (std::fabs(a) + std::fabs(b) * n + dRowSum * dMaxCoord +
                                         std::fabs(map.m[3][c]) + 1.0);
        const double lo = -dMargin;
        const double hi = dims[c] + dMargin;
        if (b == 0.0) {
            if (a < lo || a > hi)
                return false;
            continue;
        }
        double t1 = (lo - a) / b;
        double t2 = (hi - a) / b;
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

void Advance(float* pPos, const float* pStep) {
    pPos[0] += pStep[0];
    pPos[1] += pStep[1];
    pPos[2] += pStep[2];
}

// Finds, for a sample that falls into an empty brick, how many samples from it on
// surely lie in the empty space around that brick (the cube of bricks within its
// skip distance). Sample i + j lies at the mapped float position p_i plus j
// times the voxel step b, off by the drift of j float additions (mapped into
// voxel space) and by the rounding of both mapped positions to float.
class CRaySkipper {
public:
    // Without a map (or with one it cannot use) it reports no empty runs; the
    // caster then marches every sample.
    CRaySkipper(const CSkipMap* pSkipMap, const CVolume& volume, const PointMap& map,
                const float* pStart, const float* pStep, int32_t nSamples) {
        if (!pSkipMap || !pSkipMap->Fits(volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ))
            return;
        double dMaxCoord = 0.0;
        for (int j = 0; j < 3; ++j) {
            const double dEnd =
                static_cast<double>(pStart[j]) + nSamples * static_cast<double>(pStep[j]);
            dMaxCoord =
                std::max({dMaxCoord, std::fabs(static_cast<double>(pStart[j])), std::fabs(dEnd)});
        }
        // Each addition rounds by at most half a unit in the last place of the
        // largest coordinate: 2^-24 of it; twice that for room.
        const double dAddError = dMaxCoord * TWO_TO_MINUS_23 + 1.0e-300;
        // Rounding of a mapped position to float: half a unit in the last place,
        // at most 2^-24 of the largest magnitude a position or region bound can
        // have (doubled, and for both positions of a comparison).
        const int nMaxDim = std::max({volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ});
        m_dRound =
            (nMaxDim + (CSkipMap::SKIP_DISTANCE_CAP + 2.0) * BRICK_SIZE + 1.0) * TWO_TO_MINUS_22;
        for (int c = 0; c < 3; ++c) {
            double b = 0.0, dRowSum = 0.0;
            for (int j = 0; j < 3; ++j) {
                b += map.m[j][c] * pStep[j];
                dRowSum += std::fabs(map.m[j][c]);
            }
            const double dDrift = dRowSum * dAddError * 1.001 + std::fabs(b) * 1.0e-12 + 1.0e-300;
            m_nDirection[c] = b > 0.0 ? 1 : (b < 0.0 ? -1 : 0);
            m_dInverse[c] = 1.0 / (std::fabs(b) + dDrift);
            if (!std::isfinite(b) || !std::isfinite(dDrift) || !(m_dInverse[c] > 0.0) ||
                !std::isfinite(m_dInverse[c]))
                return;
        }
        m_pDistance = pSkipMap->Distances();
        m_nBricksX = pSkipMap->m_nBricksX;
        m_nBricksXY = pSkipMap->m_nBricksX * pSkipMap->m_nBricksY;
    }
    bool Active() const { return m_pDistance != nullptr; }

    // When the sample at p (cell ix, iy, iz) lies in empty space: advances the
    // position past every sample that surely lies there (the same float
    // additions, done at once), moves the sample index i along and returns true.
    bool JumpEmptySpace(const float* p, int32_t ix, int32_t iy, int32_t iz, int32_t nLast,
                        float* pPos, const float* pStep, int32_t& i) const {
        const int D = Distance(ix, iy, iz);
        if (D == 0)
            return false;
        const int64_t nRun = EmptyRun(p, ix, iy, iz, D, nLast - i + 1);
        AddRepeated3(pPos, pStep, nRun);
        i += static_cast<int32_t>(nRun);
        return true;
    }

    // The skip distance of the brick that holds cell (ix, iy, iz).
    int Distance(int32_t ix, int32_t iy, int32_t iz) const {
        return m_pDistance[(ix >> BRICK_SHIFT) + m_nBricksX * (iy >> BRICK_SHIFT) +
                           m_nBricksXY * (iz >> BRICK_SHIFT)];
    }

    // For a sample at p in cell (ix, iy, iz), whose brick has the skip distance
    // D > 0: the count of samples from this one on (at least 1, at most
    // nRemaining) that surely lie in empty space.
    int64_t EmptyRun(const float* p, int32_t ix, int32_t iy, int32_t iz, int D,
                     int64_t nRemaining) const {
        const int32_t cells[3] = {ix >> BRICK_SHIFT, iy >> BRICK_SHIFT, iz >> BRICK_SHIFT};
        double dRun = static_cast<double>(nRemaining - 1);
        for (int c = 0; c < 3; ++c) {
            const double lo = static_cast<double>(cells[c] - D + 1) * BRICK_SIZE;
            const double hi = static_cast<double>(cells[c] + D) * BRICK_SIZE;
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
        return dRun >= 1.0 ? static_cast<int64_t>(dRun) + 1 : 1;
    }

private:
    static constexpr double TWO_TO_MINUS_22 = 1.0 / 4194304.0;
    static constexpr double TWO_TO_MINUS_23 = 1.0 / 8388608.0;

    const uint8_t* m_pDistance = nullptr; // null: no skipping
    int32_t m_nBricksX = 0;
    int32_t m_nBricksXY = 0;
    double m_dRound = 0.0;                  // float rounding of two positions
    int m_nDirection[3] = {0, 0, 0};        // sign of the voxel step per axis
    double m_dInverse[3] = {0.0, 0.0, 0.0}; // 1 / (|voxel step| + drift bound per sample)
};

// Waits until the ray that claimed a shading-cache entry has filled it. The
// claimer computes one sample's shading without waiting on anything, so this
// is short.
void WaitUntilFilled(std::atomic_ref<uint8_t> state, uint8_t nFilled) {
    for (int nSpins = 0; state.load(std::memory_order_acquire) != nFilled; ++nSpins) {
        if (nSpins < 64) {
#ifdef __SSE2__
            _mm_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
}

// The normalised ray direction pDir of pDirection, the first sample position
// pPos at the distance fStart along it and the step vector pStep of fStep per
// sample, all in float.
void StartRay(const float* pDirection, float fStart, float fStep, float* pDir, float* pPos,
              float* pStep) {
    NormalizeVector(pDirection[0], pDirection[1], pDirection[2], pDir);
    ScaleVector(pDir[0], pDir[1], pDir[2], fStart, pPos);
    ScaleVector(pDir[0], pDir[1], pDir[2], fStep, pStep);
}

// The march that the three casters share. A ray starts at pPos and advances by
// adding pStep once per sample, in float; each position is mapped into voxel
// space and, when it lies inside the caster's box, handed to the caster's step
// with the linear index k of its nearest voxel. The samples that cannot be
// inside are passed over in one go (InsideSampleRange), and so are those that a
// usable skip map marks as empty while the step allows it; the position still
// ends up exactly where one addition per sample takes it.
//
// TStep provides:
//   static constexpr bool CLOSED_BOX: inside is 0 <= p < dim on every axis
//     (X-Ray); otherwise 0 < p < dim - 1 (Levoy and First Hit);
//   bool MaySkip() const: whether samples in empty space may be jumped now;
//   bool Sample(const float* p, int32_t k): takes one inside sample; false ends
//     the march.
template <class TStep>
void MarchRay(int32_t nSamples, float* pPos, const float* pStep, const CMatrix4& matrix,
              const CVolume& volume, const CSkipMap* pSkip, TStep& step) {
    const PointMap map(matrix);
    int32_t nFirst = 0, nLast = -1;
    if (!InsideSampleRange(map, pPos, pStep, nSamples, volume, nFirst, nLast))
        return;
    const CRaySkipper skipper(pSkip, volume, map, pPos, pStep, nSamples);
    const bool bSkip = skipper.Active();
    AddRepeated3(pPos, pStep, nFirst);

    const int nHighOffset = TStep::CLOSED_BOX ? 0 : 1;
    const float fHighX = static_cast<float>(volume.m_nDimX - nHighOffset);
    const float fHighY = static_cast<float>(volume.m_nDimY - nHighOffset);
    const float fHighZ = static_cast<float>(volume.m_nDimZ - nHighOffset);
    const int32_t nStrideY = volume.m_nStrideY;
    const int32_t nStrideZ = volume.m_nStrideZ;

    for (int32_t i = nFirst; i <= nLast;) {
        float p[3];
        map.Map(pPos, p);
        bool bInside;
        if constexpr (TStep::CLOSED_BOX)
            bInside = p[0] >= 0.0f && p[0] < fHighX && p[1] >= 0.0f && p[1] < fHighY &&
                      p[2] >= 0.0f && p[2] < fHighZ;
        else
            bInside = p[0] > 0.0f && p[0] < fHighX && p[1] > 0.0f && p[1] < fHighY && p[2] > 0.0f &&
                      p[2] < fHighZ;
        if (bInside) {
            const int32_t ix = static_cast<int32_t>(p[0]);
            const int32_t iy = static_cast<int32_t>(p[1]);
            const int32_t iz = static_cast<int32_t>(p[2]);
            if (bSkip && step.MaySkip() &&
                skipper.JumpEmptySpace(p, ix, iy, iz, nLast, pPos, pStep, i))
                continue;
            if (!step.Sample(p, ix + iy * nStrideY + iz * nStrideZ))
                return;
        }
        Advance(pPos, pStep);
        ++i;
    }
}

// Levoy: shaded front-to-back compositing through the shading cache.
class CLevoyStep {
public:
    static constexpr bool CLOSED_BOX = false;

    CLevoyStep(const float* pLight, const float* pHalf, bool bTrilinear,
               const CTransferFunction& tf, CVolume& volume)
        : m_pLight(pLight), m_pHalf(pHalf), m_bTrilinear(bTrilinear), m_Tf(tf), m_Volume(volume),
          m_pShade(volume.m_pShade), m_nFilled(volume.ShadeFilled()),
          m_nClaimed(volume.ShadeClaimed()) {}

    // Samples in empty space have opacity 0: with a finite A they change no sum,
    // and A stays at or below 0.99.
    bool MaySkip() const { return std::isfinite(A); }

    bool Sample(const float* p, int32_t k) {
        ShadeEntry& entry = m_pShade[k];
        // Within a run an entry, once filled, is never recomputed: what a later
        // sample would compute for it is discarded, so it is not computed at all.
        // The first ray to reach the voxel claims the entry and fills it; any
        // other waits for that.
        std::atomic_ref<uint8_t> state(entry.state);
        uint8_t nState = state.load(std::memory_order_acquire);
        if (nState != m_nFilled) {
            if (nState != m_nClaimed &&
                state.compare_exchange_strong(nState, m_nClaimed, std::memory_order_acquire)) {
                Fill(p, k, entry);
                state.store(m_nFilled, std::memory_order_release);
            } else {
                WaitUntilFilled(state, m_nFilled);
            }
        }
        const float a = entry.alpha;
        // With a = 0 and a finite A every product below is a zero, and adding a
        // zero leaves each sum as it is.
        if (a != 0.0f || !std::isfinite(A)) {
            const float rest = 1.0f - A;
            cr += static_cast<float>(entry.red) * rest * a;
            cg += static_cast<float>(entry.green) * rest * a;
            cb += static_cast<float>(entry.blue) * rest * a;
            A += rest * a;
        }
        return !(A > 0.99);
    }

    float cr = 0.0f, cg = 0.0f, cb = 0.0f, A = 0.0f;

private:
    // Shades the sample at p into the cache entry of its nearest voxel k.
    void Fill(const float* p, int32_t k, ShadeEntry& entry) {
        const CVolume& volume = m_Volume;
        int16_t nValue;
        if (m_bTrilinear)
            nValue = TruncToInt16(volume.SampleTrilinear(p[0], p[1], p[2]));
        else
            nValue = volume.m_pVoxels[k];
        const TableEntry& e = m_Tf.Lookup(nValue);
        // A transparent entry (opacity m * 0 = 0 for every finite m) adds nothing
        // to any ray whatever its colour, so its gradient and shading are not
        // needed.
        float g[3];
        float m = 0.0f;
        bool bShade = e.opacity != 0.0f;
        if (bShade) {
            if (m_bTrilinear) {
                volume.GradientTrilinear(p[0], p[1], p[2], g);
                m = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
            } else {
                const float* pGradient = volume.m_pRecords[k].gradient;
                g[0] = pGradient[0];
                g[1] = pGradient[1];
                g[2] = pGradient[2];
                m = volume.m_pGradientMagnitude[k];
            }
            bShade = m > 0.0f && std::isfinite(m);
        }
        if (bShade) {
            const float nv[3] = {g[0] / m, g[1] / m, g[2] / m};
            const float fDiffuse = Dot(nv, m_pLight);
            const float fSpecular = SpecularPower(Dot(nv, m_pHalf));
            const float I = 0.3f * fSpecular + 0.7f * fDiffuse;
            entry.red = TruncToByte(I * e.red);
            entry.green = TruncToByte(I * e.green);
            entry.blue = TruncToByte(I * e.blue);
            entry.alpha = m * e.opacity;
        } else {
            // No gradient (no surface) or no opacity: colour 0 and opacity 0.
            entry.red = entry.green = entry.blue = 0;
            entry.alpha = 0.0f;
        }
    }

    const float* m_pLight;
    const float* m_pHalf;
    const bool m_bTrilinear;
    const CTransferFunction& m_Tf;
    const CVolume& m_Volume;
    ShadeEntry* const m_pShade;
    const uint8_t m_nFilled;
    const uint8_t m_nClaimed;
};

// X-Ray: the sum of the nearest voxel values, each divided by 4096 N.
class CXRayStep {
public:
    static constexpr bool CLOSED_BOX = true;

    CXRayStep(int32_t nSamples, const CVolume& volume)
        : m_pVoxels(volume.m_pVoxels), m_dDivisor(nSamples * 4096.0) {}

    // Voxels of value 0 add exact zeros, which change no sum.
    bool MaySkip() const { return true; }

    bool Sample(const float*, int32_t k) {
        dSum = dSum + m_pVoxels[k] / m_dDivisor;
        return true;
    }

    double dSum = 0.0;

private:
    const int16_t* const m_pVoxels;
    const double m_dDivisor;
};

// First Hit: the first sample strictly between the thresholds, diffusely shaded.
class CFirstHitStep {
public:
    static constexpr bool CLOSED_BOX = false;

    CFirstHitStep(const float* pLight, int32_t nUpper, int32_t nLower, bool bTrilinear,
                  const CTransferFunction& tf, const CVolume& volume, ImagePixel& pixel)
        : m_pLight(pLight), m_fLower(static_cast<float>(nLower)),
          m_fUpper(static_cast<float>(nUpper)), m_bTrilinear(bTrilinear), m_Tf(tf),
          m_Volume(volume), m_Pixel(pixel) {}

    // No sample in empty space can be a hit.
    bool MaySkip() const { return true; }

    bool Sample(const float* p, int32_t k) {
        const CVolume& volume = m_Volume;
        const float fValue = m_bTrilinear
                                 ? static_cast<float>(volume.SampleTrilinear(p[0], p[1], p[2]))
                                 : static_cast<float>(volume.m_pVoxels[k]);
        if (!(m_fLower < fValue && fValue < m_fUpper))
            return true;
        const TableEntry& e = m_Tf.Lookup(TruncToInt16(fValue));
        float nv[3];
        bool bSurface;
        if (m_bTrilinear) {
            float g[3];
            volume.GradientTrilinear(p[0], p[1], p[2], g);
            NormalizeVector(g[0], g[1], g[2], nv);
            bSurface = nv[0] != 0.0f || nv[1] != 0.0f || nv[2] != 0.0f;
        } else {
            const float m = volume.m_pGradientMagnitude[k];
            const float* g = volume.m_pRecords[k].gradient;
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
    const bool m_bTrilinear;
    const CTransferFunction& m_Tf;
    const CVolume& m_Volume;
    ImagePixel& m_Pixel;
};

} // namespace

void SetupView(CRenderState& state, int nDimX, int nDimY, int nDimZ, CVectorMath& vectorMath,
               RayView& view) {
    const float W = static_cast<float>(std::max(1, static_cast<int>(state.m_nWidth.load())));
    const float H = static_cast<float>(std::max(1, static_cast<int>(state.m_nHeight.load())));
    const double dDiag = vectorMath.Length(static_cast<double>(nDimX), static_cast<double>(nDimY),
                                           static_cast<double>(nDimZ));

    double R, T;
    if (W >= H) {
        R = 0.5 * W / H;
        T = 0.5;
    } else {
        R = 0.5;
        T = 0.5 * H / W;
    }
    state.m_dFrustumTop = T;
    state.m_dFrustumRight = R;
    const double dLongitude = state.m_fLongitude.load();
    const double dLatitude = state.m_fLatitude.load();
    state.m_dNear = RAY_NEAR;
    state.m_dDistance = VIEW_DISTANCE;

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
    const double sx = dDiag > 0.0 ? nDimX / dDiag : 0.0;
    const double sy = dDiag > 0.0 ? nDimY / dDiag : 0.0;
    const double sz = dDiag > 0.0 ? nDimZ / dDiag : 0.0;

    m.Translate(0.0, 0.0, VIEW_DISTANCE);
    m.Translate(sx, sy, -1.2 - (1.0 - sz));
    m.Scale(dDiag * 0.5);

    state.m_dScaleX = sx;
    state.m_dScaleY = sy;
    state.m_dScaleZ = sz;
}

void CastGridRay(const RayView& view, const CRenderState& state, double fx, double fy,
                 const CTransferFunction& tf, CVolume& volume, ImagePixel& pixel,
                 const CSkipMap* pSkip) {
    const float direction[3] = {static_cast<float>(2.0 * fx * view.dRight - view.dRight),
                                static_cast<float>(2.0 * fy * view.dTop - view.dTop),
                                static_cast<float>(RAY_NEAR)};
    switch (state.m_nVolumeType.load(std::memory_order_relaxed)) {
    case VOLUME_TYPE_LEVOY: {
        const int32_t nInterpolation = state.m_nVolumeInterpolation.load(std::memory_order_relaxed);
        if (pSkip && !(pSkip->m_Key == SkipKey{VOLUME_TYPE_LEVOY, nInterpolation, 0, 0}))
            pSkip = nullptr;
        CastRayLevoy(view.nSamples, RAY_NEAR, RAY_FAR, direction, view.light, nInterpolation, tf,
                     *view.pMatrix, volume, pixel, pSkip);
        break;
    }
    case VOLUME_TYPE_XRAY:
        if (pSkip && !(pSkip->m_Key == SkipKey{VOLUME_TYPE_XRAY, -1, 0, 0}))
            pSkip = nullptr;
        CastRayXRay(view.nSamples, RAY_NEAR, RAY_FAR, direction, *view.pMatrix, volume, pixel,
                    pSkip);
        break;
    case VOLUME_TYPE_FIRST_HIT: {
        const int32_t nUpper = state.m_nUpperThreshold.load(std::memory_order_relaxed);
        const int32_t nLower = state.m_nLowerThreshold.load(std::memory_order_relaxed);
        const int32_t nInterpolation = state.m_nVolumeInterpolation.load(std::memory_order_relaxed);
        if (pSkip &&
            !(pSkip->m_Key == SkipKey{VOLUME_TYPE_FIRST_HIT, nInterpolation, nLower, nUpper}))
            pSkip = nullptr;
        CastRayFirstHit(view.nSamples, static_cast<float>(RAY_NEAR), static_cast<float>(RAY_FAR),
                        direction, view.light, nUpper, nLower, nInterpolation, tf, *view.pMatrix,
                        volume, pixel, pSkip);
        break;
    }
    default:
        SetPixel(pixel, 0.0f, 0.0f, 0.0f);
        break;
    }
}

int CastRayLevoy(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                 const float* pLight, int32_t nInterpolation, const CTransferFunction& tf,
                 const CMatrix4& matrix, CVolume& volume, ImagePixel& pixel,
                 const CSkipMap* pSkip) {
    if (nSamples < 1 || !volume.m_pVoxels) {
        SetPixel(pixel, 0.0f, 0.0f, 0.0f);
        return 0;
    }
    float dir[3], pos[3], step[3];
    StartRay(pDirection, static_cast<float>(dNear), static_cast<float>((dFar - dNear) / nSamples),
             dir, pos, step);
    float half[3];
    NormalizeVector(dir[0] + pLight[0], dir[1] + pLight[1], dir[2] + pLight[2], half);

    CLevoyStep levoy(pLight, half, nInterpolation == VOLUME_TRILINEAR, tf, volume);
    MarchRay(nSamples, pos, step, matrix, volume, pSkip, levoy);
    SetPixel(pixel, levoy.cr * K255, levoy.cg * K255, levoy.cb * K255);
    return 0;
}

int CastRayXRay(int32_t nSamples, double dNear, double dFar, const float* pDirection,
                const CMatrix4& matrix, const CVolume& volume, ImagePixel& pixel,
                const CSkipMap* pSkip) {
    if (nSamples < 1 || !volume.m_pVoxels) {
        SetPixel(pixel, 0.0f, 0.0f, 0.0f);
        return 0;
    }
    float dir[3], pos[3], step[3];
    StartRay(pDirection, static_cast<float>(dFar), static_cast<float>((dNear - dFar) / nSamples),
             dir, pos, step);

    CXRayStep xray(nSamples, volume);
    MarchRay(nSamples, pos, step, matrix, volume, pSkip, xray);
    const float fGrey = static_cast<float>(xray.dSum * 5.0);
    SetPixel(pixel, fGrey, fGrey, fGrey);
    return 0;
}

int CastRayFirstHit(int32_t nSamples, float fNear, float fFar, const float* pDirection,
                    const float* pLight, int32_t nUpperThreshold, int32_t nLowerThreshold,
                    int32_t nInterpolation, const CTransferFunction& tf, const CMatrix4& matrix,
                    const CVolume& volume, ImagePixel& pixel, const CSkipMap* pSkip) {
    SetPixel(pixel, 0.0f, 0.0f, 0.0f);
    if (nSamples < 1 || !volume.m_pVoxels)
        return 0;
    float dir[3], pos[3], step[3];
    StartRay(pDirection, fNear, (fFar - fNear) / static_cast<float>(nSamples), dir, pos, step);

    CFirstHitStep firstHit(pLight, nUpperThreshold, nLowerThreshold,
                           nInterpolation == VOLUME_TRILINEAR, tf, volume, pixel);
    MarchRay(nSamples, pos, step, matrix, volume, pSkip, firstHit);
    return 0;
}
