// Command line of orvex-render: what to render, how, and where to write it.
#pragma once

#include <string>
#include <vector>

#include "engine/RunSettings.h"
#include "volume/Import.h"

// Largest accepted client width or height. Volume images larger than the
// worker's buffers (1920 x 1440) keep the part outside them black.
constexpr int RENDER_MAX_SIZE = 8192;

class CVolume;

struct RenderOptions {
    std::string sDataset;
    std::string sOutput;
    std::string sTransferFunction; // empty: the all-zero table (or the preset)
    int nPreset = -1;              // a TransferPreset fitted to the dataset; -1: none
    int nWidth = 692;
    int nHeight = 448;
    bool bSlice = false; // --mode slice
    int nVolumeType = 0; // 0 Levoy, 1 X-Ray, 2 First Hit
    int nSampling = 1;   // volume: 0 nearest, 1 trilinear; slice: 0 nearest, 1 bilinear
    int nLongitude = 0;  // whole degrees
    int nLatitude = 90;  // whole degrees
    // First Hit thresholds as stored values, after ResolveForDataset: the
    // numbers given (dataset units, sLower/sUpper) or the dataset's defaults.
    int nLowerThreshold = 0;
    int nUpperThreshold = 4095;
    std::string sLower; // --lower and --upper as given (empty: not given)
    std::string sUpper;
    ZoomPan zoom;   // --zoom F --pan X,Y (pixels of the picture, x right, y down)
    int nPlane = 0; // 0 XY, 1 XZ, 2 YZ
    int nSlice = 0;
    bool bSliceGiven = false; // --slice was given (else a scan starts at its middle slice)
    int nThreads = 0;         // casting threads; 0: one per hardware thread
    bool bSkipping = true;    // empty-space skipping (the picture is the same either way)
    CropBox crop;             // --crop; the default holds the whole volume
    int nTurntable = 0;       // --turntable N: N frames around the longitude; 0: one picture
    bool bRaw = false;        // read the dataset as a bare RAW file with this layout
    RawParameters raw;
};

enum RenderParseResult { RENDER_PARSE_OK, RENDER_PARSE_HELP, RENDER_PARSE_ERROR };

// Parses the arguments after the program name. On RENDER_PARSE_ERROR sError holds
// one line (without newline) that says what is wrong.
RenderParseResult ParseRenderOptions(const std::vector<std::string>& args, RenderOptions& options,
                                     std::string& sError);

// What depends on the loaded dataset: the thresholds in its units (a RAW
// dataset's are its whole values 0..4095; a scan's are its own units, default
// Otsu's threshold and the largest value), the middle slice of a scan when
// --slice was not given, and "fit to data" for a scan without --tf or
// --preset, as the viewer shows it. False with sError for a threshold that
// the dataset cannot take.
bool ResolveForDataset(RenderOptions& options, const CVolume& volume, std::string& sError);

// The longest turntable: one frame per whole degree.
constexpr int TURNTABLE_MAX_FRAMES = 360;

// Frame k of a turntable of nFrames: its file, the output's name with "-kkk"
// before the extension ("turn.png" -> "turn-007.png"), and its longitude, the
// whole degree nearest to nLongitude + k * 360 / nFrames.
std::string TurntableFrameName(const std::string& sOutput, int k);
int TurntableLongitude(int nLongitude, int k, int nFrames);

// The usage text printed by --help.
const char* RenderUsage();

// Strict integer parsing: optional sign and decimal digits only, within
// [nMin, nMax]. False for anything else.
bool ParseWholeNumber(const std::string& sText, long long nMin, long long nMax, int& nValue);

// "x0,x1,y0,y1,z0,z1": whole voxel numbers, each minimum at least 0 and at
// most its maximum.
bool ParseCropBox(const std::string& sText, CropBox& box);

// "WxH" with both sides in 1..RENDER_MAX_SIZE.
bool ParseSize(const std::string& sText, int& nWidth, int& nHeight);
