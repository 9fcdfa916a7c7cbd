#include "engine/BrickMap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/RayCaster.h"
#include "transfer/TransferFunction.h"
#include "engine/RunSettings.h"
#include "volume/Volume.h"

namespace {

int BrickCount(int nDim) {
    return (nDim + BRICK_SIZE - 1) >> BRICK_SHIFT;
}

constexpr BrickRange EMPTY_RANGE = {INT16_MAX, INT16_MIN};

void Merge(BrickRange& into, const BrickRange& r) {
    into.nMin = std::min(into.nMin, r.nMin);
    into.nMax = std::max(into.nMax, r.nMax);
}

// Min and max of n consecutive values (n >= 1).
BrickRange RangeOf(const int16_t* p, int n) {
    int16_t lo = p[0], hi = p[0];
    for (int i = 1; i < n; ++i) {
        lo = std::min(lo, p[i]);
        hi = std::max(hi, p[i]);
    }
    return {lo, hi};
}

} // namespace

bool CBrickRanges::Build(const CVolume& volume, const std::function<bool()>& bStopped) {
    Prepare(volume);
    for (int bz = 0; bz < m_nBricksZ; ++bz) {
        if (bStopped && bStopped())
            return false;
        BuildSlab(volume, bz);
    }
    Finish(volume);
    return true;
}

void CBrickRanges::Prepare(const CVolume& volume) {
    const bool bLoaded = volume.m_pVoxels && volume.HasGradients();
    m_nBricksX = bLoaded ? BrickCount(volume.m_nDimX) : 0;
    m_nBricksY = bLoaded ? BrickCount(volume.m_nDimY) : 0;
    m_nBricksZ = bLoaded ? BrickCount(volume.m_nDimZ) : 0;
    const size_t nBricks = static_cast<size_t>(m_nBricksX) * m_nBricksY * m_nBricksZ;
    m_Own.assign(nBricks, EMPTY_RANGE);
    m_Apron.assign(nBricks, EMPTY_RANGE);
    m_OwnFlat.assign(nBricks, 0);
    m_ApronFlat.assign(nBricks, 0);
    m_pVolume = nullptr;
    m_nSerial = 0;
    m_nBuildNumber = 0;
}

void CBrickRanges::Finish(const CVolume& volume) {
    static std::atomic<uint64_t> s_nBuilds{0};
    // Ranges made while the dataset was empty or without its gradients are for
    // no dataset: they are made again once it has them.
    if (m_nBricksX == 0)
        return;
    m_pVolume = &volume;
    m_nSerial = volume.m_nContentSerial;
    m_nBuildNumber = s_nBuilds.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {

// What one brick's rows gather: value ranges and flatness.
struct BrickScan {
    BrickRange own = EMPTY_RANGE;
    BrickRange apron = EMPTY_RANGE;
    bool bOwnFlat = true;
    bool bApronFlat = true;
};

// Whether the n bytes from p are all zero.
bool AllZero(const unsigned char* p, size_t n) {
    uint64_t nBits = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t nWord;
        std::memcpy(&nWord, p + i, 8);
        nBits |= nWord;
    }
    for (; i < n; ++i)
        nBits |= p[i];
    return nBits == 0;
}

// The flatness of one row of a brick, voxels [0, nOwn) its own and [0, nApron)
// with the apron, from its differences (nBytes per voxel from pDifferences on):
// flat while every difference is zero.
void ScanFlatness(const unsigned char* pDifferences, size_t nBytes, int nOwn, int nApron,
                  bool bOwnRow, BrickScan& scan) {
    const bool bOwnZero = AllZero(pDifferences, nOwn * nBytes);
    scan.bApronFlat = scan.bApronFlat && bOwnZero &&
                      AllZero(pDifferences + nOwn * nBytes, (nApron - nOwn) * nBytes);
    if (bOwnRow)
        scan.bOwnFlat = scan.bOwnFlat && bOwnZero;
}

// The value ranges of one row of a brick.
void ScanRow(const int16_t* pValue, int nOwn, int nApron, bool bOwnRow, BrickScan& scan) {
    Merge(scan.apron, RangeOf(pValue, nApron));
    if (bOwnRow)
        Merge(scan.own, RangeOf(pValue, nOwn));
}

#ifdef __SSE2__
// The same for a whole brick of 8 own voxels per row plus the apron voxel, eight
// lanes at a time.
class CSimdBrickScan {
public:
    CSimdBrickScan()
        : m_OwnMin(_mm_set1_epi16(INT16_MAX)), m_OwnMax(_mm_set1_epi16(INT16_MIN)),
          m_ApronMin(m_OwnMin), m_ApronMax(m_OwnMax) {}

    // pValue[0..7] are the row's own voxels; bApronVoxel tells whether pValue[8]
    // exists.
    void Row(const int16_t* pValue, bool bApronVoxel, bool bOwnRow) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pValue));
        m_ApronMin = _mm_min_epi16(m_ApronMin, v);
        m_ApronMax = _mm_max_epi16(m_ApronMax, v);
        if (bApronVoxel) {
            m_nApronMin = std::min(m_nApronMin, pValue[8]);
            m_nApronMax = std::max(m_nApronMax, pValue[8]);
        }
        if (bOwnRow) {
            m_OwnMin = _mm_min_epi16(m_OwnMin, v);
            m_OwnMax = _mm_max_epi16(m_OwnMax, v);
        }
    }

    void Result(BrickScan& scan) const {
        scan.own = {HorizontalMin(m_OwnMin), HorizontalMax(m_OwnMax)};
        scan.apron = {std::min(HorizontalMin(m_ApronMin), m_nApronMin),
                      std::max(HorizontalMax(m_ApronMax), m_nApronMax)};
    }

private:
    static int16_t HorizontalMin(__m128i v) {
        v = _mm_min_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        v = _mm_min_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
        v = _mm_min_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<int16_t>(_mm_cvtsi128_si32(v));
    }
    static int16_t HorizontalMax(__m128i v) {
        v = _mm_max_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        v = _mm_max_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
        v = _mm_max_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<int16_t>(_mm_cvtsi128_si32(v));
    }

    __m128i m_OwnMin, m_OwnMax, m_ApronMin, m_ApronMax;
    int16_t m_nApronMin = INT16_MAX;
    int16_t m_nApronMax = INT16_MIN;
};
#endif

} // namespace

void CBrickRanges::BuildSlab(const CVolume& volume, int bz) {
    const int nDimX = volume.m_nDimX, nDimY = volume.m_nDimY, nDimZ = volume.m_nDimZ;
    const ptrdiff_t sy = volume.m_nStrideY, sz = volume.m_nStrideZ;
    const int z0 = bz << BRICK_SHIFT;
    const int zOwnEnd = std::min(z0 + BRICK_SIZE, nDimZ);
    const int zApronEnd = std::min(z0 + BRICK_SIZE + 1, nDimZ);
    const auto* pDifferences = volume.WithDifferences(
        [](const auto* p) { return reinterpret_cast<const unsigned char*>(p); });
    const size_t nBytes = volume.m_pDifferences ? 3 * sizeof(int16_t) : 3 * sizeof(int32_t);
    for (int by = 0; by < m_nBricksY; ++by) {
        const int y0 = by << BRICK_SHIFT;
        const int yOwnEnd = std::min(y0 + BRICK_SIZE, nDimY);
        const int yApronEnd = std::min(y0 + BRICK_SIZE + 1, nDimY);
        for (int bx = 0; bx < m_nBricksX; ++bx) {
            const int x0 = bx << BRICK_SHIFT;
            const int nOwn = std::min(x0 + BRICK_SIZE, nDimX) - x0;
            const int nApron = std::min(x0 + BRICK_SIZE + 1, nDimX) - x0;
            BrickScan scan;
            for (int z = z0; z < zApronEnd; ++z)
                for (int y = y0; y < yApronEnd; ++y)
                    ScanFlatness(pDifferences + (x0 + y * sy + z * sz) * nBytes, nBytes, nOwn,
                                 nApron, z < zOwnEnd && y < yOwnEnd, scan);
#ifdef __SSE2__
            if (nOwn == BRICK_SIZE) {
                CSimdBrickScan simd;
                for (int z = z0; z < zApronEnd; ++z) {
                    for (int y = y0; y < yApronEnd; ++y) {
                        const ptrdiff_t i0 = x0 + y * sy + z * sz;
                        simd.Row(volume.m_pVoxels + i0, nApron > BRICK_SIZE,
                                 z < zOwnEnd && y < yOwnEnd);
                    }
                }
                simd.Result(scan);
            } else
#endif
            {
                for (int z = z0; z < zApronEnd; ++z) {
                    for (int y = y0; y < yApronEnd; ++y) {
                        const ptrdiff_t i0 = x0 + y * sy + z * sz;
                        ScanRow(volume.m_pVoxels + i0, nOwn, nApron, z < zOwnEnd && y < yOwnEnd,
                                scan);
                    }
                }
            }
            const size_t b = static_cast<size_t>(Index(bx, by, bz));
            m_Own[b] = scan.own;
            m_Apron[b] = scan.apron;
            m_OwnFlat[b] = scan.bOwnFlat ? 1 : 0;
            m_ApronFlat[b] = scan.bApronFlat ? 1 : 0;
        }
    }
}

bool CBrickRanges::IsFor(const CVolume& volume) const {
    return m_pVolume == &volume && m_nSerial != 0 && m_nSerial == volume.m_nContentSerial;
}

bool CSkipMap::Fits(int nDimX, int nDimY, int nDimZ) const {
    return m_nBricksX == BrickCount(nDimX) && m_nBricksY == BrickCount(nDimY) &&
           m_nBricksZ == BrickCount(nDimZ) &&
           m_Distance.size() == static_cast<size_t>(m_nBricksX) * m_nBricksY * m_nBricksZ;
}

void CSkipMap::Resize(const CBrickRanges& ranges) {
    m_nBricksX = ranges.m_nBricksX;
    m_nBricksY = ranges.m_nBricksY;
    m_nBricksZ = ranges.m_nBricksZ;
    m_Distance.assign(ranges.m_Own.size(), 0);
}

bool CSkipMap::Holds(const CBrickRanges& ranges, const SkipKey& key, std::vector<int>&& nOpaque) {
    const bool bHolds = ranges.BuildNumber() != 0 && ranges.BuildNumber() == m_nRangesBuild &&
                        key == m_Key && nOpaque == m_nOpaque;
    m_nRangesBuild = ranges.BuildNumber();
    m_Key = key;
    m_nOpaque = std::move(nOpaque);
    return bHolds;
}

void CSkipMap::BuildLevoy(const CBrickRanges& ranges, const CTransferFunction& tf,
                          int nInterpolation) {
    // nOpaque[i]: table entries below i whose opacity is not exactly 0 (NaN
    // counts as not 0).
    std::vector<int> nCounts(TABLE_SIZE + 1, 0);
    for (int i = 0; i < TABLE_SIZE; ++i)
        nCounts[i + 1] = nCounts[i] + (tf.m_Table[i].opacity == 0.0f ? 0 : 1);
    if (Holds(ranges, SkipKey{VOLUME_TYPE_LEVOY, nInterpolation, 0, 0}, std::move(nCounts)))
        return;
    Resize(ranges);
    const std::vector<int>& nOpaque = m_nOpaque;
    const bool bTrilinear = nInterpolation == VOLUME_TRILINEAR;
    const std::vector<BrickRange>& source = bTrilinear ? ranges.m_Apron : ranges.m_Own;
    const std::vector<uint8_t>& flat = bTrilinear ? ranges.m_ApronFlat : ranges.m_OwnFlat;
    for (size_t b = 0; b < source.size(); ++b) {
        // A trilinear value lies between its corners up to a rounding far below
        // one, and is then truncated toward zero: a value just below a positive
        // minimum becomes the minimum less one, one just above a negative maximum
        // the maximum plus one. The lookup limits its index to the table: the
        // sampled range maps to the index range [lo, hi].
        int nLow = source[b].nMin, nHigh = source[b].nMax;
        if (bTrilinear) {
            nLow -= nLow > 0 ? 1 : 0;
            nHigh += nHigh < 0 ? 1 : 0;
        }
        const int lo = std::clamp(nLow, 0, TABLE_SIZE - 1);
        const int hi = std::clamp(nHigh, 0, TABLE_SIZE - 1);
        const bool bTransparent =
            source[b].nMin <= source[b].nMax && nOpaque[hi + 1] == nOpaque[lo];
        m_Distance[b] = bTransparent || flat[b] ? SKIP_DISTANCE_CAP : 0;
    }
    ComputeDistances();
}

void CSkipMap::BuildFirstHit(const CBrickRanges& ranges, int nInterpolation, int32_t nLower,
                             int32_t nUpper) {
    if (Holds(ranges, SkipKey{VOLUME_TYPE_FIRST_HIT, nInterpolation, nLower, nUpper}, {}))
        return;
    Resize(ranges);
    // The caster compares the value with the thresholds as floats.
    const double fLower = static_cast<float>(nLower);
    const double fUpper = static_cast<float>(nUpper);
    const bool bTrilinear = nInterpolation == VOLUME_TRILINEAR;
    const std::vector<BrickRange>& source = bTrilinear ? ranges.m_Apron : ranges.m_Own;
    for (size_t b = 0; b < source.size(); ++b) {
        bool bEmpty = true;
        if (source[b].nMin <= source[b].nMax) {
            if (bTrilinear) {
                // Any value between the corners. The interpolation's rounding (far
                // below a unit in the last place of a float at 1) cannot carry
                // its float past a whole-number corner value, and with zero as
                // the smallest (largest) corner every weighted term is at least
                // (most) zero.
                const double lo = source[b].nMin;
                const double hi = source[b].nMax;
                bEmpty = !(hi > fLower && lo < fUpper && fLower < fUpper);
            } else {
                // Whole values: the smallest above the lower and the largest below
                // the upper threshold.
                const double lo = std::max<double>(source[b].nMin, std::floor(fLower) + 1.0);
                const double hi = std::min<double>(source[b].nMax, std::ceil(fUpper) - 1.0);
                bEmpty = lo > hi;
            }
        }
        m_Distance[b] = bEmpty ? SKIP_DISTANCE_CAP : 0;
    }
    ComputeDistances();
}

void CSkipMap::BuildXRay(const CBrickRanges& ranges) {
    if (Holds(ranges, SkipKey{VOLUME_TYPE_XRAY, -1, 0, 0}, {}))
        return;
    Resize(ranges);
    for (size_t b = 0; b < ranges.m_Own.size(); ++b) {
        const bool bEmpty = ranges.m_Own[b].nMin == 0 && ranges.m_Own[b].nMax == 0;
        m_Distance[b] = bEmpty ? SKIP_DISTANCE_CAP : 0;
    }
    ComputeDistances();
}

void CSkipMap::ComputeDistances() {
    const int nx = m_nBricksX, ny = m_nBricksY, nz = m_nBricksZ;
    m_nSolid = static_cast<int>(std::count(m_Distance.begin(), m_Distance.end(), 0));
    if (m_nSolid == 0 || m_nSolid == static_cast<int>(m_Distance.size()))
        return;
    // Two raster passes over the 26-neighbourhood, each brick taking one more
    // than its smallest already visited neighbour: the exact chessboard distance.
    auto relax = [&](int x, int y, int z, int sign) {
        uint8_t& d = m_Distance[static_cast<size_t>(x + nx * (y + ny * z))];
        if (d == 0)
            return;
        int best = d;
        for (int dz = -1; dz <= 0; ++dz) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    // Visited before this brick in the pass: dz < 0, or dz = 0 and
                    // (dy < 0, or dy = 0 and dx < 0).
                    if (dz == 0 && (dy > 0 || (dy == 0 && dx >= 0)))
                        continue;
                    const int qx = x + sign * dx, qy = y + sign * dy, qz = z + sign * dz;
                    if (qx < 0 || qy < 0 || qz < 0 || qx >= nx || qy >= ny || qz >= nz)
                        continue;
                    best = std::min(best,
                                    m_Distance[static_cast<size_t>(qx + nx * (qy + ny * qz))] + 1);
                }
            }
        }
        d = static_cast<uint8_t>(std::min(best, static_cast<int>(SKIP_DISTANCE_CAP)));
    };
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                relax(x, y, z, 1);
    for (int z = nz - 1; z >= 0; --z)
        for (int y = ny - 1; y >= 0; --y)
            for (int x = nx - 1; x >= 0; --x)
                relax(x, y, z, -1);
}
