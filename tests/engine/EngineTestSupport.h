// Helpers of the engine tests: datasets read back from RAW bytes, the gradients
// as the casters keep them, and pictures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/Matrix.h"
#include "support/TestFiles.h"
#include "transfer/TransferFunction.h"
#include "engine/RunSettings.h"
#include "volume/Volume.h"

using testfiles::MakeVolume;

inline std::unique_ptr<CVolume> MakeUniformVolume(int nDimX, int nDimY, int nDimZ, int nValue) {
    return MakeVolume(nDimX, nDimY, nDimZ, [=](int, int, int) { return nValue; });
}

inline int32_t VoxelIndex(const CVolume& volume, int x, int y, int z) {
    return x + y * volume.m_nStrideY + z * volume.m_nStrideZ;
}

// Overwrites the stored gradient of one voxel (of a dataset with 16-bit
// differences): twice each component becomes its difference.
inline void SetGradient(CVolume& volume, int32_t k, float gx, float gy, float gz) {
    const float g[3] = {gx, gy, gz};
    for (int c = 0; c < 3; ++c)
        volume.m_pDifferences[3 * k + c] = static_cast<int16_t>(2.0f * g[c]);
}

inline CMatrix4 Shift(double tx, double ty, double tz) {
    CMatrix4 m;
    m.Translate(tx, ty, tz);
    return m;
}

// The pixels of a w x h client area of an image buffer, column by column.
inline std::vector<ImagePixel> Picture(const ImageColumn* pImage, int w, int h) {
    std::vector<ImagePixel> picture;
    for (int x = 0; x < w; ++x)
        picture.insert(picture.end(), pImage[x], pImage[x] + h);
    return picture;
}

inline bool SamePixels(const std::vector<ImagePixel>& a, const std::vector<ImagePixel>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(ImagePixel)) == 0;
}

inline bool AnyLit(const std::vector<ImagePixel>& picture) {
    return std::any_of(picture.begin(), picture.end(),
                       [](const ImagePixel& p) { return p.r != 0 || p.g != 0 || p.b != 0; });
}

// Computed pixels in the first w x h of a buffer (all of it by default).
inline int CountComputed(const ImageColumn* pImage, int w = IMAGE_MAX_WIDTH,
                         int h = IMAGE_MAX_HEIGHT) {
    int n = 0;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            n += pImage[x][y].computed;
    return n;
}
