#include "_Image.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "platform/AtomicFile.h"

namespace {

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
