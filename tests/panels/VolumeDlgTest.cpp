// The volume panel and its first-hit panel inside the running viewer: start
// values, the rotation sliders (drag, keys, a change reported only at its end,
// the picture while turning), the render window's drag moving the sliders, the
// hand-over on every mode switch, the type radios with the first-hit panel, the
// threshold sliders, a scan's First Hit start and units, the standard views
// with the orientation marker, and the crop box dialog.
#include <memory>
#include <tuple>

#include <wx/checkbox.h>
#include <wx/spinctrl.h>

#include "panels/CropDlg.h"

#include "transfer/Presets.h"

#include "support/GuiTest.h"

using namespace guitest;

namespace {

class VolumePanelTest : public ViewerTest {
protected:
    CFirstHitDlg* FirstHit() const { return m_pVolume->m_pFirstHitDlg; }

    // A 24^3 dataset with a block of 2000 in its middle, in Volume mode, its
    // first run finished.
    void StartVolumeMode() {
        LoadDataset(24, 24, 24, [](int x, int y, int z) {
            auto inside = [](int c) { return c >= 6 && c < 18; };
            return inside(x) && inside(y) && inside(z) ? 2000 : 0;
        });
        ChooseVolume();
        ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    }
};

TEST_F(VolumePanelTest, KeysAndAChangeReportedOnlyAtItsEndStepAndRestart) {
    StartVolumeMode();
    wxSlider* pSlider = m_pVolume->m_sliderLatitude;
    const int steps[][2] = {{WXK_RIGHT, 91}, {WXK_LEFT, 90}, {WXK_HOME, 0}, {WXK_END, 179}};
    for (const auto& [nKey, nLatitude] : steps) {
        ExpectOneRun([&] { Key(pSlider, nKey); });
        EXPECT_EQ(pSlider->GetValue(), nLatitude);
        EXPECT_EQ(m_pVolume->m_nLatitude, nLatitude);
        EXPECT_EQ(m_pRender->m_fLatitude, DegreesToRadians(nLatitude));
        EXPECT_FALSE(m_pRender->m_bInteractive);
    }
    // The longitude ends one degree short of the full turn, which is 0 again.
    ExpectOneRun([&] { Key(m_pVolume->m_sliderLongitude, WXK_END); });
    EXPECT_EQ(m_pVolume->m_nLongitude, 359);
    // wxGTK reports a mouse-wheel step with wxEVT_SCROLL_CHANGED alone.
    ExpectOneRun([&] {
        m_pVolume->m_sliderLongitude->SetValue(123);
        wxScrollEvent event(wxEVT_SCROLL_CHANGED, IDC_LONGITUDE, 123, wxHORIZONTAL);
        event.SetEventObject(m_pVolume->m_sliderLongitude);
        m_pVolume->m_sliderLongitude->GetEventHandler()->ProcessEvent(event);
    });
    EXPECT_EQ(m_pVolume->m_nLongitude, 123);
    EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(123));
    EXPECT_FALSE(m_pRender->m_bInteractive);

    // "Show the picture while turning": a slider drag renders each new angle.
    Click(m_pVolume->m_checkPictureWhileTurning);
    CDebugCapture capture;
    DragSlider(pSlider, 179, 90, [&] { EXPECT_GT(capture.Count(kStarted), 0); });
}

TEST_F(VolumePanelTest, RenderWindowDragMovesTheSlidersAndModeSwitchesHandTheValuesBack) {
    LoadDataset(8, 8, 8, [](int, int, int) { return 2000; });
    ChooseVolume();
    // In 600 x 450: 100 pixels to the right turn by -30 degrees of longitude;
    // 251 pixels up turn the latitude from 90 to -10.4 degrees.
    m_pRender->ResizeGL(600, 450);
    SendMouse(m_pRender->GetCanvas(), wxEVT_LEFT_DOWN, 300, 300);
    SendMouse(m_pRender->GetCanvas(), wxEVT_MOTION, 400, 49);
    SendMouse(m_pRender->GetCanvas(), wxEVT_LEFT_UP, 400, 49);
    EXPECT_EQ(m_pVolume->m_nLongitude, 330);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 330);
    EXPECT_EQ(m_pVolume->m_nLatitude, -10);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetValue(), 0);
    EXPECT_NE(m_pRender->m_fLongitude, DegreesToRadians(330)); // the window keeps the drag's angles

    // Hiding and showing the panel each hand its own values over again.
    for (const auto& [bShow, nType] :
         {std::tuple{false, VOLUME_TYPE_XRAY}, std::tuple{true, VOLUME_TYPE_FIRST_HIT}}) {
        m_pRender->SetLongitude(5);
        m_pRender->SetLatitude(6);
        m_pRender->SetVolumeType(nType);
        m_pRender->SetVolumeInterpolation(0);
        m_pRender->WaitForWorkerEnd();
        if (bShow)
            ChooseVolume();
        else
            ChooseSlicing();
        EXPECT_EQ(m_pVolume->IsShown(), bShow);
        EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(330));
        EXPECT_EQ(m_pRender->m_fLatitude, DegreesToRadians(-10));
        EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_LEVOY);
        EXPECT_EQ(m_pRender->m_nVolumeInterpolation, 1);
    }
    // A destroyed panel is no longer reached by a drag.
    (new CVolumeDlg(m_pDlg, m_pRender))->Destroy();
    SendMouse(m_pRender->GetCanvas(), wxEVT_LEFT_DOWN, 300, 300);
    SendMouse(m_pRender->GetCanvas(), wxEVT_LEFT_UP, 200, 300);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 330);
}

TEST_F(VolumePanelTest, ThresholdsRenderOnReleaseAndALowerAboveTheUpperGivesBlack) {
    StartVolumeMode();
    Click(m_pVolume->m_btnTypes[VOLUME_TYPE_FIRST_HIT]);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    const int nColoured = RenderShows().CountColoured();
    ASSERT_GT(nColoured, 100);
    wxSlider* pUpper = FirstHit()->m_sliderUpper;
    ExpectOneRun([&] {
        DragSlider(pUpper, 4095, 2500, [&] {
            EXPECT_LT(pUpper->GetValue(), 4095);
            EXPECT_EQ(m_pRender->m_nUpperThreshold, pUpper->GetValue());
            EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
            EXPECT_FALSE(m_pRender->m_bInteractive);
            EXPECT_EQ(RenderShows().CountColoured(), nColoured); // the last image stays
        });
    });

    // A click in the channel moves the threshold there.
    wxSlider* pLower = FirstHit()->m_sliderLower;
    ExpectOneRun([&] { ClickAt(pLower, SliderPoint(pLower, 3000)); });
    EXPECT_GT(pLower->GetValue(), 2000);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, pLower->GetValue());
    ExpectOneRun([&] { Key(pLower, WXK_END); });
    ExpectOneRun([&] { Key(pUpper, WXK_HOME); });
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 4095);
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 0);
    // No sample lies between them: the image is black. Only the column at the
    // right edge and the row at the bottom, which the image never covers, may
    // show the wire box.
    const Pixels pixels = RenderShows();
    EXPECT_EQ(pixels.CountNonBlack(0, 1, pixels.nWidth - 1, pixels.nHeight), 0);
    // MinIP reads the thresholds too (still black), MIP does not (the volume).
    for (const auto& [nType, bThresholds] :
         {std::pair{VOLUME_TYPE_MINIP, true}, {VOLUME_TYPE_MIP, false}}) {
        Click(m_pVolume->m_btnTypes[nType]);
        ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
        EXPECT_EQ(m_pRender->m_nVolumeType, nType);
        EXPECT_EQ(FirstHit()->IsShown(), bThresholds);
        EXPECT_EQ(RenderShows().CountColoured() > 100, !bThresholds);
    }
}

TEST_F(VolumePanelTest, AScanStartsFirstHitAtItsSurfaceAndShowsItsUnits) {
    // Noise 0..99 around a block of 2500, stored values of Hounsfield units + 1024.
    auto pScan = std::make_unique<CVolume>();
    VoxelBuffer pVoxels = AllocateVoxels(24 * 24 * 24);
    for (int i = 0; i < 24 * 24 * 24; ++i) {
        const int x = i % 24, y = i / 24 % 24, z = i / 576;
        auto inside = [](int c) { return c >= 6 && c < 18; };
        pVoxels[i] = static_cast<int16_t>(inside(x) && inside(y) && inside(z) ? 2500 : i % 100);
    }
    ASSERT_EQ(pScan->AdoptVoxels(24, 24, 24, std::move(pVoxels)), 0);
    pScan->m_Source.sKind = "NIfTI";
    pScan->m_Source.dScanOffset = -1024.0;
    const int t = OtsuThreshold(pScan->m_Histogram);
    ASSERT_TRUE(t >= 99 && t < 2500);
    m_pDlg->ReplaceDataset(std::move(pScan));
    ChooseVolume();
    Click(m_pVolume->m_btnTypes[VOLUME_TYPE_FIRST_HIT]);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(m_pRender->m_nLowerThreshold, t);
    EXPECT_EQ(FirstHit()->m_sliderLower->GetValue(), t);
    EXPECT_EQ(FirstHit()->m_staticLower->GetLabel(), wxString::Format("%d", t - 1024));
    EXPECT_EQ(FirstHit()->m_staticUpper->GetLabel(), "3071");
    // A typed threshold is in scan units; text that is no number changes nothing.
    ExpectOneRun([&] { EXPECT_EQ(FirstHit()->SetThresholdText(false, " -500 "), 0); });
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 524);
    EXPECT_EQ(FirstHit()->m_staticLower->GetLabel(), "-500");
    {
        CMessageBoxCapture boxes;
        EXPECT_EQ(FirstHit()->SetThresholdText(true, "bone"), -1);
        EXPECT_EQ(boxes.boxes.size(), 1u);
    }
    EXPECT_EQ(FirstHit()->m_nUpper, 4095);
    // A RAW dataset keeps the thresholds, in its own values.
    LoadDataset(8, 8, 8, [](int, int, int) { return 2000; });
    EXPECT_EQ(FirstHit()->m_nLower, 524);
    EXPECT_EQ(FirstHit()->m_staticLower->GetLabel(), "524");
}

TEST_F(VolumePanelTest, ViewButtonsAndKeysTurnTheViewAndOrientedScansShowTheMarker) {
    StartVolumeMode();
    // The marker in the bottom-left corner (rows from the bottom): its red axis,
    // toward the patient's left, points left in the Posterior view and right in
    // the Anterior view. An unoriented dataset has none.
    auto red = [&](int x0, int x1) {
        m_pRender->Repaint();
        return RenderShows().Count(
            [](const uint8_t* p) { return p[0] > 120 && p[0] > 2 * p[1] && p[0] > 2 * p[2]; }, x0,
            1, x1, 90);
    };
    EXPECT_EQ(red(0, 90), 0);
    m_pRender->Volume()->m_Source.bOriented = true;
    // The panel's button "P", then key 1 in the render window: one run each.
    const std::function<void()> choose[] = {[&] { Click(m_pVolume->m_btnViews[1]); },
                                            [&] { Key(m_pRender->GetCanvas(), '1'); }};
    for (int i = 0; i < 2; ++i) {
        ExpectOneRun(choose[i]);
        EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(180 - 180 * i));
        EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 180 - 180 * i);
        EXPECT_EQ(red(0, 38) > 20, i == 0);
        EXPECT_EQ(red(46, 90) > 20, i == 1);
    }
    // "Reset View" after a zoom and a turn: the default camera in one run, and
    // the sliders with it.
    m_pRender->SetLongitude(40);
    m_pRender->SetZoomPan(ZoomPan{3.0, 5.0, 6.0});
    ExpectOneRun([&] { Click(m_pVolume->m_btnResetView); });
    EXPECT_TRUE(m_pRender->GetZoomPan().IsDefault());
    EXPECT_EQ(m_pRender->m_fLongitude, 0.0f);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetValue(), 90);
}

TEST_F(VolumePanelTest, CropLimitsDriveTheRenderedBoxTheWireBoxAndTheSliceOutline) {
    StartVolumeMode();
    Click(m_pVolume->m_btnCrop);
    CCropDlg* pCrop = m_pVolume->m_pCropDlg;
    ASSERT_TRUE(pCrop && WaitForShown(pCrop));
    auto setLimit = [&](int nIndex, int nValue) {
        pCrop->m_spinLimits[nIndex]->SetValue(nValue);
        wxSpinEvent event(wxEVT_SPINCTRL, IDC_CROP_LIMIT + nIndex);
        event.SetEventObject(pCrop->m_spinLimits[nIndex]);
        pCrop->m_spinLimits[nIndex]->GetEventHandler()->ProcessEvent(event);
    };
    // The last x voxel 11: the left half, and the wire box with it.
    ExpectOneRun([&] { setLimit(1, 11); });
    EXPECT_EQ(m_pRender->CurrentCropBox().nMax[0], 11);
    EXPECT_EQ(m_pRender->LastWireBox().dCropSize[0], 0.5);
    EXPECT_EQ(m_pRender->LastWireBox().dCropCentre[0], -0.25);
    EXPECT_EQ(pCrop->m_staticMillimetres[0]->GetLabel(), wxString(L"0.0 to 11.0 mm"));
    // A first voxel past the last takes the last along.
    ExpectOneRun([&] { setLimit(4, 20); });
    ExpectOneRun([&] { setLimit(5, 19); });
    EXPECT_EQ(m_pRender->CurrentCropBox().nMin[2], 19);
    EXPECT_EQ(pCrop->m_spinLimits[4]->GetValue(), 19);
    EXPECT_EQ(m_pRender->LastWireBox().dCropCentre[2], -(19.5 / 24 - 0.5)); // z runs down the box

    // Slicing: the box's outline on the slices that cut it (z 19 of the XY plane).
    auto outline = [&] {
        m_pRender->Repaint();
        return RenderShows().CountNonBlack(); // the slices there are black
    };
    ChooseSlicing();
    m_pRender->SetSliceNumber(19);
    EXPECT_GT(outline(), 100);
    m_pRender->SetSliceNumber(18);
    EXPECT_EQ(outline(), 0);
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    ExpectOneRun([&] { Click(wxWindow::FindWindowById(IDC_CROP_WHOLE, pCrop)); });
    EXPECT_EQ(m_pRender->CurrentCropBox(), CropBox());
    EXPECT_EQ(m_pRender->LastWireBox().dCropSize[2], 1.0);
    EXPECT_EQ(pCrop->m_spinLimits[5]->GetValue(), 23);
}

} // namespace
