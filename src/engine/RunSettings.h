// What one rendering run reads: the image sample type and its buffers' size,
// the value codes, the camera and the settings, taken once when the run starts
// (so a picture never mixes two settings), and the wire box the camera gives.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

// One sample of the volume image.
struct ImagePixel {
    uint8_t computed; // 1 once the renderer has computed this sample
    float r;          // colour as computed; may lie outside 0..1
    float g;
    float b;
};

constexpr int IMAGE_MAX_WIDTH = 1920;
constexpr int IMAGE_MAX_HEIGHT = 1440;

// The most threads a run casts with.
constexpr int MAX_RENDER_THREADS = 64;

// An image buffer indexed [column][row]; row 0 is the top row of the window and
// consecutive rows of one column are adjacent in memory.
using ImageColumn = ImagePixel[IMAGE_MAX_HEIGHT];

// Value codes.
enum RenderMode { RENDER_MODE_NONE = 0, RENDER_MODE_SLICING = 1, RENDER_MODE_VOLUME = 2 };
enum VolumeType {
    VOLUME_TYPE_LEVOY = 0,
    VOLUME_TYPE_XRAY = 1,
    VOLUME_TYPE_FIRST_HIT = 2,
    VOLUME_TYPE_MIP = 3,   // maximum-intensity projection
    VOLUME_TYPE_MINIP = 4, // minimum-intensity projection
};
enum SlicingPlane { SLICING_PLANE_XY = 0, SLICING_PLANE_XZ = 1, SLICING_PLANE_YZ = 2 };

// Radians from whole degrees as the camera holds its angles: the product of
// the degrees and the float 1/180 is formed in float, multiplied by pi in double
// and stored as a float. Every front end converts with this, so that the same
// degrees give the same picture bit for bit.
inline float DegreesToRadians(int nDegrees) {
    const float fScaled = static_cast<float>(nDegrees) * (1.0f / 180.0f); // 0.0055555557f
    return static_cast<float>(static_cast<double>(fScaled) * 3.14159265358979323846);
}

// The camera's start angles in whole degrees: the default view.
constexpr int DEFAULT_LONGITUDE = 0;
constexpr int DEFAULT_LATITUDE = 90;

// The zoom range of both modes, and the factor of one wheel notch or key.
constexpr double ZOOM_MIN = 0.25;
constexpr double ZOOM_MAX = 16.0;
constexpr double ZOOM_STEP = 1.25;

// How a picture is magnified and moved on screen: the zoom factor about the
// centre of the client area, then the pan in pixels of the picture (x to the
// right, y downward). Zoom 1 without pan is the picture as it fits the window.
struct ZoomPan {
    double dZoom = 1.0, dPanX = 0.0, dPanY = 0.0;
    bool IsDefault() const { return dZoom == 1.0 && dPanX == 0.0 && dPanY == 0.0; }
    // The zoom dNewZoom (limited to ZOOM_MIN..ZOOM_MAX) about the point dX, dY
    // pixels right of and below the centre of the client area: what lies under
    // that point stays there.
    // A zoom within rounding of a power of ZOOM_STEP becomes that power, and a
    // pan within rounding of 0 becomes 0: stepping in and back out returns to
    // the default view exactly.
    ZoomPan ZoomedAt(double dNewZoom, double dX, double dY) const {
        double dTo = std::clamp(dNewZoom, ZOOM_MIN, ZOOM_MAX);
        const double dPower = std::round(std::log(dTo) / std::log(ZOOM_STEP));
        if (std::fabs(dTo / std::pow(ZOOM_STEP, dPower) - 1.0) < 1e-9)
            dTo = std::pow(ZOOM_STEP, dPower);
        const double dRatio = dTo / dZoom;
        const auto pan = [dRatio](double dAt, double dPan) {
            const double d = dAt - dRatio * (dAt - dPan);
            return std::fabs(d) < 1e-6 ? 0.0 : d;
        };
        return ZoomPan{dTo, pan(dX, dPanX), pan(dY, dPanY)};
    }
};

// Where the volume is seen from: the rotation (radians) about the y axis
// (longitude) and the x axis (latitude), and the zoom and pan of the picture.
struct Camera {
    float fLongitude = 0.0f, fLatitude = 0.0f;
    ZoomPan zoom;
};

// The part of the volume that is rendered: the voxels nMin[a]..nMax[a]
// (inclusive) along each axis a (0 x, 1 y, 2 z). The default holds every
// voxel of any grid; Clamped fits a box into a grid.
struct CropBox {
    int32_t nMin[3] = {0, 0, 0};
    int32_t nMax[3] = {INT32_MAX, INT32_MAX, INT32_MAX};

    // The box within a grid of pDims voxels: each minimum in 0..dim - 1, each
    // maximum in minimum..dim - 1.
    CropBox Clamped(const int* pDims) const {
        CropBox box;
        for (int a = 0; a < 3; ++a) {
            const int32_t nLast = pDims[a] > 0 ? pDims[a] - 1 : 0;
            box.nMin[a] = nMin[a] < 0 ? 0 : (nMin[a] > nLast ? nLast : nMin[a]);
            box.nMax[a] = nMax[a] < box.nMin[a] ? box.nMin[a] : (nMax[a] > nLast ? nLast : nMax[a]);
        }
        return box;
    }
    // Whether the box holds every voxel of a grid of pDims voxels.
    bool IsWhole(const int* pDims) const {
        const CropBox box = Clamped(pDims);
        for (int a = 0; a < 3; ++a)
            if (box.nMin[a] != 0 || box.nMax[a] + 1 < pDims[a])
                return false;
        return true;
    }
    bool operator==(const CropBox&) const = default;
};

// The settings of one run.
struct RunSettings {
    int32_t nWidth = 0; // client size in pixels
    int32_t nHeight = 0;
    Camera camera;
    int32_t nVolumeType = VOLUME_TYPE_LEVOY;
    int32_t nVolumeInterpolation = 0; // 0 nearest neighbour, 1 trilinear
    int32_t nLowerThreshold = 0;      // First Hit and MinIP
    int32_t nUpperThreshold = 0;
    CropBox crop;              // samples outside it are left out
    bool bInteractive = false; // the user turns the view: no picture, the wire box only
    // The user turns the view with the picture shown: the run ends after the
    // first step that ends this many seconds or more after the run's start.
    // Infinite: every step.
    double dStepBudget = std::numeric_limits<double>::infinity();
};

// The wire box of a view: the frustum at the near plane (half width, half
// height, distance), the box's size along x, y and z and its centre's distance
// from the eye.
struct WireBox {
    double dFrustumRight = 0.0, dFrustumTop = 0.0, dNear = 0.0;
    // Where the frustum's centre lies at the near plane (x right, y up): the
    // pan of a zoomed view moves it off the axis.
    double dFrustumCentreX = 0.0, dFrustumCentreY = 0.0;
    double dScale[3] = {0.0, 0.0, 0.0};
    double dDistance = 0.0;
    // The crop box within that box, whose edges are 1 long and whose centre is
    // 0: its centre and its size along the box's axes (the box's y and z run
    // against the volume's).
    double dCropCentre[3] = {0.0, 0.0, 0.0};
    double dCropSize[3] = {1.0, 1.0, 1.0};
};

// The wire box's frustum at the near plane (the image plane) for a W x H client
// area and a zoom and pan; a client dimension below 1 counts as 1.
void SetWireFrustum(int nWidth, int nHeight, const ZoomPan& zoom, WireBox& box);
