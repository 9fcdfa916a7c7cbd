#include "render/SliceView.h"

#include <cmath>

#include "volume/Volume.h"

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

bool ComputeSliceFit(const CVolume* pVolume, int nPlane, int nWidth, int nHeight, SliceFit& fit) {
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
    return true;
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
