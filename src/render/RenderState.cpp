#include "render/RenderState.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/BrickMap.h"
#include "engine/RenderPool.h"
#include "engine/ShadeCache.h"
#include "render/Orientation.h"
#include "render/ProgressiveThread.h"

namespace {

// How long a start waits at most for the new thread to report that it runs, and
// the slices in which it looks whether the thread has given up instead.
constexpr unsigned START_WAIT_MS = 1000;
constexpr unsigned START_WAIT_SLICE_MS = 1;

// Both buffers come zero-filled from calloc: no computed pixel, and the pages
// are only touched once a run writes them.
ImageColumn* AllocateImage() {
    void* p = std::calloc(IMAGE_MAX_WIDTH, sizeof(ImageColumn));
    if (!p) {
        DebugOutput("Out of memory for the image buffers!\n");
        std::abort();
    }
    return static_cast<ImageColumn*>(p);
}

} // namespace

void CRenderState::FreeDeleter::operator()(void* p) const {
    std::free(p);
}

CRenderState::CRenderState() : m_pFrontStorage(AllocateImage()), m_pBackStorage(AllocateImage()) {
    m_Image = m_pFrontStorage.get();
    m_BackImage = m_pBackStorage.get();
}

CRenderState::~CRenderState() {
    // A window that overrides the hooks stops and waits in its own destructor,
    // before its part of the object is gone; this is the last safety net. The
    // pool's threads end with the state, after the worker.
    StopProgressiveThread();
    WaitForWorkerEnd();
}

void CRenderState::SetVolume(CVolume* pVolume, const std::string& sPath) {
    // Even a run whose stop timed out must be gone before the dataset changes.
    StopIfRunning();
    WaitForWorkerEnd();
    m_pVolume = pVolume;
    StoreCropBox(CropBox());
    m_sDatasetPath = pVolume ? sPath : std::string();
}

void CRenderState::OnTableRebuild(bool bDone) {
    if (!bDone) {
        // The stop waits only a bounded time; the table must not change under
        // a run that is still going.
        StopProgressiveThread();
        WaitForWorkerEnd();
    } else if (m_nRenderMode == RENDER_MODE_VOLUME)
        StartProgressiveThread();
}

void CRenderState::StopIfRunning() {
    if (m_hThreadRunning.IsSet())
        StopProgressiveThread();
}

void CRenderState::StartIfShowing() {
    if (m_nRenderMode == RENDER_MODE_VOLUME && (!m_bHeld || m_bTurnPicture.load()))
        m_bStartRefused = StartProgressiveThread() == StartResult::BUSY;
}

void CRenderState::RetryRefusedStart() {
    if (m_bStartRefused && !m_hThreadRunning.IsSet())
        StartIfShowing();
}

template <class T, class U> void CRenderState::Change(std::atomic<T>& setting, U value) {
    if (setting.load() == static_cast<T>(value))
        return;
    StopIfRunning();
    setting = static_cast<T>(value);
    StartIfShowing();
}

void CRenderState::SetRenderMode(int nMode) {
    m_nRenderMode = nMode;
    if (nMode == RENDER_MODE_VOLUME)
        Restart();
    ShowSettings();
}

void CRenderState::SetSlicingPlane(int nPlane) {
    m_nPlane = nPlane;
    ShowSettings();
}

void CRenderState::SetSliceNumber(int nSlice) {
    m_nSlice = nSlice;
    ShowSettings();
}

void CRenderState::SetSliceInterpolation(int nInterpolation) {
    m_nSliceInterpolation = nInterpolation;
    ShowSettings();
}

void CRenderState::SetSliceLook(const SliceLook& look) {
    m_SliceLook = look;
    ShowSettings();
}

void CRenderState::SetViewSize(int nWidth, int nHeight) {
    StopIfRunning();
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    StartIfShowing();
}

void CRenderState::SetLongitude(int nDegrees) {
    Change(m_fLongitude, DegreesToRadians(nDegrees));
}

void CRenderState::SetLatitude(int nDegrees) {
    Change(m_fLatitude, DegreesToRadians(nDegrees));
}

void CRenderState::SetAngles(float fLongitude, float fLatitude) {
    if (m_fLongitude.load() == fLongitude && m_fLatitude.load() == fLatitude)
        return;
    StopIfRunning();
    m_fLongitude = fLongitude;
    m_fLatitude = fLatitude;
    StartIfShowing();
}

void CRenderState::SetViewPreset(int nPreset) {
    if (nPreset < 0 || nPreset >= VIEW_PRESET_COUNT)
        return;
    const ViewPreset& preset = VIEW_PRESETS[nPreset];
    SetAngles(DegreesToRadians(preset.nLongitude), DegreesToRadians(preset.nLatitude));
}

void CRenderState::SetZoomPan(const ZoomPan& zoom) {
    const double dZoom = std::clamp(zoom.dZoom, ZOOM_MIN, ZOOM_MAX);
    if (m_dZoom.load() == dZoom && m_dPanX.load() == zoom.dPanX && m_dPanY.load() == zoom.dPanY)
        return;
    StopIfRunning();
    m_dZoom = dZoom;
    m_dPanX = zoom.dPanX;
    m_dPanY = zoom.dPanY;
    StartIfShowing();
}

void CRenderState::ResetView() {
    const bool bHeld = m_bHeld;
    m_bHeld = true; // the first change stops a run; one start for all
    SetZoomPan(ZoomPan());
    SetLongitude(DEFAULT_LONGITUDE);
    SetLatitude(DEFAULT_LATITUDE);
    m_bHeld = bHeld;
    StartIfShowing();
}

void CRenderState::SetVolumeType(int nType) {
    Change(m_nVolumeType, nType);
}

void CRenderState::SetVolumeInterpolation(int nInterpolation) {
    Change(m_nVolumeInterpolation, nInterpolation);
}

void CRenderState::SetLowerThreshold(int nThreshold) {
    Change(m_nLowerThreshold, nThreshold);
}

void CRenderState::SetUpperThreshold(int nThreshold) {
    Change(m_nUpperThreshold, nThreshold);
}

void CRenderState::SetCropBox(const CropBox& box) {
    if (CurrentCropBox() == box)
        return;
    StopIfRunning();
    StoreCropBox(box);
    StartIfShowing();
}

void CRenderState::StoreCropBox(const CropBox& box) {
    for (int a = 0; a < 3; ++a) {
        m_nCrop[2 * a] = box.nMin[a];
        m_nCrop[2 * a + 1] = box.nMax[a];
    }
}

void CRenderState::BeginInteraction(bool bTurn) {
    StopIfRunning();
    m_bHeld = true;
    m_bTurn = bTurn;
    const bool bPicture = bTurn && m_bPictureWhileTurning;
    m_bInteractive = bTurn && !bPicture;
    m_bTurnPicture = bPicture;
}

void CRenderState::EndInteraction() {
    if (!m_bHeld)
        return;
    // A run for the last angle may still refine within the budget; the full
    // run replaces it.
    if (m_bTurnPicture.load())
        StopIfRunning();
    m_bHeld = false;
    m_bTurn = false;
    m_bInteractive = false;
    m_bTurnPicture = false;
    StartIfShowing();
}

void CRenderState::Restart() {
    StopProgressiveThread();
    m_bStartRefused = StartProgressiveThread() == StartResult::BUSY;
}

void CRenderState::HoldRuns(bool bHold) {
    if (bHold) {
        StopIfRunning();
        WaitForWorkerEnd();
    }
    m_bRunsHeld = bHold;
}

void CRenderState::SetRenderThreads(int nThreads) {
    m_nRenderThreads.store(std::clamp(nThreads, 0, MAX_RENDER_THREADS));
}

int CRenderState::RenderThreadsForRun() const {
    const int nThreads = m_nRenderThreads.load();
    if (nThreads > 0)
        return nThreads;
    const unsigned nHardware = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(nHardware), 1, MAX_RENDER_THREADS);
}

CRenderPool& CRenderState::WorkerPool(int nLanes) {
    if (!m_pPool || m_pPool->Lanes() != nLanes) {
        m_pPool.reset(); // its threads end before the new ones start
        m_pPool = std::make_unique<CRenderPool>(nLanes);
    }
    return *m_pPool;
}

CBrickRanges& CRenderState::WorkerBrickRanges() {
    if (!m_pBrickRanges)
        m_pBrickRanges = std::make_unique<CBrickRanges>();
    return *m_pBrickRanges;
}

CShadeCache& CRenderState::WorkerShadeCache() {
    if (!m_pShadeCache)
        m_pShadeCache = std::make_unique<CShadeCache>();
    return *m_pShadeCache;
}

CSkipMap& CRenderState::WorkerSkipMap() {
    if (!m_pSkipMap)
        m_pSkipMap = std::make_unique<CSkipMap>();
    return *m_pSkipMap;
}

StartResult CRenderState::StartProgressiveThread() {
    if (m_bRunsHeld)
        return StartResult::NOTHING;
    if (m_hThreadRunning.Wait(0))
        return StartResult::BUSY;
    if (m_Worker.joinable()) {
        // The previous thread has not reported that it runs: it is either still
        // starting (then a run is active and no second thread may come) or already
        // ending or gone (then joining it takes no time).
        if (!m_bWorkerEnding.load() && !m_bWorkerExited.load())
            return StartResult::BUSY;
        m_Worker.join();
    }
    // A dataset whose gradients were let go while another one loads gets them
    // back before it is cast again (the same bits, from its voxels).
    if (m_pVolume && !m_pVolume->HasGradients() && !m_pVolume->RestoreGradients())
        return StartResult::NOTHING;
    m_bWorkerReported.store(false);
    m_bWorkerEnding.store(false);
    m_bWorkerExited.store(false);
    m_Worker = std::thread([this] {
        ProgressiveVolumeThread(*this);
        m_bWorkerExited.store(true);
    });
    // Wait until the new thread reports that it runs, or gives up at once (no
    // dataset), in short slices: a thread that is only slow to be scheduled (a
    // busy machine) still counts as started, and a thread that has given up is
    // not waited for in vain.
    // A run that ends before this thread wakes up (an interactive run, say) has
    // still reported through m_bWorkerReported.
    for (unsigned nWaited = 0; nWaited < START_WAIT_MS; nWaited += START_WAIT_SLICE_MS) {
        if (m_hThreadRunning.Wait(START_WAIT_SLICE_MS) || m_bWorkerReported.load())
            return StartResult::STARTED;
        if (m_bWorkerExited.load())
            return m_bWorkerReported.load() ? StartResult::STARTED : StartResult::NOTHING;
    }
    return m_bWorkerReported.load() ? StartResult::STARTED : StartResult::NO_REPORT;
}

int CRenderState::StopProgressiveThread() {
    if (!m_hThreadRunning.Wait(0)) {
        DebugOutput("Progressive Thread not running!\n");
        return 0;
    }
    m_bStopRequested.store(true, std::memory_order_release);
    m_hStopRequest.Set();
    const bool bEnded = m_hThreadEnded.Wait(100);
    // The request is withdrawn whatever the wait gave.
    m_hStopRequest.Reset();
    m_bStopRequested.store(false, std::memory_order_release);
    if (!bEnded) {
        DebugOutput("Error waiting for Progressive Thread End!\n");
        return -1;
    }
    return 0;
}

void CRenderState::WaitForWorkerEnd() {
    if (m_Worker.joinable())
        m_Worker.join();
}

void CRenderState::PostProgress(const RenderProgress& progress) {
    std::lock_guard<std::mutex> lock(m_ProgressMutex);
    m_LastProgress = progress;
}

void CRenderState::PostRepaint() {}

void CRenderState::StoreWireBox(const WireBox& box) {
    std::lock_guard<std::mutex> lock(m_ProgressMutex);
    m_WireBox = box;
}

WireBox CRenderState::LastWireBox() const {
    std::lock_guard<std::mutex> lock(m_ProgressMutex);
    return m_WireBox;
}

RenderProgress CRenderState::LastProgress() const {
    std::lock_guard<std::mutex> lock(m_ProgressMutex);
    return m_LastProgress;
}

void CRenderState::ClearBackImage(int nWidth, int nHeight) {
    // Outside its extent the back image holds only zero bytes already.
    const size_t nColumnBytes = static_cast<size_t>(m_nBackExtentHeight) * sizeof(ImagePixel);
    for (int x = 0; x < m_nBackExtentWidth; ++x)
        std::memset(m_BackImage[x], 0, nColumnBytes);
    m_nBackExtentWidth = std::clamp(nWidth, 0, IMAGE_MAX_WIDTH);
    m_nBackExtentHeight = std::clamp(nHeight, 0, IMAGE_MAX_HEIGHT);
    if (m_nBackExtentWidth == 0 || m_nBackExtentHeight == 0)
        m_nBackExtentWidth = m_nBackExtentHeight = 0;
}

void CRenderState::CopyBackToFront() {
    // Both buffers are zero outside their extents, so copying the union of the two
    // extents gives exactly what copying the whole buffer would.
    const int nWidth = std::max(m_nBackExtentWidth, m_nFrontExtentWidth);
    const int nHeight = std::max(m_nBackExtentHeight, m_nFrontExtentHeight);
    const size_t nColumnBytes = static_cast<size_t>(nHeight) * sizeof(ImagePixel);
    for (int x = 0; x < nWidth; ++x)
        std::memcpy(m_Image[x], m_BackImage[x], nColumnBytes);
    m_nFrontExtentWidth = m_nBackExtentWidth;
    m_nFrontExtentHeight = m_nBackExtentHeight;
}

void CRenderState::CopyBackColumnsToFront(const uint8_t* pColumns) {
    if (m_nFrontExtentWidth != m_nBackExtentWidth || m_nFrontExtentHeight != m_nBackExtentHeight) {
        CopyBackToFront();
        return;
    }
    const size_t nColumnBytes = static_cast<size_t>(m_nBackExtentHeight) * sizeof(ImagePixel);
    for (int x = 0; x < m_nBackExtentWidth; ++x)
        if (pColumns[x])
            std::memcpy(m_Image[x], m_BackImage[x], nColumnBytes);
}

void CRenderState::ForgetImageExtents() {
    m_nBackExtentWidth = m_nFrontExtentWidth = IMAGE_MAX_WIDTH;
    m_nBackExtentHeight = m_nFrontExtentHeight = IMAGE_MAX_HEIGHT;
}
