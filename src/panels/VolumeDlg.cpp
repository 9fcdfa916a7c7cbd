#include "panels/VolumeDlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "panels/DialogLayout.h"
#include "view/MessageBox.h"
#include "engine/CompositingModes.h"
#include "panels/CropDlg.h"
#include "panels/FirstHitDlg.h"
#include "res/Resource.h"

CVolumeDlg::CVolumeDlg(wxWindow* pParent, CRenderWnd* pRender) : CChildPanel(pRender) {
    if (!CreatePanel(pParent, IDD_VOLUME_DIALOG, VOLUME_DIALOG_WIDTH, VOLUME_DIALOG_HEIGHT)) {
        ShowMessageBox(nullptr, TEXT_VOLUME_DIALOG_FAILED, TEXT_MAIN_CAPTION, wxOK);
        return;
    }
    // The groups below the rotation group's rows of view buttons and of the
    // check box move down by the rows' height.
    constexpr int D = VIEW_ROW_HEIGHT + TURN_ROW_HEIGHT;
    new wxStaticBox(this, wxID_ANY, TEXT_VOLUME_ROTATION, At(2, 2), Dlu(140, 46 + D));
    new wxStaticBox(this, wxID_ANY, TEXT_VOLUME_TYPE, At(2, 52 + D), Dlu(140, 56));
    new wxStaticBox(this, wxID_ANY, TEXT_VOLUME_INTERPOLATION, At(2, 115 + D), Dlu(140, 45));
    // Created in keyboard order, the order of the codes; on screen each stands
    // in its mode's row and column (First Hit between Levoy and X-Ray, MIP and
    // MinIP at the right).
    for (const CompositingMode& mode : COMPOSITING_MODES)
        m_btnTypes[mode.nType] =
            AddDialogRadio(this, VolumeTypeControl(mode.nType), mode.pPanelText,
                           mode.nPanelColumn ? 100 : 45, 64 + D + (mode.nPanelRow * 29 + 1) / 2,
                           mode.nPanelColumn ? 40 : 53, 10, mode.nType == 0 ? wxRB_GROUP : 0);
    // The sliders leave room at their right for their numbers.
    m_sliderLongitude = AddSlider(IDC_LONGITUDE, 49, 14, SLIDER_VALUE_LEFT - 1 - 49, 12);
    m_sliderLatitude = AddSlider(IDC_LATITUDE, 49, 28, SLIDER_VALUE_LEFT - 1 - 49, 12);
    new wxStaticText(this, wxID_ANY, TEXT_LONGITUDE, At(9, 15), Dlu(32, 8));
    new wxStaticText(this, wxID_ANY, TEXT_LATITUDE, At(9, 29), Dlu(26, 8));
    m_staticLongitude = AddSliderValue(IDC_LONGITUDE_VALUE, 15);
    m_staticLatitude = AddSliderValue(IDC_LATITUDE_VALUE, 29);
    new wxStaticText(this, wxID_ANY, TEXT_VIEW, At(9, 50), Dlu(24, 8));
    for (int i = 0; i < VIEW_PRESET_COUNT; ++i) {
        const ViewPreset& preset = VIEW_PRESETS[i];
        m_btnViews[i] = new wxButton(this, IDC_VIEW_PRESET + i, preset.pButtonText,
                                     At(35 + 17 * i, 47), Dlu(17, 13), wxBU_EXACTFIT);
        m_btnViews[i]->SetToolTip(
            wxString::Format(TEXT_VIEW_TIP_FORMAT, wxString::FromUTF8(preset.pName), i + 1));
    }
    m_btnCrop = new wxButton(this, IDC_CROP, TEXT_CROP, At(100, 91 + D), Dlu(38, 13));
    m_checkPictureWhileTurning = new wxCheckBox(
        this, IDC_PICTURE_WHILE_TURNING, TEXT_PICTURE_WHILE_TURNING, At(9, 63), Dlu(130, 10));
    m_btnTrilinear =
        AddDialogRadio(this, IDC_TRILINEAR, TEXT_TRILINEAR, 35, 129 + D, 38, 10, wxRB_GROUP);
    m_btnNearest =
        AddDialogRadio(this, IDC_NEAREST, TEXT_NEAREST_NEIGHBOUR_LOWER, 35, 142 + D, 73, 10);
    m_btnResetView = new wxButton(this, IDC_RESET_VIEW, TEXT_RESET_VIEW, At(84, 127 + D),
                                  Dlu(54, 13), wxBU_EXACTFIT);
    m_btnResetView->SetToolTip(TEXT_RESET_VIEW_TIP);

    for (const CompositingMode& mode : COMPOSITING_MODES)
        Bind(wxEVT_RADIOBUTTON, &CVolumeDlg::OnType, this, VolumeTypeControl(mode.nType));
    Bind(wxEVT_RADIOBUTTON, &CVolumeDlg::OnNearest, this, IDC_NEAREST);
    Bind(wxEVT_RADIOBUTTON, &CVolumeDlg::OnTrilinear, this, IDC_TRILINEAR);
    Bind(wxEVT_BUTTON, &CVolumeDlg::OnCrop, this, IDC_CROP);
    Bind(wxEVT_CHECKBOX, &CVolumeDlg::OnPictureWhileTurning, this, IDC_PICTURE_WHILE_TURNING);
    Bind(wxEVT_BUTTON, &CVolumeDlg::OnViewPreset, this, IDC_VIEW_PRESET,
         IDC_VIEW_PRESET + VIEW_PRESET_COUNT - 1);
    Bind(wxEVT_BUTTON, &CVolumeDlg::OnResetView, this, IDC_RESET_VIEW);
    OnInitDialog();
}

CVolumeDlg::~CVolumeDlg() {
    // The render window outlives the panels: it must not reach this one any more.
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetRotationSliders(nullptr);
    if (m_pFirstHitDlg) {
        if (m_pFirstHitDlg->IsCreated())
            m_pFirstHitDlg->Destroy();
        else
            delete m_pFirstHitDlg;
        m_pFirstHitDlg = nullptr;
    }
}

bool CVolumeDlg::OnInitDialog() {
    CRenderWnd* pRender = m_pRender;
    m_sliderLongitude->SetRange(0, 359);
    m_sliderLatitude->SetRange(0, 179);

    m_nLongitude = DEFAULT_LONGITUDE;
    m_sliderLongitude->SetValue(DEFAULT_LONGITUDE);
    m_nLatitude = DEFAULT_LATITUDE;
    m_sliderLatitude->SetValue(DEFAULT_LATITUDE);
    m_btnTrilinear->SetValue(true);
    m_nInterpolation = 1;
    m_btnTypes[VOLUME_TYPE_LEVOY]->SetValue(true);
    m_nType = VOLUME_TYPE_LEVOY;
    ShowAngles();
    if (pRender) {
        pRender->SetLongitude(DEFAULT_LONGITUDE);
        pRender->SetLatitude(DEFAULT_LATITUDE);
        pRender->SetVolumeInterpolation(1);
        pRender->SetVolumeType(VOLUME_TYPE_LEVOY);
        pRender->SetRotationSliders(this);
    }

    m_pFirstHitDlg = new CFirstHitDlg(this, m_pRender);
    m_pFirstHitDlg->PlaceBelow(FIRSTHIT_PANEL_TOP);
    return true;
}

void CVolumeDlg::ShowAngles() {
    ShowSliderValue(m_staticLongitude, TEXT_DEGREES_FORMAT, m_nLongitude);
    ShowSliderValue(m_staticLatitude, TEXT_DEGREES_FORMAT, m_nLatitude);
}

void CVolumeDlg::ShowFirstHitPanel(bool bShow) {
    if (m_pFirstHitDlg)
        m_pFirstHitDlg->Show(bShow);
}

void CVolumeDlg::SelectType(int nType) {
    m_nType = nType;
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetVolumeType(nType);
    const CompositingMode* pMode = FindCompositingMode(nType);
    ShowFirstHitPanel(pMode && pMode->bThresholds);
}

void CVolumeDlg::SelectInterpolation(int nInterpolation) {
    m_nInterpolation = nInterpolation;
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetVolumeInterpolation(nInterpolation);
}

void CVolumeDlg::OnType(wxCommandEvent& event) {
    for (const CompositingMode& mode : COMPOSITING_MODES)
        if (VolumeTypeControl(mode.nType) == event.GetId())
            SelectType(mode.nType);
}

void CVolumeDlg::OnNearest(wxCommandEvent&) {
    SelectInterpolation(0);
}

void CVolumeDlg::OnTrilinear(wxCommandEvent&) {
    SelectInterpolation(1);
}

void CVolumeDlg::OnViewPreset(wxCommandEvent& event) {
    // The render window moves this panel's sliders, as its keys do.
    if (CRenderWnd* pRender = m_pRender)
        pRender->ShowViewPreset(event.GetId() - IDC_VIEW_PRESET);
}

void CVolumeDlg::OnCrop(wxCommandEvent&) {
    if (!m_pCropDlg) {
        m_pCropDlg = new CCropDlg(this, m_pRender);
        // First below the type group, where it leaves the panel's rotation and
        // type in sight; later where the user left it.
        m_pCropDlg->Move(ClientToScreen(At(2, 115 + VIEW_ROW_HEIGHT + TURN_ROW_HEIGHT)));
    }
    m_pCropDlg->Open();
}

void CVolumeDlg::OnPictureWhileTurning(wxCommandEvent&) {
    if (CRenderWnd* pRender = m_pRender)
        pRender->SetPictureWhileTurning(m_checkPictureWhileTurning->GetValue());
}

void CVolumeDlg::OnResetView(wxCommandEvent&) {
    if (CRenderWnd* pRender = m_pRender)
        pRender->ShowDefaultView();
}

const int32_t* CVolumeDlg::SliderSetting(const wxSlider* pSlider) const {
    if (pSlider == m_sliderLongitude)
        return &m_nLongitude;
    return pSlider == m_sliderLatitude ? &m_nLatitude : nullptr;
}

void CVolumeDlg::ApplySlider(wxSlider* pSlider) {
    const bool bLongitude = pSlider == m_sliderLongitude;
    int32_t& nAngle = bLongitude ? m_nLongitude : m_nLatitude;
    nAngle = pSlider->GetValue();
    ShowAngles();
    if (CRenderWnd* pRender = m_pRender) {
        pRender->BeginInteraction();
        if (bLongitude)
            pRender->SetLongitude(nAngle);
        else
            pRender->SetLatitude(nAngle);
        pRender->Repaint();
    }
}

void CVolumeDlg::LetGoSlider() {
    if (m_pRender)
        m_pRender->EndInteraction();
}

void CVolumeDlg::OnShowWindow(bool) {
    CRenderWnd* pRender = m_pRender;
    if (!pRender)
        return;
    // The renderer restarts only if the sampling or the type differ from the
    // render window's.
    pRender->SetVolumeInterpolation(m_nInterpolation);
    pRender->SetVolumeType(m_nType);
    pRender->SetLongitude(m_nLongitude);
    pRender->SetLatitude(m_nLatitude);
    pRender->Repaint();
}

void CVolumeDlg::SetLongitudePosition(int nDegrees) {
    m_nLongitude = nDegrees;
    if (m_nLongitude < 0) {
        m_nLongitude %= 360;
        if (m_nLongitude < 0)
            m_nLongitude += 360;
    }
    if (m_sliderLongitude)
        m_sliderLongitude->SetValue(ClampToSlider(m_sliderLongitude, m_nLongitude));
    ShowAngles();
}

void CVolumeDlg::SetLatitudePosition(int nDegrees) {
    m_nLatitude = nDegrees;
    if (m_sliderLatitude)
        m_sliderLatitude->SetValue(ClampToSlider(m_sliderLatitude, m_nLatitude));
    ShowAngles();
}
