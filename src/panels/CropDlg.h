// The crop box dialog, opened from the volume panel's "Crop ..." button: the
// six limits of the crop box (first and last voxel along x, y and z), each in
// voxels with its position in millimetres (index times voxel size) beside it,
// and "Whole Volume" to show everything again. Modeless: every change goes to
// the render window at once, which renders the box and draws it as the wire
// box.
#pragma once

#include <array>

#include <wx/dialog.h>

#include "engine/RunSettings.h"

class wxSpinCtrl;
class wxSpinEvent;
class wxStaticText;
class CRenderWnd;

class CCropDlg : public wxDialog {
public:
    CCropDlg(wxWindow* pParent, CRenderWnd* pRender);

    // Shows the dialog with the render window's box in the current dataset's
    // voxels.
    void Open();
    // Takes the limits from the render window's box and dataset again.
    void ShowBox();
    // A limit changed: a minimum past its maximum takes the maximum along (and
    // the other way round), and the box goes to the render window.
    void OnLimit(wxSpinEvent& event);
    void OnWholeVolume(wxCommandEvent& event);

    // The limits x min, x max, y min, y max, z min, z max.
    std::array<wxSpinCtrl*, 6> m_spinLimits{};
    // The limits in millimetres, per axis.
    std::array<wxStaticText*, 3> m_staticMillimetres{};

private:
    void ApplyBox(const CropBox& box);
    CRenderWnd* m_pRender;
};
