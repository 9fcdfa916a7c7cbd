// orvex-bench: times the progressive volume renderer on a synthetic 256^3 volume
// and on the sample phantom, for every compositing type and both samplings, with
// one casting thread and with two (or the counts given): the whole run to
// "finished", the end of step 6 (the first complete 32 x 32 picture), rays and
// samples per second, the stop latency while a run is busy, and the peak memory;
// then the same figures while the user turns the view with the picture shown.
// Prints the tables, the speed-up from one thread to the others, and the speed
// targets.
#include "headless/Headless.h"
#include "headless/Phantom.h"
#include "headless/RenderOptions.h"
#include "headless/Timing.h"

#include "engine/CompositingModes.h"
#include "render/RenderState.h"
#include "volume/Volume.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include <fcntl.h>

#ifndef ORVEX_SAMPLE_DIR
#define ORVEX_SAMPLE_DIR "sample"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Format(const Stats& s, int nDecimals) {
    if (!s.bValid)
        return "-";
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.*f / %.*f / %.*f", nDecimals, s.dMin, nDecimals,
                  s.dMedian, nDecimals, s.dMax);
    return buffer;
}

// Peak resident memory of the process in MiB (VmHWM), and its reset.
double PeakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    std::string sLine;
    while (std::getline(status, sLine)) {
        if (sLine.rfind("VmHWM:", 0) == 0)
            return std::atof(sLine.c_str() + 6) / 1024.0;
    }
    return 0.0;
}

// The system's load averages (1, 5 and 15 minutes), as a hint whether other work
// shared the cores while measuring: the thread speed-ups need idle cores.
std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    std::string s1, s5, s15;
    if (!(loadavg >> s1 >> s5 >> s15))
        return "unknown";
    return s1 + " " + s5 + " " + s15;
}

void ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// The diagnostic lines of thousands of runs are not wanted on the terminal, and
// writing them would only add to the times; they are dropped while measuring.
class CQuietStderr {
public:
    explicit CQuietStderr(bool bQuiet) {
        if (!bQuiet)
            return;
        std::fflush(stderr);
        m_nSaved = dup(2);
        const int nNull = open("/dev/null", O_WRONLY);
        if (nNull >= 0) {
            dup2(nNull, 2);
            close(nNull);
        }
    }
    ~CQuietStderr() {
        if (m_nSaved < 0)
            return;
        std::fflush(stderr);
        dup2(m_nSaved, 2);
        close(m_nSaved);
    }

private:
    int m_nSaved = -1;
};

struct Settings {
    int nRuns = 7;
    int nStops = 10;
    int nWidth = 692;
    int nHeight = 448;
    std::string sPhantom = ORVEX_SAMPLE_DIR "/phantom.dat";
    std::string sTransferFunction = ORVEX_SAMPLE_DIR "/default.trf";
    bool bVerbose = false;
    std::vector<int> threads = {1, 2}; // casting threads, each configuration at each
    bool bSkipping = true;             // empty-space skipping
};

struct Row {
    std::string sDataset;
    int nType = 0;
    int nSampling = 0;
    int nThreads = 1;
    Stats whole, step6, stop;
    double dRaysPerSecond = 0;    // median run
    double dSamplesPerSecond = 0; // median run, N positions per ray
    double dPeakMiB = 0;
    int nStopsMeasured = 0;
};

const char* const kSamplingNames[] = {"nearest", "trilinear"};

// Starts a run, lets it work for dDelayMs, stops it and returns the time from the
// call of StopProgressiveThread until the run has ended; negative when the run
// was not busy any more (it had copied its last step, nFullRepaints).
double TimeStop(CHeadlessViewer& viewer, double dDelayMs, int nFullRepaints) {
    CHeadlessRenderState& state = viewer.State();
    std::atomic<int> nRepaints{0};
    state.m_OnRepaint = [&] { ++nRepaints; };
    state.StartProgressiveThread();
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(dDelayMs));
    double dLatency = -1;
    if (state.m_hThreadRunning.IsSet() && nRepaints < nFullRepaints) {
        const Clock::time_point t = Clock::now();
        if (state.StopProgressiveThread() != 0) {
            // Timed out after 100 ms: measure on until the run has ended.
            while (!state.m_hThreadEnded.Wait(1)) {
            }
        }
        dLatency = Milliseconds(Clock::now() - t);
    }
    state.WaitForWorkerEnd();
    state.m_OnRepaint = nullptr;
    return nRepaints < nFullRepaints ? dLatency : -1.0;
}

// A turn with the picture shown, as a drag hands the renderer its angles: a new
// longitude every frame of 60 per second. Each angle first stops the run of the
// one before (the stop latency), then starts a run that refines as far as the
// frame budget allows; the end of its step 6 is timed from that start.
struct TurnRow {
    int nThreads = 1;
    Stats step6, stop, start, shown;
    int nFrames = 0, nStep6Frames = 0;
};

TurnRow MeasureTurning(CHeadlessViewer& viewer, int nThreads, const Settings& settings) {
    constexpr int FRAMES = 120;
    const auto frame = std::chrono::microseconds(16667);
    CHeadlessRenderState& state = viewer.State();
    viewer.SetVolumeSettings(settings.nWidth, settings.nHeight, VOLUME_TYPE_LEVOY, 1, 0, 90, 0,
                             4095);
    state.SetEmptySpaceSkipping(settings.bSkipping);
    state.SetRenderThreads(nThreads);
    state.SetRenderMode(RENDER_MODE_VOLUME); // a whole run, as before a drag
    state.WaitForWorkerEnd();
    state.SetPictureWhileTurning(true);
    state.BeginInteraction();
    std::atomic<int> nRepaints{0};
    std::atomic<long long> nStart{0}, nStep6{-1};
    state.m_OnRepaint = [&] {
        if (++nRepaints == 6)
            nStep6 = Clock::now().time_since_epoch().count() - nStart;
    };
    std::vector<double> step6, stops, starts, shown;
    TurnRow row;
    row.nThreads = nThreads;
    const auto endRun = [&] {
        if (state.m_hThreadRunning.IsSet()) {
            const Clock::time_point t = Clock::now();
            if (state.StopProgressiveThread() != 0)
                while (!state.m_hThreadEnded.Wait(1)) {
                }
            stops.push_back(Milliseconds(Clock::now() - t));
        }
        if (nStep6 >= 0) {
            step6.push_back(Milliseconds(Clock::duration(nStep6.load())));
            ++row.nStep6Frames;
        }
        shown.push_back(nRepaints);
    };
    for (int i = 1; i <= FRAMES; ++i) {
        const Clock::time_point tFrame = Clock::now();
        if (i > 1)
            endRun();
        nRepaints = 0;
        nStep6 = -1;
        nStart = Clock::now().time_since_epoch().count();
        state.SetLongitude(2 * i); // stops nothing: the run is over
        starts.push_back(Milliseconds(Clock::now() - Clock::time_point(Clock::duration(nStart))));
        std::this_thread::sleep_until(tFrame + frame);
    }
    endRun();
    state.m_OnRepaint = nullptr;
    state.EndInteraction();
    state.WaitForWorkerEnd();
    state.SetPictureWhileTurning(false);
    state.SetRenderMode(RENDER_MODE_NONE);
    row.nFrames = FRAMES;
    row.step6 = Summarise(step6);
    row.stop = Summarise(stops);
    row.start = Summarise(starts);
    row.shown = Summarise(shown);
    return row;
}

// One configuration at every thread count. The whole runs of the thread counts
// take turns (1, 2, 1, 2, ...), so that other work on the machine falls on all
// of them alike; the stops and the peak memory follow per thread count.
std::vector<Row> MeasureConfiguration(CHeadlessViewer& viewer, const std::string& sDataset,
                                      int nType, int nSampling, const Settings& settings) {
    viewer.SetVolumeSettings(settings.nWidth, settings.nHeight, nType, nSampling, 0, 90, 0, 4095);
    viewer.State().SetEmptySpaceSkipping(settings.bSkipping);
    const size_t nCounts = settings.threads.size();
    std::vector<Row> rows(nCounts);
    std::vector<std::vector<double>> whole(nCounts), step6(nCounts), rays(nCounts);
    std::vector<int> nFullRepaints(nCounts, 0);
    for (int i = 0; i < settings.nRuns; ++i) {
        for (size_t c = 0; c < nCounts; ++c) {
            viewer.State().SetRenderThreads(settings.threads[c]);
            const RunTimes t = TimeWholeRun(viewer);
            nFullRepaints[c] = std::max(nFullRepaints[c], t.nRepaints);
            if (t.dFinished > 0) {
                whole[c].push_back(t.dFinished);
                rays[c].push_back(double(t.nRays) / (t.dFinished / 1000.0));
            }
            if (t.dStep6 >= 0)
                step6[c].push_back(t.dStep6);
        }
    }
    const CVolume& volume = *viewer.Volume();
    const double diag = std::sqrt(double(volume.m_nDimX) * volume.m_nDimX +
                                  double(volume.m_nDimY) * volume.m_nDimY +
                                  double(volume.m_nDimZ) * volume.m_nDimZ);
    for (size_t c = 0; c < nCounts; ++c) {
        Row& row = rows[c];
        row.sDataset = sDataset;
        row.nType = nType;
        row.nSampling = nSampling;
        row.nThreads = settings.threads[c];
        viewer.State().SetRenderThreads(row.nThreads);
        ResetPeakMemory();
        row.whole = Summarise(whole[c]);
        row.step6 = Summarise(step6[c]);
        row.dRaysPerSecond = Summarise(rays[c]).dMedian;
        row.dSamplesPerSecond = row.dRaysPerSecond * std::floor(diag);

        // Stops spread over the whole run, so that some fall into a step's copy.
        std::vector<double> stops;
        const double dRunMs = row.whole.bValid ? row.whole.dMedian : 100.0;
        for (int i = 0; i < settings.nStops; ++i) {
            const double dDelay = dRunMs * (0.05 + 0.9 * (i + 0.5) / settings.nStops);
            const double dLatency = TimeStop(viewer, dDelay, nFullRepaints[c]);
            if (dLatency >= 0)
                stops.push_back(dLatency);
        }
        row.stop = Summarise(stops);
        row.nStopsMeasured = int(stops.size());
        row.dPeakMiB = PeakMemoryMiB();
    }
    return rows;
}

void PrintRow(const Row& r) {
    const std::string sStop = Format(r.stop, 2) + " (" + std::to_string(r.nStopsMeasured) + ")";
    std::printf("%-10s %-9s %-9s %7d %-24s %-21s %8.2f %10.1f %-26s %7.0f\n", r.sDataset.c_str(),
                COMPOSITING_MODES[r.nType].pName, kSamplingNames[r.nSampling], r.nThreads,
                Format(r.whole, 1).c_str(), Format(r.step6, 1).c_str(), r.dRaysPerSecond / 1e6,
                r.dSamplesPerSecond / 1e6, sStop.c_str(), r.dPeakMiB);
    std::fflush(stdout);
}

const Row* Find(const std::vector<Row>& rows, const std::string& sDataset, int nType, int nSampling,
                int nThreads) {
    for (const Row& r : rows)
        if (r.sDataset == sDataset && r.nType == nType && r.nSampling == nSampling &&
            r.nThreads == nThreads)
            return &r;
    return nullptr;
}

void PrintTarget(const char* pWhat, double dValue, const char* pTarget, bool bMet) {
    std::printf("  %-62s %9.2f  %-10s %s\n", pWhat, dValue, pTarget, bMet ? "met" : "MISSED");
}

int Usage() {
    std::fputs("usage: orvex-bench [--runs N] [--stops N] [--size WxH] [--phantom FILE.dat]\n"
               "                   [--tf FILE.trf] [--threads N,N,...] [--skipping on|off]\n"
               "                   [--verbose]\n"
               "  --runs N            whole runs per configuration (default 7)\n"
               "  --stops N           stop-latency runs per configuration (default 10)\n"
               "  --threads 1,2       casting threads, each configuration with each count\n"
               "                      (default 1,2; speed-ups are against the first)\n"
               "  --skipping on|off   empty-space skipping (default on; same pictures)\n"
               "  --verbose           keep the renderer's diagnostic lines on stderr\n",
               stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string sArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (sArg == "--verbose") {
            settings.bVerbose = true;
        } else if (sArg == "--runs" && bHasValue) {
            if (!ParseWholeNumber(argv[++i], 1, 1000, settings.nRuns))
                return Usage();
        } else if (sArg == "--stops" && bHasValue) {
            if (!ParseWholeNumber(argv[++i], 0, 1000, settings.nStops))
                return Usage();
        } else if (sArg == "--size" && bHasValue) {
            if (!ParseSize(argv[++i], settings.nWidth, settings.nHeight))
                return Usage();
        } else if (sArg == "--phantom" && bHasValue) {
            settings.sPhantom = argv[++i];
        } else if (sArg == "--tf" && bHasValue) {
            settings.sTransferFunction = argv[++i];
        } else if (sArg == "--threads" && bHasValue) {
            if (!ParseThreadList(argv[++i], settings.threads))
                return Usage();
        } else if (sArg == "--skipping" && bHasValue) {
            const std::string sValue = argv[++i];
            if (sValue != "on" && sValue != "off")
                return Usage();
            settings.bSkipping = sValue == "on";
        } else {
            return Usage();
        }
    }

    const unsigned nCores = std::thread::hardware_concurrency();
    std::string sThreads;
    for (int n : settings.threads)
        sThreads += (sThreads.empty() ? "" : ", ") + std::to_string(n);
    std::printf("orvex-bench: %dx%d client, %s casting threads, %u cores, empty-space skipping "
                "%s, %d whole runs and %d stops per row\n",
                settings.nWidth, settings.nHeight, sThreads.c_str(), nCores,
                settings.bSkipping ? "on" : "off", settings.nRuns, settings.nStops);
    std::printf("times in ms as min / median / max; rays/s and samples/s (N = trunc(diagonal) "
                "positions per ray) of the median run; load average %s\n\n",
                LoadAverage().c_str());
    std::printf("%-10s %-9s %-9s %7s %-24s %-21s %8s %10s %-26s %7s\n", "dataset", "type",
                "sampling", "threads", "whole run ms", "end of step 6 ms", "Mrays/s", "Msamples/s",
                "stop latency ms (stops)", "peak MiB");

    // The synthetic volume goes through a file like any dataset.
    const std::filesystem::path wavePath =
        std::filesystem::temp_directory_path() /
        ("orvex-bench-wave-" + std::to_string(getpid()) + ".dat");
    if (!WriteRawDataset(wavePath.string(), 256, 256, 256, MakeWaveVolume(256))) {
        std::fprintf(stderr, "orvex-bench: cannot write '%s'\n", wavePath.c_str());
        return 1;
    }

    std::vector<Row> rows;
    int nResult = 0;
    {
        CHeadlessViewer viewer;
        std::string sError;
        if (!viewer.LoadTransferFunction(settings.sTransferFunction, sError)) {
            std::fprintf(stderr, "orvex-bench: %s\n", sError.c_str());
            nResult = 1;
        }
        // The phantom first: its figures are the targets'.
        const std::pair<std::string, std::string> datasets[] = {{"phantom", settings.sPhantom},
                                                                {"wave 256^3", wavePath.string()}};
        for (const auto& [sName, sPath] : datasets) {
            if (nResult != 0)
                break;
            if (!viewer.LoadDataset(sPath, sError)) {
                std::fprintf(stderr, "orvex-bench: %s\n", sError.c_str());
                nResult = 1;
                break;
            }
            for (int nType = 0; nType < COMPOSITING_MODE_COUNT; ++nType) {
                for (int nSampling : {1, 0}) {
                    std::vector<Row> measured;
                    {
                        CQuietStderr quiet(!settings.bVerbose);
                        measured = MeasureConfiguration(viewer, sName, nType, nSampling, settings);
                    }
                    for (const Row& row : measured) {
                        PrintRow(row);
                        rows.push_back(row);
                    }
                }
            }
            if (sName != "phantom")
                std::filesystem::remove(wavePath);
        }
    }
    std::vector<TurnRow> turns;
    if (nResult == 0) {
        CHeadlessViewer viewer;
        std::string sError;
        if (!viewer.LoadTransferFunction(settings.sTransferFunction, sError) ||
            !viewer.LoadDataset(settings.sPhantom, sError)) {
            std::fprintf(stderr, "orvex-bench: %s\n", sError.c_str());
            nResult = 1;
        }
        if (nResult == 0)
            std::printf("\nturning with the picture shown (phantom, Levoy trilinear, a new angle "
                        "every 16.7 ms, frame budget %.0f ms):\n%7s %-21s %-21s %-21s %-14s %s\n",
                        viewer.State().m_dTurnBudget.load() * 1000.0, "threads", "end of step 6 ms",
                        "stop latency ms", "start of a run ms", "steps shown",
                        "frames with step 6");
        for (int nThreads : settings.threads) {
            if (nResult != 0)
                break;
            TurnRow row;
            {
                CQuietStderr quiet(!settings.bVerbose);
                row = MeasureTurning(viewer, nThreads, settings);
            }
            std::printf("%7d %-21s %-21s %-21s %-14s %d of %d\n", row.nThreads,
                        Format(row.step6, 2).c_str(), Format(row.stop, 2).c_str(),
                        Format(row.start, 2).c_str(), Format(row.shown, 0).c_str(),
                        row.nStep6Frames, row.nFrames);
            std::fflush(stdout);
            turns.push_back(row);
        }
    }
    std::error_code ignored;
    std::filesystem::remove(wavePath, ignored);
    if (nResult != 0)
        return nResult;

    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    // Speed-up of every configuration from the first thread count to the others.
    const int nBase = settings.threads.front();
    if (settings.threads.size() > 1) {
        std::printf("\nspeed-up of the whole run from %d thread%s (runs taking turns):\n", nBase,
                    nBase == 1 ? "" : "s");
        for (const Row& r : rows) {
            if (r.nThreads == nBase)
                continue;
            const Row* pBase = Find(rows, r.sDataset, r.nType, r.nSampling, nBase);
            if (!pBase || !pBase->whole.bValid || !r.whole.bValid)
                continue;
            std::printf("  %-10s %-9s %-9s %2d threads  median %8.1f ms -> %8.1f ms  %5.2fx"
                        "   best %8.1f ms -> %8.1f ms  %5.2fx\n",
                        r.sDataset.c_str(), COMPOSITING_MODES[r.nType].pName,
                        kSamplingNames[r.nSampling], r.nThreads, pBase->whole.dMedian,
                        r.whole.dMedian, pBase->whole.dMedian / r.whole.dMedian, pBase->whole.dMin,
                        r.whole.dMin, pBase->whole.dMin / r.whole.dMin);
        }
    }

    // One thread: the single-worker targets; the most threads: the time to the
    // first complete picture and the speed-up.
    const int nMost = *std::max_element(settings.threads.begin(), settings.threads.end());
    std::printf("\nspeed targets (phantom, %dx%d):\n", settings.nWidth, settings.nHeight);
    const Row* pLevoy = Find(rows, "phantom", 0, 1, 1);
    if (pLevoy && pLevoy->whole.bValid) {
        PrintTarget("Levoy trilinear whole run, 1 thread, median ms", pLevoy->whole.dMedian,
                    "<= 500", pLevoy->whole.dMedian <= 500.0);
    }
    if (pLevoy && pLevoy->step6.bValid) {
        PrintTarget("Levoy trilinear end of step 6, 1 thread, median ms", pLevoy->step6.dMedian,
                    "<= 50", pLevoy->step6.dMedian <= 50.0);
    }
    const Row* pMost = Find(rows, "phantom", 0, 1, nMost);
    if (pMost && pMost->step6.bValid) {
        char what[96];
        std::snprintf(what, sizeof what, "Levoy trilinear end of step 6, %d threads, median ms",
                      nMost);
        PrintTarget(what, pMost->step6.dMedian, "< 20", pMost->step6.dMedian < 20.0);
    }
    const Row* pTwo = Find(rows, "phantom", 0, 1, 2);
    if (pLevoy && pTwo && pLevoy->whole.bValid && pTwo->whole.bValid) {
        const double dSpeedUp = pLevoy->whole.dMedian / pTwo->whole.dMedian;
        PrintTarget("Levoy trilinear whole run, speed-up from 1 to 2 threads", dSpeedUp, ">= 1.8",
                    dSpeedUp >= 1.8);
    }
    double dWorstStop = 0;
    for (const Row& r : rows)
        if (r.stop.bValid)
            dWorstStop = std::max(dWorstStop, r.stop.dMax);
    PrintTarget("stop latency, worst of all rows, ms", dWorstStop, "< 20", dWorstStop < 20.0);
    for (const TurnRow& row : turns) {
        const auto target = [&](const char* pFigure, const Stats& figure, double dValue,
                                const char* pTarget, double dLimit) {
            char what[96];
            std::snprintf(what, sizeof what, "turning with the picture, %s, %d thread%s", pFigure,
                          row.nThreads, row.nThreads == 1 ? "" : "s");
            if (figure.bValid)
                PrintTarget(what, dValue, pTarget, dValue < dLimit);
        };
        target("end of step 6, median ms", row.step6, row.step6.dMedian, "< 20", 20.0);
        target("stop latency, worst ms", row.stop, row.stop.dMax, "< 2", 2.0);
    }
    for (int nThreads : settings.threads) {
        for (int nSampling : {1, 0}) {
            const Row* pBase = Find(rows, "phantom", 0, nSampling, nThreads);
            for (int nType : {1, 2}) {
                const Row* p = Find(rows, "phantom", nType, nSampling, nThreads);
                if (!pBase || !p || !pBase->whole.bValid || !p->whole.bValid)
                    continue;
                char what[96];
                std::snprintf(what, sizeof what, "%s %s whole run vs Levoy, %d thread%s, median ms",
                              COMPOSITING_MODES[nType].pName, kSamplingNames[nSampling], nThreads,
                              nThreads == 1 ? "" : "s");
                char target[32];
                std::snprintf(target, sizeof target, "<= %.1f", pBase->whole.dMedian);
                PrintTarget(what, p->whole.dMedian, target,
                            p->whole.dMedian <= pBase->whole.dMedian);
            }
        }
    }
    return 0;
}
