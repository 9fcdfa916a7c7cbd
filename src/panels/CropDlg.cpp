#include "panels/CropDlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "panels/DialogLayout.h"
#include "res/Resource.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

CCropDlg::CCropDlg(wxWindow* pParent, CRenderWnd* pRender)
    : wxDialog(pParent, wxID_ANY, TEXT_CROP_CAPTION), m_pRender(pRender) {
    SetFont(DialogFont());
    auto* pGrid = new wxFlexGridSizer(4, wxSize(6, 4));
    for (const wchar_t* pHeading : {L"", TEXT_CROP_FIRST, TEXT_CROP_LAST, L""})
        pGrid->Add(new wxStaticText(this, wxID_ANY, pHeading));
    const wchar_t* const axes[3] = {L"x", L"y", L"z"};
    for (int a = 0; a < 3; ++a) {
        pGrid->Add(new wxStaticText(this, wxID_ANY, axes[a]), 0, wxALIGN_CENTER_VERTICAL);
        for (int i = 0; i < 2; ++i) {
            m_spinLimits[2 * a + i] =
                new wxSpinCtrl(this, IDC_CROP_LIMIT + 2 * a + i, wxEmptyString, wxDefaultPosition,
                               wxDefaultSize, wxSP_ARROW_KEYS, 0, 0, 0);
            pGrid->Add(m_spinLimits[2 * a + i]);
        }
        m_staticMillimetres[a] = new wxStaticText(this, wxID_ANY, wxEmptyString);
        pGrid->Add(m_staticMillimetres[a], 0, wxALIGN_CENTER_VERTICAL);
    }
    auto* pButtons = new wxBoxSizer(wxHORIZONTAL);
    pButtons->Add(new wxButton(this, IDC_CROP_WHOLE, TEXT_WHOLE_VOLUME));
    pButtons->AddStretchSpacer();
    pButtons->Add(new wxButton(this, wxID_CLOSE, TEXT_CLOSE));
    auto* pTop = new wxBoxSizer(wxVERTICAL);
    pTop->Add(pGrid, 0, wxALL, 8);
    pTop->Add(pButtons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    SetSizerAndFit(pTop);
    SetEscapeId(wxID_CLOSE);

    Bind(wxEVT_SPINCTRL, &CCropDlg::OnLimit, this, IDC_CROP_LIMIT, IDC_CROP_LIMIT + 5);
    Bind(wxEVT_BUTTON, &CCropDlg::OnWholeVolume, this, IDC_CROP_WHOLE);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Hide(); }, wxID_CLOSE);
    // Another dataset may have come (with the whole volume) while the dialog
    // stood open: it shows the render window's box again before it is used.
    Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& event) {
        if (event.GetActive())
            ShowBox();
        event.Skip();
    });
}

void CCropDlg::Open() {
    ShowBox();
    Show();
    Raise();
}

void CCropDlg::ShowBox() {
    const CVolume* pVolume = m_pRender ? m_pRender->Volume() : nullptr;
    const int dims[3] = {pVolume ? pVolume->m_nDimX : 1, pVolume ? pVolume->m_nDimY : 1,
                         pVolume ? pVolume->m_nDimZ : 1};
    const CropBox box = m_pRender ? m_pRender->CurrentCropBox().Clamped(dims) : CropBox();
    for (int a = 0; a < 3; ++a) {
        const int limits[2] = {box.nMin[a], box.nMax[a]};
        for (int i = 0; i < 2; ++i) {
            m_spinLimits[2 * a + i]->SetRange(0, std::max(dims[a] - 1, 0));
            m_spinLimits[2 * a + i]->SetValue(limits[i]);
        }
        const double dSpacing = pVolume ? pVolume->m_dSpacing[a] : 1.0;
        m_staticMillimetres[a]->SetLabel(
            wxString::Format(TEXT_CROP_MM_FORMAT, limits[0] * dSpacing, limits[1] * dSpacing));
    }
    Layout();
    GetSizer()->Fit(this);
}

void CCropDlg::OnLimit(wxSpinEvent& event) {
    const int nIndex = event.GetId() - IDC_CROP_LIMIT;
    const int nValue = m_spinLimits[nIndex]->GetValue();
    // The other limit of the axis gives way.
    wxSpinCtrl* pOther = m_spinLimits[nIndex ^ 1];
    if (nIndex % 2 == 0 ? pOther->GetValue() < nValue : pOther->GetValue() > nValue)
        pOther->SetValue(nValue);
    CropBox box;
    for (int a = 0; a < 3; ++a) {
        box.nMin[a] = m_spinLimits[2 * a]->GetValue();
        box.nMax[a] = m_spinLimits[2 * a + 1]->GetValue();
    }
    ApplyBox(box);
}

void CCropDlg::OnWholeVolume(wxCommandEvent&) {
    ApplyBox(CropBox());
}

void CCropDlg::ApplyBox(const CropBox& box) {
    if (m_pRender) {
        m_pRender->SetCropBox(box);
        m_pRender->Repaint();
    }
    ShowBox();
}
