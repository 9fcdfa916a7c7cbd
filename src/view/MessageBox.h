// Every message box of the viewer goes through ShowMessageBox. The program shows
// a real modal box; tests install a reporter that records the box instead, so
// that a failure path can be driven without a modal loop waiting for a click.
#pragma once

#include <functional>

#include <wx/string.h>

class wxWindow;

// What one message box shows: its owner (may be null), text, caption and wx
// style flags (wxOK, wxICON_ERROR, ...).
struct MessageBoxRequest {
    wxWindow* pOwner;
    wxString sText;
    wxString sCaption;
    long nStyle;
};

using MessageBoxReporter = std::function<void(const MessageBoxRequest&)>;

// Shows the box (or hands it to the installed reporter) on the UI thread.
void ShowMessageBox(wxWindow* pOwner, const wxString& sText, const wxString& sCaption, long nStyle);

// Installs a reporter in place of the real box; an empty function restores the
// real box. Returns the reporter that was installed before.
MessageBoxReporter SetMessageBoxReporter(MessageBoxReporter reporter);
