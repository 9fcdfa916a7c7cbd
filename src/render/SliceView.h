// What the slice view draws, computed without any display: the fit of the slice
// into the client area and every point with its colour. The render window's
// DrawSlice and the headless renderer both draw from this.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/RunSettings.h"

class CVolume;
struct VolumeSource;
class CTransferFunction;

struct SliceFit {
    float du = 0; // voxels per screen column (screen pixels are square in space)
    float dv = 0; // voxels per screen row
    int x0 = 0;   // first and last drawn column (inclusive)
    int x1 = -1;
    int y0 = 0; // first and last drawn row (inclusive), counted from the bottom
    int y1 = -1;
    // A zoomed or panned fit: the drawn columns and rows are those inside the
    // client area, and the slice coordinates of column x and row y are
    // dU0 + x * dUStep and dV0 + y * dVStep. Otherwise they are the sums of du
    // and dv from x0 and y0 on.
    bool bZoomed = false;
    double dU0 = 0.0, dUStep = 0.0, dV0 = 0.0, dVStep = 0.0;
    float SliceU(int x) const { return static_cast<float>(dU0 + x * dUStep); }
    float SliceV(int y) const { return static_cast<float>(dV0 + y * dVStep); }
};

// Horizontal and vertical size of a plane's slice (0 XY, 1 XZ, 2 YZ) in units
// of the plane's shorter voxel edge, and each of the two edges over that shorter
// one (pStretch[0] horizontal, [1] vertical; 1 for both when the edges are
// equal, and then the sizes are the voxel counts). False for any other plane.
// How a slice is coloured and laid out on screen. The default is the
// transfer function's colours in storage order, as a RAW dataset shows.
struct SliceLook {
    // Greys by window and level (in scan units) instead of the transfer
    // function's colours: black at dLevel - dWindow / 2 and below, white at
    // dLevel + dWindow / 2 and above, linear between.
    bool bGreyscale = false;
    double dWindow = 4096.0;
    double dLevel = 2048.0;
    // The voxels lie in the patient frame (x toward the patient's left, y
    // posterior, z superior): axial slices show anterior up, coronal and
    // sagittal ones superior up, and the patient's right on the screen's left
    // (radiological) unless bNeurological puts it on the right.
    bool bOriented = false;
    bool bNeurological = false;
    // The zoom about the client area's centre and the pan in pixels.
    ZoomPan zoom;
};

// Slice window and level presets in scan units; the MR one comes from the
// histogram (DefaultWindowLevel).
struct WindowLevelPreset {
    const char* pName;
    double dWindow;
    double dLevel;
};
inline constexpr WindowLevelPreset WINDOW_LEVEL_PRESETS[] = {
    {"CT brain", 80.0, 40.0},
    {"CT soft tissue", 400.0, 40.0},
    {"CT bone", 2000.0, 500.0},
    {"CT lung", 1500.0, -600.0},
};
inline constexpr const char* MR_PRESET_NAME = "MR (1st-99th percentile)";

// The window and level from the 1st to the 99th percentile of the histogram,
// in scan units.
void PercentileWindowLevel(const CVolume& volume, double& dWindow, double& dLevel);
// The window a scan starts with: soft tissue for values in Hounsfield-like
// units (air near -1000 and something denser than water), the percentile one
// otherwise.
void DefaultWindowLevel(const CVolume& volume, double& dWindow, double& dLevel);
// The look a freshly loaded dataset is shown with: a scan in greys at its
// default window, oriented when its voxels are; a RAW dataset in the transfer
// function's colours (with the same window ready for greys).
SliceLook DefaultSliceLook(const CVolume& volume);
// The smallest window worth setting: one stored step in scan units.
double MinimumWindow(const VolumeSource& source);

// Whether the plane's slice is shown mirrored on screen: horizontally
// (pMirror[0]) and vertically (pMirror[1]).
void SliceMirrors(const SliceLook& look, int nPlane, bool* pMirror);
// The patient directions at the slice's left, right, bottom and top edges
// ("R", "L", "P", "A" for a radiological axial slice); false when the look is
// not oriented or the plane is none.
bool SliceEdgeLetters(const SliceLook& look, int nPlane, const char* pLetters[4]);

// The middle slice of a plane (0 XY, 1 XZ, 2 YZ): where a scan starts.
int MiddleSlice(const CVolume& volume, int nPlane);

bool SlicePlaneExtent(const CVolume& volume, int nPlane, float& fH, float& fV,
                      double* pStretch = nullptr);

// The fit of the plane's slice into a W x H client area, zoomed and panned by
// pZoom when given; false when nothing is drawn (no voxels, no such plane, or
// the zoomed slice lies outside the client area).
bool ComputeSliceFit(const CVolume* pVolume, int nPlane, int nWidth, int nHeight, SliceFit& fit,
                     const ZoomPan* pZoom = nullptr);

// Sample value at slice coordinates (u, v) of the plane, with the slice view's
// nearest-neighbour (0) or bilinear (1) rule.
int SampleSlice(const CVolume& volume, int nPlane, int nSlice, int nInterpolation, float u,
                float v);

// Calls emit(x, y, r, g, b) for every point the slice view draws, in drawing
// order: x, y the GL column and row (origin bottom left), r, g, b in 0..1.
template <class Emit>
void ForEachSlicePoint(const CVolume* pVolume, const CTransferFunction& tf, int nPlane, int nSlice,
                       int nInterpolation, int nWidth, int nHeight, const SliceLook& look,
                       Emit emit);

// The voxel under the GL point (x, y) as the slice view draws it: false when
// the point lies outside the drawn area or the volume.
bool SliceVoxelAt(const CVolume* pVolume, int nPlane, int nSlice, int nWidth, int nHeight,
                  const SliceLook& look, int x, int y, int pVoxel[3]);

// The crop box's outline on the slice as the slice view draws it: the GL
// rectangle left, right, bottom, top (pRect) around the box's voxels. False
// when the box holds the whole volume, the slice does not cut it, or no slice
// is drawn.
bool SliceCropOutline(const CVolume* pVolume, int nPlane, int nSlice, int nWidth, int nHeight,
                      const SliceLook& look, const CropBox& crop, double pRect[4]);

// ---- implementation of the template ----
#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

// The volume axes (0 x, 1 y, 2 z) along the plane's screen horizontal and
// vertical, and the voxel count along an axis.
inline int SliceAxisH(int nPlane) {
    return nPlane == 2 ? 1 : 0;
}
inline int SliceAxisV(int nPlane) {
    return nPlane == 0 ? 1 : 2;
}
inline int AxisCount(const CVolume& volume, int nAxis) {
    return nAxis == 0 ? volume.m_nDimX : (nAxis == 1 ? volume.m_nDimY : volume.m_nDimZ);
}

// The slice coordinate of a screen position c along an axis of nCount voxels,
// mirrored when bMirror: the whole voxel when the axis is sampled whole
// (bWhole), the mirrored position otherwise.
inline float MirrorSliceCoordinate(float c, int nCount, bool bMirror, bool bWhole) {
    if (!bMirror)
        return c;
    if (bWhole)
        return static_cast<float>(nCount - 1 - static_cast<int>(c));
    // Bilinear sampling truncates toward zero: a position left of the first
    // voxel would extrapolate, so the mirrored edge keeps the first voxel.
    return std::max(static_cast<float>(nCount - 1) - c, 0.0f);
}

template <class Emit>
void ForEachSlicePoint(const CVolume* pVolume, const CTransferFunction& tf, int nPlane, int nSlice,
                       int nInterpolation, int nWidth, int nHeight, const SliceLook& look,
                       Emit emit) {
    SliceFit fit;
    if (!ComputeSliceFit(pVolume, nPlane, nWidth, nHeight, fit, &look.zoom))
        return;
    bool mirror[2];
    SliceMirrors(look, nPlane, mirror);
    const int nCountH = AxisCount(*pVolume, SliceAxisH(nPlane));
    const int nCountV = AxisCount(*pVolume, SliceAxisV(nPlane));
    // Bilinear slices interpolate horizontally, and vertically only on XY.
    const bool bWholeH = nInterpolation == 0;
    const bool bWholeV = nInterpolation == 0 || nPlane != 0;
    // Greys: g = (scan value - low end) / window, computed on the stored value.
    const VolumeSource& source = pVolume->m_Source;
    const double dWindow = std::max(look.dWindow, MinimumWindow(source));
    const double dGreyScale = source.dScanScale / dWindow;
    const double dGreyOffset = (source.dScanOffset - (look.dLevel - dWindow / 2)) / dWindow;
    const double k = 0.00392156862745098; // 1/255
    float v = 0.0f;
    for (float y = static_cast<float>(fit.y0); y <= static_cast<float>(fit.y1); y += 1.0f) {
        const int ys = static_cast<int>(y);
        const float vs =
            MirrorSliceCoordinate(fit.bZoomed ? fit.SliceV(ys) : v, nCountV, mirror[1], bWholeV);
        float u = 0.0f;
        for (float x = static_cast<float>(fit.x0); x <= static_cast<float>(fit.x1); x += 1.0f) {
            const float us = MirrorSliceCoordinate(
                fit.bZoomed ? fit.SliceU(static_cast<int>(x)) : u, nCountH, mirror[0], bWholeH);
            const int s = SampleSlice(*pVolume, nPlane, nSlice, nInterpolation, us, vs);
            if (look.bGreyscale) {
                const double g = std::clamp(dGreyOffset + dGreyScale * s, 0.0, 1.0);
                emit(static_cast<int>(x), ys, g, g, g);
            } else {
                const TableEntry& e = tf.Lookup(static_cast<int16_t>(s));
                emit(static_cast<int>(x), ys, e.red * k, e.green * k, e.blue * k);
            }
            u += fit.du;
        }
        v += fit.dv;
    }
}
