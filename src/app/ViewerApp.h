// The one application object through which every part reaches the long-lived
// objects: the render output window, the editor window, the dataset, the
// transfer function and the vector-math object. It owns all five.
#pragma once

class CRenderState;
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

    // The render output window, seen through its display-free render state
    // (the wx window CRenderWnd derives from CRenderState).
    CRenderState* m_pRenderWnd = nullptr;
    CTransferFunctionWnd* m_pTransferFunctionWnd = nullptr;
    // The current dataset; null until the first load.
    CVolume* m_pVolume = nullptr;
    CTransferFunction* m_pTransferFunction = nullptr;
    CVectorMath* m_pVectorMath = nullptr;
};

// The running application object: one per process, reachable from everywhere
// (the worker thread takes it at the start of each run).
CViewerApp* GetViewerApp();
