// The slicing panel: the settings of Slicing mode. The slicing plane (XY, XZ,
// YZ), the slice number (slider and "<" / ">" buttons, shown as "Slice # %d"),
// the slice sampling (nearest neighbour or bilinear) and the fit of the render
// window to the slice at one or two screen pixels per voxel, and how the slice
// looks: greys by window and level (numbers and presets) or the transfer
// function's colours, radiological or neurological. Every choice goes to the
// render window at once. On a scan each plane keeps its own slice, starting at
// its middle one; a RAW dataset goes back to slice 0 at every plane choice.
#pragma once

#include <cstdint>
#include <functional>

#include "panels/PanelGui.h"
#include "view/RenderWnd.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxTextCtrl;
class wxRadioButton;
class wxSlider;
class wxStaticText;
class wxCommandEvent;

class CSlicingDlg : public CChildPanel, public CSliceControls {
public:
    // Creates the panel's window at once, hidden, as a child of pParent; its
    // initialisation hands the XY plane and nearest-neighbour sampling to the
    // render window. If the window cannot be created, the box "Error creating
    // Slicing Dialog" is shown and the object exists without a window.
    CSlicingDlg(wxWindow* pParent, CRenderWnd* pRender);
    ~CSlicingDlg() override;

    void OnPrev(wxCommandEvent& event);
    void OnNext(wxCommandEvent& event);
    void OnPlaneXY(wxCommandEvent& event);
    void OnPlaneXZ(wxCommandEvent& event);
    void OnPlaneYZ(wxCommandEvent& event);
    // Applies the current plane again (slice 0), whether the panel is being
    // shown or hidden.
    void OnShowWindow(bool bShow) override;
    void OnNearest(wxCommandEvent& event);
    void OnBilinear(wxCommandEvent& event);
    void OnFit1(wxCommandEvent& event);
    void OnFit2(wxCommandEvent& event);
    void OnGreyscale(wxCommandEvent& event);
    void OnColours(wxCommandEvent& event);
    // A typed window or level (Enter or leaving the field): greys with it; a
    // text that is no number (or no positive window) shows the last value again.
    void OnWindowLevelText(wxCommandEvent& event);
    // A preset: greys with its window and level.
    void OnPreset(wxCommandEvent& event);
    void OnNeurological(wxCommandEvent& event);

    // From the render window: the wheel and the slice keys, and a right-button
    // drag's window and level.
    void StepSlice(int nDelta) override;
    void ShowWindowLevel() override;

    // Writes "Slice # <m_nSlice>" into the slice label.
    void UpdateSliceLabel();
    // Makes nPlane current: the slider's range becomes the plane's slices, the
    // slice goes back to 0, and the render window gets slice 0 and the plane.
    // Without a dataset (none, or one without voxels) the range is the single
    // slice 0.
    void SelectPlane(int nPlane);
    // After a dataset has been loaded: the slider's range becomes the current
    // plane's slices in it; on a scan every plane goes to its middle slice, on
    // a RAW dataset the slice stays where it is when still inside, else it
    // becomes the last one; label, slider and render window follow. The slice
    // display becomes the dataset's default (DefaultSliceLook).
    void OnDatasetChanged();
    // Resizes the render window to a client area of the plane's voxel counts
    // times fFactor (truncated) in each direction. Nothing without a dataset.
    void FitWindow(float fFactor);
    // The highest slice number of the current plane.
    int GetSliceMaximum() const { return m_nSliceMaximum; }

    int32_t m_nSlice = 0;
    wxRadioButton* m_radioNearest = nullptr;
    wxRadioButton* m_radioBilinear = nullptr;
    wxStaticText* m_staticSliceNumber = nullptr;
    wxSlider* m_sliderSlice = nullptr;
    wxRadioButton* m_radioXY = nullptr;
    wxRadioButton* m_radioXZ = nullptr;
    wxRadioButton* m_radioYZ = nullptr;
    wxButton* m_btnNext = nullptr;
    wxButton* m_btnPrev = nullptr;
    int32_t m_nPlane = 0;
    wxRadioButton* m_radioGreyscale = nullptr;
    wxRadioButton* m_radioColours = nullptr;
    wxTextCtrl* m_textWindow = nullptr;
    wxTextCtrl* m_textLevel = nullptr;
    wxChoice* m_choicePreset = nullptr;
    wxCheckBox* m_checkNeurological = nullptr;

private:
    bool OnInitDialog();
    // Slice slider: every change takes the slider's position as the slice.
    const int32_t* SliderSetting(const wxSlider* pSlider) const override;
    void ApplySlider(wxSlider* pSlider) override;
    // Sets m_nSlice, the label, the slider and the render window's slice.
    void GoToSlice(int nSlice);
    // Sets the slider's range to the slices of the current plane (the single
    // slice 0 without a dataset).
    void SetSliceRange();
    // The slice display controls show the render window's look.
    void ShowLook();
    // Gives the render window a new look and shows it; ChangeLook: the render
    // window's look with one change.
    void ApplyLook(const SliceLook& look);
    void ChangeLook(const std::function<void(SliceLook&)>& change);
    // The dataset loaded is a scan (not a RAW dataset).
    bool IsScan() const;

    // The slider's range maximum as set by SelectPlane. wxGTK cannot hold the
    // range 0 to 0 (it makes it 0 to 1), so a plane of one slice keeps its
    // maximum here and the slider is held inside it.
    int32_t m_nSliceMaximum = 100;
    // The slice each plane showed last (scans).
    int32_t m_nPlaneSlice[3] = {0, 0, 0};
};
