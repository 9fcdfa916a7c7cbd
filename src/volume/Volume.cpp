#include "volume/Volume.h"

#include "platform/PageBuffer.h"
#include "volume/Slabs.h"

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
#include <system_error>
#include <thread>
#include <type_traits>
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

// The voxels are read in pieces of this many values: the reading thread's
// progress hook hears of each, and when the file's length cannot be told (a
// pipe) only the pages of the data that actually arrives are ever touched (the
// buffer's pages are the kernel's until written).
constexpr size_t READ_PIECE_VALUES = size_t(1) << 20;

thread_local std::function<bool(double)> t_ReadProgress;

// Reads nCount 16-bit values straight into the buffer that the dataset keeps.
RawLoadError ReadVoxelValues(std::FILE* pFile, size_t nCount, VoxelBuffer& pVoxels) {
    pVoxels = AllocateVoxels(nCount);
    if (!pVoxels)
        return RAW_TOO_LARGE;
    for (size_t nRead = 0; nRead < nCount; nRead += READ_PIECE_VALUES) {
        // (A stop reads as a short file; the import reports the stop instead.)
        if (t_ReadProgress &&
            !t_ReadProgress(static_cast<double>(nRead) / static_cast<double>(nCount)))
            return RAW_TOO_SHORT;
        const size_t n = std::min(READ_PIECE_VALUES, nCount - nRead);
        if (std::fread(pVoxels.get() + nRead, sizeof(int16_t), n, pFile) != n)
            return RAW_TOO_SHORT;
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
RawLoadError ReadRawFile(const std::string& sPath, int* pDim, VoxelBuffer& pVoxels) {
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
    return ReadVoxelValues(file.get(), static_cast<size_t>(nCount), pVoxels);
}

} // namespace

void PagesFree::operator()(int16_t* p) const {
    FreePages(p);
}

VoxelBuffer AllocateVoxels(size_t nCount) {
    return VoxelBuffer(AllocateLarge<int16_t>(nCount));
}

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
    m_bWideValues = false;
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
    VoxelBuffer pVoxels;
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

void SetReadProgress(std::function<bool(double)> hook) {
    t_ReadProgress = std::move(hook);
}

int CVolume::AdoptVoxels(int nDimX, int nDimY, int nDimZ, VoxelBuffer pVoxels) {
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
    m_pVoxels = pVoxels.release(); // already of the kind AllocateLarge makes
    m_nContentSerial = NextContentSerial();
    if (t_BeforeDerived && !t_BeforeDerived()) {
        ResetToEmpty();
        m_eLoadError = RAW_TOO_LARGE;
        return -1;
    }
    ComputeHistogram();
    if (!ComputeGradients()) {
        ResetToEmpty();
        m_eLoadError = RAW_TOO_LARGE;
        return -1;
    }
    FindHistogramPeak();
    return 0;
}

namespace {

// The differences of the interior voxels of slices [zFirst, zEnd); the border
// voxels keep the zeros of fresh pages.
template <class T> void FillDifferences(const CVolume& v, T* pOut, int zFirst, int zEnd) {
    const int nDimX = v.m_nDimX, nDimY = v.m_nDimY, nDimZ = v.m_nDimZ;
    const ptrdiff_t sy = v.m_nStrideY, sz = v.m_nStrideZ;
    for (int z = std::max(zFirst, 1); z < std::min(zEnd, nDimZ - 1); ++z) {
        for (int y = 1; y < nDimY - 1; ++y) {
            const ptrdiff_t i0 = y * sy + z * sz;
            const int16_t* p = v.m_pVoxels + i0;
            T* d = pOut + 3 * i0;
            for (int x = 1; x < nDimX - 1; ++x) {
                d[3 * x] = static_cast<T>(p[x + 1] - p[x - 1]);
                d[3 * x + 1] = static_cast<T>(p[x + sy] - p[x - sy]);
                d[3 * x + 2] = static_cast<T>(p[x + sz] - p[x - sz]);
            }
        }
    }
}

// Slices of about this many voxels make a slab worth a thread of its own.
constexpr int SLAB_VOXELS = 1 << 18;

} // namespace

bool CVolume::ComputeGradients() {
    // Each buffer has 16 bytes to spare at its end (see m_pDifferences).
    const size_t nValues = 3 * static_cast<size_t>(m_nVoxelCount);
    if (m_bWideValues)
        m_pWideDifferences = AllocateLarge<int32_t>(nValues + 4);
    else
        m_pDifferences = AllocateLarge<int16_t>(nValues + 8);
    if (!HasGradients())
        return false;
    const int nPerSlab = std::max(1, SLAB_VOXELS / std::max(1, m_nStrideZ));
    ForEachSlab(m_nDimZ, nPerSlab, [this](int, int zFirst, int zEnd) {
        WithDifferences([&](const auto* pDifferences) {
            using T = std::remove_cvref_t<decltype(*pDifferences)>;
            FillDifferences(*this, const_cast<T*>(pDifferences), zFirst, zEnd);
        });
    });
    return true;
}

void CVolume::ReleaseGradients() {
    FreeLarge(m_pDifferences);
    FreeLarge(m_pWideDifferences);
}

bool CVolume::RestoreGradients() {
    if (HasGradients())
        return true;
    return m_pVoxels && ComputeGradients();
}

void CVolume::ComputeHistogram() {
    // The values 0..4095; anything else has no bin and is not counted. Each slab
    // counts into its own bins, and notes its range (which tells the width of the
    // differences).
    struct Slab {
        int32_t bins[HISTOGRAM_BINS] = {};
        int nMin = INT16_MAX, nMax = INT16_MIN;
    };
    std::vector<Slab> slabs(static_cast<size_t>(MaxSlabs()));
    ForEachSlab(m_nVoxelCount, SLAB_VOXELS, [&](int nSlab, int nFirst, int nEnd) {
        Slab& slab = slabs[static_cast<size_t>(nSlab)];
        for (int32_t i = nFirst; i < nEnd; ++i) {
            const int nValue = m_pVoxels[i];
            slab.nMin = std::min(slab.nMin, nValue);
            slab.nMax = std::max(slab.nMax, nValue);
            if (static_cast<unsigned>(nValue) < static_cast<unsigned>(HISTOGRAM_BINS))
                ++slab.bins[nValue];
        }
    });
    std::memset(m_Histogram, 0, sizeof(m_Histogram));
    int nMin = INT16_MAX, nMax = INT16_MIN;
    for (const Slab& slab : slabs) {
        for (int i = 0; i < HISTOGRAM_BINS; ++i)
            m_Histogram[i] += slab.bins[i];
        nMin = std::min(nMin, slab.nMin);
        nMax = std::max(nMax, slab.nMax);
    }
    // A difference of two values spans at most their range.
    m_bWideValues = nMax - nMin > INT16_MAX;
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
    ReleaseGradients();
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
