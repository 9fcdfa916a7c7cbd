#include "panels/FirstHitDlg.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textdlg.h>

#include "view/MessageBox.h"
#include "res/Resource.h"
#include "view/RenderWnd.h"
#include "transfer/Presets.h"
#include "volume/Volume.h"

CFirstHitDlg::CFirstHitDlg(wxWindow* pParent, CRenderWnd* pRender) : CChildPanel(pRender) {
    if (!CreatePanel(pParent, IDD_FIRSTHIT_DIALOG, FIRSTHIT_DIALOG_WIDTH, FIRSTHIT_DIALOG_HEIGHT)) {
        ShowMessageBox(nullptr, TEXT_FIRSTHIT_DIALOG_FAILED, TEXT_MAIN_CAPTION, wxOK);
        return;
    }
    new wxStaticBox(this, wxID_ANY, TEXT_FIRSTHIT_THRESHOLDS, At(2, 2), Dlu(140, 46));
    // The sliders leave room at their right for their numbers.
    m_sliderUpper = AddSlider(IDC_UPPER_THRESHOLD, 37, 14, SLIDER_VALUE_LEFT - 1 - 37, 12);
    m_sliderLower = AddSlider(IDC_LOWER_THRESHOLD, 37, 30, SLIDER_VALUE_LEFT - 1 - 37, 12);
    new wxStaticText(this, wxID_ANY, TEXT_UPPER, At(10, 16), Dlu(20, 8));
    new wxStaticText(this, wxID_ANY, TEXT_LOWER, At(10, 32), Dlu(20, 8));
    m_staticUpper = AddSliderValue(IDC_UPPER_VALUE, 16);
    m_staticLower = AddSliderValue(IDC_LOWER_VALUE, 32);
    for (bool bUpper : {true, false}) {
        wxStaticText* pValue = bUpper ? m_staticUpper : m_staticLower;
        pValue->SetToolTip(TEXT_THRESHOLD_TIP);
        pValue->Bind(wxEVT_LEFT_DCLICK, [this, bUpper](wxMouseEvent&) { AskThreshold(bUpper); });
    }
    OnInitDialog();
}

CFirstHitDlg::~CFirstHitDlg() = default;

bool CFirstHitDlg::OnInitDialog() {
    m_sliderLower->SetRange(0, 4095);
    m_sliderUpper->SetRange(0, 4095);
    m_nLower = 0;
    m_sliderLower->SetValue(0);
    m_nUpper = 4095;
    m_sliderUpper->SetValue(4095);
    ShowThresholds();
    // The render window learns the thresholds when the panel is first shown.
    return true;
}

const int32_t* CFirstHitDlg::SliderSetting(const wxSlider* pSlider) const {
    if (pSlider == m_sliderUpper)
        return &m_nUpper;
    return pSlider == m_sliderLower ? &m_nLower : nullptr;
}

void CFirstHitDlg::ApplySlider(wxSlider* pSlider) {
    // While the user drags a threshold the render window keeps its last image.
    const bool bUpper = pSlider == m_sliderUpper;
    int32_t& nThreshold = bUpper ? m_nUpper : m_nLower;
    nThreshold = pSlider->GetValue();
    ShowThresholds();
    if (CRenderWnd* pRender = m_pRender) {
        pRender->BeginInteraction(false);
        if (bUpper)
            pRender->SetUpperThreshold(nThreshold);
        else
            pRender->SetLowerThreshold(nThreshold);
    }
}

void CFirstHitDlg::ShowThresholds() {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    for (const auto& [pStatic, nValue] :
         {std::pair{m_staticUpper, m_nUpper}, {m_staticLower, m_nLower}}) {
        if (pVolume && pVolume->m_Source.IsScan() && pStatic)
            pStatic->SetLabel(wxString::FromUTF8(
                ScanValueText(pVolume->m_Source, pVolume->m_Source.ToScan(nValue))));
        else
            ShowSliderValue(pStatic, TEXT_VALUE_FORMAT, nValue);
    }
}

void CFirstHitDlg::AskThreshold(bool bUpper) {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    VolumeSource source; // without a dataset the units are the values
    if (pVolume)
        source = pVolume->m_Source;
    const wxString sPrompt =
        wxString::Format(TEXT_THRESHOLD_PROMPT, bUpper ? TEXT_UPPER : TEXT_LOWER,
                         wxString::FromUTF8(ScanValueText(source, source.ToScan(0))),
                         wxString::FromUTF8(ScanValueText(source, source.ToScan(4095))));
    wxTextEntryDialog dialog(this, sPrompt, TEXT_FIRSTHIT_THRESHOLDS,
                             (bUpper ? m_staticUpper : m_staticLower)->GetLabel());
    if (dialog.ShowModal() == wxID_OK)
        SetThresholdText(bUpper, dialog.GetValue());
}

int CFirstHitDlg::SetThresholdText(bool bUpper, const wxString& sText) {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    double dValue = 0.0;
    if (!sText.Strip(wxString::both).ToCDouble(&dValue) || !std::isfinite(dValue)) {
        ShowMessageBox(this, wxString::Format(TEXT_THRESHOLD_INVALID, sText),
                       TEXT_FIRSTHIT_THRESHOLDS, wxOK | wxICON_ERROR);
        return -1;
    }
    if (pVolume)
        dValue = pVolume->m_Source.FromScan(dValue);
    wxSlider* pSlider = bUpper ? m_sliderUpper : m_sliderLower;
    pSlider->SetValue(static_cast<int>(std::lround(std::clamp(dValue, 0.0, 4095.0))));
    // As a slider step that the user lets go of at once.
    ApplySlider(pSlider);
    LetGoSlider();
    return 0;
}

void CFirstHitDlg::OnDatasetChanged() {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    if (pVolume && pVolume->m_Source.IsScan() && m_sliderLower) {
        m_nLower = OtsuThreshold(pVolume->m_Histogram);
        m_nUpper = 4095;
        m_sliderLower->SetValue(m_nLower);
        m_sliderUpper->SetValue(m_nUpper);
        // A shown panel's values are the render window's.
        if (IsShown() && m_pRender) {
            m_pRender->SetUpperThreshold(m_nUpper);
            m_pRender->SetLowerThreshold(m_nLower);
        }
    }
    ShowThresholds();
}

void CFirstHitDlg::LetGoSlider() {
    if (m_pRender)
        m_pRender->EndInteraction();
}

void CFirstHitDlg::OnShowWindow(bool) {
    m_sliderLower->SetValue(ClampToSlider(m_sliderLower, m_nLower));
    m_sliderUpper->SetValue(ClampToSlider(m_sliderUpper, m_nUpper));
    if (CRenderWnd* pRender = m_pRender) {
        pRender->SetUpperThreshold(m_nUpper);
        pRender->SetLowerThreshold(m_nLower);
        pRender->Repaint();
    }
}
