// What the render window shows, as a picture in memory and as a PNG file,
// computed without any display: the viewer saves its pictures from here and
// orvex-render writes the same pictures. The volume picture is the front image
// drawn the way the window draws it; the slice picture is the slice view's
// points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/RenderState.h"
#include "render/SliceView.h"

class CVolume;
class CTransferFunction;

// A float RGB picture. Colours are stored as computed and may lie outside 0..1.
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

// One colour component as a PNG byte: clamped to 0..1 (NaN counts as 0) and
// rounded to the nearest of 0..255.
uint8_t ComponentToByte(float fValue);

// The PNG bytes: 8-bit RGB, not interlaced, every row with filter type 0,
// compressed with zlib. Empty when the compression fails.
std::vector<uint8_t> EncodePng(const RgbImage& image);

// Writes the picture as a PNG file through a temporary file beside it, which
// replaces sPath only once it is complete. 0, or the errno value of the
// failure (the file at sPath is then as it was and nothing else is left).
int WritePngFile(const std::string& sPath, const RgbImage& image);

// Calls emit(x0, y0, x1, y1, pixel) for every block the render window draws of
// an image buffer at a client size of W x H, in drawing order: the block covers
// columns [x0, x1) and rows [y0, y1) (row 0 the top row) and is flat-filled with
// the colour of its top-left sample, pixel. A block reaches from a computed
// sample to the next computed sample to the right and below; the strip after
// the last computed column and row, and everything outside the buffer, is not
// drawn. A computed row is recognised by its column 0, a computed column by the
// sample in the previous computed row.
template <class Emit> void ForEachImageBlock(const ImageColumn* pImage, int W, int H, Emit emit) {
    const int nRows = H < IMAGE_MAX_HEIGHT ? H : IMAGE_MAX_HEIGHT;
    const int nColumns = W < IMAGE_MAX_WIDTH ? W : IMAGE_MAX_WIDTH;
    int nPreviousRow = 0;
    for (int i = 1; i < nRows; ++i) {
        if (pImage[0][i].computed == 0)
            continue;
        int nPreviousColumn = 0;
        for (int j = 1; j < nColumns; ++j) {
            if (pImage[j][nPreviousRow].computed == 1) {
                emit(nPreviousColumn, nPreviousRow, j, i, pImage[nPreviousColumn][nPreviousRow]);
                nPreviousColumn = j;
            }
        }
        nPreviousRow = i;
    }
}

// The volume picture at a client size of W x H: the blocks of the front image
// as the window draws them (ForEachImageBlock), black where it draws none. The
// wire box the window draws over it is not part of the picture. The caller
// holds the state's image mutex.
RgbImage ComposeVolumePicture(const CRenderState& state, int W, int H);

// The slice picture at a client size of W x H: every point the slice view
// draws, on the pixel it lands on (point (x, y) of the view, origin bottom
// left, on pixel (x, H - 1 - y)); black where it draws none. The look gives
// greys and orientation; its default, the transfer function's colours.
RgbImage ComposeSlicePicture(const CVolume* pVolume, const CTransferFunction& tf, int nPlane,
                             int nSlice, int nInterpolation, int W, int H,
                             const SliceLook& look = SliceLook());

// The name a saved picture is proposed under: the dataset file's name without
// its extension, then what the picture shows: "phantom-levoy.png",
// "phantom-xray.png", "phantom-firsthit.png" in Volume mode,
// "phantom-xz-128.png" (plane and slice) in Slicing mode.
std::string ProposedPictureName(const std::string& sDatasetPath, int nMode, int nVolumeType,
                                int nPlane, int nSlice);
