// What the slice view draws, computed without any display: the fit of the slice
// into the client area and every point with its colour. The render window's
// DrawSlice and the headless renderer both draw from this.
#pragma once

#include <cstdint>

class CVolume;
class CTransferFunction;

struct SliceFit {
    float du = 0; // voxels per screen column (screen pixels are square in space)
    float dv = 0; // voxels per screen row
    int x0 = 0;   // first and last drawn column (inclusive)
    int x1 = -1;
    int y0 = 0; // first and last drawn row (inclusive), counted from the bottom
    int y1 = -1;
};

// Horizontal and vertical size of a plane's slice (0 XY, 1 XZ, 2 YZ) in units
// of the plane's shorter voxel edge, and each of the two edges over that shorter
// one (pStretch[0] horizontal, [1] vertical; 1 for both when the edges are
// equal, and then the sizes are the voxel counts). False for any other plane.
bool SlicePlaneExtent(const CVolume& volume, int nPlane, float& fH, float& fV,
                      double* pStretch = nullptr);

// The fit of the plane's slice into a W x H client area; false when nothing is
// drawn (no voxels, or no such plane).
bool ComputeSliceFit(const CVolume* pVolume, int nPlane, int nWidth, int nHeight, SliceFit& fit);

// Sample value at slice coordinates (u, v) of the plane, with the slice view's
// nearest-neighbour (0) or bilinear (1) rule.
int SampleSlice(const CVolume& volume, int nPlane, int nSlice, int nInterpolation, float u,
                float v);

// Calls emit(x, y, r, g, b) for every point the slice view draws, in drawing
// order: x, y the GL column and row (origin bottom left), r, g, b in 0..1.
template <class Emit>
void ForEachSlicePoint(const CVolume* pVolume, const CTransferFunction& tf, int nPlane, int nSlice,
                       int nInterpolation, int nWidth, int nHeight, Emit emit);

// ---- implementation of the template ----
#include "transfer/TransferFunction.h"

template <class Emit>
void ForEachSlicePoint(const CVolume* pVolume, const CTransferFunction& tf, int nPlane, int nSlice,
                       int nInterpolation, int nWidth, int nHeight, Emit emit) {
    SliceFit fit;
    if (!ComputeSliceFit(pVolume, nPlane, nWidth, nHeight, fit))
        return;
    const double k = 0.00392156862745098; // 1/255
    float v = 0.0f;
    for (float y = static_cast<float>(fit.y0); y <= static_cast<float>(fit.y1); y += 1.0f) {
        const int ys = static_cast<int>(y);
        float u = 0.0f;
        for (float x = static_cast<float>(fit.x0); x <= static_cast<float>(fit.x1); x += 1.0f) {
            const int s = SampleSlice(*pVolume, nPlane, nSlice, nInterpolation, u, v);
            const TableEntry& e = tf.Lookup(static_cast<int16_t>(s));
            emit(static_cast<int>(x), ys, e.red * k, e.green * k, e.blue * k);
            u += fit.du;
        }
        v += fit.dv;
    }
}
