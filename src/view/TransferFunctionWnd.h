// The "Transfer Function Editor": a top-level frame whose client area is an
// OpenGL canvas with its own context. The horizontal axis is the voxel value
// 0..4095, the vertical axis the opacity 0..1. Behind the function it shows the
// current dataset's histogram on a logarithmic scale. In Volume mode (and before
// any mode is chosen) it draws the opacity curve with its points, in Slicing
// mode a colour bar with markers.
//
// Mouse: a click (release at the press point) asks for a colour and sets a point
// there; a drag moves the point nearest to the press, and the table is rebuilt
// when the button is released; a right click removes the nearest point. The
// menu "TransferFunction" loads and saves .trf files and replaces the function
// by a preset fitted to the dataset; Escape ends the program. For an imported
// scan the top edge carries the value axis in the scan's units, and the value
// under the mouse stands in the top right corner.
#pragma once

#include <cstdint>
#include <functional>

#include <wx/colour.h>

#include "view/GLFrame.h"

class wxFileDialog;
class wxMenuBar;
class wxColourData;
class wxCommandEvent;
class CRenderState;
class CTransferFunction;
class CVolume;
struct ControlPoint;

class CTransferFunctionWnd : public CGLFrame {
public:
    // Asks the user for a colour, starting from initial: true with the chosen
    // colour when the user confirms. The program shows wxColourDialog.
    using ColourChooser =
        std::function<bool(wxWindow* pOwner, const wxColour& initial, wxColour& chosen)>;

    // Creates the platform window "Transfer Function Editor" at (322, 575), outer
    // size 700 x 211, with the menu bar. When the OpenGL set-up fails the error
    // boxes have been shown and IsCreated() is false: the window has no canvas
    // and must be destroyed unused.
    // The window edits the transfer function of pRender's scene and shows the
    // histogram of its dataset.
    explicit CTransferFunctionWnd(CRenderState* pRender, const PixelFormatRequest& request = {});
    ~CTransferFunctionWnd() override;
    // Called when the window object goes away (empty: nothing).
    void SetDestroyListener(std::function<void()> listener) {
        m_DestroyListener = std::move(listener);
    }

    // Loads sPath into the transfer function and redraws. A file that cannot be
    // read, or holds no usable point, is reported in a message box naming it;
    // the function stays as it was. 0, or -1 on failure.
    int LoadFile(const wxString& sPath);
    // Replaces the function by the preset (a TransferPreset) fitted to the
    // current dataset, as a load does, and tells the change listener; -1
    // without a dataset.
    int ApplyPreset(int nPreset);
    // The points were replaced from outside: a press has nothing left to drag;
    // redraws.
    void OnPointsReplaced();
    // Told of every change the user makes to the function here: the preset's
    // code for a preset, -1 for a loaded file or an edit.
    void SetChangeListener(std::function<void(int nPreset)> listener) {
        m_ChangeListener = std::move(listener);
    }
    // Lets go of the render state and the listener before they go away: a
    // paint or a mouse event that still comes before the window's own end
    // reads nothing of theirs.
    void Detach() {
        m_pRender = nullptr;
        m_ChangeListener = {};
    }

    // Saves the transfer function to sPath; a failure is reported in a message
    // box naming the file. 0, or -1 on failure.
    int SaveFile(const wxString& sPath);

    // Replaces the real colour dialog (tests); an empty function restores the
    // real dialog. Returns the chooser installed before. (The file dialogs are
    // replaced through SetFileChooser, app/FileChooser.h.)
    static ColourChooser SetColourChooser(ColourChooser chooser);
    // The real dialogs as the program configures them (not shown).
    static wxFileDialog* CreateFileDialog(wxWindow* pOwner, bool bSave);
    static wxColourData MakeColourData(const wxColour& initial);

    void DrawScene() override;

    // Message handlers (bound to the canvas and the frame).
    void OnSize(wxSizeEvent& event) override;
    void OnLButtonDown(wxMouseEvent& event) override;
    void OnMouseMove(wxMouseEvent& event) override;
    void OnLButtonUp(wxMouseEvent& event) override;
    void OnRButtonUp(wxMouseEvent& event) override;
    void OnCaptureLost(wxMouseCaptureLostEvent& event) override;
    void OnLoad(wxCommandEvent& event);
    void OnSave(wxCommandEvent& event);
    void OnMouseLeave(wxMouseEvent& event);

    // m_Menu: the menu bar "TransferFunction" (owned by the frame).
    wxMenuBar* m_Menu = nullptr;
    int32_t m_nPressX = 0; // client point where the left button last went down
    int32_t m_nPressY = 0;
    ControlPoint* m_pPicked = nullptr; // the point picked at that press; may be none
    CRenderState* m_pRender;
    int32_t m_nWidth = 0; // client size from the last size message (may be 0)
    int32_t m_nHeight = 0;
    bool m_bDragging = false; // a left-button press is in progress
    double m_HistogramColor[3] = {0.7, 0.7, 0.7};
    double m_ClearColor[3] = {0.8, 0.8, 0.8};
    int32_t m_nMouseX = -1; // the mouse's column while it is over the canvas, else -1

private:
    int OnCreate(const PixelFormatRequest& request);
    void InitGL() override;
    void ApplyProjection() override;
    void DrawHistogram(int nMode);
    void DrawTransferFunction(int nMode);
    // A scan's value axis and the value under the mouse.
    void DrawScanValues();
    void Changed(int nPreset);
    int RenderMode() const;
    CTransferFunction* TransferFunction() const;
    // The current dataset when it holds voxels, else null.
    const CVolume* LoadedVolume() const;
    // The click at (x, y): the colour dialog and a new point.
    void Click(int x, int y);
    // Forgets the picked point once a removal has taken it out of the list.
    void ForgetPickedIfGone();

    // Whether the left button has gone down in this window at all: before the
    // first press no release counts as a click.
    bool m_bPressSeen = false;
    std::function<void()> m_DestroyListener;
    std::function<void(int)> m_ChangeListener;
};
