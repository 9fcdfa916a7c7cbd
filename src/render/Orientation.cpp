#include "render/Orientation.h"

#include "engine/Matrix.h"

const ViewPreset VIEW_PRESETS[VIEW_PRESET_COUNT] = {
    {"Anterior", "anterior", L"A", 0, 90},  {"Posterior", "posterior", L"P", 180, 90},
    {"Left", "left", L"L", 90, 90},         {"Right", "right", L"R", 270, 90},
    {"Superior", "superior", L"S", 180, 0}, {"Inferior", "inferior", L"I", 0, 0},
};

const ViewPreset* FindViewPreset(const std::string& sWord) {
    for (const ViewPreset& preset : VIEW_PRESETS)
        if (sWord == preset.pWord)
            return &preset;
    return nullptr;
}

ScreenAxes VolumeAxesOnScreen(const Camera& camera) {
    // The ray caster's turn from the eye frame (x right, y down, z away from
    // the viewer) into the volume's frame; its transpose turns the volume's
    // axes into the eye frame: axis i there is row i of the turn.
    CMatrix4 turn;
    turn.Rotate(1, -static_cast<double>(camera.fLongitude));
    turn.Rotate(0, -static_cast<double>(camera.fLatitude));
    ScreenAxes axes;
    for (int i = 0; i < 3; ++i) {
        axes.axis[i][0] = turn.m_Elements[0][i];
        axes.axis[i][1] = -turn.m_Elements[1][i];
        axes.axis[i][2] = -turn.m_Elements[2][i];
    }
    return axes;
}
