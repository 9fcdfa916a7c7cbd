// The "Render Output" window: a top-level frame whose client area is an OpenGL
// canvas with its own context. It carries the render state (settings, image
// buffers, worker protocol) and shows, by render mode, nothing (black), the
// current slice, or the progressive volume image followed by the wire box.
// Dragging with the left button rotates the view; Escape ends the process.
#pragma once

#include <functional>
#include <string>

#include <wx/gdicmn.h>

#include "render/Picture.h"
#include "render/RenderState.h"
#include "view/GLFrame.h"

class wxCommandEvent;
class wxFocusEvent;
class wxMenu;

// The rotation sliders a drag in the render window moves: the volume panel
// registers itself with SetRotationSliders. The calls move the sliders only and
// never call back into the window.
class CRotationSliders {
public:
    virtual ~CRotationSliders() = default;
    virtual void SetLongitudePosition(int nDegrees) = 0;
    virtual void SetLatitudePosition(int nDegrees) = 0;
};

// What Slicing mode in the render window changes in the slicing panel: the
// slicing panel registers itself with SetSliceControls.
class CSliceControls {
public:
    virtual ~CSliceControls() = default;
    // Steps the slice by nDelta slices, held inside the plane's slices (the
    // mouse wheel, Page Up and Page Down).
    virtual void StepSlice(int nDelta) = 0;
    // A right-button drag has changed the window and level (GetSliceLook).
    virtual void ShowWindowLevel() = 0;
};

class CRenderWnd : public CGLFrame, public CRenderState {
public:
    // Creates the platform window at (322, 100), outer size 700 x 475. When the
    // OpenGL set-up fails the error boxes have been shown and IsCreated() is
    // false: the window has no canvas and must be deleted unused.
    explicit CRenderWnd(const PixelFormatRequest& request = {});
    ~CRenderWnd() override;

    // The panel whose sliders follow a drag (null: none).
    void SetRotationSliders(CRotationSliders* pSliders) { m_pRotationSliders = pSliders; }
    // The panel whose slice and window and level follow the mouse and keys in
    // Slicing mode (null: none).
    void SetSliceControls(CSliceControls* pControls) { m_pSliceControls = pControls; }

    // --- Beyond the picture: status, pictures and keys (UI thread) ---
    // How far the worker's runs have come, as the last progress report that
    // this window has received tells.
    const RenderProgress& Progress() const { return m_Progress; }
    // In Slicing mode on a scan, the voxel under the cursor (DescribeVoxel);
    // empty when the cursor is not over the slice.
    const std::string& CursorStatus() const { return m_sCursorStatus; }
    // Called after every progress report and every change of the cursor
    // status (empty: none).
    void SetStatusListener(std::function<void()> listener) {
        m_StatusListener = std::move(listener);
    }
    // The main dialog's buttons that this window's keys press: Ctrl+O "Load
    // Dataset" (IDC_LOAD_DATASET) and F5 "Refresh" (IDC_REFRESH). Empty: none.
    void SetCommandHandler(std::function<void(int nCommand)> handler) {
        m_CommandHandler = std::move(handler);
    }

    // Whether there is a picture to save: a dataset is loaded, a mode chosen
    // and the client area is not empty.
    bool HasPicture() const;
    // The picture the window shows at its client size (ComposeVolumePicture or
    // ComposeSlicePicture); false when the front image stays locked.
    bool TakePicture(RgbImage& picture);
    // Writes the picture as a PNG file through a temporary file renamed at the
    // end. A failure is reported in a message box naming the file and the
    // reason, and leaves no file behind. 0, or -1 on failure.
    int SavePicture(const wxString& sPath);
    // Ctrl+S and "Save Picture ...": the save dialog in the dataset's folder
    // (or the folder of the last picture) with a proposed name, then
    // SavePicture. Nothing happens without a picture.
    void OnSavePicture();
    // The context menu of the right button: "Save Picture ...", enabled only
    // with a picture. The caller owns it.
    wxMenu* CreateContextMenu() const;

    // OpenGL set-up for a client area of the given size (height 0 counts as 1).
    void ResizeGL(int nWidth, int nHeight);
    void DrawScene() override;
    void DrawVolumeImage();
    void DrawSlice();
    // The patient directions at the slice's four edges, for an oriented scan.
    void DrawSliceLetters();
    // For an oriented scan: three short axes in the bottom-left corner that
    // turn with the camera, toward the patient's left, posterior and superior,
    // labelled L, P and S. Not part of the saved picture.
    void DrawOrientationMarker();

    // One of the standard views (VIEW_PRESETS) by its index, as its key and
    // the volume panel's button choose it: the angles go to the render state
    // (which restarts the renderer) and to the panel's sliders. Nothing while
    // the user turns the view with the mouse or an arrow key.
    void ShowViewPreset(int nPreset);

    // --- Zoom and pan (ZoomPan), of the volume picture in Volume mode and of
    // the slice in Slicing mode; nothing in any other mode ---
    ZoomPan ShownZoom() const;
    void SetShownZoom(const ZoomPan& zoom);
    // Multiplies the zoom by dFactor about the point dX, dY pixels right of and
    // below the centre (the + and - keys: the centre), or about the client
    // point (x, y) (the wheel: the cursor).
    void ZoomAt(double dFactor, double dX, double dY);
    void ZoomAtPoint(double dFactor, int nX, int nY);
    // "Reset View" and Home in Volume mode: zoom 1, no pan and the start
    // angles (the sliders follow). Nothing while the user turns or pans.
    void ShowDefaultView();

    // Worker hooks: posted to the UI thread, never run on the worker.
    void PostProgress(const RenderProgress& progress) override;
    void PostRepaint() override;
    // The mode and the slice settings show at once.
    void ShowSettings() override;

    // Degrees for the panel's sliders from an angle in radians: truncated toward
    // zero, then the remainder of the division by nModulo (sign of the angle).
    static int SliderDegrees(float fRadians, int nModulo);

    float m_fLatitudeAtDrag = 0.0f;
    float m_fLongitudeAtDrag = 0.0f;
    int32_t m_nDragStartX = 0;
    int32_t m_nDragStartY = 0;

protected:
    int OnCreate(const PixelFormatRequest& request);
    void InitGL() override;
    void ApplyProjection() override;

    void OnSize(wxSizeEvent& event) override;
    void OnLButtonDown(wxMouseEvent& event) override;
    void OnMouseMove(wxMouseEvent& event) override;
    void OnLButtonUp(wxMouseEvent& event) override;
    void OnCaptureLost(wxMouseCaptureLostEvent& event) override;
    // In Slicing mode with greys, a drag with the right button sets the window
    // (to the right: wider) and the level (upward: higher); a right click
    // without movement opens the context menu.
    void OnRButtonDown(wxMouseEvent& event);
    void OnRButtonUp(wxMouseEvent& event) override;
    // In Volume mode the wheel zooms at the cursor (away from the user: in);
    // in Slicing mode Ctrl + wheel does, and on a scan the plain wheel steps
    // one slice per notch (toward the user the next slice).
    void OnMouseWheel(wxMouseEvent& event);
    // The middle button, like Shift + the left button, pans.
    void OnMButtonDown(wxMouseEvent& event);
    void OnMButtonUp(wxMouseEvent& event);
    void OnMouseLeave(wxMouseEvent& event);
    // The arrow keys turn the view by KEY_TURN_DEGREES as a drag in their
    // direction would; in Volume mode the digits 1 to 6 choose the standard
    // views (ShowViewPreset); in Slicing mode on a scan Page Down and Page Up
    // step to the next and the previous slice; every other key goes on to the
    // frame (Escape).
    void OnKeyDown(wxKeyEvent& event) override;
    void OnKeyUp(wxKeyEvent& event) override;

private:
    // The longitude, latitude and slider updates of a drag step.
    void DragTo(int nX, int nY);
    void EndDrag(int nX, int nY);
    // A key turn: the first stops the renderer and shows the wire box; the
    // release (or the loss of the focus) starts the renderer again.
    void TurnByKey(int nLongitudeDegrees, int nLatitudeDegrees);
    void EndKeyTurn();
    // A pan drag from client point (x, y): in Volume mode the wire box follows
    // it and the release starts the renderer.
    void BeginPan(int nX, int nY);
    void PanTo(int nX, int nY);
    void EndPan();
    // The window and level for a right-button drag to client point (x, y).
    void DragWindowLevel(int nX, int nY);
    // Sets the cursor status for client point (x, y) (outside: none).
    void ShowCursorVoxel(int nX, int nY, bool bInside = true);
    void StepSlice(int nDelta);
    // A scan is loaded: a RAW dataset has neither the wheel, the slice keys nor
    // the cursor status.
    bool IsScanShown() const;
    void OnKillFocus(wxFocusEvent& event);
    void OnCommand(wxCommandEvent& event);

    CRotationSliders* m_pRotationSliders = nullptr;
    RenderProgress m_Progress;
    std::function<void()> m_StatusListener;
    std::function<void(int)> m_CommandHandler;
    bool m_bKeyTurning = false;
    CSliceControls* m_pSliceControls = nullptr;
    std::string m_sCursorStatus;
    // A press of the right button in progress, where it began, whether it has
    // moved far enough to be a window and level drag, and the look it began with.
    bool m_bRightPressed = false;
    bool m_bWindowLevelDrag = false;
    wxPoint m_RightStart;
    SliceLook m_LookAtDrag;
    int m_nWheelRotation = 0; // wheel rotation short of a whole notch
    // A pan drag in progress, where it began and the zoom and pan it began with.
    bool m_bPanning = false;
    wxPoint m_PanStart;
    ZoomPan m_ZoomAtPan;
};
