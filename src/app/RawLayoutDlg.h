// The modal dialog "Bare RAW File": asks for the layout of a file that no
// reader recognises (size, voxel type, byte order, header bytes, spacing),
// pre-filled with a layout that explains the file's size where one does, and
// reads the file with it. A layout that does not explain the file, or a field
// that holds none, is reported and the dialog stays open to correct it; Cancel
// reads nothing.
#pragma once

#include <memory>

#include <wx/dialog.h>

#include "volume/Import.h"

class wxChoice;
class wxCommandEvent;
class wxTextCtrl;
class CLoadJob;

class CRawLayoutDlg : public wxDialog {
public:
    // sReason: why no reader took the file at sPath.
    CRawLayoutDlg(wxWindow* pParent, const wxString& sPath, const wxString& sReason);
    ~CRawLayoutDlg() override;

    // After ShowModal has returned wxID_OK: the dataset read with the layout.
    ImportResult TakeResult() { return std::move(m_Result); }

    wxTextCtrl* m_pSize = nullptr; // "X x Y x Z"
    wxChoice* m_pType = nullptr;   // "uint8" ... "float64"
    wxChoice* m_pByteOrder = nullptr;
    wxTextCtrl* m_pHeader = nullptr;
    wxTextCtrl* m_pSpacing = nullptr; // "X, Y, Z"

private:
    // OK reads the file on a thread of its own (the windows stay usable); its
    // end comes in OnReadDone. Cancel also stops a read.
    void OnOk(wxCommandEvent& event);
    void OnReadDone();
    // The layout in the fields; false after a message box about the first
    // field that holds none (which then has the focus).
    bool ReadLayout(RawParameters& raw);

    wxString m_sPath;
    ImportResult m_Result;
    std::unique_ptr<CLoadJob> m_pRead;
};
