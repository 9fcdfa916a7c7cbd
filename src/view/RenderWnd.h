// The "Render Output" window: a top-level frame whose client area is an OpenGL
// canvas with its own context. It carries the render state (settings, image
// buffers, worker protocol) and shows, by render mode, nothing (black), the
// current slice, or the progressive volume image followed by the wire box.
// Dragging with the left button rotates the view; Escape ends the process.
#pragma once

#include "view/GLFrame.h"
#include "view/RenderState.h"

// The rotation sliders a drag in the render window moves: the volume panel
// registers itself with SetRotationSliders. The calls move the sliders only and
// never call back into the window.
class CRotationSliders {
public:
    virtual ~CRotationSliders() = default;
    virtual void SetLongitudePosition(int nDegrees) = 0;
    virtual void SetLatitudePosition(int nDegrees) = 0;
};

class CRenderWnd : public CGLFrame, public CRenderState {
public:
    // Creates the platform window at (322, 100), outer size 700 x 475. When the
    // OpenGL set-up fails the error boxes have been shown and IsCreated() is
    // false: the window has no canvas and must be deleted unused.
    explicit CRenderWnd(CViewerApp* pApp, const PixelFormatRequest& request = {});
    ~CRenderWnd() override;

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

    // OpenGL set-up for a client area of the given size (height 0 counts as 1).
    void ResizeGL(int nWidth, int nHeight);
    void DrawScene() override;
    void DrawVolumeImage();
    void DrawSlice();

    // Worker hooks: posted to the UI thread, never run on the worker.
    void PostTitle(const std::string& sTitle) override;
    void PostRepaint() override;

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

private:
    // The longitude, latitude and slider updates of a drag step.
    void DragTo(int nX, int nY);
    void EndDrag(int nX, int nY);

    CRotationSliders* m_pRotationSliders = nullptr;
};
