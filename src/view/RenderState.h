// The render state shared by the control panels (writers, through the render
// window's setters), the progressive worker (reader of the settings, writer of
// the back image and the camera values) and the render window (painter of the
// front image). Display-free: the wx render window derives from it and
// implements the two hooks by posting to the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/Sync.h"

class CViewerApp;

// One sample of the volume image.
struct ImagePixel {
    uint8_t computed; // 1 once the renderer has computed this sample
    float r;          // colour as computed; may lie outside 0..1
    float g;
    float b;
};

constexpr int IMAGE_MAX_WIDTH = 1920;
constexpr int IMAGE_MAX_HEIGHT = 1440;

// An image buffer indexed [column][row]; row 0 is the top row of the window and
// consecutive rows of one column are adjacent in memory.
using ImageColumn = ImagePixel[IMAGE_MAX_HEIGHT];

// Value codes.
enum RenderMode { RENDER_MODE_NONE = 0, RENDER_MODE_SLICING = 1, RENDER_MODE_VOLUME = 2 };
enum VolumeType { VOLUME_TYPE_LEVOY = 0, VOLUME_TYPE_XRAY = 1, VOLUME_TYPE_FIRST_HIT = 2 };
enum SlicingPlane { SLICING_PLANE_XY = 0, SLICING_PLANE_XZ = 1, SLICING_PLANE_YZ = 2 };

class CRenderState {
public:
    explicit CRenderState(CViewerApp* pApp);
    virtual ~CRenderState();
    CRenderState(const CRenderState&) = delete;
    CRenderState& operator=(const CRenderState&) = delete;

    // --- Worker start and stop protocol (UI thread only) ---
    // Starts a run unless one is active: 0 when the new run reported that it runs
    // within 100 ms, -1 otherwise.
    int StartProgressiveThread();
    // Asks an active run to end and waits up to 100 ms: 0 when none was active or
    // it ended, -1 on a time-out (the run then goes on).
    int StopProgressiveThread();
    // Blocks until no worker thread is alive any more (after a stop that may have
    // timed out). Used before the dataset, the table or the window go away.
    void WaitForWorkerEnd();

    int GetRenderMode() const { return m_nRenderMode; }

    // --- Hooks the worker calls from its own thread. They must not block on the
    // UI thread: the window posts them to it. The defaults only record. ---
    virtual void PostTitle(const std::string& sTitle);
    virtual void PostRepaint();
    std::string LastPostedTitle() const;

    CViewerApp* m_pApp;

    // Synchronisation objects (unnamed, manual reset, created non-signalled).
    CManualResetEvent m_hThreadRunning;
    CManualResetEvent m_hThreadEnded;
    CManualResetEvent m_hStopRequest;

    // Client size; read by the worker once per run.
    std::atomic<int32_t> m_nHeight{0};
    std::atomic<int32_t> m_nWidth{0};
    // Radians; read by the worker once per run.
    std::atomic<float> m_fLatitude{0.0f};
    std::atomic<float> m_fLongitude{0.0f};

    std::atomic<int32_t> m_nSliceInterpolation{0};
    // Read by the worker at every grid sample, possibly while the UI writes them.
    std::atomic<int32_t> m_nVolumeInterpolation{0};
    std::atomic<int32_t> m_nVolumeType{0};
    std::atomic<int32_t> m_nUpperThreshold{0};
    std::atomic<int32_t> m_nLowerThreshold{0};
    std::atomic<bool> m_bInteractive{false};

    CTimedMutex m_hImageMutex;
    // Front image (last completed step, guarded by m_hImageMutex) and back image
    // (the run in progress, worker only); IMAGE_MAX_WIDTH columns each.
    ImageColumn* m_Image;
    ImageColumn* m_BackImage;

    // Camera values for the wire box, written by the worker at each run's start.
    std::atomic<double> m_dFrustumRight{0.0};
    std::atomic<double> m_dFrustumTop{0.0};
    std::atomic<double> m_dNear{0.0};
    std::atomic<double> m_dScaleX{0.0};
    std::atomic<double> m_dScaleY{0.0};
    std::atomic<double> m_dScaleZ{0.0};
    std::atomic<double> m_dDistance{0.0};

    int32_t m_nSlice = 0;
    int32_t m_nPlane = 0;
    std::atomic<int32_t> m_nRenderMode{RENDER_MODE_NONE};

private:
    std::unique_ptr<ImageColumn[]> m_pFrontStorage;
    std::unique_ptr<ImageColumn[]> m_pBackStorage;
    std::thread m_Worker;
    mutable std::mutex m_TitleMutex;
    std::string m_sLastTitle;
};
