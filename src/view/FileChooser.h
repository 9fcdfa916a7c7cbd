// The viewer's file dialogs. Each kind of file (datasets, transfer functions,
// pictures) has its own folder, which the dialog opens in once a file of that
// kind has been chosen, for the rest of the session.
#pragma once

#include <functional>

#include <wx/string.h>

class wxFileDialog;
class wxWindow;

enum FileKind { FILE_DATASET = 0, FILE_TRANSFER_FUNCTION, FILE_PICTURE, FILE_KINDS };

struct FileRequest {
    FileKind eKind = FILE_DATASET;
    bool bSave = false;
    wxString sWildcard;
    wxString sExtension; // the default extension, without the dot
    wxString sName;      // the initial file name: a pattern or a proposed name
    // Where the dialog opens before a file of this kind has been chosen (empty:
    // the working directory); ChooseFile puts the remembered folder here.
    wxString sFolder;
    // The caption of the question before a save replaces a file.
    wxString sCaption;
};

// Asks for a file: an open dialog for an existing file, or a save dialog that
// asks before it replaces one. True with the chosen full path. A name chosen
// without extension gets the request's when that file exists (open) or always
// (save, which then asks again before replacing that file). The chosen file's
// folder is remembered for its kind.
bool ChooseFile(wxWindow* pOwner, FileRequest request, wxString& sPath);

// The real dialog for a request (not shown).
wxFileDialog* CreateFileDialog(wxWindow* pOwner, const FileRequest& request);

// Replaces the real dialog (tests): the chooser gets the request with its
// folder resolved and returns true with a path. An empty function restores the
// real dialog. Returns the chooser installed before.
using FileChooser =
    std::function<bool(wxWindow* pOwner, const FileRequest& request, wxString& sPath)>;
FileChooser SetFileChooser(FileChooser chooser);

// Forgets the remembered folders, as at the start of a session.
void ForgetFileFolders();
