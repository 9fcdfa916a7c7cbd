#include "panels/SlicingDlg.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/textctrl.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "panels/DialogLayout.h"
#include "view/MessageBox.h"
#include "res/Resource.h"
#include "view/RenderWnd.h"
#include "render/SliceView.h"
#include "volume/Volume.h"

CSlicingDlg::CSlicingDlg(wxWindow* pParent, CRenderWnd* pRender) : CChildPanel(pRender) {
    if (!CreatePanel(pParent, IDD_SLICING_DIALOG, SLICING_DIALOG_WIDTH, SLICING_DIALOG_HEIGHT)) {
        ShowMessageBox(nullptr, TEXT_SLICING_DIALOG_FAILED, TEXT_MAIN_CAPTION, wxOK);
        return;
    }
    new wxStaticBox(this, IDC_SLICING_PLANE_GROUP, TEXT_SLICING_PLANE, At(2, 2), Dlu(140, 55));
    m_radioXY = AddDialogRadio(this, IDC_PLANE_XY, TEXT_PLANE_XY, 49, 15, 45, 10, wxRB_GROUP);
    m_sliderSlice = AddSlider(IDC_SLICE_SLIDER, 31, 79, 82, 12);
    m_radioXZ = AddDialogRadio(this, IDC_PLANE_XZ, TEXT_PLANE_XZ, 49, 28, 45, 10);
    m_radioYZ = AddDialogRadio(this, IDC_PLANE_YZ, TEXT_PLANE_YZ, 49, 41, 45, 10);
    m_btnNext =
        new wxButton(this, IDC_NEXT_SLICE, TEXT_NEXT_SLICE, At(113, 80), Dlu(12, 9), wxBU_EXACTFIT);
    m_btnPrev =
        new wxButton(this, IDC_PREV_SLICE, TEXT_PREV_SLICE, At(19, 80), Dlu(12, 9), wxBU_EXACTFIT);
    m_staticSliceNumber =
        new wxStaticText(this, IDC_SLICE_LABEL, TEXT_SLICE_NUMBER_START, At(51, 94), Dlu(42, 8));
    new wxStaticBox(this, IDC_SLICE_NUMBER_GROUP, TEXT_SLICE_NUMBER, At(2, 62), Dlu(140, 47));
    new wxStaticBox(this, IDC_SLICING_INTERPOLATION_GROUP, TEXT_SLICING_INTERPOLATION, At(2, 114),
                    Dlu(140, 45));
    m_radioNearest =
        AddDialogRadio(this, IDC_NEAREST, TEXT_NEAREST_NEIGHBOUR, 32, 130, 75, 10, wxRB_GROUP);
    m_radioBilinear = AddDialogRadio(this, IDC_BILINEAR, TEXT_BILINEAR, 32, 144, 39, 10);
    new wxStaticBox(this, IDC_FIT_GROUP, TEXT_FIT_WINDOW, At(2, 165), Dlu(140, 40));
    new wxButton(this, IDC_FIT_1, TEXT_FIT_1, At(16, 181), Dlu(50, 14));
    new wxButton(this, IDC_FIT_2, TEXT_FIT_2, At(76, 181), Dlu(50, 14));
    new wxStaticBox(this, IDC_SLICE_DISPLAY_GROUP, TEXT_SLICE_DISPLAY, At(2, 210), Dlu(140, 84));
    m_radioGreyscale =
        AddDialogRadio(this, IDC_GREYSCALE, TEXT_GREYSCALE, 10, 222, 120, 10, wxRB_GROUP);
    m_radioColours = AddDialogRadio(this, IDC_TF_COLOURS, TEXT_TF_COLOURS, 10, 234, 120, 10);
    new wxStaticText(this, wxID_ANY, TEXT_WINDOW, At(10, 249), Dlu(26, 8));
    m_textWindow = new wxTextCtrl(this, IDC_WINDOW_VALUE, wxEmptyString, At(36, 246), Dlu(36, 13),
                                  wxTE_PROCESS_ENTER);
    new wxStaticText(this, wxID_ANY, TEXT_LEVEL, At(78, 249), Dlu(20, 8));
    m_textLevel = new wxTextCtrl(this, IDC_LEVEL_VALUE, wxEmptyString, At(100, 246), Dlu(36, 13),
                                 wxTE_PROCESS_ENTER);
    m_choicePreset = new wxChoice(this, IDC_WINDOW_LEVEL_PRESET, At(10, 262), Dlu(126, 13));
    for (const WindowLevelPreset& preset : WINDOW_LEVEL_PRESETS)
        m_choicePreset->Append(
            wxString::Format("%s %g/%g", preset.pName, preset.dWindow, preset.dLevel));
    m_choicePreset->Append(MR_PRESET_NAME);
    // GTK draws a check box no lower than its indicator: the height is its own.
    m_checkNeurological = new wxCheckBox(this, IDC_NEUROLOGICAL, TEXT_NEUROLOGICAL, At(10, 279),
                                         wxSize(Dlu(126, 10).GetWidth(), wxDefaultCoord));

    Bind(wxEVT_BUTTON, &CSlicingDlg::OnPrev, this, IDC_PREV_SLICE);
    Bind(wxEVT_BUTTON, &CSlicingDlg::OnNext, this, IDC_NEXT_SLICE);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnPlaneXY, this, IDC_PLANE_XY);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnPlaneXZ, this, IDC_PLANE_XZ);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnPlaneYZ, this, IDC_PLANE_YZ);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnNearest, this, IDC_NEAREST);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnBilinear, this, IDC_BILINEAR);
    Bind(wxEVT_BUTTON, &CSlicingDlg::OnFit1, this, IDC_FIT_1);
    Bind(wxEVT_BUTTON, &CSlicingDlg::OnFit2, this, IDC_FIT_2);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnGreyscale, this, IDC_GREYSCALE);
    Bind(wxEVT_RADIOBUTTON, &CSlicingDlg::OnColours, this, IDC_TF_COLOURS);
    for (wxTextCtrl* pText : {m_textWindow, m_textLevel}) {
        pText->Bind(wxEVT_TEXT_ENTER, &CSlicingDlg::OnWindowLevelText, this);
        pText->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
            event.Skip();
            wxCommandEvent command;
            OnWindowLevelText(command);
        });
    }
    Bind(wxEVT_CHOICE, &CSlicingDlg::OnPreset, this, IDC_WINDOW_LEVEL_PRESET);
    Bind(wxEVT_CHECKBOX, &CSlicingDlg::OnNeurological, this, IDC_NEUROLOGICAL);
    OnInitDialog();
}

CSlicingDlg::~CSlicingDlg() {
    if (m_pRender)
        m_pRender->SetSliceControls(nullptr);
}

bool CSlicingDlg::OnInitDialog() {
    CRenderWnd* pRender = m_pRender;
    m_radioXY->SetValue(true);
    m_nPlane = SLICING_PLANE_XY;
    if (pRender)
        pRender->SetSlicingPlane(SLICING_PLANE_XY);
    m_radioNearest->SetValue(true);
    if (pRender) {
        pRender->SetSliceInterpolation(0);
        pRender->SetSliceControls(this);
    }
    ShowLook();
    // The slider's range and the label are set when a plane is applied.
    return true;
}

void CSlicingDlg::UpdateSliceLabel() {
    m_staticSliceNumber->SetLabel(wxString::Format(TEXT_SLICE_LABEL_FORMAT, m_nSlice));
}

void CSlicingDlg::SetSliceRange() {
    int nMaximum = 0;
    if (const CVolume* pVolume = LoadedVolume(m_pRender)) {
        switch (m_nPlane) {
        case SLICING_PLANE_XY:
            nMaximum = pVolume->m_nDimZ - 1;
            break;
        case SLICING_PLANE_XZ:
            nMaximum = pVolume->m_nDimY - 1;
            break;
        case SLICING_PLANE_YZ:
            nMaximum = pVolume->m_nDimX - 1;
            break;
        default:
            break;
        }
    }
    m_nSliceMaximum = std::max(nMaximum, 0);
    m_sliderSlice->SetRange(0, std::max(m_nSliceMaximum, 1));
}

bool CSlicingDlg::IsScan() const {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    return pVolume && pVolume->m_Source.IsScan();
}

void CSlicingDlg::SelectPlane(int nPlane) {
    m_nPlane = nPlane;
    SetSliceRange();
    // A scan's plane shows the slice it showed last.
    const bool bKeep = IsScan() && nPlane >= SLICING_PLANE_XY && nPlane <= SLICING_PLANE_YZ;
    GoToSlice(bKeep ? std::clamp(static_cast<int>(m_nPlaneSlice[nPlane]), 0,
                                 static_cast<int>(m_nSliceMaximum))
                    : 0);
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetSlicingPlane(nPlane);
}

void CSlicingDlg::OnDatasetChanged() {
    SetSliceRange();
    const CVolume* pVolume = LoadedVolume(m_pRender);
    if (pVolume && IsScan()) {
        // Every plane starts in the middle of the scan, not in its border.
        for (int nPlane : {SLICING_PLANE_XY, SLICING_PLANE_XZ, SLICING_PLANE_YZ})
            m_nPlaneSlice[nPlane] = MiddleSlice(*pVolume, nPlane);
        GoToSlice(std::clamp(static_cast<int>(m_nPlaneSlice[m_nPlane % 3]), 0,
                             static_cast<int>(m_nSliceMaximum)));
    } else {
        GoToSlice(std::min(static_cast<int>(m_nSlice), static_cast<int>(m_nSliceMaximum)));
    }
    if (pVolume)
        ApplyLook(DefaultSliceLook(*pVolume));
}

void CSlicingDlg::GoToSlice(int nSlice) {
    m_nSlice = nSlice;
    if (m_nPlane >= SLICING_PLANE_XY && m_nPlane <= SLICING_PLANE_YZ)
        m_nPlaneSlice[m_nPlane] = nSlice;
    UpdateSliceLabel();
    m_sliderSlice->SetValue(m_nSlice);
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetSliceNumber(m_nSlice);
}

const int32_t* CSlicingDlg::SliderSetting(const wxSlider* pSlider) const {
    return pSlider == m_sliderSlice ? &m_nSlice : nullptr;
}

void CSlicingDlg::ApplySlider(wxSlider* pSlider) {
    // Letting go changes nothing more: the slice follows every change at once.
    GoToSlice(std::clamp(pSlider->GetValue(), 0, m_nSliceMaximum));
}

void CSlicingDlg::OnPrev(wxCommandEvent&) {
    const int nPosition = m_sliderSlice->GetValue();
    GoToSlice(std::clamp(nPosition - 1, m_sliderSlice->GetMin(), m_nSliceMaximum));
}

void CSlicingDlg::OnNext(wxCommandEvent&) {
    const int nPosition = m_sliderSlice->GetValue();
    GoToSlice(std::clamp(nPosition + 1, m_sliderSlice->GetMin(), m_nSliceMaximum));
}

void CSlicingDlg::OnPlaneXY(wxCommandEvent&) {
    SelectPlane(SLICING_PLANE_XY);
}

void CSlicingDlg::OnPlaneXZ(wxCommandEvent&) {
    SelectPlane(SLICING_PLANE_XZ);
}

void CSlicingDlg::OnPlaneYZ(wxCommandEvent&) {
    SelectPlane(SLICING_PLANE_YZ);
}

void CSlicingDlg::OnShowWindow(bool) {
    if (m_nPlane >= SLICING_PLANE_XY && m_nPlane <= SLICING_PLANE_YZ)
        SelectPlane(m_nPlane);
}

void CSlicingDlg::OnNearest(wxCommandEvent&) {
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetSliceInterpolation(0);
}

void CSlicingDlg::OnBilinear(wxCommandEvent&) {
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetSliceInterpolation(1);
}

void CSlicingDlg::OnFit1(wxCommandEvent&) {
    FitWindow(1.0f);
}

void CSlicingDlg::OnFit2(wxCommandEvent&) {
    FitWindow(2.0f);
}

void CSlicingDlg::FitWindow(float fFactor) {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    CRenderWnd* pRender = m_pRender;
    // One screen pixel per shorter voxel edge of the plane (per voxel when the
    // edges are equal), times the factor.
    float fHorizontal = 0.0f;
    float fVertical = 0.0f;
    if (!pVolume || !pRender || !SlicePlaneExtent(*pVolume, m_nPlane, fHorizontal, fVertical))
        return;
    const int nWidth = static_cast<int>(fHorizontal * fFactor);
    const int nHeight = static_cast<int>(fVertical * fFactor);
    // The frame computes its outer size from the client size it is given and
    // keeps its position; its canvas fills the client area.
    pRender->SetClientSize(nWidth, nHeight);
}

void CSlicingDlg::StepSlice(int nDelta) {
    GoToSlice(
        std::clamp(static_cast<int>(m_nSlice) + nDelta, 0, static_cast<int>(m_nSliceMaximum)));
}

void CSlicingDlg::ShowWindowLevel() {
    ShowLook();
}

void CSlicingDlg::ShowLook() {
    if (!m_pRender)
        return;
    const SliceLook& look = m_pRender->GetSliceLook();
    m_radioGreyscale->SetValue(look.bGreyscale);
    m_radioColours->SetValue(!look.bGreyscale);
    const CVolume* pVolume = LoadedVolume(m_pRender);
    const auto text = [pVolume](double dValue) {
        return pVolume ? wxString::FromUTF8(ScanValueText(pVolume->m_Source, dValue))
                       : wxString::Format("%g", dValue);
    };
    m_textWindow->ChangeValue(text(look.dWindow));
    m_textLevel->ChangeValue(text(look.dLevel));
    // A preset is shown while its numbers are the look's.
    int nPreset = wxNOT_FOUND;
    const int nPresets = static_cast<int>(std::size(WINDOW_LEVEL_PRESETS));
    for (int i = 0; i < nPresets; ++i)
        if (WINDOW_LEVEL_PRESETS[i].dWindow == look.dWindow &&
            WINDOW_LEVEL_PRESETS[i].dLevel == look.dLevel)
            nPreset = i;
    double dWindow = 0.0, dLevel = 0.0;
    if (pVolume && nPreset == wxNOT_FOUND) {
        PercentileWindowLevel(*pVolume, dWindow, dLevel);
        if (dWindow == look.dWindow && dLevel == look.dLevel)
            nPreset = nPresets;
    }
    m_choicePreset->SetSelection(nPreset);
    m_checkNeurological->SetValue(look.bNeurological);
    // Only a scan in the patient frame has a side to show the patient's right on.
    m_checkNeurological->Enable(look.bOriented);
}

void CSlicingDlg::ApplyLook(const SliceLook& look) {
    if (m_pRender)
        m_pRender->SetSliceLook(look);
    ShowLook();
}

void CSlicingDlg::ChangeLook(const std::function<void(SliceLook&)>& change) {
    if (!m_pRender)
        return;
    SliceLook look = m_pRender->GetSliceLook();
    change(look);
    ApplyLook(look);
}

void CSlicingDlg::OnGreyscale(wxCommandEvent&) {
    ChangeLook([](SliceLook& look) { look.bGreyscale = true; });
}

void CSlicingDlg::OnColours(wxCommandEvent&) {
    ChangeLook([](SliceLook& look) { look.bGreyscale = false; });
}

void CSlicingDlg::OnWindowLevelText(wxCommandEvent&) {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    if (!m_pRender || !pVolume)
        return;
    SliceLook look = m_pRender->GetSliceLook();
    double dWindow = 0.0, dLevel = 0.0;
    const bool bValid = m_textWindow->GetValue().Trim().Trim(false).ToCDouble(&dWindow) &&
                        m_textLevel->GetValue().Trim().Trim(false).ToCDouble(&dLevel) &&
                        std::isfinite(dWindow) && std::isfinite(dLevel) && dWindow > 0.0;
    if (!bValid) {
        ShowLook();
        return;
    }
    if (look.bGreyscale && look.dWindow == dWindow && look.dLevel == dLevel)
        return;
    look.bGreyscale = true;
    look.dWindow = std::max(dWindow, MinimumWindow(pVolume->m_Source));
    look.dLevel = dLevel;
    ApplyLook(look);
}

void CSlicingDlg::OnPreset(wxCommandEvent&) {
    const CVolume* pVolume = LoadedVolume(m_pRender);
    const int nPreset = m_choicePreset->GetSelection();
    if (!m_pRender || !pVolume || nPreset == wxNOT_FOUND)
        return;
    SliceLook look = m_pRender->GetSliceLook();
    look.bGreyscale = true;
    if (nPreset < static_cast<int>(std::size(WINDOW_LEVEL_PRESETS))) {
        look.dWindow = WINDOW_LEVEL_PRESETS[nPreset].dWindow;
        look.dLevel = WINDOW_LEVEL_PRESETS[nPreset].dLevel;
    } else {
        PercentileWindowLevel(*pVolume, look.dWindow, look.dLevel);
    }
    ApplyLook(look);
}

void CSlicingDlg::OnNeurological(wxCommandEvent&) {
    const bool bNeurological = m_checkNeurological->GetValue();
    ChangeLook([bNeurological](SliceLook& look) { look.bNeurological = bNeurological; });
}
