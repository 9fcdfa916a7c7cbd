#include "volume/Volume.h"

#include "platform/PageBuffer.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <sys/types.h>
#include <utility>
#include <vector>

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

// The per-voxel buffers, on page boundaries and kept out of the import's
// reading child (platform/PageBuffer.h); fresh pages are zero. (Transparent huge
// pages were tried: a few per cent off a Levoy run, but the first touches of a
// large dataset's buffers took seconds longer.)
template <class T> T* AllocateLarge(size_t nCount) {
    if (nCount > static_cast<size_t>(-1) / sizeof(T))
        return nullptr;
    return static_cast<T*>(AllocatePages(nCount * sizeof(T)));
}

template <class T> void FreeLarge(T*& p) {
    FreePages(p);
    p = nullptr;
}

template <class T> bool ReallocateLarge(T*& p, size_t nCount) {
    FreeLarge(p);
    p = AllocateLarge<T>(nCount);
    return p != nullptr;
}

// When the file's length cannot be told (a pipe), the voxels are read in pieces
// of this many values, so that no more memory is taken than the data that
// actually arrives.
constexpr size_t READ_PIECE_VALUES = size_t(1) << 20;

// Reads nCount 16-bit values. With a known length (already checked to hold them)
// in one read into one buffer; otherwise piece by piece, joined once all are in.
RawLoadError ReadVoxelValues(std::FILE* pFile, size_t nCount, bool bLengthKnown,
                             std::unique_ptr<int16_t[]>& pVoxels) {
    if (bLengthKnown) {
        pVoxels.reset(new (std::nothrow) int16_t[nCount]);
        if (!pVoxels)
            return RAW_TOO_LARGE;
        if (std::fread(pVoxels.get(), sizeof(int16_t), nCount, pFile) != nCount)
            return RAW_TOO_SHORT;
    } else {
        std::vector<std::unique_ptr<int16_t[]>> pieces;
        for (size_t nRead = 0; nRead < nCount;) {
            const size_t nPiece = std::min(READ_PIECE_VALUES, nCount - nRead);
            std::unique_ptr<int16_t[]> pPiece(new (std::nothrow) int16_t[nPiece]);
            if (!pPiece)
                return RAW_TOO_LARGE;
            if (std::fread(pPiece.get(), sizeof(int16_t), nPiece, pFile) != nPiece)
                return RAW_TOO_SHORT;
            pieces.push_back(std::move(pPiece));
            nRead += nPiece;
        }
        pVoxels.reset(new (std::nothrow) int16_t[nCount]);
        if (!pVoxels)
            return RAW_TOO_LARGE;
        for (size_t i = 0; i < pieces.size(); ++i) {
            const size_t nFirst = i * READ_PIECE_VALUES;
            std::memcpy(pVoxels.get() + nFirst, pieces[i].get(),
                        std::min(READ_PIECE_VALUES, nCount - nFirst) * sizeof(int16_t));
            pieces[i].reset();
        }
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < nCount; ++i)
            pVoxels[i] = static_cast<int16_t>(
                static_cast<uint16_t>((static_cast<uint16_t>(pVoxels[i]) >> 8) |
                                      (static_cast<uint16_t>(pVoxels[i]) << 8)));
    }
    return RAW_OK;
}

// Reads a RAW dataset file: its three dimensions (each at least 1) and all its
// voxel values. Bytes after the voxels are not looked at.
RawLoadError ReadRawFile(const std::string& sPath, int* pDim, std::unique_ptr<int16_t[]>& pVoxels) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(sPath.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return RAW_CANNOT_OPEN;
    // Three separate 2-byte reads: dimX, dimY, dimZ.
    for (int i = 0; i < 3; ++i) {
        int16_t n = 0;
        if (!ReadInt16(file.get(), n)) {
            // A read error (e.g. the path names a directory) means the file could
            // not really be opened; running out of bytes means a cut-short header.
            return std::ferror(file.get()) ? RAW_CANNOT_OPEN : RAW_INVALID_HEADER;
        }
        pDim[i] = n;
    }
    if (pDim[0] < 1 || pDim[1] < 1 || pDim[2] < 1)
        return RAW_INVALID_HEADER;
    const long long nCount = static_cast<long long>(pDim[0]) * pDim[1] * pDim[2];
    if (nCount > INT32_MAX)
        return RAW_TOO_LARGE;
    // Refuse a file too short for its header before reserving any memory for it.
    const long long nLength = FileLength(file.get());
    if (nLength >= 0 && nLength < 6 + 2 * nCount)
        return RAW_TOO_SHORT;
    return ReadVoxelValues(file.get(), static_cast<size_t>(nCount), nLength >= 0, pVoxels);
}

} // namespace

CVolume::CVolume() = default;

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
    m_dSpacing[0] = m_dSpacing[1] = m_dSpacing[2] = 1.0;
    m_Source = VolumeSource();
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
    int nDim[3] = {0, 0, 0};
    std::unique_ptr<int16_t[]> pVoxels;
    RawLoadError eError = ReadRawFile(sPath, nDim, pVoxels);
    if (eError == RAW_OK && AdoptVoxels(nDim[0], nDim[1], nDim[2], std::move(pVoxels)) != 0)
        eError = m_eLoadError;
    if (eError != RAW_OK) {
        Reject(eError);
        return -1;
    }
    m_Source.sName = std::filesystem::path(sPath).filename().string();
    m_Source.sKind = "RAW dataset";
    return 0;
}

namespace {
thread_local std::function<bool()> t_BeforeDerived;
} // namespace

void SetBeforeDerivedBuffers(std::function<bool()> hook) {
    t_BeforeDerived = std::move(hook);
}

void CVolume::ReleaseGradients() {
    FreeLarge(m_pRecords);
    FreeLarge(m_pGradientMagnitude);
}

bool CVolume::RestoreGradients() {
    if (m_pRecords || !m_pVoxels)
        return m_pRecords != nullptr;
    const size_t n = static_cast<size_t>(m_nVoxelCount);
    if (!ReallocateLarge(m_pRecords, n) || !ReallocateLarge(m_pGradientMagnitude, n)) {
        ReleaseGradients();
        return false;
    }
    ComputeGradients();
    return true;
}

int CVolume::AdoptVoxels(int nDimX, int nDimY, int nDimZ, std::unique_ptr<int16_t[]> pVoxels) {
    ResetToEmpty();
    m_eLoadError = RAW_OK;
    if (nDimX < 1 || nDimY < 1 || nDimZ < 1 || nDimX > INT16_MAX || nDimY > INT16_MAX ||
        nDimZ > INT16_MAX || !pVoxels) {
        m_eLoadError = RAW_INVALID_HEADER;
        return -1;
    }
    const long long nCount = static_cast<long long>(nDimX) * nDimY * nDimZ;
    if (nCount > INT32_MAX) {
        m_eLoadError = RAW_TOO_LARGE;
        return -1;
    }
    m_nDimX = static_cast<int16_t>(nDimX);
    m_nDimY = static_cast<int16_t>(nDimY);
    m_nDimZ = static_cast<int16_t>(nDimZ);
    m_nStrideZ = static_cast<int32_t>(m_nDimY) * m_nDimX;
    m_nStrideX = 1;
    m_nStrideY = m_nDimX;
    m_nVoxelCount = static_cast<int32_t>(nCount);
    // The voxels move into a buffer of the kind the casters read best (see
    // AllocateLarge).
    m_pVoxels = AllocateLarge<int16_t>(static_cast<size_t>(nCount));
    if (m_pVoxels) {
        std::memcpy(m_pVoxels, pVoxels.get(), static_cast<size_t>(nCount) * sizeof(int16_t));
        pVoxels.reset();
    }
    if (!m_pVoxels || (t_BeforeDerived && !t_BeforeDerived()) || AllocateBuffers() != 0) {
        ResetToEmpty();
        m_eLoadError = RAW_TOO_LARGE;
        return -1;
    }
    ComputeGradients();
    ComputeHistogram();
    FindHistogramPeak();
    return 0;
}

void CVolume::ComputeGradients() {
    // Every record holds its voxel's value; the gradients are central differences
    // on the interior voxels, and zero (with a zero length) on the faces. One
    // pass writes every record and length once.
    const int nDimX = m_nDimX;
    const int nDimY = m_nDimY;
    const int nDimZ = m_nDimZ;
    const ptrdiff_t sy = m_nStrideY;
    const ptrdiff_t sz = m_nStrideZ;
    for (int z = 0; z < nDimZ; ++z) {
        for (int y = 0; y < nDimY; ++y) {
            const ptrdiff_t i0 = y * sy + z * sz;
            const int16_t* v = m_pVoxels + i0;
            VoxelRecord* r = m_pRecords + i0;
            float* m = m_pGradientMagnitude + i0;
            const bool bInteriorRow = z > 0 && z < nDimZ - 1 && y > 0 && y < nDimY - 1;
            for (int x = 0; x < nDimX; ++x) {
                r[x].value = static_cast<float>(v[x]);
                if (!bInteriorRow || x == 0 || x == nDimX - 1) {
                    r[x].gradient[0] = r[x].gradient[1] = r[x].gradient[2] = 0.0f;
                    m[x] = 0.0f;
                    continue;
                }
                const int32_t dx = static_cast<int32_t>(v[x + 1]) - v[x - 1];
                const int32_t dy = static_cast<int32_t>(v[x + sy]) - v[x - sy];
                const int32_t dz = static_cast<int32_t>(v[x + sz]) - v[x - sz];
                const float gx = static_cast<float>(dx) * 0.5f;
                const float gy = static_cast<float>(dy) * 0.5f;
                const float gz = static_cast<float>(dz) * 0.5f;
                r[x].gradient[0] = gx;
                r[x].gradient[1] = gy;
                r[x].gradient[2] = gz;
                const double dgx = gx, dgy = gy, dgz = gz;
                m[x] = static_cast<float>(std::sqrt(dgx * dgx + dgy * dgy + dgz * dgz));
            }
        }
    }
}

void CVolume::ComputeHistogram() {
    // The values 0..4095; anything else has no bin and is not counted.
    std::memset(m_Histogram, 0, sizeof(m_Histogram));
    for (int32_t i = 0; i < m_nVoxelCount; ++i) {
        const int nValue = m_pVoxels[i];
        if (static_cast<unsigned>(nValue) < static_cast<unsigned>(HISTOGRAM_BINS))
            ++m_Histogram[nValue];
    }
}

int CVolume::AllocateBuffers() {
    if (m_nVoxelCount < 1) {
        FreeBuffers();
        return -1;
    }
    // The voxels may be in already (a load reads them first); every other buffer
    // is made anew. The first allocation that fails ends it.
    const size_t n = static_cast<size_t>(m_nVoxelCount);
    const bool bOk = (m_pVoxels || (m_pVoxels = AllocateLarge<int16_t>(n))) &&
                     ReallocateLarge(m_pRecords, n) && ReallocateLarge(m_pGradientMagnitude, n);
    if (!bOk) {
        FreeBuffers();
        return -1;
    }
    m_nContentSerial = NextContentSerial();
    return 0;
}

std::string DescribeValues(const CVolume& volume) {
    const VolumeSource& source = volume.m_Source;
    if (!source.bValuesMapped)
        return "values kept";
    char sz[80];
    if (source.dMin == source.dMax) {
        std::snprintf(sz, sizeof sz, "all values %g, stored as 0", source.dMin);
        return sz;
    }
    std::snprintf(sz, sizeof sz, "[%g, %g] onto 0..4095", source.dMin, source.dMax);
    return (source.dScanScale == 1.0 ? "values shifted from " : "values mapped from ") +
           std::string(sz);
}

std::string ScanValueText(const VolumeSource& source, double dScan) {
    char sz[40];
    if (source.bWholeScanValues)
        std::snprintf(sz, sizeof sz, "%.0f", std::round(dScan) == 0.0 ? 0.0 : std::round(dScan));
    else
        std::snprintf(sz, sizeof sz, "%.4g", dScan);
    return sz;
}

uint64_t CVolume::NextContentSerial() {
    static std::atomic<uint64_t> s_nLast{0};
    return ++s_nLast;
}

void CVolume::FreeBuffers() {
    m_nContentSerial = 0;
    FreeLarge(m_pVoxels);
    FreeLarge(m_pRecords);
    FreeLarge(m_pGradientMagnitude);
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
