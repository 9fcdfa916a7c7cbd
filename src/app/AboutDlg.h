// The about box "Info über Orvex": the application icon, the version line, a
// second line and the "OK" button, laid out in dialog units.
#pragma once

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* pParent);
};

// The application icon (also the main dialog's and the render window's).
class wxIcon;
wxIcon OrvexIcon();
