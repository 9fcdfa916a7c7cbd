#include "app/RawLayoutDlg.h"

#include <filesystem>
#include <string>
#include <utility>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "app/LoadJob.h"
#include "panels/DialogLayout.h"
#include "view/MessageBox.h"
#include "res/Resource.h"

namespace {

// The voxel types offered, in this order.
const VoxelType kTypes[] = {VoxelType::UInt8,   VoxelType::Int8,   VoxelType::UInt16,
                            VoxelType::Int16,   VoxelType::UInt32, VoxelType::Int32,
                            VoxelType::Float32, VoxelType::Float64};

// A field's text without blanks, "×" read as "x".
std::string Compact(const wxTextCtrl* pField) {
    wxString sText = pField->GetValue();
    sText.Replace(L"\u00d7", "x");
    wxString sCompact;
    for (const wxUniChar c : sText)
        if (!wxIsspace(c))
            sCompact += c;
    return sCompact.ToStdString();
}

} // namespace

CRawLayoutDlg::CRawLayoutDlg(wxWindow* pParent, const wxString& sPath, const wxString& sReason)
    : wxDialog(pParent, wxID_ANY, TEXT_RAW_CAPTION), m_sPath(sPath) {
    SetFont(DialogFont());
    std::error_code error;
    const auto nBytes = std::filesystem::file_size(std::string(sPath.fn_str()), error);
    RawParameters guess;
    const bool bGuessed = !error && GuessRawParameters(static_cast<long long>(nBytes), guess);

    auto* pIntro = new wxStaticText(
        this, wxID_ANY,
        wxString::Format(TEXT_RAW_INTRO, wxFileName(sPath).GetFullName(),
                         error ? wxString("?") : wxString::Format("%llu", 0ULL + nBytes), sReason));
    pIntro->Wrap(ConvertDialogToPixels(wxSize(220, 0)).GetWidth());

    m_pSize = new wxTextCtrl(
        this, wxID_ANY,
        bGuessed ? wxString::Format("%d x %d x %d", guess.nDimX, guess.nDimY, guess.nDimZ)
                 : wxString());
    m_pType = new wxChoice(this, wxID_ANY);
    for (VoxelType eType : kTypes) {
        m_pType->Append(VoxelTypeName(eType));
        if (eType == guess.eType)
            m_pType->SetSelection(static_cast<int>(m_pType->GetCount()) - 1);
    }
    m_pByteOrder = new wxChoice(this, wxID_ANY);
    m_pByteOrder->Append(TEXT_RAW_LITTLE);
    m_pByteOrder->Append(TEXT_RAW_BIG);
    m_pByteOrder->SetSelection(guess.bBigEndian ? 1 : 0);
    m_pHeader = new wxTextCtrl(this, wxID_ANY, wxString::Format("%lld", guess.nHeaderBytes));
    m_pSpacing = new wxTextCtrl(
        this, wxID_ANY,
        wxString::Format("%g, %g, %g", guess.dSpacing[0], guess.dSpacing[1], guess.dSpacing[2]));

    auto* pFields = new wxFlexGridSizer(2, wxSize(8, 6));
    pFields->AddGrowableCol(1);
    const std::pair<const wchar_t*, wxWindow*> rows[] = {{TEXT_RAW_SIZE, m_pSize},
                                                         {TEXT_RAW_TYPE, m_pType},
                                                         {TEXT_RAW_BYTE_ORDER, m_pByteOrder},
                                                         {TEXT_RAW_HEADER, m_pHeader},
                                                         {TEXT_RAW_SPACING, m_pSpacing}};
    for (const auto& [pLabel, pField] : rows) {
        pFields->Add(new wxStaticText(this, wxID_ANY, pLabel), 0, wxALIGN_CENTER_VERTICAL);
        pFields->Add(pField, 1, wxEXPAND);
    }
    auto* pTop = new wxBoxSizer(wxVERTICAL);
    pTop->Add(pIntro, 0, wxALL, 10);
    pTop->Add(pFields, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    pTop->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(pTop);
    CentreOnParent();
    m_pSize->SetFocus();
    Bind(wxEVT_BUTTON, &CRawLayoutDlg::OnOk, this, wxID_OK);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent& event) {
            m_pRead.reset(); // (stopped and waited for)
            event.Skip();
        },
        wxID_CANCEL);
}

bool CRawLayoutDlg::ReadLayout(RawParameters& raw) {
    auto refuse = [this](wxTextCtrl* pField, const wchar_t* pText) {
        ShowMessageBox(this, pText, TEXT_RAW_CAPTION, wxOK | wxICON_ERROR);
        pField->SetFocus();
        pField->SelectAll();
        return false;
    };
    if (!ParseRawSize(Compact(m_pSize), raw))
        return refuse(m_pSize, TEXT_RAW_SIZE_INVALID);
    raw.eType = kTypes[m_pType->GetSelection()];
    raw.bBigEndian = m_pByteOrder->GetSelection() == 1;
    if (!ParseRawHeader(Compact(m_pHeader), raw.nHeaderBytes))
        return refuse(m_pHeader, TEXT_RAW_HEADER_INVALID);
    if (!ParseRawSpacing(Compact(m_pSpacing), raw.dSpacing))
        return refuse(m_pSpacing, TEXT_RAW_SPACING_INVALID);
    return true;
}

CRawLayoutDlg::~CRawLayoutDlg() = default;

void CRawLayoutDlg::OnOk(wxCommandEvent&) {
    RawParameters raw;
    if (m_pRead || !ReadLayout(raw))
        return;
    const std::string sFile(m_sPath.fn_str());
    CLoadJob::Hooks hooks;
    hooks.done = [this] { CallAfter(&CRawLayoutDlg::OnReadDone); };
    m_pRead = std::make_unique<CLoadJob>(
        [sFile, raw](const ImportProgress& progress) {
            return ImportRawVolume(sFile, raw, &progress);
        },
        std::move(hooks));
    FindWindow(wxID_OK)->Disable();
}

void CRawLayoutDlg::OnReadDone() {
    if (!m_pRead)
        return;
    ImportResult result = m_pRead->Take();
    m_pRead.reset();
    FindWindow(wxID_OK)->Enable();
    if (result.eStatus != IMPORT_OK) {
        ShowMessageBox(this,
                       wxString::Format(TEXT_DATASET_LOAD_FAILED, m_sPath,
                                        wxString(result.sReason.c_str(), *wxConvFileName)),
                       TEXT_DATASET_ERROR_CAPTION, wxOK | wxICON_ERROR);
        return;
    }
    m_Result = std::move(result);
    EndModal(wxID_OK);
}
