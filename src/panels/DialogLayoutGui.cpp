#include "panels/DialogLayout.h"

#include <wx/radiobut.h>

wxFont DialogFont() {
    return wxFont(wxFontInfo(7).Family(wxFONTFAMILY_SWISS));
}

wxRadioButton* AddDialogRadio(wxWindow* pParent, int nId, const wxString& sLabel, int x, int y,
                              int w, int h, long nStyle) {
    auto* pRadio = new wxRadioButton(
        pParent, nId, sLabel, pParent->ConvertDialogToPixels(wxPoint(x, y)), wxDefaultSize, nStyle);
    wxSize size = pParent->ConvertDialogToPixels(wxSize(w, h));
    size.IncTo(pRadio->GetBestSize());
    pRadio->SetSize(size);
    return pRadio;
}
