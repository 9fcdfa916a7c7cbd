// The panels on their own, beside a real render window: the show handler runs
// once for every showing and every hiding of the panel itself (not of its
// parent), the initialisation hands the start values over, a panel without a
// parent window reports its creation failure, and the notifications that wxGTK
// delivers for a slider, on which the panels' slider handling rests.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include "app/ViewerApp.h"
#include "panels/FirstHitDlg.h"
#include "panels/SlicingDlg.h"
#include "panels/VolumeDlg.h"
#include "res/PanelResource.h"
#include "res/Resource.h"
#include "support/GuiTest.h"
#include "transfer/TransferFunction.h"
#include "view/RenderWnd.h"

using namespace guitest;

namespace {

// Counts the show handler's runs, then runs the panel's own.
template <class Panel> class CCounting : public Panel {
public:
    using Panel::Panel;
    void OnShowWindow(bool bShow) override {
        ++(bShow ? nShown : nHidden);
        Panel::OnShowWindow(bShow);
    }
    int nShown = 0;
    int nHidden = 0;
};

float Radians(int nDegrees) {
    const float fScaled = static_cast<float>(nDegrees) * (1.0f / 180.0f);
    return static_cast<float>(static_cast<double>(fScaled) * 3.14159265358979323846);
}

class PanelShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pApp = GetViewerApp();
        m_pRender = new CRenderWnd(m_pApp);
        ASSERT_TRUE(m_pRender->IsCreated());
        m_pApp->m_pRenderWnd = m_pRender;
        m_pApp->m_pTransferFunction = new CTransferFunction(m_pApp);
        m_pRender->Show();
        // The panels' parent: a frame of its own beside the render window.
        m_pFrame = new wxFrame(nullptr, wxID_ANY, "panels", wxPoint(1100, 100), wxSize(300, 700));
        m_pFrame->SetFont(wxFont(wxFontInfo(7).Family(wxFONTFAMILY_SWISS)));
        m_pFrame->Show();
        ASSERT_TRUE(WaitForShown(m_pRender->GetCanvas()));
        ASSERT_TRUE(WaitForShown(m_pFrame));
    }

    void TearDown() override {
        m_pFrame->Destroy();
        Pump(20);
        m_pRender->StopProgressiveThread();
        m_pRender->WaitForWorkerEnd();
        delete m_pRender;
        m_pApp->m_pRenderWnd = nullptr;
        delete m_pApp->m_pTransferFunction;
        m_pApp->m_pTransferFunction = nullptr;
        Pump(20);
    }

    CViewerApp* m_pApp = nullptr;
    CRenderWnd* m_pRender = nullptr;
    wxFrame* m_pFrame = nullptr;
};

TEST_F(PanelShowTest, ShowHandlerRunsOncePerShowingAndHidingOfThePanelItself) {
    auto* pSlicing = new CCounting<CSlicingDlg>(m_pFrame);
    auto* pVolume = new CCounting<CVolumeDlg>(m_pFrame);
    // Created hidden; creation runs no show handler.
    for (CChildPanel* pPanel :
         {static_cast<CChildPanel*>(pSlicing), static_cast<CChildPanel*>(pVolume)}) {
        EXPECT_TRUE(pPanel->IsCreated());
        EXPECT_FALSE(pPanel->IsShown());
    }
    EXPECT_EQ(pSlicing->nShown + pSlicing->nHidden + pVolume->nShown + pVolume->nHidden, 0);

    pSlicing->Show(true);
    pVolume->Show(false);
    EXPECT_EQ(pSlicing->nShown, 1);
    EXPECT_EQ(pVolume->nHidden, 0);
    // Shown again while shown: nothing.
    pSlicing->Show(true);
    EXPECT_EQ(pSlicing->nShown, 1);
    pSlicing->Hide();
    pVolume->Show();
    EXPECT_EQ(pSlicing->nHidden, 1);
    EXPECT_EQ(pVolume->nShown, 1);
    pVolume->Hide();
    EXPECT_EQ(pVolume->nHidden, 1);

    // The first-hit panel inside a parent that is hidden and shown: only its
    // own showing and hiding run its handler.
    auto* pParent = new wxPanel(m_pFrame, wxID_ANY, wxPoint(0, 0), wxSize(250, 200));
    auto* pFirstHit = new CCounting<CFirstHitDlg>(pParent);
    pFirstHit->Show();
    EXPECT_EQ(pFirstHit->nShown, 1);
    pParent->Hide();
    pParent->Show();
    Pump(50);
    EXPECT_EQ(pFirstHit->nShown, 1);
    EXPECT_EQ(pFirstHit->nHidden, 0);
    EXPECT_TRUE(pFirstHit->IsShownOnScreen());
    pFirstHit->Hide();
    pFirstHit->Hide();
    EXPECT_EQ(pFirstHit->nHidden, 1);
}

TEST_F(PanelShowTest, InitialisationHandsTheStartValuesToTheRenderWindow) {
    m_pRender->SetSlicingPlane(SLICING_PLANE_YZ);
    m_pRender->SetSliceInterpolation(1);
    auto* pSlicing = new CSlicingDlg(m_pFrame);
    EXPECT_EQ(m_pRender->m_nPlane, SLICING_PLANE_XY);
    EXPECT_EQ(m_pRender->m_nSliceInterpolation, 0);
    // The range and the label wait for the first plane applied.
    EXPECT_EQ(pSlicing->m_staticSliceNumber->GetLabel(), "Slice number");

    m_pRender->SetLongitude(10);
    m_pRender->SetLatitude(20);
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pRender->SetVolumeInterpolation(0);
    m_pRender->SetUpperThreshold(11);
    m_pRender->SetLowerThreshold(12);
    auto* pVolume = new CVolumeDlg(m_pFrame);
    EXPECT_EQ(m_pRender->m_fLongitude, 0.0f);
    EXPECT_EQ(m_pRender->m_fLatitude, Radians(90));
    EXPECT_EQ(m_pRender->m_nVolumeType, VOLUME_TYPE_LEVOY);
    EXPECT_EQ(m_pRender->m_nVolumeInterpolation, 1);
    // The thresholds reach the render window only when the first-hit panel is
    // shown.
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 11);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 12);
    pVolume->m_pFirstHitDlg->Show();
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 4095);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 0);

    // The render window's drag moves the panel's sliders...
    m_pRender->ResizeGL(600, 400);
    wxGLCanvas* pCanvas = m_pRender->GetCanvas();
    auto send = [&](wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetEventObject(pCanvas);
        event.m_x = x;
        event.m_y = y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        pCanvas->GetEventHandler()->ProcessEvent(event);
    };
    send(wxEVT_LEFT_DOWN, 300, 200);
    send(wxEVT_MOTION, 200, 200);
    send(wxEVT_LEFT_UP, 200, 200);
    EXPECT_EQ(pVolume->m_nLongitude, 30);
    EXPECT_EQ(pVolume->m_sliderLongitude->GetValue(), 30);
    // ... and a destroyed panel is no longer reached.
    pVolume->Destroy();
    send(wxEVT_LEFT_DOWN, 300, 200);
    send(wxEVT_MOTION, 100, 200);
    send(wxEVT_LEFT_UP, 100, 200);
    m_pRender->WaitForWorkerEnd();
    pSlicing->Destroy();
}

TEST_F(PanelShowTest, APanelWithoutAParentWindowReportsItsCreationFailure) {
    struct Case {
        std::function<CChildPanel*()> create;
        const char* sText;
    };
    const Case cases[] = {
        {[] { return new CVolumeDlg(nullptr); }, "Error creating Volume Dialog"},
        {[] { return new CFirstHitDlg(nullptr); }, "Error creating First Hit Dialog"},
        {[] { return new CSlicingDlg(nullptr); }, "Error creating Slicing Dialog"},
    };
    for (const Case& c : cases) {
        CMessageBoxCapture boxes;
        CChildPanel* pPanel = c.create();
        ASSERT_NE(pPanel, nullptr);
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.sText;
        EXPECT_EQ(boxes.boxes[0].sText, c.sText);
        EXPECT_EQ(boxes.boxes[0].sCaption, "Orvex");
        EXPECT_EQ(boxes.boxes[0].nStyle & (wxOK | wxCANCEL | wxYES_NO), wxOK);
        // The object exists without a window; showing it does nothing.
        EXPECT_FALSE(pPanel->IsCreated());
        EXPECT_FALSE(pPanel->Show());
        EXPECT_FALSE(pPanel->IsShown());
        delete pPanel;
    }
}

// What wxGTK delivers for each user action on a slider. The panels take the
// end of a drag (THUMBRELEASE) and the end of every change (CHANGED) as
// "let go", everything else as a change in progress.
TEST_F(PanelShowTest, SliderNotificationsOnGtk) {
    auto* pSlider = new wxSlider(m_pFrame, IDC_LONGITUDE, 0, 0, 359, wxPoint(20, 300),
                                 wxSize(200, SLIDER_MIN_HEIGHT));
    std::vector<wxEventType> events;
    const std::vector<std::pair<wxEventTypeTag<wxScrollEvent>, const char*>> types = {
        {wxEVT_SCROLL_TOP, "TOP"},
        {wxEVT_SCROLL_BOTTOM, "BOTTOM"},
        {wxEVT_SCROLL_LINEUP, "LINEUP"},
        {wxEVT_SCROLL_LINEDOWN, "LINEDOWN"},
        {wxEVT_SCROLL_PAGEUP, "PAGEUP"},
        {wxEVT_SCROLL_PAGEDOWN, "PAGEDOWN"},
        {wxEVT_SCROLL_THUMBTRACK, "THUMBTRACK"},
        {wxEVT_SCROLL_THUMBRELEASE, "THUMBRELEASE"},
        {wxEVT_SCROLL_CHANGED, "CHANGED"}};
    for (const auto& [type, sName] : types)
        pSlider->Bind(type, [&events](wxScrollEvent& e) { events.push_back(e.GetEventType()); });
    auto names = [&] {
        std::string s;
        for (wxEventType e : events)
            for (const auto& [type, sName] : types)
                if (type == e)
                    s += std::string(s.empty() ? "" : " ") + sName;
        return s;
    };
    Pump(100);

    // Moves that the program makes itself are not reported.
    pSlider->SetValue(100);
    pSlider->SetRange(0, 200);
    Pump(50);
    EXPECT_EQ(names(), "");
    pSlider->SetRange(0, 359);
    pSlider->SetValue(0);

    // A thumb drag: drag steps while the button is down, then the release.
    wxUIActionSimulator sim;
    const wxSize size = pSlider->GetSize();
    const wxPoint thumb = pSlider->ClientToScreen(wxPoint(12, size.GetHeight() / 2));
    sim.MouseMove(thumb);
    Pump(50);
    sim.MouseDown();
    Pump(50);
    for (int i = 1; i <= 4; ++i) {
        sim.MouseMove(thumb + wxPoint(20 * i, 0));
        Pump(40);
    }
    ASSERT_FALSE(events.empty());
    for (wxEventType e : events)
        EXPECT_EQ(e, wxEVT_SCROLL_THUMBTRACK) << names();
    events.clear();
    sim.MouseUp();
    Pump(100);
    EXPECT_EQ(names(), "THUMBRELEASE CHANGED");
    EXPECT_GT(pSlider->GetValue(), 0);

    // A click in the channel far from the thumb moves the thumb there as a drag.
    events.clear();
    sim.MouseMove(pSlider->ClientToScreen(wxPoint(size.GetWidth() - 15, size.GetHeight() / 2)));
    Pump(50);
    sim.MouseClick();
    Pump(100);
    EXPECT_EQ(names(), "THUMBTRACK THUMBRELEASE CHANGED");

    // Keys: the step, then the end of the change.
    pSlider->SetValue(100);
    pSlider->SetFocus();
    ASSERT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == pSlider; }, 2000));
    const std::vector<std::pair<int, std::string>> keys = {
        {WXK_RIGHT, "LINEDOWN CHANGED"},    {WXK_LEFT, "LINEUP CHANGED"},
        {WXK_PAGEDOWN, "PAGEDOWN CHANGED"}, {WXK_PAGEUP, "PAGEUP CHANGED"},
        {WXK_HOME, "TOP CHANGED"},          {WXK_END, "BOTTOM CHANGED"}};
    for (const auto& [nKey, sExpected] : keys) {
        events.clear();
        sim.Char(nKey);
        Pump(100);
        EXPECT_EQ(names(), sExpected) << "key " << nKey;
    }

    for (const auto& [type, sName] : types)
        EXPECT_EQ(IsSliderLetGo(type),
                  type == wxEVT_SCROLL_THUMBRELEASE || type == wxEVT_SCROLL_CHANGED)
            << sName;
}

} // namespace
