#include "support/GuiTest.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/glcanvas.h>
#include <wx/init.h>
#include <wx/toplevel.h>

#include "view/PixelFormat.h"

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
    const bool bShown = WaitFor([&] { return pWindow->IsShownOnScreen(); }, nTimeoutMs);
    // Let the first size and paint events arrive.
    Pump(100);
    return bShown;
}

bool WaitForTitle(wxTopLevelWindow* pWindow, const wxString& sTitle, int nTimeoutMs) {
    return WaitFor([&] { return pWindow->GetTitle() == sTitle; }, nTimeoutMs);
}

int Pixels::CountNonBlack(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += IsBlack(x, y) ? 0 : 1;
    return n;
}

namespace {
Pixels ReadPixels(wxGLCanvas* pCanvas, wxGLContext* pContext, GLenum eBuffer) {
    Pixels pixels;
    const wxSize size = pCanvas->GetClientSize();
    pixels.nWidth = size.GetWidth();
    pixels.nHeight = size.GetHeight();
    pixels.rgb.assign(static_cast<size_t>(pixels.nWidth) * pixels.nHeight * 3, 0);
    if (!pContext->SetCurrent(*pCanvas))
        return pixels;
    glFinish();
    glReadBuffer(eBuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, pixels.nWidth, pixels.nHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.rgb.data());
    return pixels;
}
} // namespace

namespace {
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}
} // namespace

Pixels ReadShownPixels(wxGLCanvas* pCanvas) {
    Pixels pixels;
    const wxSize size = pCanvas->GetClientSize();
    pixels.nWidth = size.GetWidth();
    pixels.nHeight = size.GetHeight();
    pixels.rgb.assign(static_cast<size_t>(pixels.nWidth) * pixels.nHeight * 3, 0);
    // A connection of our own: what the X server holds for the window is what
    // the screen shows.
    static Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay || pixels.nWidth <= 0 || pixels.nHeight <= 0)
        return pixels;
    glFinish();
    XSync(pDisplay, False);
    auto* previous = XSetErrorHandler(IgnoreXError);
    XImage* pImage = XGetImage(pDisplay, static_cast<Window>(pCanvas->GetXWindow()), 0, 0,
                               static_cast<unsigned>(pixels.nWidth),
                               static_cast<unsigned>(pixels.nHeight), AllPlanes, ZPixmap);
    XSync(pDisplay, False);
    XSetErrorHandler(previous);
    if (!pImage)
        return pixels;
    for (int y = 0; y < pixels.nHeight; ++y) {
        for (int x = 0; x < pixels.nWidth; ++x) {
            const unsigned long value = XGetPixel(pImage, x, y);
            uint8_t* p =
                &pixels.rgb[(static_cast<size_t>(pixels.nHeight - 1 - y) * pixels.nWidth + x) * 3];
            p[0] = static_cast<uint8_t>((value & pImage->red_mask) >>
                                        __builtin_ctzl(pImage->red_mask));
            p[1] = static_cast<uint8_t>((value & pImage->green_mask) >>
                                        __builtin_ctzl(pImage->green_mask));
            p[2] = static_cast<uint8_t>((value & pImage->blue_mask) >>
                                        __builtin_ctzl(pImage->blue_mask));
        }
    }
    XDestroyImage(pImage);
    return pixels;
}

Pixels ReadBackPixels(wxGLCanvas* pCanvas, wxGLContext* pContext) {
    return ReadPixels(pCanvas, pContext, GL_BACK);
}

CMessageBoxCapture::CMessageBoxCapture() {
    m_Previous = SetMessageBoxReporter([this](const MessageBoxRequest& r) { boxes.push_back(r); });
}

CMessageBoxCapture::~CMessageBoxCapture() {
    SetMessageBoxReporter(std::move(m_Previous));
}

CModalDialogStub::CModalDialogStub(std::function<int(wxDialog*)> answer)
    : m_Answer(std::move(answer)) {
    Register();
}

CModalDialogStub::~CModalDialogStub() {
    Unregister();
}

int CModalDialogStub::Enter(wxDialog* pDialog) {
    ++nCalls;
    return m_Answer(pDialog);
}

CTempDir::CTempDir() {
    char pattern[] = "/tmp/orvex-gui-XXXXXX";
    const char* p = mkdtemp(pattern);
    m_sPath = p ? p : "/tmp";
}

CTempDir::~CTempDir() {
    std::error_code ec;
    if (m_sPath != "/tmp")
        std::filesystem::remove_all(m_sPath, ec);
}

void WriteRaw(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
              const std::vector<int16_t>& voxels) {
    FILE* f = std::fopen(sPath.c_str(), "wb");
    ASSERT_NE(f, nullptr) << sPath;
    auto put16 = [f](int v) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(v & 0xff),
                                        static_cast<unsigned char>((v >> 8) & 0xff)};
        std::fwrite(bytes, 1, 2, f);
    };
    put16(nDimX);
    put16(nDimY);
    put16(nDimZ);
    for (int16_t v : voxels)
        put16(v);
    std::fclose(f);
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
