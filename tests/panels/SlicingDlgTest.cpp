// The slicing panel inside the running viewer: the plane radios and the slider
// range they set, the slice slider, "<" and ">", the sampling radios, the fit
// buttons, the return from Volume mode, a panel with no dataset behind it, the
// range after a load, and panels whose window cannot be created.
#include <cmath>

#include "support/GuiTest.h"

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
};

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
