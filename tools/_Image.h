// A float RGB picture as the tools produce it, and its two file formats: the
// portable float map (unclamped values) and PNG (clamped to 0..1, 8 bits).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
    int nWidth = 0;
    int nHeight = 0;
    // r, g, b for pixel (x, y) at 3 * (x + nWidth * y); row 0 is the top row.
    std::vector<float> rgb;

    RgbImage() = default;
    RgbImage(int w, int h) : nWidth(w), nHeight(h), rgb(3 * size_t(w) * size_t(h), 0.0f) {}

    float* At(int x, int y) { return &rgb[3 * (size_t(x) + size_t(nWidth) * size_t(y))]; }
    const float* At(int x, int y) const {
        return &rgb[3 * (size_t(x) + size_t(nWidth) * size_t(y))];
    }
};

// The PFM bytes: "PF\n<w> <h>\n-1.0\n", then little-endian float RGB rows, bottom
// row first.
std::vector<uint8_t> EncodePfm(const RgbImage& image);

// One colour component as a PNG byte: clamped to 0..1 (NaN counts as 0) and
// rounded to the nearest of 0..255.
uint8_t ComponentToByte(float fValue);

// The PNG bytes: 8-bit RGB, not interlaced, every row with filter type 0,
// compressed with zlib.
std::vector<uint8_t> EncodePng(const RgbImage& image);

// Writes bytes to a file, which is replaced only once the new one is complete;
// false (errno set, the old file as it was) when it cannot be created or written.
bool WriteFileBytes(const std::string& sPath, const std::vector<uint8_t>& bytes);

// Writes the image as PFM or PNG, chosen by the path's extension (".pfm" or
// ".png", any letter case). False with a reason in sError on failure.
bool WriteImage(const std::string& sPath, const RgbImage& image, std::string& sError);

// Checks before any work that the file can be created or replaced (its folder
// exists and is writable, and an existing file is writable). False with a
// reason in sError otherwise.
bool CanWriteFile(const std::string& sPath, std::string& sError);

// True when the path ends in ".pfm" or ".png" (any letter case).
bool HasImageExtension(const std::string& sPath);
