// Small datasets for the engine tests, written as RAW files and read back
// through the ordinary loader.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "volume/Volume.h"

inline std::unique_ptr<CVolume> MakeVolume(int nDimX, int nDimY, int nDimZ,
                                           const std::function<int16_t(int, int, int)>& value) {
    static std::atomic<int> s_nCounter{0};
    const std::string sPath = testing::TempDir() + "orvex_engine_" + std::to_string(getpid()) +
                              "_" + std::to_string(s_nCounter++) + ".dat";
    std::vector<unsigned char> bytes;
    auto put = [&bytes](int16_t n) {
        const uint16_t u = static_cast<uint16_t>(n);
        bytes.push_back(static_cast<unsigned char>(u & 0xff));
        bytes.push_back(static_cast<unsigned char>(u >> 8));
    };
    put(static_cast<int16_t>(nDimX));
    put(static_cast<int16_t>(nDimY));
    put(static_cast<int16_t>(nDimZ));
    for (int z = 0; z < nDimZ; ++z)
        for (int y = 0; y < nDimY; ++y)
            for (int x = 0; x < nDimX; ++x)
                put(value(x, y, z));
    std::FILE* pFile = std::fopen(sPath.c_str(), "wb");
    EXPECT_NE(pFile, nullptr);
    if (!pFile)
        return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), pFile);
    std::fclose(pFile);
    auto pVolume = std::make_unique<CVolume>(sPath);
    std::remove(sPath.c_str());
    EXPECT_NE(pVolume->m_pVoxels, nullptr);
    return pVolume;
}

// A volume whose every voxel holds the same value.
inline std::unique_ptr<CVolume> MakeUniformVolume(int nDimX, int nDimY, int nDimZ, int16_t nValue) {
    return MakeVolume(nDimX, nDimY, nDimZ, [nValue](int, int, int) { return nValue; });
}

// Index of voxel (x, y, z).
inline int32_t VoxelIndex(const CVolume& volume, int x, int y, int z) {
    return x + y * volume.m_nStrideY + z * volume.m_nStrideZ;
}

// Overwrites the stored gradient (and its length) of one voxel.
inline void SetGradient(CVolume& volume, int x, int y, int z, float gx, float gy, float gz,
                        float fMagnitude) {
    const int32_t k = VoxelIndex(volume, x, y, z);
    volume.m_pGradient[3 * k] = gx;
    volume.m_pGradient[3 * k + 1] = gy;
    volume.m_pGradient[3 * k + 2] = gz;
    volume.m_pGradientMagnitude[k] = fMagnitude;
}
