// What the main dialog's child panels have in common: a hidden child window laid
// out in dialog units of the main dialog's font, whose show handler runs once
// for every showing and every hiding of the panel itself, and sliders whose
// platform notifications are sorted into changes and let-goes.
#pragma once

#include <array>
#include <cstdint>

#include <wx/event.h>
#include <wx/panel.h>

class wxSlider;
class wxStaticText;
class CRenderWnd;
class CRenderState;
class CVolume;

// The least height in pixels at which a GTK 3 scale draws its trough and knob.
constexpr int SLIDER_MIN_HEIGHT = 28;

class CChildPanel : public wxPanel {
public:
    ~CChildPanel() override = default;

    // False when the panel's window could not be created (the panel has shown its
    // error box then); such a panel ignores Show and is deleted, not destroyed.
    bool IsCreated() const { return m_bCreated; }

    // Shows or hides the panel; when its visibility changes, OnShowWindow runs
    // once with the new state. A parent shown or hidden does not run it.
    bool Show(bool bShow = true) override;

    // The panel's show handler (runs when the panel is shown and when it is
    // hidden).
    virtual void OnShowWindow(bool bShow) = 0;

    // Puts the panel's top-left corner at nTopDlu dialog units down the parent's
    // client area, at its left edge.
    void PlaceBelow(int nTopDlu);

    // A notification of one of the panel's sliders: a change in progress (a
    // drag step, an arrow, page, Home or End key, a click in the channel) is
    // applied at once; a let-go first applies a change that came without a
    // notification of its own (the mouse wheel reports only the end), then
    // lets go.
    void OnHScroll(wxScrollEvent& event);

protected:
    // pRender: the render window the panel's settings go to (may be null).
    explicit CChildPanel(CRenderWnd* pRender) : m_pRender(pRender) {}

    // Creates the window, hidden, as a child of pParent with a client area of
    // the given size in dialog units. False (nothing created) without a parent
    // or when the platform refuses the window.
    bool CreatePanel(wxWindow* pParent, int nId, int nWidthDlu, int nHeightDlu);

    wxPoint At(int x, int y) const;
    wxSize Dlu(int nWidth, int nHeight) const;
    // A horizontal slider without tick marks, at least SLIDER_MIN_HEIGHT high,
    // centred on its dialog-unit rectangle; every scroll notification of it
    // goes to OnHScroll.
    wxSlider* AddSlider(int nId, int x, int y, int w, int h);
    // The number beside a slider: a right-aligned static text at dialog-unit
    // height y, right of the sliders (SLIDER_VALUE_LEFT).
    wxStaticText* AddSliderValue(int nId, int y);
    // Shows nValue in the number, formatted with pFormat ("%d" or "%d°").
    static void ShowSliderValue(wxStaticText* pValue, const wchar_t* pFormat, int nValue);

    // The stored setting of one of the panel's sliders; null for any other.
    virtual const int32_t* SliderSetting(const wxSlider* pSlider) const = 0;
    // Takes the slider's position as its setting and hands it on.
    virtual void ApplySlider(wxSlider* pSlider) = 0;
    // The user has let go of a slider.
    virtual void LetGoSlider() {}

    CRenderWnd* const m_pRender;

private:
    static const std::array<wxEventTypeTag<wxScrollEvent>, 9>& SliderEventTypes();

    bool m_bCreated = false;
};

// True for the notifications with which wxGTK reports that the user has let go
// of a slider: the end of a thumb drag (wxEVT_SCROLL_THUMBRELEASE) and the end
// of every other change (wxEVT_SCROLL_CHANGED, which follows each key step,
// each page step and the release). Every other scroll notification is a change
// in progress: a thumb drag step, an arrow, page, Home or End key.
bool IsSliderLetGo(wxEventType type);

// Clamps nValue into the slider's range.
int ClampToSlider(const wxSlider* pSlider, int nValue);

// The current dataset, or null when there is none or it holds no voxels.
CVolume* LoadedVolume(const CRenderState* pRender);
