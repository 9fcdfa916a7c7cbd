// The slicing panel inside the running viewer: the plane radios and the slider
// range they set, the slice slider, "<" and ">", the sampling radios, the fit
// buttons, the return from Volume mode, a panel with no dataset behind it, the
// range after a load, and panels whose window cannot be created; for scans the
// greys by window and level, the patient's sides, the right-button drag, the
// wheel and slice keys, each plane's own slice and the voxel under the cursor.
#include <cmath>

#include <gtk/gtk.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/eventfilter.h>
#include <wx/menu.h>
#include <wx/textctrl.h>

#include "support/GuiTest.h"
#include "render/SliceView.h"

using namespace guitest;

namespace {

class SlicingPanelTest : public ViewerTest {
protected:
    wxButton* Button(int nId) { return dynamic_cast<wxButton*>(m_pSlicing->FindWindow(nId)); }
    wxSlider* Slider() const { return m_pSlicing->m_sliderSlice; }

    // Slice number, label, slider and render window agree on nSlice.
    void ExpectSlice(int nSlice) {
        EXPECT_EQ(m_pSlicing->m_nSlice, nSlice);
        EXPECT_EQ(m_pSlicing->m_staticSliceNumber->GetLabel(),
                  wxString::Format("Slice # %d", nSlice));
        EXPECT_EQ(Slider()->GetValue(), nSlice);
        EXPECT_EQ(m_pRender->m_nSlice, nSlice);
    }

    // The render window's centre shows the table colour of a voxel value.
    bool CentreShowsValue(int nValue) {
        const TableEntry& e = m_pApp->m_pTransferFunction->Lookup(static_cast<int16_t>(nValue));
        return RenderShows().Is(
            m_pRender->m_nWidth / 2, m_pRender->m_nHeight / 2, static_cast<int>(std::lround(e.red)),
            static_cast<int>(std::lround(e.green)), static_cast<int>(std::lround(e.blue)));
    }

    // Makes a scan current as the import leaves it: stored values value(x, y,
    // z) standing for dOffset + stored, optionally in the patient frame.
    CVolume* LoadScan(int nDimX, int nDimY, int nDimZ,
                      const std::function<int(int, int, int)>& value, double dOffset,
                      bool bOriented) {
        VoxelBuffer pVoxels = AllocateVoxels(size_t(nDimX) * nDimY * nDimZ);
        for (int z = 0, i = 0; z < nDimZ; ++z)
            for (int y = 0; y < nDimY; ++y)
                for (int x = 0; x < nDimX; ++x)
                    pVoxels[i++] = static_cast<int16_t>(value(x, y, z));
        auto pScan = std::make_unique<CVolume>();
        EXPECT_EQ(pScan->AdoptVoxels(nDimX, nDimY, nDimZ, std::move(pVoxels)), 0);
        pScan->m_Source.sKind = "NIfTI";
        pScan->m_Source.dScanOffset = dOffset;
        pScan->m_Source.bOriented = bOriented;
        m_pDlg->ReplaceDataset(std::move(pScan), m_Dir.Path("head.nii"));
        return m_pApp->m_pVolume;
    }
    // A synthesised mouse event of the canvas at client point (x, y).
    void Mouse(wxEventType type, int x, int y, bool bRight = false, int nWheel = 0) {
        wxMouseEvent event(type);
        event.SetEventObject(m_pRender->GetCanvas());
        event.SetPosition(wxPoint(x, y));
        event.m_rightDown = bRight;
        event.m_wheelRotation = nWheel;
        event.m_wheelDelta = 120;
        m_pRender->GetCanvas()->GetEventHandler()->ProcessEvent(event);
    }
};

// Counts the context menus that open and closes each at once.
class CMenuCloser : public wxEventFilter {
public:
    CMenuCloser() { wxEvtHandler::AddFilter(this); }
    ~CMenuCloser() override { wxEvtHandler::RemoveFilter(this); }
    int FilterEvent(wxEvent& event) override {
        if (event.GetEventType() == wxEVT_MENU_OPEN) {
            if (wxMenu* pMenu = static_cast<wxMenuEvent&>(event).GetMenu()) {
                ++nOpened;
                wxTheApp->CallAfter([pMenu] { gtk_menu_popdown(GTK_MENU(pMenu->m_menu)); });
            }
        }
        return Event_Skip;
    }
    int nOpened = 0;
};

TEST_F(SlicingPanelTest, AScanShowsGreysByWindowAndLevelAsSaved) {
    // CT: air -1024, 40 (the soft tissue level) and bone 1000 side by side.
    LoadScan(
        30, 8, 3, [](int x, int, int) { return x < 10 ? 0 : (x < 20 ? 1064 : 2024); }, -1024.0,
        false);
    ChooseSlicing();
    const SliceLook look = m_pRender->GetSliceLook();
    EXPECT_TRUE(look.bGreyscale && m_pSlicing->m_radioGreyscale->GetValue());
    EXPECT_EQ(m_pSlicing->m_textWindow->GetValue(), "400");
    EXPECT_EQ(m_pSlicing->m_textLevel->GetValue(), "40");
    // The picture saved is the one shown: black, mid grey, white.
    RgbImage picture;
    ASSERT_TRUE(m_pRender->TakePicture(picture));
    const Pixels shown = RenderShows();
    const int W = picture.nWidth, H = picture.nHeight;
    const float expected[3] = {0.0f, 0.5f, 1.0f};
    for (int i = 0; i < 3; ++i) {
        const int x = W / 2 + (i - 1) * W / 3;
        EXPECT_FLOAT_EQ(picture.At(x, H / 2)[0], expected[i]) << i;
        EXPECT_TRUE(shown.IsGrey(x, H / 2, static_cast<int>(expected[i] * 255 + 0.5f)) ||
                    shown.IsGrey(x, H / 2, static_cast<int>(expected[i] * 255)))
            << shown.Rgb(x, H / 2);
    }
    // The bone preset puts 40 at 540 / 2000 of its window; a level that is no
    // number changes nothing.
    m_pSlicing->m_choicePreset->SetSelection(2);
    wxCommandEvent choice(wxEVT_CHOICE, IDC_WINDOW_LEVEL_PRESET);
    m_pSlicing->ProcessWindowEvent(choice);
    m_pSlicing->m_textLevel->ChangeValue("forty");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, IDC_LEVEL_VALUE);
    m_pSlicing->m_textLevel->ProcessWindowEvent(enter);
    EXPECT_EQ(m_pSlicing->m_textLevel->GetValue(), "500");
    ASSERT_TRUE(m_pRender->TakePicture(picture));
    EXPECT_FLOAT_EQ(picture.At(W / 2, H / 2)[0], 0.27f);
}

TEST_F(SlicingPanelTest, AnOrientedAxialSliceShowsAnteriorUpAndTheRightOnTheChosenSide) {
    // One bright voxel on the patient's right (low x), anterior (low y).
    LoadScan(
        40, 40, 3, [](int x, int y, int) { return x < 4 && y < 4 ? 3000 : 0; }, 0.0, true);
    ChooseSlicing();
    const auto brightAt = [&](bool bLeft) {
        const Pixels pixels = RenderShows();
        const int W = pixels.nWidth, H = pixels.nHeight;
        const auto white = [](const uint8_t* p) { return p[0] > 200 && p[2] > 200; };
        return pixels.Count(white, bLeft ? 0 : W / 2, H / 2, bLeft ? W / 2 : W, H) > 0 &&
               pixels.Count(white, 0, 0, W, H / 2) == 0;
    };
    EXPECT_TRUE(brightAt(true)); // radiological: top left
    // The edge letters are drawn in yellow.
    EXPECT_GT(RenderShows().Count([](const uint8_t* p) { return p[0] > 200 && p[2] < 60; }, 0, 0,
                                  m_pRender->m_nWidth, m_pRender->m_nHeight),
              0);
    Click(m_pSlicing->m_checkNeurological);
    EXPECT_TRUE(brightAt(false)); // neurological: top right
}

TEST_F(SlicingPanelTest, RightDragSetsWindowAndLevelAndAStillRightClickOpensTheMenu) {
    LoadScan(
        30, 30, 3, [](int x, int, int) { return x * 100; }, -1024.0, false);
    ChooseSlicing();
    const SliceLook before = m_pRender->GetSliceLook();
    CMenuCloser menus;
    // 30 pixels right widens the window, 10 up raises the level, 2 units a pixel.
    Mouse(wxEVT_RIGHT_DOWN, 100, 100, true);
    Mouse(wxEVT_MOTION, 130, 90, true);
    Mouse(wxEVT_RIGHT_UP, 130, 90);
    Pump();
    EXPECT_EQ(m_pRender->GetSliceLook().dWindow, before.dWindow + 60);
    EXPECT_EQ(m_pRender->GetSliceLook().dLevel, before.dLevel + 20);
    EXPECT_EQ(m_pSlicing->m_textWindow->GetValue(), wxString::Format("%g", before.dWindow + 60));
    EXPECT_EQ(menus.nOpened, 0);
    Mouse(wxEVT_RIGHT_DOWN, 100, 100, true);
    Mouse(wxEVT_MOTION, 101, 101, true);
    Mouse(wxEVT_RIGHT_UP, 101, 101);
    EXPECT_TRUE(WaitFor([&] { return menus.nOpened == 1; }));
    EXPECT_EQ(m_pRender->GetSliceLook().dWindow, before.dWindow + 60);
}

TEST_F(SlicingPanelTest, WheelAndPageKeysStepAndEachPlaneKeepsItsSlice) {
    LoadScan(
        16, 12, 20, [](int, int, int z) { return z * 100; }, 0.0, false);
    ChooseSlicing();
    ExpectSlice(10); // the middle one
    Mouse(wxEVT_MOUSEWHEEL, 50, 50, false, -120);
    ExpectSlice(11);
    Key(m_pRender->GetCanvas(), WXK_PAGEDOWN);
    ExpectSlice(12);
    Key(m_pRender->GetCanvas(), WXK_PAGEUP);
    ExpectSlice(11);
    Click(m_pSlicing->m_radioXZ);
    ExpectSlice(6);
    Click(m_pSlicing->m_radioXY);
    ExpectSlice(11);
    ChooseVolume();
    ChooseSlicing();
    ExpectSlice(11);
}

TEST_F(SlicingPanelTest, TheStatusShowsTheVoxelUnderTheCursor) {
    CVolume* pScan = LoadScan(
        40, 30, 10, [](int x, int y, int) { return x + 40 * y; }, -1000.0, false);
    pScan->m_dSpacing[0] = pScan->m_dSpacing[1] = 0.5;
    ChooseSlicing();
    Click(Button(IDC_FIT_2)); // two pixels a voxel
    ASSERT_TRUE(WaitFor([&] { return m_pRender->m_nWidth == 80 && m_pRender->m_nHeight == 60; }));
    Mouse(wxEVT_MOTION, 2 * 7 + 1, 59 - (2 * 3 + 1));
    EXPECT_TRUE(WaitFor([&] {
        return m_pDlg->m_staticStatus->GetLabel().Contains(
            "Voxel (7, 3, 5) at (3.5, 1.5, 5) mm: -873");
    })) << m_pDlg->m_staticStatus->GetLabel();
}

TEST_F(SlicingPanelTest, PlaneRadiosSetTheSliderRangeOfA256x256x113Volume) {
    LoadDataset(256, 256, 113, [](int, int, int z) { return z * 30; });
    ChooseSlicing();
    EXPECT_TRUE(m_pSlicing->IsShownOnScreen());
    EXPECT_FALSE(m_pVolume->IsShown());
    // Shown: the XY plane applied, with slice 0.
    EXPECT_EQ(Slider()->GetMax(), 112);
    EXPECT_EQ(m_pRender->m_nPlane, SLICING_PLANE_XY);
    ExpectSlice(0);
    struct Case {
        wxRadioButton* pRadio;
        int nPlane;
        int nMax;
    };
    // The last case clicks the plane that is already selected: back to slice 0
    // all the same.
    const Case cases[] = {{m_pSlicing->m_radioXZ, SLICING_PLANE_XZ, 255},
                          {m_pSlicing->m_radioYZ, SLICING_PLANE_YZ, 255},
                          {m_pSlicing->m_radioXY, SLICING_PLANE_XY, 112},
                          {m_pSlicing->m_radioXY, SLICING_PLANE_XY, 112}};
    for (const Case& c : cases) {
        Key(Slider(), WXK_END); // from a slice other than 0, so that the reset shows
        ASSERT_EQ(m_pRender->m_nSlice, Slider()->GetMax());
        Click(c.pRadio);
        EXPECT_TRUE(c.pRadio->GetValue());
        EXPECT_EQ(m_pSlicing->m_nPlane, c.nPlane);
        EXPECT_EQ(m_pRender->m_nPlane, c.nPlane);
        EXPECT_EQ(Slider()->GetMin(), 0);
        EXPECT_EQ(Slider()->GetMax(), c.nMax);
        ExpectSlice(0);
    }
}

TEST_F(SlicingPanelTest, SliderDragAndKeysShowTheSliceAtOnce) {
    // Each slice has a value of its own: 100 + 100 z.
    LoadDataset(64, 64, 40, [](int, int, int z) { return 100 + 100 * z; });
    ChooseSlicing();
    ASSERT_TRUE(CentreShowsValue(100));
    int nDuring = -1;
    DragSlider(Slider(), 0, 25, [&] {
        nDuring = Slider()->GetValue();
        EXPECT_GT(nDuring, 0);
        ExpectSlice(nDuring);
        EXPECT_TRUE(CentreShowsValue(100 + 100 * nDuring));
    });
    ExpectSlice(nDuring); // letting go changes nothing

    const int nPage = Slider()->GetPageSize();
    const int steps[][2] = {
        {WXK_HOME, 0}, {WXK_RIGHT, 1}, {WXK_PAGEDOWN, 1 + nPage}, {WXK_LEFT, nPage}, {WXK_END, 39}};
    for (const auto& [nKey, nSlice] : steps) {
        Key(Slider(), nKey);
        ExpectSlice(nSlice);
        EXPECT_TRUE(CentreShowsValue(100 + 100 * nSlice)) << "key " << nKey;
    }
}

TEST_F(SlicingPanelTest, FitButtonsGiveTheRenderWindowTheSliceSize) {
    LoadDataset(256, 256, 113, [](int, int, int) { return 2000; });
    ChooseSlicing();
    const wxPoint position = m_pRender->GetScreenPosition();
    // Voxels 2.5 times as long along z make the slice 2.5 times as high.
    const std::tuple<wxRadioButton*, int, wxSize, double> cases[] = {
        {m_pSlicing->m_radioXZ, IDC_FIT_1, wxSize(256, 282), 2.5},
        {m_pSlicing->m_radioYZ, IDC_FIT_1, wxSize(256, 113), 1.0},
        {m_pSlicing->m_radioXZ, IDC_FIT_2, wxSize(512, 226), 1.0}};
    for (const auto& [pRadio, nButton, client, dSpacingZ] : cases) {
        m_pApp->m_pVolume->m_dSpacing[2] = dSpacingZ;
        Click(pRadio);
        Click(Button(nButton));
        EXPECT_TRUE(WaitFor([&] {
            return m_pRender->GetClientSize() == client &&
                   m_pRender->GetCanvas()->GetClientSize() == client &&
                   m_pRender->m_nWidth == client.GetWidth() &&
                   m_pRender->m_nHeight == client.GetHeight();
        })) << "wanted "
            << client.GetWidth() << "x" << client.GetHeight();
        EXPECT_EQ(m_pRender->GetScreenPosition(), position);
    }
    // At 2 : 1 the XZ slice fills the whole client area: no black band.
    Pixels pixels;
    WaitFor([&] {
        m_pRender->Repaint();
        pixels = RenderShows();
        return pixels.CountNonBlack() == pixels.nWidth * pixels.nHeight;
    });
    EXPECT_EQ(pixels.CountNonBlack(), pixels.nWidth * pixels.nHeight);
}

TEST_F(SlicingPanelTest, APlaneOfOneSliceKeepsSliceZero) {
    // The platform's slider cannot hold the range 0 to 0; the slice stays 0
    // whatever position it reaches.
    LoadDataset(8, 8, 1, [](int, int, int) { return 1500; });
    ChooseSlicing();
    EXPECT_EQ(m_pSlicing->GetSliceMaximum(), 0);
    Click(Button(IDC_NEXT_SLICE));
    ExpectSlice(0);
    for (int nKey : {WXK_END, WXK_RIGHT}) {
        Key(Slider(), nKey);
        ExpectSlice(0);
    }
    Click(m_pSlicing->m_radioXZ); // eight slices
    Key(Slider(), WXK_END);
    ExpectSlice(7);
}

} // namespace
