#include "_Image.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <zlib.h>

#include "platform/AtomicFile.h"

namespace {

void PutU32BigEndian(std::vector<uint8_t>& out, uint32_t n) {
    out.push_back(uint8_t(n >> 24));
    out.push_back(uint8_t(n >> 16));
    out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(n));
}

void PutChunk(std::vector<uint8_t>& out, const char* pType, const uint8_t* pData, size_t nSize) {
    PutU32BigEndian(out, uint32_t(nSize));
    const size_t nTypeAt = out.size();
    out.insert(out.end(), pType, pType + 4);
    if (nSize > 0)
        out.insert(out.end(), pData, pData + nSize);
    // The CRC covers the chunk type and its data.
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + nTypeAt, uInt(4 + nSize));
    PutU32BigEndian(out, uint32_t(crc));
}

std::string LowerExtension(const std::string& sPath) {
    if (sPath.size() < 4)
        return std::string();
    std::string sExt = sPath.substr(sPath.size() - 4);
    for (char& c : sExt)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return sExt;
}

} // namespace

std::vector<uint8_t> EncodePfm(const RgbImage& image) {
    char header[64];
    const int nHeader =
        std::snprintf(header, sizeof header, "PF\n%d %d\n-1.0\n", image.nWidth, image.nHeight);
    std::vector<uint8_t> out(header, header + nHeader);
    out.reserve(out.size() + image.rgb.size() * 4);
    for (int y = image.nHeight - 1; y >= 0; --y) {
        for (int x = 0; x < image.nWidth; ++x) {
            const float* p = image.At(x, y);
            for (int c = 0; c < 3; ++c) {
                uint32_t bits;
                std::memcpy(&bits, &p[c], 4);
                out.push_back(uint8_t(bits));
                out.push_back(uint8_t(bits >> 8));
                out.push_back(uint8_t(bits >> 16));
                out.push_back(uint8_t(bits >> 24));
            }
        }
    }
    return out;
}

uint8_t ComponentToByte(float fValue) {
    if (!(fValue > 0.0f)) // also NaN
        return 0;
    if (fValue >= 1.0f)
        return 255;
    return uint8_t(fValue * 255.0f + 0.5f);
}

std::vector<uint8_t> EncodePng(const RgbImage& image) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> out(kSignature, kSignature + 8);

    std::vector<uint8_t> ihdr;
    PutU32BigEndian(ihdr, uint32_t(image.nWidth));
    PutU32BigEndian(ihdr, uint32_t(image.nHeight));
    ihdr.push_back(8); // bit depth
    ihdr.push_back(2); // colour type RGB
    ihdr.push_back(0); // deflate
    ihdr.push_back(0); // adaptive filtering
    ihdr.push_back(0); // not interlaced
    PutChunk(out, "IHDR", ihdr.data(), ihdr.size());

    // Raw scanlines, top row first, each led by its filter byte.
    const size_t nRowBytes = 1 + 3 * size_t(image.nWidth);
    std::vector<uint8_t> raw(nRowBytes * size_t(image.nHeight));
    for (int y = 0; y < image.nHeight; ++y) {
        uint8_t* pRow = &raw[nRowBytes * size_t(y)];
        pRow[0] = 0;
        const float* p = image.At(0, y);
        for (size_t i = 0; i < 3 * size_t(image.nWidth); ++i)
            pRow[1 + i] = ComponentToByte(p[i]);
    }
    uLongf nPacked = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(nPacked);
    if (compress2(packed.data(), &nPacked, raw.data(), uLong(raw.size()), 6) != Z_OK)
        return std::vector<uint8_t>();
    PutChunk(out, "IDAT", packed.data(), nPacked);
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

bool WriteFileBytes(const std::string& sPath, const std::vector<uint8_t>& bytes) {
    return WriteFileAtomically(sPath, bytes.data(), bytes.size()) == 0;
}

bool CanWriteFile(const std::string& sPath, std::string& sError) {
    namespace fs = std::filesystem;
    fs::path folder = fs::path(sPath).parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        sError = "cannot write '" + sPath + "': no folder '" + folder.string() + "'";
        return false;
    }
    if (fs::is_directory(sPath, error)) {
        sError = "cannot write '" + sPath + "': it is a folder";
        return false;
    }
    const bool bExists = fs::exists(sPath, error);
    if (access(bExists ? sPath.c_str() : folder.c_str(), W_OK) != 0) {
        sError = "cannot write '" + sPath + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool HasImageExtension(const std::string& sPath) {
    const std::string sExt = LowerExtension(sPath);
    return sExt == ".pfm" || sExt == ".png";
}

bool WriteImage(const std::string& sPath, const RgbImage& image, std::string& sError) {
    const std::string sExt = LowerExtension(sPath);
    std::vector<uint8_t> bytes;
    if (sExt == ".pfm") {
        bytes = EncodePfm(image);
    } else if (sExt == ".png") {
        bytes = EncodePng(image);
        if (bytes.empty()) {
            sError = "cannot compress the PNG image data";
            return false;
        }
    } else {
        sError = "the output file name must end in .pfm or .png";
        return false;
    }
    if (!WriteFileBytes(sPath, bytes)) {
        sError = "cannot write '" + sPath + "': " + std::strerror(errno);
        return false;
    }
    return true;
}
