// One scalar volume read from a RAW dataset file (*.dat): signed 16-bit voxels,
// x fastest, with per-voxel gradients, their lengths, a 4096-bin histogram and
// the shading cache that the Levoy ray caster fills.
#pragma once

#include <cstdint>
#include <string>

constexpr int HISTOGRAM_BINS = 4096;

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
    virtual ~CVolume();
    CVolume(const CVolume&) = delete;
    CVolume& operator=(const CVolume&) = delete;

    // 0 on success, -1 on failure (one diagnostic line names the reason; nothing
    // stays allocated and the dataset stays empty).
    int LoadRaw(const std::string& sPath);
    // Allocates the eight per-voxel buffers for m_nVoxelCount voxels; 0, or -1 when
    // the memory cannot be had (then nothing stays allocated).
    int AllocateBuffers();
    void FreeBuffers();
    int FindHistogramPeak();

    // Stored value, or 0 outside the grid.
    int16_t VoxelAt(int x, int y, int z) const;
    // Trilinear value (corners outside the grid count as 0), unrounded.
    double SampleTrilinear(float x, float y, float z) const;
    // Trilinear gradient into pOut[3], which is also returned. Caller guarantees
    // that the cell and its +1 neighbours lie inside the grid.
    float* GradientTrilinear(float x, float y, float z, float* pOut) const;
    // Bilinear in x and y within slice z, truncated toward zero.
    int SampleBilinear(float x, float y, int z) const;

    RawLoadError GetLoadError() const { return m_eLoadError; }
    // A short English text for the load error ("cannot be opened", ...).
    static const char* LoadErrorText(RawLoadError eError);

    float* m_pGradient = nullptr;          // 3 floats per voxel
    float* m_pGradientMagnitude = nullptr; // 1 float per voxel
    uint8_t* m_pShadeR = nullptr;          // shading cache, 0..255
    uint8_t* m_pShadeG = nullptr;
    uint8_t* m_pShadeB = nullptr;
    float* m_pShadeAlpha = nullptr;
    uint8_t* m_pShadeValid = nullptr; // 1 once an entry is filled in this run
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

private:
    RawLoadError m_eLoadError = RAW_OK;
};
