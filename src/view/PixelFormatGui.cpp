#include "view/PixelFormat.h"

#include <GL/freeglut.h>
#include <wx/glcanvas.h>

#include "view/MessageBox.h"
#include "res/Resource.h"

namespace {

void BuildAttributes(const PixelFormatRequest& r, wxGLAttributes& attrs) {
    attrs.Reset();
    attrs.PlatformDefaults().RGBA().DoubleBuffer();
    if (r.nColorBits > 0)
        attrs.BufferSize(r.nColorBits);
    // The colour bits less alpha are shared by red, green and blue.
    const int nChannel = r.nColorBits > r.nAlphaBits ? (r.nColorBits - r.nAlphaBits) / 3 : 0;
    if (nChannel > 0 || r.nAlphaBits > 0)
        attrs.MinRGBA(nChannel, nChannel, nChannel, r.nAlphaBits);
    if (r.nAccumBits > 0) {
        const int nAccum = r.nAccumBits / 4;
        attrs.MinAcumRGBA(nAccum, nAccum, nAccum, nAccum);
    }
    if (r.nDepthBits > 0)
        attrs.Depth(r.nDepthBits);
    if (r.nStencilBits > 0)
        attrs.Stencil(r.nStencilBits);
    if (r.nAuxBuffers > 0)
        attrs.AuxBuffers(r.nAuxBuffers);
    attrs.EndList();
}

// The next, weaker request; false when nothing is left to drop.
bool Relax(PixelFormatRequest& r) {
    // In order: each step lowers one size that is still above nAbove to nTo.
    static const struct {
        int PixelFormatRequest::*pSize;
        int nAbove, nTo;
    } steps[] = {
        {&PixelFormatRequest::nAuxBuffers, 0, 0},  {&PixelFormatRequest::nAccumBits, 0, 0},
        {&PixelFormatRequest::nDepthBits, 24, 24}, {&PixelFormatRequest::nDepthBits, 16, 16},
        {&PixelFormatRequest::nStencilBits, 0, 0}, {&PixelFormatRequest::nAlphaBits, 0, 0},
        {&PixelFormatRequest::nColorBits, 0, 0},   {&PixelFormatRequest::nDepthBits, 0, 0},
    };
    for (const auto& step : steps) {
        if (r.*step.pSize > step.nAbove) {
            r.*step.pSize = step.nTo;
            return true;
        }
    }
    return false;
}

void ShowError(const wchar_t* pText) {
    ShowMessageBox(nullptr, pText, TEXT_ERROR_CAPTION, wxOK);
}

} // namespace

bool ChoosePixelFormat(const PixelFormatRequest& request, wxGLAttributes& attrs,
                       PixelFormatChoice* pChoice) {
    PixelFormatRequest r = request;
    int nRelaxations = 0;
    for (;;) {
        BuildAttributes(r, attrs);
        if (wxGLCanvas::IsDisplaySupported(attrs)) {
            if (pChoice) {
                pChoice->accepted = r;
                pChoice->nRelaxations = nRelaxations;
            }
            return true;
        }
        if (!request.bFallBack || !Relax(r))
            break;
        ++nRelaxations;
    }
    ShowError(TEXT_CHOOSE_PIXEL_FORMAT_FAILED);
    return false;
}

wxGLCanvas* SetupPixelFormat(wxWindow* pParent, const PixelFormatRequest& request,
                             PixelFormatChoice* pChoice) {
    wxGLAttributes attrs;
    if (!ChoosePixelFormat(request, attrs, pChoice))
        return nullptr;
    auto* pCanvas = new wxGLCanvas(pParent, attrs, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                   wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE);
    if (!pCanvas->GetHandle()) {
        delete pCanvas;
        ShowError(TEXT_SET_PIXEL_FORMAT_FAILED);
        return nullptr;
    }
    pCanvas->SetBackgroundStyle(wxBG_STYLE_PAINT);
    return pCanvas;
}

void InitGlutOnce() {
    static bool bDone = false;
    if (bDone)
        return;
    bDone = true;
    int argc = 1;
    char name[] = "orvex";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
}
