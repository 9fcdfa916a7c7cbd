#include "view/FileChooser.h"

#include <array>
#include <memory>
#include <string>

#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "transfer/EditorGeometry.h"

namespace {

std::array<wxString, FILE_KINDS>& Folders() {
    static std::array<wxString, FILE_KINDS> folders;
    return folders;
}

FileChooser& ChooserSlot() {
    static FileChooser chooser;
    return chooser;
}

bool ShowFileDialog(wxWindow* pOwner, const FileRequest& request, wxString& sPath) {
    std::unique_ptr<wxFileDialog> pDialog(CreateFileDialog(pOwner, request));
    if (pDialog->ShowModal() != wxID_OK)
        return false;
    sPath = pDialog->GetPath();
    return true;
}

} // namespace

wxFileDialog* CreateFileDialog(wxWindow* pOwner, const FileRequest& request) {
    // GTK's dialogs have no read-only check box to hide.
    const long nStyle =
        request.bSave ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    // GTK takes a pattern such as "*.trf" as a name: typed over its "*", the
    // name would end in the extension twice. The filter shows the pattern.
    const wxString sName = request.sName.find_first_of("*?") == wxString::npos ? request.sName : "";
    return new wxFileDialog(pOwner, wxFileSelectorPromptStr, request.sFolder, sName,
                            request.sWildcard, nStyle);
}

bool ChooseFile(wxWindow* pOwner, FileRequest request, wxString& sPath) {
    if (!Folders()[request.eKind].empty())
        request.sFolder = Folders()[request.eKind];
    wxString sChosen;
    const bool bChosen = ChooserSlot() ? ChooserSlot()(pOwner, request, sChosen)
                                       : ShowFileDialog(pOwner, request, sChosen);
    if (!bChosen)
        return false;
    const wxString sCompleted = wxString::FromUTF8(WithDefaultExtension(
        std::string(sChosen.utf8_str()), std::string(request.sExtension.utf8_str())));
    if (request.bSave) {
        // The dialog asked about the name as typed; the default extension may
        // have led to another file that exists.
        if (sCompleted != sChosen && wxFileExists(sCompleted)) {
            const wxString sText = wxString::Format(
                L"\u201c%s\u201d already exists.\nDo you want to replace it?", sCompleted);
            if (wxMessageBox(sText, request.sCaption, wxYES_NO | wxICON_WARNING, pOwner) != wxYES)
                return false;
        }
        sChosen = sCompleted;
    } else if (!wxFileExists(sChosen) && wxFileExists(sCompleted)) {
        sChosen = sCompleted; // a name typed without its extension
    }
    sPath = sChosen;
    Folders()[request.eKind] = wxFileName(sPath).GetPath();
    return true;
}

FileChooser SetFileChooser(FileChooser chooser) {
    FileChooser previous = std::move(ChooserSlot());
    ChooserSlot() = std::move(chooser);
    return previous;
}

void ForgetFileFolders() {
    Folders().fill(wxString());
}
