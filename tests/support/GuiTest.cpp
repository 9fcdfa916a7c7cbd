#include "support/GuiTest.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <map>
#include <cstdio>
#include <thread>

#include <GL/gl.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/eventfilter.h>
#include <wx/init.h>
#include <wx/uiaction.h>

// Xlib last: its macros (None, Bool, Status) clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace guitest {

void Pump(int nMilliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMilliseconds);
    wxEventLoopBase* pLoop = wxEventLoopBase::GetActive();
    for (;;) {
        for (int i = 0; i < 1000 && pLoop && pLoop->Pending(); ++i)
            pLoop->Dispatch();
        if (wxTheApp) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->ProcessIdle();
        }
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int LoadAndWait(CMainDlg* pDlg, const std::string& sPath) {
    pDlg->LoadDatasetFile(sPath);
    EXPECT_TRUE(WaitFor([&] { return !pDlg->IsLoading(); }, 60000));
    return pDlg->LoadResult();
}

bool WaitFor(const std::function<bool()>& condition, int nTimeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        Pump(0);
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool WaitForShown(wxWindow* pWindow, int nTimeoutMs) {
    // Shown, and the size it was given has arrived (the first size events).
    const wxSize size = pWindow->GetSize();
    return WaitFor([&] { return pWindow->IsShownOnScreen() && pWindow->GetSize() == size; },
                   nTimeoutMs);
}

namespace {

// Counts the simulated input that has reached the program's windows, so that a
// gesture is waited for until its last event has been handled.
class CInputCounter : public wxEventFilter {
public:
    CInputCounter() { wxEvtHandler::AddFilter(this); }
    int FilterEvent(wxEvent& event) override {
        const wxEventType type = event.GetEventType();
        if (type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_UP || type == wxEVT_MOTION)
            ++counts[type];
        else if (type == wxEVT_CHAR_HOOK || type == wxEVT_KEY_DOWN)
            ++counts[static_cast<wxKeyEvent&>(event).GetKeyCode()];
        return Event_Skip;
    }
    std::map<int, int> counts; // by event type, key presses by key code
};

CInputCounter& Input() {
    static CInputCounter* pCounter = new CInputCounter; // lives as long as the program
    return *pCounter;
}

// Sends input with send() and waits until a further event counted under nWhat
// has been handled (time-out: 5 s, a failure when bRequired).
void SendAndWait(int nWhat, const std::function<void()>& send, bool bRequired = true) {
    const int nBefore = Input().counts[nWhat];
    send();
    const bool bArrived = WaitFor([&] { return Input().counts[nWhat] > nBefore; }, 5000);
    EXPECT_TRUE(bArrived || !bRequired) << "simulated input " << nWhat << " never arrived";
}

// Moves the pointer and waits until the X server has it there.
void MovePointer(wxUIActionSimulator& sim, const wxPoint& point) {
    sim.MouseMove(point);
    EXPECT_TRUE(WaitFor([&] { return wxGetMousePosition() == point; }, 5000));
}

} // namespace

bool WaitForTitle(wxTopLevelWindow* pWindow, const wxString& sTitle, int nTimeoutMs) {
    return WaitFor([&] { return pWindow->GetTitle() == sTitle; }, nTimeoutMs);
}

void SendMouse(wxWindow* pWindow, wxEventType type, int x, int y, int nModifiers,
               int nWheelRotation) {
    wxMouseEvent event(type);
    event.SetEventObject(pWindow);
    event.m_x = x;
    event.m_y = y;
    event.m_leftDown = type != wxEVT_LEFT_UP;
    event.SetShiftDown((nModifiers & wxMOD_SHIFT) != 0);
    event.SetControlDown((nModifiers & wxMOD_CONTROL) != 0);
    event.m_wheelRotation = nWheelRotation;
    event.m_wheelDelta = 120;
    pWindow->GetEventHandler()->ProcessEvent(event);
}

bool Pixels::Is(int x, int y, int r, int g, int b, int nTolerance) const {
    const uint8_t* p = At(x, y);
    return std::abs(p[0] - r) <= nTolerance && std::abs(p[1] - g) <= nTolerance &&
           std::abs(p[2] - b) <= nTolerance;
}

std::string Pixels::Rgb(int x, int y) const {
    const uint8_t* p = At(x, y);
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

int Pixels::Count(const std::function<bool(const uint8_t*)>& pred, int x0, int y0, int x1,
                  int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += pred(At(x, y)) ? 1 : 0;
    return n;
}

int Pixels::CountNonBlack(int x0, int y0, int x1, int y1) const {
    return Count([](const uint8_t* p) { return p[0] || p[1] || p[2]; }, x0, y0, x1, y1);
}

int Pixels::CountGrey(int nLevel, int x0) const {
    return Count(
        [=](const uint8_t* p) { return p[0] == nLevel && p[1] == nLevel && p[2] == nLevel; }, x0, 0,
        nWidth, nHeight);
}

int Pixels::CountColoured() const {
    return Count(
        [](const uint8_t* p) {
            return (p[0] || p[1] || p[2]) && !(p[0] == 255 && p[1] == 255 && p[2] == 255);
        },
        0, 0, nWidth, nHeight);
}

namespace {

int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

uint8_t Channel(unsigned long value, unsigned long mask) {
    return static_cast<uint8_t>((value & mask) >> __builtin_ctzl(mask));
}

// A connection of our own to the X server.
Display* OwnDisplay() {
    static Display* pDisplay = XOpenDisplay(nullptr);
    return pDisplay;
}

} // namespace

namespace {

// The X server's pixels of an area of a window (rows in GL order).
Pixels ReadXWindow(unsigned long window, int x0, int y0, int nWidth, int nHeight) {
    Pixels pixels;
    pixels.nWidth = std::max(nWidth, 0);
    pixels.nHeight = std::max(nHeight, 0);
    pixels.rgb.assign(static_cast<size_t>(pixels.nWidth) * pixels.nHeight * 3, 0);
    Display* pDisplay = OwnDisplay();
    if (!pDisplay || pixels.nWidth <= 0 || pixels.nHeight <= 0)
        return pixels;
    glFinish();
    XSync(pDisplay, False);
    auto* previous = XSetErrorHandler(IgnoreXError);
    XImage* pImage = XGetImage(pDisplay, static_cast<Window>(window), x0, y0,
                               static_cast<unsigned>(pixels.nWidth),
                               static_cast<unsigned>(pixels.nHeight), AllPlanes, ZPixmap);
    XSync(pDisplay, False);
    XSetErrorHandler(previous);
    if (!pImage)
        return pixels;
    for (int y = 0; y < pixels.nHeight; ++y) {
        for (int x = 0; x < pixels.nWidth; ++x) {
            const unsigned long value = XGetPixel(pImage, x, y);
            uint8_t* p = &pixels.rgb[(static_cast<size_t>(pixels.nHeight - 1 - y) * pixels.nWidth +
                                      static_cast<size_t>(x)) *
                                     3];
            p[0] = Channel(value, pImage->red_mask);
            p[1] = Channel(value, pImage->green_mask);
            p[2] = Channel(value, pImage->blue_mask);
        }
    }
    XDestroyImage(pImage);
    return pixels;
}

} // namespace

Pixels ReadShownPixels(wxGLCanvas* pCanvas) {
    // What the X server holds for the window is what the screen shows.
    const wxSize size = pCanvas->GetClientSize();
    return ReadXWindow(pCanvas->GetXWindow(), 0, 0, size.GetWidth(), size.GetHeight());
}

bool WriteScreenPng(const std::string& sPath, const wxRect& area) {
    Display* pDisplay = OwnDisplay();
    if (!pDisplay)
        return false;
    const Pixels pixels =
        ReadXWindow(DefaultRootWindow(pDisplay), area.x, area.y, area.width, area.height);
    RgbImage picture(pixels.nWidth, pixels.nHeight);
    for (size_t i = 0; i < pixels.rgb.size(); ++i) {
        const size_t nPixel = i / 3;
        const int x = static_cast<int>(nPixel % pixels.nWidth);
        const int y = static_cast<int>(nPixel / pixels.nWidth);
        picture.At(x, pixels.nHeight - 1 - y)[i % 3] = pixels.rgb[i] / 255.0f;
    }
    return WritePngFile(sPath, picture) == 0;
}

CMessageBoxCapture::CMessageBoxCapture() {
    m_Previous = SetMessageBoxReporter([this](const MessageBoxRequest& r) { boxes.push_back(r); });
}

CMessageBoxCapture::~CMessageBoxCapture() {
    SetMessageBoxReporter(std::move(m_Previous));
}

// ---- the whole viewer ----

void ViewerTest::SetUp() {
    char cwd[PATH_MAX] = {};
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_sOldDir = cwd;
    if (m_bDefaultTrf) {
        CTransferFunction tf;
        tf.SetPoint(0, 0.0f, 0.0f, 0.0f, 0.0f);
        tf.SetPoint(1, 1.0f, 0.8f, 0.4f, 0.6f);
        tf.SetPoint(1234, 1.0f, 0.5f, 0.25f, 0.75f);
        tf.SetPoint(4095, 0.4f, 0.8f, 1.0f, 0.6f);
        ASSERT_EQ(tf.Save(m_Dir.Path("default.trf")), 0);
    }
    ASSERT_EQ(chdir(m_Dir.Path().c_str()), 0);
    ForgetFileFolders(); // every test is a session of its own
    m_pApp = GetViewerApp();
    ASSERT_TRUE(m_pApp->InitInstance(m_sStartFile));
    m_pDlg = dynamic_cast<CMainDlg*>(wxTheApp->GetTopWindow());
    ASSERT_NE(m_pDlg, nullptr);
    m_pRender = dynamic_cast<CRenderWnd*>(m_pApp->m_pRenderWnd);
    ASSERT_NE(m_pRender, nullptr);
    m_pEditor = m_pApp->m_pTransferFunctionWnd;
    ASSERT_NE(m_pEditor, nullptr);
    m_pSlicing = m_pDlg->m_pSlicingDlg;
    m_pVolume = m_pDlg->m_pVolumeDlg;
    ASSERT_TRUE(WaitForShown(m_pDlg));
    ASSERT_TRUE(WaitForShown(m_pRender->GetCanvas()));
    ASSERT_TRUE(WaitForShown(m_pEditor->GetCanvas()));
}

void ViewerTest::TearDown() {
    if (m_pDlg && !m_pDlg->HasEnded())
        m_pDlg->Close();
    WaitFor([&] {
        return !m_pApp->m_pRenderWnd && !m_pApp->m_pTransferFunctionWnd &&
               !m_pApp->m_pTransferFunction && !m_pApp->m_pVectorMath && !m_pApp->m_pVolume;
    });
    EXPECT_EQ(m_pApp->m_pRenderWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pTransferFunctionWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pTransferFunction, nullptr);
    EXPECT_EQ(m_pApp->m_pVectorMath, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
    EXPECT_EQ(chdir(m_sOldDir.c_str()), 0);
}

void ViewerTest::LoadDataset(int nDimX, int nDimY, int nDimZ,
                             const std::function<int(int, int, int)>& value) {
    const std::string sPath =
        m_Dir.Write("volume.dat", testfiles::FieldBytes(nDimX, nDimY, nDimZ, value));
    ASSERT_EQ(LoadAndWait(m_pDlg, sPath), 0);
}

void ViewerTest::ChooseSlicing() {
    Click(m_pDlg->m_btnSlicing);
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_SLICING; }));
}

void ViewerTest::ChooseVolume() {
    Click(m_pDlg->m_btnVolume);
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_VOLUME; }));
}

void ViewerTest::Click(wxWindow* pControl) {
    const wxSize size = pControl->GetSize();
    ClickAt(pControl, wxPoint(size.GetWidth() / 2, size.GetHeight() / 2));
}

void ViewerTest::ClickAt(wxWindow* pControl, const wxPoint& point) {
    ASSERT_TRUE(pControl->IsShownOnScreen());
    wxUIActionSimulator sim;
    MovePointer(sim, pControl->ClientToScreen(point));
    SendAndWait(wxEVT_LEFT_UP, [&] { sim.MouseClick(); });
}

void ViewerTest::Focus(wxWindow* pControl) {
    // Without a window manager, presenting the window gives it the X focus.
    wxGetTopLevelParent(pControl)->Raise();
    pControl->SetFocus();
    ASSERT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == pControl; }, 5000));
}

void ViewerTest::Key(wxWindow* pControl, int nKeyCode, int nModifiers) {
    Focus(pControl);
    wxUIActionSimulator sim;
    SendAndWait(nKeyCode, [&] { sim.Char(nKeyCode, nModifiers); });
}

wxPoint ViewerTest::SliderPoint(wxSlider* pSlider, int nValue) {
    // The knob's centre runs from about 12 pixels inside the left end to 12
    // pixels inside the right end of a GTK scale.
    const wxSize size = pSlider->GetSize();
    const double dFraction = static_cast<double>(nValue - pSlider->GetMin()) /
                             static_cast<double>(pSlider->GetMax() - pSlider->GetMin());
    return wxPoint(static_cast<int>(12.0 + dFraction * (size.GetWidth() - 24.0)),
                   size.GetHeight() / 2);
}

void ViewerTest::DragSlider(wxSlider* pSlider, int nFrom, int nTo,
                            const std::function<void()>& during) {
    const wxPoint start = pSlider->ClientToScreen(SliderPoint(pSlider, nFrom));
    const wxPoint end = pSlider->ClientToScreen(SliderPoint(pSlider, nTo));
    wxUIActionSimulator sim;
    MovePointer(sim, start);
    SendAndWait(wxEVT_LEFT_DOWN, [&] { sim.MouseDown(); });
    for (int i = 1; i <= 6; ++i) {
        const wxPoint point = start + wxPoint((end.x - start.x) * i / 6, 0);
        SendAndWait(
            wxEVT_MOTION, [&] { MovePointer(sim, point); }, point != start);
    }
    during();
    SendAndWait(wxEVT_LEFT_UP, [&] { sim.MouseUp(); });
}

void ViewerTest::ExpectOneRun(const std::function<void()>& step) {
    CDebugCapture capture;
    step();
    EXPECT_TRUE(WaitForTitle(m_pRender, kFinished));
    m_pRender->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 1);
}

} // namespace guitest

namespace {

class CGuiTestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion failed at " << file << ":" << line << " in " << func << ": "
                  << cond << " " << msg;
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new CGuiTestApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "Cannot initialise wxWidgets: GUI tests need an X display "
                             "(run them under xvfb-run).\n");
        return 1;
    }
    if (!wxTheApp->CallOnInit()) {
        wxEntryCleanup();
        return 1;
    }
    wxSetAssertHandler(FailOnAssert);
    auto* pLoop = new wxGUIEventLoop;
    wxEventLoopBase::SetActive(pLoop);
    InitGlutOnce();

    const int nResult = RUN_ALL_TESTS();

    guitest::Pump(0);
    wxEventLoopBase::SetActive(nullptr);
    delete pLoop;
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nResult;
}
