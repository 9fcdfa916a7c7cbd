#include "headless/RenderOptions.h"

#include "headless/Image.h"

#include "engine/CompositingModes.h"
#include "render/Orientation.h"
#include "render/RenderState.h"
#include "render/SliceView.h"
#include "transfer/Presets.h"
#include "volume/Volume.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char kUsage[] =
    "usage: orvex-render DATASET -o OUT.(pfm|png) [options]\n"
    "DATASET: a RAW dataset (.dat), NIfTI (.nii, .nii.gz, .hdr/.img), NRRD (.nrrd, .nhdr),\n"
    "MetaImage (.mha, .mhd), a DICOM file or folder (opens its whole series), or a bare\n"
    "RAW file with --raw-size and --raw-type.\n"
    "  --tf FILE.trf                       transfer function (default: all-zero table for a\n"
    "                                      .dat, the preset fit for a scan)\n"
    "  --preset NAME                       instead of --tf, a transfer function fitted to the\n"
    "                                      dataset, NAME one of:%p\n"
    "  --size WxH                          client size, default 692x448\n"
    "  --mode volume|slice                 default volume\n"
    "  --type %s default levoy\n"
    "  --sampling trilinear|nearest|bilinear   volume default trilinear; slice: "
    "nearest|bilinear, default nearest\n"
    "  --longitude DEG --latitude DEG      whole degrees, defaults 0 and 90\n"
    "  --view %v\n"
    "                                      that side of the patient toward the viewer (the\n"
    "                                      render window's keys 1..6): sets both angles\n"
    "  --zoom F --pan X,Y                  zoom 0.25..16 about the picture's centre (default 1),\n"
    "                                      then pan by X, Y pixels to the right and down\n"
    "  --lower N --upper N                 First Hit thresholds in the dataset's units: a .dat's\n"
    "                                      0..4095 (defaults 0 and 4095), a scan's own units\n"
    "                                      (defaults Otsu's threshold and its largest value)\n"
    "  --plane xy|xz|yz --slice N          slice mode, defaults xy and 0 (a scan: its middle)\n"
    "  --threads N                         casting threads, 0 (default): one per hardware "
    "thread\n"
    "  --skipping on|off                   empty-space skipping, default on (same picture)\n"
    "  --crop X0,X1,Y0,Y1,Z0,Z1            volume: render only the voxels X0..X1, Y0..Y1,\n"
    "                                      Z0..Z1 (inclusive, counted from 0); default all\n"
    "  --turntable N                       N volume pictures OUT-000 .. turning the longitude\n"
    "                                      by 360/N each (N 1..360); --mode volume only\n"
    "  --raw-size XxYxZ --raw-type T       bare RAW: dimensions and value type, T one of uint8,\n"
    "                                      int8, uint16, int16, uint32, int32, float32, float64\n"
    "  --raw-endian little|big             bare RAW byte order, default little\n"
    "  --raw-header BYTES                  bare RAW: bytes to skip before the values, default 0\n"
    "  --raw-spacing X,Y,Z                 bare RAW voxel size, default 1,1,1\n"
    "A bare RAW file must be exactly header + X*Y*Z values long.\n"
    "Writes a W x H image, row 0 the top row of the window: PFM holds the unclamped\n"
    "float colours, PNG clamps them to 0..1. The renderer's progress lines go to stderr.\n";

// An option whose value is one word of a list: its index there is the choice.
struct ChoiceOption {
    const char* pName;
    std::array<const char*, 3> words; // unused places null
    const char* pExpected;
};

constexpr ChoiceOption kChoiceOptions[] = {
    {"--mode", {"volume", "slice"}, "volume or slice"},
    {"--sampling", {"trilinear", "nearest", "bilinear"}, "trilinear, nearest or bilinear"},
    {"--plane", {"xy", "xz", "yz"}, "xy, xz or yz"},
    {"--skipping", {"off", "on"}, "on or off"},
    {"--raw-endian", {"little", "big"}, "little or big"},
};

// Index of sText among the option's words, or -1.
int Choice(const std::string& sText, const ChoiceOption& option) {
    for (size_t i = 0; i < option.words.size(); ++i) {
        if (option.words[i] && sText == option.words[i])
            return static_cast<int>(i);
    }
    return -1;
}

// The presets' words: "ct-bone, ct-skin, ..., fit".
std::string PresetWords() {
    std::string sWords;
    for (const TransferPresetName& preset : TRANSFER_PRESETS)
        sWords += (sWords.empty() ? "" : ", ") + std::string(preset.pWord);
    return sWords;
}

// A finite decimal number, as strtod reads it, with nothing else around it.
bool ParseNumber(const std::string& sText, double& d) {
    if (sText.empty() || std::isspace(static_cast<unsigned char>(sText[0])))
        return false;
    char* pEnd = nullptr;
    d = std::strtod(sText.c_str(), &pEnd);
    return pEnd == sText.c_str() + sText.size() && std::isfinite(d);
}

} // namespace

const char* RenderUsage() {
    // The compositing modes' words, "levoy|xray|firsthit|mip|minip", padded to
    // the column of the explanations.
    static const std::string sUsage = [] {
        std::string sTypes;
        for (const CompositingMode& mode : COMPOSITING_MODES)
            sTypes += (sTypes.empty() ? "" : "|") + std::string(mode.pWord);
        if (sTypes.size() > 28)
            sTypes += "\n" + std::string(37, ' '); // the explanation on a line of its own
        else
            sTypes.resize(28, ' ');
        std::string sViews;
        for (const ViewPreset& preset : VIEW_PRESETS)
            sViews += (sViews.empty() ? "" : "|") + std::string(preset.pWord);
        std::string sText = kUsage;
        sText.replace(sText.find("%s"), 2, sTypes);
        // The presets' words, wrapped at 80 columns below the explanation.
        std::string sWords;
        size_t nColumn = 80;
        for (const TransferPresetName& preset : TRANSFER_PRESETS) {
            const std::string sWord = std::string(" ") + preset.pWord + ",";
            if (nColumn + sWord.size() > 80) {
                sWords += "\n" + std::string(37, ' ');
                nColumn = 37;
            }
            sWords += sWord;
            nColumn += sWord.size();
        }
        sWords.pop_back();
        sText.replace(sText.find("%v"), 2, sViews);
        return sText.replace(sText.find("%p"), 2, sWords);
    }();
    return sUsage.c_str();
}

bool ParseWholeNumber(const std::string& sText, long long nMin, long long nMax, int& nValue) {
    if (sText.empty() || sText.size() > 18)
        return false;
    size_t i = 0;
    if (sText[0] == '-' || sText[0] == '+')
        i = 1;
    if (i == sText.size())
        return false;
    long long n = 0;
    for (; i < sText.size(); ++i) {
        const char c = sText[i];
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    if (sText[0] == '-')
        n = -n;
    if (n < nMin || n > nMax)
        return false;
    nValue = int(n);
    return true;
}

bool ParseCropBox(const std::string& sText, CropBox& box) {
    int limits[6];
    size_t nStart = 0;
    for (int i = 0; i < 6; ++i) {
        const size_t nComma = i < 5 ? sText.find(',', nStart) : sText.size();
        if (nComma == std::string::npos ||
            !ParseWholeNumber(sText.substr(nStart, nComma - nStart), 0, INT_MAX, limits[i]))
            return false;
        nStart = nComma + 1;
    }
    for (int a = 0; a < 3; ++a) {
        if (limits[2 * a] > limits[2 * a + 1])
            return false;
        box.nMin[a] = limits[2 * a];
        box.nMax[a] = limits[2 * a + 1];
    }
    return true;
}

bool ParseSize(const std::string& sText, int& nWidth, int& nHeight) {
    const size_t nX = sText.find_first_of("xX");
    if (nX == std::string::npos)
        return false;
    const std::string sW = sText.substr(0, nX);
    const std::string sH = sText.substr(nX + 1);
    // Digits only: no signs inside a size.
    if (sW.empty() || sH.empty() || sW.find_first_not_of("0123456789") != std::string::npos ||
        sH.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return ParseWholeNumber(sW, 1, RENDER_MAX_SIZE, nWidth) &&
           ParseWholeNumber(sH, 1, RENDER_MAX_SIZE, nHeight);
}

RenderParseResult ParseRenderOptions(const std::vector<std::string>& args, RenderOptions& options,
                                     std::string& sError) {
    options = RenderOptions();
    std::string sMode = "volume";
    std::string sSampling;
    bool bHaveDataset = false;
    bool bHaveOutput = false;
    bool bHaveRawSize = false;
    bool bHaveRawType = false;
    bool bRawDetail = false; // --raw-endian, --raw-header or --raw-spacing
    bool bAngles = false;    // --longitude or --latitude
    const ViewPreset* pView = nullptr;

    for (size_t i = 0; i < args.size(); ++i) {
        std::string sArg = args[i];
        if (sArg == "-h" || sArg == "--help")
            return RENDER_PARSE_HELP;
        if (sArg.size() < 2 || sArg[0] != '-') {
            if (bHaveDataset) {
                sError =
                    "more than one dataset given ('" + options.sDataset + "' and '" + sArg + "')";
                return RENDER_PARSE_ERROR;
            }
            options.sDataset = sArg;
            bHaveDataset = true;
            continue;
        }
        // Every option takes one value, either as the next argument or after '='.
        std::string sValue;
        bool bInline = false;
        const size_t nEq = sArg.find('=');
        if (sArg.rfind("--", 0) == 0 && nEq != std::string::npos) {
            sValue = sArg.substr(nEq + 1);
            sArg = sArg.substr(0, nEq);
            bInline = true;
        }
        static const char* const kOptions[] = {"-o",           "--output",     "--tf",
                                               "--preset",     "--size",       "--mode",
                                               "--type",       "--sampling",   "--longitude",
                                               "--latitude",   "--lower",      "--upper",
                                               "--plane",      "--slice",      "--threads",
                                               "--skipping",   "--raw-size",   "--raw-type",
                                               "--raw-endian", "--raw-header", "--raw-spacing",
                                               "--view",       "--crop",       "--turntable",
                                               "--zoom",       "--pan"};
        bool bKnown = false;
        for (const char* p : kOptions)
            bKnown = bKnown || sArg == p;
        if (!bKnown) {
            sError = "unknown option '" + sArg + "' (see --help)";
            return RENDER_PARSE_ERROR;
        }
        if (!bInline) {
            if (i + 1 >= args.size()) {
                sError = "option '" + sArg + "' needs a value";
                return RENDER_PARSE_ERROR;
            }
            sValue = args[++i];
        }
        auto bad = [&](const std::string& sWhat) {
            sError = "bad value '" + sValue + "' for " + sArg + ": " + sWhat;
            return RENDER_PARSE_ERROR;
        };

        // The options that take a whole number in a range.
        static const struct {
            const char* pName;
            long long nMin, nMax;
            int RenderOptions::*pValue;
            const char* pExpected;
        } kWholeNumbers[] = {
            {"--longitude", -1000000, 1000000, &RenderOptions::nLongitude, "whole degrees"},
            {"--latitude", -1000000, 1000000, &RenderOptions::nLatitude, "whole degrees"},
            {"--slice", INT_MIN, INT_MAX, &RenderOptions::nSlice, "a whole slice number"},
        };
        const auto pWhole = std::find_if(std::begin(kWholeNumbers), std::end(kWholeNumbers),
                                         [&](const auto& w) { return sArg == w.pName; });
        const auto pChoice = std::find_if(std::begin(kChoiceOptions), std::end(kChoiceOptions),
                                          [&](const auto& c) { return sArg == c.pName; });
        const int nChoice = pChoice != std::end(kChoiceOptions) ? Choice(sValue, *pChoice) : -1;
        if (pChoice != std::end(kChoiceOptions) && nChoice < 0)
            return bad(std::string("expected ") + pChoice->pExpected);
        if (pWhole != std::end(kWholeNumbers)) {
            if (!ParseWholeNumber(sValue, pWhole->nMin, pWhole->nMax, options.*pWhole->pValue))
                return bad(std::string("expected ") + pWhole->pExpected);
            bAngles = bAngles || sArg == "--longitude" || sArg == "--latitude";
            options.bSliceGiven = options.bSliceGiven || sArg == "--slice";
        } else if (sArg == "--lower" || sArg == "--upper") {
            double d = 0.0;
            if (!ParseNumber(sValue, d))
                return bad("expected a number");
            (sArg == "--lower" ? options.sLower : options.sUpper) = sValue;
        } else if (sArg == "--zoom") {
            if (!ParseNumber(sValue, options.zoom.dZoom) || options.zoom.dZoom < ZOOM_MIN ||
                options.zoom.dZoom > ZOOM_MAX)
                return bad("expected a zoom factor 0.25..16");
        } else if (sArg == "--pan") {
            const size_t nComma = sValue.find(',');
            if (nComma == std::string::npos ||
                !ParseNumber(sValue.substr(0, nComma), options.zoom.dPanX) ||
                !ParseNumber(sValue.substr(nComma + 1), options.zoom.dPanY))
                return bad("expected X,Y in pixels");
        } else if (sArg == "--view") {
            pView = FindViewPreset(sValue);
            if (!pView)
                return bad("expected anterior, posterior, left, right, superior or inferior");
        } else if (sArg == "-o" || sArg == "--output") {
            if (!HasImageExtension(sValue))
                return bad("the output file name must end in .pfm or .png");
            options.sOutput = sValue;
            bHaveOutput = true;
        } else if (sArg == "--tf") {
            if (sValue.empty())
                return bad("expected a .trf file");
            options.sTransferFunction = sValue;
        } else if (sArg == "--preset") {
            options.nPreset = PresetOfWord(sValue.c_str());
            if (options.nPreset == PRESET_COUNT)
                return bad("expected one of " + PresetWords());
        } else if (sArg == "--size") {
            if (!ParseSize(sValue, options.nWidth, options.nHeight))
                return bad("expected WxH with each side 1.." + std::to_string(RENDER_MAX_SIZE));
        } else if (sArg == "--mode") {
            sMode = sValue;
        } else if (sArg == "--type") {
            const auto pMode =
                std::find_if(std::begin(COMPOSITING_MODES), std::end(COMPOSITING_MODES),
                             [&](const CompositingMode& mode) { return sValue == mode.pWord; });
            if (pMode == std::end(COMPOSITING_MODES)) {
                std::string sWords;
                for (int i = 0; i < COMPOSITING_MODE_COUNT; ++i)
                    sWords += std::string(i == 0                           ? ""
                                          : i + 1 < COMPOSITING_MODE_COUNT ? ", "
                                                                           : " or ") +
                              COMPOSITING_MODES[i].pWord;
                return bad("expected " + sWords);
            }
            options.nVolumeType = pMode->nType;
        } else if (sArg == "--sampling") {
            sSampling = sValue;
        } else if (sArg == "--plane") {
            options.nPlane = nChoice;
        } else if (sArg == "--threads") {
            if (!ParseWholeNumber(sValue, 0, MAX_RENDER_THREADS, options.nThreads))
                return bad("expected 0.." + std::to_string(MAX_RENDER_THREADS) +
                           " (0: one per hardware thread)");
        } else if (sArg == "--crop") {
            if (!ParseCropBox(sValue, options.crop))
                return bad("expected X0,X1,Y0,Y1,Z0,Z1, whole voxel numbers with each minimum "
                           "at most its maximum");
        } else if (sArg == "--turntable") {
            if (!ParseWholeNumber(sValue, 1, TURNTABLE_MAX_FRAMES, options.nTurntable))
                return bad("expected a frame count 1.." + std::to_string(TURNTABLE_MAX_FRAMES));
        } else if (sArg == "--skipping") {
            options.bSkipping = nChoice == 1;
        } else if (sArg == "--raw-size") {
            if (!ParseRawSize(sValue, options.raw))
                return bad("expected XxYxZ with each side 1..32767");
            bHaveRawSize = true;
        } else if (sArg == "--raw-type") {
            if (!ParseVoxelType(sValue, options.raw.eType))
                return bad(
                    "expected uint8, int8, uint16, int16, uint32, int32, float32 or float64");
            bHaveRawType = true;
        } else if (sArg == "--raw-endian") {
            options.raw.bBigEndian = nChoice == 1;
            bRawDetail = true;
        } else if (sArg == "--raw-header") {
            if (!ParseRawHeader(sValue, options.raw.nHeaderBytes))
                return bad("expected a byte count 0.." + std::to_string(INT_MAX));
            bRawDetail = true;
        } else if (sArg == "--raw-spacing") {
            if (!ParseRawSpacing(sValue, options.raw.dSpacing))
                return bad("expected X,Y,Z with three positive numbers");
            bRawDetail = true;
        }
    }

    if (!bHaveDataset) {
        sError = "no dataset given (see --help)";
        return RENDER_PARSE_ERROR;
    }
    if (!bHaveOutput) {
        sError = "no output file given: use -o OUT.pfm or -o OUT.png";
        return RENDER_PARSE_ERROR;
    }
    if ((bHaveRawSize || bHaveRawType || bRawDetail) && !(bHaveRawSize && bHaveRawType)) {
        sError = "a bare RAW file needs both --raw-size and --raw-type";
        return RENDER_PARSE_ERROR;
    }
    if (options.nPreset >= 0 && !options.sTransferFunction.empty()) {
        sError = "--tf and --preset exclude each other";
        return RENDER_PARSE_ERROR;
    }
    if (pView && bAngles) {
        sError = "--view sets the longitude and the latitude: give either --view or the angles";
        return RENDER_PARSE_ERROR;
    }
    if (pView) {
        options.nLongitude = pView->nLongitude;
        options.nLatitude = pView->nLatitude;
    }
    options.bRaw = bHaveRawSize;
    options.bSlice = sMode == "slice";
    if (options.bSlice && options.nTurntable > 0) {
        sError = "--turntable turns the volume: it needs --mode volume";
        return RENDER_PARSE_ERROR;
    }
    // Code 0 is nearest neighbour in both modes; a slice defaults to it, a volume
    // to trilinear.
    const std::string sSmooth = options.bSlice ? "bilinear" : "trilinear";
    if (sSampling == "nearest" || (sSampling.empty() && options.bSlice))
        options.nSampling = 0;
    else if (sSampling == sSmooth || sSampling.empty())
        options.nSampling = 1;
    else {
        sError = "--sampling " + sSampling +
                 (options.bSlice ? " is not a slice sampling (nearest or bilinear)"
                                 : " is not a volume sampling (trilinear or nearest)");
        return RENDER_PARSE_ERROR;
    }
    return RENDER_PARSE_OK;
}

std::string TurntableFrameName(const std::string& sOutput, int k) {
    char number[16];
    std::snprintf(number, sizeof number, "-%03d", k);
    // Both image extensions are four characters long (".png", ".pfm").
    return sOutput.substr(0, sOutput.size() - 4) + number + sOutput.substr(sOutput.size() - 4);
}

int TurntableLongitude(int nLongitude, int k, int nFrames) {
    return nLongitude + static_cast<int>(std::lround(k * 360.0 / nFrames));
}

bool ResolveForDataset(RenderOptions& options, const CVolume& volume, std::string& sError) {
    const VolumeSource& source = volume.m_Source;
    const bool bScan = source.IsScan();
    const struct {
        const std::string& sText;
        const char* pName;
        int& nValue;
        int nDefault;
    } thresholds[] = {
        {options.sLower, "--lower", options.nLowerThreshold,
         bScan ? OtsuThreshold(volume.m_Histogram) : 0},
        {options.sUpper, "--upper", options.nUpperThreshold, 4095},
    };
    for (const auto& t : thresholds) {
        if (t.sText.empty()) {
            t.nValue = t.nDefault;
            continue;
        }
        double d = 0.0;
        ParseNumber(t.sText, d);
        if (!bScan) {
            if (!ParseWholeNumber(t.sText, 0, 4095, t.nValue)) {
                sError = "bad value '" + t.sText + "' for " + t.pName + ": a voxel value 0..4095";
                return false;
            }
            continue;
        }
        t.nValue = static_cast<int>(std::clamp(std::lround(source.FromScan(d)), 0L, 4095L));
    }
    const int dims[3] = {volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ};
    if (!(options.crop.Clamped(dims) == options.crop) && !(options.crop == CropBox())) {
        sError = "--crop reaches outside the dataset's voxels 0.." + std::to_string(dims[0] - 1) +
                 ", 0.." + std::to_string(dims[1] - 1) + ", 0.." + std::to_string(dims[2] - 1);
        return false;
    }
    if (bScan && !options.bSliceGiven)
        options.nSlice = MiddleSlice(volume, options.nPlane);
    if (bScan && options.nPreset < 0 && options.sTransferFunction.empty())
        options.nPreset = PRESET_FIT_TO_DATA;
    return true;
}
