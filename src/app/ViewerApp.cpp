#include "app/ViewerApp.h"

CViewerApp* GetViewerApp() {
    static CViewerApp theApp;
    return &theApp;
}
