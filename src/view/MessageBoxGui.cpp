#include "view/MessageBox.h"

#include <wx/msgdlg.h>

namespace {
MessageBoxReporter& Reporter() {
    static MessageBoxReporter reporter;
    return reporter;
}
} // namespace

void ShowMessageBox(wxWindow* pOwner, const wxString& sText, const wxString& sCaption,
                    long nStyle) {
    if (Reporter()) {
        Reporter()(MessageBoxRequest{pOwner, sText, sCaption, nStyle});
        return;
    }
    wxMessageBox(sText, sCaption, nStyle, pOwner);
}

MessageBoxReporter SetMessageBoxReporter(MessageBoxReporter reporter) {
    MessageBoxReporter previous = std::move(Reporter());
    Reporter() = std::move(reporter);
    return previous;
}
