#include "view/SliceView.h"

#include "volume/Volume.h"

bool SlicePlaneSize(const CVolume& volume, int nPlane, int& nSh, int& nSv) {
    switch (nPlane) {
    case 0:
        nSh = volume.m_nDimX;
        nSv = volume.m_nDimY;
        return true;
    case 1:
        nSh = volume.m_nDimX;
        nSv = volume.m_nDimZ;
        return true;
    case 2:
        nSh = volume.m_nDimY;
        nSv = volume.m_nDimZ;
        return true;
    default:
        return false;
    }
}

bool ComputeSliceFit(const CVolume* pVolume, int nPlane, int nWidth, int nHeight, SliceFit& fit) {
    if (!pVolume || !pVolume->m_pVoxels)
        return false;
    int nSh = 0, nSv = 0;
    if (!SlicePlaneSize(*pVolume, nPlane, nSh, nSv))
        return false;
    if (nWidth <= 0 || nHeight <= 0)
        return false;
    const float Wf = static_cast<float>(nWidth);
    const float Hf = static_cast<float>(nHeight);
    const float Aw = Wf / Hf;
    const float As = static_cast<float>(nSh) / static_cast<float>(nSv);
    const double halfW = nWidth * 0.5;
    const double halfH = nHeight * 0.5;
    if (As > Aw) {
        fit.du = static_cast<float>(nSh) / Wf;
        fit.dv = (static_cast<float>(nSv) / Hf) * (As / Aw);
        fit.x0 = 0;
        fit.x1 = nWidth - 1;
        const float r = Aw / As;
        fit.y0 = static_cast<int>(halfH - r * halfH);
        fit.y1 = static_cast<int>((r + 1) * halfH);
    } else {
        fit.du = (static_cast<float>(nSh) / Wf) * (Aw / As);
        fit.dv = static_cast<float>(nSv) / Hf;
        fit.y0 = 0;
        fit.y1 = nHeight - 1;
        const float r = As / Aw;
        fit.x0 = static_cast<int>(halfW - r * halfW);
        fit.x1 = static_cast<int>((r + 1) * halfW);
    }
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
