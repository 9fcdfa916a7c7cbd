// The "Render Output" window of the running viewer: the volume picture read
// back from the window, the mouse drag and resizing (the setters' restarts:
// tests/render).
#include <algorithm>
#include <array>
#include <cmath>

#include <wx/uiaction.h>

#include "support/GuiTest.h"

using namespace guitest;

namespace {

// Records what a drag tells the volume panel's sliders.
class CSliderRecorder : public CRotationSliders {
public:
    void SetLongitudePosition(int nDegrees) override { longitudes.push_back(nDegrees); }
    void SetLatitudePosition(int nDegrees) override { latitudes.push_back(nDegrees); }
    std::vector<int> longitudes{999};
    std::vector<int> latitudes{999};
};

// The byte OpenGL writes for a colour component (clamped to 0..1).
int ColourByte(double c) {
    return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}

// A 24^3 block of 3000 inside a 32^3 volume of 0.
int Block(int x, int y, int z) {
    auto inside = [](int c) { return c >= 4 && c < 28; };
    return inside(x) && inside(y) && inside(z) ? 3000 : 0;
}

class RenderWndTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        m_pRender->SetRotationSliders(&m_Sliders);
    }

    // Sets the client size and waits until the window has taken it.
    void ResizeClient(int nWidth, int nHeight) {
        m_pRender->SetClientSize(nWidth, nHeight);
        ASSERT_TRUE(WaitFor([&] {
            return m_pRender->m_nWidth == nWidth && m_pRender->m_nHeight == nHeight &&
                   m_pRender->GetCanvas()->GetClientSize() == wxSize(nWidth, nHeight);
        }));
        m_pRender->Repaint();
    }

    CSliderRecorder m_Sliders;
};

TEST_F(RenderWndTest, VolumeModeShowsTheFinishedImageBlockByBlock) {
    LoadDataset(32, 32, 32, Block);
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pRender->SetLongitude(30);
    m_pRender->SetLatitude(60);
    m_pRender->SetRenderMode(RENDER_MODE_VOLUME);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    m_pRender->WaitForWorkerEnd();
    Pump();
    m_pRender->Repaint();
    const Pixels pixels = RenderShows();
    const int W = m_pRender->m_nWidth;
    const int H = m_pRender->m_nHeight;
    ASSERT_EQ(pixels.nWidth, W);
    ASSERT_EQ(pixels.nHeight, H);
    EXPECT_GT(pixels.CountNonBlack(), W * H / 20);
    // Every pixel but the last column and the bottom row shows its image sample
    // (row 0 of the image is the window's top row).
    int nWrong = 0;
    for (int y = 0; y < H - 1; ++y) {
        for (int x = 0; x < W - 1; ++x) {
            const ImagePixel& p = m_pRender->m_Image[x][y];
            ASSERT_EQ(p.computed, 1);
            nWrong += !pixels.Is(x, H - 1 - y, ColourByte(p.r), ColourByte(p.g), ColourByte(p.b));
        }
    }
    EXPECT_EQ(nWrong, 0);
}

TEST_F(RenderWndTest, DragShowsTheBoxOrThePictureAndRestartsOnRelease) {
    LoadDataset(32, 32, 32, Block);
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    const int W = m_pRender->m_nWidth;
    ASSERT_EQ(W % 4, 0) << "the drag below assumes a width divisible by 4";
    const wxPoint start = m_pRender->GetCanvas()->ClientToScreen(wxPoint(W / 4, 100));
    wxUIActionSimulator sim;
    for (bool bPicture : {false, true}) {
        SCOPED_TRACE(bPicture ? "the picture while turning" : "the wire box");
        m_pRender->SetPictureWhileTurning(bPicture);
        m_pRender->SetLongitude(0);
        m_pRender->SetRenderMode(RENDER_MODE_VOLUME);
        m_pRender->WaitForWorkerEnd();
        sim.MouseMove(start);
        ASSERT_TRUE(WaitFor([&] { return wxGetMousePosition() == start; }));
        CDebugCapture capture;
        const int nRuns = m_pRender->RunsEnded();
        sim.MouseDown();
        ASSERT_TRUE(WaitFor([&] { return m_pRender->IsTurning(); }));
        EXPECT_EQ(m_pRender->m_bInteractive, !bPicture);
        // A quarter of the width to the right: longitude -pi/4, i.e. -45
        // degrees; the latitude stays at the panel's 90.
        sim.MouseMove(start + wxPoint(W / 4, 0));
        ASSERT_TRUE(WaitFor([&] { return m_Sliders.longitudes.back() == -45; }));
        EXPECT_EQ(m_pRender->m_fLongitude, -0.785398185f);
        EXPECT_EQ(m_Sliders.latitudes.back(), 90);
        // With the picture, the new angle's run and its picture under the box;
        // else no run, only the white box on black.
        // (A run that a later move stopped may end first: the picture is waited
        // for, not only a run's end.)
        ASSERT_TRUE(!bPicture || WaitFor([&] { return m_pRender->RunsEnded() > nRuns; }));
        Pump();
        auto shown = [&] { return RenderShows().CountColoured() > W * 20; };
        if (bPicture && !WaitFor(shown, 3000)) {
            // On a busy machine a turn's run may end by its frame budget after
            // its first coarse steps, which can all miss the block: the next
            // angle's run must bring a picture.
            sim.MouseMove(start + wxPoint(W / 4 + 4, 0));
            WaitFor(shown);
        }
        const Pixels dragging = RenderShows();
        EXPECT_GT(dragging.CountNonBlack(), 100);
        EXPECT_EQ(dragging.CountColoured() > (bPicture ? W * 20 : 0), bPicture);
        const int nDragRuns = capture.Count(kStarted);
        EXPECT_EQ(nDragRuns > 0, bPicture);

        sim.MouseUp(); // starts the full run
        ASSERT_TRUE(WaitFor([&] { return !m_pRender->IsTurning(); }));
        EXPECT_EQ(capture.Count(kStarted), nDragRuns + 1);
        EXPECT_TRUE(WaitFor([&] {
            return m_pRender->Progress().eState == RenderProgress::FINISHED &&
                   !m_pRender->m_hThreadRunning.IsSet();
        }));
        EXPECT_FALSE(m_pRender->GetCanvas()->HasCapture());
    }
}

TEST_F(RenderWndTest, DragPassesTruncatedRemaindersAndNeverDividesByZero) {
    // 100 pixels right in 600: -pi/6 is -30.0000008 degrees, passed as -30; 100
    // down in 400 is +45. No dataset: the release's run ends at once.
    wxGLCanvas* pCanvas = m_pRender->GetCanvas();
    m_pRender->ResizeGL(600, 400);
    m_pRender->SetLatitude(0);
    SendMouse(pCanvas, wxEVT_LEFT_DOWN, 300, 200);
    EXPECT_TRUE(m_pRender->m_bInteractive);
    SendMouse(pCanvas, wxEVT_MOTION, 400, 300);
    EXPECT_EQ(m_pRender->m_fLongitude, -0.52359879f);
    EXPECT_EQ(m_pRender->m_fLatitude, 0.785398185f);
    EXPECT_EQ(m_Sliders.longitudes.back(), -30);
    EXPECT_EQ(m_Sliders.latitudes.back(), 45);
    // 2.5 widths: -7.8539815f is -449.999992 degrees, truncated to -449: -89.
    SendMouse(pCanvas, wxEVT_LEFT_UP, 300 + 1500, 200);
    EXPECT_FALSE(m_pRender->m_bInteractive);
    EXPECT_EQ(m_Sliders.longitudes.back(), -89);
    EXPECT_FALSE(pCanvas->HasCapture());

    // A client area without width: horizontal motion turns nothing.
    m_pRender->ResizeGL(0, 0);
    EXPECT_EQ(m_pRender->m_nWidth, 0);
    EXPECT_EQ(m_pRender->m_nHeight, 1);
    m_pRender->SetLongitude(0);
    SendMouse(pCanvas, wxEVT_LEFT_DOWN, 0, 0);
    SendMouse(pCanvas, wxEVT_LEFT_UP, 50, 0);
    EXPECT_EQ(m_pRender->m_fLongitude, 0.0f);
    EXPECT_TRUE(std::isfinite(m_pRender->m_fLatitude.load()));
    EXPECT_EQ(m_Sliders.longitudes.back(), 0);
}

TEST_F(RenderWndTest, WheelZoomsTowardTheCursorShiftDragPansAndHomeResetsTheView) {
    LoadDataset(32, 32, 32, Block);
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pRender->SetLatitude(0);
    m_pRender->SetLongitude(20);
    auto finished = [&](const std::function<void()>& step) {
        ExpectOneRun(step); // the samples with red above 0.3 (row 0 at the top)
        return testfiles::LitBox(m_pRender->m_nWidth, m_pRender->m_nHeight, [&](int x, int y) {
            return m_pRender->m_Image[x][y].computed && m_pRender->m_Image[x][y].r > 0.3f;
        });
    };
    const std::array<int, 4> one = finished([&] { m_pRender->SetRenderMode(RENDER_MODE_VOLUME); });
    wxGLCanvas* pCanvas = m_pRender->GetCanvas();
    // Two notches away from the user at the square's left edge: zoom 1.5625,
    // the left edge stays, the right one moves out by the zoom.
    const int yMid = (one[1] + one[3]) / 2;
    const std::array<int, 4> zoomed =
        finished([&] { SendMouse(pCanvas, wxEVT_MOUSEWHEEL, one[0], yMid, 0, 240); });
    EXPECT_EQ(m_pRender->GetZoomPan().dZoom, 1.5625);
    EXPECT_NEAR(zoomed[0], one[0], 1);
    EXPECT_NEAR(zoomed[2] - zoomed[0], 1.5625 * (one[2] - one[0]), 2);
    EXPECT_NE(m_pDlg->m_staticStatus->GetLabel().Find("Zoom 1.56x"), wxNOT_FOUND);
    // Shift + drag by (12, -9): the wire box only while dragging, the picture
    // moved by as many pixels after the release.
    const std::array<int, 4> panned = finished([&] {
        SendMouse(pCanvas, wxEVT_LEFT_DOWN, 100, 100, wxMOD_SHIFT);
        SendMouse(pCanvas, wxEVT_MOTION, 112, 91, wxMOD_SHIFT);
        EXPECT_TRUE(m_pRender->m_bInteractive);
        SendMouse(pCanvas, wxEVT_LEFT_UP, 112, 91, wxMOD_SHIFT);
    });
    EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(20)); // no turn
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(panned[i], zoomed[i] + (i % 2 ? -9 : 12), 1) << i;
    // Home: zoom 1, no pan and the start angles, the sliders with them.
    finished([&] { Key(pCanvas, WXK_HOME); });
    EXPECT_TRUE(m_pRender->GetZoomPan().IsDefault());
    EXPECT_EQ(m_pRender->m_fLongitude, 0.0f);
    EXPECT_EQ(m_pRender->m_fLatitude, DegreesToRadians(90));
    EXPECT_EQ(m_Sliders.latitudes.back(), 90);
    EXPECT_EQ(m_pDlg->m_staticStatus->GetLabel().Find("Zoom"), wxNOT_FOUND);

    // Slicing: the plain wheel leaves a RAW dataset's slice as it is; Ctrl +
    // wheel zooms with the voxel under the cursor staying there, and a middle
    // drag moves it with the cursor.
    m_pRender->SetRenderMode(RENDER_MODE_SLICING);
    const int W = m_pRender->m_nWidth, H = m_pRender->m_nHeight;
    auto voxelAt = [&](int x, int y) {
        std::array<int, 3> v{-1, -1, -1};
        SliceVoxelAt(m_pRender->Volume(), m_pRender->m_nPlane, m_pRender->m_nSlice, W, H,
                     m_pRender->GetSliceLook(), x, H - 1 - y, v.data());
        return v;
    };
    const int x = W / 2 + 37, y = H / 2 - 21;
    const std::array<int, 3> under = voxelAt(x, y);
    SendMouse(pCanvas, wxEVT_MOUSEWHEEL, x, y, 0, 240);
    EXPECT_TRUE(m_pRender->GetSliceLook().zoom.IsDefault());
    SendMouse(pCanvas, wxEVT_MOUSEWHEEL, x, y, wxMOD_CONTROL, 360);
    EXPECT_EQ(m_pRender->GetSliceLook().zoom.dZoom, 1.953125);
    EXPECT_EQ(voxelAt(x, y), under);
    for (wxEventType type : {wxEVT_MIDDLE_DOWN, wxEVT_MOTION, wxEVT_MIDDLE_UP})
        SendMouse(pCanvas, type, type == wxEVT_MIDDLE_DOWN ? x : x - 30, y);
    EXPECT_EQ(voxelAt(x - 30, y), under);
    // Home fits the slice again; the keys zoom about the centre.
    Key(pCanvas, WXK_HOME);
    EXPECT_TRUE(m_pRender->GetSliceLook().zoom.IsDefault());
    Key(pCanvas, WXK_NUMPAD_SUBTRACT);
    EXPECT_EQ(m_pRender->GetSliceLook().zoom.dZoom, 0.8);
}

} // namespace
