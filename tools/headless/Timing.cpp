#include "headless/Timing.h"

#include "headless/Headless.h"
#include "headless/RenderOptions.h"

#include "render/RenderState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

// Processor time used by the process so far, in ms: unlike the wall clock, it
// hardly changes with other work on the machine (as long as a core is free).
double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) * 1.0e-6;
}

} // namespace

RunTimes TimeWholeRun(CHeadlessViewer& viewer) {
    CHeadlessRenderState& state = viewer.State();
    std::atomic<int> nRepaints{0};
    std::atomic<long long> nStep6{-1}, nFinished{-1};
    const double dCpu0 = ProcessCpuMs();
    const Clock::time_point t0 = Clock::now();
    // The hooks run on the worker thread; they are set before it starts and
    // cleared after it has ended.
    state.m_OnRepaint = [&] {
        if (++nRepaints == 6)
            nStep6 = (Clock::now() - t0).count();
    };
    state.m_OnProgress = [&](const RenderProgress& progress) {
        if (progress.eState == RenderProgress::FINISHED)
            nFinished = (Clock::now() - t0).count();
    };
    state.StartProgressiveThread();
    state.WaitForWorkerEnd();
    RunTimes times;
    times.dCpu = ProcessCpuMs() - dCpu0;
    state.m_OnRepaint = nullptr;
    state.m_OnProgress = nullptr;
    auto ms = [](long long n) {
        return n < 0 ? -1.0 : std::chrono::duration<double, std::milli>(Clock::duration(n)).count();
    };
    times.dFinished = ms(nFinished);
    times.dStep6 = ms(nStep6);
    times.nRepaints = nRepaints;
    const int nW = std::min<int>(state.m_nWidth, IMAGE_MAX_WIDTH);
    const int nH = std::min<int>(state.m_nHeight, IMAGE_MAX_HEIGHT);
    for (int x = 0; x < nW; ++x)
        for (int y = 0; y < nH; ++y)
            times.nRays += state.m_Image[x][y].computed;
    return times;
}

Stats Summarise(std::vector<double> values) {
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.dMin = values.front();
    s.dMax = values.back();
    const size_t n = values.size();
    s.dMedian = n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    s.bValid = true;
    return s;
}

bool ParseThreadList(const std::string& sText, std::vector<int>& threads) {
    threads.clear();
    size_t nStart = 0;
    while (nStart <= sText.size()) {
        const size_t nEnd = std::min(sText.find(',', nStart), sText.size());
        int n = 0;
        if (!ParseWholeNumber(sText.substr(nStart, nEnd - nStart), 1, MAX_RENDER_THREADS, n) ||
            std::find(threads.begin(), threads.end(), n) != threads.end())
            return false;
        threads.push_back(n);
        nStart = nEnd + 1;
    }
    return !threads.empty();
}
