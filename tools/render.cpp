// orvex-render: renders what the viewer would show into a PFM or PNG file, for
// scripting, testing and benchmarking. Volume pictures come from the same worker
// and start/stop protocol as the render window; slices from the slice view's
// point computation.
#include "headless/Headless.h"
#include "headless/Image.h"
#include "headless/RenderOptions.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& sMessage) {
    std::fprintf(stderr, "orvex-render: %s\n", sMessage.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    RenderOptions options;
    std::string sError;
    switch (ParseRenderOptions(args, options, sError)) {
    case RENDER_PARSE_HELP:
        std::fputs(RenderUsage(), stdout);
        return 0;
    case RENDER_PARSE_ERROR:
        return Fail(sError);
    case RENDER_PARSE_OK:
        break;
    }

    if (!CanWriteFile(options.sOutput, sError))
        return Fail(sError);

    RgbImage image;
    {
        CHeadlessViewer viewer;
        if (!options.sTransferFunction.empty() &&
            !viewer.LoadTransferFunction(options.sTransferFunction, sError))
            return Fail(sError);
        if (!viewer.LoadDataset(options.sDataset, sError, options.bRaw ? &options.raw : nullptr))
            return Fail(sError);
        if (!ResolveForDataset(options, *viewer.Volume(), sError))
            return Fail(sError);
        if (options.nPreset >= 0)
            viewer.ApplyPreset(options.nPreset);
        if (options.bSlice) {
            image = viewer.RenderSlice(options.nWidth, options.nHeight, options.nPlane,
                                       options.nSlice, options.nSampling, options.zoom);
        } else {
            viewer.SetVolumeSettings(options.nWidth, options.nHeight, options.nVolumeType,
                                     options.nSampling, options.nLongitude, options.nLatitude,
                                     options.nLowerThreshold, options.nUpperThreshold,
                                     options.zoom);
            viewer.State().SetRenderThreads(options.nThreads);
            viewer.State().SetEmptySpaceSkipping(options.bSkipping);
            if (!viewer.RunVolume(sError))
                return Fail(sError);
            image = viewer.VolumePicture();
        }
    }
    if (!WriteImage(options.sOutput, image, sError))
        return Fail(sError);
    return 0;
}
