// Harness for GUI tests: real windows on a real (virtual) X display. A test
// folder includes tests/support/GuiTest.cmake and registers each program with
// orvex_add_gui_test (see there); run them under `xvfb-run -a ctest -L gui`.
// The harness's main() initialises wxWidgets with a do-nothing application (no
// main loop runs: tests drive events with Pump/WaitFor), calls glutInit once
// and turns wx assertion failures into test failures. This header brings the
// viewer's windows, dialogs and panels with it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/glcanvas.h>
#include <wx/modalhook.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/weakref.h>

#include "view/FileChooser.h"
#include "app/MainDlg.h"
#include "view/MessageBox.h"
#include "app/ViewerApp.h"
#include "render/ProgressiveThread.h"
#include "panels/FirstHitDlg.h"
#include "panels/SlicingDlg.h"
#include "panels/VolumeDlg.h"
#include "platform/Sync.h"
#include "res/Resource.h"
#include "support/TestFiles.h"
#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"
#include "view/TransferFunctionWnd.h"
#include "render/Picture.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

namespace guitest {

inline const std::string kStarted = "ProgressiveVolumeThread started!\n";
inline const wxString kFinished = FINISHED_TITLE;

// Processes every pending event, then keeps doing so for nMilliseconds.
void Pump(int nMilliseconds = 0);
// Pumps events until condition() holds or nTimeoutMs have passed; returns the
// last value of condition().
bool WaitFor(const std::function<bool()>& condition, int nTimeoutMs = 10000);
// The main dialog's load of sPath, waited for: its LoadResult.
int LoadAndWait(CMainDlg* pDlg, const std::string& sPath);
// Waits until the window is shown on screen with its final size.
bool WaitForShown(wxWindow* pWindow, int nTimeoutMs = 10000);
bool WaitForTitle(wxTopLevelWindow* pWindow, const wxString& sTitle, int nTimeoutMs = 30000);

// Sends a synthesised mouse event at client point (x, y) to a window (the left
// button counts as down for everything but its release), with modifiers
// (wxMOD_SHIFT, wxMOD_CONTROL) and a wheel rotation (120 a notch).
void SendMouse(wxWindow* pWindow, wxEventType type, int x, int y, int nModifiers = 0,
               int nWheelRotation = 0);

// RGB bytes of a GL canvas, rows in GL order (row 0 at the bottom).
struct Pixels {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * nWidth + x) * 3];
    }
    bool Is(int x, int y, int r, int g, int b, int nTolerance = 1) const;
    bool IsGrey(int x, int y, int nLevel) const { return Is(x, y, nLevel, nLevel, nLevel, 0); }
    std::string Rgb(int x, int y) const;
    // Number of pixels in [x0, x1) x [y0, y1) for which pred(pixel) holds.
    int Count(const std::function<bool(const uint8_t*)>& pred, int x0, int y0, int x1,
              int y1) const;
    int CountNonBlack(int x0, int y0, int x1, int y1) const;
    int CountNonBlack() const { return CountNonBlack(0, 0, nWidth, nHeight); }
    int CountGrey(int nLevel, int x0 = 0) const;
    // Pixels that are neither black nor white (the image, not the wire box).
    int CountColoured() const;
};

// What the canvas shows on screen, read back from the X server (the canvas must
// be on screen and not covered).
Pixels ReadShownPixels(wxGLCanvas* pCanvas);
// Writes what the screen shows in an area (screen coordinates) as a PNG file.
bool WriteScreenPng(const std::string& sPath, const wxRect& area);
// While alive, the viewer's message boxes are recorded here instead of shown.
class CMessageBoxCapture {
public:
    CMessageBoxCapture();
    ~CMessageBoxCapture();
    std::vector<MessageBoxRequest> boxes;

private:
    MessageBoxReporter m_Previous;
};

// The whole viewer, started as the program starts it, in a scratch working
// directory whose "default.trf" holds black transparent 0, bright fairly opaque
// 1 and 4095, and a point at 1234 of colour (1, 0.5, 0.25) and opacity 0.75.
// The teardown ends the main dialog if the test has not, and checks that the
// program's teardown has left no object behind.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a dataset whose voxel (x, y, z) holds value(x, y, z) and loads it
    // through the main dialog's load path.
    void LoadDataset(int nDimX, int nDimY, int nDimZ,
                     const std::function<int(int, int, int)>& value);
    // The main dialog's mode radios, clicked by the user.
    void ChooseSlicing();
    void ChooseVolume();
    // A real left click in the middle of a control (or at a point of it).
    void Click(wxWindow* pControl);
    void ClickAt(wxWindow* pControl, const wxPoint& point);
    // A real key press and release (with modifiers such as wxMOD_CONTROL) with
    // the focus on the control, whose top-level window gets the keyboard.
    void Key(wxWindow* pControl, int nKeyCode, int nModifiers = wxMOD_NONE);
    void Focus(wxWindow* pControl);
    // Presses the left button on the slider's thumb (value nFrom), moves it in
    // steps towards value nTo, calls during() while still holding it, releases.
    void DragSlider(wxSlider* pSlider, int nFrom, int nTo, const std::function<void()>& during);
    // The client point of a slider's value on the trough's centre line.
    static wxPoint SliderPoint(wxSlider* pSlider, int nValue);
    Pixels RenderShows() { return ReadShownPixels(m_pRender->GetCanvas()); }
    // Runs step() and expects it to start exactly one run of the renderer,
    // which then finishes.
    void ExpectOneRun(const std::function<void()>& step);

    testfiles::ScratchDir m_Dir;
    std::string m_sStartFile;  // opened at start-up when set before SetUp, as `orvex FILE` does
    bool m_bDefaultTrf = true; // false before SetUp: the folder holds no "default.trf"
    std::string m_sOldDir;
    CViewerApp* m_pApp = nullptr;
    wxWeakRef<CMainDlg> m_pDlg; // null once the dialog has ended and is gone
    CRenderWnd* m_pRender = nullptr;
    CTransferFunctionWnd* m_pEditor = nullptr;
    CSlicingDlg* m_pSlicing = nullptr;
    CVolumeDlg* m_pVolume = nullptr;
};

} // namespace guitest
