// The first-hit panel: the upper and lower thresholds of First Hit compositing.
// It lives inside the volume panel, below its "Volume Interpolation" group, and
// is shown only while First Hit or MinIP (which reads them too) is the selected type.
#pragma once

#include <cstdint>

#include "panels/PanelGui.h"

class wxSlider;
class wxStaticText;

class CFirstHitDlg : public CChildPanel {
public:
    // Creates the panel's window at once, hidden, as a child of pParent. If it
    // cannot be created, the box "Error creating First Hit Dialog" is shown and
    // the object exists without a window.
    CFirstHitDlg(wxWindow* pParent, CRenderWnd* pRender);
    ~CFirstHitDlg() override;

    // Moves the sliders to the stored thresholds and hands both to the render
    // window, whether the panel is being shown or hidden.
    void OnShowWindow(bool bShow) override;
    // A new dataset is current: an imported scan starts with the lower
    // threshold at Otsu's boundary between background and object (so that the
    // first picture is its surface, not the noise around it) and the upper at
    // 4095; a RAW dataset keeps the thresholds. The numbers follow the units.
    void OnDatasetChanged();
    // A threshold typed by the user (a double click on its number asks for it)
    // in the dataset's units: the nearest voxel value, kept inside 0..4095,
    // becomes the threshold, and the picture is computed anew. Text that is no
    // number is reported in a message box and changes nothing; -1.
    int SetThresholdText(bool bUpper, const wxString& sText);

    int32_t m_nUpper = 4095;
    int32_t m_nLower = 0;
    wxSlider* m_sliderUpper = nullptr;
    wxSlider* m_sliderLower = nullptr;
    // The thresholds beside the sliders in the dataset's units, following every
    // change.
    wxStaticText* m_staticUpper = nullptr;
    wxStaticText* m_staticLower = nullptr;

private:
    bool OnInitDialog();
    // Threshold sliders: every change stops the renderer and hands the new
    // threshold to the render window; letting go starts the renderer.
    const int32_t* SliderSetting(const wxSlider* pSlider) const override;
    void ApplySlider(wxSlider* pSlider) override;
    void LetGoSlider() override;
    void ShowThresholds();
    void AskThreshold(bool bUpper);
};
