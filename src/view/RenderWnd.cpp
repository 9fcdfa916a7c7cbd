#include "view/RenderWnd.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <wx/accel.h>
#include <wx/filename.h>
#include <wx/glcanvas.h>
#include <wx/menu.h>

#include "render/Orientation.h"
#include "render/SliceView.h"
#include "render/Status.h"
#include "res/Resource.h"
#include "transfer/TransferFunction.h"
#include "view/FileChooser.h"
#include "view/MessageBox.h"
#include "volume/Volume.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
// How far the right button moves before its press counts as a window and
// level drag (in pixels, either direction), and how many stored value steps a
// pixel of that drag changes the window or level by.
constexpr int WINDOW_LEVEL_DRAG_START = 3;
constexpr double WINDOW_LEVEL_STEPS_PER_PIXEL = 2.0;

// The orientation marker: its centre's distance in pixels from the left and
// bottom edges, the length of its axes, and the letters L, P and S at their
// ends, each a line strip through points on a grid 4 wide and 6 high, given as
// pairs of digits x, y (drawn LETTER_SCALE pixels a unit).
constexpr double MARKER_CENTRE = 42.0;
constexpr double MARKER_AXIS = 26.0;
constexpr double LETTER_SCALE = 1.5;
constexpr const char* MARKER_LETTERS[3] = {"060040", "00063645443330", "453616050413334241301001"};
// The axes' colours: x red, y green, z blue.
constexpr float MARKER_COLOURS[3][3] = {
    {1.0f, 0.35f, 0.35f}, {0.35f, 1.0f, 0.35f}, {0.45f, 0.6f, 1.0f}};

// The view preset of a key: the digits 1 to 6, also on the keypad; -1 for
// any other key.
int ViewPresetOfKey(int nKey) {
    if (nKey >= '1' && nKey < '1' + VIEW_PRESET_COUNT)
        return nKey - '1';
    if (nKey >= WXK_NUMPAD1 && nKey < WXK_NUMPAD1 + VIEW_PRESET_COUNT)
        return nKey - WXK_NUMPAD1;
    return -1;
}
} // namespace

CRenderWnd::CRenderWnd(const PixelFormatRequest& request)
    : CGLFrame(TEXT_RENDER_TITLE, wxPoint(322, 100), wxSize(700, 475)) {
    OnCreate(request);
}

CRenderWnd::~CRenderWnd() {
    // The worker reads this window's state and posts to it: it must be gone
    // before anything here is torn down, even if the bounded stop timed out.
    StopProgressiveThread();
    WaitForWorkerEnd();
}

int CRenderWnd::OnCreate(const PixelFormatRequest& request) {
    if (!CreateCanvas(request) || !CreateContext())
        return -1;
    m_nSlice = 0;
    const wxSize client = GetClientSize();
    m_nWidth = client.GetWidth();
    m_nHeight = client.GetHeight();
    m_bInteractive = false;

    // Ctrl+O and F5 press the main dialog's buttons; Ctrl+S saves the picture.
    wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, 'O', IDC_LOAD_DATASET},
                                 {wxACCEL_NORMAL, WXK_F5, IDC_REFRESH},
                                 {wxACCEL_CTRL, 'S', ID_SAVE_PICTURE}};
    SetAcceleratorTable(wxAcceleratorTable(3, keys));
    for (int nCommand : {IDC_LOAD_DATASET, IDC_REFRESH, ID_SAVE_PICTURE})
        Bind(wxEVT_MENU, &CRenderWnd::OnCommand, this, nCommand);
    m_hDC->Bind(wxEVT_KILL_FOCUS, &CRenderWnd::OnKillFocus, this);
    m_hDC->Bind(wxEVT_RIGHT_DOWN, &CRenderWnd::OnRButtonDown, this);
    m_hDC->Bind(wxEVT_MOUSEWHEEL, &CRenderWnd::OnMouseWheel, this);
    m_hDC->Bind(wxEVT_MIDDLE_DOWN, &CRenderWnd::OnMButtonDown, this);
    m_hDC->Bind(wxEVT_MIDDLE_UP, &CRenderWnd::OnMButtonUp, this);
    m_hDC->Bind(wxEVT_LEAVE_WINDOW, &CRenderWnd::OnMouseLeave, this);
    return 0;
}

void CRenderWnd::InitGL() {
    InitGLState(0.0f, 0.0f, 0.0f);
}

void CRenderWnd::ApplyProjection() {
    SetPixelProjection(m_nWidth, m_nHeight);
}

void CRenderWnd::ResizeGL(int nWidth, int nHeight) {
    if (nHeight == 0)
        nHeight = 1;
    SetViewSize(nWidth, nHeight);
    // Before the canvas is on screen the set-up waits for the first
    // MakeCurrent, which applies the size stored here.
    if (MakeCurrent())
        ApplyProjection();
}

// ---- hooks of the render state ----

void CRenderWnd::PostProgress(const RenderProgress& progress) {
    CRenderState::PostProgress(progress);
    CallAfter([=, this] {
        SetTitle(wxString::FromUTF8(ProgressTitle(progress)));
        m_Progress = progress;
        if (progress.eState != RenderProgress::RUNNING)
            RetryRefusedStart();
        if (m_StatusListener)
            m_StatusListener();
    });
}

void CRenderWnd::ShowSettings() {
    Repaint();
    // The voxel under a resting cursor follows the slice.
    if (!m_sCursorStatus.empty()) {
        const wxPoint point = m_hDC->ScreenToClient(wxGetMousePosition());
        ShowCursorVoxel(point.x, point.y);
    }
}

void CRenderWnd::PostRepaint() {
    CRenderState::PostRepaint();
    CallAfter([this] { Repaint(); });
}

// ---- drawing ----

void CRenderWnd::DrawScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const int nMode = m_nRenderMode;
    if (nMode == RENDER_MODE_SLICING) {
        DrawSlice();
        return;
    }
    if (nMode != RENDER_MODE_VOLUME)
        return;
    if (!m_bInteractive)
        DrawVolumeImage();
    // Before the wire box: the box's depth test then leaves the marker on top.
    DrawOrientationMarker();

    WireBox box = LastWireBox();
    const double dNear = box.dNear;
    // The camera comes from the first run of the renderer; until one has set it
    // (no dataset yet) there is no box to draw.
    if (!(box.dFrustumRight > 0.0 && box.dFrustumTop > 0.0 && dNear > 0.0))
        return;
    // The frustum follows the zoom and pan at once, also while a pan drag holds
    // the renderer back.
    SetWireFrustum(m_nWidth, m_nHeight, GetZoomPan(), box);
    const double dRight = box.dFrustumRight;
    const double dTop = box.dFrustumTop;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(box.dFrustumCentreX - dRight, box.dFrustumCentreX + dRight,
              box.dFrustumCentreY - dTop, box.dFrustumCentreY + dTop, dNear, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 0.0, 0.0, 0.0, -1.0, 0.0, 1.0, 0.0);
    glTranslated(0.0, 0.0, -box.dDistance);
    glRotated(-static_cast<double>(m_fLongitude) * 180.0 / kPi, 0.0, 1.0, 0.0);
    glRotated(static_cast<double>(m_fLatitude) * 180.0 / kPi, 1.0, 0.0, 0.0);
    glScaled(box.dScale[0], box.dScale[1], box.dScale[2]);
    // The crop box within the volume's box.
    glTranslated(box.dCropCentre[0], box.dCropCentre[1], box.dCropCentre[2]);
    glScaled(box.dCropSize[0], box.dCropSize[1], box.dCropSize[2]);
    glColor3f(1.0f, 1.0f, 1.0f);
    glutWireCube(1.0);

    ApplyProjection();
}

void CRenderWnd::DrawVolumeImage() {
    if (!m_hImageMutex.Lock(10))
        return;
    const int nHeight = m_nHeight;
    // The buffers hold IMAGE_MAX_WIDTH x IMAGE_MAX_HEIGHT samples: a larger client
    // area shows the image in its top-left part and stays black elsewhere.
    glBegin(GL_QUADS);
    ForEachImageBlock(m_Image, m_nWidth, nHeight,
                      [nHeight](int x0, int y0, int x1, int y1, const ImagePixel& pixel) {
                          glColor3f(pixel.r, pixel.g, pixel.b);
                          glVertex2i(x0, nHeight - y0);
                          glVertex2i(x1, nHeight - y0);
                          glVertex2i(x1, nHeight - y1);
                          glVertex2i(x0, nHeight - y1);
                      });
    glEnd();
    m_hImageMutex.Unlock();
}

void CRenderWnd::DrawOrientationMarker() {
    const CVolume* pVolume = Volume();
    if (!pVolume || !pVolume->m_Source.bOriented)
        return;
    const ScreenAxes axes = VolumeAxesOnScreen(CurrentCamera());
    // The axes farther from the viewer first, so that nearer ones cross them;
    // each the dimmer the farther it points away.
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return axes.axis[a][2] < axes.axis[b][2]; });
    glLineWidth(2.0f);
    for (int i : order) {
        const double* a = axes.axis[i];
        const float fShade = static_cast<float>(0.65 + 0.35 * a[2]);
        glColor3f(MARKER_COLOURS[i][0] * fShade, MARKER_COLOURS[i][1] * fShade,
                  MARKER_COLOURS[i][2] * fShade);
        const double dTipX = MARKER_CENTRE + MARKER_AXIS * a[0];
        const double dTipY = MARKER_CENTRE + MARKER_AXIS * a[1];
        glBegin(GL_LINES);
        glVertex2d(MARKER_CENTRE, MARKER_CENTRE);
        glVertex2d(dTipX, dTipY);
        glEnd();
        // The letter beyond the tip, centred on the axis' direction on screen.
        const double dLength = std::hypot(a[0], a[1]);
        const double dAway = 4.0 * LETTER_SCALE + 3.0;
        const double dX =
            dTipX + (dLength > 1e-6 ? dAway * a[0] / dLength : 0.0) - 2.0 * LETTER_SCALE;
        const double dY =
            dTipY + (dLength > 1e-6 ? dAway * a[1] / dLength : 0.0) - 3.0 * LETTER_SCALE;
        glBegin(GL_LINE_STRIP);
        for (const char* p = MARKER_LETTERS[i]; p[0] && p[1]; p += 2)
            glVertex2d(dX + LETTER_SCALE * (p[0] - '0'), dY + LETTER_SCALE * (p[1] - '0'));
        glEnd();
    }
    glLineWidth(1.0f);
}

void CRenderWnd::DrawSlice() {
    if (!TransferFunction())
        return;
    glBegin(GL_POINTS);
    ForEachSlicePoint(Volume(), *TransferFunction(), m_nPlane, m_nSlice, m_nSliceInterpolation,
                      m_nWidth, m_nHeight, GetSliceLook(),
                      [](int x, int y, double r, double g, double b) {
                          glColor3d(r, g, b);
                          glVertex2i(x, y);
                      });
    glEnd();
    double rect[4];
    if (SliceCropOutline(Volume(), m_nPlane, m_nSlice, m_nWidth, m_nHeight, GetSliceLook(),
                         CurrentCropBox(), rect)) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glBegin(GL_LINE_LOOP);
        glVertex2d(rect[0], rect[2]);
        glVertex2d(rect[1], rect[2]);
        glVertex2d(rect[1], rect[3]);
        glVertex2d(rect[0], rect[3]);
        glEnd();
    }
    DrawSliceLetters();
}

void CRenderWnd::DrawSliceLetters() {
    const char* letters[4];
    SliceFit fit;
    if (!SliceEdgeLetters(GetSliceLook(), m_nPlane, letters) ||
        !ComputeSliceFit(Volume(), m_nPlane, m_nWidth, m_nHeight, fit, &GetSliceLook().zoom))
        return;
    // Inside the slice's area, halfway along each edge; the font's letters are
    // at most 9 x 15 pixels.
    const int x0 = std::max(fit.x0, 0), x1 = std::min(fit.x1, m_nWidth - 1);
    const int y0 = std::max(fit.y0, 0), y1 = std::min(fit.y1, m_nHeight - 1);
    const int xMid = (x0 + x1) / 2 - 4, yMid = (y0 + y1) / 2 - 6;
    const int places[4][2] = {{x0 + 4, yMid}, {x1 - 12, yMid}, {xMid, y0 + 4}, {xMid, y1 - 16}};
    glColor3f(1.0f, 0.85f, 0.0f);
    for (int i = 0; i < 4; ++i) {
        glRasterPos2i(places[i][0], places[i][1]);
        glutBitmapCharacter(GLUT_BITMAP_9_BY_15, letters[i][0]);
    }
}

// ---- window messages ----

void CRenderWnd::OnSize(wxSizeEvent& event) {
    event.Skip();
    const wxSize size = event.GetSize();
    ResizeGL(size.GetWidth(), size.GetHeight());
}

int CRenderWnd::SliderDegrees(float fRadians, int nModulo) {
    const double dDegrees = static_cast<double>(fRadians) * 180.0 / kPi;
    if (!std::isfinite(dDegrees))
        return 0;
    // Truncate first, then take the remainder: for every angle a drag can reach
    // this equals the integer remainder of the truncated degrees.
    return static_cast<int>(std::fmod(std::trunc(dDegrees), static_cast<double>(nModulo)));
}

void CRenderWnd::DragTo(int nX, int nY) {
    const int nWidth = m_nWidth;
    const int nHeight = m_nHeight;
    // A client area without width or height turns nothing along that axis.
    const float fDx =
        nWidth != 0 ? static_cast<float>(nX - m_nDragStartX) / static_cast<float>(nWidth) : 0.0f;
    const float fDy =
        nHeight != 0 ? static_cast<float>(nY - m_nDragStartY) / static_cast<float>(nHeight) : 0.0f;
    const float fLongitude =
        static_cast<float>(static_cast<double>(m_fLongitudeAtDrag) - fDx * kPi);
    const float fLatitude = static_cast<float>(static_cast<double>(m_fLatitudeAtDrag) + fDy * kPi);
    SetAngles(fLongitude, fLatitude);
    if (m_pRotationSliders) {
        m_pRotationSliders->SetLongitudePosition(SliderDegrees(fLongitude, 360));
        m_pRotationSliders->SetLatitudePosition(SliderDegrees(fLatitude, 180));
    }
}

void CRenderWnd::OnLButtonDown(wxMouseEvent& event) {
    if (event.ShiftDown()) {
        BeginPan(event.GetX(), event.GetY());
        event.Skip();
        return;
    }
    // A drag takes over from a key turn; the drag's release starts the renderer.
    m_bKeyTurning = false;
    const wxPoint point = event.GetPosition();
    m_nDragStartX = point.x;
    m_nDragStartY = point.y;
    m_fLongitudeAtDrag = m_fLongitude;
    m_fLatitudeAtDrag = m_fLatitude;
    CaptureCanvasMouse();
    BeginInteraction();
    event.Skip();
}

void CRenderWnd::OnMouseMove(wxMouseEvent& event) {
    event.Skip();
    const wxPoint point = event.GetPosition();
    if (m_bRightPressed) {
        DragWindowLevel(point.x, point.y);
        return;
    }
    if (m_bPanning) {
        PanTo(point.x, point.y);
        return;
    }
    if (!IsTurning()) {
        ShowCursorVoxel(point.x, point.y);
        return;
    }
    DragTo(point.x, point.y);
    Repaint();
}

void CRenderWnd::ShowCursorVoxel(int nX, int nY, bool bInside) {
    std::string sStatus;
    int voxel[3];
    if (bInside && m_nRenderMode == RENDER_MODE_SLICING && IsScanShown() &&
        SliceVoxelAt(Volume(), m_nPlane, m_nSlice, m_nWidth, m_nHeight, GetSliceLook(), nX,
                     m_nHeight - 1 - nY, voxel))
        sStatus = DescribeVoxel(*Volume(), voxel[0], voxel[1], voxel[2]);
    if (sStatus == m_sCursorStatus)
        return;
    m_sCursorStatus = sStatus;
    if (m_StatusListener)
        m_StatusListener();
}

void CRenderWnd::OnMouseLeave(wxMouseEvent& event) {
    event.Skip();
    ShowCursorVoxel(0, 0, false);
}

void CRenderWnd::EndDrag(int nX, int nY) {
    DragTo(nX, nY);
    ReleaseCanvasMouse();
    EndInteraction();
}

void CRenderWnd::OnLButtonUp(wxMouseEvent& event) {
    const wxPoint point = event.GetPosition();
    if (m_bPanning) {
        PanTo(point.x, point.y);
        EndPan();
    } else {
        EndDrag(point.x, point.y);
    }
    event.Skip();
}

void CRenderWnd::OnMButtonDown(wxMouseEvent& event) {
    BeginPan(event.GetX(), event.GetY());
    event.Skip();
}

void CRenderWnd::OnMButtonUp(wxMouseEvent& event) {
    if (m_bPanning) {
        PanTo(event.GetX(), event.GetY());
        EndPan();
    }
    event.Skip();
}

void CRenderWnd::BeginPan(int nX, int nY) {
    const int nMode = m_nRenderMode;
    if (m_bPanning || IsTurning() || m_bRightPressed ||
        (nMode != RENDER_MODE_VOLUME && nMode != RENDER_MODE_SLICING))
        return;
    m_bKeyTurning = false;
    m_bPanning = true;
    m_PanStart = wxPoint(nX, nY);
    m_ZoomAtPan = ShownZoom();
    CaptureCanvasMouse();
    if (nMode == RENDER_MODE_VOLUME)
        BeginInteraction();
}

void CRenderWnd::PanTo(int nX, int nY) {
    ZoomPan zoom = m_ZoomAtPan;
    zoom.dPanX += nX - m_PanStart.x;
    zoom.dPanY += nY - m_PanStart.y;
    SetShownZoom(zoom);
}

void CRenderWnd::EndPan() {
    if (!m_bPanning)
        return;
    m_bPanning = false;
    ReleaseCanvasMouse();
    EndInteraction();
    Repaint();
}

ZoomPan CRenderWnd::ShownZoom() const {
    if (m_nRenderMode == RENDER_MODE_SLICING)
        return GetSliceLook().zoom;
    return m_nRenderMode == RENDER_MODE_VOLUME ? GetZoomPan() : ZoomPan();
}

void CRenderWnd::SetShownZoom(const ZoomPan& zoom) {
    if (m_nRenderMode == RENDER_MODE_SLICING) {
        SliceLook look = GetSliceLook();
        look.zoom = zoom;
        look.zoom.dZoom = std::clamp(zoom.dZoom, ZOOM_MIN, ZOOM_MAX);
        SetSliceLook(look);
    } else if (m_nRenderMode == RENDER_MODE_VOLUME) {
        SetZoomPan(zoom);
        Repaint();
    } else {
        return;
    }
    if (m_StatusListener)
        m_StatusListener();
}

void CRenderWnd::ZoomAtPoint(double dFactor, int nX, int nY) {
    // Pixel offsets from the centre: the volume picture's rows count from the
    // top, the slice's from the bottom (client row y is its row H - 1 - y).
    const bool bSlicing = m_nRenderMode == RENDER_MODE_SLICING;
    ZoomAt(dFactor, nX - m_nWidth * 0.5, nY + (bSlicing ? 1.0 : 0.0) - m_nHeight * 0.5);
}

void CRenderWnd::ZoomAt(double dFactor, double dX, double dY) {
    const ZoomPan zoom = ShownZoom();
    SetShownZoom(zoom.ZoomedAt(zoom.dZoom * dFactor, dX, dY));
}

void CRenderWnd::ShowDefaultView() {
    if (IsTurning() || m_bPanning)
        return;
    ResetView();
    if (m_pRotationSliders) {
        m_pRotationSliders->SetLongitudePosition(DEFAULT_LONGITUDE);
        m_pRotationSliders->SetLatitudePosition(DEFAULT_LATITUDE);
    }
    Repaint();
    if (m_StatusListener)
        m_StatusListener();
}

void CRenderWnd::OnCaptureLost(wxMouseCaptureLostEvent&) {
    // Another window took the mouse in mid-drag, so no button-up will come: the
    // drag ends where the last move left the angles (or window and level).
    m_bRightPressed = false;
    m_bPanning = false;
    if (!IsTurning())
        return;
    EndInteraction();
    Repaint();
}

// ---- keys, pictures and the context menu ----

void CRenderWnd::OnCommand(wxCommandEvent& event) {
    const int nCommand = event.GetId();
    if (nCommand == ID_SAVE_PICTURE)
        OnSavePicture();
    else if (m_CommandHandler)
        m_CommandHandler(nCommand);
}

void CRenderWnd::OnKeyDown(wxKeyEvent& event) {
    // An arrow turns the view as a drag in its direction would: to the right
    // lowers the longitude, downwards raises the latitude.
    const bool bSlicing = m_nRenderMode == RENDER_MODE_SLICING;
    switch (event.GetKeyCode()) {
    case WXK_PAGEDOWN:
    case WXK_PAGEUP:
        if (!bSlicing || !IsScanShown())
            break;
        StepSlice(event.GetKeyCode() == WXK_PAGEDOWN ? 1 : -1);
        return;
    case WXK_LEFT:
        TurnByKey(KEY_TURN_DEGREES, 0);
        return;
    case WXK_RIGHT:
        TurnByKey(-KEY_TURN_DEGREES, 0);
        return;
    case WXK_UP:
        TurnByKey(0, -KEY_TURN_DEGREES);
        return;
    case WXK_DOWN:
        TurnByKey(0, KEY_TURN_DEGREES);
        return;
    default:
        break;
    }
    switch (event.GetKeyCode()) {
    case '+':
    case '=':
    case WXK_NUMPAD_ADD:
    case '-':
    case '_':
    case WXK_NUMPAD_SUBTRACT:
        if (m_nRenderMode != RENDER_MODE_NONE) {
            const int nKey = event.GetKeyCode();
            const bool bIn = nKey == '+' || nKey == '=' || nKey == WXK_NUMPAD_ADD;
            if (!m_bPanning)
                ZoomAt(bIn ? ZOOM_STEP : 1.0 / ZOOM_STEP, 0.0, 0.0);
            return;
        }
        break;
    case WXK_HOME:
    case WXK_NUMPAD_HOME:
        if (bSlicing && !m_bPanning)
            SetShownZoom(ZoomPan());
        else if (m_nRenderMode == RENDER_MODE_VOLUME)
            ShowDefaultView();
        else
            break;
        return;
    default:
        break;
    }
    const int nPreset =
        event.GetModifiers() == wxMOD_NONE ? ViewPresetOfKey(event.GetKeyCode()) : -1;
    if (nPreset >= 0 && m_nRenderMode == RENDER_MODE_VOLUME) {
        ShowViewPreset(nPreset);
        return;
    }
    CGLFrame::OnKeyDown(event);
}

void CRenderWnd::ShowViewPreset(int nPreset) {
    if (IsTurning() || nPreset < 0 || nPreset >= VIEW_PRESET_COUNT)
        return;
    SetViewPreset(nPreset);
    if (m_pRotationSliders) {
        m_pRotationSliders->SetLongitudePosition(VIEW_PRESETS[nPreset].nLongitude);
        m_pRotationSliders->SetLatitudePosition(VIEW_PRESETS[nPreset].nLatitude);
    }
    Repaint();
}

void CRenderWnd::StepSlice(int nDelta) {
    if (m_pSliceControls)
        m_pSliceControls->StepSlice(nDelta);
}

void CRenderWnd::OnMouseWheel(wxMouseEvent& event) {
    const bool bSlicing = m_nRenderMode == RENDER_MODE_SLICING;
    const bool bZoom = m_nRenderMode == RENDER_MODE_VOLUME || (bSlicing && event.ControlDown());
    if ((!bZoom && !(bSlicing && IsScanShown())) ||
        event.GetWheelAxis() != wxMOUSE_WHEEL_VERTICAL) {
        event.Skip();
        return;
    }
    // Turned toward the user (a negative rotation) is the next slice, or a
    // step out; a fine wheel steps once its rotation adds up to a whole notch.
    const int nDelta = std::max(event.GetWheelDelta(), 1);
    m_nWheelRotation -= event.GetWheelRotation();
    const int nSteps = m_nWheelRotation / nDelta;
    m_nWheelRotation -= nSteps * nDelta;
    if (nSteps == 0)
        return;
    if (!bZoom)
        StepSlice(nSteps);
    else if (!m_bPanning && !IsTurning())
        ZoomAtPoint(std::pow(ZOOM_STEP, -nSteps), event.GetX(), event.GetY());
}

void CRenderWnd::OnRButtonDown(wxMouseEvent& event) {
    event.Skip();
    if (m_nRenderMode != RENDER_MODE_SLICING || !GetSliceLook().bGreyscale || IsTurning())
        return;
    m_bRightPressed = true;
    m_bWindowLevelDrag = false;
    m_RightStart = event.GetPosition();
    m_LookAtDrag = GetSliceLook();
    CaptureCanvasMouse();
}

void CRenderWnd::DragWindowLevel(int nX, int nY) {
    const int nDx = nX - m_RightStart.x;
    const int nDy = nY - m_RightStart.y;
    if (!m_bWindowLevelDrag && std::abs(nDx) < WINDOW_LEVEL_DRAG_START &&
        std::abs(nDy) < WINDOW_LEVEL_DRAG_START)
        return;
    m_bWindowLevelDrag = true;
    const CVolume* pVolume = Volume();
    if (!pVolume)
        return;
    const double dStep = WINDOW_LEVEL_STEPS_PER_PIXEL * MinimumWindow(pVolume->m_Source);
    SliceLook look = m_LookAtDrag;
    look.dWindow = std::max(m_LookAtDrag.dWindow + nDx * dStep, MinimumWindow(pVolume->m_Source));
    look.dLevel = m_LookAtDrag.dLevel - nDy * dStep; // client y grows downward
    SetSliceLook(look);
    if (m_pSliceControls)
        m_pSliceControls->ShowWindowLevel();
}

void CRenderWnd::OnKeyUp(wxKeyEvent& event) {
    const int nKey = event.GetKeyCode();
    if (nKey == WXK_LEFT || nKey == WXK_RIGHT || nKey == WXK_UP || nKey == WXK_DOWN)
        EndKeyTurn();
    event.Skip();
}

void CRenderWnd::OnKillFocus(wxFocusEvent& event) {
    // No release will come to this window any more.
    EndKeyTurn();
    event.Skip();
}

void CRenderWnd::TurnByKey(int nLongitudeDegrees, int nLatitudeDegrees) {
    if (IsTurning() && !m_bKeyTurning)
        return; // a drag with the mouse is under way
    if (!m_bKeyTurning) {
        BeginInteraction();
        m_bKeyTurning = true;
    }
    // Whole degrees, as the panel's sliders store them.
    const auto degrees = [](float fRadians) {
        return static_cast<int>(std::lround(static_cast<double>(fRadians) * 180.0 / kPi));
    };
    const int nLongitude = degrees(m_fLongitude) + nLongitudeDegrees;
    const int nLatitude = degrees(m_fLatitude) + nLatitudeDegrees;
    // One stop and one start for both (with the picture shown while turning).
    SetAngles(DegreesToRadians(nLongitude), DegreesToRadians(nLatitude));
    if (m_pRotationSliders) {
        m_pRotationSliders->SetLongitudePosition(nLongitude % 360);
        m_pRotationSliders->SetLatitudePosition(nLatitude % 180);
    }
    Repaint();
}

void CRenderWnd::EndKeyTurn() {
    if (!m_bKeyTurning)
        return;
    m_bKeyTurning = false;
    EndInteraction();
}

bool CRenderWnd::IsScanShown() const {
    const CVolume* pVolume = Volume();
    return pVolume && pVolume->m_pVoxels && pVolume->m_Source.IsScan();
}

bool CRenderWnd::HasPicture() const {
    const int nMode = m_nRenderMode;
    const CVolume* pVolume = Volume();
    return (nMode == RENDER_MODE_SLICING || nMode == RENDER_MODE_VOLUME) && pVolume &&
           pVolume->m_pVoxels && TransferFunction() && m_nWidth > 0 && m_nHeight > 0;
}

bool CRenderWnd::TakePicture(RgbImage& picture) {
    if (!HasPicture())
        return false;
    if (m_nRenderMode == RENDER_MODE_SLICING) {
        picture = ComposeSlicePicture(Volume(), *TransferFunction(), m_nPlane, m_nSlice,
                                      m_nSliceInterpolation, m_nWidth, m_nHeight, GetSliceLook());
        return true;
    }
    // The worker holds the front image only while it copies a step into it.
    if (!m_hImageMutex.Lock(1000))
        return false;
    picture = ComposeVolumePicture(*this, m_nWidth, m_nHeight);
    m_hImageMutex.Unlock();
    return true;
}

int CRenderWnd::SavePicture(const wxString& sPath) {
    RgbImage picture;
    const int nError =
        TakePicture(picture) ? WritePngFile(std::string(sPath.fn_str()), picture) : EBUSY;
    if (nError == 0)
        return 0;
    ShowMessageBox(this,
                   wxString::Format(TEXT_PICTURE_SAVE_FAILED, sPath,
                                    wxString::FromUTF8(std::strerror(nError))),
                   TEXT_PICTURE_SAVE_CAPTION, wxOK | wxICON_ERROR);
    return -1;
}

void CRenderWnd::OnSavePicture() {
    if (!HasPicture())
        return;
    const std::string& sDataset = DatasetPath();
    FileRequest request;
    request.eKind = FILE_PICTURE;
    request.bSave = true;
    request.sWildcard = TEXT_PICTURE_FILTER;
    request.sExtension = TEXT_PICTURE_EXTENSION;
    request.sName = wxString::FromUTF8(
        ProposedPictureName(sDataset, m_nRenderMode, m_nVolumeType, m_nPlane, m_nSlice));
    request.sFolder = wxFileName(wxString::FromUTF8(sDataset)).GetPath();
    request.sCaption = TEXT_PICTURE_SAVE_CAPTION;
    wxString sPath;
    if (ChooseFile(this, request, sPath))
        SavePicture(sPath);
}

wxMenu* CRenderWnd::CreateContextMenu() const {
    auto* pMenu = new wxMenu;
    pMenu->Append(ID_SAVE_PICTURE, wxString(TEXT_SAVE_PICTURE) + "\t" + TEXT_KEY_SAVE);
    pMenu->Enable(ID_SAVE_PICTURE, HasPicture());
    return pMenu;
}

void CRenderWnd::OnRButtonUp(wxMouseEvent& event) {
    const bool bDragged = m_bRightPressed && m_bWindowLevelDrag;
    if (m_bRightPressed) {
        m_bRightPressed = false;
        ReleaseCanvasMouse();
    }
    if (bDragged) {
        event.Skip();
        return;
    }
    std::unique_ptr<wxMenu> pMenu(CreateContextMenu());
    // The menu's command reaches this frame through the canvas.
    m_hDC->PopupMenu(pMenu.get(), event.GetPosition());
    event.Skip();
}
