// Ready-made transfer functions fitted to a dataset, computed from its
// histogram of stored values and the linear map between stored values and the
// scan's own units. Each one is an ordinary list of control points, so it is
// edited and saved like any other function.
#pragma once

#include <cstdint>
#include <vector>

#include "transfer/TransferFunction.h"

enum TransferPreset {
    PRESET_CT_BONE,
    PRESET_CT_SKIN,
    PRESET_CT_SOFT_TISSUE,
    PRESET_MR_BRAIN,
    PRESET_GREYSCALE,
    PRESET_FIT_TO_DATA,
    PRESET_COUNT
};

struct TransferPresetName {
    TransferPreset ePreset;
    const char* pName; // as menus show it: "CT bone"
    const char* pWord; // as command lines take it: "ct-bone"
};
extern const TransferPresetName TRANSFER_PRESETS[PRESET_COUNT];
// The preset whose command-line word is pWord; PRESET_COUNT for none.
TransferPreset PresetOfWord(const char* pWord);

// What a preset is fitted to: the histogram of the stored values 0..4095 and
// the scan units, a stored value s standing for dScanOffset + dScanScale * s.
struct PresetData {
    const int32_t* pHistogram = nullptr; // TABLE_SIZE bins; null: an empty dataset
    double dScanOffset = 0.0;
    double dScanScale = 1.0;
};

// Otsu's threshold between background and object: the stored value t that
// best separates the values <= t from those above (largest between-class
// variance; where a whole range of thresholds does equally well, as between
// two classes with nothing in between, its middle). The lowest value is left
// out when there are three or more: the padding outside a scan's field of
// view. 0 for a histogram with fewer than two distinct values.
int OtsuThreshold(const int32_t* pHistogram);

// The smallest stored value v >= nFrom such that the values nFrom..v hold at
// least dFraction of the voxels from nFrom on; nFrom when there are none.
int HistogramPercentile(const int32_t* pHistogram, double dFraction, int nFrom = 0);

// The preset's control points for the data, sorted, with points at 0 and 4095:
// the CT presets at fixed Hounsfield values (converted to stored values, the
// ends clamped to 0..4095), "MR brain" from the percentiles of the object's
// values above Otsu's threshold, "Greyscale ramp" from black transparent at
// the lowest value to white opaque at the highest, and "Fit to data" rising
// in opacity from Otsu's threshold through skin tones to white near the
// object's highest values.
std::vector<ControlPoint> PresetPoints(TransferPreset ePreset, const PresetData& data);

// Replaces the function by the preset for the data and rebuilds the table, as
// loading a file does; 0, or -1 for an unknown preset (nothing changes).
int ApplyPreset(TransferPreset ePreset, const PresetData& data, CTransferFunction& tf);
