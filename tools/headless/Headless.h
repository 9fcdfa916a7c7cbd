// The viewer's render path without a display: the render core with a dataset,
// transfer function and vector-math object of its own, whose progress and
// repaint hooks print nothing, driven through the same setters, start/stop
// protocol and worker as the render window, and the slice view's points
// collected into an image.
#pragma once

#include "headless/Image.h"

#include "render/RenderState.h"
#include "volume/Import.h"

#include <atomic>
#include <functional>
#include <string>

class CVolume;
class CTransferFunction;
class CVectorMath;

// A render state whose hooks only record and call optional observers (from the
// worker thread; set them before a run starts).
class CHeadlessRenderState : public CRenderState {
public:
    void PostProgress(const RenderProgress& progress) override;
    void PostRepaint() override;

    std::function<void(const RenderProgress&)> m_OnProgress;
    std::function<void()> m_OnRepaint;
};

// Owns the render state, dataset, transfer function and vector-math object;
// several may exist at once. Loading a dataset and the destruction silence the diagnostic channel
// for a moment with a CDebugCapture, so they must not happen while a caller's own capture is
// active.
class CHeadlessViewer {
public:
    CHeadlessViewer();
    ~CHeadlessViewer();
    CHeadlessViewer(const CHeadlessViewer&) = delete;
    CHeadlessViewer& operator=(const CHeadlessViewer&) = delete;

    // Replaces the dataset with a file or folder of any kind the import reads
    // (a bare RAW file with pRaw's layout). False with a one-line reason when it
    // cannot be read (the loader's own diagnostic lines are then not printed).
    // pProgress: the import's progress hooks.
    bool LoadDataset(const std::string& sPath, std::string& sError,
                     const RawParameters* pRaw = nullptr,
                     const ImportProgress* pProgress = nullptr);
    // Renders the dataset and the transfer function table of another viewer
    // (which keeps the dataset, must outlive this one and must not change the two
    // while this one renders): several viewers turn one dataset at once.
    void ShareDatasetOf(CHeadlessViewer& owner);
    // Loads a .trf file and builds its table. False with a reason on failure.
    bool LoadTransferFunction(const std::string& sPath, std::string& sError);
    // Replaces the transfer function by a preset (a TransferPreset) fitted to
    // the dataset and builds its table. False when there is no dataset.
    bool ApplyPreset(int nPreset);

    // The settings of a volume picture, through the render state's setters (in
    // Volume mode, with no run active).
    void SetVolumeSettings(int nWidth, int nHeight, int nVolumeType, int nSampling,
                           int nLongitudeDegrees, int nLatitudeDegrees, int nLowerThreshold,
                           int nUpperThreshold, const ZoomPan& zoom = ZoomPan());

    // Starts one progressive run and waits until it has ended. False with a reason
    // when no run took place (no dataset).
    bool RunVolume(std::string& sError);
    // The worker's front image pixel for pixel, as a W x H picture: element [x][y]
    // for pixel (x, y); pixels never computed, or outside the buffers, are 0.
    RgbImage FrontImage();
    // What the render window shows of the front image at the state's client size
    // W x H (ComposeVolumePicture): every computed sample as a block reaching to
    // the next computed one; the last column and row, and what lies outside the
    // buffers, stay 0.
    RgbImage VolumePicture();

    // What the slice view draws into a W x H client area (ComposeSlicePicture),
    // with the look the viewer gives the dataset when it is loaded, zoomed and
    // panned.
    RgbImage RenderSlice(int nWidth, int nHeight, int nPlane, int nSlice, int nSampling,
                         const ZoomPan& zoom = ZoomPan());

    // Stops a run that is still active (if any) and waits until its thread is gone.
    void StopAndWait();

    CHeadlessRenderState& State() { return *m_pState; }
    CVolume* Volume() { return m_pVolume; }
    CTransferFunction& TransferFunction() { return *m_pTransferFunction; }

private:
    CHeadlessRenderState* m_pState;
    CVolume* m_pVolume = nullptr;
    bool m_bOwnsVolume = true;
    CTransferFunction* m_pTransferFunction;
    CVectorMath* m_pVectorMath;
};
