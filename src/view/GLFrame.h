// What the viewer's two OpenGL windows (the render output window and the
// transfer function editor) have in common: a top-level frame with a caption
// and a sizing border but no system menu, whose client area is an OpenGL
// canvas with a context of its own. The frame sets up the pixel format and the
// context, makes the context current before every group of OpenGL calls, paints
// through DrawScene and routes the canvas's mouse messages to its handlers.
// Escape in the window ends the process at once with exit status 0. The window
// lives until the program ends: a window manager's close request (the close
// box, Alt+F4) is refused and handed to the close handler instead.
#pragma once

#include <functional>

#include <wx/frame.h>

#include "view/PixelFormat.h"

class wxGLCanvas;
class wxGLContext;
class wxMouseEvent;
class wxMouseCaptureLostEvent;
class wxSizeEvent;
class wxPaintEvent;
class wxKeyEvent;
class wxEraseEvent;
class wxCloseEvent;
class wxShowEvent;
class wxTopLevelWindow;

// Moves a top-level window that has just been shown to its place on screen.
// GTK drops the position a window was given before it first appeared (a
// window manager then places it where it likes); moved once it is shown, it
// lands there. wx skips a move to the place it believes the window is at,
// hence the step aside first.
void PlaceShownWindow(wxTopLevelWindow* pWindow, const wxPoint& position);

class CGLFrame : public wxFrame {
public:
    ~CGLFrame() override;

    // False when the OpenGL set-up failed: the window has no canvas then and is
    // discarded unused.
    bool IsCreated() const { return m_hRC != nullptr; }
    wxGLCanvas* GetCanvas() const { return m_hDC; }
    wxGLContext* GetContext() const { return m_hRC; }

    // Makes this window's context current on its canvas; false while the canvas
    // cannot take it yet (GLX allows it only once the canvas is on screen). The
    // first success runs InitGL and ApplyProjection.
    bool MakeCurrent();
    // Immediate, synchronous repaint of the whole client area (invalidate,
    // update now); true when it was painted.
    bool Repaint();
    // Draws one frame into the back buffer (context current).
    virtual void DrawScene() = 0;

    // Shows the window; the first time also places it where it was created.
    bool Show(bool bShow = true) override;
    // Gives the frame its menu bar. Under a window manager GTK lays out a new
    // window at a size of a pixel or two before the manager's frame is known,
    // which a menu bar cannot take: there the bar joins once the window is up.
    void SetMenuBarOnceShown(wxMenuBar* pMenuBar);
    // What a window manager's close request does instead of closing (run from
    // the event loop once the request has been refused). Empty: nothing.
    void SetCloseHandler(std::function<void()> handler) { m_CloseHandler = std::move(handler); }

    // m_hDC: the canvas of the client area, kept for the window's life.
    wxGLCanvas* m_hDC = nullptr;
    // m_hRC: the OpenGL context made for m_hDC.
    wxGLContext* m_hRC = nullptr;

protected:
    // The frame at its place and outer size; the OpenGL set-up follows with
    // CreateCanvas and CreateContext.
    CGLFrame(const wxString& sTitle, const wxPoint& position, const wxSize& size);

    // The canvas with the closest pixel format. On failure the boxes of
    // SetupPixelFormat and then "SetPixelformat Failed!" (caption "Error", owned
    // by the window with the focus) have been shown; false.
    bool CreateCanvas(const PixelFormatRequest& request);
    // The context for the canvas, then the canvas's messages are bound. On
    // failure the canvas is removed again and a box says so; false.
    bool CreateContext();

    // The one-time OpenGL set-up: smooth shading, the clear colour with alpha
    // 0.5, clear depth 1, depth test with GL_LEQUAL, nicest perspective hint.
    static void InitGLState(float fRed, float fGreen, float fBlue);
    // Viewport and an orthographic projection of one unit per pixel with the
    // origin at the bottom left; a height of 0 counts as 1.
    static void SetPixelProjection(int nWidth, int nHeight);

    virtual void InitGL() = 0;
    virtual void ApplyProjection() = 0;

    // Canvas messages. Paint, background erase and Escape are handled here;
    // the mouse handlers do nothing but the default processing unless a window
    // overrides them.
    virtual void OnSize(wxSizeEvent& event) = 0;
    void OnPaint(wxPaintEvent& event);
    void OnEraseBkgnd(wxEraseEvent& event);
    virtual void OnKeyDown(wxKeyEvent& event);
    virtual void OnKeyUp(wxKeyEvent& event);
    // Vetoes every close request that may be vetoed (Alt+F4, the window
    // manager's WM_DELETE_WINDOW) and runs the close handler; a forced close
    // goes on.
    void OnClose(wxCloseEvent& event);
    virtual void OnLButtonDown(wxMouseEvent& event);
    virtual void OnMouseMove(wxMouseEvent& event);
    virtual void OnLButtonUp(wxMouseEvent& event);
    virtual void OnRButtonUp(wxMouseEvent& event);
    virtual void OnCaptureLost(wxMouseCaptureLostEvent& event);

    // Mouse capture of the canvas for a press in progress.
    void CaptureCanvasMouse();
    void ReleaseCanvasMouse();

private:
    void OnFirstShown(wxShowEvent& event);
    void OnSizeForMenuBar(wxSizeEvent& event);
    // Pixels a menu bar takes at the most.
    static constexpr int MENU_BAR_ROOM = 40;

    bool m_bGLInitialised = false;
    bool m_bPlaced = false;
    wxPoint m_Place;
    wxMenuBar* m_pPendingMenuBar = nullptr;
    std::function<void()> m_CloseHandler;
};
