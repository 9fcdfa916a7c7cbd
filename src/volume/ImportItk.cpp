// The readers of the import layer that ITK provides: NIfTI, NRRD, MetaImage
// and DICOM (through GDCM). Nothing of ITK leaves this file: every exception is
// caught here and becomes a one-line reason.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <mutex>
#include <sstream>
#include <zlib.h>

#include <gdcmReader.h>
#include <gdcmTrace.h>
#include <itkGDCMImageIO.h>
#include <itkGDCMSeriesFileNames.h>
#include <itkMetaDataObject.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>

#include "volume/ImportSteps.h"
#include "volume/Volume.h"

namespace {

namespace fs = std::filesystem;

// The libraries' own warnings and errors would go to stderr; the import says
// what went wrong itself.
void QuietLibraries() {
    static std::once_flag s_Once;
    std::call_once(s_Once, [] {
        itk::Object::GlobalWarningDisplayOff();
        gdcm::Trace::WarningOff();
        gdcm::Trace::ErrorOff();
        gdcm::Trace::DebugOff();
    });
}

// While alive, what the libraries write to std::cerr themselves (MetaIO does)
// is dropped.
class CQuietCerr {
public:
    CQuietCerr() : m_pOld(std::cerr.rdbuf(m_Sink.rdbuf())) {}
    ~CQuietCerr() { std::cerr.rdbuf(m_pOld); }
    CQuietCerr(const CQuietCerr&) = delete;
    CQuietCerr& operator=(const CQuietCerr&) = delete;

private:
    std::ostringstream m_Sink;
    std::streambuf* m_pOld;
};

std::string FileName(const std::string& sPath) {
    return fs::path(sPath).filename().string();
}

// The integer type of nSize bytes; false for a size there is none of.
bool IntegerType(size_t nSize, bool bSigned, VoxelType& eType) {
    // VoxelType lists each width unsigned first, then signed.
    const VoxelType unsignedTypes[] = {VoxelType::UInt8, VoxelType::UInt16, VoxelType::UInt32,
                                       VoxelType::UInt64};
    for (int i = 0; i < 4; ++i) {
        if (nSize == size_t{1} << i) {
            eType = static_cast<VoxelType>(static_cast<int>(unsignedTypes[i]) + (bSigned ? 1 : 0));
            return true;
        }
    }
    return false;
}

bool TypeOf(const itk::ImageIOBase& io, VoxelType& eType) {
    using E = itk::IOComponentEnum;
    const size_t nSize = io.GetComponentSize();
    const E eComponent = io.GetComponentType();
    if (eComponent == E::FLOAT || eComponent == E::DOUBLE) {
        eType = eComponent == E::FLOAT ? VoxelType::Float32 : VoxelType::Float64;
        return nSize == (eComponent == E::FLOAT ? 4u : 8u);
    }
    static constexpr E kUnsigned[] = {E::UCHAR, E::USHORT, E::UINT, E::ULONG, E::ULONGLONG};
    static constexpr E kSigned[] = {E::CHAR, E::SHORT, E::INT, E::LONG, E::LONGLONG};
    if (std::find(std::begin(kUnsigned), std::end(kUnsigned), eComponent) != std::end(kUnsigned))
        return IntegerType(nSize, false, eType);
    if (std::find(std::begin(kSigned), std::end(kSigned), eComponent) != std::end(kSigned))
        return IntegerType(nSize, true, eType);
    return false;
}

// After the header has been read: one value per voxel of a type that can be
// taken, or a reason.
bool ScalarType(const itk::ImageIOBase& io, VoxelType& eType, std::string& sReason) {
    if (io.GetNumberOfComponents() != 1) {
        sReason = "it holds " + std::to_string(io.GetNumberOfComponents()) + " values per voxel (" +
                  itk::ImageIOBase::GetPixelTypeAsString(io.GetPixelType()) +
                  "); only volumes of one value per voxel can be shown";
        return false;
    }
    if (!TypeOf(io, eType)) {
        sReason = "its values are of a type that cannot be read (" +
                  itk::ImageIOBase::GetComponentTypeAsString(io.GetComponentType()) + ")";
        return false;
    }
    return true;
}

// ---- whether a file holds all its values ----
// Some readers fill what a cut-short file lacks with zeros, or leave it unread,
// without saying so.

constexpr char kCutShort[] = "its image data cannot be read (the file is damaged or cut short)";

// Whether a file, plain or gzip-compressed, holds at least nBytes (decompressed).
bool StreamHolds(const std::string& sPath, long long nBytes) {
    std::ifstream in(sPath, std::ios::binary);
    unsigned char magic[2] = {0, 0};
    in.read(reinterpret_cast<char*>(magic), 2);
    std::error_code error;
    const long long nSize = static_cast<long long>(fs::file_size(sPath, error));
    if (!in || error)
        return false;
    if (magic[0] != 0x1f || magic[1] != 0x8b)
        return nSize >= nBytes;
    // The gzip trailer's length (modulo 2^32) settles the usual case; otherwise
    // decompress up to the last byte that must be there.
    unsigned char trailer[4] = {0, 0, 0, 0};
    in.seekg(-4, std::ios::end);
    in.read(reinterpret_cast<char*>(trailer), 4);
    const uint32_t nLength =
        trailer[0] | trailer[1] << 8 | trailer[2] << 16 | static_cast<uint32_t>(trailer[3]) << 24;
    if (in && nLength == static_cast<uint32_t>(nBytes))
        return true;
    gzFile file = gzopen(sPath.c_str(), "rb");
    if (!file)
        return false;
    char c = 0;
    const bool bHolds = nBytes < 1 || (gzseek(file, static_cast<z_off_t>(nBytes - 1), SEEK_SET) ==
                                           static_cast<z_off_t>(nBytes - 1) &&
                                       gzread(file, &c, 1) == 1);
    gzclose(file);
    return bHolds;
}

// A NIfTI-1 file (or the .img of a .hdr) against the values its header announces.
bool NiftiComplete(const std::string& sPath) {
    unsigned char h[348];
    gzFile file = gzopen(sPath.c_str(), "rb");
    const bool bHeader = file && gzread(file, h, sizeof(h)) == static_cast<int>(sizeof(h));
    if (file)
        gzclose(file);
    if (!bHeader)
        return false;
    const bool bSwap = h[0] == 0 && h[3] == 0x5c && h[2] == 0x01; // 348 big-endian
    if (!bSwap && !(h[0] == 0x5c && h[1] == 0x01 && h[2] == 0 && h[3] == 0))
        return true; // not NIfTI-1: its reader judges it
    auto get = [&](int nOffset, int nSize) {
        unsigned char b[4];
        for (int i = 0; i < nSize; ++i)
            b[i] = h[nOffset + (bSwap ? nSize - 1 - i : i)];
        uint32_t u = 0;
        std::memcpy(&u, b, static_cast<size_t>(nSize));
        return u;
    };
    long long nValues = 1;
    const int nDims = std::clamp(static_cast<int16_t>(get(40, 2)), int16_t(1), int16_t(7));
    for (int i = 1; i <= nDims; ++i)
        nValues *= std::max<int16_t>(1, static_cast<int16_t>(get(40 + 2 * i, 2)));
    const uint32_t nOffsetBits = get(108, 4);
    float fOffset;
    std::memcpy(&fOffset, &nOffsetBits, 4);
    const long long nBytes = static_cast<long long>(fOffset > 0 && fOffset < 1e15f ? fOffset : 0) +
                             nValues * static_cast<int16_t>(get(72, 2)) / 8;
    if (std::memcmp(h + 344, "n+1", 4) == 0)
        return StreamHolds(sPath, nBytes);
    // A header (NIfTI or Analyze) with its values in a separate .img file.
    std::string sImage = sPath;
    const size_t nDot = sImage.rfind(".hdr");
    if (nDot == std::string::npos)
        return true;
    sImage.replace(nDot, 4, ".img");
    return StreamHolds(sImage, nBytes);
}

// A MetaImage whose compressed values are all there (the reader fills what is
// missing with whatever it had); uncompressed ones the last-byte mark checks.
bool MetaComplete(const std::string& sPath) {
    std::ifstream in(sPath, std::ios::binary);
    long long nCompressed = -1;
    std::string sLine, sData;
    while (sData.empty() && std::getline(in, sLine)) {
        const size_t nEq = sLine.find('=');
        if (nEq == std::string::npos)
            continue;
        std::string sKey = sLine.substr(0, nEq), sValue = sLine.substr(nEq + 1);
        sKey.erase(sKey.find_last_not_of(" \t") + 1);
        sValue.erase(0, sValue.find_first_not_of(" \t"));
        sValue.erase(sValue.find_last_not_of(" \t\r") + 1);
        if (sKey == "CompressedDataSize")
            nCompressed = std::atoll(sValue.c_str());
        else if (sKey == "ElementDataFile")
            sData = sValue;
    }
    if (nCompressed < 0 || sData.empty())
        return true;
    std::error_code error;
    if (sData == "LOCAL") {
        const long long nStart = in.tellg();
        return nStart >= 0 &&
               static_cast<long long>(fs::file_size(sPath, error)) - nStart >= nCompressed &&
               !error;
    }
    // A file of its own (a list or pattern of files: its reader judges them).
    const fs::path data = fs::path(sPath).parent_path() / sData;
    return !fs::is_regular_file(data, error) ||
           static_cast<long long>(fs::file_size(data, error)) >= nCompressed;
}

// A DICOM file whose Pixel Data element holds as many bytes as it announces.
bool DicomComplete(const std::string& sPath) {
    gdcm::Reader reader;
    reader.SetFileName(sPath.c_str());
    const gdcm::Tag pixelData(0x7fe0, 0x0010);
    if (!reader.ReadUpToTag(pixelData, {pixelData}))
        return false;
    // Stopped at the value; its 32-bit length stands right before it.
    const size_t nValue = reader.GetStreamCurrentPosition();
    std::error_code error;
    const size_t nSize = fs::file_size(sPath, error);
    std::ifstream in(sPath, std::ios::binary);
    unsigned char b[4] = {0, 0, 0, 0};
    if (error || nValue < 4 || nValue > nSize ||
        !in.seekg(static_cast<std::streamoff>(nValue - 4)) ||
        !in.read(reinterpret_cast<char*>(b), 4))
        return false;
    const bool bBig = reader.GetFile().GetHeader().GetDataSetTransferSyntax().GetSwapCode() ==
                      gdcm::SwapCode::BigEndian;
    const uint32_t nLength =
        bBig ? (static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3])
             : (b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
    return nLength == 0xffffffffu || nValue + nLength <= nSize; // undefined: compressed fragments
}

// Reads a file whose reader recognised it: the first volume of it when it has
// more than three dimensions. Lets go of the reader (which may keep a copy of
// the values) before the dataset is made.
ImportResult ReadImage(const std::string& sPath, itk::ImageIOBase::Pointer& pIo, const char* pKind,
                       const std::string& sName = "",
                       bool (*pComplete)(const std::string&) = nullptr) {
    itk::ImageIOBase& io = *pIo;
    SourceVolume source;
    source.sKind = pKind;
    source.sName = sName;
    std::string sReason;
    try {
        io.SetFileName(sPath);
        io.ReadImageInformation();
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED,
                          std::string("its ") + pKind + " header cannot be read");
    }
    if (!ScalarType(io, source.eType, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    const unsigned nDims = io.GetNumberOfDimensions();
    long long dims[3] = {1, 1, 1};
    long long nVolumes = 1;
    for (unsigned i = 0; i < nDims; ++i) {
        if (i < 3) {
            dims[i] = static_cast<long long>(io.GetDimensions(i));
            source.dSpacing[i] = io.GetSpacing(i);
        } else {
            nVolumes *= static_cast<long long>(io.GetDimensions(i));
        }
    }
    if (nDims < 1 || !CheckDimensions(dims[0], dims[1], dims[2], sReason))
        return FailImport(sPath, IMPORT_FAILED, nDims < 1 ? "it has no dimensions" : sReason);
    if (nVolumes > 1) {
        source.notices.push_back("'" + sPath + "' holds " + std::to_string(nVolumes) +
                                 " volumes; the first is shown");
    }
    // A reader that can read a part reads only the first volume; any other reads
    // all of them, and the first volume is the start of its values.
    itk::ImageIORegion region(nDims);
    size_t nBytes = io.GetComponentSize();
    for (unsigned i = 0; i < nDims; ++i) {
        const size_t n = i < 3 || !io.CanStreamRead() ? io.GetDimensions(i) : 1;
        region.SetIndex(i, 0);
        region.SetSize(i, n);
        nBytes *= n;
    }
    source.pData = AllocateSource(nBytes);
    if (!source.pData)
        return FailImport(sPath, IMPORT_FAILED, "not enough memory for its voxels");
    // A reader that stops early leaves the last byte as it was: when that is
    // the mark put there, and again after a read with another mark, the file
    // is short.
    uint8_t* pLast = source.pData.get() + nBytes - 1;
    auto readKeeps = [&](uint8_t nMark) {
        *pLast = nMark;
        io.SetIORegion(region);
        io.Read(source.pData.get());
        return *pLast == nMark;
    };
    try {
        if ((readKeeps(0x5b) && readKeeps(0xa4)) || (pComplete && !pComplete(sPath)))
            return FailImport(sPath, IMPORT_FAILED, kCutShort);
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED, kCutShort);
    }
    for (int i = 0; i < 3; ++i)
        source.nDim[i] = static_cast<int>(dims[i]);
    pIo = nullptr;
    return FinishImport(sPath, source);
}

// ---- DICOM ----

struct Series {
    std::string sUid;
    std::vector<std::string> files;
};

// The DICOM series in a folder (not its subfolders), each with its files.
bool FindSeries(const std::string& sFolder, std::vector<Series>& series) {
    try {
        auto names = itk::GDCMSeriesFileNames::New();
        names->SetUseSeriesDetails(false); // one series per Series Instance UID
        names->SetInputDirectory(sFolder);
        for (const std::string& sUid : names->GetSeriesUIDs())
            series.push_back({sUid, names->GetFileNames(sUid)});
        return true;
    } catch (...) {
        return false;
    }
}

std::string Tag(const itk::GDCMImageIO& io, const char* pKey) {
    std::string s;
    itk::ExposeMetaData<std::string>(io.GetMetaDataDictionary(), pKey, s);
    s.erase(
        std::find_if(s.rbegin(), s.rend(), [](unsigned char c) { return !std::isspace(c); }).base(),
        s.end());
    return s;
}

// "series 3 "T1 axial"", or the series' UID when it has neither.
std::string SeriesLabel(const itk::GDCMImageIO& io, const std::string& sUid) {
    const std::string sNumber = Tag(io, "0020|0011");
    const std::string sDescription = Tag(io, "0008|103e");
    if (sNumber.empty() && sDescription.empty())
        return "series " + sUid;
    std::string s = "series";
    if (!sNumber.empty())
        s += " " + sNumber;
    if (!sDescription.empty())
        s += " \"" + sDescription + "\"";
    return s;
}

struct Slice {
    itk::GDCMImageIO::Pointer pIo;
    std::string sFile;
    double dPosition = 0.0; // along the slice normal
    VoxelType eType = VoxelType::UInt8;
};

double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Reads the files of one series as a volume: x = column, y = row, z = the
// slices sorted along their normal by Image Position (Patient).
ImportResult ReadSeries(const std::string& sPath, const std::vector<std::string>& files,
                        const std::string& sName, std::vector<std::string> notices) {
    if (files.size() == 1) {
        itk::ImageIOBase::Pointer pIo = itk::GDCMImageIO::New();
        ImportResult result = ReadImage(files[0], pIo, "DICOM", sName, DicomComplete);
        result.notices.insert(result.notices.begin(), notices.begin(), notices.end());
        return result;
    }
    std::vector<Slice> slices(files.size());
    size_t nColumns = 0, nRows = 0;
    double row[3] = {0, 0, 0}, column[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
    for (size_t i = 0; i < files.size(); ++i) {
        Slice& slice = slices[i];
        slice.sFile = files[i];
        slice.pIo = itk::GDCMImageIO::New();
        itk::GDCMImageIO& io = *slice.pIo;
        std::string sReason;
        try {
            io.SetFileName(files[i]);
            io.ReadImageInformation();
        } catch (...) {
            return FailImport(sPath, IMPORT_FAILED,
                              "its file '" + FileName(files[i]) + "' cannot be read");
        }
        if (!ScalarType(io, slice.eType, sReason))
            return FailImport(sPath, IMPORT_FAILED, sReason);
        if (io.GetNumberOfDimensions() != 3)
            return FailImport(sPath, IMPORT_FAILED,
                              "its file '" + FileName(files[i]) + "' cannot be read");
        if (io.GetDimensions(2) > 1)
            return FailImport(sPath, IMPORT_FAILED,
                              "its file '" + FileName(files[i]) +
                                  "' holds several frames; a series of such files cannot be "
                                  "opened");
        const std::vector<double> r = io.GetDirection(0);
        const std::vector<double> c = io.GetDirection(1);
        if (i == 0) {
            nColumns = io.GetDimensions(0);
            nRows = io.GetDimensions(1);
            std::copy(r.begin(), r.begin() + 3, row);
            std::copy(c.begin(), c.begin() + 3, column);
            normal[0] = row[1] * column[2] - row[2] * column[1];
            normal[1] = row[2] * column[0] - row[0] * column[2];
            normal[2] = row[0] * column[1] - row[1] * column[0];
        } else if (io.GetDimensions(0) != nColumns || io.GetDimensions(1) != nRows) {
            return FailImport(sPath, IMPORT_FAILED,
                              "its slices differ in size ('" + FileName(files[0]) + "' " +
                                  std::to_string(nColumns) + " x " + std::to_string(nRows) + ", '" +
                                  FileName(files[i]) + "' " + std::to_string(io.GetDimensions(0)) +
                                  " x " + std::to_string(io.GetDimensions(1)) + ")");
        } else if (Dot(row, r.data()) < 0.9999 || Dot(column, c.data()) < 0.9999) {
            return FailImport(sPath, IMPORT_FAILED,
                              "its slices differ in orientation ('" + FileName(files[0]) +
                                  "' and '" + FileName(files[i]) + "')");
        }
        const double origin[3] = {io.GetOrigin(0), io.GetOrigin(1), io.GetOrigin(2)};
        slice.dPosition = Dot(origin, normal);
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const Slice& a, const Slice& b) { return a.dPosition < b.dPosition; });

    // Evenly spaced, none missing: every gap near the usual one.
    std::vector<double> gaps;
    for (size_t i = 1; i < slices.size(); ++i)
        gaps.push_back(slices[i].dPosition - slices[i - 1].dPosition);
    std::vector<double> sorted = gaps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double dUsual = sorted[sorted.size() / 2];
    for (size_t i = 0; i < gaps.size(); ++i) {
        const std::string sPair =
            "'" + FileName(slices[i].sFile) + "' and '" + FileName(slices[i + 1].sFile) + "'";
        if (!(gaps[i] > 1e-3 * std::max(1.0, dUsual)))
            return FailImport(sPath, IMPORT_FAILED,
                              "two of its slices lie at one position (" + sPair + ")");
        if (gaps[i] > 1.5 * dUsual) {
            char sz[160];
            std::snprintf(sz, sizeof(sz),
                          "slices are missing: %g between %s where the others lie %g apart",
                          gaps[i], sPair.c_str(), dUsual);
            return FailImport(sPath, IMPORT_FAILED, sz);
        }
    }

    std::string sReason;
    if (!CheckDimensions(static_cast<long long>(nColumns), static_cast<long long>(nRows),
                         static_cast<long long>(slices.size()), sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    SourceVolume source;
    source.sKind = "DICOM";
    source.sName = sName;
    source.notices = std::move(notices);
    source.nDim[0] = static_cast<int>(nColumns);
    source.nDim[1] = static_cast<int>(nRows);
    source.nDim[2] = static_cast<int>(slices.size());
    source.dSpacing[0] = slices[0].pIo->GetSpacing(0);
    source.dSpacing[1] = slices[0].pIo->GetSpacing(1);
    source.dSpacing[2] = (slices.back().dPosition - slices[0].dPosition) / (slices.size() - 1);
    // Slices of different value types (their rescales differ) meet as doubles.
    const bool bOneType = std::all_of(slices.begin(), slices.end(),
                                      [&](const Slice& s) { return s.eType == slices[0].eType; });
    source.eType = bOneType ? slices[0].eType : VoxelType::Float64;
    const size_t nSliceValues = nColumns * nRows;
    const size_t nSliceBytes = nSliceValues * VoxelTypeSize(source.eType);
    source.pData = AllocateSource(nSliceBytes * slices.size());
    if (!source.pData)
        return FailImport(sPath, IMPORT_FAILED, "not enough memory for its voxels");
    std::unique_ptr<uint8_t[]> pOwnType;
    for (size_t k = 0; k < slices.size(); ++k) {
        itk::GDCMImageIO& io = *slices[k].pIo;
        uint8_t* pSlice = source.pData.get() + k * nSliceBytes;
        if (!bOneType) {
            pOwnType = AllocateBytes(nSliceValues * VoxelTypeSize(slices[k].eType));
            if (!pOwnType)
                return FailImport(sPath, IMPORT_FAILED, "not enough memory for its voxels");
        }
        bool bComplete = true;
        try {
            itk::ImageIORegion region(io.GetNumberOfDimensions());
            for (unsigned i = 0; i < io.GetNumberOfDimensions(); ++i)
                region.SetSize(i, io.GetDimensions(i));
            io.SetIORegion(region);
            io.Read(bOneType ? pSlice : pOwnType.get());
        } catch (...) {
            bComplete = false;
        }
        if (!bComplete || !DicomComplete(slices[k].sFile))
            return FailImport(sPath, IMPORT_FAILED,
                              "the image data of its file '" + FileName(slices[k].sFile) +
                                  "' cannot be read (the file is damaged or cut short)");
        if (!bOneType) {
            double* pOut = reinterpret_cast<double*>(pSlice);
            WithValues(slices[k].eType, pOwnType.get(),
                       [&](const auto* p) { std::copy(p, p + nSliceValues, pOut); });
        }
        slices[k].pIo = nullptr; // its header is no longer needed
    }
    // The readers' slice buffers came and went one at a time; what the heap
    // keeps of them goes back before the dataset needs the memory.
    malloc_trim(0);
    return FinishImport(sPath, source);
}

// The name of a series for the user: its folder's name and its label.
std::string SeriesName(const std::string& sFolder, const itk::GDCMImageIO& io,
                       const std::string& sUid) {
    std::error_code error;
    fs::path folder = fs::absolute(sFolder, error).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path();
    return folder.filename().string() + " (" + SeriesLabel(io, sUid) + ")";
}

// The header of a series' first file, for its label; null when it cannot be read.
itk::GDCMImageIO::Pointer FirstHeader(const Series& series) {
    auto pIo = itk::GDCMImageIO::New();
    try {
        pIo->SetFileName(series.files.at(0));
        pIo->ReadImageInformation();
        return pIo;
    } catch (...) {
        return nullptr;
    }
}

ImportResult ReadChosenSeries(const std::string& sPath, const std::string& sFolder,
                              const Series& series, std::vector<std::string> notices) {
    const itk::GDCMImageIO::Pointer pFirst = FirstHeader(series);
    if (!pFirst)
        return FailImport(sPath, IMPORT_FAILED,
                          "its file '" + FileName(series.files[0]) + "' cannot be read");
    return ReadSeries(sPath, series.files, SeriesName(sFolder, *pFirst, series.sUid),
                      std::move(notices));
}

} // namespace

ImportResult ImportScanFile(const std::string& sPath) {
    QuietLibraries();
    const CQuietCerr quiet;
    try {
        itk::ImageIOBase::Pointer pIo = itk::NiftiImageIO::New();
        if (pIo->CanReadFile(sPath.c_str()))
            return ReadImage(sPath, pIo, "NIfTI", "", NiftiComplete);
        pIo = itk::NrrdImageIO::New();
        if (pIo->CanReadFile(sPath.c_str()))
            return ReadImage(sPath, pIo, "NRRD");
        pIo = itk::MetaImageIO::New();
        if (pIo->CanReadFile(sPath.c_str()))
            return ReadImage(sPath, pIo, "MetaImage", "", MetaComplete);
        auto pDicom = itk::GDCMImageIO::New();
        if (pDicom->CanReadFile(sPath.c_str())) {
            // The file's series, found in its folder; the file alone when it
            // belongs to none there.
            std::string sFolder = fs::path(sPath).parent_path().string();
            if (sFolder.empty())
                sFolder = ".";
            std::vector<Series> series;
            FindSeries(sFolder, series);
            for (const Series& s : series) {
                for (const std::string& sFile : s.files) {
                    std::error_code error;
                    if (fs::equivalent(sFile, sPath, error))
                        return ReadChosenSeries(sPath, sFolder, s, {});
                }
            }
            return ReadSeries(sPath, {sPath}, "", {});
        }
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED, "it cannot be read");
    }
    // Named like a kind it is not, or like none.
    static const std::pair<const char*, const char*> kNamed[] = {
        {".nii", "NIfTI"}, {".gz", "NIfTI"},  {".hdr", "NIfTI"},     {".img", "NIfTI"},
        {".nrrd", "NRRD"}, {".nhdr", "NRRD"}, {".mha", "MetaImage"}, {".mhd", "MetaImage"},
        {".dcm", "DICOM"}, {".ima", "DICOM"}};
    std::string sExt = fs::path(sPath).extension().string();
    std::transform(sExt.begin(), sExt.end(), sExt.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& named : kNamed)
        if (sExt == named.first)
            return FailImport(sPath, IMPORT_NOT_RECOGNISED,
                              std::string("it is not a readable ") + named.second + " file");
    return FailImport(sPath, IMPORT_NOT_RECOGNISED,
                      "no reader recognises it (NIfTI, NRRD, MetaImage, DICOM, RAW dataset .dat); "
                      "a bare RAW file needs its size and value type");
}

ImportResult ImportDicomFolder(const std::string& sPath) {
    QuietLibraries();
    const CQuietCerr quiet;
    try {
        std::vector<Series> series;
        if (!FindSeries(sPath, series) || series.empty())
            return FailImport(sPath, IMPORT_FAILED, "the folder holds no DICOM series");
        // The series with the most files (the first of equals).
        const auto chosen =
            std::max_element(series.begin(), series.end(), [](const Series& a, const Series& b) {
                return a.files.size() < b.files.size();
            });
        std::vector<std::string> notices;
        if (series.size() > 1) {
            const itk::GDCMImageIO::Pointer pFirst = FirstHeader(*chosen);
            notices.push_back(
                "'" + sPath + "' holds " + std::to_string(series.size()) +
                " DICOM series; the one with the most files is shown: " +
                (pFirst ? SeriesLabel(*pFirst, chosen->sUid) : "series " + chosen->sUid) + " (" +
                std::to_string(chosen->files.size()) + " files)");
        }
        return ReadChosenSeries(sPath, sPath, *chosen, std::move(notices));
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED, "it cannot be read");
    }
}
