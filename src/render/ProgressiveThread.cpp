#include "render/ProgressiveThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "engine/BrickMap.h"
#include "engine/CompositingModes.h"
#include "engine/RayCaster.h"
#include "engine/RenderPool.h"
#include "engine/ShadeCache.h"
#include "platform/Sync.h"
#include "render/RenderState.h"
#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

std::string FormatStepReadyLine(int nStep, int32_t nElapsedMs) {
    char szLine[96];
    std::snprintf(szLine, sizeof(szLine), "step #%d ready! %d.%03d seconds elapsed\n", nStep,
                  static_cast<int>(nElapsedMs / 1000), static_cast<int>(nElapsedMs % 1000));
    return szLine;
}

namespace {

// How long the worker waits for the image mutex before it gives up a step's
// copy, and the slices in which it waits, polling the stop request in between so
// that a stop is not held up by a long paint.
constexpr unsigned IMAGE_LOCK_WAIT_MS = 100;
constexpr unsigned IMAGE_LOCK_SLICE_MS = 2;
// The last step's picture is the run's result: its copy tries again after a
// time-out (a long paint), up to this many times, before it gives up.
constexpr int LAST_COPY_TRIES = 20;

// Steps with grids up to this many points per side are cast by the worker
// alone: waking the pool would cost more than their few rays.
constexpr int SMALL_STEP_GRID = 16;

enum class LockResult { Locked, TimedOut, Stopped };

LockResult LockImage(CRenderState& wnd) {
    for (unsigned nWaited = 0; nWaited < IMAGE_LOCK_WAIT_MS; nWaited += IMAGE_LOCK_SLICE_MS) {
        if (wnd.m_hImageMutex.Lock(std::min(IMAGE_LOCK_SLICE_MS, IMAGE_LOCK_WAIT_MS - nWaited)))
            return LockResult::Locked;
        if (wnd.IsStopRequested())
            return LockResult::Stopped;
    }
    return LockResult::TimedOut;
}

// Makes the skip map for the settings that the run starts with, from the
// dataset's brick ranges (built on the first run that needs them, by all lanes,
// one slab of bricks at a time). Null when the run is to stop meanwhile.
const CSkipMap* PrepareSkipMap(CRenderState& wnd, const RunSettings& settings,
                               const CVolume& volume, const CTransferFunction& tf,
                               CRenderPool* pPool, int nLanes, bool& bStopped) {
    CBrickRanges& ranges = wnd.WorkerBrickRanges();
    if (!ranges.IsFor(volume)) {
        ranges.Prepare(volume);
        std::atomic<int> nNextSlab{0};
        std::atomic<bool> bStop{false};
        auto build = [&](int) {
            for (;;) {
                if (bStop.load(std::memory_order_relaxed) || wnd.IsStopRequested()) {
                    bStop.store(true, std::memory_order_relaxed);
                    return;
                }
                const int bz = nNextSlab.fetch_add(1, std::memory_order_relaxed);
                if (bz >= ranges.m_nBricksZ)
                    return;
                ranges.BuildSlab(volume, bz);
            }
        };
        if (pPool)
            pPool->Run(nLanes, build);
        else
            build(0);
        if (bStop.load()) {
            bStopped = true;
            return nullptr;
        }
        ranges.Finish(volume);
    }
    const CompositingMode* pMode = FindCompositingMode(settings.nVolumeType);
    if (!pMode)
        return nullptr;
    CSkipMap& skipMap = wnd.WorkerSkipMap();
    pMode->buildSkipMap(skipMap, ranges, tf, settings);
    return &skipMap;
}

} // namespace

// How many grid columns apart two rays of a step must be to be sure never to
// reach the same shading-cache entry (the lag). A ray reaches a voxel's
// shading-cache entry only at a sample in that voxel's cell, so two rays that
// share an entry come within a cell diagonal (below 2 stretch units, a unit
// being the shortest voxel edge and the stretch the longest edge over the
// shortest; plus the drift of their float positions) of each other inside the
// volume. Rays through the grid columns b and b' leave the eye at an angle
// whose sine is at least 1.2 |u - u'| / |d|max^2 (the cross product of their
// directions (u, v, 1.2) has the component 1.2 (u - u')), with u - u' =
// 2 R (b - b') / n, and every inside sample lies at least 1.2 eye units (1.2 *
// diag / 2 units) from the eye. So rays whose columns lie the lag or more
// apart share no entry, whatever their rows.
int RowLag(const RayView& view, int n) {
    const double dDiag = view.dDiagonal;
    if (!(dDiag > 0.0) || !(view.dRight > 0.0) || !(view.dStretch >= 1.0))
        return n;
    // Float drift of a sample position, in units: up to N + 1 roundings of
    // 2^-24 of a coordinate below 3.3, mapped with a matrix row sum of at most
    // sqrt(3) * diag / 2, plus the rounding of the mapped position.
    const double dDrift =
        (view.nSamples + 1.0) * std::ldexp(3.3, -23) * 0.9 * dDiag + std::ldexp(dDiag + 1.0, -22);
    const double dReach = 2.0 * view.dStretch + 2.0 * dDrift; // with room to spare
    // A zoomed view brings the rays closer together by the zoom, and its pan
    // moves the farthest one outward.
    const double dRight = (view.dRight + std::fabs(view.dShiftU)) / view.dZoom;
    const double dTop = (view.dTop + std::fabs(view.dShiftV)) / view.dZoom;
    const double dMax2 = dRight * dRight + dTop * dTop + 1.44;
    const double dColumns = dReach * dMax2 * n * view.dZoom /
                            (1.2 * static_cast<double>(RAY_NEAR) * view.dRight * dDiag);
    if (!(dColumns < n))
        return n;
    return std::min(n, static_cast<int>(dColumns) + 2);
}

namespace {

// A cheap, steadily increasing clock for measuring rays: only ratios matter.
uint64_t CostClock() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// What the rays of a run have cost so far, per pixel column: the basis for
// sharing a step's columns out between the lanes.
class CColumnCosts {
public:
    explicit CColumnCosts(int nLanes)
        : m_Cost(static_cast<size_t>(nLanes), std::vector<uint64_t>(IMAGE_MAX_WIDTH, 0)),
          m_Rays(static_cast<size_t>(nLanes), std::vector<uint32_t>(IMAGE_MAX_WIDTH, 0)),
          m_Average(static_cast<size_t>(nLanes)), m_Speed(static_cast<size_t>(nLanes)) {}

    // Where lane nLane adds the cost of each ray it casts.
    uint64_t* Cost(int nLane) { return m_Cost[static_cast<size_t>(nLane)].data(); }
    uint32_t* Rays(int nLane) { return m_Rays[static_cast<size_t>(nLane)].data(); }
    // A ray's measured cost, limited to 32 times the lane's average so far: a
    // thread that the system suspends in the middle of a ray must not make its
    // column look expensive. Called by lane nLane only.
    uint64_t Limit(int nLane, uint64_t nCost) {
        Average& a = m_Average[static_cast<size_t>(nLane)];
        if (a.nRays >= 16)
            nCost = std::min(nCost, 32 * (a.nTotal / a.nRays));
        a.nTotal += nCost;
        ++a.nRays;
        return nCost;
    }

    // The estimated cost of the grid columns 1..b of a step with n grid columns,
    // for b = 0 .. n (element b). A column's estimate is the average cost of the
    // rays cast so far in its pixel column (or the nearest pixel column that has
    // had any); with nothing measured yet, every column counts alike.
    std::vector<double> Prefix(int n, int W, int nBufferWidth) const {
        std::vector<double> average(static_cast<size_t>(nBufferWidth), -1.0);
        for (int x = 0; x < nBufferWidth; ++x) {
            uint64_t nCost = 0, nRays = 0;
            for (size_t nLane = 0; nLane < m_Cost.size(); ++nLane) {
                nCost += m_Cost[nLane][static_cast<size_t>(x)];
                nRays += m_Rays[nLane][static_cast<size_t>(x)];
            }
            if (nRays > 0)
                average[static_cast<size_t>(x)] = static_cast<double>(nCost) / nRays;
        }
        // The nearest measured pixel column (the left one on a tie).
        std::vector<int> nearest(average.size(), -1);
        int nLeft = -1;
        for (int x = 0; x < nBufferWidth; ++x) {
            if (average[static_cast<size_t>(x)] >= 0.0)
                nLeft = x;
            nearest[static_cast<size_t>(x)] = nLeft;
        }
        int nRight = -1;
        for (int x = nBufferWidth - 1; x >= 0; --x) {
            if (average[static_cast<size_t>(x)] >= 0.0)
                nRight = x;
            const int nFromLeft = nearest[static_cast<size_t>(x)];
            if (nRight >= 0 && (nFromLeft < 0 || nRight - x < x - nFromLeft))
                nearest[static_cast<size_t>(x)] = nRight;
        }
        std::vector<double> prefix(static_cast<size_t>(n) + 1, 0.0);
        for (int b = 1; b <= n; ++b) {
            const int x = static_cast<int>(static_cast<double>(b - 1) / n * W);
            double dCost = 1.0;
            if (x >= 0 && x < nBufferWidth && nearest[static_cast<size_t>(x)] >= 0)
                dCost =
                    std::max(average[static_cast<size_t>(nearest[static_cast<size_t>(x)])], 1.0);
            prefix[static_cast<size_t>(b)] = prefix[static_cast<size_t>(b - 1)] + dCost;
        }
        return prefix;
    }

    // How fast lane nLane has worked through estimated cost so far in this run
    // (cost per clock tick), 0 while unknown. Written by that lane, read by all.
    double Speed(int nLane) const {
        return m_Speed[static_cast<size_t>(nLane)].dSpeed.load(std::memory_order_relaxed);
    }
    // Lane nLane has worked through dCost of estimated cost in nTicks.
    void AddWork(int nLane, double dCost, uint64_t nTicks) {
        Speed_& speed = m_Speed[static_cast<size_t>(nLane)];
        speed.dCost += dCost;
        speed.nTicks += nTicks;
        if (speed.nTicks > 0)
            speed.dSpeed.store(speed.dCost / static_cast<double>(speed.nTicks),
                               std::memory_order_relaxed);
    }

private:
    struct alignas(64) Average {
        uint64_t nTotal = 0;
        uint64_t nRays = 0;
    };
    struct alignas(64) Speed_ {
        std::atomic<double> dSpeed{0.0};
        double dCost = 0.0;
        uint64_t nTicks = 0;
    };
    std::vector<std::vector<uint64_t>> m_Cost;
    std::vector<std::vector<uint32_t>> m_Rays;
    std::vector<Average> m_Average; // per lane
    std::vector<Speed_> m_Speed;    // per lane
};

// One step's casting, shared by the lanes of the pool. The rows that can hold
// new pixels are listed in scan order.
//
// X-Ray and First Hit rays share nothing, so each lane takes the next
// unclaimed row and casts it left to right.
//
// Levoy rays share the shading cache, and every entry must be filled by the
// same ray as in a scan row by row, left to right. Rays whose grid columns lie
// at least the lag apart never reach the same entry (RowLag), so only pairs
// closer than that must keep their scan order. Each row is split into one strip
// per lane, each at least the lag wide; lane k casts strip k of every row in
// turn, left to right, and decides where its strip of a row ends when it begins
// that row, from the estimated cost of the columns and how fast each lane has
// been going (so a lane that the system slows down gets less). Pairs within a
// strip keep their order by themselves. Across strips two waits keep it: lane k
// begins a row once strip k - 1 of that row is done (its columns within the lag
// of the seam come before); and before it casts a column within the lag of
// columns that belonged to later strips in the row before, it waits until those
// strips of the row before have passed the lag beyond the end of its own strip.
class CStepCaster {
public:
    // ppChanged[lane] flags the columns in which that lane casts a pixel; costs
    // collects what each ray cost. bOrdered: the step starts as Levoy. nLanes
    // lanes will call Cast.
    CStepCaster(CRenderState& wnd, const RunSettings& settings, const RayView& view,
                const CTransferFunction& tf, const CVolume& volume, CShadeCache& shade,
                const CSkipMap* pSkip, uint8_t* const* ppChanged, CColumnCosts& costs, int W, int H,
                int nBufferWidth, int nBufferHeight, int n, bool bOrdered, int nLanes)
        : m_Wnd(wnd), m_Settings(settings), m_View(view), m_Tf(tf), m_Volume(volume),
          m_Shade(shade), m_pSkip(pSkip), m_ppChanged(ppChanged), m_Costs(costs), m_nW(W), m_nH(H),
          m_nBufferWidth(nBufferWidth), m_n(n), m_bOrdered(bOrdered), m_nLag(RowLag(view, n)) {
        // Grid row a (1-based) lies on pixel row trunc((a - 1) / n * H). A row
        // on the same pixel row as the one before it finds every pixel computed
        // by that one, and a row outside the buffers has nothing to compute.
        // The earlier steps' grids are this grid's odd rows and columns (the
        // fractions (a - 1) / n agree exactly), so their pixels are those whose
        // row and column both lie on such a grid line: a row that does finds
        // computed pixels in those columns, and only there.
        std::vector<uint8_t> oldRow(static_cast<size_t>(std::max(nBufferHeight, 0)), 0);
        std::vector<uint8_t> oldColumn(static_cast<size_t>(std::max(nBufferWidth, 0)), 0);
        auto gridLine = [n](int a, int nSize) {
            return static_cast<int>(static_cast<double>(a - 1) / n * nSize);
        };
        for (int a = 1; a <= n && n > 1; a += 2) {
            const int y = gridLine(a, H);
            if (y >= 0 && y < nBufferHeight)
                oldRow[static_cast<size_t>(y)] = 1;
            const int x = gridLine(a, W);
            if (x >= 0 && x < nBufferWidth)
                oldColumn[static_cast<size_t>(x)] = 1;
        }
        int nPreviousY = -1;
        for (int a = 1; a <= n; ++a) {
            const int y = gridLine(a, H);
            if (y >= 0 && y < nBufferHeight && y != nPreviousY && nBufferWidth > 0) {
                m_Rows.push_back(a);
                m_RowMeetsOldColumns.push_back(oldRow[static_cast<size_t>(y)]);
            }
            nPreviousY = y;
        }
        // The first grid column of each pixel column within the buffers, all of
        // them and those outside the earlier grids.
        int nPreviousX = -1;
        for (int b = 1; b <= n; ++b) {
            const int x = gridLine(b, W);
            if (x >= 0 && x < nBufferWidth && x != nPreviousX) {
                m_AllColumns.push_back(b);
                if (!oldColumn[static_cast<size_t>(x)])
                    m_NewColumns.push_back(b);
            }
            nPreviousX = x;
        }
        if (m_bOrdered) {
            // As many strips as lanes, as long as each can be the lag wide.
            m_nStrips = std::clamp(n / std::max(1, m_nLag), 1, std::max(1, nLanes));
            m_Prefix = costs.Prefix(n, W, nBufferWidth);
            const size_t nRows = m_Rows.size();
            m_pProgress = std::make_unique<Progress[]>(nRows * static_cast<size_t>(m_nStrips));
            m_pSeams = std::make_unique<std::atomic<int>[]>(nRows * (m_nStrips + 1));
            for (size_t r = 0; r < nRows; ++r)
                for (int k = 0; k <= m_nStrips; ++k)
                    Seam(r, k).store(k == 0 ? 0 : (k == m_nStrips ? n : UNKNOWN),
                                     std::memory_order_relaxed);
        }
        // Whether rays of other lanes may use the shading cache at the same time
        // as this lane's (a step of one row, or of one strip, runs on one lane).
        m_bShared = nLanes > 1 && (m_bOrdered ? m_nStrips > 1 : m_Rows.size() > 1);
    }

    // The lanes' work; returns when the lane's part is done or the run is to stop.
    void Cast(int nLane) {
        if (m_bOrdered)
            CastStrip(nLane);
        else
            CastRows(nLane);
    }

    bool Stopped() const { return m_bStopped.load(); }
    size_t Rows() const { return m_Rows.size(); }

private:
    static constexpr int DONE = 1 << 30;
    static constexpr int UNKNOWN = -1;

    // One cache line each: the lane of a strip stores after every column, the
    // lanes of other strips read it.
    struct alignas(64) Progress {
        std::atomic<int> nDone{0};
    };

    // The grid columns whose pixels in the listed row i are new.
    const std::vector<int>& Columns(size_t i) const {
        return m_RowMeetsOldColumns[i] ? m_NewColumns : m_AllColumns;
    }

    // Casts the pixel of grid point (b, row), which the lists of new pixels give
    // as not computed yet; then the stop poll. False when the run is to stop.
    // bNext, when not 0, is the grid column cast next in the row: its pixel is
    // fetched into the cache meanwhile (the columns of a row lie far apart in
    // the image).
    bool CastPoint(int nLane, int b, int bNext, double fy, int y, uint8_t* pChanged,
                   uint64_t* pCost, uint32_t* pRays) {
        if (bNext > 0) {
            const int xNext = static_cast<int>(static_cast<double>(bNext - 1) / m_n * m_nW);
            if (xNext >= 0 && xNext < m_nBufferWidth)
                __builtin_prefetch(&m_Wnd.m_BackImage[xNext][y], 1);
        }
        const double fx = static_cast<double>(b - 1) / m_n;
        const int x = static_cast<int>(fx * m_nW);
        if (x >= 0 && x < m_nBufferWidth) {
            ImagePixel& pixel = m_Wnd.m_BackImage[x][y];
            // Every fourth grid column is timed: enough for the cost profile.
            if ((b & 3) == 1) {
                const uint64_t t0 = CostClock();
                CastGridRay(m_View, m_Settings, fx, fy, m_Tf, m_Volume, m_Shade, pixel, m_pSkip,
                            m_bShared);
                pCost[x] += m_Costs.Limit(nLane, CostClock() - t0);
                ++pRays[x];
            } else {
                CastGridRay(m_View, m_Settings, fx, fy, m_Tf, m_Volume, m_Shade, pixel, m_pSkip,
                            m_bShared);
            }
            pChanged[x] = 1;
        }
        // The stop poll after every grid sample, on every lane.
        if (m_Wnd.IsStopRequested() || m_bStopped.load(std::memory_order_relaxed)) {
            m_bStopped.store(true, std::memory_order_relaxed);
            return false;
        }
        return true;
    }

    void CastRows(int nLane) {
        uint8_t* const pChanged = m_ppChanged[nLane];
        uint64_t* const pCost = m_Costs.Cost(nLane);
        uint32_t* const pRays = m_Costs.Rays(nLane);
        for (;;) {
            const size_t i = m_nNextRow.fetch_add(1, std::memory_order_relaxed);
            if (i >= m_Rows.size() || m_bStopped.load(std::memory_order_relaxed))
                return;
            const double fy = static_cast<double>(m_Rows[i] - 1) / m_n;
            const int y = static_cast<int>(fy * m_nH);
            const std::vector<int>& columns = Columns(i);
            for (size_t j = 0; j < columns.size(); ++j)
                if (!CastPoint(nLane, columns[j], j + 1 < columns.size() ? columns[j + 1] : 0, fy,
                               y, pChanged, pCost, pRays))
                    return;
        }
    }

    void CastStrip(int k) {
        if (k >= m_nStrips)
            return;
        uint8_t* const pChanged = m_ppChanged[k];
        uint64_t* const pCost = m_Costs.Cost(k);
        uint32_t* const pRays = m_Costs.Rays(k);
        for (size_t i = 0; i < m_Rows.size(); ++i) {
            // Strip k - 1 of this row first; it has also set where strip k begins.
            if (k > 0 && !WaitFor(Done(k - 1, i), DONE))
                return;
            const uint64_t tStart = CostClock();
            uint64_t nWaited = 0;
            const int nLeft = Seam(i, k).load(std::memory_order_acquire);
            int nRight = m_n;
            if (k + 1 < m_nStrips) {
                nRight = ChooseEnd(k, nLeft);
                Seam(i, k + 1).store(nRight, std::memory_order_release);
            }
            // Columns of the row before beyond this one (with lane k, every
            // earlier lane has finished the row before) lie from here on within
            // the lag of this row's columns.
            const int nOwnBefore = i > 0 ? KnownSeam(i - 1, k + 1) : m_n;
            const double fy = static_cast<double>(m_Rows[i] - 1) / m_n;
            const int y = static_cast<int>(fy * m_nH);
            std::atomic<int>& done = Done(k, i);
            bool bClear = i == 0 || nOwnBefore >= m_n;
            const std::vector<int>& columns = Columns(i);
            const auto itEnd = std::upper_bound(columns.begin(), columns.end(), nRight);
            for (auto it = std::upper_bound(columns.begin(), columns.end(), nLeft); it != itEnd;
                 ++it) {
                const int b = *it;
                if (!bClear && b + m_nLag - 1 > nOwnBefore) {
                    // Enough of the row before for this column and the rest.
                    const uint64_t tWait = CostClock();
                    if (!WaitForRowBefore(i, k, std::min(m_n, nRight + m_nLag - 1)))
                        return;
                    nWaited += CostClock() - tWait;
                    bClear = true;
                }
                if (!CastPoint(k, b, it + 1 != itEnd ? it[1] : 0, fy, y, pChanged, pCost, pRays))
                    return;
                // The columns up to the next one to cast have nothing left to do.
                done.store(it + 1 != itEnd ? it[1] - 1 : b, std::memory_order_release);
            }
            done.store(DONE, std::memory_order_release);
            const uint64_t nTicks = CostClock() - tStart;
            m_Costs.AddWork(
                k, m_Prefix[static_cast<size_t>(nRight)] - m_Prefix[static_cast<size_t>(nLeft)],
                nTicks > nWaited ? nTicks - nWaited : 0);
        }
    }

    // Where lane k's strip of a row that begins after column nLeft ends: the
    // lanes' shares of the row's estimated cost follow their speeds so far; each
    // strip keeps the lag's width.
    int ChooseEnd(int k, int nLeft) const {
        double dKnown = 0.0;
        int nKnown = 0;
        for (int j = 0; j < m_nStrips; ++j) {
            const double d = m_Costs.Speed(j);
            if (d > 0.0) {
                dKnown += d;
                ++nKnown;
            }
        }
        const double dDefault = nKnown > 0 ? dKnown / nKnown : 1.0;
        double dUpTo = 0.0, dAll = 0.0;
        for (int j = 0; j < m_nStrips; ++j) {
            const double d = m_Costs.Speed(j) > 0.0 ? m_Costs.Speed(j) : dDefault;
            dAll += d;
            if (j <= k)
                dUpTo += d;
        }
        const double dTarget = m_Prefix[static_cast<size_t>(m_n)] * dUpTo / dAll;
        const int b = static_cast<int>(std::lower_bound(m_Prefix.begin(), m_Prefix.end(), dTarget) -
                                       m_Prefix.begin());
        return std::clamp(b, nLeft + m_nLag, m_n - (m_nStrips - 1 - k) * m_nLag);
    }

    // Waits until the row before row i has cast every column up to nTarget
    // (those of strips after k; lane k and the lanes before it have finished
    // that row). False when the run is to stop meanwhile.
    bool WaitForRowBefore(size_t i, int k, int nTarget) {
        for (int j = k + 1; j < m_nStrips; ++j) {
            const int nBegin = KnownSeam(i - 1, j);
            if (nBegin < 0)
                return false;
            if (nBegin >= nTarget)
                break;
            const int nEnd = KnownSeam(i - 1, j + 1);
            if (nEnd < 0)
                return false;
            if (!WaitFor(Done(j, i - 1), std::min(nTarget, nEnd) >= nEnd ? DONE : nTarget))
                return false;
        }
        return true;
    }

    // A seam of a row, once the lane before has set it; -1 when the run is to
    // stop meanwhile.
    int KnownSeam(size_t i, int k) {
        std::atomic<int>& seam = Seam(i, k);
        for (int nSpins = 0;; ++nSpins) {
            const int n = seam.load(std::memory_order_acquire);
            if (n != UNKNOWN)
                return n;
            if (!Pause(nSpins))
                return -1;
        }
    }

    std::atomic<int>& Done(int k, size_t i) {
        return m_pProgress[i * static_cast<size_t>(m_nStrips) + static_cast<size_t>(k)].nDone;
    }
    std::atomic<int>& Seam(size_t i, int k) {
        return m_pSeams[i * static_cast<size_t>(m_nStrips + 1) + static_cast<size_t>(k)];
    }

    // Waits until a progress reaches nNeeded (DONE counts as everything). False
    // when the run is to stop meanwhile.
    bool WaitFor(const std::atomic<int>& progress, int nNeeded) {
        for (int nSpins = 0; progress.load(std::memory_order_acquire) < nNeeded; ++nSpins)
            if (!Pause(nSpins))
                return false;
        return true;
    }

    // One round of waiting; false (and the step marked stopped) when the run is
    // to stop. A short wait spins. A wait of more than about 0.1 ms means the
    // lane waited for is not running (the system has given its core to other
    // work), so this one then sleeps in short naps: its core falls idle and the
    // system can move the other lane there.
    bool Pause(int nSpins) {
        if (m_Wnd.IsStopRequested() || m_bStopped.load(std::memory_order_relaxed)) {
            m_bStopped.store(true, std::memory_order_relaxed);
            return false;
        }
        if (nSpins < 64) {
#ifdef __SSE2__
            _mm_pause();
#endif
            return true;
        }
        const auto tNow = std::chrono::steady_clock::now();
        if (nSpins == 64)
            m_tWaitStart = tNow;
        if (tNow - m_tWaitStart < std::chrono::microseconds(100))
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(30));
        return true;
    }

    CRenderState& m_Wnd;
    const RunSettings& m_Settings;
    const RayView& m_View;
    const CTransferFunction& m_Tf;
    const CVolume& m_Volume;
    CShadeCache& m_Shade;
    const CSkipMap* m_pSkip;
    uint8_t* const* m_ppChanged;
    CColumnCosts& m_Costs;
    const int m_nW, m_nH, m_nBufferWidth, m_n;
    const bool m_bOrdered;
    const int m_nLag;        // columns closer than this may share shading-cache entries
    std::vector<int> m_Rows; // the grid rows that can hold new pixels
    std::vector<uint8_t> m_RowMeetsOldColumns; // per listed row
    std::vector<int> m_AllColumns;             // the first grid column of each pixel column
    std::vector<int> m_NewColumns;             // those outside the earlier grids
    int m_nStrips = 1;
    bool m_bShared = true;
    std::vector<double> m_Prefix;                 // estimated cost of columns 1..b
    std::unique_ptr<Progress[]> m_pProgress;      // [row][strip]
    std::unique_ptr<std::atomic<int>[]> m_pSeams; // [row][strip + 1]: strip k is (s[k], s[k + 1]]
    std::atomic<size_t> m_nNextRow{0};
    std::atomic<bool> m_bStopped{false};
    // When the current long wait began; each lane waits on its own.
    static thread_local std::chrono::steady_clock::time_point m_tWaitStart;
};

thread_local std::chrono::steady_clock::time_point CStepCaster::m_tWaitStart;

} // namespace

bool ProgressiveStepRuns(int nStep, int nWidth, int nHeight) {
    const float D = static_cast<float>(std::max(nWidth, nHeight));
    const int n = 1 << (nStep - 1);
    return !(2.0f * D <= static_cast<float>(n));
}

int ProgressiveStepCount(int nWidth, int nHeight) {
    int nSteps = 0;
    while (nSteps < PROGRESSIVE_STEPS && ProgressiveStepRuns(nSteps + 1, nWidth, nHeight))
        ++nSteps;
    return nSteps;
}

int ProgressiveVolumeThread(CRenderState& wnd) {
    CVolume* pVolume = wnd.Volume();
    CTransferFunction* pTransferFunction = wnd.TransferFunction();
    CVectorMath* pVectorMath = wnd.VectorMath();
    if (!pVolume || !pVolume->m_pVoxels || pVolume->m_nVoxelCount < 1 || !pTransferFunction ||
        !pVectorMath) {
        wnd.MarkWorkerEnding();
        return -1;
    }
    // The shading cache fits the dataset, every entry empty.
    CShadeCache& shade = wnd.WorkerShadeCache();
    if (!shade.Fit(pVolume->m_nVoxelCount)) {
        DebugOutput("Out of memory for the shading cache!\n");
        wnd.MarkWorkerEnding();
        return -1;
    }
    const CVolume& volume = *pVolume;

    DebugOutput("ProgressiveVolumeThread started!\n");
    // Ended goes off before Running comes on, so that a stop that sees this run
    // running never finds the previous run's Ended still set.
    wnd.m_hThreadEnded.Reset();
    wnd.MarkWorkerRunning();
    wnd.m_hThreadRunning.Set();

    // The run's settings, once: a change meanwhile stops this run and starts
    // another.
    const RunSettings settings = wnd.Snapshot();
    const int W = settings.nWidth;
    const int H = settings.nHeight;
    // Only what lies inside both the client area and the image buffers is rendered.
    const int nBufferWidth = std::clamp(W, 0, IMAGE_MAX_WIDTH);
    const int nBufferHeight = std::clamp(H, 0, IMAGE_MAX_HEIGHT);

    wnd.ClearBackImage(nBufferWidth, nBufferHeight);

    RayView view;
    SetupView(settings, volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ, *pVectorMath, view,
              volume.m_dSpacing);
    wnd.StoreWireBox(view.box);

    const uint32_t t0 = TimeGetTime();
    RenderProgress progress;
    progress.nSteps = ProgressiveStepCount(W, H);
    int nShown = 0; // the last step whose picture went to the front image
    bool bStopped = settings.bInteractive;

    if (!settings.bInteractive) {
        const int nThreads = wnd.RenderThreadsForRun();
        CRenderPool* pPool = nThreads > 1 ? &wnd.WorkerPool(nThreads) : nullptr;
        const CSkipMap* pSkip = wnd.GetEmptySpaceSkipping()
                                    ? PrepareSkipMap(wnd, settings, volume, *pTransferFunction,
                                                     pPool, nThreads, bStopped)
                                    : nullptr;
        // The columns each lane has changed since the last copy: only those need
        // copying once the front holds this run's picture.
        std::vector<std::vector<uint8_t>> changed(static_cast<size_t>(nThreads),
                                                  std::vector<uint8_t>(IMAGE_MAX_WIDTH, 0));
        std::vector<uint8_t*> changedByLane;
        for (std::vector<uint8_t>& lane : changed)
            changedByLane.push_back(lane.data());
        bool bFrontIsThisRun = false;
        CColumnCosts costs(nThreads);
        const CompositingMode* pMode = FindCompositingMode(settings.nVolumeType);
        const bool bSharesCache = pMode && pMode->bSharesCache;
        for (int nStep = 1; nStep <= PROGRESSIVE_STEPS && !bStopped; ++nStep) {
            progress.eState = RenderProgress::RUNNING;
            progress.nStep = nStep;
            progress.dSeconds = wnd.RunSeconds();
            wnd.PostProgress(progress);
            if (!ProgressiveStepRuns(nStep, W, H))
                break;
            const int n = 1 << (nStep - 1);
            const bool bPooled = pPool && n > SMALL_STEP_GRID;
            CStepCaster caster(wnd, settings, view, *pTransferFunction, volume, shade, pSkip,
                               changedByLane.data(), costs, W, H, nBufferWidth, nBufferHeight, n,
                               bSharesCache, bPooled ? nThreads : 1);
            if (bPooled && caster.Rows() > 1)
                pPool->Run(nThreads, [&caster](int nLane) { caster.Cast(nLane); });
            else
                caster.Cast(0);
            // A stop seen by any lane ends the run; the partly done step is not
            // copied.
            bStopped = caster.Stopped();
            if (bStopped)
                break;

            // While the user turns the view with the picture shown, the next
            // angle comes soon: no finer step once this one has used the
            // frame's time. Like the run's last step, such a step's copy waits
            // out a long paint (the window paints the wire box while it turns)
            // instead of being lost with the whole run's picture.
            const bool bOverBudget = wnd.RunSeconds() >= settings.dStepBudget;
            LockResult eLock = LockImage(wnd);
            for (int nTry = 1; eLock == LockResult::TimedOut &&
                               (nStep == progress.nSteps || bOverBudget) && nTry < LAST_COPY_TRIES;
                 ++nTry)
                eLock = LockImage(wnd);
            bStopped = eLock == LockResult::Stopped;
            if (bStopped)
                break;
            if (eLock == LockResult::Locked) {
                // The first copy of a run replaces the whole front image; later
                // ones bring over the columns changed since the last copy.
                if (bFrontIsThisRun) {
                    for (size_t nLane = 1; nLane < changed.size(); ++nLane)
                        for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
                            changed[0][static_cast<size_t>(x)] |=
                                changed[nLane][static_cast<size_t>(x)];
                    wnd.CopyBackColumnsToFront(changed[0].data());
                } else {
                    wnd.CopyBackToFront();
                    bFrontIsThisRun = true;
                }
                wnd.m_hImageMutex.Unlock();
                for (std::vector<uint8_t>& lane : changed)
                    std::fill(lane.begin(), lane.end(), 0);
                nShown = nStep;
                wnd.PostRepaint();
            }
            const int32_t nElapsed = static_cast<int32_t>(TimeGetTime() - t0);
            DebugOutput(FormatStepReadyLine(nStep, nElapsed).c_str());
            if (bOverBudget)
                break;
        }
    }

    // End sequence.
    view.pMatrix.reset();
    wnd.MarkWorkerEnding();
    wnd.MarkRunEnded();
    wnd.m_hThreadRunning.Reset();
    wnd.m_hThreadEnded.Set();
    progress.eState =
        !bStopped && nShown == progress.nSteps ? RenderProgress::FINISHED : RenderProgress::STOPPED;
    progress.nStep = nShown;
    progress.dSeconds = wnd.RunSeconds();
    wnd.PostProgress(progress);
    DebugOutput("ProgressiveVolumeThread ended!\n");
    return 0;
}
