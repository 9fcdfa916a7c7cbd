// The compositing modes, one entry each: everything that tells one mode from
// another outside its step class (RayCaster.cpp), which does its per-sample
// work. Adding a mode takes its step class and one entry in the table; the
// worker, the volume panel, orvex-render's --type and the picture names go
// through the table.
#pragma once

#include <array>
#include <cstdint>

#include "engine/BrickMap.h"
#include "engine/RunSettings.h"

class CTransferFunction;
struct CastRequest;
using CastFunction = void (*)(const CastRequest&);

struct CompositingMode {
    int32_t nType;             // its VolumeType code, its place in the table
    const char* pName;         // as people read it: "First Hit"
    const wchar_t* pPanelText; // the volume panel's radio button
    int nPanelRow;             // the row of that radio button, from the top
    int nPanelColumn;          // and its column, from the left
    const char* pWord;         // on command lines and in picture names: "firsthit"
    // The box whose samples count: 0 for 0 <= p < dim on every axis, 1 for
    // 0 < p < dim - 1 (it decides which rays meet nothing).
    int nBox;
    // The casts read the First Hit thresholds: the first-hit panel shows.
    bool bThresholds;
    // Rays share the shading cache: a step keeps the scan order of rays that
    // can reach the same entries.
    bool bSharesCache;
    // Where a ray's first sample lies and how far apart the samples are, for
    // nSamples samples between RAY_NEAR and RAY_FAR.
    void (*march)(int32_t nSamples, float& fStart, float& fStep);
    // What a skip map must have been made for to serve these settings, and
    // how it is made.
    SkipKey (*skipKey)(const RunSettings& settings);
    void (*buildSkipMap)(CSkipMap& map, const CBrickRanges& ranges, const CTransferFunction& tf,
                         const RunSettings& settings);
    // The casts, [AVX2][trilinear].
    std::array<std::array<CastFunction, 2>, 2> cast;
};

constexpr int COMPOSITING_MODE_COUNT = 5;
extern const CompositingMode COMPOSITING_MODES[COMPOSITING_MODE_COUNT];

// The mode of a VolumeType code; null for a code without one.
const CompositingMode* FindCompositingMode(int32_t nType);
