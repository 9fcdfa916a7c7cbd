// Small datasets for the engine tests, written as RAW files and read back
// through the ordinary loader, a render state that records what its worker
// posts, and helpers for comparing pictures.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/Matrix.h"
#include "view/RenderState.h"
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

inline std::unique_ptr<CVolume> MakeUniformVolume(int nDimX, int nDimY, int nDimZ, int16_t nValue) {
    return MakeVolume(nDimX, nDimY, nDimZ, [nValue](int, int, int) { return nValue; });
}

inline int32_t VoxelIndex(const CVolume& volume, int x, int y, int z) {
    return x + y * volume.m_nStrideY + z * volume.m_nStrideZ;
}

// Overwrites the stored gradient (and its length) of one voxel.
inline void SetGradient(CVolume& volume, int x, int y, int z, float gx, float gy, float gz,
                        float fMagnitude) {
    const int32_t k = VoxelIndex(volume, x, y, z);
    volume.m_pRecords[k].gradient[0] = gx;
    volume.m_pRecords[k].gradient[1] = gy;
    volume.m_pRecords[k].gradient[2] = gz;
    volume.m_pGradientMagnitude[k] = fMagnitude;
}

inline float Radians(int nDegrees) {
    return static_cast<float>(nDegrees * std::numbers::pi / 180.0);
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
    for (const ImagePixel& p : picture)
        if (p.r != 0.0f || p.g != 0.0f || p.b != 0.0f)
            return true;
    return false;
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

// A render state whose hooks record what the worker posts. The observers run on
// the worker thread; they are set only while no run is active.
class CHookedState : public CRenderState {
public:
    using CRenderState::CRenderState;
    ~CHookedState() override {
        StopProgressiveThread();
        WaitForWorkerEnd();
    }
    void PostTitle(const std::string& sTitle) override {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Titles.push_back(sTitle);
        }
        CRenderState::PostTitle(sTitle);
        if (m_OnTitle)
            m_OnTitle(sTitle);
    }
    void PostRepaint() override {
        const int n = ++m_nRepaints;
        if (m_OnRepaint)
            m_OnRepaint(n);
    }
    std::vector<std::string> Titles() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Titles;
    }
    void ClearRecords() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Titles.clear();
        m_nRepaints = 0;
    }

    std::function<void(const std::string&)> m_OnTitle;
    std::function<void(int)> m_OnRepaint; // with the number of repaints so far
    std::atomic<int> m_nRepaints{0};

private:
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Titles;
};
