#include "panels/PanelGui.h"

#include <algorithm>

#include <wx/slider.h>
#include <wx/stattext.h>

#include "panels/DialogLayout.h"
#include "res/Resource.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

bool CChildPanel::CreatePanel(wxWindow* pParent, int nId, int nWidthDlu, int nHeightDlu) {
    // Hidden before it exists, so that it is created hidden (and a panel that
    // cannot be created does not count as shown).
    wxPanel::Show(false);
    if (!pParent)
        return false;
    if (!Create(pParent, nId, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE))
        return false;
    m_bCreated = true;
    // The main dialog's font: dialog units here equal those of the main dialog.
    SetFont(DialogFont());
    SetClientSize(Dlu(nWidthDlu, nHeightDlu));
    return true;
}

bool CChildPanel::Show(bool bShow) {
    if (!m_bCreated)
        return false;
    if (!wxPanel::Show(bShow))
        return false;
    OnShowWindow(bShow);
    return true;
}

void CChildPanel::PlaceBelow(int nTopDlu) {
    if (!m_bCreated)
        return;
    Move(0, GetParent()->ConvertDialogToPixels(wxPoint(0, nTopDlu)).y);
    Refresh();
}

wxPoint CChildPanel::At(int x, int y) const {
    return ConvertDialogToPixels(wxPoint(x, y));
}

wxSize CChildPanel::Dlu(int nWidth, int nHeight) const {
    return ConvertDialogToPixels(wxSize(nWidth, nHeight));
}

wxSlider* CChildPanel::AddSlider(int nId, int x, int y, int w, int h) {
    // A GTK scale draws its trough and knob only when it is at least
    // SLIDER_MIN_HEIGHT pixels high: it keeps the dialog-unit rectangle's left
    // edge, width and centre line and grows evenly up and down.
    const wxPoint position = At(x, y);
    const wxSize size = Dlu(w, h);
    const int nHeight = std::max(size.GetHeight(), SLIDER_MIN_HEIGHT);
    // Created with the platform's default range 0 to 100; the panel's
    // initialisation sets the real one.
    auto* pSlider = new wxSlider(this, nId, 0, 0, 100,
                                 wxPoint(position.x, position.y + (size.GetHeight() - nHeight) / 2),
                                 wxSize(size.GetWidth(), nHeight), wxSL_HORIZONTAL | wxSL_BOTH);
    for (const wxEventTypeTag<wxScrollEvent>& type : SliderEventTypes())
        Bind(type, &CChildPanel::OnHScroll, this, nId);
    return pSlider;
}

wxStaticText* CChildPanel::AddSliderValue(int nId, int y) {
    return new wxStaticText(this, nId, wxEmptyString, At(SLIDER_VALUE_LEFT, y),
                            Dlu(SLIDER_VALUE_WIDTH, 8), wxALIGN_RIGHT | wxST_NO_AUTORESIZE);
}

void CChildPanel::ShowSliderValue(wxStaticText* pValue, const wchar_t* pFormat, int nValue) {
    if (pValue)
        pValue->SetLabel(wxString::Format(pFormat, nValue));
}

void CChildPanel::OnHScroll(wxScrollEvent& event) {
    auto* pSlider = dynamic_cast<wxSlider*>(event.GetEventObject());
    const int32_t* pSetting = pSlider ? SliderSetting(pSlider) : nullptr;
    if (!pSetting)
        return;
    if (!IsSliderLetGo(event.GetEventType())) {
        ApplySlider(pSlider);
        return;
    }
    if (pSlider->GetValue() != *pSetting)
        ApplySlider(pSlider);
    LetGoSlider();
}

const std::array<wxEventTypeTag<wxScrollEvent>, 9>& CChildPanel::SliderEventTypes() {
    static const std::array<wxEventTypeTag<wxScrollEvent>, 9> types = {
        wxEVT_SCROLL_TOP,        wxEVT_SCROLL_BOTTOM,       wxEVT_SCROLL_LINEUP,
        wxEVT_SCROLL_LINEDOWN,   wxEVT_SCROLL_PAGEUP,       wxEVT_SCROLL_PAGEDOWN,
        wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED};
    return types;
}

bool IsSliderLetGo(wxEventType type) {
    return type == wxEVT_SCROLL_THUMBRELEASE || type == wxEVT_SCROLL_CHANGED;
}

int ClampToSlider(const wxSlider* pSlider, int nValue) {
    return std::clamp(nValue, pSlider->GetMin(), pSlider->GetMax());
}

CVolume* LoadedVolume(const CRenderState* pRender) {
    CVolume* pVolume = pRender ? pRender->Volume() : nullptr;
    return pVolume && pVolume->m_pVoxels ? pVolume : nullptr;
}
