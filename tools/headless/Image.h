// The tools' picture files: the portable float map (unclamped values) and PNG
// (clamped to 0..1, 8 bits, written by the viewer's own PNG writer).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/Picture.h"

// The PFM bytes: "PF\n<w> <h>\n-1.0\n", then little-endian float RGB rows, bottom
// row first.
std::vector<uint8_t> EncodePfm(const RgbImage& image);

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
