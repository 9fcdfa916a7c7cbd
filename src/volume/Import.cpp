#include "volume/Import.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <numbers>
#include <sys/types.h>
#include <type_traits>
#include <fcntl.h>
#include <functional>
#include <vector>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Sync.h"
#include "volume/ImportSteps.h"
#include "volume/Slabs.h"
#include "volume/Volume.h"

namespace {

constexpr int MAX_VALUE = HISTOGRAM_BINS - 1;

struct TypeInfo {
    VoxelType eType;
    const char* pName;
    int nSize;
};
const TypeInfo kTypes[] = {
    {VoxelType::UInt8, "uint8", 1},     {VoxelType::Int8, "int8", 1},
    {VoxelType::UInt16, "uint16", 2},   {VoxelType::Int16, "int16", 2},
    {VoxelType::UInt32, "uint32", 4},   {VoxelType::Int32, "int32", 4},
    {VoxelType::UInt64, "uint64", 8},   {VoxelType::Int64, "int64", 8},
    {VoxelType::Float32, "float32", 4}, {VoxelType::Float64, "float64", 8},
};

std::string Number(double d) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%g", d);
    return sz;
}

// The conversion runs on every core, in slabs of whole rows of at least this
// many values (one slab for fewer).
constexpr size_t SLAB_VALUES = size_t(1) << 16;

// The finite values' range, and whether they are all whole numbers.
struct ValueRange {
    double dMin = std::numeric_limits<double>::infinity();
    double dMax = -std::numeric_limits<double>::infinity();
    bool bWhole = true;
    // The range of these values followed by those of next: the same as one
    // pass over both (ties keep the first, so that even the sign of a zero
    // does not depend on where the slabs end).
    void Add(const ValueRange& next) {
        dMin = std::min(dMin, next.dMin);
        dMax = std::max(dMax, next.dMax);
        bWhole = bWhole && next.bWhole;
    }
};

template <class T> ValueRange RangeOf(const T* p, size_t n) {
    ValueRange range;
    for (size_t i = 0; i < n; ++i) {
        const double v = static_cast<double>(p[i]);
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(v))
                continue;
            range.bWhole = range.bWhole && v == std::floor(v);
        }
        range.dMin = std::min(range.dMin, v);
        range.dMax = std::max(range.dMax, v);
    }
    return range;
}

// One value by the value rule, with dRange = dMax - dMin.
template <class T> int16_t TakeValue(T value, double dMin, double dMax, double dRange) {
    const double v = static_cast<double>(value);
    long nValue = 0;
    if (v >= dMax)
        nValue = dRange > 0.0 ? MAX_VALUE : 0;
    else if (v > dMin) // (not-a-number is neither)
        nValue = std::lround((v - dMin) * MAX_VALUE / dRange);
    return static_cast<int16_t>(std::clamp(nValue, 0L, static_cast<long>(MAX_VALUE)));
}

// Where the voxels of the file's order go in the dataset's: file voxel
// (i, j, k) to nStart + i * nStep[0] + j * nStep[1] + k * nStep[2].
struct Placement {
    long long nStart = 0;
    long long nStep[3] = {0, 0, 0};
};

// The value rule for the values of type T in the file's order (nDim per file
// axis): the finite values' [min, max] mapped linearly onto 0..4095, rounded to
// nearest (not-a-number becomes 0, infinities the ends, constant values 0),
// written to pOut as placed; and the scan units that give the file's values
// back. Values of 8 and 16 bits go through a table of every value the type
// has, made by the same rule.
template <class T>
void TakeValues(const T* p, const int* nDim, const Placement& place, int16_t* pOut,
                VolumeSource& source) {
    const size_t nX = static_cast<size_t>(nDim[0]), nY = static_cast<size_t>(nDim[1]);
    const int nRows = nDim[1] * nDim[2];
    const int nRowsPerSlab = static_cast<int>(std::max<size_t>(1, SLAB_VALUES / nX));
    std::vector<ValueRange> ranges(static_cast<size_t>(MaxSlabs()));
    ForEachSlab(nRows, nRowsPerSlab, [&](int nSlab, int nFirst, int nEnd) {
        ranges[static_cast<size_t>(nSlab)] =
            RangeOf(p + static_cast<size_t>(nFirst) * nX, static_cast<size_t>(nEnd - nFirst) * nX);
    });
    ValueRange range;
    for (const ValueRange& slab : ranges)
        range.Add(slab);
    double dMin = range.dMin, dMax = range.dMax;
    if (!(dMin <= dMax))
        dMin = dMax = 0.0;
    const double dRange = dMax - dMin;
    source.dMin = dMin;
    source.dMax = dMax;
    source.dScanOffset = dMin;
    source.dScanScale = dRange > 0.0 ? dRange / MAX_VALUE : 1.0;
    source.bWholeScanValues = range.bWhole;
    source.bValuesMapped = dMin != 0.0 || source.dScanScale != 1.0 || !range.bWhole;

    constexpr bool bTable = std::is_integral_v<T> && sizeof(T) <= 2;
    using Index = std::make_unsigned_t<std::conditional_t<bTable, T, uint8_t>>;
    std::vector<int16_t> table(bTable ? size_t{1} << (8 * sizeof(T)) : 0);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = TakeValue(static_cast<T>(i), dMin, dMax, dRange);
    ForEachSlab(nRows, nRowsPerSlab, [&](int, int nFirst, int nEnd) {
        const long long nStep = place.nStep[0];
        for (size_t r = static_cast<size_t>(nFirst); r < static_cast<size_t>(nEnd); ++r) {
            const T* pIn = p + r * nX;
            int16_t* pRow = pOut + place.nStart + static_cast<long long>(r % nY) * place.nStep[1] +
                            static_cast<long long>(r / nY) * place.nStep[2];
            for (size_t i = 0; i < nX; ++i) {
                if constexpr (bTable)
                    pRow[static_cast<long long>(i) * nStep] = table[static_cast<Index>(pIn[i])];
                else
                    pRow[static_cast<long long>(i) * nStep] = TakeValue(pIn[i], dMin, dMax, dRange);
            }
        }
    });
}

// How the voxels of a file with a direction come into the patient's frame:
// file axis i runs along axis nAxis[i] of the frame, reversed when bFlip[i].
struct AxisMap {
    int nAxis[3] = {0, 1, 2};
    bool bFlip[3] = {false, false, false};
    double dOblique = 0.0; // the largest angle (degrees) of a file axis to its frame axis
};

// The axis order nearest to the direction: for each file axis the frame axis
// it is closest to, or where two would share one, the order that keeps the
// most of all three. False for a direction that cannot be used (an axis of no
// length or not made of numbers, or the three nearly in one plane).
bool NearestAxes(const double (&d)[3][3], AxisMap& map) {
    double unit[3][3];
    for (int i = 0; i < 3; ++i) {
        const double dLength = std::sqrt(d[i][0] * d[i][0] + d[i][1] * d[i][1] + d[i][2] * d[i][2]);
        if (!(dLength > 0.0 && std::isfinite(dLength)))
            return false;
        for (int j = 0; j < 3; ++j)
            unit[i][j] = d[i][j] / dLength;
    }
    const double dVolume = unit[0][0] * (unit[1][1] * unit[2][2] - unit[1][2] * unit[2][1]) -
                           unit[0][1] * (unit[1][0] * unit[2][2] - unit[1][2] * unit[2][0]) +
                           unit[0][2] * (unit[1][0] * unit[2][1] - unit[1][1] * unit[2][0]);
    if (!(std::abs(dVolume) > 0.5))
        return false;
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                          {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    double dBest = -1.0;
    for (const auto& order : kOrders) {
        double dKept = 0.0;
        for (int i = 0; i < 3; ++i)
            dKept += std::abs(unit[i][order[i]]);
        if (dKept > dBest) {
            dBest = dKept;
            std::copy(order, order + 3, map.nAxis);
        }
    }
    for (int i = 0; i < 3; ++i) {
        const double c = unit[i][map.nAxis[i]];
        map.bFlip[i] = c < 0.0;
        map.dOblique = std::max(map.dOblique,
                                std::acos(std::min(1.0, std::abs(c))) * 180.0 / std::numbers::pi);
    }
    return true;
}

// Where the voxels of the file's order (nDim per file axis) go: in the
// frame's order for a map (nDim and dSpacing become the frame's), otherwise as
// they are.
Placement PlaceVoxels(int* nDim, double* dSpacing, const AxisMap* pMap) {
    Placement place;
    const AxisMap identity;
    const AxisMap& map = pMap ? *pMap : identity;
    int nNew[3];
    double dNew[3];
    for (int i = 0; i < 3; ++i) {
        nNew[map.nAxis[i]] = nDim[i];
        dNew[map.nAxis[i]] = dSpacing[i];
    }
    const long long nStride[3] = {1, nNew[0], static_cast<long long>(nNew[0]) * nNew[1]};
    for (int i = 0; i < 3; ++i) {
        place.nStep[i] = map.bFlip[i] ? -nStride[map.nAxis[i]] : nStride[map.nAxis[i]];
        place.nStart += map.bFlip[i] ? (nDim[i] - 1) * nStride[map.nAxis[i]] : 0;
    }
    std::copy(nNew, nNew + 3, nDim);
    std::copy(dNew, dNew + 3, dSpacing);
    return place;
}

// Plain decimal digits (no sign, no blanks) for a number 0..nMax.
bool ParseDigits(const std::string& sText, long long nMax, long long& nValue) {
    if (sText.empty() || sText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long n = 0;
    const auto [pEnd, error] = std::from_chars(sText.data(), sText.data() + sText.size(), n);
    if (error != std::errc() || pEnd != sText.data() + sText.size() || n > nMax)
        return false;
    nValue = n;
    return true;
}

bool HasExtension(const std::string& sPath, const char* pExtension) {
    std::string sExt = std::filesystem::path(sPath).extension().string();
    std::transform(sExt.begin(), sExt.end(), sExt.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return sExt == pExtension;
}

} // namespace

void SwapBytes(uint8_t* p, size_t n, int nSize) {
    for (size_t i = 0; i < n; ++i, p += nSize)
        std::reverse(p, p + nSize);
}

ImportResult FailImport(const std::string& sPath, ImportStatus eStatus,
                        const std::string& sReason) {
    ImportResult result;
    result.eStatus = eStatus;
    result.sError = "cannot read dataset '" + sPath + "': " + sReason;
    result.sReason = sReason;
    if (!InReadingChild())
        DebugOutput((result.sError + "\n").c_str());
    return result;
}

bool CheckDimensions(long long nDimX, long long nDimY, long long nDimZ, std::string& sReason) {
    const std::string sSize =
        std::to_string(nDimX) + " x " + std::to_string(nDimY) + " x " + std::to_string(nDimZ);
    if (nDimX < 1 || nDimY < 1 || nDimZ < 1 || nDimX > INT16_MAX || nDimY > INT16_MAX ||
        nDimZ > INT16_MAX) {
        sReason = sSize + " voxels: each dimension must be 1 to 32767";
        return false;
    }
    if (nDimX * nDimY * nDimZ > INT32_MAX) {
        sReason = sSize + " voxels are more than 2147483647";
        return false;
    }
    return true;
}

bool CheckMemory(long long nVoxels, long long nReadBytes, std::string& sReason) {
    // What is resident at the peak, per voxel: while the values are taken, the
    // source's values (nReadBytes, freed before anything else is made) and the
    // 16-bit voxels; once shown, the voxels, their gradients (three 16-bit
    // differences) and the renderer's shading cache, which takes pages only
    // where rays meet opaque values (an 8-byte entry per voxel at worst).
    const double dTaking = 2.0 * static_cast<double>(nVoxels) + static_cast<double>(nReadBytes);
    const double dShown = (2.0 + 6.0 + 8.0) * static_cast<double>(nVoxels);
    const double dNeed = std::max(dTaking, dShown);
    const double dHas =
        static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
    if (dNeed <= dHas)
        return true;
    char sz[96];
    std::snprintf(sz, sizeof(sz), "showing it needs %.1f GiB of memory; the machine has %.1f GiB",
                  dNeed / (1 << 30), dHas / (1 << 30));
    sReason = sz;
    return false;
}

std::unique_ptr<uint8_t[]> AllocateBytes(size_t nBytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[std::max<size_t>(nBytes, 1)]);
}

ImportResult FinishImport(const std::string& sPath, SourceVolume& source) {
    if (InReadingChild())
        return DeliverSource(sPath, source);
    const size_t n = static_cast<size_t>(source.nDim[0]) * source.nDim[1] * source.nDim[2];
    AxisMap map;
    const bool bOriented = source.bDirection && NearestAxes(source.dDirection, map);
    if (source.bDirection && !bOriented) {
        source.notices.push_back("'" + sPath +
                                 "': its orientation cannot be used; it is shown in the order "
                                 "the file stores it");
    }
    // The voxels go straight into the dataset's buffer, in the frame's order.
    const int nFileDim[3] = {source.nDim[0], source.nDim[1], source.nDim[2]};
    const Placement place = PlaceVoxels(source.nDim, source.dSpacing, bOriented ? &map : nullptr);
    VoxelBuffer pVoxels = AllocateVoxels(n);
    if (!pVoxels)
        return FailImport(sPath, IMPORT_FAILED, "not enough memory for its voxels");
    VolumeSource info;
    WithValues(source.eType, source.pData.get(),
               [&](const auto* p) { TakeValues(p, nFileDim, place, pVoxels.get(), info); });
    source.pData.reset();
    if (ImportCancelled())
        return {};
    ReportImportProgress(PROGRESS_VALUES);
    info.bOriented = bOriented;
    if (bOriented && map.dOblique > 1.0) {
        char sz[48];
        std::snprintf(sz, sizeof(sz), "%.1f\u00b0", map.dOblique);
        source.notices.push_back("'" + sPath + "': the scan is oblique (up to " + sz +
                                 " from its axes); it is shown along its nearest axes");
    }

    auto pVolume = std::make_unique<CVolume>();
    if (pVolume->AdoptVoxels(source.nDim[0], source.nDim[1], source.nDim[2], std::move(pVoxels)) !=
        0)
        return FailImport(sPath, IMPORT_FAILED, "not enough memory for the dataset");
    const double* s = source.dSpacing;
    const bool bUsable = std::isfinite(s[0] + s[1] + s[2]) && s[0] > 0.0 && s[1] > 0.0 &&
                         s[2] > 0.0 &&
                         std::max({s[0], s[1], s[2]}) <= 100.0 * std::min({s[0], s[1], s[2]});
    if (bUsable) {
        std::copy(s, s + 3, pVolume->m_dSpacing);
    } else {
        source.notices.push_back("'" + sPath + "': the voxel spacing " + Number(s[0]) + " x " +
                                 Number(s[1]) + " x " + Number(s[2]) +
                                 " cannot be shown; cubic voxels are used");
    }
    info.sName =
        source.sName.empty() ? std::filesystem::path(sPath).filename().string() : source.sName;
    info.sKind = source.sKind;
    pVolume->m_Source = info;

    const double* d = pVolume->m_dSpacing;
    const std::string sLine =
        "Dataset '" + info.sName + "' (" + info.sKind + "): " + std::to_string(source.nDim[0]) +
        " x " + std::to_string(source.nDim[1]) + " x " + std::to_string(source.nDim[2]) +
        " voxels of " + Number(d[0]) + " x " + Number(d[1]) + " x " + Number(d[2]) + "; " +
        DescribeValues(*pVolume) + "\n";
    DebugOutput(sLine.c_str());
    ImportResult result;
    for (const std::string& sNotice : source.notices)
        DebugOutput((sNotice + "\n").c_str());
    result.notices = std::move(source.notices);
    result.eStatus = IMPORT_OK;
    result.pVolume = std::move(pVolume);
    return result;
}

namespace {

// ---- pipes ----
// The own readers (.dat and bare RAW) also read from a pipe that a program
// writes to: what arrives within the time limit is kept in memory and read
// as a file. Nothing waits for a writer that is not there.

constexpr int PIPE_SECONDS = 30;

// A file in memory that the readers open by its name.
struct CMemoryFile {
    CMemoryFile() : nFd(memfd_create("orvex-pipe", MFD_CLOEXEC)) {}
    ~CMemoryFile() {
        if (nFd >= 0)
            close(nFd);
    }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;
    std::string Path() const { return "/proc/self/fd/" + std::to_string(nFd); }
    int nFd;
};

// Copies what the pipe at nFd (opened without blocking) delivers into file,
// until the writer closes it or nWanted(first bytes) bytes are in. An empty
// reason when that came to pass within the time limit.
std::string Spool(int nFd, const CMemoryFile& file,
                  const std::function<long long(const std::string&)>& nWanted) {
    const uint32_t nStart = TimeGetTime();
    std::string sHead; // the first bytes, for nWanted
    long long nHave = 0;
    char buffer[65536];
    for (;;) {
        const long long nAll = nWanted(sHead);
        const long long nMore = nAll - nHave;
        if (nMore <= 0)
            return "";
        if (ImportCancelled())
            return "stopped";
        ReportImportProgress(PROGRESS_READ * static_cast<double>(nHave) /
                             static_cast<double>(nAll));
        const ssize_t n = read(nFd, buffer, static_cast<size_t>(std::min<long long>(nMore, 65536)));
        if (n == 0)
            return nHave == 0 ? "it is a pipe that no program writes to" : "";
        if (n > 0) {
            sHead.append(buffer, static_cast<size_t>(std::min<ssize_t>(n, 64)));
            sHead.resize(std::min<size_t>(sHead.size(), 64));
            nHave += n;
            if (file.nFd < 0 || write(file.nFd, buffer, static_cast<size_t>(n)) != n)
                return "not enough memory for what the pipe delivers";
            continue;
        }
        if (errno != EAGAIN && errno != EINTR)
            return std::string("the pipe cannot be read (") + std::strerror(errno) + ")";
        const int nLeft = PIPE_SECONDS * 1000 - static_cast<int>(TimeGetTime() - nStart);
        pollfd ready{nFd, POLLIN, 0};
        if (nLeft <= 0)
            return "the pipe delivered only " + std::to_string(nHave) + " bytes within " +
                   std::to_string(PIPE_SECONDS) + " s";
        // In slices, so that a stop is seen soon.
        poll(&ready, 1, std::min(nLeft, 100));
    }
}

// What the own readers read at sPath: the file itself, or a file in memory
// with what its pipe delivered (nWanted as for Spool). False with the reason
// for anything else (a device, a socket).
bool OpenOwn(const std::string& sPath, CMemoryFile& memory, std::string& sReadPath,
             const std::function<long long(const std::string&)>& nWanted, std::string& sReason) {
    sReadPath = sPath;
    struct stat info {};
    if (stat(sPath.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return true; // its reader says what is wrong
    if (!S_ISFIFO(info.st_mode)) {
        sReason = "it is not a regular file or a pipe (a device or socket)";
        return false;
    }
    const int nFd = open(sPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        sReason = "cannot be opened";
        return false;
    }
    sReason = Spool(nFd, memory, nWanted);
    close(nFd);
    sReadPath = memory.Path();
    return sReason.empty();
}

ImportResult ImportFileOrFolder(const std::string& sPath) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(sPath, error);
    if (std::filesystem::is_directory(status))
        return ReadInChild(sPath, [&] { return ImportDicomFolder(sPath); });
    if (HasExtension(sPath, ".dat")) {
        // The RAW dataset, exactly as the viewer has always read it; from a
        // pipe as far as its header announces.
        CMemoryFile memory;
        std::string sReadPath, sReason;
        auto wanted = [](const std::string& sHead) {
            if (sHead.size() < 6)
                return 6LL;
            int16_t d[3];
            std::memcpy(d, sHead.data(), 6);
            return d[0] < 1 || d[1] < 1 || d[2] < 1 ? 6LL : 6 + 2LL * d[0] * d[1] * d[2];
        };
        if (!OpenOwn(sPath, memory, sReadPath, wanted, sReason))
            return ImportCancelled() ? ImportResult() : FailImport(sPath, IMPORT_FAILED, sReason);
        ImportResult result;
        result.pVolume = std::make_unique<CVolume>();
        if (result.pVolume->LoadRaw(sReadPath) != 0) {
            result.sReason = CVolume::LoadErrorText(result.pVolume->GetLoadError());
            result.sError = "cannot read dataset '" + sPath + "': " + result.sReason;
            result.pVolume.reset();
            return result;
        }
        result.pVolume->m_Source.sName = std::filesystem::path(sPath).filename().string();
        result.eStatus = IMPORT_OK;
        return result;
    }
    // The readers of other kinds open a file as they like: a pipe or device
    // could make them wait for ever.
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        std::FILE* pFile = std::fopen(sPath.c_str(), "rb");
        if (!pFile)
            return FailImport(sPath, IMPORT_FAILED, "cannot be opened");
        std::fclose(pFile);
        return ReadInChild(sPath, [&] { return ImportScanFile(sPath); });
    }
    return FailImport(sPath, IMPORT_FAILED,
                      "it is not a regular file (a pipe or device); NIfTI, NRRD, MetaImage and "
                      "DICOM files are read from a disk only");
}

ImportResult ImportRaw(const std::string& sPath, const RawParameters& raw) {
    std::string sReason;
    if (!CheckDimensions(raw.nDimX, raw.nDimY, raw.nDimZ, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    const size_t nCount = static_cast<size_t>(raw.nDimX) * raw.nDimY * raw.nDimZ;
    const int nSize = VoxelTypeSize(raw.eType);
    const long long nExpected =
        raw.nHeaderBytes + static_cast<long long>(nCount) * static_cast<long long>(nSize);
    // From a pipe: one byte more than the layout explains shows a size that does not fit.
    CMemoryFile memory;
    std::string sReadPath;
    if (!OpenOwn(
            sPath, memory, sReadPath, [&](const std::string&) { return nExpected + 1; }, sReason))
        return ImportCancelled() ? ImportResult() : FailImport(sPath, IMPORT_FAILED, sReason);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(sReadPath.c_str(), "rb"),
                                                         &std::fclose);
    std::error_code error;
    const auto nFileBytes = std::filesystem::file_size(sReadPath, error);
    if (!file || error)
        return FailImport(sPath, IMPORT_FAILED, "cannot be opened");
    if (raw.nHeaderBytes < 0 || static_cast<long long>(nFileBytes) != nExpected) {
        return FailImport(sPath, IMPORT_FAILED,
                          "the file has " + std::to_string(nFileBytes) + " bytes, but " +
                              std::to_string(raw.nHeaderBytes) + " header bytes and " +
                              std::to_string(raw.nDimX) + " x " + std::to_string(raw.nDimY) +
                              " x " + std::to_string(raw.nDimZ) + " " + VoxelTypeName(raw.eType) +
                              " values make " + std::to_string(nExpected));
    }
    SourceVolume source;
    source.pData = AllocateSource(nCount * nSize);
    if (!source.pData)
        return FailImport(sPath, IMPORT_FAILED, "not enough memory for its voxels");
    if (fseeko(file.get(), static_cast<off_t>(raw.nHeaderBytes), SEEK_SET) != 0 ||
        std::fread(source.pData.get(), static_cast<size_t>(nSize), nCount, file.get()) != nCount)
        return FailImport(sPath, IMPORT_FAILED, "its voxels cannot be read");
    if (nSize > 1 && raw.bBigEndian != (std::endian::native == std::endian::big))
        SwapBytes(source.pData.get(), nCount, nSize);
    source.nDim[0] = raw.nDimX;
    source.nDim[1] = raw.nDimY;
    source.nDim[2] = raw.nDimZ;
    source.eType = raw.eType;
    std::copy(raw.dSpacing, raw.dSpacing + 3, source.dSpacing);
    source.sKind = "bare RAW";
    return FinishImport(sPath, source);
}

} // namespace

// Nothing is thrown past these two (memory can run out anywhere).
ImportResult ImportVolume(const std::string& sPath, const ImportProgress* pProgress) {
    const CImportProgressScope scope(pProgress);
    try {
        return scope.End(ImportFileOrFolder(sPath));
    } catch (...) {
        return scope.End(FailImport(sPath, IMPORT_FAILED, "it cannot be read"));
    }
}

ImportResult ImportRawVolume(const std::string& sPath, const RawParameters& raw,
                             const ImportProgress* pProgress) {
    const CImportProgressScope scope(pProgress);
    try {
        return scope.End(ImportRaw(sPath, raw));
    } catch (...) {
        return scope.End(FailImport(sPath, IMPORT_FAILED, "it cannot be read"));
    }
}

bool GuessRawParameters(long long nFileBytes, RawParameters& guess) {
    auto fits = [&](int nX, int nY, long long nZ, VoxelType eType) {
        if (nZ < 1 || nZ > INT16_MAX ||
            static_cast<long long>(nX) * nY * nZ * VoxelTypeSize(eType) != nFileBytes)
            return false;
        guess = RawParameters();
        guess.nDimX = nX;
        guess.nDimY = nY;
        guess.nDimZ = static_cast<int>(nZ);
        guess.eType = eType;
        return true;
    };
    if (nFileBytes < 1)
        return false;
    for (VoxelType eType : {VoxelType::UInt16, VoxelType::UInt8, VoxelType::Float32}) {
        const int n = static_cast<int>(
            std::lround(std::cbrt(static_cast<double>(nFileBytes / VoxelTypeSize(eType)))));
        if (n <= INT16_MAX && fits(n, n, n, eType))
            return true;
    }
    for (VoxelType eType : {VoxelType::UInt16, VoxelType::UInt8}) {
        for (int n : {512, 256, 1024, 128, 64}) {
            const long long nSlice = static_cast<long long>(n) * n * VoxelTypeSize(eType);
            if (fits(n, n, nFileBytes / nSlice, eType))
                return true;
        }
    }
    return false;
}

bool ParseRawSize(const std::string& sText, RawParameters& raw) {
    long long dims[3] = {};
    size_t nStart = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t nEnd = i < 2 ? sText.find_first_of("xX", nStart) : sText.size();
        if (nEnd == std::string::npos ||
            !ParseDigits(sText.substr(nStart, nEnd - nStart), INT16_MAX, dims[i]) || dims[i] < 1)
            return false;
        nStart = nEnd + 1;
    }
    raw.nDimX = static_cast<int>(dims[0]);
    raw.nDimY = static_cast<int>(dims[1]);
    raw.nDimZ = static_cast<int>(dims[2]);
    return true;
}

bool ParseRawSpacing(const std::string& sText, double* pSpacing) {
    double spacing[3] = {};
    const char* p = sText.c_str();
    for (int i = 0; i < 3; ++i) {
        if (*p == '\0' || std::isspace(static_cast<unsigned char>(*p)))
            return false;
        char* pEnd = nullptr;
        errno = 0;
        spacing[i] = std::strtod(p, &pEnd);
        if (pEnd == p || errno != 0 || !std::isfinite(spacing[i]) || !(spacing[i] > 0.0) ||
            *pEnd != (i < 2 ? ',' : '\0'))
            return false;
        p = pEnd + 1;
    }
    std::copy(spacing, spacing + 3, pSpacing);
    return true;
}

bool ParseRawHeader(const std::string& sText, long long& nBytes) {
    return ParseDigits(sText, INT32_MAX, nBytes);
}

bool ParseVoxelType(const std::string& sName, VoxelType& eType) {
    for (const TypeInfo& t : kTypes) {
        if (sName == t.pName && t.eType != VoxelType::UInt64 && t.eType != VoxelType::Int64) {
            eType = t.eType;
            return true;
        }
    }
    return false;
}

const char* VoxelTypeName(VoxelType eType) {
    for (const TypeInfo& t : kTypes)
        if (t.eType == eType)
            return t.pName;
    return "?";
}

int VoxelTypeSize(VoxelType eType) {
    for (const TypeInfo& t : kTypes)
        if (t.eType == eType)
            return t.nSize;
    return 1;
}

const std::vector<VolumeFileKind>& VolumeFileKinds() {
    static const std::vector<VolumeFileKind> kinds = {
        {"RAW dataset", "*.dat"},   {"NIfTI", "*.nii;*.nii.gz;*.hdr;*.img"},
        {"NRRD", "*.nrrd;*.nhdr"},  {"MetaImage", "*.mha;*.mhd"},
        {"DICOM", "*.dcm;*.ima;*"},
    };
    return kinds;
}
