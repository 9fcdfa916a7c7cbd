// The slicing panel inside the running viewer: the plane radios and the slider
// range they set, the slice slider, "<" and ">", the sampling radios, the fit
// buttons, the return from Volume mode, and a panel with no dataset behind it.
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/glcanvas.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include "PanelTest.h"
#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "panels/SlicingDlg.h"
#include "panels/VolumeDlg.h"
#include "res/PanelResource.h"
#include "res/Resource.h"
#include "transfer/TransferFunction.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

using namespace guitest;
using namespace paneltest;

namespace {

class SlicingPanelTest : public PanelTest {
protected:
    wxButton* Button(int nId) { return dynamic_cast<wxButton*>(m_pSlicing->FindWindow(nId)); }
    wxString Label() const { return m_pSlicing->m_staticSliceNumber->GetLabel(); }
    wxSlider* Slider() const { return m_pSlicing->m_sliderSlice; }

    // Slice number, label, slider and render window agree on nSlice.
    void ExpectSlice(int nSlice) {
        EXPECT_EQ(m_pSlicing->m_nSlice, nSlice);
        EXPECT_EQ(Label(), wxString::Format("Slice # %d", nSlice));
        EXPECT_EQ(Slider()->GetValue(), nSlice);
        EXPECT_EQ(m_pRender->m_nSlice, nSlice);
    }

    // The colour the slice view shows for a voxel value, as a window byte.
    bool ShowsValue(const Pixels& pixels, int x, int y, int nValue) {
        const TableEntry& e = m_pApp->m_pTransferFunction->Lookup(static_cast<int16_t>(nValue));
        const double k[3] = {e.red / 255.0, e.green / 255.0, e.blue / 255.0};
        const uint8_t* p = pixels.At(x, y);
        for (int c = 0; c < 3; ++c)
            if (std::abs(p[c] - static_cast<int>(std::lround(k[c] * 255.0))) > 1)
                return false;
        return true;
    }
};

TEST_F(SlicingPanelTest, StartsHiddenBelowTheRenderModeGroupWithItsControls) {
    EXPECT_TRUE(m_pSlicing->IsCreated());
    EXPECT_FALSE(m_pSlicing->IsShown());
    EXPECT_EQ(m_pSlicing->GetParent(), m_pDlg);
    // Its top is 4 dialog units below the "Render Mode" group, which ends at 69.
    EXPECT_EQ(m_pSlicing->GetPosition(),
              wxPoint(0, m_pDlg->ConvertDialogToPixels(wxPoint(0, 73)).y));
    EXPECT_EQ(m_pSlicing->GetClientSize(), m_pDlg->ConvertDialogToPixels(wxSize(144, 266)));

    const std::vector<std::tuple<int, std::wstring, int, int>> controls = {
        {IDC_PLANE_XY, L"XY Plane", 49, 15},
        {IDC_PLANE_XZ, L"XZ Plane", 49, 28},
        {IDC_PLANE_YZ, L"YZ Plane", 49, 41},
        {IDC_NEXT_SLICE, L">", 113, 80},
        {IDC_PREV_SLICE, L"<", 19, 80},
        {IDC_SLICE_LABEL, L"Slice number", 51, 94},
        {IDC_NEAREST, L"Nearest Neighbour", 32, 130},
        {IDC_BILINEAR, L"Bilinear", 32, 144},
        {IDC_FIT_1, L"1 : 1", 16, 181},
        {IDC_FIT_2, L"2 : 1", 76, 181},
    };
    for (const auto& [nId, sText, x, y] : controls) {
        wxWindow* pControl = m_pSlicing->FindWindow(nId);
        ASSERT_NE(pControl, nullptr) << nId;
        EXPECT_EQ(pControl->GetLabel(), wxString(sText.c_str())) << nId;
        EXPECT_EQ(pControl->GetPosition(), m_pDlg->ConvertDialogToPixels(wxPoint(x, y))) << nId;
    }
    for (const auto& [nId, sText] : std::vector<std::pair<int, std::wstring>>{
             {IDC_SLICING_PLANE_GROUP, L"Slicing Plane"},
             {IDC_SLICE_NUMBER_GROUP, L"Slice Number"},
             {IDC_SLICING_INTERPOLATION_GROUP, L"Slicing Interpolation"},
             {IDC_FIT_GROUP, L"Fit Window to Image"}}) {
        ASSERT_NE(m_pSlicing->FindWindow(nId), nullptr) << nId;
        EXPECT_EQ(m_pSlicing->FindWindow(nId)->GetLabel(), wxString(sText.c_str()));
    }
    // The slider keeps its dialog-unit left edge, width and centre line.
    const wxRect slider = Slider()->GetRect();
    const wxRect box(m_pDlg->ConvertDialogToPixels(wxPoint(31, 79)),
                     m_pDlg->ConvertDialogToPixels(wxSize(82, 12)));
    EXPECT_EQ(slider.x, box.x);
    EXPECT_EQ(slider.width, box.width);
    EXPECT_LE(std::abs((slider.y + slider.height / 2) - (box.y + box.height / 2)), 1);
    EXPECT_TRUE(m_pSlicing->m_radioXY->GetValue());
    EXPECT_TRUE(m_pSlicing->m_radioNearest->GetValue());
    EXPECT_EQ(m_pSlicing->m_nPlane, SLICING_PLANE_XY);
}

TEST_F(SlicingPanelTest, PlaneRadiosSetTheSliderRangeOfA256x256x113Volume) {
    LoadDataset(256, 256, 113, [](int, int, int z) { return static_cast<int16_t>(z * 30); });
    ChooseSlicing();
    EXPECT_TRUE(m_pSlicing->IsShownOnScreen());
    EXPECT_FALSE(m_pVolume->IsShown());
    // Shown: the XY plane applied, with slice 0.
    EXPECT_EQ(Slider()->GetMin(), 0);
    EXPECT_EQ(Slider()->GetMax(), 112);
    EXPECT_EQ(m_pRender->m_nPlane, SLICING_PLANE_XY);
    ExpectSlice(0);

    struct Case {
        wxRadioButton* pRadio;
        int nPlane;
        int nMax;
    };
    const Case cases[] = {{m_pSlicing->m_radioXZ, SLICING_PLANE_XZ, 255},
                          {m_pSlicing->m_radioYZ, SLICING_PLANE_YZ, 255},
                          {m_pSlicing->m_radioXY, SLICING_PLANE_XY, 112}};
    for (const Case& c : cases) {
        // From a slice other than 0, so that the reset shows.
        Key(Slider(), WXK_END);
        ASSERT_EQ(m_pRender->m_nSlice, Slider()->GetMax());
        Click(c.pRadio);
        EXPECT_TRUE(c.pRadio->GetValue());
        EXPECT_EQ(m_pSlicing->m_nPlane, c.nPlane);
        EXPECT_EQ(m_pRender->m_nPlane, c.nPlane);
        EXPECT_EQ(Slider()->GetMin(), 0);
        EXPECT_EQ(Slider()->GetMax(), c.nMax);
        EXPECT_EQ(m_pSlicing->GetSliceMaximum(), c.nMax);
        ExpectSlice(0);
    }
    // The plane that is already selected goes back to slice 0 as well.
    Key(Slider(), WXK_END);
    ExpectSlice(112);
    Click(m_pSlicing->m_radioXY);
    ExpectSlice(0);
}

TEST_F(SlicingPanelTest, PrevStopsAtZeroAndNextAtTheMaximum) {
    LoadDataset(16, 8, 4, [](int, int, int) { return int16_t{1000}; });
    ChooseSlicing();
    ASSERT_EQ(m_pSlicing->GetSliceMaximum(), 3);
    // "<" at 0: stays 0, and hands 0 to the render window again.
    m_pRender->SetSliceNumber(2);
    Click(Button(IDC_PREV_SLICE));
    ExpectSlice(0);
    for (int i = 1; i <= 3; ++i) {
        Click(Button(IDC_NEXT_SLICE));
        ExpectSlice(i);
    }
    m_pRender->SetSliceNumber(1);
    Click(Button(IDC_NEXT_SLICE));
    ExpectSlice(3);
    Click(Button(IDC_PREV_SLICE));
    ExpectSlice(2);
}

TEST_F(SlicingPanelTest, SliderDragAndKeysShowTheSliceAtOnce) {
    // Each slice has a value of its own: 100 + 100 z.
    auto value = [](int z) { return 100 + 100 * z; };
    LoadDataset(64, 64, 40, [&](int, int, int z) { return static_cast<int16_t>(value(z)); });
    ChooseSlicing();
    wxGLCanvas* pCanvas = m_pRender->GetCanvas();
    const int cx = m_pRender->m_nWidth / 2;
    const int cy = m_pRender->m_nHeight / 2;
    ASSERT_TRUE(ShowsValue(ReadShownPixels(pCanvas), cx, cy, value(0)));

    int nDuring = -1;
    DragSlider(Slider(), 0, 25, [&] {
        nDuring = Slider()->GetValue();
        EXPECT_GT(nDuring, 0);
        ExpectSlice(nDuring);
        EXPECT_TRUE(ShowsValue(ReadShownPixels(pCanvas), cx, cy, value(nDuring)));
    });
    // Letting go changes nothing.
    ExpectSlice(nDuring);

    struct Step {
        int nKey;
        int nSlice;
    };
    const int nPage = Slider()->GetPageSize();
    const Step steps[] = {
        {WXK_HOME, 0}, {WXK_RIGHT, 1}, {WXK_PAGEDOWN, 1 + nPage}, {WXK_LEFT, nPage}, {WXK_END, 39}};
    for (const Step& s : steps) {
        Key(Slider(), s.nKey);
        ExpectSlice(s.nSlice);
        EXPECT_TRUE(ShowsValue(ReadShownPixels(pCanvas), cx, cy, value(s.nSlice)))
            << "key " << s.nKey;
    }
}

TEST_F(SlicingPanelTest, FitButtonsGiveTheRenderWindowTheSliceSize) {
    LoadDataset(256, 256, 113, [](int, int, int) { return int16_t{2000}; });
    ChooseSlicing();
    const wxPoint position = m_pRender->GetScreenPosition();
    struct Case {
        wxRadioButton* pRadio;
        int nButton;
        wxSize client;
    };
    const Case cases[] = {{m_pSlicing->m_radioXY, IDC_FIT_2, wxSize(512, 512)},
                          {m_pSlicing->m_radioXY, IDC_FIT_1, wxSize(256, 256)},
                          {m_pSlicing->m_radioYZ, IDC_FIT_1, wxSize(256, 113)},
                          {m_pSlicing->m_radioXZ, IDC_FIT_2, wxSize(512, 226)}};
    for (const Case& c : cases) {
        Click(c.pRadio);
        Click(Button(c.nButton));
        EXPECT_TRUE(WaitFor([&] {
            return m_pRender->GetClientSize() == c.client &&
                   m_pRender->GetCanvas()->GetClientSize() == c.client &&
                   m_pRender->m_nWidth == c.client.GetWidth() &&
                   m_pRender->m_nHeight == c.client.GetHeight();
        })) << "client "
            << m_pRender->GetClientSize().GetWidth() << "x"
            << m_pRender->GetClientSize().GetHeight() << ", wanted " << c.client.GetWidth() << "x"
            << c.client.GetHeight();
        EXPECT_EQ(m_pRender->GetScreenPosition(), position);
    }
    // At 2 : 1 the XZ slice fills the whole client area (which lies clear of
    // the editor window below it): no black band.
    Pump(100);
    m_pRender->Repaint();
    const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight),
              pixels.nWidth * pixels.nHeight);
}

TEST_F(SlicingPanelTest, ReturningFromVolumeModeShowsSliceZeroOfThePlaneChosenBefore) {
    LoadDataset(32, 24, 16, [](int, int, int) { return int16_t{1500}; });
    ChooseSlicing();
    Click(m_pSlicing->m_radioYZ);
    Key(Slider(), WXK_END);
    ExpectSlice(31);
    ChooseVolume();
    EXPECT_FALSE(m_pSlicing->IsShown());
    EXPECT_TRUE(m_pVolume->IsShownOnScreen());
    ChooseSlicing();
    EXPECT_TRUE(m_pSlicing->m_radioYZ->GetValue());
    EXPECT_EQ(m_pRender->m_nPlane, SLICING_PLANE_YZ);
    EXPECT_EQ(Slider()->GetMax(), 31);
    ExpectSlice(0);
}

TEST_F(SlicingPanelTest, SamplingRadiosSetTheSliceInterpolation) {
    LoadDataset(8, 8, 8, [](int, int, int) { return int16_t{1500}; });
    ChooseSlicing();
    Click(m_pSlicing->m_radioBilinear);
    EXPECT_EQ(m_pRender->m_nSliceInterpolation, 1);
    Click(m_pSlicing->m_radioNearest);
    EXPECT_EQ(m_pRender->m_nSliceInterpolation, 0);
    // The sampling is the render window's: a plane change keeps it.
    Click(m_pSlicing->m_radioBilinear);
    Click(m_pSlicing->m_radioXZ);
    EXPECT_EQ(m_pRender->m_nSliceInterpolation, 1);
}

TEST_F(SlicingPanelTest, APlaneOfOneSliceKeepsSliceZero) {
    LoadDataset(8, 8, 1, [](int, int, int) { return int16_t{1500}; });
    ChooseSlicing();
    EXPECT_EQ(m_pSlicing->GetSliceMaximum(), 0);
    Click(Button(IDC_NEXT_SLICE));
    ExpectSlice(0);
    // The platform's slider cannot hold the range 0 to 0; the slice stays 0
    // whatever position it reaches.
    Key(Slider(), WXK_END);
    ExpectSlice(0);
    Key(Slider(), WXK_RIGHT);
    ExpectSlice(0);
    // The other planes have eight slices.
    Click(m_pSlicing->m_radioXZ);
    Key(Slider(), WXK_END);
    ExpectSlice(7);
}

TEST_F(SlicingPanelTest, WithoutVoxelsNothingIsComputedFromTheVolume) {
    const wxSize client = m_pRender->GetClientSize();
    auto checkEmpty = [&](const char* sWhat) {
        SCOPED_TRACE(sWhat);
        EXPECT_EQ(m_pSlicing->GetSliceMaximum(), 0);
        ExpectSlice(0);
        Click(Button(IDC_NEXT_SLICE));
        ExpectSlice(0);
        Click(Button(IDC_FIT_2));
        Click(Button(IDC_FIT_1));
        Pump(100);
        EXPECT_EQ(m_pRender->GetClientSize(), client);
        Click(m_pSlicing->m_radioXZ);
        EXPECT_EQ(m_pRender->m_nPlane, SLICING_PLANE_XZ);
        ExpectSlice(0);
        Click(m_pSlicing->m_radioXY);
        const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
        EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
    };
    // No dataset at all: the mode radios are disabled, so the dialog's handlers
    // are called directly.
    wxCommandEvent event(wxEVT_RADIOBUTTON);
    m_pDlg->OnSlicing(event);
    ASSERT_TRUE(WaitForShown(m_pSlicing));
    checkEmpty("no dataset");
    m_pDlg->OnVolume(event);
    EXPECT_FALSE(m_pSlicing->IsShown());

    // A dataset that could not be read holds no voxels.
    CMessageBoxCapture boxes;
    EXPECT_EQ(m_pDlg->LoadDatasetFile(m_Dir.Path("missing.dat")), -1);
    ASSERT_NE(m_pApp->m_pVolume, nullptr);
    ChooseSlicing();
    checkEmpty("empty dataset");
    ChooseVolume();
}

} // namespace
