// orvex-race-time: Orvex's side of the race against VTK. Loads a dataset and a
// transfer function once, then times whole progressive runs of the viewer's
// worker (the same start/stop protocol, through the headless render state) from
// StartProgressiveThread to the title "Render Output - finished", and the end of
// step 6 (the sixth repaint request), for each compositing type and casting
// thread count. The first run of each case is a warm-up, as VTK's first frame
// is: it pays for first touches of the image buffers and the shading cache (and
// for a new thread pool), and is reported apart. The end of that first run is
// also printed as a moment of the wall clock, so that the caller can tell the
// time from its start of the program to the first finished picture. A target of
// bench/CMakeLists.txt (ORVEX_BUILD_RACE), which bench/race turns on.
#include "headless/Headless.h"
#include "headless/Image.h"
#include "headless/RenderOptions.h"
#include "headless/Timing.h"

#include "engine/CompositingModes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "usage: orvex-race-time DATASET.dat TABLE.trf [--types levoy,xray,firsthit]\n"
    "                       [--sampling trilinear|nearest] [--size WxH] [--runs N]\n"
    "                       [--threads 1,2] [--skipping on|off] [--lower N] [--upper N]\n"
    "                       [--png-prefix PREFIX]\n"
    "Prints per type and thread count:\n"
    "  RESULT type sampling threads median min max step6 warm-up load cpu (ms;\n"
    "  cpu: the median processor time of the process per run, all threads),\n"
    "  and once FIRST: the end of the first run, in ms since 1970 (the wall clock).\n"
    "X-Ray always samples the nearest voxel; --sampling applies to Levoy and First Hit.\n"
    "PREFIX-TYPE-orvex.png receives the picture of the last run.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    const std::string sDataset = argv[1];
    const std::string sTable = argv[2];
    std::vector<int> types = {0, 1, 2};
    int nSampling = 1;
    int nWidth = 692, nHeight = 448;
    int nRuns = 5;
    int nLower = 0, nUpper = 4095;
    std::vector<int> threadCounts = {1};
    bool bSkipping = true;
    std::string sPngPrefix;
    for (int i = 3; i < argc; ++i) {
        const std::string sArg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const std::string sValue = argv[++i];
        bool bOk = true;
        if (sArg == "--types") {
            types.clear();
            size_t nStart = 0;
            while (bOk && nStart <= sValue.size()) {
                const size_t nEnd = std::min(sValue.find(',', nStart), sValue.size());
                const std::string sType = sValue.substr(nStart, nEnd - nStart);
                const auto* p =
                    std::find_if(std::begin(COMPOSITING_MODES), std::end(COMPOSITING_MODES),
                                 [&](const CompositingMode& m) { return sType == m.pWord; });
                bOk = p != std::end(COMPOSITING_MODES);
                if (bOk)
                    types.push_back(p->nType);
                nStart = nEnd + 1;
            }
        } else if (sArg == "--threads") {
            bOk = ParseThreadList(sValue, threadCounts);
        } else if (sArg == "--skipping") {
            bOk = sValue == "on" || sValue == "off";
            bSkipping = sValue == "on";
        } else if (sArg == "--sampling") {
            bOk = sValue == "trilinear" || sValue == "nearest";
            nSampling = sValue == "trilinear" ? 1 : 0;
        } else if (sArg == "--size") {
            bOk = ParseSize(sValue, nWidth, nHeight);
        } else if (sArg == "--runs") {
            bOk = ParseWholeNumber(sValue, 1, 1000, nRuns);
        } else if (sArg == "--lower") {
            bOk = ParseWholeNumber(sValue, 0, 4095, nLower);
        } else if (sArg == "--upper") {
            bOk = ParseWholeNumber(sValue, 0, 4095, nUpper);
        } else if (sArg == "--png-prefix") {
            sPngPrefix = sValue;
        } else {
            bOk = false;
        }
        if (!bOk)
            return Usage();
    }

    CHeadlessViewer viewer;
    std::string sError;
    const Clock::time_point tLoad = Clock::now();
    if (!viewer.LoadTransferFunction(sTable, sError) || !viewer.LoadDataset(sDataset, sError)) {
        std::fprintf(stderr, "orvex-race-time: %s\n", sError.c_str());
        return 1;
    }
    const double dLoad = std::chrono::duration<double, std::milli>(Clock::now() - tLoad).count();

    viewer.State().SetEmptySpaceSkipping(bSkipping);
    bool bFirstShown = false;
    for (int nType : types) {
        const int nTypeSampling = nType == 1 ? 0 : nSampling;
        viewer.SetVolumeSettings(nWidth, nHeight, nType, nTypeSampling, 0, 90, nLower, nUpper);
        for (int nThreads : threadCounts) {
            viewer.State().SetRenderThreads(nThreads);
            if (viewer.State().RenderThreadsForRun() != nThreads) {
                std::fprintf(stderr, "orvex-race-time: the worker refused %d threads\n", nThreads);
                return 1;
            }
            const RunTimes warmUp = TimeWholeRun(viewer);
            if (!bFirstShown) {
                const auto tNow = std::chrono::system_clock::now().time_since_epoch();
                std::printf("FIRST\t%.1f\n",
                            std::chrono::duration<double, std::milli>(tNow).count());
                bFirstShown = true;
            }
            std::vector<double> whole, step6, cpu;
            for (int i = 0; i < nRuns; ++i) {
                const RunTimes t = TimeWholeRun(viewer);
                if (t.dFinished < 0) {
                    std::fprintf(stderr, "orvex-race-time: a run did not finish\n");
                    return 1;
                }
                whole.push_back(t.dFinished);
                cpu.push_back(t.dCpu);
                if (t.dStep6 >= 0)
                    step6.push_back(t.dStep6);
            }
            const Stats w = Summarise(whole), s6 = Summarise(step6);
            char sStep6[32] = "-";
            if (s6.bValid)
                std::snprintf(sStep6, sizeof sStep6, "%.1f", s6.dMedian);
            std::printf("RESULT\t%s\t%s\t%d\t%.1f\t%.1f\t%.1f\t%s\t%.1f\t%.0f\t%.1f\n",
                        COMPOSITING_MODES[nType].pWord, nTypeSampling ? "trilinear" : "nearest",
                        nThreads, w.dMedian, w.dMin, w.dMax, sStep6, warmUp.dFinished, dLoad,
                        Summarise(cpu).dMedian);
            std::fflush(stdout);
        }
        if (!sPngPrefix.empty()) {
            const std::string sPath =
                sPngPrefix + "-" + COMPOSITING_MODES[nType].pWord + "-orvex.png";
            if (!WriteImage(sPath, viewer.VolumePicture(), sError)) {
                std::fprintf(stderr, "orvex-race-time: %s\n", sError.c_str());
                return 1;
            }
        }
    }
    return 0;
}
