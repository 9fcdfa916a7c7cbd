// The settings that decide what the renderer draws, as the user-interface
// thread holds them. A run takes its own copy of the settings when it starts
// (Snapshot); whoever changes a setting that a run reads stops the run first and
// starts a new one afterwards (the render state's setters do).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/RunSettings.h"

class CRenderSettings {
public:
    // Client size in pixels.
    std::atomic<int32_t> m_nHeight{0};
    std::atomic<int32_t> m_nWidth{0};
    // The camera: radians, zoom factor and pan (pixels, ZoomPan).
    std::atomic<float> m_fLatitude{0.0f};
    std::atomic<float> m_fLongitude{0.0f};
    std::atomic<double> m_dZoom{1.0};
    std::atomic<double> m_dPanX{0.0};
    std::atomic<double> m_dPanY{0.0};
    std::atomic<int32_t> m_nVolumeInterpolation{0};
    std::atomic<int32_t> m_nVolumeType{0};
    std::atomic<int32_t> m_nUpperThreshold{0};
    std::atomic<int32_t> m_nLowerThreshold{0};
    // The crop box: minimum and maximum voxel along x, then y, then z.
    std::atomic<int32_t> m_nCrop[6] = {0, INT32_MAX, 0, INT32_MAX, 0, INT32_MAX};
    // True while the user turns the view without the picture: the window
    // shows the wire box only.
    std::atomic<bool> m_bInteractive{false};
    // True while the user turns the view with the picture shown: each run
    // ends after the first step that ends m_dTurnBudget seconds or more after
    // its start.
    std::atomic<bool> m_bTurnPicture{false};
    std::atomic<double> m_dTurnBudget{0.030};

    Camera CurrentCamera() const {
        return Camera{m_fLongitude.load(), m_fLatitude.load(),
                      ZoomPan{m_dZoom.load(), m_dPanX.load(), m_dPanY.load()}};
    }
    CropBox CurrentCropBox() const {
        CropBox box;
        for (int a = 0; a < 3; ++a) {
            box.nMin[a] = m_nCrop[2 * a].load();
            box.nMax[a] = m_nCrop[2 * a + 1].load();
        }
        return box;
    }
    // What a run started now reads.
    RunSettings Snapshot() const {
        RunSettings s;
        s.nWidth = m_nWidth.load();
        s.nHeight = m_nHeight.load();
        s.camera = CurrentCamera();
        s.nVolumeType = m_nVolumeType.load();
        s.nVolumeInterpolation = m_nVolumeInterpolation.load();
        s.nLowerThreshold = m_nLowerThreshold.load();
        s.nUpperThreshold = m_nUpperThreshold.load();
        s.crop = CurrentCropBox();
        s.bInteractive = m_bInteractive.load();
        if (m_bTurnPicture.load())
            s.dStepBudget = m_dTurnBudget.load();
        return s;
    }
};
