#include "volume/Volume.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/types.h>

#include "platform/Sync.h"

namespace {

// Reads one little-endian 16-bit value.
bool ReadInt16(std::FILE* pFile, int16_t& nValue) {
    unsigned char b[2];
    if (std::fread(b, 1, 2, pFile) != 2)
        return false;
    nValue = static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
    return true;
}

// The file's length in bytes, or -1 when it cannot be told (not seekable).
// Leaves the read position where it was.
long long FileLength(std::FILE* pFile) {
    const off_t nHere = ftello(pFile);
    if (nHere < 0 || fseeko(pFile, 0, SEEK_END) != 0)
        return -1;
    const off_t nEnd = ftello(pFile);
    if (fseeko(pFile, nHere, SEEK_SET) != 0)
        return -1;
    return nEnd;
}

template <class T> T* AllocateArray(size_t nCount, bool bZero) {
    return bZero ? new (std::nothrow) T[nCount]() : new (std::nothrow) T[nCount];
}

template <class T> void FreeArray(T*& p) {
    if (p) {
        delete[] p;
        p = nullptr;
    }
}

} // namespace

CVolume::CVolume(std::string sPath) {
    LoadRaw(sPath);
}

CVolume::~CVolume() {
    FreeBuffers();
}

const char* CVolume::LoadErrorText(RawLoadError eError) {
    switch (eError) {
    case RAW_OK:
        return "no error";
    case RAW_CANNOT_OPEN:
        return "cannot be opened";
    case RAW_INVALID_HEADER:
        return "invalid header";
    case RAW_TOO_SHORT:
        return "too short";
    case RAW_TOO_LARGE:
        return "too large";
    }
    return "unknown error";
}

void CVolume::ResetToEmpty() {
    FreeBuffers();
    m_nDimX = m_nDimY = m_nDimZ = 0;
    m_nStrideX = m_nStrideY = m_nStrideZ = 0;
    m_nVoxelCount = 0;
    m_nHistogramPeak = 0;
    std::memset(m_Histogram, 0, sizeof(m_Histogram));
}

void CVolume::Reject(RawLoadError eError) {
    ResetToEmpty();
    m_eLoadError = eError;
    if (eError == RAW_CANNOT_OPEN) {
        DebugOutput("Couldn't open dataset file!");
        return;
    }
    const std::string sLine =
        std::string("Couldn't load dataset file: ") + LoadErrorText(eError) + "!\n";
    DebugOutput(sLine.c_str());
}

int CVolume::LoadRaw(const std::string& sPath) {
    ResetToEmpty();
    m_eLoadError = RAW_OK;

    std::FILE* pFile = std::fopen(sPath.c_str(), "rb");
    if (!pFile) {
        Reject(RAW_CANNOT_OPEN);
        return -1;
    }

    // Three separate 2-byte reads: dimX, dimY, dimZ.
    int16_t nDim[3] = {0, 0, 0};
    for (int16_t& n : nDim) {
        if (!ReadInt16(pFile, n)) {
            // A read error (e.g. the path names a directory) means the file could
            // not really be opened; running out of bytes means a cut-short header.
            const bool bError = std::ferror(pFile) != 0;
            std::fclose(pFile);
            Reject(bError ? RAW_CANNOT_OPEN : RAW_INVALID_HEADER);
            return -1;
        }
    }
    if (nDim[0] < 1 || nDim[1] < 1 || nDim[2] < 1) {
        std::fclose(pFile);
        Reject(RAW_INVALID_HEADER);
        return -1;
    }
    const long long nCount = static_cast<long long>(nDim[0]) * nDim[1] * nDim[2];
    if (nCount > INT32_MAX) {
        std::fclose(pFile);
        Reject(RAW_TOO_LARGE);
        return -1;
    }
    // Refuse a file too short for its header before reserving any memory for it.
    const long long nLength = FileLength(pFile);
    if (nLength >= 0 && nLength < 6 + 2 * nCount) {
        std::fclose(pFile);
        Reject(RAW_TOO_SHORT);
        return -1;
    }

    m_nDimX = nDim[0];
    m_nDimY = nDim[1];
    m_nDimZ = nDim[2];
    m_nStrideZ = static_cast<int32_t>(m_nDimY) * m_nDimX;
    m_nStrideX = 1;
    m_nStrideY = m_nDimX;
    m_nVoxelCount = static_cast<int32_t>(nCount);

    if (AllocateBuffers() != 0) {
        std::fclose(pFile);
        Reject(RAW_TOO_LARGE);
        return -1;
    }

    // The voxels in one read; bytes after them are not looked at.
    const size_t nRead = std::fread(m_pVoxels, sizeof(int16_t), static_cast<size_t>(nCount), pFile);
    std::fclose(pFile);
    if (nRead != static_cast<size_t>(nCount)) {
        Reject(RAW_TOO_SHORT);
        return -1;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (int32_t i = 0; i < m_nVoxelCount; ++i)
            m_pVoxels[i] = static_cast<int16_t>(
                static_cast<uint16_t>((static_cast<uint16_t>(m_pVoxels[i]) >> 8) |
                                      (static_cast<uint16_t>(m_pVoxels[i]) << 8)));
    }

    // Central differences on the interior voxels; the faces keep the zero that
    // AllocateBuffers wrote.
    const int nDimX = m_nDimX;
    const int nDimY = m_nDimY;
    const int nDimZ = m_nDimZ;
    const ptrdiff_t sy = m_nStrideY;
    const ptrdiff_t sz = m_nStrideZ;
    for (int z = 1; z < nDimZ - 1; ++z) {
        for (int y = 1; y < nDimY - 1; ++y) {
            const ptrdiff_t i0 = 1 + y * sy + z * sz;
            const int16_t* v = m_pVoxels + i0;
            float* g = m_pGradient + 3 * i0;
            float* m = m_pGradientMagnitude + i0;
            for (int x = 1; x < nDimX - 1; ++x, ++v, g += 3, ++m) {
                const int32_t dx = static_cast<int32_t>(v[1]) - v[-1];
                const int32_t dy = static_cast<int32_t>(v[sy]) - v[-sy];
                const int32_t dz = static_cast<int32_t>(v[sz]) - v[-sz];
                const float gx = static_cast<float>(dx) * 0.5f;
                const float gy = static_cast<float>(dy) * 0.5f;
                const float gz = static_cast<float>(dz) * 0.5f;
                g[0] = gx;
                g[1] = gy;
                g[2] = gz;
                const double dgx = gx, dgy = gy, dgz = gz;
                *m = static_cast<float>(std::sqrt(dgx * dgx + dgy * dgy + dgz * dgz));
            }
        }
    }

    // Histogram of the values 0..4095; anything else has no bin and is not counted.
    std::memset(m_Histogram, 0, sizeof(m_Histogram));
    for (int32_t i = 0; i < m_nVoxelCount; ++i) {
        const int nValue = m_pVoxels[i];
        if (static_cast<unsigned>(nValue) < static_cast<unsigned>(HISTOGRAM_BINS))
            ++m_Histogram[nValue];
    }
    FindHistogramPeak();
    return 0;
}

int CVolume::AllocateBuffers() {
    FreeBuffers();
    if (m_nVoxelCount < 1)
        return -1;
    const size_t n = static_cast<size_t>(m_nVoxelCount);
    m_pVoxels = AllocateArray<int16_t>(n, false);
    m_pGradient = AllocateArray<float>(3 * n, true);
    m_pGradientMagnitude = AllocateArray<float>(n, true);
    m_pShadeR = AllocateArray<uint8_t>(n, false);
    m_pShadeG = AllocateArray<uint8_t>(n, false);
    m_pShadeB = AllocateArray<uint8_t>(n, false);
    m_pShadeAlpha = AllocateArray<float>(n, false);
    m_pShadeValid = AllocateArray<uint8_t>(n, false);
    if (!m_pVoxels || !m_pGradient || !m_pGradientMagnitude || !m_pShadeR || !m_pShadeG ||
        !m_pShadeB || !m_pShadeAlpha || !m_pShadeValid) {
        FreeBuffers();
        return -1;
    }
    m_nContentSerial = NextContentSerial();
    return 0;
}

uint64_t CVolume::NextContentSerial() {
    static std::atomic<uint64_t> s_nLast{0};
    return ++s_nLast;
}

void CVolume::FreeBuffers() {
    m_nContentSerial = 0;
    FreeArray(m_pVoxels);
    FreeArray(m_pGradient);
    FreeArray(m_pGradientMagnitude);
    FreeArray(m_pShadeR);
    FreeArray(m_pShadeG);
    FreeArray(m_pShadeB);
    FreeArray(m_pShadeAlpha);
    FreeArray(m_pShadeValid);
}

int CVolume::FindHistogramPeak() {
    int32_t nBest = 0;
    int32_t nBestIndex = 0;
    for (int i = 0; i < HISTOGRAM_BINS; ++i) {
        if (m_Histogram[i] > nBest) {
            nBest = m_Histogram[i];
            nBestIndex = i;
        }
    }
    m_nHistogramPeak = nBestIndex;
    return 0;
}
