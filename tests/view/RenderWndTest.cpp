// The "Render Output" window of the running viewer: the setters, the slice and
// volume pictures read back from the window, the mouse drag, resizing, images
// larger than the buffers, and the OpenGL set-up of both GL windows.
#include <algorithm>
#include <cmath>

#include <GL/gl.h>
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

    // Expects the pixel to show the table colour of a voxel value.
    void ExpectValueColour(const Pixels& pixels, int x, int y, int nValue) {
        const TableEntry& e = m_pApp->m_pTransferFunction->Lookup(static_cast<int16_t>(nValue));
        const double k = 0.00392156862745098;
        EXPECT_TRUE(
            pixels.Is(x, y, ColourByte(e.red * k), ColourByte(e.green * k), ColourByte(e.blue * k)))
            << x << "," << y << " shows " << pixels.Rgb(x, y) << " for value " << nValue;
    }

    int Starts(const CDebugCapture& capture) {
        m_pRender->WaitForWorkerEnd();
        return capture.Count(kStarted);
    }

    CSliderRecorder m_Sliders;
};

TEST_F(RenderWndTest, SettersStoreAndRestartOnlyWhereTheyMust) {
    // Angles: degrees * 0.0055555557f in float, times pi in double, as a float.
    m_pRender->SetLongitude(30);
    EXPECT_EQ(m_pRender->m_fLongitude,
              static_cast<float>(static_cast<double>(30 * 0.0055555557f) * 3.141592653589793));
    m_pRender->SetLatitude(90);
    EXPECT_EQ(m_pRender->m_fLatitude, 1.5707964f);

    LoadDataset(8, 8, 8, [](int, int, int) { return 2000; });
    CDebugCapture capture;
    m_pRender->SetUpperThreshold(3000); // stored only
    m_pRender->SetLowerThreshold(100);
    EXPECT_EQ(m_pRender->m_nUpperThreshold, 3000);
    EXPECT_EQ(m_pRender->m_nLowerThreshold, 100);
    m_pRender->SetVolumeType(VOLUME_TYPE_LEVOY); // the current values: no restart
    m_pRender->SetVolumeInterpolation(1);
    EXPECT_EQ(Starts(capture), 0);
    EXPECT_EQ(m_pRender->SetVolumeType(VOLUME_TYPE_XRAY), 0);
    EXPECT_EQ(Starts(capture), 1);
    m_pRender->SetVolumeInterpolation(0);
    EXPECT_EQ(Starts(capture), 2);
    // Volume mode restarts every time, also when it is the mode already.
    EXPECT_TRUE(m_pRender->SetRenderMode(RENDER_MODE_VOLUME));
    EXPECT_EQ(Starts(capture), 3);
    EXPECT_TRUE(m_pRender->SetRenderMode(RENDER_MODE_VOLUME));
    EXPECT_EQ(Starts(capture), 4);
    // So does a resize in Volume mode, but neither Slicing mode nor a resize in it.
    ResizeClient(400, 300);
    EXPECT_GE(Starts(capture), 5);
    EXPECT_TRUE(m_pRender->SetRenderMode(RENDER_MODE_SLICING));
    capture.Clear();
    ResizeClient(420, 300);
    EXPECT_EQ(Starts(capture), 0);
}

TEST_F(RenderWndTest, SlicingShowsTheSliceColoursFromTheBottomLeft) {
    // 2 x 2 x 2; slice z = 1 holds 1000 at (0,0), 2000 at (1,0), 3000 at (0,1)
    // and 0 at (1,1); slice z = 0 is all 500.
    const int top[4] = {1000, 2000, 3000, 0};
    LoadDataset(2, 2, 2, [&](int x, int y, int z) { return z ? top[y * 2 + x] : 500; });
    CTransferFunction* pTf = m_pApp->m_pTransferFunction;
    pTf->SetPoint(0, 0.2f, 0.2f, 0.2f, 0.0f);
    pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
    pTf->SetPoint(3000, 0.0f, 0.0f, 1.0f, 0.5f);
    pTf->BuildTable();
    ResizeClient(200, 200);
    m_pRender->SetSliceNumber(1);
    EXPECT_TRUE(m_pRender->SetRenderMode(RENDER_MODE_SLICING));
    // The setters repaint at once: no event processing needed. u and v grow by
    // 0.01f per pixel in float: after 100 steps they are 0.99999934, so column
    // and row 100 still sample voxel 0 and the next voxel starts at 101.
    Pixels pixels = RenderShows();
    const int cases[][3] = {{50, 50, 1000}, {150, 50, 2000}, {50, 150, 3000},
                            {150, 150, 0},  {0, 0, 1000},    {100, 100, 1000},
                            {101, 0, 2000}, {0, 101, 3000},  {199, 199, 0}};
    for (const auto& [x, y, nValue] : cases)
        ExpectValueColour(pixels, x, y, nValue);
    m_pRender->SetSliceNumber(0);
    ExpectValueColour(RenderShows(), 150, 150, 500);
    // A slice outside its axis shows the colour of value 0 over the whole area.
    m_pRender->SetSliceNumber(7);
    pixels = RenderShows();
    ExpectValueColour(pixels, 50, 50, 0);
    ExpectValueColour(pixels, 150, 50, 0);
}

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

TEST_F(RenderWndTest, DragShowsOnlyTheBoxAndRestartsOnRelease) {
    LoadDataset(32, 32, 32, Block);
    m_pRender->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pRender->SetRenderMode(RENDER_MODE_VOLUME);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    const int W = m_pRender->m_nWidth;
    ASSERT_EQ(W % 4, 0) << "the drag below assumes a width divisible by 4";
    const wxPoint start = m_pRender->GetCanvas()->ClientToScreen(wxPoint(W / 4, 100));
    wxUIActionSimulator sim;
    sim.MouseMove(start);
    ASSERT_TRUE(WaitFor([&] { return wxGetMousePosition() == start; }));
    CDebugCapture capture;
    sim.MouseDown();
    ASSERT_TRUE(WaitFor([&] { return m_pRender->m_bInteractive.load(); }));
    // A quarter of the width to the right: longitude -pi/4, i.e. -45 degrees;
    // the latitude stays at the panel's 90.
    sim.MouseMove(start + wxPoint(W / 4, 0));
    ASSERT_TRUE(WaitFor([&] { return m_Sliders.longitudes.back() == -45; }));
    EXPECT_EQ(m_pRender->m_fLongitude, static_cast<float>(0.0 - 0.25f * 3.141592653589793));
    EXPECT_EQ(m_Sliders.latitudes.back(), 90);
    EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
    // Only the white box on black.
    const Pixels dragging = RenderShows();
    EXPECT_GT(dragging.CountNonBlack(), 100);
    EXPECT_EQ(dragging.CountColoured(), 0);

    sim.MouseUp();
    ASSERT_TRUE(WaitFor([&] { return !m_pRender->m_bInteractive.load(); }));
    EXPECT_EQ(capture.Count(kStarted), 1); // the release starts a new run
    EXPECT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_FALSE(m_pRender->GetCanvas()->HasCapture());
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
    EXPECT_EQ(m_pRender->m_fLongitude,
              static_cast<float>(0.0 - (100.0f / 600.0f) * 3.141592653589793));
    EXPECT_EQ(m_pRender->m_fLatitude, static_cast<float>(0.0 + 0.25f * 3.141592653589793));
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

TEST_F(RenderWndTest, ResizeToHeightZeroUsesOne) {
    m_pRender->ResizeGL(300, 0);
    EXPECT_EQ(m_pRender->m_nHeight, 1);
    EXPECT_EQ(m_pRender->m_nWidth, 300);
    ASSERT_TRUE(m_pRender->MakeCurrent());
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 300, 1}));
    // A real resize of the frame to no client height ends in the same state.
    m_pRender->SetClientSize(300, 0);
    EXPECT_TRUE(WaitFor([&] {
        return m_pRender->GetCanvas()->GetClientSize().GetWidth() == 300 &&
               m_pRender->m_nHeight ==
                   std::max(1, m_pRender->GetCanvas()->GetClientSize().GetHeight());
    }));
    EXPECT_EQ(m_pRender->m_nHeight,
              std::max(1, m_pRender->GetCanvas()->GetClientSize().GetHeight()));
}

TEST_F(RenderWndTest, ClientAreaLargerThanTheBuffersDrawsOnlyTheBuffer) {
    // No dataset: the restarts that the resize causes end at once and leave the
    // front image as written here.
    ResizeClient(2000, 1500);
    ASSERT_TRUE(m_pRender->m_hImageMutex.Lock(1000));
    for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
        for (int y = 0; y < IMAGE_MAX_HEIGHT; ++y)
            m_pRender->m_Image[x][y] = ImagePixel{1, 0.25f, 0.5f, 0.75f};
    m_pRender->m_hImageMutex.Unlock();
    m_pRender->ForgetImageExtents();
    m_pRender->m_nRenderMode = RENDER_MODE_VOLUME;
    const Pixels pixels = ReadBackPixels(m_pRender);
    ASSERT_EQ(pixels.nWidth, 2000);
    ASSERT_EQ(pixels.nHeight, 1500);
    // Quads cover columns 0..1918 and the top rows 0..1438 (GL rows 61..1499).
    int nWrong = 0;
    for (int y = 0; y < 1500; ++y)
        for (int x = 0; x < 2000; ++x)
            nWrong += x < IMAGE_MAX_WIDTH - 1 && y >= 1500 - (IMAGE_MAX_HEIGHT - 1)
                          ? !pixels.Is(x, y, 64, 128, 191)
                          : !pixels.IsBlack(x, y);
    EXPECT_EQ(nWrong, 0);
}

TEST(GLWindowCreation, FailedPixelFormatShowsBothBoxesAndCreatesNoWindow) {
    PixelFormatRequest impossible;
    impossible.nColorBits = 192; // 64 bits per channel: no display has that
    impossible.bFallBack = false;
    const std::function<CGLFrame*()> windows[] = {
        [&] { return new CRenderWnd(GetViewerApp(), impossible); },
        [&] { return new CTransferFunctionWnd(GetViewerApp(), impossible); }};
    for (const auto& create : windows) {
        CMessageBoxCapture boxes;
        CGLFrame* pWnd = create();
        EXPECT_FALSE(pWnd->IsCreated());
        EXPECT_EQ(pWnd->GetCanvas(), nullptr);
        ASSERT_EQ(boxes.boxes.size(), 2u);
        EXPECT_EQ(boxes.boxes[0].sText, "ChoosePixelFormat failed");
        EXPECT_EQ(boxes.boxes[0].pOwner, nullptr);
        EXPECT_EQ(boxes.boxes[1].sText, "SetPixelformat Failed!");
        for (const MessageBoxRequest& box : boxes.boxes) {
            EXPECT_EQ(box.sCaption, "Error");
            EXPECT_EQ(box.nStyle & (wxOK | wxCANCEL | wxYES_NO), wxOK);
        }
        pWnd->Destroy();
        Pump();
    }
    // The real request (64 depth bits, 8 aux buffers: more than Mesa has) is
    // relaxed silently, but double buffering and RGBA are never dropped.
    CMessageBoxCapture boxes;
    PixelFormatChoice choice;
    wxGLAttributes attrs;
    ASSERT_TRUE(ChoosePixelFormat(PixelFormatRequest{}, attrs, &choice));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(choice.accepted.nDepthBits == 64 || choice.nRelaxations > 0);
    EXPECT_GE(choice.accepted.nDepthBits, 16);
    EXPECT_TRUE(wxGLCanvas::IsDisplaySupported(attrs));
}

} // namespace
