#include "app/MainDlg.h"

#include <memory>
#include <string>
#include <utility>

#include <gtk/gtk.h>
#include <wx/accel.h>
#include <wx/button.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "app/AboutDlg.h"
#include "app/LoadJob.h"
#include "panels/DialogLayout.h"
#include "view/FileChooser.h"
#include "view/MessageBox.h"
#include "app/RawLayoutDlg.h"
#include "engine/ShadeCache.h"
#include "render/Status.h"
#include "app/ViewerApp.h"
#include "panels/SlicingDlg.h"
#include "panels/FirstHitDlg.h"
#include "panels/VolumeDlg.h"
#include "render/DatasetPresets.h"
#include "res/Resource.h"
#include "view/TransferFunctionWnd.h"
#include "view/GLFrame.h"
#include "view/RenderWnd.h"
#include "volume/Import.h"
#include "volume/Volume.h"

CMainDlg::CMainDlg(wxWindow* pParent, CViewerApp* pApp)
    : wxDialog(pParent, IDD_MAIN_DIALOG, TEXT_MAIN_CAPTION, wxPoint(100, 100), wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_hIcon(OrvexIcon()), m_pApp(pApp) {
    // A window of its own for the window manager, not a dialog that sits above
    // every window of the program: the editor's file and colour dialogs must
    // come up above it.
    gtk_window_set_type_hint(GTK_WINDOW(GetHandle()), GDK_WINDOW_TYPE_HINT_NORMAL);
    SetFont(DialogFont());
    SetClientSize(ConvertDialogToPixels(wxSize(144, 487)));
    auto at = [this](int x, int y) { return ConvertDialogToPixels(wxPoint(x, y)); };
    auto size = [this](int w, int h) { return ConvertDialogToPixels(wxSize(w, h)); };

    new wxButton(this, IDC_LOAD_DATASET, TEXT_LOAD_DATASET, at(2, 7), size(140, 15));
    new wxStaticBox(this, wxID_ANY, TEXT_RENDER_MODE, at(2, 26), size(140, 43));
    m_pNoModeRadio =
        new wxRadioButton(this, wxID_ANY, wxEmptyString, at(17, 39), wxDefaultSize, wxRB_GROUP);
    m_pNoModeRadio->SetValue(true);
    m_pNoModeRadio->Hide();
    m_btnSlicing = AddDialogRadio(this, IDC_SLICING, TEXT_SLICING, 17, 39, 37, 10);
    m_btnVolume = AddDialogRadio(this, IDC_VOLUME, TEXT_VOLUME, 17, 52, 39, 10);
    auto* pExit = new wxButton(this, IDC_EXIT, TEXT_EXIT, at(2, 470), size(140, 14));
    m_btnRefresh = new wxButton(this, IDC_REFRESH, TEXT_REFRESH, at(76, 51), size(50, 11));
    new wxButton(this, IDC_INFO, TEXT_INFO, at(2, 454), size(140, 14));
    m_staticStatus =
        new wxStaticText(this, IDC_STATUS, TEXT_NO_DATASET, at(2, STATUS_TOP),
                         size(140, STATUS_HEIGHT), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
    m_pLoadGauge = new wxGauge(this, IDC_LOAD_PROGRESS, 100, at(2, STATUS_TOP + STATUS_HEIGHT - 11),
                               size(100, 9));
    m_btnCancelLoad = new wxButton(this, IDC_CANCEL_LOAD, TEXT_CANCEL_LOAD,
                                   at(104, STATUS_TOP + STATUS_HEIGHT - 13), size(38, 13));
    m_pLoadGauge->Hide();
    m_btnCancelLoad->Hide();
    pExit->SetDefault();
    // Enter and Escape both end the dialog through the "Exit" button.
    SetAffirmativeId(IDC_EXIT);
    SetEscapeId(IDC_EXIT);

    Bind(wxEVT_BUTTON, &CMainDlg::OnLoadDataset, this, IDC_LOAD_DATASET);
    Bind(wxEVT_RADIOBUTTON, &CMainDlg::OnSlicing, this, IDC_SLICING);
    Bind(wxEVT_RADIOBUTTON, &CMainDlg::OnVolume, this, IDC_VOLUME);
    Bind(wxEVT_BUTTON, &CMainDlg::OnRefresh, this, IDC_REFRESH);
    Bind(wxEVT_BUTTON, &CMainDlg::OnExitButton, this, IDC_EXIT);
    Bind(wxEVT_BUTTON, &CMainDlg::OnAbout, this, IDC_INFO);
    Bind(wxEVT_CLOSE_WINDOW, &CMainDlg::OnClose, this);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CancelLoad(); }, IDC_CANCEL_LOAD);
    Bind(wxEVT_CHAR_HOOK, &CMainDlg::OnCharHook, this);
    // Ctrl+O opens "Load Dataset", F5 is "Refresh".
    wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, 'O', IDC_LOAD_DATASET},
                                 {wxACCEL_NORMAL, WXK_F5, IDC_REFRESH}};
    SetAcceleratorTable(wxAcceleratorTable(2, keys));
    for (int nCommand : {IDC_LOAD_DATASET, IDC_REFRESH})
        Bind(
            wxEVT_MENU, [this](wxCommandEvent& event) { OnCommandKey(event.GetId()); }, nCommand);
    OnInitDialog();
}

CMainDlg::~CMainDlg() {
    m_pLoad.reset(); // (OnDestroy has ended it already)
}

void CMainDlg::OnInitDialog() {
    SetIcon(m_hIcon);
    Move(100, 100);
    // Both panels are created hidden, directly below the "Render Mode" group;
    // each hands its start values to the render window. A panel that cannot be
    // created has shown its error box; the dialog goes on without it.
    m_pSlicingDlg = new CSlicingDlg(this, RenderWnd());
    m_pSlicingDlg->PlaceBelow(MODE_PANEL_TOP);
    m_pVolumeDlg = new CVolumeDlg(this, RenderWnd());
    m_pVolumeDlg->PlaceBelow(MODE_PANEL_TOP);
    EnableRenderModeButtons(false);
    if (CRenderWnd* pRender = RenderWnd()) {
        pRender->SetStatusListener([this] { UpdateStatus(); });
        pRender->SetCommandHandler([this](int nCommand) { OnCommandKey(nCommand); });
    }
}

bool CMainDlg::Show(bool bShow) {
    const bool bResult = wxDialog::Show(bShow);
    if (bShow && !m_bPlaced) {
        m_bPlaced = true;
        PlaceShownWindow(this, wxPoint(100, 100));
    }
    return bResult;
}

CRenderWnd* CMainDlg::RenderWnd() const {
    return m_pApp ? m_pApp->m_pRenderWnd : nullptr;
}

bool CMainDlg::EnableRenderModeButtons(bool bEnable) {
    m_btnSlicing->Enable(bEnable);
    m_btnVolume->Enable(bEnable);
    return true;
}

void CMainDlg::ShowPanels(bool bSlicing, bool bVolume) {
    if (m_pSlicingDlg)
        m_pSlicingDlg->Show(bSlicing);
    if (m_pVolumeDlg)
        m_pVolumeDlg->Show(bVolume);
}

void CMainDlg::RepaintEditor() {
    // At once, so that its histogram follows the dataset and its picture the mode.
    if (m_pApp->m_pTransferFunctionWnd)
        m_pApp->m_pTransferFunctionWnd->Repaint();
}

namespace {

// "All volume files", each kind of volume file, "All Files".
wxString DatasetFilter() {
    wxString sAll;
    wxString sKinds;
    for (const VolumeFileKind& kind : VolumeFileKinds()) {
        const wxString sPatterns = kind.pPatterns;
        const wxString sName =
            sPatterns == "*.dat" ? wxString(TEXT_DATASET_DAT_KIND) : wxString(kind.pName);
        sAll += (sAll.empty() ? "" : ";") + sPatterns;
        sKinds += "|" + sName + " (" + sPatterns + ")|" + sPatterns;
    }
    return wxString(TEXT_DATASET_ALL_VOLUMES) + "|" + sAll + sKinds + "|" + TEXT_ALL_FILES_FILTER;
}

wxString FromNative(const std::string& sText) {
    return wxString(sText.c_str(), *wxConvFileName);
}

} // namespace

void CMainDlg::OnLoadDataset(wxCommandEvent&) {
    FileRequest request;
    request.eKind = FILE_DATASET;
    request.sWildcard = DatasetFilter();
    request.sExtension = TEXT_DATASET_EXTENSION;
    request.sName = TEXT_DATASET_INITIAL_NAME;
    wxString sPath;
    if (ChooseFile(this, request, sPath))
        LoadDatasetFile(sPath);
}

void CMainDlg::OnCommandKey(int nCommand) {
    wxCommandEvent event(wxEVT_BUTTON, nCommand);
    if (nCommand == IDC_LOAD_DATASET)
        OnLoadDataset(event);
    else if (nCommand == IDC_REFRESH)
        OnRefresh(event);
}

void CMainDlg::UpdateStatus() {
    const CVolume* pVolume = m_pApp->m_pVolume;
    std::string sStatus = pVolume ? DescribeDataset(*pVolume) : std::string(TEXT_NO_DATASET);
    if (m_pLoad) {
        const wxString sName = wxFileName(m_sLoadPath).GetFullName();
        sStatus = std::string(wxString::Format(TEXT_LOADING, sName.empty() ? m_sLoadPath : sName,
                                               m_nLoadPercent)
                                  .utf8_str()) +
                  "\n" + sStatus;
    }
    if (pVolume && !m_sTransferNote.empty())
        sStatus += "\n" + std::string(m_sTransferNote.utf8_str());
    const CRenderWnd* pRender = RenderWnd();
    if (pVolume && pRender && pRender->GetRenderMode() == RENDER_MODE_VOLUME) {
        const std::string sRun = ProgressStatus(pRender->Progress());
        if (!sRun.empty())
            sStatus += "\n" + sRun;
    }
    const std::string sZoom = pVolume && pRender ? ZoomStatus(pRender->ShownZoom().dZoom) : "";
    if (!sZoom.empty())
        sStatus += "\n" + sZoom;
    // In Slicing mode the voxel under the cursor.
    if (pVolume && pRender && pRender->GetRenderMode() == RENDER_MODE_SLICING &&
        !pRender->CursorStatus().empty())
        sStatus += "\n" + pRender->CursorStatus();
    const wxString sText = wxString::FromUTF8(sStatus);
    if (!m_staticStatus || m_sStatus == sText)
        return;
    m_sStatus = sText;
    // A line too long for the dialog breaks between words (a long name without
    // any is shortened in its middle).
    m_staticStatus->SetLabel(sText);
    m_staticStatus->Wrap(m_staticStatus->GetClientSize().GetWidth());
}

int CMainDlg::LoadDatasetFile(const wxString& sPath) {
    m_bAskLayout = true;
    const std::string sFile(sPath.fn_str());
    StartLoad(sPath,
              [sFile](const ImportProgress& progress) { return ImportVolume(sFile, &progress); });
    return 0;
}

void CMainDlg::StartLoad(const wxString& sPath,
                         std::function<ImportResult(const ImportProgress&)> import) {
    CancelLoad();
    m_sLoadPath = sPath;
    m_nLoadPercent = 0;
    m_nLoadResult = -1;
    // The shading cache and the old dataset's gradients are the memory the new
    // dataset is made in. The old picture and slices stay; should the user
    // render meanwhile, the cache refills and the gradients come back (the
    // renderer computes them again before it casts).
    if (CRenderWnd* pRender = RenderWnd()) {
        pRender->HoldRuns(true);
        pRender->WorkerShadeCache().Fit(0);
        ReleaseOldGradients();
        pRender->HoldRuns(false);
    }
    const unsigned nSerial = ++m_nLoadSerial;
    CLoadJob::Hooks hooks;
    hooks.percent = [this, nSerial](int nPercent) {
        CallAfter([this, nSerial, nPercent] { OnLoadPercent(nSerial, nPercent); });
    };
    // (Without a dataset there is nothing to free.)
    if (m_pApp->m_pVolume)
        hooks.release = [this, nSerial] { CallAfter([this, nSerial] { OnLoadRelease(nSerial); }); };
    hooks.done = [this, nSerial] { CallAfter([this, nSerial] { OnLoadDone(nSerial); }); };
    m_pLoad = std::make_unique<CLoadJob>(std::move(import), std::move(hooks));
    m_pLoadGauge->SetValue(0);
    m_pLoadGauge->Show();
    m_btnCancelLoad->Show();
    UpdateStatus();
}

void CMainDlg::OnLoadPercent(unsigned nSerial, int nPercent) {
    if (nSerial != m_nLoadSerial || !m_pLoad)
        return;
    m_nLoadPercent = nPercent;
    m_pLoadGauge->SetValue(nPercent);
    UpdateStatus();
}

void CMainDlg::OnLoadRelease(unsigned nSerial) {
    if (nSerial != m_nLoadSerial || !m_pLoad)
        return;
    // The old picture and slices stay (they need the voxels alone); no volume
    // run may start on the old dataset until its gradients are back.
    if (m_pApp->m_pVolume) {
        if (CRenderWnd* pRender = RenderWnd())
            pRender->HoldRuns(true);
        ReleaseOldGradients();
    }
    m_pLoad->Proceed();
}

void CMainDlg::ReleaseOldGradients() {
    if (!m_pApp->m_pVolume)
        return;
    m_pApp->m_pVolume->ReleaseGradients();
    m_bOldReleased = true;
}

void CMainDlg::EndLoad(bool bKeepOld) {
    m_pLoad.reset();
    ++m_nLoadSerial;
    m_pLoadGauge->Hide();
    m_btnCancelLoad->Hide();
    // The same bits as before: they come from the same voxels.
    if (m_bOldReleased && bKeepOld && m_pApp->m_pVolume && !m_pApp->m_pVolume->RestoreGradients())
        ShowMessageBox(this, TEXT_GRADIENTS_LOST, TEXT_DATASET_ERROR_CAPTION, wxOK | wxICON_ERROR);
    else if (CRenderWnd* pRender = RenderWnd())
        pRender->HoldRuns(false);
    m_bOldReleased = false;
    m_sStatus.clear(); // shown anew
    UpdateStatus();
}

void CMainDlg::CancelLoad() {
    if (!m_pLoad)
        return;
    m_pLoad->Cancel();
    m_pLoad->Take();
    EndLoad(true);
    m_nLoadResult = -1;
}

void CMainDlg::OnLoadDone(unsigned nSerial) {
    if (nSerial != m_nLoadSerial || !m_pLoad)
        return;
    ImportResult result = m_pLoad->Take();
    const wxString sPath = m_sLoadPath;
    EndLoad(result.eStatus != IMPORT_OK);
    if (result.eStatus == IMPORT_CANCELLED)
        return;
    if (result.eStatus == IMPORT_NOT_RECOGNISED && m_bAskLayout) {
        // Perhaps bare values whose layout the user knows.
        m_bAskLayout = false;
        CRawLayoutDlg layout(this, sPath, FromNative(result.sReason));
        if (layout.ShowModal() != wxID_OK)
            return;
        result = layout.TakeResult();
    }
    if (result.eStatus != IMPORT_OK) {
        ShowMessageBox(
            this, wxString::Format(TEXT_DATASET_LOAD_FAILED, sPath, FromNative(result.sReason)),
            TEXT_DATASET_ERROR_CAPTION, wxOK | wxICON_ERROR);
        return;
    }
    ReplaceDataset(std::move(result.pVolume), std::string(sPath.utf8_str()));
    m_nLoadResult = 0;
    // What changes the picture from what the file holds (its first volume
    // only, one series of several, cubic voxels for unusable spacing).
    if (!result.notices.empty()) {
        wxString sText;
        for (const std::string& sNotice : result.notices)
            sText += (sText.empty() ? "" : "\n") + FromNative(sNotice);
        ShowMessageBox(this, sText, TEXT_DATASET_ERROR_CAPTION, wxOK | wxICON_INFORMATION);
    }
}

void CMainDlg::OnCharHook(wxKeyEvent& event) {
    // Escape stops a load (and only that) while one runs.
    if (m_pLoad && event.GetKeyCode() == WXK_ESCAPE)
        CancelLoad();
    else
        event.Skip();
}

void CMainDlg::ReplaceDataset(std::unique_ptr<CVolume> pVolume, const std::string& sPath) {
    // The render window stops its worker and waits for it before it takes the
    // new dataset: no run may read the one that is about to go.
    if (CRenderWnd* pRender = RenderWnd())
        pRender->SetVolume(pVolume.get(), sPath);
    delete m_pApp->m_pVolume;
    m_pApp->m_pVolume = pVolume.release();
    EnableRenderModeButtons(true);
    if (m_pSlicingDlg && m_pSlicingDlg->IsCreated())
        m_pSlicingDlg->OnDatasetChanged();
    if (m_pVolumeDlg && m_pVolumeDlg->m_pFirstHitDlg && m_pVolumeDlg->m_pFirstHitDlg->IsCreated())
        m_pVolumeDlg->m_pFirstHitDlg->OnDatasetChanged();
    FitTransferFunction();
    RepaintEditor();
    UpdateStatus();
}

void CMainDlg::FitTransferFunction() {
    m_sTransferNote.clear();
    const CVolume* pVolume = m_pApp->m_pVolume;
    const int nPreset = m_pApp->m_nScanPreset;
    if (!pVolume || !pVolume->m_Source.IsScan() || nPreset < 0 || nPreset >= PRESET_COUNT ||
        !m_pApp->m_pTransferFunction)
        return;
    if (ApplyPreset(static_cast<TransferPreset>(nPreset), PresetDataOf(*pVolume),
                    *m_pApp->m_pTransferFunction) != 0)
        return;
    if (m_pApp->m_pTransferFunctionWnd)
        m_pApp->m_pTransferFunctionWnd->OnPointsReplaced();
    if (nPreset == PRESET_FIT_TO_DATA && !m_pApp->m_bDefaultTransferFunction)
        m_sTransferNote = TEXT_FIT_NOTE;
    else
        m_sTransferNote =
            wxString::Format(TEXT_PRESET_NOTE, wxString::FromUTF8(TRANSFER_PRESETS[nPreset].pName));
}

void CMainDlg::SetTransferNote(const wxString& sNote) {
    m_sTransferNote = sNote;
    UpdateStatus();
}

void CMainDlg::OnSlicing(wxCommandEvent&) {
    ChooseMode(RENDER_MODE_SLICING);
}

void CMainDlg::OnVolume(wxCommandEvent&) {
    ChooseMode(RENDER_MODE_VOLUME);
}

void CMainDlg::ChooseMode(int nMode) {
    ShowPanels(nMode == RENDER_MODE_SLICING, nMode == RENDER_MODE_VOLUME);
    if (CRenderWnd* pRender = RenderWnd())
        pRender->SetRenderMode(nMode);
    RepaintEditor();
    UpdateStatus();
}

void CMainDlg::OnRefresh(wxCommandEvent&) {
    if (CRenderWnd* pRender = RenderWnd())
        pRender->Restart();
}

void CMainDlg::OnAbout(wxCommandEvent&) {
    CAboutDlg about(this);
    about.ShowModal();
}

void CMainDlg::OnDestroy() {
    CancelLoad();
    if (m_pApp && m_pApp->m_pRenderWnd)
        m_pApp->m_pRenderWnd->StopProgressiveThread();
    // The render window outlives this dialog: it must not reach it any more.
    if (CRenderWnd* pRender = RenderWnd()) {
        pRender->SetStatusListener({});
        pRender->SetCommandHandler({});
    }
    // A panel without a window is deleted; the volume panel destroys its
    // first-hit panel in turn.
    for (CChildPanel* pPanel :
         {static_cast<CChildPanel*>(m_pSlicingDlg), static_cast<CChildPanel*>(m_pVolumeDlg)}) {
        if (pPanel && pPanel->IsCreated())
            pPanel->Destroy();
        else
            delete pPanel;
    }
    m_pSlicingDlg = nullptr;
    m_pVolumeDlg = nullptr;
}

void CMainDlg::EndDialogAndTeardown() {
    if (m_bEnded)
        return;
    m_bEnded = true;
    OnDestroy();
    Hide();
    Destroy();
    if (m_EndHandler) {
        std::function<void()> handler = std::move(m_EndHandler);
        handler();
    }
}

void CMainDlg::OnExitButton(wxCommandEvent&) {
    EndDialogAndTeardown();
}

void CMainDlg::OnClose(wxCloseEvent&) {
    EndDialogAndTeardown();
}
