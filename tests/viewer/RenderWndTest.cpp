// The "Render Output" window on a real display: creation, the setters, the
// slice and volume pictures read back from the window, the mouse drag, resizing,
// the pixel-format failure and images larger than the buffers. (Escape, which
// ends the process, is tested on the real program in ProcessTest.cpp.)
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/glcanvas.h>
#include <wx/uiaction.h>

#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "platform/Sync.h"
#include "res/Resource.h"
#include "support/GuiTest.h"
#include "transfer/TransferFunction.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

using namespace guitest;

namespace {

// Records what a drag tells the volume panel's sliders.
class CSliderRecorder : public CRotationSliders {
public:
    void SetLongitudePosition(int nDegrees) override { longitudes.push_back(nDegrees); }
    void SetLatitudePosition(int nDegrees) override { latitudes.push_back(nDegrees); }
    std::vector<int> longitudes;
    std::vector<int> latitudes;
};

// The byte OpenGL writes for a colour component (clamped to 0..1).
int ColourByte(double c) {
    c = c < 0.0 ? 0.0 : (c > 1.0 ? 1.0 : c);
    return static_cast<int>(std::lround(c * 255.0));
}

bool Near(const uint8_t* p, int r, int g, int b, int nTolerance = 1) {
    return std::abs(p[0] - r) <= nTolerance && std::abs(p[1] - g) <= nTolerance &&
           std::abs(p[2] - b) <= nTolerance;
}

std::string Rgb(const uint8_t* p) {
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

class RenderWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pApp = GetViewerApp();
        m_pWnd = new CRenderWnd(m_pApp);
        ASSERT_TRUE(m_pWnd->IsCreated());
        m_pApp->m_pRenderWnd = m_pWnd;
        m_pApp->m_pTransferFunction = new CTransferFunction(m_pApp);
        m_pApp->m_pVectorMath = new CVectorMath;
        m_pWnd->Show();
        ASSERT_TRUE(WaitForShown(m_pWnd->GetCanvas()));
    }

    void TearDown() override {
        // The application's teardown order: the window once its worker has ended,
        // then the transfer function, the vector-math object and the dataset.
        m_pWnd->StopProgressiveThread();
        m_pWnd->WaitForWorkerEnd();
        delete m_pWnd;
        m_pApp->m_pRenderWnd = nullptr;
        delete m_pApp->m_pTransferFunction;
        m_pApp->m_pTransferFunction = nullptr;
        delete m_pApp->m_pVectorMath;
        m_pApp->m_pVectorMath = nullptr;
        delete m_pApp->m_pVolume;
        m_pApp->m_pVolume = nullptr;
        Pump(20);
    }

    void LoadVolume(int nDimX, int nDimY, int nDimZ, const std::vector<int16_t>& voxels) {
        const std::string sPath = m_Dir.Path("volume.dat");
        WriteRaw(sPath, nDimX, nDimY, nDimZ, voxels);
        delete m_pApp->m_pVolume;
        m_pApp->m_pVolume = new CVolume(sPath);
        ASSERT_NE(m_pApp->m_pVolume->m_pVoxels, nullptr);
    }

    // Sets the client size and waits until the window has taken it.
    void ResizeClient(int nWidth, int nHeight) {
        m_pWnd->SetClientSize(nWidth, nHeight);
        ASSERT_TRUE(WaitFor([&] {
            return m_pWnd->m_nWidth == nWidth && m_pWnd->m_nHeight == nHeight &&
                   m_pWnd->GetCanvas()->GetClientSize() == wxSize(nWidth, nHeight);
        }));
        Pump(50);
    }

    // A transfer function with distinct colours at 0, 1000, 2000 and 3000.
    void UseColourfulTransferFunction() {
        CTransferFunction* pTf = m_pApp->m_pTransferFunction;
        pTf->SetPoint(0, 0.2f, 0.2f, 0.2f, 0.0f);
        pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
        pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
        pTf->SetPoint(3000, 0.0f, 0.0f, 1.0f, 0.5f);
        pTf->BuildTable();
    }

    // Expects the window pixel to show the table colour of a voxel value.
    void ExpectValueColour(const Pixels& pixels, int x, int y, int nValue) {
        const TableEntry& e = m_pApp->m_pTransferFunction->Lookup(static_cast<int16_t>(nValue));
        const double k = 0.00392156862745098;
        EXPECT_TRUE(Near(pixels.At(x, y), ColourByte(e.red * k), ColourByte(e.green * k),
                         ColourByte(e.blue * k)))
            << "pixel " << x << "," << y << " shows " << Rgb(pixels.At(x, y)) << " for value "
            << nValue;
    }

    Pixels Shown() { return ReadShownPixels(m_pWnd->GetCanvas()); }

    CTempDir m_Dir;
    CViewerApp* m_pApp = nullptr;
    CRenderWnd* m_pWnd = nullptr;
};

TEST_F(RenderWndTest, StartsBlackAndTitledWithTheStartValues) {
    EXPECT_EQ(m_pWnd->GetTitle(), TEXT_RENDER_TITLE);
    EXPECT_EQ(m_pWnd->GetPosition(), wxPoint(322, 100));
    EXPECT_EQ(m_pWnd->GetSize(), wxSize(700, 475));
    // No caption buttons: no close, minimise or maximise box.
    EXPECT_FALSE(m_pWnd->HasFlag(wxCLOSE_BOX));
    EXPECT_FALSE(m_pWnd->HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(m_pWnd->HasFlag(wxMAXIMIZE_BOX));
    EXPECT_FALSE(m_pWnd->HasFlag(wxSYSTEM_MENU));
    EXPECT_TRUE(m_pWnd->HasFlag(wxRESIZE_BORDER));
    const wxSize client = m_pWnd->GetCanvas()->GetClientSize();
    EXPECT_EQ(m_pWnd->m_nWidth, client.GetWidth());
    EXPECT_EQ(m_pWnd->m_nHeight, client.GetHeight());
    EXPECT_EQ(m_pWnd->GetRenderMode(), RENDER_MODE_NONE);
    EXPECT_EQ(m_pWnd->m_nSlice, 0);
    EXPECT_EQ(m_pWnd->m_fLongitude, 0.0f);
    EXPECT_EQ(m_pWnd->m_fLatitude, 0.0f);
    EXPECT_FALSE(m_pWnd->m_bInteractive);

    ASSERT_TRUE(m_pWnd->Repaint());
    const Pixels pixels = Shown();
    ASSERT_EQ(pixels.nWidth, client.GetWidth());
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
}

TEST_F(RenderWndTest, AngleSettersUseTheSinglePrecisionDegreeFactor) {
    // degrees * 0.0055555557f in float, times pi in double, stored as float.
    m_pWnd->SetLongitude(30);
    EXPECT_EQ(m_pWnd->m_fLongitude,
              static_cast<float>(static_cast<double>(30 * 0.0055555557f) * 3.141592653589793));
    m_pWnd->SetLatitude(-90);
    EXPECT_EQ(m_pWnd->m_fLatitude,
              static_cast<float>(static_cast<double>(-90 * 0.0055555557f) * 3.141592653589793));
    m_pWnd->SetLatitude(90);
    EXPECT_EQ(m_pWnd->m_fLatitude, 1.5707964f);
    // Thresholds are only stored.
    m_pWnd->SetUpperThreshold(3000);
    m_pWnd->SetLowerThreshold(100);
    EXPECT_EQ(m_pWnd->m_nUpperThreshold, 3000);
    EXPECT_EQ(m_pWnd->m_nLowerThreshold, 100);
}

TEST_F(RenderWndTest, VolumeSettersRestartOnlyOnChangeAndVolumeModeAlways) {
    LoadVolume(8, 8, 8, std::vector<int16_t>(512, 2000));
    CDebugCapture capture;
    const std::string started = "ProgressiveVolumeThread started!\n";
    m_pWnd->SetVolumeType(0); // the current value: no restart
    m_pWnd->SetVolumeInterpolation(0);
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(started), 0);
    EXPECT_EQ(m_pWnd->SetVolumeType(1), 0);
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(started), 1);
    EXPECT_EQ(m_pWnd->m_nVolumeType, 1);
    m_pWnd->SetVolumeInterpolation(1);
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(started), 2);
    EXPECT_TRUE(m_pWnd->SetRenderMode(RENDER_MODE_VOLUME));
    m_pWnd->WaitForWorkerEnd();
    EXPECT_TRUE(m_pWnd->SetRenderMode(RENDER_MODE_VOLUME));
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(started), 4);
    // Slicing mode does not start the renderer.
    EXPECT_TRUE(m_pWnd->SetRenderMode(RENDER_MODE_SLICING));
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(started), 4);
}

TEST_F(RenderWndTest, SlicingShowsTheSliceColoursFromTheBottomLeft) {
    // 2 x 2 x 2; slice z = 1 holds 1000 at (0,0), 2000 at (1,0), 3000 at (0,1)
    // and 0 at (1,1); slice z = 0 is all 500.
    LoadVolume(2, 2, 2, {500, 500, 500, 500, 1000, 2000, 3000, 0});
    UseColourfulTransferFunction();
    ResizeClient(200, 200);
    m_pWnd->SetSliceInterpolation(0);
    m_pWnd->SetSlicingPlane(SLICING_PLANE_XY);
    m_pWnd->SetSliceNumber(1);
    EXPECT_TRUE(m_pWnd->SetRenderMode(RENDER_MODE_SLICING));
    // The setters repaint at once: no event processing needed.
    Pixels pixels = Shown();
    ExpectValueColour(pixels, 50, 50, 1000);
    ExpectValueColour(pixels, 150, 50, 2000);
    ExpectValueColour(pixels, 50, 150, 3000);
    ExpectValueColour(pixels, 150, 150, 0);
    // u and v grow by 0.01f per pixel in float: after 100 steps they are
    // 0.99999934, so column and row 100 still sample voxel 0 and the next
    // voxel starts at 101.
    ExpectValueColour(pixels, 0, 0, 1000);
    ExpectValueColour(pixels, 100, 100, 1000);
    ExpectValueColour(pixels, 101, 0, 2000);
    ExpectValueColour(pixels, 0, 101, 3000);
    ExpectValueColour(pixels, 199, 199, 0);

    m_pWnd->SetSliceNumber(0);
    pixels = Shown();
    ExpectValueColour(pixels, 50, 50, 500);
    ExpectValueColour(pixels, 150, 150, 500);

    // A slice outside its axis shows the colour of value 0 over the whole area.
    m_pWnd->SetSliceNumber(7);
    pixels = Shown();
    ExpectValueColour(pixels, 50, 50, 0);
    ExpectValueColour(pixels, 150, 50, 0);
}

TEST_F(RenderWndTest, WideSliceLeavesBlackBandsAboveAndBelow) {
    // 4 x 2 x 1, all 2000, in 200 x 200: rows trunc(100 - 50) = 50 to
    // trunc(1.5 * 100) = 150 are drawn.
    LoadVolume(4, 2, 1, std::vector<int16_t>(8, 2000));
    UseColourfulTransferFunction();
    ResizeClient(200, 200);
    m_pWnd->SetSliceNumber(0);
    m_pWnd->SetSlicingPlane(SLICING_PLANE_XY);
    m_pWnd->SetRenderMode(RENDER_MODE_SLICING);
    const Pixels pixels = Shown();
    EXPECT_EQ(pixels.CountNonBlack(0, 0, 200, 50), 0);
    EXPECT_EQ(pixels.CountNonBlack(0, 151, 200, 200), 0);
    EXPECT_EQ(pixels.CountNonBlack(0, 50, 200, 151), 200 * 101);
    ExpectValueColour(pixels, 100, 100, 2000);

    // The same slice on the YZ plane of a tall volume is centred horizontally.
    LoadVolume(1, 2, 4, std::vector<int16_t>(8, 3000));
    m_pWnd->SetSlicingPlane(SLICING_PLANE_YZ);
    const Pixels tall = Shown();
    EXPECT_EQ(tall.CountNonBlack(0, 0, 50, 200), 0);
    EXPECT_EQ(tall.CountNonBlack(151, 0, 200, 200), 0);
    ExpectValueColour(tall, 100, 100, 3000);
}

TEST_F(RenderWndTest, SlicingWithoutDatasetIsBlack) {
    UseColourfulTransferFunction();
    m_pWnd->SetRenderMode(RENDER_MODE_SLICING);
    const Pixels pixels = Shown();
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
}

TEST_F(RenderWndTest, VolumeModeWithoutDatasetStaysBlack) {
    // The run ends at once and sets no camera: neither image nor box.
    m_pWnd->SetRenderMode(RENDER_MODE_VOLUME);
    m_pWnd->WaitForWorkerEnd();
    Pump(50);
    const Pixels pixels = Shown();
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
    ASSERT_TRUE(m_pWnd->MakeCurrent());
    while (glGetError() != GL_NO_ERROR) {
    }
    m_pWnd->DrawScene();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A 24^3 block of 3000 inside a 32^3 volume of 0.
std::vector<int16_t> BlockVolume() {
    std::vector<int16_t> voxels(32 * 32 * 32, 0);
    for (int z = 4; z < 28; ++z)
        for (int y = 4; y < 28; ++y)
            for (int x = 4; x < 28; ++x)
                voxels[(z * 32 + y) * 32 + x] = 3000;
    return voxels;
}

TEST_F(RenderWndTest, VolumeModeShowsTheFinishedImageAndTheBox) {
    LoadVolume(32, 32, 32, BlockVolume());
    UseColourfulTransferFunction();
    m_pWnd->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pWnd->SetLongitude(30);
    m_pWnd->SetLatitude(60);
    m_pWnd->SetRenderMode(RENDER_MODE_VOLUME);
    ASSERT_TRUE(WaitForTitle(m_pWnd, "Render Output - finished"));
    m_pWnd->WaitForWorkerEnd();
    Pump(50);

    const Pixels pixels = Shown();
    const int W = m_pWnd->m_nWidth;
    const int H = m_pWnd->m_nHeight;
    ASSERT_EQ(pixels.nWidth, W);
    ASSERT_EQ(pixels.nHeight, H);
    EXPECT_GT(pixels.CountNonBlack(0, 0, W, H), W * H / 20);
    // Every pixel but the last column and the bottom row shows its image sample
    // (row 0 of the image is the window's top row).
    int nWrong = 0;
    for (int y = 0; y < H - 1; ++y) {
        for (int x = 0; x < W - 1; ++x) {
            const ImagePixel& p = m_pWnd->m_Image[x][y];
            ASSERT_EQ(p.computed, 1);
            if (!Near(pixels.At(x, H - 1 - y), ColourByte(p.r), ColourByte(p.g), ColourByte(p.b)))
                ++nWrong;
        }
    }
    EXPECT_EQ(nWrong, 0);
}

TEST_F(RenderWndTest, DragShowsOnlyTheBoxAndRestartsOnRelease) {
    LoadVolume(32, 32, 32, BlockVolume());
    m_pWnd->SetVolumeType(VOLUME_TYPE_XRAY);
    m_pWnd->SetLatitude(90);
    m_pWnd->SetRenderMode(RENDER_MODE_VOLUME);
    ASSERT_TRUE(WaitForTitle(m_pWnd, "Render Output - finished"));
    CSliderRecorder sliders;
    m_pWnd->SetRotationSliders(&sliders);
    const int W = m_pWnd->m_nWidth;
    const int H = m_pWnd->m_nHeight;
    ASSERT_EQ(W % 4, 0) << "the drag below assumes a width divisible by 4";

    wxGLCanvas* pCanvas = m_pWnd->GetCanvas();
    const wxPoint start = pCanvas->ClientToScreen(wxPoint(W / 4, H / 2));
    wxUIActionSimulator sim;
    sim.MouseMove(start);
    Pump(50);
    CDebugCapture capture;
    sim.MouseDown();
    ASSERT_TRUE(WaitFor([&] { return m_pWnd->m_bInteractive.load(); }));
    EXPECT_FALSE(m_pWnd->m_hThreadRunning.IsSet());
    // A quarter of the width to the right: longitude -pi/4, i.e. -45 degrees.
    sim.MouseMove(start + wxPoint(W / 4, 0));
    ASSERT_TRUE(
        WaitFor([&] { return !sliders.longitudes.empty() && sliders.longitudes.back() == -45; }));
    EXPECT_EQ(m_pWnd->m_fLongitude, static_cast<float>(0.0 - 0.25f * 3.141592653589793));
    EXPECT_EQ(m_pWnd->m_fLatitude, 1.5707964f);
    EXPECT_EQ(sliders.latitudes.back(), 90);
    EXPECT_FALSE(m_pWnd->m_hThreadRunning.IsSet());

    // Only the white box on black is drawn while dragging.
    const Pixels dragging = Shown();
    int nWhite = 0;
    int nOther = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint8_t* p = dragging.At(x, y);
            if (p[0] == 255 && p[1] == 255 && p[2] == 255)
                ++nWhite;
            else if (!dragging.IsBlack(x, y))
                ++nOther;
        }
    }
    EXPECT_GT(nWhite, 100);
    EXPECT_EQ(nOther, 0);

    sim.MouseUp();
    ASSERT_TRUE(WaitFor([&] { return !m_pWnd->m_bInteractive.load(); }));
    // The release starts a new run, which runs to its end.
    EXPECT_EQ(capture.Count("ProgressiveVolumeThread started!\n"), 1);
    EXPECT_TRUE(WaitForTitle(m_pWnd, "Render Output - finished"));
    EXPECT_FALSE(pCanvas->HasCapture());
    m_pWnd->SetRotationSliders(nullptr);
}

TEST_F(RenderWndTest, NegativeLongitudeGivesANegativeSliderRemainder) {
    CSliderRecorder sliders;
    m_pWnd->SetRotationSliders(&sliders);
    m_pWnd->ResizeGL(600, 400);
    // Synthesised button and motion events on the canvas, 100 px to the right:
    // 100/600 of pi, -30 degrees. Released with no dataset: the renderer ends at once.
    wxGLCanvas* pCanvas = m_pWnd->GetCanvas();
    auto send = [&](wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetEventObject(pCanvas);
        event.m_x = x;
        event.m_y = y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        pCanvas->GetEventHandler()->ProcessEvent(event);
    };
    send(wxEVT_LEFT_DOWN, 300, 200);
    EXPECT_TRUE(m_pWnd->m_bInteractive);
    send(wxEVT_MOTION, 400, 300);
    const float fLongitude = static_cast<float>(0.0 - (100.0f / 600.0f) * 3.141592653589793);
    EXPECT_EQ(m_pWnd->m_fLongitude, fLongitude);
    EXPECT_EQ(m_pWnd->m_fLatitude, static_cast<float>(0.0 + 0.25f * 3.141592653589793));
    ASSERT_FALSE(sliders.longitudes.empty());
    // -0.52359879f radians is -30.0000008 degrees: -30 passes as it is.
    EXPECT_EQ(sliders.longitudes.back(), -30);
    EXPECT_EQ(sliders.latitudes.back(), 45);
    // A drag over 2.5 widths: -7.8539815f radians is -449.999992 degrees, which
    // truncates to -449 and passes the remainder -89.
    send(wxEVT_MOTION, 300 + 1500, 200);
    EXPECT_EQ(sliders.longitudes.back(), -89);
    send(wxEVT_LEFT_UP, 300 + 1500, 200);
    EXPECT_FALSE(m_pWnd->m_bInteractive);
    EXPECT_EQ(sliders.longitudes.back(), -89);
    EXPECT_FALSE(pCanvas->HasCapture());
    m_pWnd->SetRotationSliders(nullptr);
}

TEST_F(RenderWndTest, ZeroSizedClientAreaNeverDividesByZero) {
    CSliderRecorder sliders;
    m_pWnd->SetRotationSliders(&sliders);
    m_pWnd->ResizeGL(0, 0);
    EXPECT_EQ(m_pWnd->m_nWidth, 0);
    EXPECT_EQ(m_pWnd->m_nHeight, 1);
    wxGLCanvas* pCanvas = m_pWnd->GetCanvas();
    for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_MOTION, wxEVT_LEFT_UP}) {
        wxMouseEvent event(type);
        event.SetEventObject(pCanvas);
        event.m_x = type == wxEVT_LEFT_DOWN ? 0 : 50;
        event.m_y = 0;
        pCanvas->GetEventHandler()->ProcessEvent(event);
    }
    // No width: horizontal motion turns nothing, and nothing is infinite.
    EXPECT_EQ(m_pWnd->m_fLongitude, 0.0f);
    EXPECT_TRUE(std::isfinite(m_pWnd->m_fLatitude.load()));
    ASSERT_FALSE(sliders.longitudes.empty());
    EXPECT_EQ(sliders.longitudes.back(), 0);
    m_pWnd->SetRotationSliders(nullptr);
}

TEST_F(RenderWndTest, ResizeToHeightZeroUsesOne) {
    m_pWnd->ResizeGL(300, 0);
    EXPECT_EQ(m_pWnd->m_nHeight, 1);
    EXPECT_EQ(m_pWnd->m_nWidth, 300);
    ASSERT_TRUE(m_pWnd->MakeCurrent());
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 300);
    EXPECT_EQ(viewport[3], 1);

    // A real resize of the frame to no client height ends in the same state.
    m_pWnd->SetClientSize(300, 0);
    EXPECT_TRUE(WaitFor([&] { return m_pWnd->GetCanvas()->GetClientSize().GetWidth() == 300; }));
    Pump(50);
    EXPECT_EQ(m_pWnd->m_nHeight, std::max(1, m_pWnd->GetCanvas()->GetClientSize().GetHeight()));
    EXPECT_GE(m_pWnd->m_nHeight, 1);
}

TEST_F(RenderWndTest, ResizeInVolumeModeRestartsTheRenderer) {
    LoadVolume(8, 8, 8, std::vector<int16_t>(512, 2000));
    m_pWnd->SetRenderMode(RENDER_MODE_VOLUME);
    ASSERT_TRUE(WaitForTitle(m_pWnd, "Render Output - finished"));
    CDebugCapture capture;
    ResizeClient(400, 300);
    m_pWnd->WaitForWorkerEnd();
    EXPECT_GE(capture.Count("ProgressiveVolumeThread started!\n"), 1);
    // In Slicing mode a resize starts nothing.
    m_pWnd->SetRenderMode(RENDER_MODE_SLICING);
    capture.Clear();
    ResizeClient(420, 300);
    m_pWnd->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count("ProgressiveVolumeThread started!\n"), 0);
}

TEST_F(RenderWndTest, ClientAreaLargerThanTheBuffersDrawsOnlyTheBuffer) {
    // No dataset: the restarts that the resize causes end at once and leave the
    // front image as written here.
    ResizeClient(2000, 1500);
    {
        ASSERT_TRUE(m_pWnd->m_hImageMutex.Lock(1000));
        for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
            for (int y = 0; y < IMAGE_MAX_HEIGHT; ++y)
                m_pWnd->m_Image[x][y] = ImagePixel{1, 0.25f, 0.5f, 0.75f};
        m_pWnd->m_hImageMutex.Unlock();
        m_pWnd->ForgetImageExtents();
    }
    m_pWnd->m_nRenderMode = RENDER_MODE_VOLUME;
    m_pWnd->m_dNear = 1.2;
    m_pWnd->m_dDistance = 2.2;
    m_pWnd->m_dFrustumRight = 0.6;
    m_pWnd->m_dFrustumTop = 0.45;
    m_pWnd->m_dScaleX = m_pWnd->m_dScaleY = m_pWnd->m_dScaleZ = 0.5;
    ASSERT_TRUE(m_pWnd->MakeCurrent());
    m_pWnd->DrawScene();
    // The back buffer covers the whole canvas, also where it lies off screen.
    const Pixels pixels = ReadBackPixels(m_pWnd->GetCanvas(), m_pWnd->GetContext());
    ASSERT_EQ(pixels.nWidth, 2000);
    ASSERT_EQ(pixels.nHeight, 1500);
    // Quads cover columns 0..1918 and the top rows 0..1438 (GL rows 61..1499).
    int nWrongImage = 0;
    int nWrongBlack = 0;
    for (int y = 0; y < 1500; ++y) {
        for (int x = 0; x < 2000; ++x) {
            const bool bImage = x < IMAGE_MAX_WIDTH - 1 && y >= 1500 - (IMAGE_MAX_HEIGHT - 1);
            if (bImage)
                nWrongImage += !Near(pixels.At(x, y), 64, 128, 191);
            else
                nWrongBlack += !pixels.IsBlack(x, y);
        }
    }
    EXPECT_EQ(nWrongImage, 0);
    EXPECT_EQ(nWrongBlack, 0);
}

TEST_F(RenderWndTest, ImageMutexBusyShowsNoImage) {
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            m_pWnd->m_Image[x][y] = ImagePixel{1, 1.0f, 0.0f, 0.0f};
    m_pWnd->ForgetImageExtents();
    m_pWnd->m_nRenderMode = RENDER_MODE_VOLUME;
    ASSERT_TRUE(m_pWnd->MakeCurrent());
    const int H = m_pWnd->m_nHeight;
    // Another thread holds the image lock (as the worker does while it copies):
    // a paint that cannot get it within 10 ms draws no image.
    CManualResetEvent locked;
    CManualResetEvent release;
    std::thread holder([&] {
        if (m_pWnd->m_hImageMutex.Lock(1000)) {
            locked.Set();
            release.Wait(10000);
            m_pWnd->m_hImageMutex.Unlock();
        }
    });
    ASSERT_TRUE(locked.Wait(2000));
    m_pWnd->DrawScene();
    Pixels pixels = ReadBackPixels(m_pWnd->GetCanvas(), m_pWnd->GetContext());
    release.Set();
    holder.join();
    EXPECT_TRUE(pixels.IsBlack(10, H - 10));
    // With the lock free the same frame shows the red block.
    m_pWnd->DrawScene();
    pixels = ReadBackPixels(m_pWnd->GetCanvas(), m_pWnd->GetContext());
    EXPECT_TRUE(Near(pixels.At(10, H - 10), 255, 0, 0));
}

TEST(RenderWndCreation, FailedPixelFormatShowsBothBoxesAndCreatesNoWindow) {
    CMessageBoxCapture boxes;
    PixelFormatRequest impossible;
    impossible.nColorBits = 192; // 64 bits per channel: no display has that
    impossible.bFallBack = false;
    auto* pWnd = new CRenderWnd(GetViewerApp(), impossible);
    EXPECT_FALSE(pWnd->IsCreated());
    EXPECT_EQ(pWnd->GetCanvas(), nullptr);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].sText, "ChoosePixelFormat failed");
    EXPECT_EQ(boxes.boxes[0].sCaption, "Error");
    EXPECT_EQ(boxes.boxes[0].pOwner, nullptr);
    EXPECT_EQ(boxes.boxes[1].sText, "SetPixelformat Failed!");
    EXPECT_EQ(boxes.boxes[1].sCaption, "Error");
    EXPECT_EQ(boxes.boxes[0].nStyle & (wxOK | wxCANCEL | wxYES_NO), wxOK);
    delete pWnd;
    Pump(20);
}

TEST(RenderWndCreation, ImpossibleRequestFallsBackToWhatTheDisplayHas) {
    CMessageBoxCapture boxes;
    PixelFormatRequest request; // 64 depth bits and 8 aux buffers: more than Mesa has
    PixelFormatChoice choice;
    wxGLAttributes attrs;
    ASSERT_TRUE(ChoosePixelFormat(request, attrs, &choice));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(choice.accepted.nDepthBits == 64 || choice.nRelaxations > 0);
    EXPECT_GE(choice.accepted.nDepthBits, 16);
    // Double buffering and RGBA are never dropped.
    auto* pWnd = new CRenderWnd(GetViewerApp());
    EXPECT_TRUE(pWnd->IsCreated());
    pWnd->Show();
    ASSERT_TRUE(WaitForShown(pWnd->GetCanvas()));
    ASSERT_TRUE(pWnd->MakeCurrent());
    GLboolean bDouble = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &bDouble);
    EXPECT_EQ(bDouble, GL_TRUE);
    GLint nDepthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &nDepthBits);
    EXPECT_GE(nDepthBits, 16);
    delete pWnd;
    Pump(20);
}

} // namespace
