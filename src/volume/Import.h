// Opening volume files of every kind as a dataset: the RAW dataset (*.dat),
// NIfTI, NRRD, MetaImage, a DICOM series (from any of its files or its folder)
// and bare RAW files whose layout the user gives.
//
// Voxel (i, j, k) as the file stores it becomes (x, y, z); a DICOM series has
// x = column, y = row and z = its slices sorted along the slice normal by their
// Image Position (Patient). A scan whose header carries a direction (NIfTI
// qform or sform, NRRD space directions in an anatomical space, a MetaImage
// matrix, DICOM Image Orientation (Patient)) is then brought into the
// patient's frame LPS by axis order and flips alone (no resampling; an oblique
// scan along its nearest axes, with a notice); others keep the file's order.
// Values, after the file's own rescale: the finite values' [min, max] is
// mapped linearly onto 0..4095, rounded to nearest (not-a-number becomes 0,
// infinities the ends, constant values 0); the scan units give them back.
// A file of more than three dimensions opens its first volume, with a notice;
// several values per voxel (RGB, vectors) are refused.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "volume/Volume.h"

enum ImportStatus {
    IMPORT_OK = 0,
    IMPORT_NOT_RECOGNISED, // no reader recognises the file (a bare RAW file, or no volume)
    IMPORT_FAILED,         // recognised (or not readable at all), but it cannot be opened
    IMPORT_CANCELLED,      // the caller stopped it (ImportProgress::pCancel); nothing to report
};

// Voxel types of bare RAW files (and of the sources of the other kinds).
enum class VoxelType { UInt8, Int8, UInt16, Int16, UInt32, Int32, UInt64, Int64, Float32, Float64 };

// The layout of a bare RAW file: a header of nHeaderBytes that is skipped, then
// exactly nDimX * nDimY * nDimZ values of the type, x fastest. The file's size
// must be exactly header + count * value size.
struct RawParameters {
    int nDimX = 0;
    int nDimY = 0;
    int nDimZ = 0;
    VoxelType eType = VoxelType::UInt16;
    bool bBigEndian = false;
    long long nHeaderBytes = 0;
    double dSpacing[3] = {1.0, 1.0, 1.0};
};

struct ImportResult {
    ImportStatus eStatus = IMPORT_FAILED;
    std::unique_ptr<CVolume> pVolume; // the new dataset when eStatus is IMPORT_OK
    std::string sError;               // one line that names the file, when not IMPORT_OK
    std::string sReason;              // the reason alone (sError without the file's name)
    std::vector<std::string> notices; // one line each, what the user should know
};

// How a running import reports how far it has come and how it is stopped. Both
// callbacks run on the importing thread.
struct ImportProgress {
    // The fraction done, 0..1, rising (the reading, then the dataset's buffers).
    std::function<void(double)> progress;
    // Once the new voxels are complete, just before the dataset's derived
    // buffers are made (the moment the most memory is wanted): the caller may
    // free what it can of the dataset that the new one replaces. False stops
    // the import.
    std::function<bool()> beforeDerived;
    // Set (from any thread) to stop the import: a reading child is killed, the
    // steps after it stop at their next check, and the status is IMPORT_CANCELLED.
    const std::atomic<bool>* pCancel = nullptr;
    bool Cancelled() const { return pCancel && pCancel->load(); }
};

// Opens a file or folder. A `.dat` file is read as a RAW dataset exactly as
// CVolume reads it (with its own diagnostic lines and no others). Every other
// import writes one diagnostic line that describes the dataset and how its
// values were taken, one per notice, or the reason of its failure.
// With progress, it reports to it and can be stopped through it.
ImportResult ImportVolume(const std::string& sPath, const ImportProgress* pProgress = nullptr);
// Opens a bare RAW file with the given layout (whatever its name).
ImportResult ImportRawVolume(const std::string& sPath, const RawParameters& raw,
                             const ImportProgress* pProgress = nullptr);

// A layout that explains a file of this many bytes exactly, for a form to start
// from: a cube of 16-bit, 8-bit or 32-bit float values, else square slices of
// 512, 256, 1024, 128 or 64 voxels of 16-bit or 8-bit values (no header,
// little-endian). False when none fits.
bool GuessRawParameters(long long nFileBytes, RawParameters& guess);

// A bare RAW layout as a person writes it: "XxYxZ" with each side 1..32767,
// "X,Y,Z" with three positive finite numbers, and a header of 0..2147483647
// bytes, all in plain decimal without blanks. False (nothing changed) otherwise.
bool ParseRawSize(const std::string& sText, RawParameters& raw);
bool ParseRawSpacing(const std::string& sText, double* pSpacing);
bool ParseRawHeader(const std::string& sText, long long& nBytes);

// The names of the bare RAW types ("uint8", "int8", "uint16", "int16", "uint32",
// "int32", "float32", "float64") and their sizes in bytes.
bool ParseVoxelType(const std::string& sName, VoxelType& eType);
const char* VoxelTypeName(VoxelType eType);
int VoxelTypeSize(VoxelType eType);

// (How the dataset's values were taken, DescribeValues, is in volume/Volume.h.)

// The kinds of volume file with their file name patterns, for file choosers.
struct VolumeFileKind {
    const char* pName;     // "NIfTI"
    const char* pPatterns; // "*.nii;*.nii.gz;*.hdr;*.img"
};
const std::vector<VolumeFileKind>& VolumeFileKinds();
