// The one application object through which every part reaches the long-lived
// objects: the render output window, the editor window, the dataset, the
// transfer function and the vector-math object. It owns all five.
#pragma once

#include <string>

class CRenderWnd;
class CTransferFunctionWnd;
class CVolume;
class CTransferFunction;
class CVectorMath;

class CViewerApp {
public:
    CViewerApp() = default;
    virtual ~CViewerApp() = default;
    CViewerApp(const CViewerApp&) = delete;
    CViewerApp& operator=(const CViewerApp&) = delete;

    // Start-up of the viewer (defined with the GUI): creates the render window,
    // the transfer function with "default.trf", the editor window, the
    // vector-math object and the main dialog, in that order. The main dialog
    // runs modeless; when it ends, the teardown runs. False when the render
    // window could not be created (nothing is left running then). A start file
    // is loaded once the windows are up, as if it had been chosen with "Load
    // Dataset" (CMainDlg::LoadDatasetFile).
    bool InitInstance(const std::string& sStartFile = std::string());
    // Teardown (defined with the GUI): deletes the render window once its worker
    // has ended, destroys the editor window, deletes the transfer function, the
    // vector-math object and the dataset. Returns the exit code 0.
    int ExitInstance();

    // The render output window, which holds the render core (CRenderState)
    // with the scene below.
    CRenderWnd* m_pRenderWnd = nullptr;
    CTransferFunctionWnd* m_pTransferFunctionWnd = nullptr;
    // The current dataset; null until the first load.
    CVolume* m_pVolume = nullptr;
    CTransferFunction* m_pTransferFunction = nullptr;
    CVectorMath* m_pVectorMath = nullptr;
    // Whether "default.trf" was read at start-up.
    bool m_bDefaultTransferFunction = false;
    // The preset (a TransferPreset) that a newly loaded scan gets, fitted to
    // it: "Fit to data" when no "default.trf" was read, later the preset last
    // chosen in the editor. -1 while the function is one the user loaded or
    // edited: a new dataset keeps it.
    int m_nScanPreset = -1;
};

// The running application object: one per process, reachable from everywhere
// (the worker thread takes it at the start of each run).
CViewerApp* GetViewerApp();
