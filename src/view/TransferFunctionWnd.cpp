#include "view/TransferFunctionWnd.h"

#include <memory>
#include <string>
#include <vector>

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/glcanvas.h>
#include <wx/menu.h>

#include "view/FileChooser.h"
#include "view/MessageBox.h"
#include "res/Resource.h"
#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"
#include "render/DatasetPresets.h"
#include "render/RenderState.h"
#include "volume/Volume.h"

namespace {

// A table colour (0..255) as the byte the colour dialog starts from: truncated,
// and kept inside the byte range for values a loaded file may carry.
unsigned char ToByte(float fValue) {
    if (!(fValue > 0.0f))
        return 0;
    if (fValue >= 255.0f)
        return 255;
    return static_cast<unsigned char>(static_cast<int>(fValue));
}

bool ShowColourDialog(wxWindow* pOwner, const wxColour& initial, wxColour& chosen) {
    wxColourData data = CTransferFunctionWnd::MakeColourData(initial);
    wxColourDialog dialog(pOwner, &data);
    if (dialog.ShowModal() != wxID_OK)
        return false;
    chosen = dialog.GetColourData().GetColour();
    return true;
}

// The request of "Load ..." and "Save ...".
FileRequest TransferFunctionFiles(bool bSave) {
    FileRequest request;
    request.eKind = FILE_TRANSFER_FUNCTION;
    request.bSave = bSave;
    request.sWildcard = TEXT_TRF_FILTER;
    request.sExtension = TEXT_TRF_EXTENSION;
    request.sName = TEXT_TRF_INITIAL_NAME;
    request.sCaption = TEXT_TRF_SAVE_CAPTION;
    return request;
}

CTransferFunctionWnd::ColourChooser& ColourChooserSlot() {
    static CTransferFunctionWnd::ColourChooser chooser;
    return chooser;
}

bool ChooseColour(wxWindow* pOwner, const wxColour& initial, wxColour& chosen) {
    if (ColourChooserSlot())
        return ColourChooserSlot()(pOwner, initial, chosen);
    return ShowColourDialog(pOwner, initial, chosen);
}

const unsigned char* Bytes(const std::string& sText) {
    return reinterpret_cast<const unsigned char*>(sText.c_str());
}

int TextWidth(const std::string& sText) {
    return glutBitmapLength(GLUT_BITMAP_HELVETICA_10, Bytes(sText));
}

} // namespace

CTransferFunctionWnd::CTransferFunctionWnd(CRenderState* pRender, const PixelFormatRequest& request)
    // The same frame style as the render window.
    : CGLFrame(TEXT_EDITOR_TITLE, wxPoint(322, 575), wxSize(700, 211)), m_pRender(pRender) {
    OnCreate(request);
}

CTransferFunctionWnd::~CTransferFunctionWnd() {
    if (m_DestroyListener)
        m_DestroyListener();
}

int CTransferFunctionWnd::OnCreate(const PixelFormatRequest& request) {
    if (!CreateCanvas(request))
        return -1;

    auto* pMenu = new wxMenu;
    // The items keep their labels; the accelerators stand after a tab.
    pMenu->Append(MenuItemId(ID_TRANSFERFUNCTION_LOAD),
                  wxString(TEXT_EDITOR_LOAD) + "\t" + TEXT_KEY_OPEN);
    pMenu->Append(MenuItemId(ID_TRANSFERFUNCTION_SAVE),
                  wxString(TEXT_EDITOR_SAVE) + "\t" + TEXT_KEY_SAVE);
    pMenu->AppendSeparator();
    auto* pPresets = new wxMenu;
    for (const TransferPresetName& preset : TRANSFER_PRESETS)
        pPresets->Append(MenuItemId(ID_TRANSFERFUNCTION_PRESET + preset.ePreset),
                         wxString::FromUTF8(preset.pName));
    pMenu->AppendSubMenu(pPresets, TEXT_EDITOR_PRESETS);
    m_Menu = new wxMenuBar;
    m_Menu->Append(pMenu, TEXT_EDITOR_MENU);
    SetMenuBarOnceShown(m_Menu);

    if (!CreateContext())
        return -1;
    const wxSize client = m_hDC->GetClientSize();
    m_nWidth = client.GetWidth();
    m_nHeight = client.GetHeight();
    Bind(wxEVT_MENU, &CTransferFunctionWnd::OnLoad, this, MenuItemId(ID_TRANSFERFUNCTION_LOAD));
    Bind(wxEVT_MENU, &CTransferFunctionWnd::OnSave, this, MenuItemId(ID_TRANSFERFUNCTION_SAVE));
    const int nFirstPreset = MenuItemId(ID_TRANSFERFUNCTION_PRESET);
    Bind(
        wxEVT_MENU,
        [this, nFirstPreset](wxCommandEvent& event) { ApplyPreset(event.GetId() - nFirstPreset); },
        nFirstPreset, nFirstPreset + PRESET_COUNT - 1);
    // A preset needs a dataset to fit.
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& event) { event.Enable(m_pRender && LoadedVolume()); }, nFirstPreset,
        nFirstPreset + PRESET_COUNT - 1);
    m_hDC->Bind(wxEVT_LEAVE_WINDOW, &CTransferFunctionWnd::OnMouseLeave, this);
    return 0;
}

CTransferFunctionWnd::ColourChooser CTransferFunctionWnd::SetColourChooser(ColourChooser chooser) {
    ColourChooser previous = std::move(ColourChooserSlot());
    ColourChooserSlot() = std::move(chooser);
    return previous;
}

wxFileDialog* CTransferFunctionWnd::CreateFileDialog(wxWindow* pOwner, bool bSave) {
    return ::CreateFileDialog(pOwner, TransferFunctionFiles(bSave));
}

wxColourData CTransferFunctionWnd::MakeColourData(const wxColour& initial) {
    wxColourData data;
    data.SetChooseFull(true);
    data.SetChooseAlpha(false);
    data.SetColour(initial);
    return data;
}

const CVolume* CTransferFunctionWnd::LoadedVolume() const {
    const CVolume* pVolume = m_pRender ? m_pRender->Volume() : nullptr;
    return pVolume && pVolume->m_pVoxels ? pVolume : nullptr;
}

CTransferFunction* CTransferFunctionWnd::TransferFunction() const {
    return m_pRender ? m_pRender->TransferFunction() : nullptr;
}

int CTransferFunctionWnd::RenderMode() const {
    if (m_pRender)
        return m_pRender->GetRenderMode();
    return RENDER_MODE_NONE;
}

// ---- OpenGL ----

void CTransferFunctionWnd::InitGL() {
    InitGLState(static_cast<float>(m_ClearColor[0]), static_cast<float>(m_ClearColor[1]),
                static_cast<float>(m_ClearColor[2]));
}

void CTransferFunctionWnd::ApplyProjection() {
    // m_nHeight keeps the unadjusted height; only the projection counts 0 as 1.
    SetPixelProjection(m_nWidth, m_nHeight);
}

void CTransferFunctionWnd::DrawScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const int nMode = RenderMode();
    DrawHistogram(nMode);
    DrawTransferFunction(nMode);
    DrawScanValues();
}

void CTransferFunctionWnd::DrawScanValues() {
    // A RAW dataset's editor stays as it always was.
    const CVolume* pVolume = LoadedVolume();
    if (!pVolume || !pVolume->m_Source.IsScan())
        return;
    const VolumeSource& source = pVolume->m_Source;
    auto text = [](int x, int y, const std::string& sText) {
        glRasterPos2i(x, y);
        glutBitmapString(GLUT_BITMAP_HELVETICA_10, Bytes(sText));
    };
    glColor3f(0.25f, 0.25f, 0.25f);
    const std::vector<AxisTick> ticks =
        ComputeAxisTicks(source.dScanOffset, source.dScanScale, m_nWidth);
    glBegin(GL_LINES);
    for (const AxisTick& tick : ticks) {
        glVertex2i(tick.x, m_nHeight);
        glVertex2i(tick.x, m_nHeight - AXIS_TICK_LENGTH);
    }
    glEnd();
    for (const AxisTick& tick : ticks) {
        // A label that would not fit at the right edge is left out.
        const std::string sLabel = ScanValueText(source, tick.dValue);
        if (tick.x + 2 + TextWidth(sLabel) < m_nWidth)
            text(tick.x + 2, m_nHeight - AXIS_LABEL_DROP, sLabel);
    }
    if (m_nMouseX >= 0) {
        const std::string sValue =
            ScanValueText(source, source.ToScan(MouseValue(m_nMouseX, m_nWidth)));
        text(m_nWidth - MOUSE_VALUE_LEFT, m_nHeight - 2 * AXIS_LABEL_DROP, sValue);
    }
}

void CTransferFunctionWnd::DrawHistogram(int nMode) {
    const CVolume* pVolume = m_pRender ? m_pRender->Volume() : nullptr;
    if (!pVolume)
        return;
    std::vector<HistogramLine> lines;
    if (!ComputeHistogramLines(pVolume->m_Histogram, pVolume->m_nHistogramPeak,
                               nMode == RENDER_MODE_SLICING, m_nWidth, m_nHeight, lines))
        return;
    glColor3dv(m_HistogramColor);
    glBegin(GL_LINES);
    for (const HistogramLine& line : lines) {
        glVertex2i(line.x, line.yBottom);
        glVertex2i(line.x, line.yTop);
    }
    glEnd();
}

void CTransferFunctionWnd::DrawTransferFunction(int nMode) {
    const CTransferFunction* pTf = TransferFunction();
    if (!pTf)
        return;
    if (nMode == RENDER_MODE_SLICING) {
        // The colour bar along the bottom, blending from point to point.
        glBegin(GL_QUAD_STRIP);
        for (const ControlPoint* p = pTf->GetFirstPoint(); p; p = p->next) {
            const int x = ValueToPixelX(p->position, m_nWidth);
            glColor3f(p->red, p->green, p->blue);
            glVertex2i(x, 0);
            glVertex2i(x, COLOUR_BAR_TOP);
        }
        glEnd();
        // A marker above the bar for each inner point.
        glBegin(GL_TRIANGLES);
        for (const ControlPoint* p = pTf->GetFirstPoint(); p; p = p->next) {
            if (!HasMarker(p->position))
                continue;
            const MarkerTriangle m = ComputeMarker(p->position, m_nWidth);
            glColor3f(p->red, p->green, p->blue);
            glVertex2i(m.tipX, m.tipY);
            glVertex2i(m.rightX, m.rightY);
            glVertex2i(m.leftX, m.leftY);
        }
        glEnd();
        return;
    }
    // Volume mode and the initial mode: the opacity curve and its points.
    glBegin(GL_LINE_STRIP);
    for (const ControlPoint* p = pTf->GetFirstPoint(); p; p = p->next) {
        glColor3f(p->red, p->green, p->blue);
        glVertex2i(ValueToPixelX(p->position, m_nWidth), OpacityToPixelY(p->opacity, m_nHeight));
    }
    glEnd();
    glPointSize(5.0f);
    glBegin(GL_POINTS);
    for (const ControlPoint* p = pTf->GetFirstPoint(); p; p = p->next) {
        glColor3f(p->red, p->green, p->blue);
        glVertex2i(ValueToPixelX(p->position, m_nWidth), OpacityToPixelY(p->opacity, m_nHeight));
    }
    glEnd();
}

// ---- window messages ----

void CTransferFunctionWnd::OnSize(wxSizeEvent& event) {
    event.Skip();
    const wxSize size = event.GetSize();
    m_nWidth = size.GetWidth();
    m_nHeight = size.GetHeight();
    // Before the canvas is on screen the projection waits for the first
    // MakeCurrent, which applies the size stored here.
    if (MakeCurrent())
        ApplyProjection();
}

void CTransferFunctionWnd::ForgetPickedIfGone() {
    const CTransferFunction* pTf = TransferFunction();
    for (const ControlPoint* p = pTf ? pTf->GetFirstPoint() : nullptr; p; p = p->next) {
        if (p == m_pPicked)
            return;
    }
    m_pPicked = nullptr;
}

void CTransferFunctionWnd::OnLButtonDown(wxMouseEvent& event) {
    const wxPoint point = event.GetPosition();
    CaptureCanvasMouse();
    const CTransferFunction* pTf = TransferFunction();
    m_pPicked = FindNearestPoint(pTf ? pTf->GetFirstPoint() : nullptr, point.x, point.y, m_nWidth,
                                 m_nHeight);
    m_nPressX = point.x;
    m_nPressY = point.y;
    m_bPressSeen = true;
    m_bDragging = true;
    event.Skip();
}

void CTransferFunctionWnd::OnMouseMove(wxMouseEvent& event) {
    event.Skip();
    const wxPoint point = event.GetPosition();
    if (!m_bDragging) {
        // A scan's value under the mouse follows it.
        const CVolume* pVolume = LoadedVolume();
        if (pVolume && pVolume->m_Source.IsScan()) {
            m_nMouseX = point.x;
            Repaint();
        }
        return;
    }
    m_nMouseX = point.x;
    CTransferFunction* pTf = TransferFunction();
    if (pTf && m_pPicked) {
        // MovePoint clamps the opacity, keeps the point between its neighbours
        // and leaves the end points alone. The table waits for the release.
        pTf->MovePoint(m_pPicked, PixelToValue(point.x, m_nWidth),
                       PixelToOpacity(point.y, m_nHeight));
        Changed(-1);
    }
    Repaint();
}

void CTransferFunctionWnd::OnMouseLeave(wxMouseEvent& event) {
    event.Skip();
    if (m_nMouseX < 0 || m_bDragging)
        return;
    m_nMouseX = -1;
    Repaint();
}

void CTransferFunctionWnd::Changed(int nPreset) {
    if (m_ChangeListener)
        m_ChangeListener(nPreset);
}

void CTransferFunctionWnd::Click(int x, int y) {
    CTransferFunction* pTf = TransferFunction();
    if (!pTf)
        return;
    const int16_t nValue = PixelToValue(x, m_nWidth);
    const TableEntry& entry = pTf->Lookup(nValue);
    const wxColour initial(ToByte(entry.red), ToByte(entry.green), ToByte(entry.blue));
    wxColour chosen;
    if (!ChooseColour(this, initial, chosen))
        return;
    pTf->SetPoint(nValue, chosen.Red() / 255.0f, chosen.Green() / 255.0f, chosen.Blue() / 255.0f,
                  PixelToOpacity(y, m_nHeight));
    pTf->BuildTable();
    Changed(-1);
    Repaint();
}

void CTransferFunctionWnd::OnLButtonUp(wxMouseEvent& event) {
    const wxPoint point = event.GetPosition();
    const bool bWasDragging = m_bDragging;
    // The press ends before a colour dialog opens: the modal dialog must get the
    // mouse, and no drag step may run while it is open.
    if (bWasDragging) {
        ReleaseCanvasMouse();
        m_bDragging = false;
    }
    if (m_bPressSeen && point.x == m_nPressX && point.y == m_nPressY)
        Click(point.x, point.y);
    if (bWasDragging) {
        if (CTransferFunction* pTf = TransferFunction())
            pTf->BuildTable();
    }
    event.Skip();
}

void CTransferFunctionWnd::OnRButtonUp(wxMouseEvent& event) {
    const wxPoint point = event.GetPosition();
    if (CTransferFunction* pTf = TransferFunction()) {
        // RemovePoint refuses the end points; the table is rebuilt either way.
        if (ControlPoint* p =
                FindNearestPoint(pTf->GetFirstPoint(), point.x, point.y, m_nWidth, m_nHeight)) {
            pTf->RemovePoint(p);
            Changed(-1);
        }
        ForgetPickedIfGone();
        pTf->BuildTable();
        Repaint();
    }
    event.Skip();
}

void CTransferFunctionWnd::OnCaptureLost(wxMouseCaptureLostEvent&) {
    // Another window took the mouse in mid-press, so no button-up will come: the
    // drag ends where the last move left the point, and the table follows.
    if (!m_bDragging)
        return;
    m_bDragging = false;
    if (CTransferFunction* pTf = TransferFunction())
        pTf->BuildTable();
}

// ---- menu ----

void CTransferFunctionWnd::OnLoad(wxCommandEvent&) {
    wxString sPath;
    if (!ChooseFile(this, TransferFunctionFiles(false), sPath))
        return;
    LoadFile(sPath);
}

void CTransferFunctionWnd::OnSave(wxCommandEvent&) {
    wxString sPath;
    if (!ChooseFile(this, TransferFunctionFiles(true), sPath))
        return;
    SaveFile(sPath);
}

int CTransferFunctionWnd::LoadFile(const wxString& sPath) {
    CTransferFunction* pTf = TransferFunction();
    const int nResult = pTf ? pTf->Load(std::string(sPath.fn_str())) : -1;
    // A load replaces every point: a press in progress has nothing left to drag
    // (a new point may even sit at the old one's address).
    if (nResult == 0) {
        m_pPicked = nullptr;
        Changed(-1);
    }
    Repaint();
    if (nResult != 0) {
        ShowMessageBox(this, wxString::Format(TEXT_TRF_LOAD_FAILED, sPath), TEXT_TRF_LOAD_CAPTION,
                       wxOK | wxICON_ERROR);
        return -1;
    }
    return 0;
}

int CTransferFunctionWnd::ApplyPreset(int nPreset) {
    CTransferFunction* pTf = TransferFunction();
    const CVolume* pVolume = LoadedVolume();
    if (!pTf || !pVolume || nPreset < 0 || nPreset >= PRESET_COUNT ||
        ::ApplyPreset(static_cast<TransferPreset>(nPreset), PresetDataOf(*pVolume), *pTf) != 0)
        return -1;
    OnPointsReplaced();
    Changed(nPreset);
    return 0;
}

void CTransferFunctionWnd::OnPointsReplaced() {
    m_pPicked = nullptr;
    Repaint();
}

int CTransferFunctionWnd::SaveFile(const wxString& sPath) {
    const CTransferFunction* pTf = TransferFunction();
    const int nResult = pTf ? pTf->Save(std::string(sPath.fn_str())) : -1;
    if (nResult != 0) {
        ShowMessageBox(this, wxString::Format(TEXT_TRF_SAVE_FAILED, sPath), TEXT_TRF_SAVE_CAPTION,
                       wxOK | wxICON_ERROR);
        return -1;
    }
    return 0;
}
