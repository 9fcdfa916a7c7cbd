// The panels inside the running viewer: the application object's start-up
// builds the real windows (render window, editor, main dialog with both
// panels); tests drive the panels with real mouse and keyboard input where the
// platform's notifications matter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <wx/gdicmn.h>

#include "support/GuiTest.h"

class wxButton;
class wxRadioButton;
class wxSlider;
class wxWindow;
class CMainDlg;
class CRenderWnd;
class CSlicingDlg;
class CVolumeDlg;
class CViewerApp;

namespace paneltest {

// Radians as the render window's angle setters store them.
float Radians(int nDegrees);

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a dataset of the given size, voxel value(x, y, z), and loads it
    // through the main dialog.
    void LoadDataset(int nDimX, int nDimY, int nDimZ,
                     const std::function<int16_t(int, int, int)>& value);
    // The main dialog's mode radios, as the user clicks them.
    void ChooseSlicing();
    void ChooseVolume();

    // A real left click in the middle of a control.
    void Click(wxWindow* pControl);
    // A real key press and release with the focus on the control.
    void Key(wxWindow* pControl, int nKeyCode);
    // Presses the left button on the slider's thumb (value nFrom), moves it in
    // steps to the screen position of value nTo, calls during() while still
    // holding it, and releases.
    void DragSlider(wxSlider* pSlider, int nFrom, int nTo, const std::function<void()>& during);
    // The screen point of a slider's value (on the trough's centre line).
    wxPoint SliderPoint(wxSlider* pSlider, int nValue);

    guitest::CTempDir m_Dir;
    std::string m_sOldDir;
    CViewerApp* m_pApp = nullptr;
    CMainDlg* m_pDlg = nullptr;
    CRenderWnd* m_pRender = nullptr;
    CSlicingDlg* m_pSlicing = nullptr;
    CVolumeDlg* m_pVolume = nullptr;
};

} // namespace paneltest
