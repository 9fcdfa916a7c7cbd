#include "app/OrvexApp.h"

#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "transfer/TransferFunction.h"
#include "transfer/TransferFunctionWnd.h"
#include "view/PixelFormat.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

bool CViewerApp::InitInstance() {
    m_pVolume = nullptr;
    m_sDatasetPath.clear();

    auto* pRenderWnd = new CRenderWnd(this);
    if (!pRenderWnd->IsCreated()) {
        // The error boxes have been shown; without its window the viewer has
        // nothing to show.
        delete pRenderWnd;
        return false;
    }
    m_pRenderWnd = pRenderWnd;
    pRenderWnd->Show();
    pRenderWnd->Repaint();

    m_pTransferFunction = new CTransferFunction(this);
    m_pTransferFunction->Load("default.trf");

    // The transfer function editor window, shown and painted at once. Without an
    // OpenGL context (its error boxes have been shown) the viewer goes on
    // without the editor.
    auto* pEditorWnd = new CTransferFunctionWnd(this);
    if (pEditorWnd->IsCreated()) {
        m_pTransferFunctionWnd = pEditorWnd;
        pEditorWnd->Show();
        pEditorWnd->Repaint();
    } else {
        pEditorWnd->Destroy();
    }

    m_pVectorMath = new CVectorMath;

    auto* pMainDlg = new CMainDlg(nullptr, this);
    if (wxTheApp)
        wxTheApp->SetTopWindow(pMainDlg);
    pMainDlg->SetEndHandler([this] {
        ExitInstance();
        if (wxTheApp)
            wxTheApp->ExitMainLoop();
    });
    pMainDlg->Show();
    return true;
}

int CViewerApp::ExitInstance() {
    if (m_pRenderWnd) {
        // The main dialog has asked the worker to stop; it must really have
        // ended before the window (and below, the dataset) goes away.
        m_pRenderWnd->StopProgressiveThread();
        m_pRenderWnd->WaitForWorkerEnd();
        delete m_pRenderWnd;
        m_pRenderWnd = nullptr;
    }
    if (m_pTransferFunctionWnd) {
        // The frame deletes itself once its window is gone; its handlers no
        // longer draw from here on.
        m_pTransferFunctionWnd->Destroy();
        m_pTransferFunctionWnd = nullptr;
    }
    delete m_pTransferFunction;
    m_pTransferFunction = nullptr;
    delete m_pVectorMath;
    m_pVectorMath = nullptr;
    delete m_pVolume;
    m_pVolume = nullptr;
    m_sDatasetPath.clear();
    return 0;
}

bool COrvexApp::OnInit() {
    InitGlutOnce();
    return GetViewerApp()->InitInstance();
}
