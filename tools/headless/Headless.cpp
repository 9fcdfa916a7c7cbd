#include "headless/Headless.h"

#include "engine/Matrix.h"
#include "render/DatasetPresets.h"
#include "transfer/TransferFunction.h"
#include "volume/Volume.h"

#include <algorithm>

void CHeadlessRenderState::PostProgress(const RenderProgress& progress) {
    CRenderState::PostProgress(progress);
    if (m_OnProgress)
        m_OnProgress(progress);
}

void CHeadlessRenderState::PostRepaint() {
    if (m_OnRepaint)
        m_OnRepaint();
}

CHeadlessViewer::CHeadlessViewer() {
    m_pState = new CHeadlessRenderState;
    m_pTransferFunction = new CTransferFunction();
    m_pVectorMath = new CVectorMath;
    m_pState->SetTransferFunction(m_pTransferFunction);
    m_pState->SetVectorMath(m_pVectorMath);
}

CHeadlessViewer::~CHeadlessViewer() {
    StopAndWait();
    {
        // No run is active: the state's last stop would only report that.
        CDebugCapture quiet;
        delete m_pState;
    }
    if (m_bOwnsVolume)
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
                                  const RawParameters* pRaw, const ImportProgress* pProgress) {
    StopAndWait();
    m_pState->SetVolume(nullptr);
    if (m_bOwnsVolume)
        delete m_pVolume;
    m_pVolume = nullptr;
    m_bOwnsVolume = true;
    ImportResult result;
    std::string sLines;
    {
        // A failure's reason goes into sError; the loader's lines would only
        // repeat it. A success's lines (how the values were taken) are passed on.
        CDebugCapture capture;
        result = pRaw ? ImportRawVolume(sPath, *pRaw, pProgress) : ImportVolume(sPath, pProgress);
        sLines = capture.Text();
    }
    if (result.eStatus != IMPORT_OK) {
        sError = result.sError;
        return false;
    }
    if (!sLines.empty())
        DebugOutput(sLines.c_str());
    m_pVolume = result.pVolume.release();
    m_pState->SetVolume(m_pVolume, sPath);
    return true;
}

void CHeadlessViewer::ShareDatasetOf(CHeadlessViewer& owner) {
    StopAndWait();
    m_pState->SetVolume(nullptr);
    if (m_bOwnsVolume)
        delete m_pVolume;
    m_pVolume = owner.m_pVolume;
    m_bOwnsVolume = false;
    std::copy(std::begin(owner.m_pTransferFunction->m_Table),
              std::end(owner.m_pTransferFunction->m_Table),
              std::begin(m_pTransferFunction->m_Table));
    m_pState->SetVolume(m_pVolume);
}

bool CHeadlessViewer::LoadTransferFunction(const std::string& sPath, std::string& sError) {
    // The table changes with no run active; RunVolume starts the next.
    StopAndWait();
    if (m_pTransferFunction->Load(sPath) != 0) {
        sError = "cannot read transfer function '" + sPath + "'";
        return false;
    }
    return true;
}

bool CHeadlessViewer::ApplyPreset(int nPreset) {
    if (!m_pVolume)
        return false;
    StopAndWait();
    return ::ApplyPreset(static_cast<TransferPreset>(nPreset), PresetDataOf(*m_pVolume),
                         *m_pTransferFunction) == 0;
}

void CHeadlessViewer::SetVolumeSettings(int nWidth, int nHeight, int nVolumeType, int nSampling,
                                        int nLongitudeDegrees, int nLatitudeDegrees,
                                        int nLowerThreshold, int nUpperThreshold,
                                        const ZoomPan& zoom) {
    // Outside Volume mode no setter starts a run; the mode is set last, without
    // its start (RunVolume starts).
    CRenderState& s = *m_pState;
    StopAndWait();
    s.m_nRenderMode = RENDER_MODE_NONE;
    s.EndInteraction();
    s.SetViewSize(nWidth, nHeight);
    s.SetVolumeType(nVolumeType);
    s.SetVolumeInterpolation(nSampling);
    s.SetLongitude(nLongitudeDegrees);
    s.SetLatitude(nLatitudeDegrees);
    s.SetLowerThreshold(nLowerThreshold);
    s.SetUpperThreshold(nUpperThreshold);
    s.SetZoomPan(zoom);
    s.m_nRenderMode = RENDER_MODE_VOLUME;
}

bool CHeadlessViewer::RunVolume(std::string& sError) {
    if (!m_pVolume) {
        sError = "no dataset loaded";
        return false;
    }
    const int nRunsBefore = m_pState->RunsEnded();
    // A start that reports late (a busy machine) still runs to its end.
    const StartResult eStart = m_pState->StartProgressiveThread();
    m_pState->WaitForWorkerEnd();
    if (m_pState->RunsEnded() == nRunsBefore) {
        sError =
            eStart == StartResult::BUSY ? "a run was still active" : "the renderer did not run";
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
                                      int nSampling, const ZoomPan& zoom) {
    // As the viewer shows a freshly loaded dataset: a scan in greys, upright.
    SliceLook look = m_pVolume ? DefaultSliceLook(*m_pVolume) : SliceLook();
    look.zoom = zoom;
    return ComposeSlicePicture(m_pVolume, *m_pTransferFunction, nPlane, nSlice, nSampling, nWidth,
                               nHeight, look);
}
