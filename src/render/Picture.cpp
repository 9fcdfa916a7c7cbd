#include "render/Picture.h"

#include <cerrno>

#include <zlib.h>

#include "engine/CompositingModes.h"
#include "platform/AtomicFile.h"
#include "render/SliceView.h"

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

} // namespace

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

int WritePngFile(const std::string& sPath, const RgbImage& image) {
    const std::vector<uint8_t> bytes = EncodePng(image);
    if (bytes.empty())
        return ENOMEM;
    return WriteFileAtomically(sPath, bytes.data(), bytes.size());
}

RgbImage ComposeVolumePicture(const CRenderState& state, int W, int H) {
    RgbImage image(W, H);
    ForEachImageBlock(state.m_Image, W, H,
                      [&](int x0, int y0, int x1, int y1, const ImagePixel& pixel) {
                          for (int y = y0; y < y1; ++y) {
                              for (int x = x0; x < x1; ++x) {
                                  float* q = image.At(x, y);
                                  q[0] = pixel.r;
                                  q[1] = pixel.g;
                                  q[2] = pixel.b;
                              }
                          }
                      });
    return image;
}

RgbImage ComposeSlicePicture(const CVolume* pVolume, const CTransferFunction& tf, int nPlane,
                             int nSlice, int nInterpolation, int W, int H, const SliceLook& look) {
    RgbImage image(W, H);
    ForEachSlicePoint(pVolume, tf, nPlane, nSlice, nInterpolation, W, H, look,
                      [&](int x, int y, double r, double g, double b) {
                          if (x < 0 || x >= W || y < 0 || y >= H)
                              return;
                          float* q = image.At(x, H - 1 - y);
                          q[0] = static_cast<float>(r);
                          q[1] = static_cast<float>(g);
                          q[2] = static_cast<float>(b);
                      });
    return image;
}

std::string ProposedPictureName(const std::string& sDatasetPath, int nMode, int nVolumeType,
                                int nPlane, int nSlice) {
    const size_t nSlash = sDatasetPath.find_last_of('/');
    std::string sName =
        nSlash == std::string::npos ? sDatasetPath : sDatasetPath.substr(nSlash + 1);
    // The whole extension of the file's kind goes: "head.nii.gz" is "head".
    auto dropExtension = [&sName] {
        const size_t nDot = sName.find_last_of('.');
        const bool bDropped = nDot != std::string::npos && nDot > 0;
        if (bDropped)
            sName.erase(nDot);
        return bDropped;
    };
    const bool bCompressed = sName.ends_with(".gz") || sName.ends_with(".bz2");
    if (dropExtension() && bCompressed)
        dropExtension();
    if (sName.empty())
        sName = "picture";
    if (nMode == RENDER_MODE_SLICING) {
        static const char* const kPlanes[] = {"xy", "xz", "yz"};
        const char* pPlane = nPlane >= 0 && nPlane < 3 ? kPlanes[nPlane] : "slice";
        return sName + "-" + pPlane + "-" + std::to_string(nSlice) + ".png";
    }
    const CompositingMode* pMode = FindCompositingMode(nVolumeType);
    return sName + "-" + (pMode ? pMode->pWord : "volume") + ".png";
}
