// The render core: the render settings behind setters that keep the worker's
// rule (a change of anything a run reads comes between a stop and a new start),
// the scene a run renders (dataset, transfer function, vector math), the image
// buffers, the progressive worker's start and stop, the helpers it keeps from
// run to run (casting pool, brick ranges, skip map, shading cache) and its
// progress reports. Display-free: the wx render window, the panels and the
// headless viewer all drive this one object; the window derives from it and
// implements the hooks by posting to the UI thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Sync.h"
#include "render/Status.h"
#include "render/RenderSettings.h"
#include "render/SliceView.h"

class CRenderPool;
class CBrickRanges;
class CSkipMap;
class CShadeCache;
class CVolume;
class CTransferFunction;
class CVectorMath;

// How a start of the worker went.
enum class StartResult {
    STARTED, // the new run has reported that it runs
    BUSY,    // a run is active (or its thread still starting): none started
    // Nothing to render (no dataset with voxels, no transfer function or vector
    // math) or no memory for the shading cache: the thread gave up at once.
    NOTHING,
    NO_REPORT, // the new thread did not report within a second (it may still run)
};

class CRenderState : public CRenderSettings {
public:
    CRenderState();
    virtual ~CRenderState();
    CRenderState(const CRenderState&) = delete;
    CRenderState& operator=(const CRenderState&) = delete;

    // --- The scene (UI thread). Not owned. ---
    // Replaces the dataset (null: none) and the file it came from. The worker is
    // stopped and waited for first: no run may read a dataset that is about to
    // go. No new run starts.
    void SetVolume(CVolume* pVolume, const std::string& sPath = std::string());
    CVolume* Volume() const { return m_pVolume; }
    const std::string& DatasetPath() const { return m_sDatasetPath; }
    // The transfer function and the vector-math object the runs use.
    void SetTransferFunction(CTransferFunction* pTransferFunction) {
        m_pTransferFunction = pTransferFunction;
    }
    CTransferFunction* TransferFunction() const { return m_pTransferFunction; }
    void SetVectorMath(CVectorMath* pVectorMath) { m_pVectorMath = pVectorMath; }
    CVectorMath* VectorMath() const { return m_pVectorMath; }
    // What the transfer function calls around a rebuild of its table: the
    // worker stops before (bDone false) and, in Volume mode, starts after.
    void OnTableRebuild(bool bDone);

    // --- Settings (UI thread). Those a run reads stop an active run first and,
    // in Volume mode and outside an interaction, start a new one afterwards;
    // setting a value that is already set changes nothing. ---
    void SetRenderMode(int nMode); // Volume mode (re)starts the worker
    int GetRenderMode() const { return m_nRenderMode; }
    void SetViewSize(int nWidth, int nHeight); // restarts in Volume mode
    void SetLongitude(int nDegrees);
    void SetLatitude(int nDegrees);
    // The camera angles in radians, as a drag leaves them: one stop and one
    // start for both.
    void SetAngles(float fLongitude, float fLatitude);
    // One of the standard views (VIEW_PRESETS, render/Orientation.h) by its
    // index: its whole-degree angles, converted as SetLongitude and
    // SetLatitude convert. Any other index changes nothing.
    void SetViewPreset(int nPreset);
    // The zoom and pan of the volume picture (ZoomPan; the zoom limited to
    // ZOOM_MIN..ZOOM_MAX): one stop and one start for the three.
    void SetZoomPan(const ZoomPan& zoom);
    ZoomPan GetZoomPan() const { return CurrentCamera().zoom; }
    // "Reset View": zoom 1, no pan and the start angles (longitude 0, latitude
    // 90), with one stop and one start.
    void ResetView();
    void SetVolumeType(int nType);
    void SetVolumeInterpolation(int nInterpolation);
    void SetLowerThreshold(int nThreshold);
    void SetUpperThreshold(int nThreshold);
    // The crop box (voxels, kept as given; a run fits it into the dataset's
    // grid). A new dataset starts with the whole volume.
    void SetCropBox(const CropBox& box);
    // Slice settings; no run reads them.
    void SetSlicingPlane(int nPlane);
    void SetSliceNumber(int nSlice);
    void SetSliceInterpolation(int nInterpolation);
    // Greys or colours, window and level, orientation of the slice.
    void SetSliceLook(const SliceLook& look);
    const SliceLook& GetSliceLook() const { return m_SliceLook; }
    // An interaction (turning the view, dragging a threshold) stops the worker
    // and holds further runs back until it ends. bTurn: it turns the view, and
    // the window shows the wire box only meanwhile, unless the picture is shown
    // while turning: then every change of the angles starts a run that ends
    // after the first step that ends m_dTurnBudget seconds or more after its
    // start. Beginning again while one lasts changes nothing but the flags. The
    // end starts a full run in Volume mode.
    void BeginInteraction(bool bTurn = true);
    void EndInteraction();
    bool IsInteracting() const { return m_bHeld; }
    // The user turns the view (with the mouse, a slider or a key) right now.
    bool IsTurning() const { return m_bHeld && m_bTurn; }
    // "Show the picture while turning" (off: the wire box only). Takes effect
    // at the next interaction.
    void SetPictureWhileTurning(bool bShow) { m_bPictureWhileTurning = bShow; }
    bool GetPictureWhileTurning() const { return m_bPictureWhileTurning; }
    // Stops a run and starts a new one whatever the mode ("Refresh").
    void Restart();
    // A start that a run still under way refused (its stop timed out, say under
    // a long paint) is made once that run has ended: the window calls this
    // when a run's end reaches it. Nothing while a run is active.
    void RetryRefusedStart();
    // While held, no run starts (StartProgressiveThread: NOTHING): the
    // dataset's gradients are away while another dataset loads. Holding stops
    // a run first; the window keeps its picture.
    void HoldRuns(bool bHold);
    bool RunsHeld() const { return m_bRunsHeld; }

    // --- Worker start and stop protocol (UI thread only) ---
    // Starts a run unless one is active.
    StartResult StartProgressiveThread();
    // Asks an active run to end and waits up to 100 ms: 0 when none was active or
    // it ended, -1 on a time-out (the run then goes on).
    int StopProgressiveThread();
    // Blocks until no worker thread is alive any more (after a stop that may have
    // timed out, or to let a run finish). Used before the dataset, the table or the
    // window go away. It requests no stop of its own.
    void WaitForWorkerEnd();

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
    virtual void PostProgress(const RenderProgress& progress);
    virtual void PostRepaint();
    // Called on the UI thread after the mode or a slice setting has changed,
    // which the picture shows at once (a window repaints). The default: nothing.
    virtual void ShowSettings() {}
    RenderProgress LastProgress() const;
    // Runs that have reached their end sequence so far.
    int RunsEnded() const { return m_nRunsEnded.load(); }

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
    void MarkRunEnded() { ++m_nRunsEnded; }
    // The worker's long-lived helpers, touched by the worker thread only (and
    // freed with the state once no worker is left): the casting pool with the
    // given number of lanes (made on first use, remade when the count changes),
    // the value ranges of the dataset's bricks (kept while the dataset stays the
    // same), the run's skip map and the shading cache.
    CRenderPool& WorkerPool(int nLanes);
    CBrickRanges& WorkerBrickRanges();
    CSkipMap& WorkerSkipMap();
    CShadeCache& WorkerShadeCache();
    // The wire box of the last run's view: the worker stores it at the run's
    // start, the window draws it.
    void StoreWireBox(const WireBox& box);
    WireBox LastWireBox() const;

    // Synchronisation objects (unnamed, manual reset, created non-signalled).
    CManualResetEvent m_hThreadRunning;
    CManualResetEvent m_hThreadEnded;
    CManualResetEvent m_hStopRequest;

    std::atomic<int32_t> m_nSliceInterpolation{0};

    CTimedMutex m_hImageMutex;
    // Front image (last completed step, guarded by m_hImageMutex) and back image
    // (the run in progress, worker only); IMAGE_MAX_WIDTH columns each.
    ImageColumn* m_Image;
    ImageColumn* m_BackImage;

    int32_t m_nSlice = 0;
    int32_t m_nPlane = 0;
    std::atomic<int32_t> m_nRenderMode{RENDER_MODE_NONE};

private:
    // Sets a setting that a run reads, keeping the worker's rule.
    template <class T, class U> void Change(std::atomic<T>& setting, U value);
    // StopProgressiveThread when a run is active (without its line otherwise).
    void StopIfRunning();
    // Starts a run in Volume mode unless an interaction holds runs back (a turn
    // with the picture shown does not).
    void StartIfShowing();
    void StoreCropBox(const CropBox& box);

    CVolume* m_pVolume = nullptr;
    CTransferFunction* m_pTransferFunction = nullptr;
    CVectorMath* m_pVectorMath = nullptr;
    std::string m_sDatasetPath;
    bool m_bHeld = false;
    bool m_bRunsHeld = false;
    bool m_bTurn = false;
    bool m_bPictureWhileTurning = false;
    SliceLook m_SliceLook;

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
    std::unique_ptr<CShadeCache> m_pShadeCache;
    // The worker thread object (touched only by the thread that starts and stops
    // runs), whether that thread has reported that it runs, whether it has entered
    // its end sequence, and whether it has returned.
    std::thread m_Worker;
    std::atomic<bool> m_bWorkerReported{false};
    std::atomic<bool> m_bWorkerEnding{false};
    std::atomic<bool> m_bWorkerExited{false};
    // A start came while a run was active and was not made (RetryRefusedStart).
    bool m_bStartRefused = false;
    // When the current run reported that it runs (written and read by the
    // worker threads, one run after another).
    std::chrono::steady_clock::time_point m_RunStart;
    std::atomic<int> m_nRunsEnded{0};
    mutable std::mutex m_ProgressMutex; // guards the two below
    RenderProgress m_LastProgress;
    WireBox m_WireBox;
};
