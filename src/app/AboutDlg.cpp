#include "app/AboutDlg.h"

#include <wx/button.h>
#include <wx/icon.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "panels/DialogLayout.h"
#include "res/Resource.h"
#include "res/orvex.xpm"

wxIcon OrvexIcon() {
    return wxIcon(orvex_xpm);
}

CAboutDlg::CAboutDlg(wxWindow* pParent)
    : wxDialog(pParent, IDD_ABOUTBOX, TEXT_ABOUT_CAPTION, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(DialogFont());
    SetClientSize(ConvertDialogToPixels(wxSize(235, 55)));
    auto at = [this](int x, int y) { return ConvertDialogToPixels(wxPoint(x, y)); };
    auto size = [this](int w, int h) { return ConvertDialogToPixels(wxSize(w, h)); };

    wxIcon icon = OrvexIcon();
    wxBitmap bitmap;
    bitmap.CopyFromIcon(icon);
    new wxStaticBitmap(this, wxID_ANY, bitmap, at(11, 17));
    new wxStaticText(this, wxID_ANY, TEXT_ABOUT_VERSION, at(40, 10), size(119, 8));
    new wxStaticText(this, wxID_ANY, TEXT_ABOUT_LINE2, at(40, 25), size(119, 8));
    auto* pOk = new wxButton(this, IDC_ABOUT_OK, TEXT_OK, at(178, 7), size(50, 14));
    pOk->SetDefault();
    SetAffirmativeId(IDC_ABOUT_OK);
    SetEscapeId(IDC_ABOUT_OK);
    SetIcon(icon);
    CentreOnParent();
}
