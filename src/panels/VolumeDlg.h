// The volume panel: the settings of Volume mode. The rotation sliders
// (longitude and latitude in whole degrees) with the buttons of the standard
// views and the choice of the picture or the wire box while turning, the
// compositing type (Levoy, X-Ray,
// First Hit) and the ray sampling (trilinear or nearest neighbour), with the
// first-hit panel for the First Hit thresholds. It keeps its own copy of every
// setting, hands them to the render window through its setters, and its
// rotation sliders follow a drag in the render window. "Crop ..." opens the
// crop box dialog.
#pragma once

#include <array>
#include <cstdint>

#include "engine/CompositingModes.h"
#include "panels/PanelGui.h"
#include "render/Orientation.h"
#include "view/RenderWnd.h"

class wxButton;
class wxCheckBox;
class wxRadioButton;
class wxSlider;
class wxStaticText;
class wxCommandEvent;
class CFirstHitDlg;
class CCropDlg;

class CVolumeDlg : public CChildPanel, public CRotationSliders {
public:
    // Creates the panel's window at once, hidden, as a child of pParent; its
    // initialisation hands the start values to the render window and registers
    // the panel for the render window's drag. If the window cannot be created,
    // the box "Error creating Volume Dialog" is shown and the object exists
    // without a window.
    CVolumeDlg(wxWindow* pParent, CRenderWnd* pRender);
    // Destroys the first-hit panel and leaves the render window's drag.
    ~CVolumeDlg() override;

    // A compositing type radio.
    void OnType(wxCommandEvent& event);
    void OnNearest(wxCommandEvent& event);
    void OnTrilinear(wxCommandEvent& event);
    // A view button: the render window shows that view and moves the sliders.
    void OnViewPreset(wxCommandEvent& event);
    // "Crop ...": opens the crop box dialog (made on first use).
    void OnCrop(wxCommandEvent& event);
    // "Show the picture while turning": handed to the render window, which
    // applies it from the next turn on.
    void OnPictureWhileTurning(wxCommandEvent& event);
    // "Reset View": the render window returns to the default camera and moves
    // the sliders (as its Home key does).
    void OnResetView(wxCommandEvent& event);
    // Hands the sampling, the type and both angles to the render window again,
    // whether the panel is being shown or hidden, and repaints it.
    void OnShowWindow(bool bShow) override;

    // Called by the render window during a drag; they move the sliders only.
    // A negative longitude is brought into 0 to 359; the latitude is stored as
    // it comes and the slider shows it clamped to 0 to 179.
    void SetLongitudePosition(int nDegrees) override;
    void SetLatitudePosition(int nDegrees) override;

    int32_t m_nType = VOLUME_TYPE_LEVOY;
    int32_t m_nLatitude = 90;
    int32_t m_nLongitude = 0;
    int32_t m_nInterpolation = 1;
    wxSlider* m_sliderLongitude = nullptr;
    wxSlider* m_sliderLatitude = nullptr;
    // The angles in degrees beside the sliders: the panel's own values, which
    // follow every slider change and every drag in the render window.
    wxStaticText* m_staticLongitude = nullptr;
    wxStaticText* m_staticLatitude = nullptr;
    // The view buttons, by view preset (render/Orientation.h).
    std::array<wxButton*, VIEW_PRESET_COUNT> m_btnViews{};
    wxCheckBox* m_checkPictureWhileTurning = nullptr; // off: the wire box only
    wxButton* m_btnResetView = nullptr;
    wxRadioButton* m_btnTrilinear = nullptr;
    wxRadioButton* m_btnNearest = nullptr;
    // The compositing type radios, by type code.
    std::array<wxRadioButton*, COMPOSITING_MODE_COUNT> m_btnTypes{};
    CFirstHitDlg* m_pFirstHitDlg = nullptr;
    wxButton* m_btnCrop = nullptr;
    CCropDlg* m_pCropDlg = nullptr;

private:
    bool OnInitDialog();
    // The type radios: the type goes to the render window, and the first-hit
    // panel shows only for the modes that read the thresholds (First Hit, MinIP).
    void SelectType(int nType);
    void SelectInterpolation(int nInterpolation);
    // Rotation sliders: every change shows the wire box in the new orientation
    // (interaction flag set, renderer stopped, angle handed over, repaint);
    // letting go clears the flag and starts the renderer.
    const int32_t* SliderSetting(const wxSlider* pSlider) const override;
    void ApplySlider(wxSlider* pSlider) override;
    void LetGoSlider() override;
    void ShowFirstHitPanel(bool bShow);
    void ShowAngles();
};
