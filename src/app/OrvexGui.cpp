#include "app/OrvexApp.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "transfer/Presets.h"
#include "transfer/TransferFunction.h"
#include "view/TransferFunctionWnd.h"
#include "view/PixelFormat.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

bool CViewerApp::InitInstance(const std::string& sStartFile) {
    m_pVolume = nullptr;

    auto* pRenderWnd = new CRenderWnd();
    if (!pRenderWnd->IsCreated()) {
        // The error boxes have been shown; without its window the viewer has
        // nothing to show.
        delete pRenderWnd;
        return false;
    }
    m_pRenderWnd = pRenderWnd;
    pRenderWnd->Show();
    pRenderWnd->Repaint();

    m_pTransferFunction = new CTransferFunction();
    // Every rebuild of the table comes between a stop and a new start.
    m_pTransferFunction->SetRebuildListener(
        [pRenderWnd](bool bDone) { pRenderWnd->OnTableRebuild(bDone); });
    pRenderWnd->SetTransferFunction(m_pTransferFunction);
    m_bDefaultTransferFunction = m_pTransferFunction->Load("default.trf") == 0;
    m_nScanPreset = m_bDefaultTransferFunction ? -1 : PRESET_FIT_TO_DATA;

    // The transfer function editor window, shown and painted at once. Without an
    // OpenGL context (its error boxes have been shown) the viewer goes on
    // without the editor.
    auto* pEditorWnd = new CTransferFunctionWnd(pRenderWnd);
    if (pEditorWnd->IsCreated()) {
        m_pTransferFunctionWnd = pEditorWnd;
        pEditorWnd->SetDestroyListener([this, pEditorWnd] {
            if (m_pTransferFunctionWnd == pEditorWnd)
                m_pTransferFunctionWnd = nullptr;
        });
        pEditorWnd->Show();
        pEditorWnd->Repaint();
    } else {
        pEditorWnd->Destroy();
    }

    m_pVectorMath = new CVectorMath;
    pRenderWnd->SetVectorMath(m_pVectorMath);

    auto* pMainDlg = new CMainDlg(nullptr, this);
    if (wxTheApp)
        wxTheApp->SetTopWindow(pMainDlg);
    if (m_pTransferFunctionWnd) {
        // A preset chosen in the editor follows the user to the next scan; a
        // loaded or edited function stays.
        m_pTransferFunctionWnd->SetChangeListener([this, pMainDlg](int nPreset) {
            m_nScanPreset = nPreset;
            pMainDlg->SetTransferNote({});
        });
    }
    pMainDlg->SetEndHandler([this] {
        ExitInstance();
        if (wxTheApp)
            wxTheApp->ExitMainLoop();
    });
    // Closing the render window ends the program as "Exit" does; closing the
    // editor only puts it out of the way.
    pRenderWnd->SetCloseHandler([pMainDlg] { pMainDlg->Close(); });
    if (m_pTransferFunctionWnd)
        m_pTransferFunctionWnd->SetCloseHandler([pEditorWnd] { pEditorWnd->Iconize(); });
    pMainDlg->Show();
    if (!sStartFile.empty()) {
        // Once the windows are up, as if the file had been chosen with "Load Dataset".
        const wxString sPath(sStartFile.c_str(), *wxConvFileName);
        pMainDlg->CallAfter([pMainDlg, sPath] { pMainDlg->LoadDatasetFile(sPath); });
    }
    return true;
}

int CViewerApp::ExitInstance() {
    // The editor's window lives on until the next idle time (its paint events
    // still come), but it must not reach the render window or the main dialog
    // from here on.
    if (m_pTransferFunctionWnd)
        m_pTransferFunctionWnd->Detach();
    if (m_pRenderWnd) {
        // The main dialog has asked the worker to stop; it must really have
        // ended before the window (and below, the dataset) goes away.
        m_pRenderWnd->StopProgressiveThread();
        m_pRenderWnd->WaitForWorkerEnd();
        delete m_pRenderWnd;
        m_pRenderWnd = nullptr;
    }
    if (m_pTransferFunctionWnd) {
        // The frame deletes itself once its window is gone.
        m_pTransferFunctionWnd->Destroy();
        m_pTransferFunctionWnd = nullptr;
    }
    delete m_pTransferFunction;
    m_pTransferFunction = nullptr;
    delete m_pVectorMath;
    m_pVectorMath = nullptr;
    delete m_pVolume;
    m_pVolume = nullptr;
    return 0;
}

bool COrvexApp::OnInit() {
    // GTK has taken its own options (--display, ...) out of argv by now; wx's
    // own command-line parser is not used.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i].fn_str());
    const ViewerArguments arguments = ParseViewerArguments(args);
    if (arguments.eCommand == VIEWER_HELP) {
        std::fputs(ViewerUsage(), stdout);
        m_nCommandLineExit = 0;
        return true;
    }
    if (arguments.eCommand == VIEWER_ERROR) {
        std::fprintf(stderr, "orvex: %s\n%s", arguments.sError.c_str(), ViewerUsage());
        m_nCommandLineExit = 2;
        return true;
    }
    InitGlutOnce();
    return GetViewerApp()->InitInstance(arguments.sFile);
}

int COrvexApp::OnRun() {
    return m_nCommandLineExit >= 0 ? m_nCommandLineExit : wxApp::OnRun();
}
