// The main control dialog "Orvex": loads datasets, switches the render mode and
// restarts the volume renderer. It runs modeless as the application's top
// window, so that the render window and the editor stay usable beside it;
// closing it ("Exit", Enter, Escape, the close box) ends the program in order.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

struct ImportProgress;
struct ImportResult;

class wxButton;
class wxGauge;
class wxKeyEvent;
class CLoadJob;
class wxRadioButton;
class wxStaticText;
class wxCloseEvent;
class wxCommandEvent;
class CViewerApp;
class CRenderWnd;
class CSlicingDlg;
class CVolumeDlg;
class CVolume;

class CMainDlg : public wxDialog {
public:
    // Builds the dialog (caption "Orvex", placed at (100, 100)) with its controls,
    // hidden; the caller shows it.
    CMainDlg(wxWindow* pParent, CViewerApp* pApp);
    ~CMainDlg() override;

    // Shows the dialog; the first time also places it at (100, 100) on screen.
    bool Show(bool bShow = true) override;

    // Enables or disables the two mode radio buttons together; true.
    bool EnableRenderModeButtons(bool bEnable);

    // "Load Dataset": the file dialog (every volume file, each kind, every
    // file), then LoadDatasetFile with the chosen path.
    void OnLoadDataset(wxCommandEvent& event);
    // Everything after the file choice: reads sPath (a volume file of any kind,
    // or a DICOM series' folder) into a new dataset in the background and, when
    // that succeeded, makes it current (ReplaceDataset), then shows what the
    // import noted in an information box. Meanwhile the status shows "Loading
    // NAME … 45 %" with a progress bar and "Cancel" (Escape too), and the
    // current dataset stays shown and usable. A file that no reader recognises
    // asks for its bare RAW layout (CRawLayoutDlg); Cancel there reads nothing.
    // A file that cannot be read is reported in a message box naming the file
    // and the reason; that and Cancel leave everything as it was (dataset,
    // editor, picture, panels, radios). A load that runs already is cancelled
    // first. 0 (the end shows in IsLoading and LoadResult).
    int LoadDatasetFile(const wxString& sPath);
    bool IsLoading() const { return m_pLoad != nullptr; }
    // The last load's end: 0 when its dataset became current, -1 otherwise.
    int LoadResult() const { return m_nLoadResult; }
    // Stops a running load; everything stays as it was before it.
    void CancelLoad();
    // Makes a dataset that has been read completely the current one: stops the
    // renderer and waits for its end, deletes the previous dataset, enables the
    // mode buttons, gives the slicing and first-hit panels the new dataset, gives
    // a scan the application's scan preset (fitted to it, with a note in the
    // status), repaints the editor and shows the dataset (read from sPath) in
    // the status text.
    void ReplaceDataset(std::unique_ptr<CVolume> pVolume, const std::string& sPath = {});

    // The status text below the panels: "No dataset loaded", or the dataset
    // (DescribeDataset); in Volume mode also how far the renderer has come, in
    // Slicing mode the voxel under the cursor (CRenderWnd::CursorStatus).
    void UpdateStatus();
    // The line about the transfer function below the dataset in the status
    // (empty: none).
    void SetTransferNote(const wxString& sNote);

    void OnSlicing(wxCommandEvent& event);
    void OnVolume(wxCommandEvent& event);
    void OnRefresh(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    // Stops the renderer and destroys the panels.
    void OnDestroy();

    // What runs after the dialog has ended and OnDestroy has run: the start-up
    // installs the application's teardown here. Empty: nothing more.
    void SetEndHandler(std::function<void()> handler) { m_EndHandler = std::move(handler); }
    bool HasEnded() const { return m_bEnded; }

    // The slicing panel (CSlicingDlg) and the volume panel (CVolumeDlg), children
    // of this dialog placed directly below the "Render Mode" group, owned by it.
    // Created hidden in the dialog's initialisation; null once destroyed.
    CSlicingDlg* m_pSlicingDlg = nullptr;
    CVolumeDlg* m_pVolumeDlg = nullptr;
    wxButton* m_btnRefresh = nullptr;
    wxRadioButton* m_btnSlicing = nullptr;
    wxRadioButton* m_btnVolume = nullptr;
    wxStaticText* m_staticStatus = nullptr;
    wxGauge* m_pLoadGauge = nullptr;
    wxButton* m_btnCancelLoad = nullptr;
    wxIcon m_hIcon;
    CViewerApp* m_pApp;

private:
    void OnInitDialog();
    void OnExitButton(wxCommandEvent& event);
    // Ctrl+O and F5, here and in the render window: the buttons' commands.
    void OnCommandKey(int nCommand);
    void OnClose(wxCloseEvent& event);
    // Ends the dialog: OnDestroy, the window goes away, then the end handler.
    void EndDialogAndTeardown();
    void ShowPanels(bool bSlicing, bool bVolume);
    // What both mode radios do: the panel, the render mode, the editor, the status.
    void ChooseMode(int nMode);
    void RepaintEditor();
    // Gives a newly loaded scan the application's scan preset, fitted to it.
    void FitTransferFunction();
    CRenderWnd* RenderWnd() const;
    // The background load: its start, what its thread posts (a post of a load
    // that has been cancelled since finds another serial and is dropped), and
    // its end on this thread.
    void StartLoad(const wxString& sPath,
                   std::function<ImportResult(const ImportProgress&)> import);
    void OnLoadPercent(unsigned nSerial, int nPercent);
    void OnLoadRelease(unsigned nSerial);
    // Frees the shown dataset's gradients (EndLoad gives them back if it stays).
    void ReleaseOldGradients();
    void OnLoadDone(unsigned nSerial);
    // Ends the load's state: the controls go, the old dataset gets its
    // gradients back (unless it is about to go) and may render again.
    void EndLoad(bool bKeepOld);
    void OnCharHook(wxKeyEvent& event);

    // Keeps the group of the two visible radio buttons without a selection
    // until the user picks a mode (a GTK radio group always has one selected).
    wxRadioButton* m_pNoModeRadio = nullptr;
    wxString m_sStatus; // the status as last shown, before its lines were broken
    wxString m_sTransferNote;
    std::unique_ptr<CLoadJob> m_pLoad;
    unsigned m_nLoadSerial = 0;
    wxString m_sLoadPath;
    int m_nLoadPercent = 0;
    bool m_bAskLayout = false;   // a file no reader recognises asks for its layout
    bool m_bOldReleased = false; // the current dataset's gradients are away
    int m_nLoadResult = -1;
    bool m_bEnded = false;
    bool m_bPlaced = false;
    std::function<void()> m_EndHandler;
};
