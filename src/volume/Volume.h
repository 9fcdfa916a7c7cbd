// One scalar volume read from a RAW dataset file (*.dat): signed 16-bit voxels,
// x fastest, with per-voxel gradients (kept as integer central differences, whose
// halves they are) and a 4096-bin histogram.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

constexpr int HISTOGRAM_BINS = 4096;

// Where a dataset came from and how its voxel values relate to the file's.
struct VolumeSource {
    std::string sName; // the file's name, or the DICOM series' folder and series
    std::string sKind; // "RAW dataset", "NIfTI", "NRRD", "MetaImage", "DICOM", "bare RAW"
    // False: the voxels hold the file's own values (a RAW dataset's values as
    // stored, or a scan's whole numbers that fill 0..4095 already). True: the
    // scan's range [dMin, dMax] was mapped linearly onto 0..4095 (by a shift
    // alone when dScanScale is 1).
    bool bValuesMapped = false;
    double dMin = 0.0; // the file's value range after its own rescale (not known
    double dMax = 0.0; // for a RAW dataset: 0 and 0)
    // Scan units: a stored value s stands for dScanOffset + dScanScale * s in the
    // file's own units (Hounsfield units, the MRI's intensities, ...). Every
    // number the user reads or types is in these units. A RAW dataset's units
    // are its stored values (offset 0, scale 1).
    double dScanOffset = 0.0;
    double dScanScale = 1.0;
    bool bWholeScanValues = true; // the file's values are whole numbers
    double ToScan(double dStored) const { return dScanOffset + dScanScale * dStored; }
    double FromScan(double dScan) const { return (dScan - dScanOffset) / dScanScale; }
    // True when the file's direction brought the voxels into the patient's
    // frame: x toward the patient's left, y toward posterior, z toward superior.
    bool bOriented = false;
    // True for every dataset that did not come from a RAW dataset file (*.dat).
    bool IsScan() const { return sKind != "RAW dataset"; }
};

// A value in scan units as the user reads it: whole numbers without decimals,
// others with up to four significant digits ("-1024", "0.3127").
std::string ScanValueText(const VolumeSource& source, double dScan);

// Voxels in pages of their own, as a dataset keeps them (platform/PageBuffer.h):
// a reader writes a dataset's voxels straight into the buffer it then holds.
struct PagesFree {
    void operator()(int16_t* p) const;
};
using VoxelBuffer = std::unique_ptr<int16_t[], PagesFree>;
// nCount zeroed voxels, or null when there is not that much memory.
VoxelBuffer AllocateVoxels(size_t nCount);

// Why a dataset could not be read; RAW_OK after a successful load.
enum RawLoadError {
    RAW_OK = 0,
    RAW_CANNOT_OPEN,    // the file cannot be opened
    RAW_INVALID_HEADER, // a dimension below 1, or the header itself is cut short
    RAW_TOO_SHORT,      // fewer voxel bytes than the header announces
    RAW_TOO_LARGE,      // voxel count beyond 32 bits, or the buffers cannot be allocated
};

class CVolume {
public:
    // Loads the file at once; the object exists whether or not that succeeded
    // (an unreadable file leaves the dataset empty).
    explicit CVolume(std::string sPath);
    // An empty dataset, to be filled by AdoptVoxels.
    CVolume();
    virtual ~CVolume();
    CVolume(const CVolume&) = delete;
    CVolume& operator=(const CVolume&) = delete;

    // 0 on success, -1 on failure (one diagnostic line names the reason; nothing
    // stays allocated and the dataset stays empty). Reads the header, then all
    // voxels, and only then makes the derived buffers (AdoptVoxels).
    int LoadRaw(const std::string& sPath);
    // Makes this the dataset of the given voxels (nDimX * nDimY * nDimZ values,
    // x fastest, each dimension 1..32767), which it keeps as they are (no copy):
    // allocates the derived buffers and computes gradients,
    // histogram and peak.
    // 0, or -1 with GetLoadError() RAW_INVALID_HEADER (bad dimensions) or
    // RAW_TOO_LARGE (more than 2^31 - 1 voxels, or no memory for the buffers);
    // the dataset is then empty and the voxels are freed. Writes no diagnostic.
    int AdoptVoxels(int nDimX, int nDimY, int nDimZ, VoxelBuffer pVoxels);
    void FreeBuffers();
    int FindHistogramPeak();
    // Frees the gradients alone (while memory is wanted elsewhere); the voxels,
    // the histogram and the slices stay. Nothing may cast rays meanwhile.
    void ReleaseGradients();
    // Computes them again from the voxels, the same bits as before; false (and
    // still none) when there is not the memory for them. True when they are in.
    bool RestoreGradients();
    bool HasGradients() const { return m_pDifferences || m_pWideDifferences; }

    // Stored value, or 0 outside the grid.
    int16_t VoxelAt(int x, int y, int z) const;
    // Trilinear value (corners outside the grid count as 0), unrounded.
    double SampleTrilinear(float x, float y, float z) const;
    // Trilinear gradient into pOut[3], which is also returned. Callers keep the cell
    // and its +1 neighbours inside the grid; a corner outside it counts as a zero
    // gradient (as on the border) instead of being read.
    float* GradientTrilinear(float x, float y, float z, float* pOut) const;
    // Bilinear in x and y within slice z, truncated toward zero.
    int SampleBilinear(float x, float y, int z) const;
    // The gradient of voxel k into g[3] (half its differences), and its length
    // (the square root of the double sum of the squared components, as a float).
    void GradientAt(int32_t k, float* g) const;
    float GradientLength(int32_t k) const;
    // Calls f with the differences, of whichever width this dataset keeps.
    template <class F> decltype(auto) WithDifferences(F&& f) const {
        return m_pDifferences ? f(static_cast<const int16_t*>(m_pDifferences))
                              : f(static_cast<const int32_t*>(m_pWideDifferences));
    }

    RawLoadError GetLoadError() const { return m_eLoadError; }
    // A short English text for the load error ("cannot be opened", ...).
    static const char* LoadErrorText(RawLoadError eError);

    // Per voxel its central differences dx = v(x + 1) - v(x - 1), dy, dz side by
    // side, zero on the border voxels: the gradient is half of them. 16 bits each
    // (6 bytes per voxel) when the values span at most 32767, as every scan's
    // do; 32 bits otherwise. While the dataset is loaded exactly one is set. Each
    // buffer has room for reading 16 bytes from any voxel's differences on.
    int16_t* m_pDifferences = nullptr;
    int32_t* m_pWideDifferences = nullptr;
    int16_t m_nDimX = 0;
    int16_t m_nDimY = 0;
    int16_t m_nDimZ = 0;
    int32_t m_nStrideX = 0;
    int32_t m_nStrideY = 0;
    int32_t m_nStrideZ = 0;
    int32_t m_nVoxelCount = 0;
    int16_t* m_pVoxels = nullptr; // null while the dataset is empty
    int32_t m_nHistogramPeak = 0;
    int32_t m_Histogram[HISTOGRAM_BINS] = {};
    // Tells this dataset's contents apart from every other's in the process: a
    // fresh number whenever the buffers are allocated (each load), 0 while empty.
    // Lets data derived from the voxels (the renderer's brick value ranges) be
    // kept across runs. Whoever rewrites m_pVoxels of a loaded dataset in place
    // gives it a fresh number with NextContentSerial().
    uint64_t m_nContentSerial = 0;
    static uint64_t NextContentSerial();
    // Size of a voxel along x, y and z in the file's length unit (mm for most
    // scans); 1, 1, 1 for a RAW dataset. The views scale each axis by it.
    double m_dSpacing[3] = {1.0, 1.0, 1.0};
    VolumeSource m_Source;

private:
    // Cell index (c truncated toward zero) and fraction c - n of one coordinate.
    // False for coordinates so far out (or NaN) that every corner lies outside
    // the grid, where the truncation itself would not be defined.
    static bool CellOf(float c, int& n, double& f) {
        if (!(c > -1.0e9f && c < 1.0e9f))
            return false;
        n = static_cast<int>(c);
        f = static_cast<double>(c) - n;
        return true;
    }
    // True when the cell (nx..nx+1, ny..ny+1, nz..nz+1) lies wholly inside the grid.
    bool CellInside(int nx, int ny, int nz) const {
        return nx >= 0 && ny >= 0 && nz >= 0 && nx + 1 < m_nDimX && ny + 1 < m_nDimY &&
               nz + 1 < m_nDimZ;
    }
    void ResetToEmpty();
    // Allocates the differences (of the width m_bWideValues asks for) and fills
    // them; false when there is not the memory.
    bool ComputeGradients();
    // The histogram, and m_bWideValues.
    void ComputeHistogram();
    void Reject(RawLoadError eError);

    RawLoadError m_eLoadError = RAW_OK;
    bool m_bWideValues = false; // the values span more than 32767
};

// For the calling thread: what AdoptVoxels runs once the voxels are in place
// and before the derived buffers are allocated; false ends it with
// RAW_TOO_LARGE. Empty: nothing.
void SetBeforeDerivedBuffers(std::function<bool()> hook);
// For the calling thread: what a RAW dataset's read calls before each piece of
// its voxels with the share read so far (0..1); false stops the read (the load
// then fails). Empty: nothing.
void SetReadProgress(std::function<bool(double)> hook);

// How the dataset's values were taken from its file: "values kept", "values
// mapped from [MIN, MAX] onto 0..4095", "values shifted from [MIN, MAX] onto
// 0..4095" or "all values V, stored as 0".
std::string DescribeValues(const CVolume& volume);

// ---- the samplers, called per ray sample: inline, no allocation, no division ----

inline int16_t CVolume::VoxelAt(int x, int y, int z) const {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_nDimX) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(m_nDimY) ||
        static_cast<unsigned>(z) >= static_cast<unsigned>(m_nDimZ))
        return 0;
    return m_pVoxels[x + y * m_nStrideY + z * m_nStrideZ];
}

inline double CVolume::SampleTrilinear(float x, float y, float z) const {
    int nx, ny, nz;
    double fx, fy, fz;
    if (!CellOf(x, nx, fx) || !CellOf(y, ny, fy) || !CellOf(z, nz, fz))
        return 0.0;
    double c000, c001, c010, c011, c100, c101, c110, c111;
    if (CellInside(nx, ny, nz)) {
        const int sy = m_nStrideY;
        const int sz = m_nStrideZ;
        const int16_t* p = m_pVoxels + (nx + ny * sy + nz * sz);
        c000 = p[0];
        c100 = p[1];
        c010 = p[sy];
        c110 = p[sy + 1];
        c001 = p[sz];
        c101 = p[sz + 1];
        c011 = p[sz + sy];
        c111 = p[sz + sy + 1];
    } else {
        c000 = VoxelAt(nx, ny, nz);
        c001 = VoxelAt(nx, ny, nz + 1);
        c010 = VoxelAt(nx, ny + 1, nz);
        c011 = VoxelAt(nx, ny + 1, nz + 1);
        c100 = VoxelAt(nx + 1, ny, nz);
        c101 = VoxelAt(nx + 1, ny, nz + 1);
        c110 = VoxelAt(nx + 1, ny + 1, nz);
        c111 = VoxelAt(nx + 1, ny + 1, nz + 1);
    }
    const double gx = 1.0 - fx;
    const double gy = 1.0 - fy;
    const double a00 = c000 * gx + c100 * fx;
    const double a10 = c010 * gx + c110 * fx;
    const double a01 = c001 * gx + c101 * fx;
    const double a11 = c011 * gx + c111 * fx;
    const double b0 = a00 * gy + a10 * fy;
    const double b1 = a01 * gy + a11 * fy;
    return b0 * (1.0 - fz) + b1 * fz;
}

// Channel c of the eight cell corners (000, 100, 010, 110, 001, 101, 011, 111)
// interpolated at the cell fractions: along x, then y, then z, in double. The
// casters' fallback uses it too, so that both give the same bits.
template <class T>
inline double TrilinearCorners(const T* const p[8], int c, double fx, double fy, double fz) {
    const double gx = 1.0 - fx;
    const double gy = 1.0 - fy;
    const double gz = 1.0 - fz;
    const double a00 = p[0][c] * gx + p[1][c] * fx;
    const double a10 = p[2][c] * gx + p[3][c] * fx;
    const double a01 = p[4][c] * gx + p[5][c] * fx;
    const double a11 = p[6][c] * gx + p[7][c] * fx;
    const double b0 = a00 * gy + a10 * fy;
    const double b1 = a01 * gy + a11 * fy;
    return b0 * gz + b1 * fz;
}

inline float* CVolume::GradientTrilinear(float x, float y, float z, float* pOut) const {
    int nx, ny, nz;
    double fx, fy, fz;
    if (!CellOf(x, nx, fx) || !CellOf(y, ny, fy) || !CellOf(z, nz, fz)) {
        pOut[0] = pOut[1] = pOut[2] = 0.0f;
        return pOut;
    }
    if (!HasGradients()) {
        pOut[0] = pOut[1] = pOut[2] = 0.0f;
        return pOut;
    }
    WithDifferences([&](const auto* pDifferences) {
        // A corner outside the grid contributes a zero gradient.
        using T = std::remove_cvref_t<decltype(*pDifferences)>;
        static constexpr T ZERO[3] = {0, 0, 0};
        auto corner = [&](int i, int j, int k) -> const T* {
            if (static_cast<unsigned>(i) >= static_cast<unsigned>(m_nDimX) ||
                static_cast<unsigned>(j) >= static_cast<unsigned>(m_nDimY) ||
                static_cast<unsigned>(k) >= static_cast<unsigned>(m_nDimZ))
                return ZERO;
            return pDifferences + 3 * (i + j * static_cast<ptrdiff_t>(m_nStrideY) +
                                       k * static_cast<ptrdiff_t>(m_nStrideZ));
        };
        const T* const corners[8] = {
            corner(nx, ny, nz),         corner(nx + 1, ny, nz),         corner(nx, ny + 1, nz),
            corner(nx + 1, ny + 1, nz), corner(nx, ny, nz + 1),         corner(nx + 1, ny, nz + 1),
            corner(nx, ny + 1, nz + 1), corner(nx + 1, ny + 1, nz + 1),
        };
        // The differences are twice the gradients: halving the sum afterwards
        // gives exactly the sum of the halves (scaling by 2 commutes with rounding).
        for (int c = 0; c < 3; ++c)
            pOut[c] = static_cast<float>(TrilinearCorners(corners, c, fx, fy, fz) * 0.5);
    });
    return pOut;
}

inline void CVolume::GradientAt(int32_t k, float* g) const {
    WithDifferences([&](const auto* pDifferences) {
        const auto* d = pDifferences + 3 * static_cast<ptrdiff_t>(k);
        for (int c = 0; c < 3; ++c)
            g[c] = static_cast<float>(d[c]) * 0.5f;
    });
}

inline float CVolume::GradientLength(int32_t k) const {
    float g[3];
    GradientAt(k, g);
    const double x = g[0], y = g[1], z = g[2];
    return static_cast<float>(std::sqrt(x * x + y * y + z * z));
}

inline int CVolume::SampleBilinear(float x, float y, int z) const {
    int nx, ny;
    double fx, fy;
    if (!CellOf(x, nx, fx) || !CellOf(y, ny, fy))
        return 0;
    double c00, c10, c01, c11;
    if (nx >= 0 && ny >= 0 && nx + 1 < m_nDimX && ny + 1 < m_nDimY &&
        static_cast<unsigned>(z) < static_cast<unsigned>(m_nDimZ)) {
        const int16_t* p = m_pVoxels + (nx + ny * m_nStrideY + z * m_nStrideZ);
        c00 = p[0];
        c10 = p[1];
        c01 = p[m_nStrideY];
        c11 = p[m_nStrideY + 1];
    } else {
        c00 = VoxelAt(nx, ny, z);
        c10 = VoxelAt(nx + 1, ny, z);
        c01 = VoxelAt(nx, ny + 1, z);
        c11 = VoxelAt(nx + 1, ny + 1, z);
    }
    const double gx = 1.0 - fx;
    const double a0 = c00 * gx + c10 * fx;
    const double a1 = c01 * gx + c11 * fx;
    return static_cast<int>(a1 * fy + a0 * (1.0 - fy));
}
