// Harness for GUI tests: real windows on a real (virtual) X display.
//
// Use:
//   - In the test folder's CMakeLists.txt:
//       include(${PROJECT_SOURCE_DIR}/tests/support/GuiTest.cmake)
//       orvex_add_gui_test(my_gui_test SOURCES MyGuiTest.cpp [LIBS ...])
//     This builds the test against orvex_gui and this harness (which brings its own
//     main()), registers it with plain add_test (configuring never needs a
//     display), labels it `gui` and serialises it with every other GUI test (they
//     share the display, its pointer and its keyboard focus). Only built when the
//     viewer is built. Run under a display: `xvfb-run -a ctest -L gui`.
//   - main() initialises wxWidgets with a do-nothing application (no main loop
//     runs: tests drive events with Pump/WaitFor), calls glutInit once, turns wx
//     assertion failures into test failures and runs all tests.
//   - Pump / WaitFor / WaitForTitle process events (posted CallAfter calls,
//     paints, deferred window deletions) until a condition holds or a timeout.
//   - ReadShownPixels / ReadBackPixels read what a GL canvas shows on screen (from
//     the X server) or holds in its back buffer (after a direct DrawScene-like
//     call, also for parts that lie off screen).
//   - CMessageBoxCapture records the viewer's message boxes instead of showing
//     them; CModalDialogStub answers modal dialogs (file dialog, about box)
//     without showing them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <wx/modalhook.h>
#include <wx/string.h>

#include "app/MessageBox.h"

class wxWindow;
class wxTopLevelWindow;
class wxGLCanvas;
class wxGLContext;
class wxDialog;

namespace guitest {

// Processes every pending event, then keeps doing so for nMilliseconds.
void Pump(int nMilliseconds = 0);
// Pumps events until condition() holds or nTimeoutMs have passed; returns the
// last value of condition().
bool WaitFor(const std::function<bool()>& condition, int nTimeoutMs = 10000);
// Waits until the window is shown on screen with its final size.
bool WaitForShown(wxWindow* pWindow, int nTimeoutMs = 10000);
// Waits until the top-level window's title reads sTitle.
bool WaitForTitle(wxTopLevelWindow* pWindow, const wxString& sTitle, int nTimeoutMs = 30000);

// RGB bytes of a GL canvas, rows in GL order (row 0 at the bottom).
struct Pixels {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * nWidth + x) * 3];
    }
    bool IsBlack(int x, int y) const {
        const uint8_t* p = At(x, y);
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
    // Number of pixels in [x0, x1) x [y0, y1) that are not black.
    int CountNonBlack(int x0, int y0, int x1, int y1) const;
};

// What the canvas shows on screen, read back from the X server (8 bits per
// channel; the canvas must be on screen and not covered).
Pixels ReadShownPixels(wxGLCanvas* pCanvas);
// What the canvas's back buffer holds, for a frame drawn without a swap. The
// back buffer covers the whole canvas even where it lies off screen.
Pixels ReadBackPixels(wxGLCanvas* pCanvas, wxGLContext* pContext);

// While alive, the viewer's message boxes are recorded here instead of shown.
class CMessageBoxCapture {
public:
    CMessageBoxCapture();
    ~CMessageBoxCapture();
    std::vector<MessageBoxRequest> boxes;

private:
    MessageBoxReporter m_Previous;
};

// While alive, every modal dialog is handed to the answer function instead of
// being shown; its return value is what ShowModal returns.
class CModalDialogStub : public wxModalDialogHook {
public:
    explicit CModalDialogStub(std::function<int(wxDialog*)> answer);
    ~CModalDialogStub() override;
    int nCalls = 0;

protected:
    int Enter(wxDialog* pDialog) override;
    void Exit(wxDialog*) override {}

private:
    std::function<int(wxDialog*)> m_Answer;
};

// A fresh empty directory for the test's files, removed with the object.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    std::string Path(const std::string& sName) const { return m_sPath + "/" + sName; }
    const std::string& Root() const { return m_sPath; }

private:
    std::string m_sPath;
};

// Writes a RAW dataset: three little-endian int16 dimensions, then the voxels.
void WriteRaw(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
              const std::vector<int16_t>& voxels);

} // namespace guitest
