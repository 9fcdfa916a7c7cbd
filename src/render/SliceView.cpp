#include "render/SliceView.h"

#include <algorithm>
#include <cmath>

#include "volume/Volume.h"

int MiddleSlice(const CVolume& volume, int nPlane) {
    const int nSlices[3] = {volume.m_nDimZ, volume.m_nDimY, volume.m_nDimX};
    return nSlices[std::clamp(nPlane, 0, 2)] / 2;
}

bool SlicePlaneExtent(const CVolume& volume, int nPlane, float& fH, float& fV, double* pStretch) {
    int nH, nV, nAxisH, nAxisV;
    switch (nPlane) {
    case 0:
        nH = volume.m_nDimX, nV = volume.m_nDimY, nAxisH = 0, nAxisV = 1;
        break;
    case 1:
        nH = volume.m_nDimX, nV = volume.m_nDimZ, nAxisH = 0, nAxisV = 2;
        break;
    case 2:
        nH = volume.m_nDimY, nV = volume.m_nDimZ, nAxisH = 1, nAxisV = 2;
        break;
    default:
        return false;
    }
    const double dH = volume.m_dSpacing[nAxisH];
    const double dV = volume.m_dSpacing[nAxisV];
    double stretch[2] = {1.0, 1.0};
    if (dH != dV && std::isfinite(dH + dV) && dH > 0.0 && dV > 0.0) {
        if (dH > dV)
            stretch[0] = dH / dV;
        else
            stretch[1] = dV / dH;
    }
    fH = static_cast<float>(nH * stretch[0]);
    fV = static_cast<float>(nV * stretch[1]);
    if (pStretch) {
        pStretch[0] = stretch[0];
        pStretch[1] = stretch[1];
    }
    return true;
}

namespace {

// Zooms a fit by zoom.dZoom about the client area's centre and pans it: the
// drawn range along one axis of nSize pixels (first and last, inclusive, from
// the fit's), the first coordinate dOrigin and the step per pixel dStep. dPan
// moves the picture toward higher pixels. False when nothing is left to draw.
bool ZoomFitAxis(int nSize, double dZoom, double dPan, float fStep, int& nFirst, int& nLast,
                 double& dOrigin, double& dStep) {
    const double dCentre = nSize * 0.5;
    // Pixel p shows the unzoomed pixel (p - dCentre - dPan) / dZoom + dCentre.
    const double dFrom = (nFirst - dCentre) * dZoom + dCentre + dPan;
    const double dTo = (nLast + 1 - dCentre) * dZoom + dCentre + dPan;
    dStep = fStep / dZoom;
    dOrigin = ((-dCentre - dPan) / dZoom + dCentre - nFirst) * fStep;
    nFirst = static_cast<int>(std::max(std::ceil(dFrom), 0.0));
    nLast = static_cast<int>(std::min(std::ceil(dTo) - 1.0, nSize - 1.0));
    return nFirst <= nLast;
}

} // namespace

bool ComputeSliceFit(const CVolume* pVolume, int nPlane, int nWidth, int nHeight, SliceFit& fit,
                     const ZoomPan* pZoom) {
    if (!pVolume || !pVolume->m_pVoxels)
        return false;
    float fSh = 0.0f, fSv = 0.0f;
    double stretch[2];
    if (!SlicePlaneExtent(*pVolume, nPlane, fSh, fSv, stretch))
        return false;
    if (nWidth <= 0 || nHeight <= 0)
        return false;
    // The fit in units of the shorter edge, then the steps in voxels.
    const float Wf = static_cast<float>(nWidth);
    const float Hf = static_cast<float>(nHeight);
    const float Aw = Wf / Hf;
    const float As = fSh / fSv;
    const double halfW = nWidth * 0.5;
    const double halfH = nHeight * 0.5;
    if (As > Aw) {
        fit.du = fSh / Wf;
        fit.dv = (fSv / Hf) * (As / Aw);
        fit.x0 = 0;
        fit.x1 = nWidth - 1;
        const float r = Aw / As;
        fit.y0 = static_cast<int>(halfH - r * halfH);
        fit.y1 = static_cast<int>((r + 1) * halfH);
    } else {
        fit.du = (fSh / Wf) * (Aw / As);
        fit.dv = fSv / Hf;
        fit.y0 = 0;
        fit.y1 = nHeight - 1;
        const float r = As / Aw;
        fit.x0 = static_cast<int>(halfW - r * halfW);
        fit.x1 = static_cast<int>((r + 1) * halfW);
    }
    if (stretch[0] != 1.0)
        fit.du = static_cast<float>(fit.du / stretch[0]);
    if (stretch[1] != 1.0)
        fit.dv = static_cast<float>(fit.dv / stretch[1]);
    if (!pZoom || pZoom->IsDefault())
        return true;
    // Rows count upward, the pan's y downward.
    fit.bZoomed = true;
    return ZoomFitAxis(nWidth, pZoom->dZoom, pZoom->dPanX, fit.du, fit.x0, fit.x1, fit.dU0,
                       fit.dUStep) &&
           ZoomFitAxis(nHeight, pZoom->dZoom, -pZoom->dPanY, fit.dv, fit.y0, fit.y1, fit.dV0,
                       fit.dVStep);
}

int SampleSlice(const CVolume& volume, int nPlane, int nSlice, int nInterpolation, float u,
                float v) {
    if (nInterpolation == 0) {
        const int iu = static_cast<int>(u);
        const int iv = static_cast<int>(v);
        switch (nPlane) {
        case 0:
            return volume.VoxelAt(iu, iv, nSlice);
        case 1:
            return volume.VoxelAt(iu, nSlice, iv);
        default:
            return volume.VoxelAt(nSlice, iu, iv);
        }
    }
    switch (nPlane) {
    case 0:
        return volume.SampleBilinear(u, v, nSlice);
    case 1:
        return volume.SampleBilinear(u, static_cast<float>(nSlice), static_cast<int>(v));
    default:
        return volume.SampleBilinear(static_cast<float>(nSlice), u, static_cast<int>(v));
    }
}

double MinimumWindow(const VolumeSource& source) {
    const double dStep = std::fabs(source.dScanScale);
    return dStep > 0.0 && std::isfinite(dStep) ? dStep : 1.0;
}

void PercentileWindowLevel(const CVolume& volume, double& dWindow, double& dLevel) {
    long long nTotal = 0;
    for (int32_t nCount : volume.m_Histogram)
        nTotal += nCount;
    // The first bins whose running sums reach 1 % and 99 % of the voxels.
    int nLow = 0, nHigh = HISTOGRAM_BINS - 1;
    if (nTotal > 0) {
        long long nSum = 0;
        bool bLow = false;
        for (int i = 0; i < HISTOGRAM_BINS; ++i) {
            nSum += volume.m_Histogram[i];
            if (!bLow && nSum * 100 >= nTotal) {
                nLow = i;
                bLow = true;
            }
            if (nSum * 100 >= nTotal * 99) {
                nHigh = i;
                break;
            }
        }
    }
    const double dLow = volume.m_Source.ToScan(nLow);
    const double dHigh = volume.m_Source.ToScan(nHigh);
    dWindow = std::max(dHigh - dLow, MinimumWindow(volume.m_Source));
    dLevel = (dLow + dHigh) / 2;
}

void DefaultWindowLevel(const CVolume& volume, double& dWindow, double& dLevel) {
    int nLowest = -1, nHighest = -1;
    for (int i = 0; i < HISTOGRAM_BINS; ++i) {
        if (volume.m_Histogram[i] > 0) {
            if (nLowest < 0)
                nLowest = i;
            nHighest = i;
        }
    }
    const VolumeSource& source = volume.m_Source;
    if (source.IsScan() && nLowest >= 0 && source.ToScan(nLowest) <= -900.0 &&
        source.ToScan(nHighest) >= 100.0) {
        dWindow = WINDOW_LEVEL_PRESETS[1].dWindow;
        dLevel = WINDOW_LEVEL_PRESETS[1].dLevel;
        return;
    }
    PercentileWindowLevel(volume, dWindow, dLevel);
}

SliceLook DefaultSliceLook(const CVolume& volume) {
    SliceLook look;
    look.bGreyscale = volume.m_Source.IsScan();
    look.bOriented = volume.m_Source.bOriented;
    DefaultWindowLevel(volume, look.dWindow, look.dLevel);
    return look;
}

void SliceMirrors(const SliceLook& look, int nPlane, bool* pMirror) {
    // In the patient frame the axial slice's rows run toward posterior, so it
    // turns upside down to show anterior up; neurological turns the planes
    // with a left-right axis (axial, coronal) sideways.
    pMirror[0] = look.bOriented && look.bNeurological && (nPlane == 0 || nPlane == 1);
    pMirror[1] = look.bOriented && nPlane == 0;
}

bool SliceEdgeLetters(const SliceLook& look, int nPlane, const char* pLetters[4]) {
    if (!look.bOriented || nPlane < 0 || nPlane > 2)
        return false;
    // The directions in which x, y and z grow, and the opposite ones.
    static const char* const kToward[3][2] = {{"L", "R"}, {"P", "A"}, {"S", "I"}};
    const int nAxisH = SliceAxisH(nPlane);
    const int nAxisV = SliceAxisV(nPlane);
    bool mirror[2];
    SliceMirrors(look, nPlane, mirror);
    pLetters[0] = kToward[nAxisH][mirror[0] ? 0 : 1];
    pLetters[1] = kToward[nAxisH][mirror[0] ? 1 : 0];
    pLetters[2] = kToward[nAxisV][mirror[1] ? 0 : 1];
    pLetters[3] = kToward[nAxisV][mirror[1] ? 1 : 0];
    return true;
}

bool SliceVoxelAt(const CVolume* pVolume, int nPlane, int nSlice, int nWidth, int nHeight,
                  const SliceLook& look, int x, int y, int pVoxel[3]) {
    SliceFit fit;
    if (!ComputeSliceFit(pVolume, nPlane, nWidth, nHeight, fit, &look.zoom) || x < fit.x0 ||
        x > fit.x1 || y < fit.y0 || y > fit.y1)
        return false;
    // The same sums as the drawing, so that the voxel is the one drawn there.
    float u = fit.bZoomed ? fit.SliceU(x) : 0.0f;
    float v = fit.bZoomed ? fit.SliceV(y) : 0.0f;
    for (int i = fit.x0; i < x && !fit.bZoomed; ++i)
        u += fit.du;
    for (int j = fit.y0; j < y && !fit.bZoomed; ++j)
        v += fit.dv;
    bool mirror[2];
    SliceMirrors(look, nPlane, mirror);
    const int nAxisH = SliceAxisH(nPlane);
    const int nAxisV = SliceAxisV(nPlane);
    pVoxel[3 - nAxisH - nAxisV] = nSlice;
    pVoxel[nAxisH] =
        static_cast<int>(MirrorSliceCoordinate(u, AxisCount(*pVolume, nAxisH), mirror[0], true));
    pVoxel[nAxisV] =
        static_cast<int>(MirrorSliceCoordinate(v, AxisCount(*pVolume, nAxisV), mirror[1], true));
    for (int i = 0; i < 3; ++i)
        if (pVoxel[i] < 0 || pVoxel[i] >= AxisCount(*pVolume, i))
            return false;
    return true;
}

bool SliceCropOutline(const CVolume* pVolume, int nPlane, int nSlice, int nWidth, int nHeight,
                      const SliceLook& look, const CropBox& crop, double pRect[4]) {
    SliceFit fit;
    if (!ComputeSliceFit(pVolume, nPlane, nWidth, nHeight, fit))
        return false;
    const int dims[3] = {pVolume->m_nDimX, pVolume->m_nDimY, pVolume->m_nDimZ};
    const CropBox box = crop.Clamped(dims);
    const int nAxis[2] = {SliceAxisH(nPlane), SliceAxisV(nPlane)};
    const int nAcross = 3 - nAxis[0] - nAxis[1];
    if (crop.IsWhole(dims) || nSlice < box.nMin[nAcross] || nSlice > box.nMax[nAcross])
        return false;
    bool mirror[2];
    SliceMirrors(look, nPlane, mirror);
    const double origin[2] = {static_cast<double>(fit.x0), static_cast<double>(fit.y0)};
    const double step[2] = {fit.du, fit.dv};
    for (int i = 0; i < 2; ++i) {
        // The box's edges in slice coordinates, mirrored as the drawing is.
        double dLow = box.nMin[nAxis[i]];
        double dHigh = box.nMax[nAxis[i]] + 1.0;
        if (mirror[i]) {
            const double dCount = dims[nAxis[i]];
            const double dMirroredLow = dCount - dHigh;
            dHigh = dCount - dLow;
            dLow = dMirroredLow;
        }
        pRect[2 * i] = origin[i] + dLow / step[i];
        pRect[2 * i + 1] = origin[i] + dHigh / step[i];
    }
    return true;
}
