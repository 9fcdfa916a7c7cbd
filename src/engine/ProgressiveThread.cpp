#include "engine/ProgressiveThread.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/ViewerApp.h"
#include "engine/RayCaster.h"
#include "platform/Sync.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"
#include "volume/Volume.h"

const char* const FINISHED_TITLE = "Render Output - finished";

std::string FormatStepReadyLine(int nStep, int32_t nElapsedMs) {
    char szLine[96];
    std::snprintf(szLine, sizeof(szLine), "step #%d ready! %d.%03d seconds elapsed\n", nStep,
                  static_cast<int>(nElapsedMs / 1000), static_cast<int>(nElapsedMs % 1000));
    return szLine;
}

std::string StepTitle(int nStep) {
    char szTitle[64];
    std::snprintf(szTitle, sizeof(szTitle), "Render Output - Step %d", nStep);
    return szTitle;
}

namespace {

// How long the worker waits for the image mutex before it gives up a step's
// copy, and the slices in which it waits, polling the stop request in between so
// that a stop is not held up by a long paint.
constexpr unsigned IMAGE_LOCK_WAIT_MS = 100;
constexpr unsigned IMAGE_LOCK_SLICE_MS = 2;

enum class LockResult { Locked, TimedOut, Stopped };

LockResult LockImage(CRenderState& wnd) {
    for (unsigned nWaited = 0; nWaited < IMAGE_LOCK_WAIT_MS; nWaited += IMAGE_LOCK_SLICE_MS) {
        if (wnd.m_hImageMutex.Lock(std::min(IMAGE_LOCK_SLICE_MS, IMAGE_LOCK_WAIT_MS - nWaited)))
            return LockResult::Locked;
        if (wnd.IsStopRequested())
            return LockResult::Stopped;
    }
    return LockResult::TimedOut;
}

} // namespace

int ProgressiveVolumeThread() {
    CViewerApp* pApp = GetViewerApp();
    CRenderState* pWnd = pApp->m_pRenderWnd;
    CVolume* pVolume = pApp->m_pVolume;
    CTransferFunction* pTransferFunction = pApp->m_pTransferFunction;
    CVectorMath* pVectorMath = pApp->m_pVectorMath;
    if (!pWnd)
        return -1;
    if (!pVolume || !pVolume->m_pVoxels || pVolume->m_nVoxelCount < 1 || !pTransferFunction ||
        !pVectorMath) {
        pWnd->MarkWorkerEnding();
        return -1;
    }
    CRenderState& wnd = *pWnd;
    CVolume& volume = *pVolume;

    DebugOutput("ProgressiveVolumeThread started!\n");
    // Ended goes off before Running comes on, so that a stop that sees this run
    // running never finds the previous run's Ended still set.
    wnd.m_hThreadEnded.Reset();
    wnd.MarkWorkerRunning();
    wnd.m_hThreadRunning.Set();

    const int W = wnd.m_nWidth.load();
    const int H = wnd.m_nHeight.load();
    // Only what lies inside both the client area and the image buffers is rendered.
    const int nBufferWidth = std::clamp(W, 0, IMAGE_MAX_WIDTH);
    const int nBufferHeight = std::clamp(H, 0, IMAGE_MAX_HEIGHT);

    wnd.ClearBackImage(nBufferWidth, nBufferHeight);
    std::memset(volume.m_pShadeValid, 0, static_cast<size_t>(volume.m_nVoxelCount));

    RayView view;
    SetupView(wnd, volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ, *pVectorMath, view);

    const uint32_t t0 = TimeGetTime();

    if (!wnd.m_bInteractive.load()) {
        ImageColumn* const pBack = wnd.m_BackImage;
        const float D = static_cast<float>(std::max(W, H));
        const double dW = W;
        const double dH = H;
        bool bStopped = false;
        for (int nStep = 1; nStep <= PROGRESSIVE_STEPS && !bStopped; ++nStep) {
            wnd.PostTitle(StepTitle(nStep));
            const int n = 1 << (nStep - 1);
            if (2.0f * D <= static_cast<float>(n))
                break;
            for (int a = 1; a <= n && !bStopped; ++a) {
                const double fy = static_cast<double>(a - 1) / n;
                const int y = static_cast<int>(fy * dH);
                const bool bRowInside = y >= 0 && y < nBufferHeight;
                for (int b = 1; b <= n; ++b) {
                    const double fx = static_cast<double>(b - 1) / n;
                    const int x = static_cast<int>(fx * dW);
                    if (bRowInside && x >= 0 && x < nBufferWidth && !pBack[x][y].computed)
                        CastGridRay(view, wnd, fx, fy, *pTransferFunction, volume, pBack[x][y]);
                    if (wnd.IsStopRequested()) {
                        bStopped = true;
                        break;
                    }
                }
            }
            if (bStopped)
                break;

            const LockResult eLock = LockImage(wnd);
            if (eLock == LockResult::Stopped)
                break;
            if (eLock == LockResult::Locked) {
                wnd.CopyBackToFront();
                wnd.m_hImageMutex.Unlock();
                wnd.PostRepaint();
            }
            const int32_t nElapsed = static_cast<int32_t>(TimeGetTime() - t0);
            DebugOutput(FormatStepReadyLine(nStep, nElapsed).c_str());
        }
    }

    // End sequence.
    view.pMatrix.reset();
    wnd.MarkWorkerEnding();
    wnd.m_hThreadRunning.Reset();
    wnd.m_hThreadEnded.Set();
    wnd.PostTitle(FINISHED_TITLE);
    DebugOutput("ProgressiveVolumeThread ended!\n");
    return 0;
}
