// orvex-render: renders what the viewer would show into a PFM or PNG file, for
// scripting, testing and benchmarking. Volume pictures come from the same worker
// and start/stop protocol as the render window; slices from the slice view's
// point computation.
#include "headless/Headless.h"
#include "headless/Image.h"
#include "headless/RenderOptions.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int Fail(const std::string& sMessage) {
    std::fprintf(stderr, "orvex-render: %s\n", sMessage.c_str());
    return 1;
}

// "Loading NAME … 45 %" on a terminal's stderr, rewritten in place; a final
// newline when the load ends. Nothing when stderr is not a terminal.
class CLoadProgress {
public:
    explicit CLoadProgress(const std::string& sPath)
        : m_sName(std::filesystem::path(sPath).filename().string()) {
        if (m_sName.empty())
            m_sName = sPath;
        if (isatty(2))
            m_Progress.progress = [this](double dFraction) { Show(dFraction); };
    }
    ~CLoadProgress() {
        if (m_nShown >= 0 && m_nShown < 100)
            std::fputc('\n', stderr);
    }
    CLoadProgress(const CLoadProgress&) = delete;
    CLoadProgress& operator=(const CLoadProgress&) = delete;
    const ImportProgress* Hooks() const { return &m_Progress; }

private:
    void Show(double dFraction) {
        const int nPercent = static_cast<int>(dFraction * 100.0);
        if (nPercent == m_nShown)
            return;
        m_nShown = nPercent;
        std::fprintf(stderr, "\rLoading %s \u2026 %d %%%s", m_sName.c_str(), nPercent,
                     nPercent < 100 ? "" : "\n");
        std::fflush(stderr);
    }
    std::string m_sName;
    ImportProgress m_Progress;
    int m_nShown = -1;
};

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

    const bool bTurntable = options.nTurntable > 0;
    if (!CanWriteFile(bTurntable ? TurntableFrameName(options.sOutput, 0) : options.sOutput,
                      sError))
        return Fail(sError);

    {
        CHeadlessViewer viewer;
        if (!options.sTransferFunction.empty() &&
            !viewer.LoadTransferFunction(options.sTransferFunction, sError))
            return Fail(sError);
        bool bLoaded = false;
        {
            const CLoadProgress progress(options.sDataset);
            bLoaded = viewer.LoadDataset(options.sDataset, sError,
                                         options.bRaw ? &options.raw : nullptr, progress.Hooks());
        }
        if (!bLoaded)
            return Fail(sError);
        if (!ResolveForDataset(options, *viewer.Volume(), sError))
            return Fail(sError);
        if (options.nPreset >= 0)
            viewer.ApplyPreset(options.nPreset);
        if (options.bSlice) {
            const RgbImage image =
                viewer.RenderSlice(options.nWidth, options.nHeight, options.nPlane, options.nSlice,
                                   options.nSampling, options.zoom);
            return WriteImage(options.sOutput, image, sError) ? 0 : Fail(sError);
        }
        // A turntable's frames side by side, each cast by one thread of its own
        // viewer over the shared dataset: on two cores faster than one frame
        // after the other with every core (which waits at every step's end for
        // the slowest lane, and has little to share out in the coarse steps).
        const int nFrames = std::max(1, options.nTurntable);
        const int nLanes =
            std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, nFrames);
        std::vector<std::unique_ptr<CHeadlessViewer>> helpers;
        for (int nLane = 1; nLane < nLanes; ++nLane) {
            helpers.push_back(std::make_unique<CHeadlessViewer>());
            helpers.back()->ShareDatasetOf(viewer);
        }
        std::mutex errorLock;
        std::string sFirstError;
        auto render = [&](CHeadlessViewer& lane, int nLane) {
            for (int k = nLane; k < nFrames; k += nLanes) {
                const int nLongitude = bTurntable
                                           ? TurntableLongitude(options.nLongitude, k, nFrames)
                                           : options.nLongitude;
                lane.State().SetCropBox(options.crop);
                lane.SetVolumeSettings(options.nWidth, options.nHeight, options.nVolumeType,
                                       options.nSampling, nLongitude, options.nLatitude,
                                       options.nLowerThreshold, options.nUpperThreshold,
                                       options.zoom);
                lane.State().SetRenderThreads(
                    nLanes > 1 && options.nThreads == 0 ? 1 : options.nThreads);
                lane.State().SetEmptySpaceSkipping(options.bSkipping);
                std::string sLaneError;
                if (!lane.RunVolume(sLaneError) ||
                    !WriteImage(bTurntable ? TurntableFrameName(options.sOutput, k)
                                           : options.sOutput,
                                lane.VolumePicture(), sLaneError)) {
                    const std::lock_guard<std::mutex> lock(errorLock);
                    if (sFirstError.empty())
                        sFirstError = sLaneError;
                    return;
                }
            }
        };
        std::vector<std::thread> threads;
        for (int nLane = 1; nLane < nLanes; ++nLane)
            threads.emplace_back(render, std::ref(*helpers[nLane - 1]), nLane);
        render(viewer, 0);
        for (std::thread& thread : threads)
            thread.join();
        if (!sFirstError.empty())
            return Fail(sFirstError);
    }
    return 0;
}
