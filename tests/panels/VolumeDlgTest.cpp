// The volume panel and its first-hit panel inside the running viewer: start
// values and layout, the rotation sliders (drag, keys, a change reported only
// at its end), the render window's drag moving the sliders, the hand-over on
// every mode switch, the type radios with the first-hit panel, and the
// threshold sliders.
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <wx/glcanvas.h>
#include <wx/radiobut.h>
#include <wx/slider.h>

#include "PanelTest.h"
#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "panels/FirstHitDlg.h"
#include "panels/VolumeDlg.h"
#include "platform/Sync.h"
#include "res/PanelResource.h"
#include "res/Resource.h"
#include "view/RenderWnd.h"

using namespace guitest;
using namespace paneltest;

namespace {

const std::string kStarted = "ProgressiveVolumeThread started!\n";
const wxString kFinished = "Render Output - finished";

class VolumePanelTest : public PanelTest {
protected:
    CFirstHitDlg* FirstHit() const { return m_pVolume->m_pFirstHitDlg; }

    // A 24^3 dataset with a block of value 2000 in its middle, in Volume mode,
    // its first run finished.
    void StartVolumeMode() {
        LoadDataset(24, 24, 24, [](int x, int y, int z) {
            const bool bInside = x >= 6 && x < 18 && y >= 6 && y < 18 && z >= 6 && z < 18;
            return static_cast<int16_t>(bInside ? 2000 : 0);
        });
        ChooseVolume();
        ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    }

    // Number of pixels that are neither black nor white.
    int CountColoured(const Pixels& pixels) {
        int n = 0;
        for (int y = 0; y < pixels.nHeight; ++y) {
            for (int x = 0; x < pixels.nWidth; ++x) {
                const uint8_t* p = pixels.At(x, y);
                const bool bWhite = p[0] == 255 && p[1] == 255 && p[2] == 255;
                n += pixels.IsBlack(x, y) || bWhite ? 0 : 1;
            }
        }
        return n;
    }

    // Sends a left-button event to the render window's canvas.
    void SendMouse(wxEventType type, int x, int y) {
        wxGLCanvas* pCanvas = m_pRender->GetCanvas();
        wxMouseEvent event(type);
        event.SetEventObject(pCanvas);
        event.m_x = x;
        event.m_y = y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        pCanvas->GetEventHandler()->ProcessEvent(event);
    }
};

TEST_F(VolumePanelTest, StartsHiddenWithItsStartValuesHandedToTheRenderWindow) {
    EXPECT_TRUE(m_pVolume->IsCreated());
    EXPECT_FALSE(m_pVolume->IsShown());
    EXPECT_EQ(m_pVolume->GetPosition(),
              wxPoint(0, m_pDlg->ConvertDialogToPixels(wxPoint(0, 73)).y));
    EXPECT_EQ(m_pVolume->GetClientSize(), m_pDlg->ConvertDialogToPixels(wxSize(144, 281)));

    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetMin(), 0);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetMax(), 359);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetMin(), 0);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetMax(), 179);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 0);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetValue(), 90);
    EXPECT_EQ(m_pVolume->m_nLongitude, 0);
    EXPECT_EQ(m_pVolume->m_nLatitude, 90);
    EXPECT_TRUE(m_pVolume->m_btnTrilinear->GetValue());
    EXPECT_FALSE(m_pVolume->m_btnNearest->GetValue());
    EXPECT_TRUE(m_pVolume->m_btnLevoy->GetValue());
    EXPECT_EQ(m_pVolume->m_nInterpolation, 1);
    EXPECT_EQ(m_pVolume->m_nType, VOLUME_TYPE_LEVOY);
    // The render window carries them before Volume mode is chosen (its own
    // start value for the latitude and the sampling is 0).
    EXPECT_EQ(m_pRender->m_fLongitude, 0.0f);
    EXPECT_EQ(m_pRender->m_fLatitude, Radians(90));
    EXPECT_EQ(m_pRender->m_nVolumeInterpolation, 1);
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_LEVOY);

    // The first-hit panel: hidden, directly below the "Volume Interpolation"
    // group (which ends at 160), thresholds 0 and 4095 not yet handed over.
    ASSERT_NE(FirstHit(), nullptr);
    EXPECT_TRUE(FirstHit()->IsCreated());
    EXPECT_FALSE(FirstHit()->IsShown());
    EXPECT_EQ(FirstHit()->GetParent(), m_pVolume);
    EXPECT_EQ(FirstHit()->GetPosition(),
              wxPoint(0, m_pVolume->ConvertDialogToPixels(wxPoint(0, 165)).y));
    EXPECT_EQ(FirstHit()->GetClientSize(), m_pDlg->ConvertDialogToPixels(wxSize(144, 50)));
    EXPECT_EQ(FirstHit()->m_sliderLower->GetMax(), 4095);
    EXPECT_EQ(FirstHit()->m_sliderUpper->GetMax(), 4095);
    EXPECT_EQ(FirstHit()->m_sliderLower->GetValue(), 0);
    EXPECT_EQ(FirstHit()->m_sliderUpper->GetValue(), 4095);
    EXPECT_EQ(FirstHit()->m_nLower, 0);
    EXPECT_EQ(FirstHit()->m_nUpper, 4095);
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 0);

    // Texts and places.
    const std::vector<std::tuple<wxWindow*, int, std::wstring, int, int>> controls = {
        {m_pVolume, IDC_LEVOY, L"Levoy", 45, 64},
        {m_pVolume, IDC_XRAY, L"X-Ray", 45, 93},
        {m_pVolume, IDC_FIRSTHIT, L"First Hit", 45, 79},
        {m_pVolume, IDC_TRILINEAR, L"trilinear", 35, 129},
        {m_pVolume, IDC_NEAREST, L"nearest neighbour", 35, 142},
    };
    for (const auto& [pPanel, nId, sText, x, y] : controls) {
        wxWindow* pControl = pPanel->FindWindow(nId);
        ASSERT_NE(pControl, nullptr) << nId;
        EXPECT_EQ(pControl->GetLabel(), wxString(sText.c_str())) << nId;
        EXPECT_EQ(pControl->GetPosition(), m_pDlg->ConvertDialogToPixels(wxPoint(x, y))) << nId;
    }
    std::vector<wxString> labels;
    for (wxWindow* pPanel : {static_cast<wxWindow*>(m_pVolume), static_cast<wxWindow*>(FirstHit())})
        for (wxWindow* pChild : pPanel->GetChildren())
            if (!dynamic_cast<CFirstHitDlg*>(pChild) && !pChild->GetLabel().empty())
                labels.push_back(pChild->GetLabel());
    for (const wchar_t* sText :
         {L"Volume Rotation", L"Volume Type", L"Volume Interpolation", L"Longitude", L"Latitude",
          L"First Hit Thresholds", L"Upper", L"Lower"})
        EXPECT_NE(std::find(labels.begin(), labels.end(), wxString(sText)), labels.end())
            << wxString(sText);
    // On screen top to bottom Levoy, First Hit, X-Ray; in the group (keyboard)
    // order Levoy, X-Ray, First Hit.
    EXPECT_LT(m_pVolume->m_btnLevoy->GetPosition().y, m_pVolume->m_btnFirstHit->GetPosition().y);
    EXPECT_LT(m_pVolume->m_btnFirstHit->GetPosition().y, m_pVolume->m_btnXRay->GetPosition().y);
    EXPECT_EQ(m_pVolume->m_btnLevoy->GetNextInGroup(), m_pVolume->m_btnXRay);
    EXPECT_EQ(m_pVolume->m_btnXRay->GetNextInGroup(), m_pVolume->m_btnFirstHit);
    EXPECT_EQ(m_pVolume->m_btnFirstHit->GetNextInGroup(), nullptr);
    EXPECT_EQ(m_pVolume->m_btnTrilinear->GetNextInGroup(), m_pVolume->m_btnNearest);
}

TEST_F(VolumePanelTest, DraggingTheLongitudeSliderShowsTheBoxAndRendersOnRelease) {
    StartVolumeMode();
    CDebugCapture capture;
    wxSlider* pSlider = m_pVolume->m_sliderLongitude;
    int nDuring = -1;
    DragSlider(pSlider, 0, 200, [&] {
        nDuring = pSlider->GetValue();
        EXPECT_GT(nDuring, 150);
        EXPECT_TRUE(m_pRender->m_bInteractive);
        EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
        EXPECT_EQ(m_pVolume->m_nLongitude, nDuring);
        EXPECT_EQ(m_pRender->m_fLongitude, Radians(nDuring));
        // Only the white wire box on black.
        const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
        EXPECT_EQ(CountColoured(pixels), 0);
        EXPECT_GT(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 100);
        EXPECT_EQ(capture.Count(kStarted), 0);
    });
    // Released: the end of the drag and the end of the change both ask for a
    // start; one run starts and draws the image.
    EXPECT_FALSE(m_pRender->m_bInteractive);
    EXPECT_EQ(m_pVolume->m_nLongitude, nDuring);
    EXPECT_EQ(m_pRender->m_fLongitude, Radians(nDuring));
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_GT(CountColoured(ReadShownPixels(m_pRender->GetCanvas())), 100);
}

TEST_F(VolumePanelTest, KeysOnTheLatitudeSliderStepAndRestart) {
    StartVolumeMode();
    wxSlider* pSlider = m_pVolume->m_sliderLatitude;
    struct Step {
        int nKey;
        int nLatitude;
    };
    const Step steps[] = {{WXK_RIGHT, 91}, {WXK_LEFT, 90}, {WXK_HOME, 0}, {WXK_END, 179}};
    for (const Step& s : steps) {
        CDebugCapture capture;
        Key(pSlider, s.nKey);
        EXPECT_EQ(pSlider->GetValue(), s.nLatitude);
        EXPECT_EQ(m_pVolume->m_nLatitude, s.nLatitude);
        EXPECT_EQ(m_pRender->m_fLatitude, Radians(s.nLatitude));
        EXPECT_FALSE(m_pRender->m_bInteractive);
        EXPECT_TRUE(WaitForTitle(m_pRender, kFinished));
        EXPECT_EQ(capture.Count(kStarted), 1) << "key " << s.nKey;
    }
}

TEST_F(VolumePanelTest, AChangeReportedOnlyAtItsEndIsAppliedBeforeTheStart) {
    // wxGTK reports a mouse-wheel step on a slider with wxEVT_SCROLL_CHANGED
    // alone (no line or page notification before it).
    StartVolumeMode();
    CDebugCapture capture;
    wxSlider* pSlider = m_pVolume->m_sliderLongitude;
    pSlider->SetValue(123);
    wxScrollEvent event(wxEVT_SCROLL_CHANGED, IDC_LONGITUDE, 123, wxHORIZONTAL);
    event.SetEventObject(pSlider);
    pSlider->GetEventHandler()->ProcessEvent(event);
    EXPECT_EQ(m_pVolume->m_nLongitude, 123);
    EXPECT_EQ(m_pRender->m_fLongitude, Radians(123));
    EXPECT_FALSE(m_pRender->m_bInteractive);
    EXPECT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(capture.Count(kStarted), 1);
}

TEST_F(VolumePanelTest, RenderWindowDragMovesTheSlidersAndModeSwitchesHandTheValuesBack) {
    LoadDataset(8, 8, 8, [](int, int, int) { return int16_t{2000}; });
    ChooseVolume();
    // A client area of 600 x 450: 100 pixels to the right turn by -30 degrees
    // of longitude; 251 pixels up turn the latitude from 90 to -10.4 degrees.
    m_pRender->ResizeGL(600, 450);
    SendMouse(wxEVT_LEFT_DOWN, 300, 300);
    SendMouse(wxEVT_MOTION, 400, 49);
    SendMouse(wxEVT_LEFT_UP, 400, 49);
    ASSERT_EQ(CRenderWnd::SliderDegrees(m_pRender->m_fLongitude, 360), -30);
    ASSERT_EQ(CRenderWnd::SliderDegrees(m_pRender->m_fLatitude, 180), -10);
    EXPECT_EQ(m_pVolume->m_nLongitude, 330);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 330);
    EXPECT_EQ(m_pVolume->m_nLatitude, -10);
    EXPECT_EQ(m_pVolume->m_sliderLatitude->GetValue(), 0);
    // The render window keeps the angles the drag made.
    EXPECT_NE(m_pRender->m_fLongitude, Radians(330));
    EXPECT_NE(m_pRender->m_fLatitude, Radians(-10));
    m_pRender->WaitForWorkerEnd();

    // The render window's values differ from the panel's in every setting...
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pRender->SetVolumeInterpolation(0);
    m_pRender->WaitForWorkerEnd();
    // ... until the panel is hidden: it hands its own values over.
    ChooseSlicing();
    EXPECT_FALSE(m_pVolume->IsShown());
    EXPECT_EQ(m_pRender->m_fLongitude, Radians(330));
    EXPECT_EQ(m_pRender->m_fLatitude, Radians(-10));
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_LEVOY);
    EXPECT_EQ(m_pRender->m_nVolumeInterpolation, 1);

    // And again when it is shown.
    m_pRender->SetLongitude(5);
    m_pRender->SetLatitude(6);
    m_pRender->SetVolumeType(VOLUME_TYPE_FIRST_HIT);
    m_pRender->SetVolumeInterpolation(0);
    m_pRender->WaitForWorkerEnd();
    ChooseVolume();
    EXPECT_TRUE(m_pVolume->IsShownOnScreen());
    EXPECT_EQ(m_pRender->m_fLongitude, Radians(330));
    EXPECT_EQ(m_pRender->m_fLatitude, Radians(-10));
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_LEVOY);
    EXPECT_EQ(m_pRender->m_nVolumeInterpolation, 1);
    EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 330);
}

TEST_F(VolumePanelTest, TypeRadiosShowTheFirstHitPanelOnlyForFirstHit) {
    StartVolumeMode();
    {
        // "Levoy" while Levoy is selected: no restart.
        CDebugCapture capture;
        Click(m_pVolume->m_btnLevoy);
        Pump(100);
        EXPECT_EQ(capture.Count(kStarted), 0);
    }
    // First Hit: type 2 and the first-hit panel, whose thresholds reach the
    // render window.
    m_pRender->SetUpperThreshold(7);
    m_pRender->SetLowerThreshold(8);
    Click(m_pVolume->m_btnFirstHit);
    EXPECT_EQ(m_pVolume->m_nType, VOLUME_TYPE_FIRST_HIT);
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_FIRST_HIT);
    EXPECT_TRUE(FirstHit()->IsShownOnScreen());
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 4095);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 0);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));

    // Threshold keys: a change stops the renderer and hands the threshold over
    // without the wire box; the key's end starts it.
    for (const auto& [pSlider, nKey, nUpper, nLower] :
         {std::tuple{FirstHit()->m_sliderUpper, WXK_LEFT, 4094, 0},
          std::tuple{FirstHit()->m_sliderLower, WXK_RIGHT, 4094, 1}}) {
        CDebugCapture capture;
        Key(pSlider, nKey);
        EXPECT_EQ(FirstHit()->m_nUpper, nUpper);
        EXPECT_EQ(FirstHit()->m_nLower, nLower);
        EXPECT_EQ(m_pRender->m_nUpperThreshold, nUpper);
        EXPECT_EQ(m_pRender->m_nLowerThreshold, nLower);
        EXPECT_FALSE(m_pRender->m_bInteractive);
        ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
        EXPECT_EQ(capture.Count(kStarted), 1);
    }

    // X-Ray hides the panel.
    Click(m_pVolume->m_btnXRay);
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_XRAY);
    EXPECT_FALSE(FirstHit()->IsShown());
    // First Hit again: shown with the thresholds unchanged, handed over again.
    m_pRender->SetUpperThreshold(7);
    m_pRender->SetLowerThreshold(8);
    Click(m_pVolume->m_btnFirstHit);
    EXPECT_TRUE(FirstHit()->IsShownOnScreen());
    EXPECT_EQ(FirstHit()->m_sliderUpper->GetValue(), 4094);
    EXPECT_EQ(FirstHit()->m_sliderLower->GetValue(), 1);
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 4094);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 1);
    // Levoy hides it too; the mode switch hides it with the volume panel
    // without running its show handler.
    Click(m_pVolume->m_btnLevoy);
    EXPECT_FALSE(FirstHit()->IsShown());
    Click(m_pVolume->m_btnFirstHit);
    m_pRender->SetUpperThreshold(7);
    ChooseSlicing();
    ChooseVolume();
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 7);
    EXPECT_TRUE(FirstHit()->IsShownOnScreen());
}

TEST_F(VolumePanelTest, DraggingAThresholdKeepsTheImageAndRendersOnRelease) {
    StartVolumeMode();
    Click(m_pVolume->m_btnFirstHit);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    const int nColoured = CountColoured(ReadShownPixels(m_pRender->GetCanvas()));
    ASSERT_GT(nColoured, 100);
    CDebugCapture capture;
    wxSlider* pSlider = FirstHit()->m_sliderUpper;
    DragSlider(pSlider, 4095, 2500, [&] {
        const int nValue = pSlider->GetValue();
        EXPECT_LT(nValue, 4095);
        EXPECT_EQ(FirstHit()->m_nUpper, nValue);
        EXPECT_EQ(m_pRender->m_nUpperThreshold, nValue);
        EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
        EXPECT_FALSE(m_pRender->m_bInteractive);
        // The last image stays on screen.
        EXPECT_EQ(CountColoured(ReadShownPixels(m_pRender->GetCanvas())), nColoured);
        EXPECT_EQ(capture.Count(kStarted), 0);
    });
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(capture.Count(kStarted), 1);
}

TEST_F(VolumePanelTest, LowerThresholdAboveTheUpperOneGivesABlackImage) {
    StartVolumeMode();
    Click(m_pVolume->m_btnFirstHit);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    ASSERT_GT(CountColoured(ReadShownPixels(m_pRender->GetCanvas())), 100);

    Key(FirstHit()->m_sliderLower, WXK_END);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    Key(FirstHit()->m_sliderUpper, WXK_HOME);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(FirstHit()->m_nLower, 4095);
    EXPECT_EQ(FirstHit()->m_nUpper, 0);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 4095);
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 0);
    // No sample lies between them: the image is black. Only the column at the
    // right edge and the row at the bottom, which the image never covers, may
    // show the wire box.
    const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
    EXPECT_EQ(pixels.CountNonBlack(0, 1, pixels.nWidth - 1, pixels.nHeight), 0);
}

} // namespace
