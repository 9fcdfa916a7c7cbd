// Sample data: a 3D Shepp-Logan head phantom, the transfer function made for it,
// a synthetic test volume for the benchmark, and the RAW dataset writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CTransferFunction;

constexpr int PHANTOM_DIM_X = 256;
constexpr int PHANTOM_DIM_Y = 256;
constexpr int PHANTOM_DIM_Z = 113;

// Voxel values of the phantom's tissues. The skull is not the brightest tissue:
// the inner ellipsoids lie above it, so that the ramps across the skull's faces
// never pass through their values (no specks of their colours on the skull) and
// their faces towards the brain have steep gradients (Levoy opacity grows with
// the gradient).
constexpr int PHANTOM_AIR = 0;
constexpr int PHANTOM_SKULL = 2400;
constexpr int PHANTOM_BRAIN = 400;
constexpr int PHANTOM_VENTRICLE = 2800;
constexpr int PHANTOM_UPPER_BLOB = 3600;
constexpr int PHANTOM_SMALL_BLOBS = 3200;
constexpr int PHANTOM_LOWER_BLOBS = 4000;

// The ten ellipsoids of the 3D Shepp-Logan head phantom, each axis of the grid
// spanning -1..1, voxel (x, y, z) at index x + dimX * (y + dimY * z). A voxel
// takes the values of the ellipsoids that hold its centre: sharp faces, so that
// nearest-neighbour sampling sees only the tissue values (Levoy opacity grows
// with the gradient, which a sharp face concentrates on these voxels).
std::vector<int16_t> MakeHeadPhantom(int nDimX, int nDimY, int nDimZ);

// A dim^3 volume of overlapping smooth waves inside a ball, values 0..4000,
// for timing the renderer on data with structure everywhere.
std::vector<int16_t> MakeWaveVolume(int nDim);

// Writes a RAW dataset (three little-endian int16 dimensions, then the voxels).
// False when the file cannot be created or written.
bool WriteRawDataset(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
                     const std::vector<int16_t>& voxels);

// Replaces the points of tf by the sample transfer function of the phantom: black
// transparent air, a translucent ivory skull, a transparent pink brain, and opaque
// blue, green, yellow and red inner ellipsoids. Every value from 1 up to the
// skull is bright (ivory, pink near the brain's value), so First Hit with its
// default thresholds shows a bright skull. The table is not rebuilt.
void SetPhantomTransferFunction(CTransferFunction& tf);
