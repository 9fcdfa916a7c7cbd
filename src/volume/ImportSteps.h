// What the readers of the import layer share: the source volume they deliver
// in its own voxel type, and the steps that turn it into a dataset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "volume/Import.h"

// The memory of a source's values: the heap, or (in a reading child) the
// shared memory that the process showing the dataset maps.
struct SourceFree {
    size_t nMapped = 0; // bytes of a shared mapping; 0: allocated with new[]
    void operator()(uint8_t* p) const;
};
using SourceBytes = std::unique_ptr<uint8_t[], SourceFree>;

// A volume as a reader delivers it: its values in their own type and the
// machine's byte order, x fastest.
struct SourceVolume {
    int nDim[3] = {1, 1, 1};
    VoxelType eType = VoxelType::UInt8;
    SourceBytes pData;
    double dSpacing[3] = {1.0, 1.0, 1.0};
    std::string sKind; // "NIfTI", ...
    std::string sName; // what the user sees as the dataset's name
    std::vector<std::string> notices;
    // Where the file's axes point in the patient's frame LPS (x toward the
    // patient's left, y posterior, z superior): dDirection[i] for file axis i.
    // Only when bDirection: the file's header carries a direction of its own
    // (not one a reader makes up for a file without).
    bool bDirection = false;
    double dDirection[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// Calls f with the values at p as a pointer to their type.
template <class F> void WithValues(VoxelType eType, const void* p, F f) {
    // In the order of VoxelType.
    using Types = std::tuple<uint8_t, int8_t, uint16_t, int16_t, uint32_t, int32_t, uint64_t,
                             int64_t, float, double>;
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((static_cast<size_t>(eType) == I ? f(static_cast<const std::tuple_element_t<I, Types>*>(p))
                                          : void()),
         ...);
    }
    (std::make_index_sequence<std::tuple_size_v<Types>>{});
}

// Reverses the bytes of each of the n values of nSize bytes.
void SwapBytes(uint8_t* p, size_t n, int nSize);

// The progress and stop of the import running on this thread (ImportVolume's
// or ImportRawVolume's argument): ReportImportProgress passes a fraction 0..1
// on (nothing without one); ImportCancelled says whether it has been stopped.
void ReportImportProgress(double dFraction);
bool ImportCancelled();
// While alive, progress is the calling thread's import's (null: none).
class CImportProgressScope {
public:
    explicit CImportProgressScope(const ImportProgress* pProgress);
    ~CImportProgressScope();
    CImportProgressScope(const CImportProgressScope&) = delete;
    CImportProgressScope& operator=(const CImportProgressScope&) = delete;
    // The import's result, or IMPORT_CANCELLED (without a message) when it was
    // stopped; a finished import reports 1.
    ImportResult End(ImportResult result) const;
};
// The shares of the whole that the import's phases end at: the reading, the
// dataset's values in their final order, and the derived buffers last.
constexpr double PROGRESS_READ = 0.6;
constexpr double PROGRESS_VALUES = 0.75;

// The import's failure: eStatus with the line "cannot read dataset 'PATH':
// REASON", which also goes to the diagnostic output.
ImportResult FailImport(const std::string& sPath, ImportStatus eStatus, const std::string& sReason);

// Whether a dataset of these dimensions can be made (each 1..32767, at most
// 2^31 - 1 voxels); otherwise sReason says why.
bool CheckDimensions(long long nDimX, long long nDimY, long long nDimZ, std::string& sReason);

// Whether the machine can give what showing nVoxels takes, besides nReadBytes
// that a reader fills first; otherwise sReason says how much is needed.
bool CheckMemory(long long nVoxels, long long nReadBytes, std::string& sReason);

// nBytes of memory, or null when there is not that much.
std::unique_ptr<uint8_t[]> AllocateBytes(size_t nBytes);
// nBytes for a source's values (in a reading child: in the shared memory that
// goes back), or null.
SourceBytes AllocateSource(size_t nBytes);

// Turns the source into the dataset (in a reading child: sends it back,
// DeliverSource): the value rule into 16-bit voxels (the source's values are
// freed before the derived buffers are made), a direction's axis order and
// flips (oblique: the nearest axes, with a notice), spacing (unusable spacing
// becomes 1, 1, 1 with a notice) and source description. Writes the dataset's
// diagnostic line and the notices.
ImportResult FinishImport(const std::string& sPath, SourceVolume& source);

// The readers built on ITK: a file that NIfTI, NRRD, MetaImage or DICOM reading
// recognises (IMPORT_NOT_RECOGNISED when none does; a DICOM file opens its whole
// series), and a folder that holds a DICOM series.
ImportResult ImportScanFile(const std::string& sPath);
ImportResult ImportDicomFolder(const std::string& sPath);

// ---- the third-party readers in a child process (ImportChild.cpp) ----

// Runs read() in a child process with limits on processor time and address
// space, and a time limit on the clock: the dataset made here from the values
// the child delivered (FinishImport), the child's failure, or one line that
// says how the child ended ("the NIfTI reader crashed on this file", "... did
// not finish within 30 s"). In the child, FailImport and FinishImport write no
// diagnostics; FinishImport hands the source back through DeliverSource.
ImportResult ReadInChild(const std::string& sPath, const std::function<ImportResult()>& read);
bool InReadingChild();
ImportResult DeliverSource(const std::string& sPath, SourceVolume& source);
// In a reading child (nothing otherwise): which reader is at work, and on
// which file of several, for the message should the child not come back.
// bSkippable: a file of a folder's scan, which a new child may leave out
// (SkippedFile) should this one crash on it.
void ReportReader(const char* pKind, const std::string& sFile = "", bool bSkippable = false);
bool SkippedFile(const std::string& sFile);
// In a reading child: its header has been read and its claims checked; the
// data (nBytes of values) may take the read's time and the memory it needs.
void AllowDataPhase(long long nBytes);
// In a reading child: the headers of this many files (a DICOM folder) may
// take more processor time and memory than one header.
void AllowHeaders(size_t nFiles);
