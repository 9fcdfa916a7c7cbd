// The patient's sides as the camera shows them. An oriented scan holds its
// voxels in the patient frame LPS (x toward the patient's left, y posterior,
// z superior); the camera of longitude 0 and latitude 90 then looks at the
// face, head up, the patient's right on the screen's left, and no view is a
// mirror image (the camera only turns the volume). This gives the six standard
// views as camera angles, and the directions in which the volume's axes appear
// on the screen, which the orientation marker draws.
#pragma once

#include <string>

#include "engine/RunSettings.h"

struct ViewPreset {
    const char* pName;          // the side toward the viewer, as people read it: "Anterior"
    const char* pWord;          // on the command line: "anterior"
    const wchar_t* pButtonText; // the volume panel's button: its initial
    int nLongitude;             // whole degrees, as the rotation sliders hold them
    int nLatitude;
};

// Anterior, Posterior, Left, Right, Superior, Inferior, in this order: each
// puts that side of the patient toward the viewer with the head up; Superior
// and Inferior, which look along the body, put the face up.
constexpr int VIEW_PRESET_COUNT = 6;
extern const ViewPreset VIEW_PRESETS[VIEW_PRESET_COUNT];

// The preset of a command-line word; null for any other word.
const ViewPreset* FindViewPreset(const std::string& sWord);

// The volume's axes x, y, z (for an oriented scan: toward the patient's left,
// posterior and superior) as the camera shows them: axis[i] holds the
// components of unit axis i along the screen's right, the screen's up and the
// direction toward the viewer. The turn is the one the ray caster makes.
struct ScreenAxes {
    double axis[3][3];
};
ScreenAxes VolumeAxesOnScreen(const Camera& camera);
