#include "_Headless.h"

#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

#include <algorithm>
#include <numbers>

float AngleFromDegrees(int nDegrees) {
    return static_cast<float>(static_cast<float>(nDegrees) * 0.0055555557f * std::numbers::pi);
}

void CHeadlessRenderState::PostTitle(const std::string& sTitle) {
    CRenderState::PostTitle(sTitle);
    if (sTitle == "Render Output - finished")
        ++m_nFinishedRuns;
    if (m_OnTitle)
        m_OnTitle(sTitle);
}

void CHeadlessRenderState::PostRepaint() {
    if (m_OnRepaint)
        m_OnRepaint();
}

CHeadlessViewer::CHeadlessViewer() {
    CViewerApp* pApp = GetViewerApp();
    m_pState = new CHeadlessRenderState(pApp);
    m_pTransferFunction = new CTransferFunction(pApp);
    m_pVectorMath = new CVectorMath;
    pApp->m_pRenderWnd = m_pState;
    pApp->m_pTransferFunction = m_pTransferFunction;
    pApp->m_pVectorMath = m_pVectorMath;
    pApp->m_pVolume = nullptr;
}

CHeadlessViewer::~CHeadlessViewer() {
    StopAndWait();
    CViewerApp* pApp = GetViewerApp();
    pApp->m_pRenderWnd = nullptr;
    pApp->m_pTransferFunction = nullptr;
    pApp->m_pVectorMath = nullptr;
    pApp->m_pVolume = nullptr;
    {
        // No run is active: the state's last stop would only report that.
        CDebugCapture quiet;
        delete m_pState;
    }
    delete m_pVolume;
    delete m_pTransferFunction;
    delete m_pVectorMath;
}

void CHeadlessViewer::StopAndWait() {
    if (m_pState->m_hThreadRunning.IsSet())
        m_pState->StopProgressiveThread();
    m_pState->WaitForWorkerEnd();
}

bool CHeadlessViewer::LoadDataset(const std::string& sPath, std::string& sError,
                                  const RawParameters* pRaw) {
    StopAndWait();
    GetViewerApp()->m_pVolume = nullptr;
    delete m_pVolume;
    m_pVolume = nullptr;
    ImportResult result;
    std::string sLines;
    {
        // A failure's reason goes into sError; the loader's lines would only
        // repeat it. A success's lines (how the values were taken) are passed on.
        CDebugCapture capture;
        result = pRaw ? ImportRawVolume(sPath, *pRaw) : ImportVolume(sPath);
        sLines = capture.Text();
    }
    if (result.eStatus != IMPORT_OK) {
        sError = result.sError;
        return false;
    }
    if (!sLines.empty())
        DebugOutput(sLines.c_str());
    m_pVolume = result.pVolume.release();
    GetViewerApp()->m_pVolume = m_pVolume;
    return true;
}

bool CHeadlessViewer::LoadTransferFunction(const std::string& sPath, std::string& sError) {
    StopAndWait();
    // No worker runs, so the rebuild needs no stop (whose "not running" line
    // would only be noise here).
    CViewerApp* pApp = GetViewerApp();
    pApp->m_pRenderWnd = nullptr;
    const int nResult = m_pTransferFunction->Load(sPath);
    pApp->m_pRenderWnd = m_pState;
    if (nResult != 0) {
        sError = "cannot read transfer function '" + sPath + "'";
        return false;
    }
    return true;
}

void CHeadlessViewer::SetVolumeSettings(int nWidth, int nHeight, int nVolumeType, int nSampling,
                                        int nLongitudeDegrees, int nLatitudeDegrees,
                                        int nLowerThreshold, int nUpperThreshold) {
    CRenderState& s = *m_pState;
    s.m_nWidth = nWidth;
    s.m_nHeight = nHeight;
    s.m_nVolumeType = nVolumeType;
    s.m_nVolumeInterpolation = nSampling;
    s.m_fLongitude = AngleFromDegrees(nLongitudeDegrees);
    s.m_fLatitude = AngleFromDegrees(nLatitudeDegrees);
    s.m_nLowerThreshold = nLowerThreshold;
    s.m_nUpperThreshold = nUpperThreshold;
    s.m_bInteractive = false;
    s.m_nRenderMode = RENDER_MODE_VOLUME;
}

bool CHeadlessViewer::RunVolume(std::string& sError) {
    if (!m_pVolume) {
        sError = "no dataset loaded";
        return false;
    }
    const int nFinishedBefore = m_pState->m_nFinishedRuns;
    // A start that reports late (a busy machine) still runs to its end.
    m_pState->StartProgressiveThread();
    m_pState->WaitForWorkerEnd();
    if (m_pState->m_nFinishedRuns == nFinishedBefore) {
        sError = "the renderer did not run";
        return false;
    }
    return true;
}

RgbImage CHeadlessViewer::FrontImage() {
    const int nW = std::min<int>(m_pState->m_nWidth, IMAGE_MAX_WIDTH);
    const int nH = std::min<int>(m_pState->m_nHeight, IMAGE_MAX_HEIGHT);
    RgbImage image(m_pState->m_nWidth, m_pState->m_nHeight);
    // No run is active any more; the lock only keeps the rule of the front image.
    while (!m_pState->m_hImageMutex.Lock(100)) {
    }
    for (int x = 0; x < nW; ++x) {
        for (int y = 0; y < nH; ++y) {
            const ImagePixel& p = m_pState->m_Image[x][y];
            if (!p.computed)
                continue;
            float* q = image.At(x, y);
            q[0] = p.r;
            q[1] = p.g;
            q[2] = p.b;
        }
    }
    m_pState->m_hImageMutex.Unlock();
    return image;
}

RgbImage CHeadlessViewer::VolumePicture() {
    // No run is active any more; the lock only keeps the rule of the front image.
    while (!m_pState->m_hImageMutex.Lock(100)) {
    }
    RgbImage image = ComposeVolumePicture(*m_pState, m_pState->m_nWidth, m_pState->m_nHeight);
    m_pState->m_hImageMutex.Unlock();
    return image;
}

RgbImage CHeadlessViewer::RenderSlice(int nWidth, int nHeight, int nPlane, int nSlice,
                                      int nSampling) {
    return ComposeSlicePicture(m_pVolume, *m_pTransferFunction, nPlane, nSlice, nSampling, nWidth,
                               nHeight);
}
