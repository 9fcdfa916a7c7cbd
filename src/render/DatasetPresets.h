// The transfer function presets and Otsu's threshold for a loaded dataset.
#pragma once

#include "transfer/Presets.h"
#include "volume/Volume.h"

inline PresetData PresetDataOf(const CVolume& volume) {
    return PresetData{volume.m_Histogram, volume.m_Source.dScanOffset, volume.m_Source.dScanScale};
}
