// The dialog-unit layout shared by the main dialog, the about box and the
// child panels. The templates were made for 8 pt MS Sans Serif; a 7 pt
// sans-serif font has its metrics (144 units across are 216 pixels), so the
// main dialog ends where the render window begins.
#pragma once

#include <wx/font.h>
#include <wx/string.h>

class wxRadioButton;
class wxWindow;

// The font every dialog and panel of the viewer lays out its units in.
wxFont DialogFont();

// An automatic radio button at a rectangle in pParent's dialog units. GTK draws
// a radio button no smaller than its indicator and label (and complains while
// it lays out a smaller one): the button keeps its top-left and gets at least
// the size it needs.
wxRadioButton* AddDialogRadio(wxWindow* pParent, int nId, const wxString& sLabel, int x, int y,
                              int w, int h, long nStyle = 0);
