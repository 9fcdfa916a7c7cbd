#include "transfer/Presets.h"

#include <algorithm>
#include <cmath>
#include <string>

const TransferPresetName TRANSFER_PRESETS[PRESET_COUNT] = {
    {PRESET_CT_BONE, "CT bone", "ct-bone"},
    {PRESET_CT_SKIN, "CT skin", "ct-skin"},
    {PRESET_CT_SOFT_TISSUE, "CT soft tissue", "ct-soft-tissue"},
    {PRESET_MR_BRAIN, "MR brain", "mr-brain"},
    {PRESET_GREYSCALE, "Greyscale ramp", "greyscale"},
    {PRESET_FIT_TO_DATA, "Fit to data", "fit"},
};

TransferPreset PresetOfWord(const char* pWord) {
    for (const TransferPresetName& preset : TRANSFER_PRESETS)
        if (std::string(pWord) == preset.pWord)
            return preset.ePreset;
    return PRESET_COUNT;
}

namespace {

constexpr int LAST_VALUE = TABLE_SIZE - 1;

// One knot of a preset: where (in scan units or stored values), colour, opacity.
struct Knot {
    double dAt;
    float red, green, blue, opacity;
};

int64_t Total(const int32_t* pHistogram, int nFrom) {
    int64_t n = 0;
    for (int i = nFrom; i < TABLE_SIZE; ++i)
        n += pHistogram[i];
    return n;
}

// The colour and opacity of the piecewise linear function through the knots
// (sorted by dAt) at d; constant beyond the first and the last knot.
ControlPoint Evaluate(const std::vector<Knot>& knots, double d, int nPosition) {
    size_t i = 0;
    while (i + 1 < knots.size() && knots[i + 1].dAt <= d)
        ++i;
    const Knot& a = knots[i];
    const Knot& b = i + 1 < knots.size() ? knots[i + 1] : a;
    const double f = b.dAt > a.dAt ? std::clamp((d - a.dAt) / (b.dAt - a.dAt), 0.0, 1.0) : 0.0;
    auto mix = [f](float x, float y) { return static_cast<float>(x + (y - x) * f); };
    return ControlPoint{static_cast<int16_t>(nPosition), mix(a.red, b.red),
                        mix(a.green, b.green),           mix(a.blue, b.blue),
                        mix(a.opacity, b.opacity),       nullptr};
}

// Points at 0, 4095 and at every knot that falls between them, each taking
// the function's value there. Knots are given in scan units (bScan) or in
// stored values.
std::vector<ControlPoint> PointsThrough(const std::vector<Knot>& knots, const PresetData& data,
                                        bool bScan) {
    const bool bUnits = bScan && std::isfinite(data.dScanOffset) &&
                        std::isfinite(data.dScanScale) && data.dScanScale != 0.0;
    auto toStored = [&](double d) { return bUnits ? (d - data.dScanOffset) / data.dScanScale : d; };
    auto toKnots = [&](int s) { return bUnits ? data.dScanOffset + data.dScanScale * s : s; };
    std::vector<int> positions = {0, LAST_VALUE};
    for (const Knot& k : knots) {
        const double d = std::round(toStored(k.dAt));
        if (d > 0 && d < LAST_VALUE)
            positions.push_back(static_cast<int>(d));
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    std::vector<ControlPoint> points;
    for (int p : positions)
        points.push_back(Evaluate(knots, toKnots(p), p));
    return points;
}

int FirstUsed(const int32_t* pHistogram) {
    for (int i = 0; i < TABLE_SIZE; ++i)
        if (pHistogram[i] > 0)
            return i;
    return 0;
}

int LastUsed(const int32_t* pHistogram) {
    for (int i = LAST_VALUE; i >= 0; --i)
        if (pHistogram[i] > 0)
            return i;
    return LAST_VALUE;
}

// Knots in stored values above the threshold t, at the fractions of the way
// from t to top, kept strictly ascending where the data leaves no room.
std::vector<Knot> RampAbove(int t, int top, const std::vector<Knot>& shape) {
    std::vector<Knot> knots = {{0, 0, 0, 0, 0}};
    for (Knot k : shape) {
        k.dAt = t + k.dAt * std::max(top - t, 1);
        if (k.dAt > knots.back().dAt)
            knots.push_back(k);
    }
    return knots;
}

} // namespace

int OtsuThreshold(const int32_t* pData) {
    if (!pData)
        return 0;
    // Scans pad the outside of their field of view with their lowest value
    // (CT -3024 or -2048): a class of its own that would take the split from
    // the boundary between air and body. With three or more values it is left
    // out.
    std::vector<int32_t> histogram(pData, pData + TABLE_SIZE);
    const int nLowest = FirstUsed(pData);
    if (std::count_if(histogram.begin(), histogram.end(), [](int32_t n) { return n > 0; }) > 2)
        histogram[nLowest] = 0;
    const int32_t* pHistogram = histogram.data();
    const int64_t nTotal = Total(pHistogram, 0);
    double dSum = 0.0;
    for (int i = 0; i < TABLE_SIZE; ++i)
        dSum += static_cast<double>(i) * pHistogram[i];
    // Between-class variance (times the total's square) of the split "<= t"
    // against "> t"; the widest run of thresholds that reach the largest.
    double dBest = 0.0;
    int nFirst = -1, nLast = -1;
    int64_t nBelow = 0;
    double dSumBelow = 0.0;
    for (int t = 0; t < LAST_VALUE; ++t) {
        nBelow += pHistogram[t];
        dSumBelow += static_cast<double>(t) * pHistogram[t];
        const int64_t nAbove = nTotal - nBelow;
        if (nBelow == 0 || nAbove == 0)
            continue;
        const double dDiff = dSumBelow * nTotal - dSum * nBelow;
        const double dVariance = dDiff / nBelow * dDiff / nAbove;
        if (dVariance > dBest * (1.0 + 1e-12)) {
            dBest = dVariance;
            nFirst = nLast = t;
        } else if (dVariance >= dBest * (1.0 - 1e-12) && nLast == t - 1) {
            nLast = t;
        }
    }
    return nFirst < 0 ? 0 : (nFirst + nLast) / 2;
}

int HistogramPercentile(const int32_t* pHistogram, double dFraction, int nFrom) {
    nFrom = std::clamp(nFrom, 0, LAST_VALUE);
    if (!pHistogram)
        return nFrom;
    const double dNeeded = dFraction * static_cast<double>(Total(pHistogram, nFrom));
    int64_t nCount = 0;
    for (int i = nFrom; i < TABLE_SIZE; ++i) {
        nCount += pHistogram[i];
        if (nCount > 0 && static_cast<double>(nCount) >= dNeeded)
            return i;
    }
    return nFrom;
}

std::vector<ControlPoint> PresetPoints(TransferPreset ePreset, const PresetData& data) {
    static const int32_t EMPTY[TABLE_SIZE] = {};
    const int32_t* h = data.pHistogram ? data.pHistogram : EMPTY;
    switch (ePreset) {
    case PRESET_CT_BONE:
        return PointsThrough({{150, 0.55f, 0.35f, 0.25f, 0.0f},
                              {300, 0.9f, 0.8f, 0.65f, 0.5f},
                              {1000, 1.0f, 0.96f, 0.88f, 0.9f},
                              {3071, 1.0f, 1.0f, 1.0f, 1.0f}},
                             data, true);
    case PRESET_CT_SKIN:
        return PointsThrough({{-700, 0.7f, 0.45f, 0.35f, 0.0f},
                              {-400, 0.9f, 0.65f, 0.52f, 0.6f},
                              {100, 0.98f, 0.82f, 0.7f, 0.9f},
                              {3071, 1.0f, 1.0f, 1.0f, 1.0f}},
                             data, true);
    case PRESET_CT_SOFT_TISSUE:
        return PointsThrough({{-300, 0.5f, 0.3f, 0.2f, 0.0f},
                              {-100, 0.9f, 0.78f, 0.5f, 0.08f},
                              {20, 0.75f, 0.3f, 0.25f, 0.25f},
                              {80, 0.9f, 0.45f, 0.4f, 0.45f},
                              {200, 0.95f, 0.8f, 0.7f, 0.5f},
                              {400, 1.0f, 0.97f, 0.9f, 0.85f},
                              {3071, 1.0f, 1.0f, 1.0f, 0.95f}},
                             data, true);
    case PRESET_MR_BRAIN: {
        // The object's values from dark to bright: the darkest (fluid)
        // transparent, grey matter pink and half opaque, white matter light
        // and nearly opaque.
        const int t = OtsuThreshold(h);
        auto at = [&](double f) { return static_cast<double>(HistogramPercentile(h, f, t + 1)); };
        return PointsThrough({{0, 0, 0, 0, 0},
                              {at(0.05), 0.6f, 0.3f, 0.25f, 0.0f},
                              {at(0.3), 0.9f, 0.6f, 0.55f, 0.5f},
                              {at(0.7), 1.0f, 0.88f, 0.82f, 0.9f},
                              {at(0.98), 1.0f, 1.0f, 0.95f, 1.0f}},
                             data, false);
    }
    case PRESET_GREYSCALE: {
        const int nLow = FirstUsed(h);
        const int nHigh = std::max(LastUsed(h), nLow + 1);
        return PointsThrough(
            {{static_cast<double>(nLow), 0, 0, 0, 0}, {static_cast<double>(nHigh), 1, 1, 1, 1}},
            data, false);
    }
    case PRESET_FIT_TO_DATA: {
        // Transparent up to the boundary between background and object, then
        // skin tones that turn opaque within the first 4 % of the object's
        // range (Levoy weighs opacity by the gradient, so only the boundary
        // itself counts) and white at its top.
        const int t = OtsuThreshold(h);
        const int nTop = HistogramPercentile(h, 0.995, t + 1);
        return PointsThrough(RampAbove(t, nTop,
                                       {{0.0, 0.9f, 0.62f, 0.5f, 0.0f},
                                        {0.04, 1.0f, 0.85f, 0.75f, 1.0f},
                                        {1.0, 1.0f, 0.97f, 0.92f, 1.0f}}),
                             data, false);
    }
    case PRESET_COUNT:
        break;
    }
    return {};
}

int ApplyPreset(TransferPreset ePreset, const PresetData& data, CTransferFunction& tf) {
    const std::vector<ControlPoint> points = PresetPoints(ePreset, data);
    return points.empty() ? -1 : tf.ReplacePoints(points);
}
