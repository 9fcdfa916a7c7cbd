// The progressive worker, alone and with its pool of casting threads and
// empty-space skipping, driven through the headless viewer's render state: step
// scheme, start and stop, debug lines, the same pictures at every thread count
// and with skipping, and no race under many start/stop cycles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/BrickMap.h"
#include "engine/CompositingModes.h"
#include "engine/EngineTestSupport.h"
#include "engine/RayCaster.h"
#include "engine/ShadeCache.h"
#include "render/ProgressiveThread.h"
#include "headless/Headless.h"
#include "headless/Phantom.h"

namespace {

using testfiles::kEnded;
using testfiles::kStarted;

std::vector<std::string> Lines(const std::string& sText) {
    std::vector<std::string> lines;
    std::istringstream in(sText);
    for (std::string s; std::getline(in, s);)
        lines.push_back(s + "\n");
    return lines;
}

bool ComputedOnlyInside(const ImageColumn* pImage, int w, int h) {
    return CountComputed(pImage) == CountComputed(pImage, std::clamp(w, 0, IMAGE_MAX_WIDTH),
                                                  std::clamp(h, 0, IMAGE_MAX_HEIGHT));
}

bool SameBuffers(const ImageColumn* a, const ImageColumn* b) {
    return std::memcmp(a, b, sizeof(ImageColumn) * IMAGE_MAX_WIDTH) == 0;
}

// Air (0) around a ball of shells: plateaus of a value for each seed (one of
// them above the table, one below 0) and a noisy shell.
std::vector<int16_t> RandomVoxels(unsigned nSeed, int nDimX, int nDimY, int nDimZ) {
    std::mt19937 rng(nSeed);
    const int plateaus[4] = {static_cast<int>(rng() % 4096), 4500, -200, 0};
    return testfiles::Field(nDimX, nDimY, nDimZ, [&](int x, int y, int z) {
        const double dx = 2.0 * x / nDimX - 1.0, dy = 2.0 * y / nDimY - 1.0,
                     dz = 2.0 * z / nDimZ - 1.0;
        const int nShell = static_cast<int>(std::sqrt(dx * dx + dy * dy + dz * dz) * 6.0);
        return nShell == 3 ? static_cast<int>(rng() % 4096) : nShell < 4 ? plateaus[nShell] : 0;
    });
}

// A table of random colours whose opacity is zero over random stretches (and
// always at 0, the air).
void UseGappyTable(CTransferFunction& tf, unsigned nSeed) {
    std::mt19937 rng(nSeed);
    bool bOpaque = false;
    for (int i = 0; i < TABLE_SIZE; ++i) {
        bOpaque = rng() % 97 == 0 ? !bOpaque : bOpaque;
        const float fOpacity = bOpaque && i > 0 ? (0.5f + (rng() % 100) * 0.01f) / 3547.5f : 0.0f;
        tf.m_Table[i] = TableEntry{static_cast<float>(rng() % 256), static_cast<float>(rng() % 256),
                                   static_cast<float>(rng() % 256), fOpacity};
    }
}

} // namespace

// The headless viewer with a 6^3 ramp and a faint orange table; the state's
// hooks record the titles and count the repaints, and call the test's own.
class ProgressiveTest : public testing::Test {
protected:
    CHeadlessViewer m_Viewer;
    CHeadlessRenderState& m_State = m_Viewer.State();
    CTransferFunction& m_Tf = m_Viewer.TransferFunction();
    std::function<void(const std::string&)> m_OnTitle; // on the worker thread
    std::function<void(int)> m_OnRepaint;              // with the repaints so far
    std::atomic<int> m_nRepaints{0};

    void SetUp() override {
        m_State.m_OnProgress = [this](const RenderProgress& progress) {
            const std::string sTitle = ProgressTitle(progress);
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Titles.push_back(sTitle);
            }
            if (m_OnTitle)
                m_OnTitle(sTitle);
        };
        m_State.m_OnRepaint = [this] {
            const int n = ++m_nRepaints;
            if (m_OnRepaint)
                m_OnRepaint(n);
        };
        Load(6, 6, 6, testfiles::Field(6, 6, 6, [](int x, int y, int z) {
                 return 500 + 300 * x + 170 * y + 90 * z;
             }));
        for (TableEntry& e : m_Tf.m_Table)
            e = TableEntry{255.0f, 128.0f, 64.0f, 0.002f};
        m_State.m_nVolumeType = VOLUME_TYPE_LEVOY;
        m_State.m_nVolumeInterpolation = VOLUME_TRILINEAR;
        m_State.m_nUpperThreshold = 4095;
        m_State.m_fLatitude = 0.3f;
        m_State.m_fLongitude = 0.7f;
    }
    void TearDown() override {
        m_Viewer.StopAndWait();
        m_State.m_OnProgress = nullptr;
        m_State.m_OnRepaint = nullptr;
    }
    void Load(int nDimX, int nDimY, int nDimZ, const std::vector<int16_t>& voxels) {
        const testfiles::ScratchDir dir;
        std::string sError;
        ASSERT_TRUE(m_Viewer.LoadDataset(
            dir.Write("v.dat", testfiles::RawBytes(nDimX, nDimY, nDimZ, voxels)), sError))
            << sError;
    }
    std::vector<std::string> Titles() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Titles;
    }
    void Forget() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Titles.clear();
        m_nRepaints = 0;
    }
    void SetSize(int w, int h) {
        m_State.m_nWidth = w;
        m_State.m_nHeight = h;
    }
    std::vector<ImagePixel> Run(int w, int h) {
        SetSize(w, h);
        EXPECT_EQ(m_State.StartProgressiveThread(), StartResult::STARTED);
        m_State.WaitForWorkerEnd();
        return Picture(m_State.m_Image, std::clamp(w, 0, IMAGE_MAX_WIDTH),
                       std::clamp(h, 0, IMAGE_MAX_HEIGHT));
    }
    std::vector<ImagePixel> Run(int w, int h, int nThreads, bool bSkip) {
        m_State.SetRenderThreads(nThreads);
        m_State.SetEmptySpaceSkipping(bSkip);
        return Run(w, h);
    }
    int FilledShades() {
        int n = 0;
        for (int32_t k = 0; k < m_State.WorkerShadeCache().Size(); ++k)
            n += m_State.WorkerShadeCache().IsFilled(k) ? 1 : 0;
        return n;
    }

private:
    std::mutex m_Mutex;
    std::vector<std::string> m_Titles;
};

// ------------------------------------------------------------- step scheme

TEST_F(ProgressiveTest, RunsTheStepsWhoseGridIsFinerThanHalfTheClientInsideTheBuffers) {
    const struct {
        int w, h;
        int nSteps;    // steps that run to their copy
        int nComputed; // computed pixels after the run
    } cases[] = {
        {0, 0, 0, 0},          // an empty client (before any run)
        {1, 1, 1, 1},          // one ray for pixel (0, 0)
        {300, 200, 10, 60000}, // 512 x 512 covers every pixel
        {1200, 900, 11, 1024 * 900},
        // Columns floor(k * 2500 / 1024) < 1920 for k = 0..786, rows floor(j *
        // 1600 / 1024) < 1440 for j = 0..921.
        {2500, 1600, 11, 787 * 922},
    };
    const std::regex stepLine(R"(step #(\d+) ready! \d+\.\d{3} seconds elapsed\n)");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        Forget();
        CDebugCapture capture;
        Run(c.w, c.h);
        std::vector<std::string> expected;
        for (int s = 1; s <= c.nSteps; ++s)
            expected.push_back(StepTitle(s));
        if (c.nSteps < PROGRESSIVE_STEPS)
            expected.push_back(StepTitle(c.nSteps + 1)); // shown briefly before the loop test
        expected.push_back(FINISHED_TITLE);
        EXPECT_EQ(Titles(), expected);
        EXPECT_EQ(m_nRepaints.load(), c.nSteps);
        // Debug lines: started, one line per step in order, ended.
        const std::vector<std::string> lines = Lines(capture.Text());
        ASSERT_EQ(lines.size(), static_cast<size_t>(c.nSteps + 2));
        EXPECT_EQ(lines.front(), kStarted);
        EXPECT_EQ(lines.back(), kEnded);
        for (int s = 1; s <= c.nSteps; ++s) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(lines[s], match, stepLine)) << lines[s];
            EXPECT_EQ(match[1], std::to_string(s));
        }
        EXPECT_EQ(CountComputed(m_State.m_Image), c.nComputed);
        EXPECT_TRUE(ComputedOnlyInside(m_State.m_Image, c.w, c.h));
        EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
        EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
        EXPECT_TRUE(m_State.m_hThreadEnded.IsSet());
    }
    for (const auto& [w, h] : {std::pair{-40, 30}, {30, -40}}) {
        Run(w, h);
        EXPECT_EQ(CountComputed(m_State.m_Image), 0) << w << "x" << h;
        EXPECT_EQ(m_State.LastProgress().eState, RenderProgress::FINISHED);
    }
}

// --------------------------------------------------------- run parameters

// ------------------------------------------------------ start and stop

TEST_F(ProgressiveTest, StopMidRunKeepsThePreviousStepAndTheNextRunStartsAfresh) {
    std::vector<ImagePixel> afterStep4;
    int nFilledAfterStep4 = 0;
    CManualResetEvent copied;
    m_OnRepaint = [&](int n) {
        if (n == 4) {
            afterStep4 = Picture(m_State.m_Image, 64, 48);
            nFilledAfterStep4 = FilledShades();
            copied.Set();
            m_State.m_hStopRequest.Wait(10000); // step 5 begins only once the stop is asked
        }
    };
    CDebugCapture capture;
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), StartResult::STARTED);
    ASSERT_TRUE(copied.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), 0);
    m_State.WaitForWorkerEnd();

    EXPECT_TRUE(SamePixels(afterStep4, Picture(m_State.m_Image, 64, 48)));
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos);
    EXPECT_EQ(capture.Text().find("step #5 ready! "), std::string::npos);
    const std::vector<std::string> titles = Titles();
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], StepTitle(5));
    EXPECT_EQ(titles.back(), FINISHED_TITLE);
    EXPECT_EQ(ProgressStatus(m_State.LastProgress()), "stopped after step 4 of 7");
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());

    // The next run: its first copy holds one computed pixel, and the shading
    // cache has been emptied (the corner ray of step 1 fills little of it).
    int nComputedAtFirstCopy = -1, nFilledAtFirstCopy = -1;
    m_OnRepaint = [&](int n) {
        if (n == 1) {
            nComputedAtFirstCopy = CountComputed(m_State.m_Image);
            nFilledAtFirstCopy = FilledShades();
        }
    };
    Forget();
    Run(64, 48);
    EXPECT_EQ(nComputedAtFirstCopy, 1);
    EXPECT_GT(nFilledAfterStep4, nFilledAtFirstCopy);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64 * 48);
}

TEST_F(ProgressiveTest, StopThatTimesOutWithdrawsTheRequestTheRunGoesOnAndTheRefusedStartFollows) {
    CManualResetEvent entered, release;
    m_OnTitle = [&](const std::string& sTitle) {
        if (sTitle == StepTitle(2)) { // a worker held up by its window
            entered.Set();
            release.Wait(10000);
        }
    };
    CDebugCapture capture;
    SetSize(8, 8);
    ASSERT_EQ(m_State.StartProgressiveThread(), StartResult::STARTED);
    ASSERT_TRUE(entered.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), -1);
    EXPECT_EQ(capture.Count("Error waiting for Progressive Thread End!\n"), 1);
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());
    EXPECT_EQ(m_State.StartProgressiveThread(), StartResult::BUSY); // the old run still runs
    // A setting changed meanwhile cannot start its run yet; the window makes
    // that start once the old run's end reaches it.
    m_State.SetRenderMode(RENDER_MODE_VOLUME);
    m_State.RetryRefusedStart(); // still running: nothing
    release.Set();
    m_State.WaitForWorkerEnd();
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos); // ran to its end
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
    m_OnTitle = nullptr;
    m_State.RetryRefusedStart();
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 2);
    m_State.RetryRefusedStart(); // made once only
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 2);
}

TEST_F(ProgressiveTest, SettersRestartOnlyInVolumeModeAndARunNeverMixesTwoSettings) {
    CDebugCapture capture;
    auto starts = [&] {
        m_State.WaitForWorkerEnd();
        return capture.Count(kStarted);
    };
    SetSize(64, 48);
    m_State.SetVolumeType(VOLUME_TYPE_FIRST_HIT); // no mode yet: stored only
    m_State.SetLowerThreshold(2000);
    EXPECT_EQ(starts(), 0);
    m_State.SetRenderMode(RENDER_MODE_VOLUME);
    m_State.SetVolumeType(VOLUME_TYPE_FIRST_HIT); // the current value: no restart
    EXPECT_EQ(starts(), 1);
    const std::vector<ImagePixel> at2000 = Picture(m_State.m_Image, 64, 48);
    // A threshold handed over while a run is under way ends that run; the next
    // one renders with it from its first step.
    CManualResetEvent copied;
    Forget();
    m_OnRepaint = [&](int n) {
        if (n == 2) {
            copied.Set();
            m_State.m_hStopRequest.Wait(10000);
        }
    };
    m_State.SetLowerThreshold(0);
    ASSERT_TRUE(copied.Wait(10000));
    m_State.SetLowerThreshold(2000);
    EXPECT_EQ(starts(), 3);
    m_OnRepaint = nullptr;
    EXPECT_EQ(m_State.LastProgress().eState, RenderProgress::FINISHED);
    EXPECT_TRUE(SamePixels(Picture(m_State.m_Image, 64, 48), at2000));
    // An interaction holds every run back until it ends.
    m_State.BeginInteraction();
    m_State.SetLongitude(30);
    m_State.SetViewSize(32, 32);
    EXPECT_EQ(starts(), 3);
    m_State.EndInteraction();
    EXPECT_EQ(starts(), 4);
}

TEST_F(ProgressiveTest, TurningWithThePictureRefinesWithinTheBudgetAndTheEndRefinesFully) {
    SetSize(64, 48); // 7 steps
    m_State.SetRenderMode(RENDER_MODE_VOLUME);
    m_State.WaitForWorkerEnd();
    m_State.SetPictureWhileTurning(true);
    m_State.BeginInteraction();
    EXPECT_FALSE(m_State.m_bInteractive); // the picture, not the wire box only
    // Each angle starts a run; it ends after the first step whose end passes
    // the budget (none with an endless one).
    const double dEndless = std::numeric_limits<double>::infinity();
    for (const auto& [nDegrees, dBudget, nSteps] :
         {std::tuple{30, 0.0, 1}, std::tuple{40, dEndless, 7}}) {
        m_State.m_dTurnBudget = dBudget;
        m_State.SetLongitude(nDegrees);
        m_State.WaitForWorkerEnd();
        EXPECT_EQ(m_State.LastProgress().nStep, nSteps);
    }
    // The release stops the last angle's run, still refining, and starts the
    // full one.
    CManualResetEvent copied;
    m_OnRepaint = [&](int) {
        if (!copied.IsSet()) {
            copied.Set();
            m_State.m_hStopRequest.Wait(10000);
        }
    };
    m_State.SetLongitude(50);
    ASSERT_TRUE(copied.Wait(10000));
    m_State.EndInteraction();
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(m_State.RunsEnded(), 5);
    EXPECT_EQ(m_State.LastProgress().eState, RenderProgress::FINISHED);
}

TEST_F(ProgressiveTest, ARunGivesBackGradientsLetGoWhileAnotherDatasetLoads) {
    const std::vector<ImagePixel> before = Run(24, 24);
    m_Viewer.Volume()->ReleaseGradients();
    EXPECT_TRUE(SamePixels(Run(24, 24), before));
}

TEST_F(ProgressiveTest, ReplacingTheDatasetEndsTheRunThatReadsTheOldOne) {
    CManualResetEvent copied;
    m_OnRepaint = [&](int) {
        copied.Set();
        m_State.m_hStopRequest.Wait(10000);
    };
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), StartResult::STARTED);
    ASSERT_TRUE(copied.Wait(10000));
    const std::unique_ptr<CVolume> pOther = MakeUniformVolume(4, 4, 4, 1000);
    CVolume* pOld = m_State.Volume();
    m_State.SetVolume(pOther.get());
    EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
    EXPECT_EQ(m_State.RunsEnded(), 1);
    m_State.SetVolume(pOld);
}

TEST_F(ProgressiveTest, AWindowThatHoldsTheImageTooLongMissesStepsNotTheRun) {
    SetSize(8, 8);
    ASSERT_TRUE(m_State.m_hImageMutex.Lock(1000));
    CDebugCapture capture;
    m_State.StartProgressiveThread();
    m_State.WaitForWorkerEnd();
    m_State.m_hImageMutex.Unlock();
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos); // the run went on
    EXPECT_EQ(m_nRepaints.load(), 0);
    EXPECT_EQ(CountComputed(m_State.m_Image), 0);
    EXPECT_EQ(ProgressStatus(m_State.LastProgress()), "stopped");
    Run(8, 8);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
}

TEST_F(ProgressiveTest, StopTakesEffectWithinOneRayPerThread) {
    Load(96, 96, 42, MakeHeadPhantom(96, 96, 42));
    SetPhantomTransferFunction(m_Tf);
    m_Tf.BuildTable();
    for (int nThreads : {1, 2, 4}) {
        SCOPED_TRACE(std::to_string(nThreads) + " threads");
        m_State.SetRenderThreads(nThreads);
        // At the start of step 8 (before any of its rays) the worker waits until
        // the stop has been asked for; each thread then finishes the ray it is
        // casting when it polls the stop, well within the stop's 100 ms.
        std::atomic<int> nBefore{-1};
        CManualResetEvent atStep;
        m_OnTitle = [&](const std::string& sTitle) {
            if (sTitle == StepTitle(8)) {
                nBefore = CountComputed(m_State.m_BackImage, 300, 200);
                atStep.Set();
                m_State.m_hStopRequest.Wait(10000);
            }
        };
        SetSize(300, 200);
        CDebugCapture capture;
        ASSERT_EQ(m_State.StartProgressiveThread(), StartResult::STARTED);
        ASSERT_TRUE(atStep.Wait(10000));
        EXPECT_EQ(m_State.StopProgressiveThread(), 0) << "the stop timed out";
        m_State.WaitForWorkerEnd();
        m_OnTitle = nullptr;
        const int nAfter = CountComputed(m_State.m_BackImage, 300, 200);
        EXPECT_GE(nAfter - nBefore, 0);
        EXPECT_LE(nAfter - nBefore, nThreads);
        EXPECT_EQ(capture.Text().find("step #8 ready! "), std::string::npos);
        EXPECT_EQ(m_State.LastProgress().eState, RenderProgress::STOPPED);
    }
}

TEST_F(ProgressiveTest, ManyStartStopCyclesKeepOneWorkerAtATime) {
    Load(24, 24, 24, RandomVoxels(31, 24, 24, 24));
    UseGappyTable(m_Tf, 31);
    CDebugCapture capture;
    int nStarted = 0;
    for (int nCycle = 0; nCycle < 400; ++nCycle) {
        // The thread count (one: no pool threads) changes now and then, the pool
        // being remade at the next run, and so do the skipping and the settings.
        if (nCycle % 50 == 0)
            m_State.SetRenderThreads(1 + (nCycle / 50) % 4);
        m_State.SetEmptySpaceSkipping(nCycle % 3 != 0);
        m_State.m_bInteractive = nCycle % 7 == 0;
        SetSize(nCycle % 5 == 0 ? 160 : 64, 48);
        nStarted += m_State.StartProgressiveThread() == StartResult::STARTED ? 1 : 0;
        // The stop comes at once or a little later.
        for (int i = 0; i < (nCycle % 4) * 50; ++i)
            std::this_thread::yield();
        m_State.StopProgressiveThread();
    }
    m_Viewer.StopAndWait();
    EXPECT_GT(nStarted, 0);
    EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
    // Runs never overlap: their start and end lines alternate strictly.
    std::string sExpected = kStarted;
    int nRuns = 0;
    for (const std::string& s : Lines(capture.Text())) {
        if (s != kStarted && s != kEnded)
            continue;
        ASSERT_EQ(s, sExpected) << "after " << nRuns << " runs";
        sExpected = s == kStarted ? kEnded : kStarted;
        nRuns += s == kEnded ? 1 : 0;
    }
    EXPECT_EQ(sExpected, kStarted); // the last run has ended
    EXPECT_GE(nRuns, nStarted);

    // A last, whole run still gives the single-threaded picture.
    m_State.m_bInteractive = false;
    EXPECT_TRUE(SamePixels(Run(64, 48, 4, true), Run(64, 48, 1, false)));
}

// ------------------------------------------------------------ same pictures

class ParallelRenderTest : public ProgressiveTest {
protected:
    // Every thread count, skipping or not, gives the single-threaded full march's
    // picture, for every compositing type and sampling and the given First Hit
    // thresholds. (The SSE2 and AVX2 casters: CasterIsaTest.cpp.)
    void ExpectSameAtEveryThreadCount(int w, int h, const std::string& sWhat,
                                      std::vector<std::pair<int, int>> thresholds = {{0, 4095}}) {
        for (int nType = 0; nType < COMPOSITING_MODE_COUNT; ++nType) {
            for (int nInterpolation = 0; nInterpolation < 2; ++nInterpolation) {
                if (nType == VOLUME_TYPE_XRAY && nInterpolation == VOLUME_TRILINEAR)
                    continue; // X-Ray reads the nearest voxel either way
                for (const auto& [nLower, nUpper] : thresholds) {
                    if (!COMPOSITING_MODES[nType].bThresholds && nLower != thresholds[0].first)
                        continue;
                    m_State.m_nVolumeType = nType;
                    m_State.m_nVolumeInterpolation = nInterpolation;
                    m_State.m_nLowerThreshold = nLower;
                    m_State.m_nUpperThreshold = nUpper;
                    const std::vector<ImagePixel> reference = Run(w, h, 1, false);
                    EXPECT_TRUE(AnyLit(reference) || nLower != thresholds[0].first)
                        << sWhat << " " << nType;
                    for (int nThreads : {1, 2, 3, 4})
                        for (bool bSkip : {false, true})
                            EXPECT_TRUE(nThreads + bSkip == 1 ||
                                        SamePixels(reference, Run(w, h, nThreads, bSkip)))
                                << sWhat << ": type, sampling, lower, threads, skipping " << nType
                                << nInterpolation << " " << nLower << " " << nThreads << bSkip;
                }
            }
        }
    }
};

TEST_F(ParallelRenderTest, PicturesAreTheSameAtEveryThreadCountAndWithSkipping) {
    // Levoy included: rows are cast at a lag that keeps rays which could share a
    // shading-cache entry in scan order, so every entry is filled by the same ray
    // as with one thread.
    Load(96, 96, 42, MakeHeadPhantom(96, 96, 42));
    SetPhantomTransferFunction(m_Tf);
    m_Tf.BuildTable();
    m_State.m_fLatitude = DegreesToRadians(90);
    m_State.m_fLongitude = 0.0f;
    ExpectSameAtEveryThreadCount(173, 112, "phantom");
    m_State.m_fLongitude = 0.61f;
    m_State.m_fLatitude = -0.33f;
    m_State.m_nCrop[0] = 30; // turned and cropped: x from 30, z up to 25
    m_State.m_nCrop[5] = 25;
    ExpectSameAtEveryThreadCount(120, 150, "phantom turned and cropped");
    m_State.m_nCrop[0] = 0;
    m_State.m_nCrop[5] = INT32_MAX;
    // Skipping is in effect: the samples in empty space fill no cache entry.
    m_State.m_nVolumeType = VOLUME_TYPE_LEVOY;
    Run(120, 150, 1, false);
    const int nFull = FilledShades();
    Run(120, 150, 1, true);
    EXPECT_LT(FilledShades(), nFull * 3 / 4);
    EXPECT_GT(m_State.WorkerSkipMap().SolidBricks(), 0);

    for (unsigned nSeed : {21u, 22u}) {
        Load(50, 37, 29, RandomVoxels(nSeed, 50, 37, 29));
        if (nSeed == 22) { // voxels of unequal edges
            m_Viewer.Volume()->m_dSpacing[0] = 0.7;
            m_Viewer.Volume()->m_dSpacing[2] = 2.6;
        }
        UseGappyTable(m_Tf, nSeed);
        m_State.m_fLongitude = 0.2f * static_cast<float>(nSeed);
        // Thresholds that cross, that meet and that leave one value between them.
        ExpectSameAtEveryThreadCount(131, 97, "random volume " + std::to_string(nSeed),
                                     {{300, 3000}, {2399, 2401}, {500, 400}});
    }
}
