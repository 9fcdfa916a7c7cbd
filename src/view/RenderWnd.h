// The "Render Output" window: a top-level frame whose client area is an OpenGL
// canvas with its own context. It carries the render state (settings, image
// buffers, worker protocol) and shows, by render mode, nothing (black), the
// current slice, or the progressive volume image followed by the wire box.
// Dragging with the left button rotates the view; Escape ends the process.
#pragma once

#include <wx/frame.h>

#include "view/PixelFormat.h"
#include "view/RenderState.h"

class wxGLCanvas;
class wxGLContext;
class wxMouseEvent;
class wxMouseCaptureLostEvent;
class wxSizeEvent;
class wxPaintEvent;
class wxKeyEvent;
class wxEraseEvent;

// The rotation sliders a drag in the render window moves: the volume panel
// registers itself with SetRotationSliders. The calls move the sliders only and
// never call back into the window.
class CRotationSliders {
public:
    virtual ~CRotationSliders() = default;
    virtual void SetLongitudePosition(int nDegrees) = 0;
    virtual void SetLatitudePosition(int nDegrees) = 0;
};

class CRenderWnd : public wxFrame, public CRenderState {
public:
    // Creates the platform window at (322, 100), outer size 700 x 475. When the
    // OpenGL set-up fails the error boxes have been shown and IsCreated() is
    // false: the window has no canvas and must be deleted unused.
    explicit CRenderWnd(CViewerApp* pApp, const PixelFormatRequest& request = {});
    ~CRenderWnd() override;

    bool IsCreated() const { return m_hRC != nullptr; }

    // --- Setters and getters (UI thread) ---
    bool SetRenderMode(int nMode);
    bool SetSlicingPlane(int nPlane);
    bool SetSliceNumber(int nSlice);
    bool SetSliceInterpolation(int nInterpolation);
    void SetLongitude(int nDegrees);
    void SetLatitude(int nDegrees);
    int SetVolumeType(int nType);
    void SetVolumeInterpolation(int nInterpolation);
    void SetUpperThreshold(int nThreshold);
    void SetLowerThreshold(int nThreshold);

    // The panel whose sliders follow a drag (null: none).
    void SetRotationSliders(CRotationSliders* pSliders) { m_pRotationSliders = pSliders; }

    // Immediate, synchronous repaint of the whole client area; true when it was
    // painted.
    bool Repaint();

    // OpenGL set-up for a client area of the given size (height 0 counts as 1).
    void ResizeGL(int nWidth, int nHeight);
    // Draws one frame into the back buffer (context current).
    void DrawScene();
    void DrawVolumeImage();
    void DrawSlice();

    wxGLCanvas* GetCanvas() const { return m_hDC; }
    wxGLContext* GetContext() const { return m_hRC; }
    // Makes this window's context current on its canvas; false while the canvas
    // cannot take it yet (not shown). The first success runs InitGL.
    bool MakeCurrent();

    // Worker hooks: posted to the UI thread, never run on the worker.
    void PostTitle(const std::string& sTitle) override;
    void PostRepaint() override;

    // Degrees for the panel's sliders from an angle in radians: truncated toward
    // zero, then the remainder of the division by nModulo (sign of the angle).
    static int SliderDegrees(float fRadians, int nModulo);

    // m_hDC: the canvas of the client area, kept for the window's life.
    wxGLCanvas* m_hDC = nullptr;
    // m_hRC: the OpenGL context made for m_hDC.
    wxGLContext* m_hRC = nullptr;
    float m_fLatitudeAtDrag = 0.0f;
    float m_fLongitudeAtDrag = 0.0f;
    int32_t m_nDragStartX = 0;
    int32_t m_nDragStartY = 0;

protected:
    int OnCreate(const PixelFormatRequest& request);
    void InitGL();

    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBkgnd(wxEraseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnLButtonDown(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnLButtonUp(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

private:
    // The longitude, latitude and slider updates of a drag step.
    void DragTo(int nX, int nY);
    void EndDrag(int nX, int nY);
    void ApplyViewport();

    CRotationSliders* m_pRotationSliders = nullptr;
    bool m_bGLInitialised = false;
};
