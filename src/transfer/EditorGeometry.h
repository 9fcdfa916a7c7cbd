// Where the transfer function editor draws and what a mouse point there means,
// computed without any display: voxel value and opacity against client pixels,
// the control point nearest to the mouse, the histogram columns and the markers
// above the colour bar. The editor window draws from these and nothing else.
//
// The client area has its origin at the bottom left for drawing (one unit per
// pixel) and at the top left for mouse points (y grows downwards). Every
// conversion to an integer truncates toward zero.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ControlPoint;

// One voxel value is 1/4096 of the client width; the product is formed in float.
constexpr float EDITOR_VALUE_STEP = 1.0f / 4096.0f;
// The colour bar of Slicing mode covers rows 0..15, the markers stand with
// their tip on row 16 and their top edge on row 21, 10 pixels wide.
constexpr int COLOUR_BAR_TOP = 15;
constexpr int MARKER_TIP_Y = 16;
constexpr int MARKER_TOP_Y = 21;
constexpr int MARKER_HALF_WIDTH = 5;
// In Slicing mode the histogram stands on row 16, above the bar.
constexpr int SLICING_HISTOGRAM_BASELINE = 16;
// A point this far from the mouse (or farther) is never picked.
constexpr double NEAREST_POINT_LIMIT = 10000.0;

// Unrounded column of a voxel value: p * (1/4096) * W, in float.
float ValueToPixelXExact(int nPosition, int nWidth);
// The column at which a point at that voxel value is drawn.
int ValueToPixelX(int nPosition, int nWidth);
// The row (from the bottom) at which a point of that opacity is drawn: H * a.
int OpacityToPixelY(float fOpacity, int nHeight);

// Voxel value under mouse column x: trunc(x / W * 4096). A client area 0 wide
// counts as 1 pixel wide; values beyond the 16-bit range saturate, so a drag far
// outside the window never wraps round onto a small value.
int16_t PixelToValue(int x, int nWidth);
// Opacity at mouse row y: 1 - y / H, not clamped (y = 0 gives 1). A client area
// 0 high counts as 1 pixel high.
float PixelToOpacity(int y, int nHeight);

// The point nearest to mouse point (x, y), measured to the unrounded drawing
// positions: the first point with the smallest distance below 10000; a later
// point wins only when strictly closer. Null for an empty list or when every
// point lies 10000 or farther away.
ControlPoint* FindNearestPoint(ControlPoint* pFirst, int x, int y, int nWidth, int nHeight);

// The stored value under mouse column x, kept inside 0..4095.
int MouseValue(int x, int nWidth);

// The value axis of an imported scan along the top edge, in its own units:
// ticks at round values (1, 2 or 5 times a power of ten) about every 100
// pixels, each at the column of the stored value it stands for; a label
// stands right of its tick, and the value under the mouse below the labels at
// the right.
constexpr int AXIS_TICK_LENGTH = 5;
constexpr int AXIS_LABEL_DROP = 11;
constexpr int MOUSE_VALUE_LEFT = 60;
struct AxisTick {
    int x;
    double dValue; // in scan units
};
std::vector<AxisTick> ComputeAxisTicks(double dScanOffset, double dScanScale, int nWidth);

// One vertical histogram line from (x, yBottom) to (x, yTop).
struct HistogramLine {
    int x;
    int yBottom;
    int yTop;
};

// The lines of the logarithmic histogram, by render mode:
// in Slicing mode standing on row 16 and scaled into the height above it,
// otherwise on row 0 over the full height. Bins are folded into columns with a
// running maximum; the bins of column 0 go to the next drawn column. Returns
// false and no lines when nothing can be drawn: no histogram, a fullest bin of
// 0 or 1 voxels (its logarithm gives no scale), an empty client area, or in
// Slicing mode no room above the bar.
bool ComputeHistogramLines(const int32_t* pHistogram, int nPeak, bool bSlicing, int nWidth,
                           int nHeight, std::vector<HistogramLine>& lines);

// The marker triangle of an inner point in Slicing mode: the tip on row 16 at
// the point's column, the two upper corners on row 21, 5 pixels to the right
// and to the left of the unrounded column.
struct MarkerTriangle {
    int tipX;
    int tipY;
    int rightX;
    int rightY;
    int leftX;
    int leftY;
};

// Only points strictly between 0 and 4095 get a marker.
bool HasMarker(int nPosition);
MarkerTriangle ComputeMarker(int nPosition, int nWidth);

// The name a file dialog hands back, completed with the default extension
// (".trf" for transfer functions) when the chosen file name has none.
std::string WithDefaultExtension(const std::string& sPath, const std::string& sExtension = "trf");
