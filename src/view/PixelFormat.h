// The OpenGL set-up shared by the viewer's GL windows (the render output window
// and the transfer function editor): the pixel format request, the canvas that
// carries it and the one-time GLUT initialisation for the wire box.
#pragma once

class wxGLAttributes;
class wxGLCanvas;
class wxWindow;

// The pixel format a GL window asks for: a double-buffered RGBA window surface.
// The sizes are minimums; the display may give more.
struct PixelFormatRequest {
    int nColorBits = 32;
    int nAlphaBits = 8;
    int nAccumBits = 8;
    int nDepthBits = 64;
    int nStencilBits = 8;
    int nAuxBuffers = 8;
    // When the display has no format that meets every size, step by step drop
    // what it cannot give (aux buffers, accumulation, depth beyond 24 and then
    // 16 bits, stencil, alpha, the colour size, depth) until one fits. Without
    // the fall-back only the exact request is tried.
    bool bFallBack = true;
};

// What the display gave for the last canvas made by SetupPixelFormat: the sizes
// of the request that was finally accepted.
struct PixelFormatChoice {
    PixelFormatRequest accepted;
    int nRelaxations = 0; // how many fall-back steps were needed
};

// Fills attrs with the closest format the display supports. On failure shows
// the box "ChoosePixelFormat failed" (caption "Error", no owner) and returns false.
bool ChoosePixelFormat(const PixelFormatRequest& request, wxGLAttributes& attrs,
                       PixelFormatChoice* pChoice = nullptr);

// Creates the GL canvas that fills pParent's client area with the closest pixel
// format and binds that format to it. Returns null when no format is found or
// the canvas cannot take it; the boxes "ChoosePixelFormat failed" or
// "SetPixelFormat failed" (caption "Error", no owner) have then been shown and
// nothing is left behind. The canvas takes keyboard input (Escape) and paints
// its background itself.
wxGLCanvas* SetupPixelFormat(wxWindow* pParent, const PixelFormatRequest& request = {},
                             PixelFormatChoice* pChoice = nullptr);

// Initialises freeglut once per process (its geometry calls need it); later calls
// do nothing. Needs the X display.
void InitGlutOnce();
