// The render state shared by the control panels (writers, through the render
// window's setters), the progressive worker (reader of the settings, writer of
// the back image and the camera values) and the render window (painter of the
// front image). Display-free: the wx render window derives from it and
// implements the two hooks by posting to the UI thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/Sync.h"
#include "view/RenderSettings.h"

class CViewerApp;
class CRenderPool;
class CBrickRanges;
class CSkipMap;

// Radians from whole degrees as the render state holds its angles: the product
// of the degrees and the float 1/180 is formed in float, multiplied by pi in
// double and stored as a float. Every front end converts with this, so that the
// same degrees give the same picture bit for bit.
float DegreesToRadians(int nDegrees);

class CRenderState : public CRenderSettings {
public:
    explicit CRenderState(CViewerApp* pApp);
    virtual ~CRenderState();
    CRenderState(const CRenderState&) = delete;
    CRenderState& operator=(const CRenderState&) = delete;

    // --- Worker start and stop protocol (UI thread only) ---
    // Starts a run unless one is active: 0 once the new run has reported that it
    // runs; -1 when a run is active (or its thread still starting), or when the new
    // thread gives up (no dataset) or does not report within a second.
    int StartProgressiveThread();
    // Asks an active run to end and waits up to 100 ms: 0 when none was active or
    // it ended, -1 on a time-out (the run then goes on).
    int StopProgressiveThread();
    // Blocks until no worker thread is alive any more (after a stop that may have
    // timed out, or to let a run finish). Used before the dataset, the table or the
    // window go away. It requests no stop of its own.
    void WaitForWorkerEnd();

    int GetRenderMode() const { return m_nRenderMode; }

    // --- Speed settings, read by the worker at the start of each run ---
    // How many threads cast a run's rays: the worker and the pool's threads
    // together. 0 (the default) means one per hardware thread. Takes effect at
    // the next run; the pool is remade only when the count changes.
    void SetRenderThreads(int nThreads);
    int GetRenderThreads() const { return m_nRenderThreads.load(); }
    // The count a run started now would use (0 resolved, at least 1).
    int RenderThreadsForRun() const;
    // Empty-space skipping (on by default). The images are the same either way;
    // off is for comparison and measurement.
    void SetEmptySpaceSkipping(bool bSkip) { m_bEmptySpaceSkipping.store(bSkip); }
    bool GetEmptySpaceSkipping() const { return m_bEmptySpaceSkipping.load(); }

    // --- Hooks the worker calls from its own thread. They must not block on the
    // UI thread: the window posts them to it. The defaults only record. ---
    virtual void PostTitle(const std::string& sTitle);
    virtual void PostRepaint();
    std::string LastPostedTitle() const;

    // --- Used by the worker on its own thread ---
    // The stop request as the worker polls it after every grid sample: a lock-free
    // mirror of m_hStopRequest, which only StopProgressiveThread sets and resets.
    bool IsStopRequested() const { return m_bStopRequested.load(std::memory_order_acquire); }
    // Zeroes the back image (as far as earlier runs can have written it) and records
    // that the new run writes only inside nWidth x nHeight, limited to the buffers.
    void ClearBackImage(int nWidth, int nHeight);
    // Makes the front image equal to the whole back image, copying only the part
    // that either of them can hold computed pixels in. The caller holds
    // m_hImageMutex.
    void CopyBackToFront();
    // The same when the front image already equals the back image except in the
    // columns flagged in pColumns (IMAGE_MAX_WIDTH flags): copies only those,
    // within the run's extent. Falls back to the whole copy when the front was not
    // last copied from this run's extent. The caller holds m_hImageMutex.
    void CopyBackColumnsToFront(const uint8_t* pColumns);
    // For code other than the worker that writes either image buffer directly
    // (while no run is active): the next clear and copy then cover the whole
    // buffers again.
    void ForgetImageExtents();
    // Called by the worker right before it sets m_hThreadRunning; the run's
    // clock starts here.
    void MarkWorkerRunning() {
        m_RunStart = std::chrono::steady_clock::now();
        m_bWorkerReported.store(true);
    }
    // Seconds since the current run reported that it runs. Worker thread only
    // (the hooks may call it).
    double RunSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_RunStart).count();
    }
    // Called by the worker when it enters its end sequence (or gives up at once):
    // from then on a start may wait for that thread instead of refusing.
    void MarkWorkerEnding() { m_bWorkerEnding.store(true); }
    // The worker's long-lived helpers, touched by the worker thread only (and
    // freed with the state once no worker is left): the casting pool with the
    // given number of lanes (made on first use, remade when the count changes),
    // the value ranges of the dataset's bricks (kept while the dataset stays the
    // same) and the run's skip map.
    CRenderPool& WorkerPool(int nLanes);
    CBrickRanges& WorkerBrickRanges();
    CSkipMap& WorkerSkipMap();

    CViewerApp* m_pApp;

    // Synchronisation objects (unnamed, manual reset, created non-signalled).
    CManualResetEvent m_hThreadRunning;
    CManualResetEvent m_hThreadEnded;
    CManualResetEvent m_hStopRequest;

    std::atomic<int32_t> m_nSliceInterpolation{0};
    std::atomic<bool> m_bInteractive{false};

    CTimedMutex m_hImageMutex;
    // Front image (last completed step, guarded by m_hImageMutex) and back image
    // (the run in progress, worker only); IMAGE_MAX_WIDTH columns each.
    ImageColumn* m_Image;
    ImageColumn* m_BackImage;

    int32_t m_nSlice = 0;
    int32_t m_nPlane = 0;
    std::atomic<int32_t> m_nRenderMode{RENDER_MODE_NONE};

private:
    struct FreeDeleter {
        void operator()(void* p) const;
    };
    std::unique_ptr<ImageColumn[], FreeDeleter> m_pFrontStorage;
    std::unique_ptr<ImageColumn[], FreeDeleter> m_pBackStorage;
    // Where the buffers can hold anything but zero bytes: columns [0, width) and
    // rows [0, height). The back extent belongs to the worker; the front extent
    // changes only under m_hImageMutex.
    int m_nBackExtentWidth = 0;
    int m_nBackExtentHeight = 0;
    int m_nFrontExtentWidth = 0;
    int m_nFrontExtentHeight = 0;

    std::atomic<bool> m_bStopRequested{false};
    std::atomic<int> m_nRenderThreads{0};
    std::atomic<bool> m_bEmptySpaceSkipping{true};
    std::unique_ptr<CRenderPool> m_pPool;
    std::unique_ptr<CBrickRanges> m_pBrickRanges;
    std::unique_ptr<CSkipMap> m_pSkipMap;
    // The worker thread object (touched only by the thread that starts and stops
    // runs), whether that thread has reported that it runs, whether it has entered
    // its end sequence, and whether it has returned.
    std::thread m_Worker;
    std::atomic<bool> m_bWorkerReported{false};
    std::atomic<bool> m_bWorkerEnding{false};
    std::atomic<bool> m_bWorkerExited{false};
    // When the current run reported that it runs (written and read by the
    // worker threads, one run after another).
    std::chrono::steady_clock::time_point m_RunStart;
    mutable std::mutex m_TitleMutex;
    std::string m_sLastTitle;
};
