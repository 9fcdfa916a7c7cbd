// What the ray casters see of the render state: the image sample type, the
// value codes, and the settings a run reads (client size and angles once, the
// compositing type, sampling and thresholds at every grid sample) with the
// camera values it writes for the wire box. The render state (view/RenderState.h)
// is made of these and the worker's start and stop; the casters take only them.
#pragma once

#include <atomic>
#include <cstdint>

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
enum VolumeType { VOLUME_TYPE_LEVOY = 0, VOLUME_TYPE_XRAY = 1, VOLUME_TYPE_FIRST_HIT = 2 };
enum SlicingPlane { SLICING_PLANE_XY = 0, SLICING_PLANE_XZ = 1, SLICING_PLANE_YZ = 2 };

class CRenderSettings {
public:
    // Client size; read by the worker once per run.
    std::atomic<int32_t> m_nHeight{0};
    std::atomic<int32_t> m_nWidth{0};
    // Radians; read by the worker once per run.
    std::atomic<float> m_fLatitude{0.0f};
    std::atomic<float> m_fLongitude{0.0f};
    // Read by the worker at every grid sample, possibly while the UI writes them.
    std::atomic<int32_t> m_nVolumeInterpolation{0};
    std::atomic<int32_t> m_nVolumeType{0};
    std::atomic<int32_t> m_nUpperThreshold{0};
    std::atomic<int32_t> m_nLowerThreshold{0};
    // Camera values for the wire box, written by the worker at each run's start.
    std::atomic<double> m_dFrustumRight{0.0};
    std::atomic<double> m_dFrustumTop{0.0};
    std::atomic<double> m_dNear{0.0};
    std::atomic<double> m_dScaleX{0.0};
    std::atomic<double> m_dScaleY{0.0};
    std::atomic<double> m_dScaleZ{0.0};
    std::atomic<double> m_dDistance{0.0};
};
