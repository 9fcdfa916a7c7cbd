#include "view/GLFrame.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <wx/dcclient.h>
#include <wx/glcanvas.h>
#include <wx/menu.h>
#include <wx/toplevel.h>

#include "view/MessageBox.h"
#include "res/Resource.h"

CGLFrame::CGLFrame(const wxString& sTitle, const wxPoint& position, const wxSize& size)
    // A caption and a sizing border, no system menu and so no close, minimise
    // or maximise box.
    : wxFrame(nullptr, wxID_ANY, sTitle, position, size,
              wxCAPTION | wxRESIZE_BORDER | wxCLIP_CHILDREN),
      m_Place(position) {
    Bind(wxEVT_CLOSE_WINDOW, &CGLFrame::OnClose, this);
}

CGLFrame::~CGLFrame() {
    delete m_pPendingMenuBar;
    ReleaseCanvasMouse();
    delete m_hRC;
    m_hRC = nullptr;
}

void PlaceShownWindow(wxTopLevelWindow* pWindow, const wxPoint& position) {
    pWindow->Move(position - wxPoint(1, 1));
    pWindow->Move(position);
}

bool CGLFrame::Show(bool bShow) {
    const bool bResult = wxFrame::Show(bShow);
    if (bShow && !m_bPlaced) {
        m_bPlaced = true;
        PlaceShownWindow(this, m_Place);
        // Under a window manager GTK may map the window only once it knows the
        // size of the manager's frame, and place it anew then.
        Bind(wxEVT_SHOW, &CGLFrame::OnFirstShown, this);
    }
    return bResult;
}

namespace {

// Whether a window manager runs on the display (it places new windows itself).
bool WindowManagerRuns() {
    GdkScreen* pScreen = gdk_screen_get_default();
    if (!pScreen || !GDK_IS_X11_SCREEN(pScreen))
        return false;
    const char* pName = gdk_x11_screen_get_window_manager_name(pScreen);
    return pName && std::strcmp(pName, "unknown") != 0;
}

} // namespace

void CGLFrame::SetMenuBarOnceShown(wxMenuBar* pMenuBar) {
    if (m_bPlaced || !WindowManagerRuns())
        SetMenuBar(pMenuBar);
    else
        m_pPendingMenuBar = pMenuBar;
}

void CGLFrame::OnFirstShown(wxShowEvent& event) {
    event.Skip();
    if (!event.IsShown())
        return;
    Unbind(wxEVT_SHOW, &CGLFrame::OnFirstShown, this);
    if (m_pPendingMenuBar)
        Bind(wxEVT_SIZE, &CGLFrame::OnSizeForMenuBar, this);
    // Without a manager the window already stands where it was put; moving it
    // again would only bring a late size event.
    if (WindowManagerRuns())
        PlaceShownWindow(this, m_Place);
}

void CGLFrame::OnSizeForMenuBar(wxSizeEvent& event) {
    event.Skip();
    // The manager's frame is known once the window has its own size again.
    if (event.GetSize().GetHeight() < 2 * MENU_BAR_ROOM || !m_pPendingMenuBar)
        return;
    Unbind(wxEVT_SIZE, &CGLFrame::OnSizeForMenuBar, this);
    SetMenuBar(m_pPendingMenuBar);
    m_pPendingMenuBar = nullptr;
}

bool CGLFrame::CreateCanvas(const PixelFormatRequest& request) {
    m_hDC = SetupPixelFormat(this, request);
    if (m_hDC)
        return true;
    ShowMessageBox(wxWindow::FindFocus(), TEXT_CREATE_FAILED, TEXT_ERROR_CAPTION, wxOK);
    return false;
}

bool CGLFrame::CreateContext() {
    m_hRC = new wxGLContext(m_hDC);
    if (!m_hRC->IsOK()) {
        delete m_hRC;
        m_hRC = nullptr;
        m_hDC->Destroy();
        m_hDC = nullptr;
        ShowMessageBox(wxWindow::FindFocus(), TEXT_CONTEXT_FAILED, TEXT_ERROR_CAPTION, wxOK);
        return false;
    }
    // The OpenGL set-up waits for the first MakeCurrent, which GLX allows only
    // once the canvas is on screen.
    m_hDC->Bind(wxEVT_SIZE, &CGLFrame::OnSize, this);
    m_hDC->Bind(wxEVT_PAINT, &CGLFrame::OnPaint, this);
    m_hDC->Bind(wxEVT_ERASE_BACKGROUND, &CGLFrame::OnEraseBkgnd, this);
    m_hDC->Bind(wxEVT_KEY_DOWN, &CGLFrame::OnKeyDown, this);
    m_hDC->Bind(wxEVT_KEY_UP, &CGLFrame::OnKeyUp, this);
    m_hDC->Bind(wxEVT_LEFT_DOWN, &CGLFrame::OnLButtonDown, this);
    m_hDC->Bind(wxEVT_MOTION, &CGLFrame::OnMouseMove, this);
    m_hDC->Bind(wxEVT_LEFT_UP, &CGLFrame::OnLButtonUp, this);
    m_hDC->Bind(wxEVT_RIGHT_UP, &CGLFrame::OnRButtonUp, this);
    m_hDC->Bind(wxEVT_MOUSE_CAPTURE_LOST, &CGLFrame::OnCaptureLost, this);
    // Escape reaches the frame first whichever child has the focus.
    Bind(wxEVT_CHAR_HOOK, &CGLFrame::OnKeyDown, this);
    return true;
}

bool CGLFrame::MakeCurrent() {
    if (!m_hRC || !m_hDC || !m_hDC->IsShownOnScreen())
        return false;
    if (!m_hRC->SetCurrent(*m_hDC))
        return false;
    if (!m_bGLInitialised) {
        m_bGLInitialised = true;
        InitGL();
        ApplyProjection();
    }
    return true;
}

bool CGLFrame::Repaint() {
    if (!m_hDC || !m_hDC->IsShownOnScreen() || IsBeingDeleted())
        return false;
    m_hDC->Refresh(false);
    m_hDC->Update();
    return true;
}

void CGLFrame::InitGLState(float fRed, float fGreen, float fBlue) {
    glShadeModel(GL_SMOOTH);
    glClearColor(fRed, fGreen, fBlue, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void CGLFrame::SetPixelProjection(int nWidth, int nHeight) {
    if (nHeight == 0)
        nHeight = 1;
    glViewport(0, 0, nWidth, nHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, nWidth, 0.0, nHeight, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void CGLFrame::CaptureCanvasMouse() {
    if (m_hDC && !m_hDC->HasCapture())
        m_hDC->CaptureMouse();
}

void CGLFrame::ReleaseCanvasMouse() {
    if (m_hDC && m_hDC->HasCapture())
        m_hDC->ReleaseMouse();
}

void CGLFrame::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(m_hDC);
    if (IsBeingDeleted() || !MakeCurrent())
        return;
    DrawScene();
    m_hDC->SwapBuffers();
}

void CGLFrame::OnEraseBkgnd(wxEraseEvent&) {
    // Nothing to erase: every paint clears the whole client area itself.
}

void CGLFrame::OnKeyDown(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    event.Skip();
}

void CGLFrame::OnKeyUp(wxKeyEvent& event) {
    event.Skip();
}

void CGLFrame::OnClose(wxCloseEvent& event) {
    // The others reach this window through the application object until the
    // program's own teardown destroys it: the close handler decides what a
    // close request means, after this event.
    if (event.CanVeto()) {
        event.Veto();
        if (m_CloseHandler)
            CallAfter([this] {
                if (m_CloseHandler && !IsBeingDeleted())
                    m_CloseHandler();
            });
        return;
    }
    event.Skip();
}

void CGLFrame::OnLButtonDown(wxMouseEvent& event) {
    event.Skip();
}

void CGLFrame::OnMouseMove(wxMouseEvent& event) {
    event.Skip();
}

void CGLFrame::OnLButtonUp(wxMouseEvent& event) {
    event.Skip();
}

void CGLFrame::OnRButtonUp(wxMouseEvent& event) {
    event.Skip();
}

void CGLFrame::OnCaptureLost(wxMouseCaptureLostEvent&) {}
