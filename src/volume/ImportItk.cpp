// The readers of the import layer that ITK provides: NIfTI, NRRD, MetaImage
// and DICOM (through GDCM). Nothing of ITK leaves this file: every exception is
// caught here and becomes a one-line reason.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <malloc.h>
#include <map>
#include <mutex>
#include <sstream>
#include <zlib.h>

#include <libdeflate.h>

#include <gdcmReader.h>
#include <gdcmTrace.h>
#include <itkGDCMImageIO.h>
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

// ---- what a file claims against what it can hold ----
// Before any reader allocates for a file's values, what its header claims is
// compared with the bytes that can hold them: exactly for plain data, by the
// most that deflate can expand for compressed data. Some readers also fill
// what a cut-short file lacks with zeros, or leave it unread, without saying
// so: after the read the file is checked again.

constexpr char kCutShort[] = "its image data cannot be read (the file is damaged or cut short)";
// The most a deflate stream expands (a run of one byte value: 1032 to 1).
constexpr long long MAX_INFLATION = 1032;

// a * b, or -1 when either is negative or the product overflows.
long long Times(long long a, long long b) {
    long long n = 0;
    return a < 0 || b < 0 || __builtin_mul_overflow(a, b, &n) ? -1 : n;
}

long long FileBytes(const std::string& sPath) {
    std::error_code error;
    const auto n = fs::file_size(sPath, error);
    return error ? -1 : static_cast<long long>(n);
}

bool Gzipped(const std::string& sPath) {
    std::ifstream in(sPath, std::ios::binary);
    char magic[2] = {0, 0};
    in.read(magic, 2);
    return in && magic[0] == '\x1f' && magic[1] == '\x8b';
}

// Whether nBytes of data (compressed or not) can hold the nClaimed bytes a
// header announces; otherwise the reason.
bool Holds(long long nBytes, bool bCompressed, long long nClaimed, std::string& sReason) {
    const long long nMost = bCompressed ? Times(nBytes, MAX_INFLATION) : nBytes;
    if (nClaimed >= 0 && (nMost < 0 || nClaimed <= nMost))
        return true;
    sReason = "the file is cut short: " + std::string(bCompressed ? "its compressed " : "its ") +
              std::to_string(std::max(0LL, nBytes)) + " bytes cannot hold the " +
              (nClaimed < 0 ? "countless" : std::to_string(nClaimed)) +
              " bytes its header announces";
    return false;
}

// A data file the readers may open: a regular file (a pipe or device would
// make them wait, or read without end).
bool RegularFile(const std::string& sFile, std::string& sReason) {
    std::error_code error;
    if (!fs::exists(sFile, error) || fs::is_regular_file(sFile, error))
        return true; // (a missing file its reader reports)
    sReason = "its data file '" + FileName(sFile) + "' is not a regular file (a pipe or device)";
    return false;
}

std::string ToLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// What a NIfTI-1 (or Analyze 7.5) header claims: its values' file and their
// bytes from the file's start, and the voxel size as written.
struct NiftiClaims {
    std::string sData;
    long long nBytes = -1;
    double dSpacing[3] = {1, 1, 1};
    bool bDirection = false; // a NIfTI header with a qform or sform code
    // How the values lie in a single NIfTI file (header and values in one):
    // from nOffset, of eType, in the other byte order for bSwap. bPlain: they
    // are taken as stored (no scl_slope or scl_inter to apply, three
    // dimensions at most, a type of one value). False for anything else.
    bool bPlain = false;
    long long nOffset = 0;
    VoxelType eType = VoxelType::UInt8;
    bool bSwap = false;
};

// Reads the header of a NIfTI-1 or Analyze file (or of the .img of a pair)
// and checks what it claims. True, with c.nBytes -1, for a header of another
// kind: its reader judges it.
bool ReadNiftiClaims(const std::string& sPath, NiftiClaims& c, std::string& sReason) {
    // The header and the values' file of a pair, from either name.
    std::string sHeader = sPath, sData = sPath;
    const std::string sLower = ToLower(sPath);
    for (const char* pGz : {"", ".gz"}) {
        for (auto [pFrom, pTo] : {std::pair{".hdr", ".img"}, std::pair{".img", ".hdr"}}) {
            const std::string sEnd = std::string(pFrom) + pGz;
            if (!sLower.ends_with(sEnd))
                continue;
            const std::string sStem = sPath.substr(0, sPath.size() - sEnd.size());
            const bool bUpper = sPath[sStem.size() + 1] == 'H' || sPath[sStem.size() + 1] == 'I';
            auto named = [&](const char* pExt, const char* pZip) {
                std::string s = pExt;
                if (bUpper)
                    std::transform(s.begin(), s.end(), s.begin(), ::toupper);
                return sStem + s + pZip;
            };
            std::string& sOther = pFrom[1] == 'h' ? sData : sHeader;
            for (const char* pZip : {"", ".gz"}) {
                std::error_code error;
                if (fs::exists(named(pTo, pZip), error)) {
                    sOther = named(pTo, pZip);
                    break;
                }
            }
        }
    }
    if (!RegularFile(sHeader, sReason) || !RegularFile(sData, sReason))
        return false;
    unsigned char h[348];
    gzFile file = gzopen(sHeader.c_str(), "rb");
    const bool bHeader = file && gzread(file, h, sizeof(h)) == static_cast<int>(sizeof(h));
    if (file)
        gzclose(file);
    if (!bHeader)
        return true;
    // The byte order as the NIfTI library takes it: from the number of dimensions.
    const bool bSwap = !(h[40] >= 1 && h[40] <= 7 && h[41] == 0);
    auto get = [&](int nOffset, int nSize) {
        unsigned char b[4];
        for (int i = 0; i < nSize; ++i)
            b[i] = h[nOffset + (bSwap ? nSize - 1 - i : i)];
        uint32_t u = 0;
        std::memcpy(&u, b, static_cast<size_t>(nSize));
        return u;
    };
    auto getFloat = [&](int nOffset) {
        const uint32_t u = get(nOffset, 4);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    };
    const int nDims = static_cast<int16_t>(get(40, 2));
    if (get(0, 4) != 348 || nDims < 1 || nDims > 7)
        return true;
    long long nValues = 1;
    for (int i = 1; i <= nDims; ++i)
        nValues = Times(nValues, std::max<int16_t>(1, static_cast<int16_t>(get(40 + 2 * i, 2))));
    // Bytes per value of each data type code.
    static constexpr std::pair<int, int> kSizes[] = {
        {2, 1},   {4, 2},   {8, 4},    {16, 4},   {32, 8},    {64, 8},    {128, 3},   {256, 1},
        {512, 2}, {768, 4}, {1024, 8}, {1280, 8}, {1536, 16}, {1792, 16}, {2048, 32}, {2304, 4}};
    const int nType = static_cast<int16_t>(get(70, 2));
    const int nBits = static_cast<int16_t>(get(72, 2));
    const auto size = std::find_if(std::begin(kSizes), std::end(kSizes),
                                   [&](const auto& s) { return s.first == nType; });
    // The types of one value, by code.
    static constexpr std::pair<int, VoxelType> kTypes[] = {
        {2, VoxelType::UInt8},    {4, VoxelType::Int16},    {8, VoxelType::Int32},
        {16, VoxelType::Float32}, {64, VoxelType::Float64}, {256, VoxelType::Int8},
        {512, VoxelType::UInt16}, {768, VoxelType::UInt32}, {1024, VoxelType::Int64},
        {1280, VoxelType::UInt64}};
    const auto type = std::find_if(std::begin(kTypes), std::end(kTypes),
                                   [&](const auto& t) { return t.first == nType; });
    if (size == std::end(kSizes))
        return true;
    if (nBits != 8 * size->second) {
        sReason = "its header's bits per value (" + std::to_string(nBits) +
                  ") disagree with its data type (code " + std::to_string(nType) + ", " +
                  std::to_string(8 * size->second) + " bits)";
        return false;
    }
    const bool bSingle = std::memcmp(h + 344, "n+1", 4) == 0;
    const float fOffset = getFloat(108);
    if (!(fOffset >= (bSingle ? 348.0f : 0.0f) && fOffset < 9e18f)) {
        char sz[64];
        std::snprintf(sz, sizeof(sz), "%g", static_cast<double>(fOffset));
        sReason = std::string("its data offset (vox_offset ") + sz + ") is not a place in the file";
        return false;
    }
    // An orientation the library would compute with must be made of numbers.
    const int nFirst = get(252, 2) != 0 ? 256 : 280, nLast = get(254, 2) != 0 ? 328 : 280;
    for (int nAt = nFirst; nAt < nLast; nAt += 4) {
        if (!std::isfinite(getFloat(nAt)) && (nAt < 280 || get(254, 2) != 0)) {
            sReason = "its orientation (qform or sform) holds a value that is not a number";
            return false;
        }
    }
    for (int i = 0; i < 3; ++i)
        c.dSpacing[i] = getFloat(80 + 4 * i);
    const float fSlope = getFloat(112), fInter = getFloat(116);
    c.bPlain = bSingle && sData == sPath && nDims <= 3 && type != std::end(kTypes) &&
               fOffset >= 352.0f && fOffset == std::floor(fOffset) &&
               (fSlope == 0.0f || fSlope == 1.0f) && fInter == 0.0f;
    c.nOffset = static_cast<long long>(fOffset);
    c.eType = type != std::end(kTypes) ? type->second : VoxelType::UInt8;
    c.bSwap = bSwap;
    c.bDirection = (std::memcmp(h + 344, "n+1", 4) == 0 || std::memcmp(h + 344, "ni1", 4) == 0) &&
                   (static_cast<int16_t>(get(252, 2)) > 0 || static_cast<int16_t>(get(254, 2)) > 0);
    c.sData = sData;
    const long long nValueBytes = Times(nValues, size->second);
    c.nBytes = nValueBytes < 0 ? -1 : static_cast<long long>(fOffset) + nValueBytes;
    if (c.nBytes < 0) {
        sReason = "its header claims more values than can be counted";
        return false;
    }
    return CheckDimensions(std::max<int16_t>(1, static_cast<int16_t>(get(42, 2))),
                           nDims < 2 ? 1 : std::max<int16_t>(1, static_cast<int16_t>(get(44, 2))),
                           nDims < 3 ? 1 : std::max<int16_t>(1, static_cast<int16_t>(get(46, 2))),
                           sReason) &&
           Holds(FileBytes(sData), Gzipped(sData), c.nBytes, sReason);
}

// Whether a file, plain or gzip-compressed, holds at least nBytes (decompressed).
bool StreamHolds(const std::string& sPath, long long nBytes) {
    std::ifstream in(sPath, std::ios::binary);
    const long long nSize = FileBytes(sPath);
    if (!in || nSize < 0)
        return false;
    if (!Gzipped(sPath))
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

// After the read: the NIfTI file (or .img) holds all the values its header announces.
bool NiftiComplete(const std::string& sPath) {
    NiftiClaims c;
    std::string sReason;
    return ReadNiftiClaims(sPath, c, sReason) && (c.nBytes < 0 || StreamHolds(c.sData, c.nBytes));
}

// The values of a plain single NIfTI file (NiftiClaims::bPlain) of nBytes and
// type eType, read here instead of by its reader, which makes a copy of its own
// and inflates with zlib: a plain file read straight into the values' memory,
// a gzip-compressed one (any number of members) inflated there with libdeflate,
// its header after it moved aside. Null when anything does not add up (then
// the reader reads it and says what is wrong); every size is bounded by the
// header's, whatever the gzip trailer claims.
// Reads n bytes in pieces: the viewer tells the reading's progress from the
// bytes this process has read so far, which a single read gives only at its end.
bool ReadInPieces(std::FILE* pFile, uint8_t* p, size_t n) {
    constexpr size_t PIECE = size_t(16) << 20;
    for (size_t nDone = 0; nDone < n; nDone += PIECE) {
        const size_t nPiece = std::min(PIECE, n - nDone);
        if (std::fread(p + nDone, 1, nPiece, pFile) != nPiece)
            return false;
    }
    return true;
}

SourceBytes ReadNiftiValues(const std::string& sPath, const NiftiClaims& c, long long nBytes,
                            VoxelType eType) {
    const long long nFile = FileBytes(sPath);
    const long long nNeed = c.nOffset + nBytes;
    if (!c.bPlain || eType != c.eType || nBytes != c.nBytes - c.nOffset || nFile < 0)
        return nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(sPath.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return nullptr;
    SourceBytes pValues;
    if (!Gzipped(sPath)) {
        pValues = nFile >= nNeed ? AllocateSource(static_cast<size_t>(nBytes)) : nullptr;
        if (!pValues || fseeko(file.get(), static_cast<off_t>(c.nOffset), SEEK_SET) != 0 ||
            !ReadInPieces(file.get(), pValues.get(), static_cast<size_t>(nBytes)))
            return nullptr;
    } else {
        // (Compressed data a little larger than its values is fine; far larger
        // is for the reader.)
        std::unique_ptr<uint8_t[]> pPacked =
            nFile <= 2 * nNeed + (1 << 20) ? AllocateBytes(static_cast<size_t>(nFile)) : nullptr;
        pValues = pPacked ? AllocateSource(static_cast<size_t>(nNeed)) : nullptr;
        std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
            libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
        if (!pValues || !inflater ||
            !ReadInPieces(file.get(), pPacked.get(), static_cast<size_t>(nFile)))
            return nullptr;
        size_t nIn = 0, nOut = 0;
        while (nIn < static_cast<size_t>(nFile)) {
            size_t nMemberIn = 0, nMemberOut = 0;
            if (libdeflate_gzip_decompress_ex(inflater.get(), pPacked.get() + nIn, nFile - nIn,
                                              pValues.get() + nOut, nNeed - nOut, &nMemberIn,
                                              &nMemberOut) != LIBDEFLATE_SUCCESS)
                return nullptr;
            nIn += nMemberIn;
            nOut += nMemberOut;
        }
        if (nOut != static_cast<size_t>(nNeed))
            return nullptr;
        std::memmove(pValues.get(), pValues.get() + c.nOffset, static_cast<size_t>(nBytes));
    }
    if (c.bSwap)
        SwapBytes(pValues.get(), static_cast<size_t>(nBytes) / VoxelTypeSize(eType),
                  VoxelTypeSize(eType));
    return pValues;
}

// The fields of a text header ("key: value" or "key = value") up to its end
// (an empty line, or the field that names the data in a MetaImage), and the
// offset where the data of an attached header begins.
std::vector<std::pair<std::string, std::string>>
HeaderFields(const std::string& sPath, char cSeparator, long long& nDataStart) {
    std::ifstream in(sPath, std::ios::binary);
    std::vector<std::pair<std::string, std::string>> fields;
    std::string sLine;
    nDataStart = -1;
    while (in.tellg() < (1 << 20) && std::getline(in, sLine)) {
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.pop_back();
        if (sLine.empty() && cSeparator == ':')
            break;
        const size_t nAt = sLine.find(cSeparator);
        if (nAt == std::string::npos || (cSeparator == ':' && sLine.compare(nAt, 2, ":=") == 0))
            continue;
        std::string sKey = ToLower(sLine.substr(0, nAt)), sValue = sLine.substr(nAt + 1);
        sKey.erase(sKey.find_last_not_of(" \t") + 1);
        sValue.erase(0, sValue.find_first_not_of(" \t"));
        sValue.erase(sValue.find_last_not_of(" \t") + 1);
        fields.emplace_back(sKey, sValue);
        if (sKey == "elementdatafile")
            break;
    }
    if (in)
        nDataStart = in.tellg();
    return fields;
}

std::string FieldOf(const std::vector<std::pair<std::string, std::string>>& fields,
                    std::initializer_list<const char*> keys) {
    for (const auto& [sKey, sValue] : fields)
        for (const char* pKey : keys)
            if (sKey == pKey)
                return sValue;
    return "";
}

// The bytes available to a header's values: after an attached header, or in
// the one data file it names (-1 with bSeveral for a list or pattern of
// files, which their reader judges).
bool DataBytes(const std::string& sPath, const std::string& sData, long long nDataStart,
               long long& nBytes, std::string& sReason) {
    nBytes = -1;
    if (sData.empty() || ToLower(sData) == "local") {
        nBytes = nDataStart < 0 ? 0 : FileBytes(sPath) - nDataStart;
        return true;
    }
    if (sData.find_first_of(" %") != std::string::npos || sData.starts_with("LIST"))
        return true;
    const fs::path file =
        fs::path(sData).is_absolute() ? fs::path(sData) : fs::path(sPath).parent_path() / sData;
    if (!RegularFile(file.string(), sReason))
        return false;
    nBytes = FileBytes(file.string());
    return true;
}

// Whether a text header's data file is one its reader may open (before the
// reader reads the header: some open the data file with it).
bool DataFileUsable(const std::string& sPath, char cSeparator,
                    std::initializer_list<const char*> keys, std::string& sReason) {
    long long nStart = -1, nBytes = -1;
    return DataBytes(sPath, FieldOf(HeaderFields(sPath, cSeparator, nStart), keys), nStart, nBytes,
                     sReason);
}

bool MetaClaims(const std::string& sPath, itk::ImageIOBase&, long long nClaimed,
                std::string& sReason) {
    long long nStart = -1, nBytes = -1;
    const auto fields = HeaderFields(sPath, '=', nStart);
    if (!DataBytes(sPath, FieldOf(fields, {"elementdatafile"}), nStart, nBytes, sReason))
        return false;
    const bool bCompressed = ToLower(FieldOf(fields, {"compresseddata"})) == "true";
    const std::string sCompressed = FieldOf(fields, {"compresseddatasize"});
    const long long nCompressed = sCompressed.empty() ? -1 : std::atoll(sCompressed.c_str());
    if (nBytes >= 0 && bCompressed && nCompressed >= 0) {
        if (nCompressed > nBytes)
            return Holds(nBytes, false, nCompressed, sReason);
        nBytes = nCompressed;
    }
    return nBytes < 0 || Holds(nBytes, bCompressed, nClaimed, sReason);
}

bool NrrdClaims(const std::string& sPath, itk::ImageIOBase& io, long long nClaimed,
                std::string& sReason) {
    long long nStart = -1, nBytes = -1;
    const auto fields = HeaderFields(sPath, ':', nStart);
    if (!DataBytes(sPath, FieldOf(fields, {"data file", "datafile"}), nStart, nBytes, sReason))
        return false;
    if (nBytes < 0)
        return true;
    const std::string sEncoding = ToLower(FieldOf(fields, {"encoding"}));
    if (sEncoding == "raw")
        return Holds(nBytes, false, nClaimed, sReason);
    if (sEncoding == "gzip" || sEncoding == "gz")
        return Holds(nBytes, true, nClaimed, sReason);
    // Text: at least one character per value; hex: two per byte.
    const long long nValues = nClaimed / std::max<long long>(1, io.GetComponentSize());
    if (sEncoding == "ascii" || sEncoding == "text" || sEncoding == "txt")
        return Holds(nBytes, false, nValues, sReason);
    return sEncoding != "hex" || Holds(nBytes / 2, false, nClaimed, sReason);
}

// A DICOM file whose Pixel Data element holds as many bytes as it announces
// and that fit in the file (nClaimed < 0: whatever it announces).
bool DicomHolds(const std::string& sPath, long long nClaimed) {
    gdcm::Reader reader;
    reader.SetFileName(sPath.c_str());
    const gdcm::Tag pixelData(0x7fe0, 0x0010);
    if (!reader.ReadUpToTag(pixelData, {pixelData}))
        return false;
    // Stopped at the value; its 32-bit length stands right before it.
    const size_t nValue = reader.GetStreamCurrentPosition();
    const long long nSize = FileBytes(sPath);
    std::ifstream in(sPath, std::ios::binary);
    unsigned char b[4] = {0, 0, 0, 0};
    if (nSize < 0 || nValue < 4 || static_cast<long long>(nValue) > nSize ||
        !in.seekg(static_cast<std::streamoff>(nValue - 4)) ||
        !in.read(reinterpret_cast<char*>(b), 4))
        return false;
    const bool bBig = reader.GetFile().GetHeader().GetDataSetTransferSyntax().GetSwapCode() ==
                      gdcm::SwapCode::BigEndian;
    const uint32_t nLength =
        bBig ? (static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3])
             : (b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
    if (nLength == 0xffffffffu) // undefined: compressed fragments
        return true;
    return static_cast<long long>(nValue + nLength) <= nSize && nLength >= nClaimed;
}

bool DicomComplete(const std::string& sPath) {
    return DicomHolds(sPath, -1);
}

bool DicomClaims(const std::string& sPath, itk::ImageIOBase&, long long nClaimed,
                 std::string& sReason) {
    if (DicomHolds(sPath, nClaimed))
        return true;
    sReason = "the file is cut short: its pixel data cannot hold the " + std::to_string(nClaimed) +
              " bytes its header announces";
    return false;
}

// ---- whether a header carries a direction ----
// The readers make one up for a file without (from a NIfTI's voxel size, or
// the identity): only one the header itself holds counts.

using DirectionCheck = bool (*)(const std::string&, const itk::ImageIOBase&);

bool NiftiDirection(const std::string& sPath, const itk::ImageIOBase&) {
    NiftiClaims c;
    std::string sReason;
    return ReadNiftiClaims(sPath, c, sReason) && c.bDirection;
}

// Space directions in a space of the patient (not a plain right-handed one).
bool NrrdDirection(const std::string& sPath, const itk::ImageIOBase&) {
    long long nStart = -1;
    const auto fields = HeaderFields(sPath, ':', nStart);
    std::string sSpace = ToLower(FieldOf(fields, {"space"}));
    if (sSpace.ends_with("-time"))
        sSpace.resize(sSpace.size() - 5);
    static const char* const kPatient[] = {"right-anterior-superior",
                                           "ras",
                                           "left-anterior-superior",
                                           "las",
                                           "left-posterior-superior",
                                           "lps",
                                           "scanner-xyz"};
    return !FieldOf(fields, {"space directions"}).empty() &&
           std::find(std::begin(kPatient), std::end(kPatient), sSpace) != std::end(kPatient);
}

bool MetaDirection(const std::string& sPath, const itk::ImageIOBase&) {
    long long nStart = -1;
    return !FieldOf(HeaderFields(sPath, '=', nStart),
                    {"transformmatrix", "rotation", "orientation"})
                .empty();
}

// Image Orientation (Patient).
bool DicomDirection(const std::string&, const itk::ImageIOBase& io) {
    std::string s;
    return itk::ExposeMetaData<std::string>(io.GetMetaDataDictionary(), "0020|0037", s) &&
           s.find_first_not_of(" \\") != std::string::npos;
}

// The reason of the exception being handled, in its library's words: the
// last line of its message (the innermost reason), without the names of the
// functions and objects that passed it on. Running out of memory goes on: a
// reading child reports it.
std::string CaughtReason() {
    std::string s;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const itk::ExceptionObject& e) {
        s = e.GetDescription();
    } catch (const std::exception& e) {
        s = e.what();
    } catch (...) {
    }
    s.erase(s.find_last_not_of(" \t\r\n:.") + 1);
    s.erase(0, s.find_last_of('\n') + 1);
    for (;;) {
        s.erase(0, s.find_first_not_of(" \t"));
        const size_t nColon = s.find(": ");
        if (s.starts_with("[") && s.find("] ") != std::string::npos)
            s.erase(0, s.find("] ") + 2);
        else if (nColon != std::string::npos && s.find(' ') > nColon)
            s.erase(0, nColon + 2); // "_nrrdEncodingGzip_read: ", "NrrdImageIO(0x...): "
        else if (s.starts_with("itk::ERROR: ") || s.starts_with("ITK ERROR: "))
            s.erase(0, s.find(": ") + 2);
        else
            break;
    }
    return s.empty() ? "an unknown error" : s;
}

// A size as the reader gives it; a 32-bit count that wrapped (MetaIO keeps
// sizes as int) is shown as the negative number the header holds.
long long SizeOf(itk::SizeValueType n) {
    return n >= (1ull << 31) && n < (1ull << 32) ? static_cast<int32_t>(static_cast<uint32_t>(n))
                                                 : static_cast<long long>(n);
}

using ClaimsCheck = bool (*)(const std::string&, itk::ImageIOBase&, long long, std::string&);

// Reads a file whose reader recognised it: the first volume of it when it has
// more than three dimensions. Checks the header's claims before anything is
// allocated for them, and the file again after the read (pComplete). Lets go
// of the reader (which may keep a copy of the values) before the dataset is
// made. pWritten: the spacing as the header writes it, where the reader makes
// a zero or not-a-number into 1 (so that it is noticed as unusable).
// The NIfTI library, asked for NAME.nii.gz, reads the header of that file but
// the values of NAME.nii when both lie in one folder. Such a file is read
// through a link of its own name in a folder of its own (removed again at the
// end); Path() is the file to read, the file itself whenever no link is needed
// or none can be made.
class CLonelyName {
public:
    explicit CLonelyName(const std::string& sPath) : m_sPath(sPath) {
        const fs::path path(sPath);
        std::error_code error;
        if (path.extension() != ".gz" || !fs::exists(fs::path(sPath).replace_extension(), error))
            return;
        std::string sFolder = (fs::temp_directory_path(error) / "orvex-read-XXXXXX").string();
        if (error || !mkdtemp(sFolder.data()))
            return;
        m_sFolder = sFolder;
        const fs::path link = fs::path(sFolder) / path.filename();
        fs::create_symlink(fs::absolute(path, error), link, error);
        if (!error)
            m_sPath = link.string();
    }
    ~CLonelyName() {
        std::error_code error;
        if (!m_sFolder.empty())
            fs::remove_all(m_sFolder, error);
    }
    CLonelyName(const CLonelyName&) = delete;
    CLonelyName& operator=(const CLonelyName&) = delete;
    const std::string& Path() const { return m_sPath; }

private:
    std::string m_sPath;
    std::string m_sFolder;
};

ImportResult ReadImage(const std::string& sPath, itk::ImageIOBase::Pointer& pIo, const char* pKind,
                       DirectionCheck pDirection, const std::string& sName = "",
                       ClaimsCheck pClaims = nullptr,
                       bool (*pComplete)(const std::string&) = nullptr,
                       const double* pWritten = nullptr, const std::string& sReadPath = "",
                       const std::function<SourceBytes(long long, VoxelType)>& readOwn = {}) {
    itk::ImageIOBase& io = *pIo;
    SourceVolume source;
    source.sKind = pKind;
    source.sName = sName;
    std::string sReason;
    try {
        io.SetFileName(sReadPath.empty() ? sPath : sReadPath);
        io.ReadImageInformation();
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED,
                          std::string("its ") + pKind +
                              " header cannot be read: " + CaughtReason());
    }
    if (!ScalarType(io, source.eType, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    const unsigned nDims = io.GetNumberOfDimensions();
    long long dims[3] = {1, 1, 1};
    long long nValues = 1;
    for (unsigned i = 0; i < nDims; ++i) {
        const long long n = SizeOf(io.GetDimensions(i));
        if (i < 3) {
            dims[i] = n;
            source.dSpacing[i] = io.GetSpacing(i);
            if (pWritten && !(std::isfinite(pWritten[i]) && pWritten[i] > 0.0))
                source.dSpacing[i] = pWritten[i];
        }
        nValues = Times(nValues, n);
    }
    if (nDims < 1 || !CheckDimensions(dims[0], dims[1], dims[2], sReason))
        return FailImport(sPath, IMPORT_FAILED, nDims < 1 ? "it has no dimensions" : sReason);
    source.bDirection = nDims >= 3 && pDirection(sPath, io);
    for (unsigned i = 0; source.bDirection && i < 3; ++i) {
        const std::vector<double> axis = io.GetDirection(i);
        std::copy(axis.begin(), axis.begin() + 3, source.dDirection[i]);
    }
    const long long nVoxels = dims[0] * dims[1] * dims[2];
    const long long nClaimed = Times(nValues, static_cast<long long>(io.GetComponentSize()));
    if (nClaimed < 0)
        return FailImport(sPath, IMPORT_FAILED,
                          "its header claims more values than can be counted");
    if (pClaims && !pClaims(sPath, io, nClaimed, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    if (nValues > nVoxels) {
        source.notices.push_back("'" + sPath + "' holds " + std::to_string(nValues / nVoxels) +
                                 " volumes; the first is shown");
    }
    // A reader that can read a part reads only the first volume; any other reads
    // all of them, and the first volume is the start of its values.
    itk::ImageIORegion region(nDims);
    for (unsigned i = 0; i < nDims; ++i) {
        region.SetIndex(i, 0);
        region.SetSize(i, i < 3 || !io.CanStreamRead() ? io.GetDimensions(i) : 1);
    }
    const long long nBytes =
        io.CanStreamRead() ? nVoxels * static_cast<long long>(io.GetComponentSize()) : nClaimed;
    if (!CheckMemory(nVoxels, nBytes, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    AllowDataPhase(nBytes);
    if (readOwn)
        source.pData = readOwn(nBytes, source.eType);
    if (!source.pData) {
        source.pData = AllocateSource(static_cast<size_t>(nBytes));
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
            if (readKeeps(0x5b) && readKeeps(0xa4))
                return FailImport(sPath, IMPORT_FAILED,
                                  std::string("its image data cannot be read: the ") + pKind +
                                      " reader delivered fewer values than its header announces");
            if (pComplete && !pComplete(sPath))
                return FailImport(sPath, IMPORT_FAILED, kCutShort);
        } catch (...) {
            return FailImport(sPath, IMPORT_FAILED,
                              "its image data cannot be read: " + CaughtReason());
        }
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

// The DICOM series in a folder (not its subfolders), each with its files in
// name order, by Series Instance UID (in the order of the UIDs). A file that
// cannot be opened, or looks like DICOM but cannot be read, is left out with a
// notice; so is one that a reader crashed on before (SkippedFile).
void FindSeries(const std::string& sFolder, std::vector<Series>& series,
                std::vector<std::string>& notices) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sFolder, error))
        if (entry.is_regular_file(error))
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    AllowHeaders(files.size());
    std::map<std::string, std::vector<std::string>> byUid;
    const gdcm::Tag seriesUid(0x0020, 0x000e);
    for (const std::string& sFile : files) {
        if (SkippedFile(sFile))
            continue;
        ReportReader("DICOM", sFile, true);
        gdcm::Reader reader;
        reader.SetFileName(sFile.c_str());
        const bool bRead = reader.ReadSelectedTags({seriesUid});
        const gdcm::DataSet& data = reader.GetFile().GetDataSet();
        const gdcm::ByteValue* pUid = bRead && data.FindDataElement(seriesUid)
                                          ? data.GetDataElement(seriesUid).GetByteValue()
                                          : nullptr;
        if (pUid) {
            std::string sUid(pUid->GetPointer(), pUid->GetLength());
            sUid.erase(sUid.find_last_not_of(std::string(" \0", 2)) + 1);
            byUid[sUid].push_back(sFile);
            continue;
        }
        char magic[132] = {};
        std::ifstream in(sFile, std::ios::binary);
        if (!in.is_open())
            notices.push_back("'" + sFile + "' is left out: it cannot be opened");
        else if (in.read(magic, sizeof(magic)) && std::memcmp(magic + 128, "DICM", 4) == 0)
            notices.push_back("'" + sFile + "' is left out: it cannot be read as DICOM");
    }
    for (auto& [sUid, uidFiles] : byUid)
        series.push_back({sUid, std::move(uidFiles)});
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
        ReportReader("DICOM");
        ImportResult result =
            ReadImage(files[0], pIo, "DICOM", DicomDirection, sName, DicomClaims, DicomComplete);
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
        ReportReader("DICOM", files[i]);
        try {
            io.SetFileName(files[i]);
            io.ReadImageInformation();
        } catch (...) {
            return FailImport(sPath, IMPORT_FAILED,
                              "its file '" + FileName(files[i]) +
                                  "' cannot be read: " + CaughtReason());
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
    // Image Orientation (Patient) gives the directions of a row (x, along the
    // columns' index) and of a column (y); z runs along the normal, as sorted.
    source.bDirection = DicomDirection(sPath, *slices[0].pIo);
    for (int j = 0; j < 3; ++j) {
        source.dDirection[0][j] = row[j];
        source.dDirection[1][j] = column[j];
        source.dDirection[2][j] = normal[j];
    }
    // Slices of different value types (their rescales differ) meet as doubles.
    const bool bOneType = std::all_of(slices.begin(), slices.end(),
                                      [&](const Slice& s) { return s.eType == slices[0].eType; });
    source.eType = bOneType ? slices[0].eType : VoxelType::Float64;
    const size_t nSliceValues = nColumns * nRows;
    const size_t nSliceBytes = nSliceValues * VoxelTypeSize(source.eType);
    const long long nBytes = static_cast<long long>(nSliceBytes * slices.size());
    if (!CheckMemory(static_cast<long long>(nSliceValues * slices.size()), nBytes, sReason))
        return FailImport(sPath, IMPORT_FAILED, sReason);
    AllowDataPhase(nBytes);
    source.pData = AllocateSource(static_cast<size_t>(nBytes));
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
        std::string sWhy = "the file is damaged or cut short";
        ReportReader("DICOM", slices[k].sFile);
        try {
            itk::ImageIORegion region(io.GetNumberOfDimensions());
            for (unsigned i = 0; i < io.GetNumberOfDimensions(); ++i)
                region.SetSize(i, io.GetDimensions(i));
            io.SetIORegion(region);
            io.Read(bOneType ? pSlice : pOwnType.get());
        } catch (...) {
            bComplete = false;
            sWhy = CaughtReason();
        }
        if (!bComplete || !DicomComplete(slices[k].sFile))
            return FailImport(sPath, IMPORT_FAILED,
                              "the image data of its file '" + FileName(slices[k].sFile) +
                                  "' cannot be read (" + sWhy + ")");
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
        std::string sReason;
        ReportReader("NIfTI");
        itk::ImageIOBase::Pointer pIo = itk::NiftiImageIO::New();
        if (pIo->CanReadFile(sPath.c_str())) {
            NiftiClaims claims;
            if (!ReadNiftiClaims(sPath, claims, sReason))
                return FailImport(sPath, IMPORT_FAILED, sReason);
            const CLonelyName file(sPath);
            return ReadImage(sPath, pIo, "NIfTI", NiftiDirection, "", nullptr, NiftiComplete,
                             claims.dSpacing, file.Path(), [&](long long nBytes, VoxelType eType) {
                                 return ReadNiftiValues(sPath, claims, nBytes, eType);
                             });
        }
        ReportReader("NRRD");
        pIo = itk::NrrdImageIO::New();
        if (pIo->CanReadFile(sPath.c_str()))
            return DataFileUsable(sPath, ':', {"data file", "datafile"}, sReason)
                       ? ReadImage(sPath, pIo, "NRRD", NrrdDirection, "", NrrdClaims)
                       : FailImport(sPath, IMPORT_FAILED, sReason);
        ReportReader("MetaImage");
        pIo = itk::MetaImageIO::New();
        if (pIo->CanReadFile(sPath.c_str()))
            return DataFileUsable(sPath, '=', {"elementdatafile"}, sReason)
                       ? ReadImage(sPath, pIo, "MetaImage", MetaDirection, "", MetaClaims)
                       : FailImport(sPath, IMPORT_FAILED, sReason);
        ReportReader("DICOM");
        auto pDicom = itk::GDCMImageIO::New();
        if (pDicom->CanReadFile(sPath.c_str())) {
            // The file's series, found in its folder; the file alone when it
            // belongs to none there.
            std::string sFolder = fs::path(sPath).parent_path().string();
            if (sFolder.empty())
                sFolder = ".";
            std::vector<Series> series;
            std::vector<std::string> notices;
            FindSeries(sFolder, series, notices);
            for (const Series& s : series) {
                for (const std::string& sFile : s.files) {
                    std::error_code error;
                    if (fs::equivalent(sFile, sPath, error))
                        return ReadChosenSeries(sPath, sFolder, s, notices);
                }
            }
            return ReadSeries(sPath, {sPath}, "", notices);
        }
    } catch (...) {
        return FailImport(sPath, IMPORT_FAILED, "it cannot be read: " + CaughtReason());
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
        std::vector<std::string> notices;
        FindSeries(sPath, series, notices);
        if (series.empty())
            return FailImport(sPath, IMPORT_FAILED, "the folder holds no DICOM series");
        // The series with the most files (the first of equals).
        const auto chosen =
            std::max_element(series.begin(), series.end(), [](const Series& a, const Series& b) {
                return a.files.size() < b.files.size();
            });
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
        return FailImport(sPath, IMPORT_FAILED, "it cannot be read: " + CaughtReason());
    }
}
