#include "transfer/EditorGeometry.h"

#include <algorithm>
#include <cmath>

#include "transfer/TransferFunction.h"

float ValueToPixelXExact(int nPosition, int nWidth) {
    return static_cast<float>(nPosition) * EDITOR_VALUE_STEP * static_cast<float>(nWidth);
}

int ValueToPixelX(int nPosition, int nWidth) {
    return static_cast<int>(ValueToPixelXExact(nPosition, nWidth));
}

int OpacityToPixelY(float fOpacity, int nHeight) {
    return static_cast<int>(static_cast<float>(nHeight) * fOpacity);
}

int16_t PixelToValue(int x, int nWidth) {
    const float fWidth = static_cast<float>(nWidth > 0 ? nWidth : 1);
    const float fValue = static_cast<float>(x) / fWidth * 4096.0f;
    if (fValue >= 32767.0f)
        return INT16_MAX;
    if (fValue <= -32768.0f)
        return INT16_MIN;
    return static_cast<int16_t>(static_cast<int>(fValue));
}

float PixelToOpacity(int y, int nHeight) {
    const float fHeight = static_cast<float>(nHeight > 0 ? nHeight : 1);
    return 1.0f - static_cast<float>(y) / fHeight;
}

ControlPoint* FindNearestPoint(ControlPoint* pFirst, int x, int y, int nWidth, int nHeight) {
    // The mouse point in drawing coordinates (origin bottom left).
    const double dMouseX = x;
    const double dMouseY = static_cast<double>(nHeight) - y;
    ControlPoint* pNearest = nullptr;
    double dNearest = NEAREST_POINT_LIMIT;
    for (ControlPoint* p = pFirst; p != nullptr; p = p->next) {
        const double dx = ValueToPixelXExact(p->position, nWidth) - dMouseX;
        const double dy = static_cast<float>(nHeight) * p->opacity - dMouseY;
        const double dDistance = std::sqrt(dx * dx + dy * dy);
        if (dDistance < dNearest) {
            dNearest = dDistance;
            pNearest = p;
        }
    }
    return pNearest;
}

bool ComputeHistogramLines(const int32_t* pHistogram, int nPeak, bool bSlicing, int nWidth,
                           int nHeight, std::vector<HistogramLine>& lines) {
    lines.clear();
    if (pHistogram == nullptr || nWidth <= 0 || nHeight <= 0)
        return false;
    if (nPeak < 0 || nPeak >= TABLE_SIZE)
        return false;
    // ln(1) = 0 would make the scale infinite, ln(0) is undefined.
    const int32_t nPeakCount = pHistogram[nPeak];
    if (nPeakCount <= 1)
        return false;
    double dScale = nHeight / std::log(static_cast<double>(nPeakCount));
    int nBaseline = 0;
    if (bSlicing) {
        if (nHeight <= SLICING_HISTOGRAM_BASELINE)
            return false;
        nBaseline = SLICING_HISTOGRAM_BASELINE;
        dScale = dScale * (nHeight - SLICING_HISTOGRAM_BASELINE) / nHeight;
    }
    int32_t nMax = 0;
    int nColumn = 0;
    for (int i = 0; i < TABLE_SIZE; i++) {
        if (pHistogram[i] > nMax)
            nMax = pHistogram[i];
        const int x = ValueToPixelX(i, nWidth);
        if (x > nColumn) {
            if (nMax > 0) {
                const int nTop =
                    static_cast<int>(std::log(static_cast<double>(nMax)) * dScale) + nBaseline;
                lines.push_back({x, nBaseline, nTop});
            }
            nColumn = x;
            nMax = 0;
        }
    }
    return true;
}

bool HasMarker(int nPosition) {
    return nPosition > 0 && nPosition < TABLE_SIZE - 1;
}

MarkerTriangle ComputeMarker(int nPosition, int nWidth) {
    const float fx = ValueToPixelXExact(nPosition, nWidth);
    MarkerTriangle m;
    m.tipX = static_cast<int>(fx);
    m.tipY = MARKER_TIP_Y;
    m.rightX = static_cast<int>(fx + static_cast<float>(MARKER_HALF_WIDTH));
    m.rightY = MARKER_TOP_Y;
    m.leftX = static_cast<int>(fx - static_cast<float>(MARKER_HALF_WIDTH));
    m.leftY = MARKER_TOP_Y;
    return m;
}

std::string WithDefaultExtension(const std::string& sPath, const std::string& sExtension) {
    const size_t nSlash = sPath.find_last_of('/');
    const size_t nNameStart = nSlash == std::string::npos ? 0 : nSlash + 1;
    if (nNameStart >= sPath.size())
        return sPath; // a directory, not a file name
    const size_t nDot = sPath.find('.', nNameStart + 1);
    if (nDot != std::string::npos)
        return sPath;
    return sPath + "." + sExtension;
}

int MouseValue(int x, int nWidth) {
    return std::clamp<int>(PixelToValue(x, nWidth), 0, TABLE_SIZE - 1);
}

std::vector<AxisTick> ComputeAxisTicks(double dScanOffset, double dScanScale, int nWidth) {
    std::vector<AxisTick> ticks;
    const double dLow = std::min(dScanOffset, dScanOffset + dScanScale * (TABLE_SIZE - 1));
    const double dSpan = std::abs(dScanScale) * (TABLE_SIZE - 1);
    if (!(dSpan > 0.0) || !std::isfinite(dSpan) || !std::isfinite(dLow) || nWidth < 1)
        return ticks;
    const double dRaw = dSpan / std::max(2, nWidth / 100);
    const double dPower = std::pow(10.0, std::floor(std::log10(dRaw)));
    const double dStep = dPower * (dRaw <= dPower       ? 1
                                   : dRaw <= 2 * dPower ? 2
                                   : dRaw <= 5 * dPower ? 5
                                                        : 10);
    const double dFirst = std::ceil(dLow / dStep) * dStep;
    for (int k = 0;; ++k) {
        double dValue = dFirst + k * dStep;
        if (dValue > dLow + dSpan * (1.0 + 1e-12))
            break;
        if (std::abs(dValue) < dStep * 1e-9)
            dValue = 0.0; // not -0 or 1e-13
        const double dStored = (dValue - dScanOffset) / dScanScale;
        ticks.push_back({static_cast<int>(dStored / TABLE_SIZE * nWidth), dValue});
    }
    return ticks;
}
