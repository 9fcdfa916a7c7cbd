#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SpeedTestSupport.h"
#include "app/ViewerApp.h"
#include "engine/ProgressiveThread.h"
#include "engine/RayCaster.h"

// The progressive worker, alone and with its pool of casting threads and
// empty-space skipping: step scheme, start and stop, debug lines, the same
// pictures at every thread count, and no race under many start/stop cycles.

namespace {

std::vector<std::string> Lines(const std::string& sText) {
    std::vector<std::string> lines;
    std::istringstream in(sText);
    for (std::string s; std::getline(in, s);)
        lines.push_back(s + "\n");
    return lines;
}

bool ComputedOnlyInside(const ImageColumn* pImage, int w, int h) {
    for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
        for (int y = 0; y < IMAGE_MAX_HEIGHT; ++y)
            if (pImage[x][y].computed && (x >= w || y >= h))
                return false;
    return true;
}

bool SameBuffers(const ImageColumn* a, const ImageColumn* b) {
    return std::memcmp(a, b, sizeof(ImageColumn) * IMAGE_MAX_WIDTH) == 0;
}

const std::string kFinished = "Render Output - finished";
const std::string kStarted = "ProgressiveVolumeThread started!\n";
const std::string kEnded = "ProgressiveVolumeThread ended!\n";

} // namespace

class ProgressiveTest : public testing::Test {
protected:
    CViewerApp* m_pApp = GetViewerApp();
    CHookedState m_State{GetViewerApp()};
    std::unique_ptr<CVolume> m_pVolume;
    CTransferFunction m_Tf{GetViewerApp()};
    CVectorMath m_Math;

    void SetUp() override {
        UseVolume(MakeVolume(6, 6, 6, [](int x, int y, int z) {
            return static_cast<int16_t>(500 + 300 * x + 170 * y + 90 * z);
        }));
        for (int i = 0; i < TABLE_SIZE; ++i)
            m_Tf.m_Table[i] = TableEntry{255.0f, 128.0f, 64.0f, 0.002f};
        m_pApp->m_pRenderWnd = &m_State;
        m_pApp->m_pTransferFunction = &m_Tf;
        m_pApp->m_pVectorMath = &m_Math;
        m_State.m_nVolumeType = VOLUME_TYPE_LEVOY;
        m_State.m_nVolumeInterpolation = VOLUME_TRILINEAR;
        m_State.m_nLowerThreshold = 0;
        m_State.m_nUpperThreshold = 4095;
        m_State.m_fLatitude = 0.3f;
        m_State.m_fLongitude = 0.7f;
    }
    void TearDown() override {
        m_State.StopProgressiveThread();
        m_State.WaitForWorkerEnd();
        m_pApp->m_pRenderWnd = nullptr;
        m_pApp->m_pVolume = nullptr;
        m_pApp->m_pTransferFunction = nullptr;
        m_pApp->m_pVectorMath = nullptr;
    }
    void UseVolume(std::unique_ptr<CVolume> pVolume) {
        m_pVolume = std::move(pVolume);
        m_pApp->m_pVolume = m_pVolume.get();
    }
    void SetSize(int w, int h) {
        m_State.m_nWidth = w;
        m_State.m_nHeight = h;
    }
    std::vector<ImagePixel> Run(int w, int h) {
        SetSize(w, h);
        EXPECT_EQ(m_State.StartProgressiveThread(), 0);
        m_State.WaitForWorkerEnd();
        return Picture(m_State.m_Image, std::clamp(w, 0, IMAGE_MAX_WIDTH),
                       std::clamp(h, 0, IMAGE_MAX_HEIGHT));
    }
    std::vector<ImagePixel> Run(int w, int h, int nThreads, bool bSkip) {
        m_State.SetRenderThreads(nThreads);
        m_State.SetEmptySpaceSkipping(bSkip);
        return Run(w, h);
    }
    int ValidCacheEntries() const {
        int n = 0;
        for (int32_t k = 0; k < m_pVolume->m_nVoxelCount; ++k)
            n += m_pVolume->IsShadeFilled(k) ? 1 : 0;
        return n;
    }
};

// ------------------------------------------------------------- step scheme

struct StepCase {
    int w, h;
    int nSteps;    // steps that run to their copy
    int nComputed; // computed pixels after the run
};

class ProgressiveStepTest : public ProgressiveTest, public testing::WithParamInterface<StepCase> {};

TEST_P(ProgressiveStepTest, RunsTheStepsWhoseGridIsFinerThanHalfTheClient) {
    const StepCase c = GetParam();
    CDebugCapture capture;
    Run(c.w, c.h);

    std::vector<std::string> expected;
    for (int s = 1; s <= c.nSteps; ++s)
        expected.push_back(StepTitle(s));
    if (c.nSteps < PROGRESSIVE_STEPS)
        expected.push_back(StepTitle(c.nSteps + 1)); // shown briefly before the loop test
    expected.push_back(kFinished);
    EXPECT_EQ(m_State.Titles(), expected);
    EXPECT_EQ(m_State.LastPostedTitle(), kFinished);
    EXPECT_EQ(m_State.m_nRepaints.load(), c.nSteps);

    // Debug lines: started, one line per step in order, ended.
    const std::vector<std::string> lines = Lines(capture.Text());
    ASSERT_EQ(lines.size(), static_cast<size_t>(c.nSteps + 2));
    EXPECT_EQ(lines.front(), kStarted);
    EXPECT_EQ(lines.back(), kEnded);
    const std::regex stepLine(R"(step #(\d+) ready! \d+\.\d{3} seconds elapsed\n)");
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

INSTANTIATE_TEST_SUITE_P(
    ClientSizes, ProgressiveStepTest,
    testing::Values(StepCase{1, 1, 1, 1},          // one ray for pixel (0, 0)
                    StepCase{300, 200, 10, 60000}, // 512 x 512 covers every pixel
                    StepCase{692, 448, 11, 692 * 448},
                    StepCase{1200, 900, 11, 1024 * 900}), // 1024 of 1200 columns
    [](const testing::TestParamInfo<StepCase>& info) {
        return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
    });

TEST(ProgressiveLinesTest, StepLineShowsSecondsWithThreeDigits) {
    EXPECT_EQ(FormatStepReadyLine(3, 1050), "step #3 ready! 1.050 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(3, 47), "step #3 ready! 0.047 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(11, 12345), "step #11 ready! 12.345 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(1, 0), "step #1 ready! 0.000 seconds elapsed\n");
    EXPECT_EQ(StepTitle(7), "Render Output - Step 7");
    EXPECT_STREQ(FINISHED_TITLE, "Render Output - finished");
}

TEST_F(ProgressiveTest, ClientSizesBeyondTheBuffersOrEmptyRenderOnlyWhatFits) {
    struct Case {
        int w, h, nComputed;
    };
    // Empty clients first (they leave the buffers as they are). Columns floor(k *
    // 2500 / 1024) < 1920 for k = 0..786, rows floor(j * 1600 / 1024) < 1440 for
    // j = 0..921. Each later run leaves nothing of the one before.
    for (const Case& c :
         {Case{0, 0, 0}, Case{0, 50, 0}, Case{-40, 30, 0}, Case{30, -40, 0},
          Case{2500, 1600, 787 * 922}, Case{300, 200, 60000}, Case{100, 700, 100 * 700}}) {
        Run(c.w, c.h);
        EXPECT_EQ(CountComputed(m_State.m_Image), c.nComputed) << c.w << "x" << c.h;
        EXPECT_TRUE(ComputedOnlyInside(m_State.m_Image, std::max(c.w, 0), std::max(c.h, 0)));
        EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
        EXPECT_EQ(m_State.LastPostedTitle(), kFinished);
    }
}

// --------------------------------------------------------- run parameters

TEST_F(ProgressiveTest, InteractiveRunRendersNothing) {
    const std::vector<ImagePixel> before = Run(64, 48);
    m_State.ClearRecords();
    m_State.m_dNear = 0.0;
    m_State.m_bInteractive = true;
    CDebugCapture capture;
    EXPECT_TRUE(SamePixels(before, Run(64, 48)));
    EXPECT_EQ(m_State.Titles(), std::vector<std::string>{kFinished});
    EXPECT_EQ(m_State.m_nRepaints.load(), 0);
    EXPECT_EQ(capture.Text(), kStarted + kEnded);
    EXPECT_EQ(m_State.m_dNear.load(), 1.2); // the view set-up still ran
}

TEST_F(ProgressiveTest, RunWithoutVolumeTouchesNothing) {
    auto pEmpty = std::make_unique<CVolume>("/nonexistent/orvex.dat");
    for (CVolume* pVolume : {static_cast<CVolume*>(nullptr), pEmpty.get()}) {
        m_pApp->m_pVolume = pVolume;
        SetSize(64, 48);
        CDebugCapture capture;
        EXPECT_EQ(m_State.StartProgressiveThread(), -1);
        m_State.WaitForWorkerEnd();
        EXPECT_EQ(capture.Text(), "");
        EXPECT_TRUE(m_State.Titles().empty());
        EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
        EXPECT_FALSE(m_State.m_hThreadEnded.IsSet());
        EXPECT_EQ(CountComputed(m_State.m_Image), 0);
    }
    // The thread object left behind does not block the next start.
    m_pApp->m_pVolume = m_pVolume.get();
    Run(8, 8);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
}

// ------------------------------------------------------ start and stop

TEST_F(ProgressiveTest, StopWhileIdleSucceedsWithANote) {
    CDebugCapture capture;
    EXPECT_EQ(m_State.StopProgressiveThread(), 0);
    EXPECT_EQ(capture.Text(), "Progressive Thread not running!\n");
}

TEST_F(ProgressiveTest, StartWhileRunningIsRefusedWithoutASecondThread) {
    CManualResetEvent entered, release;
    m_State.m_OnRepaint = [&](int n) {
        if (n == 1) {
            entered.Set();
            release.Wait(10000);
        }
    };
    CDebugCapture capture;
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(entered.Wait(10000));
    EXPECT_TRUE(m_State.m_hThreadRunning.IsSet());
    EXPECT_EQ(m_State.StartProgressiveThread(), -1);
    release.Set();
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(capture.Count(kEnded), 1);
    EXPECT_EQ(m_State.m_nRepaints.load(), 7); // the one run went on to its end (64 -> 7 steps)
}

TEST_F(ProgressiveTest, StopMidRunKeepsThePreviousStepAndTheNextRunStartsAfresh) {
    std::vector<ImagePixel> afterStep4;
    int nValidAfterStep4 = 0;
    CManualResetEvent copied;
    m_State.m_OnRepaint = [&](int n) {
        if (n == 4) {
            afterStep4 = Picture(m_State.m_Image, 64, 48);
            nValidAfterStep4 = ValidCacheEntries();
            copied.Set();
            m_State.m_hStopRequest.Wait(10000); // step 5 begins only once the stop is asked
        }
    };
    CDebugCapture capture;
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(copied.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), 0);
    m_State.WaitForWorkerEnd();

    EXPECT_TRUE(SamePixels(afterStep4, Picture(m_State.m_Image, 64, 48)));
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos);
    EXPECT_EQ(capture.Text().find("step #5 ready! "), std::string::npos);
    const std::vector<std::string> titles = m_State.Titles();
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], StepTitle(5));
    EXPECT_EQ(titles.back(), kFinished);
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());

    // The next run: its first copy holds one computed pixel, and the shading
    // cache has been emptied (the corner ray of step 1 fills little of it).
    int nComputedAtFirstCopy = -1, nValidAtFirstCopy = -1;
    m_State.m_OnRepaint = [&](int n) {
        if (n == 1) {
            nComputedAtFirstCopy = CountComputed(m_State.m_Image);
            nValidAtFirstCopy = ValidCacheEntries();
        }
    };
    m_State.ClearRecords();
    Run(64, 48);
    EXPECT_EQ(nComputedAtFirstCopy, 1);
    EXPECT_GT(nValidAfterStep4, nValidAtFirstCopy);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64 * 48);
}

TEST_F(ProgressiveTest, StopThatTimesOutWithdrawsTheRequestAndTheRunGoesOn) {
    CManualResetEvent entered, release;
    m_State.m_OnTitle = [&](const std::string& sTitle) {
        if (sTitle == StepTitle(2)) { // a worker held up by its window
            entered.Set();
            release.Wait(10000);
        }
    };
    CDebugCapture capture;
    SetSize(8, 8);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(entered.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), -1);
    EXPECT_EQ(capture.Count("Error waiting for Progressive Thread End!\n"), 1);
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());
    EXPECT_EQ(m_State.StartProgressiveThread(), -1); // the old run still runs
    release.Set();
    m_State.WaitForWorkerEnd();
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos); // ran to its end
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
}

TEST_F(ProgressiveTest, StopTakesEffectWithinOneRayPerThread) {
    UseVolume(MakeSmallPhantom(96, 96, 42));
    UsePhantomTable(m_Tf);
    for (int nThreads : {1, 2, 4}) {
        std::atomic<int> nBefore{-1};
        CManualResetEvent atStep;
        // At the start of step 8 (before any of its rays) the worker waits until
        // the stop has been asked for.
        m_State.m_OnTitle = [&](const std::string& sTitle) {
            if (sTitle == StepTitle(8)) {
                nBefore = CountComputed(m_State.m_BackImage, 300, 200);
                atStep.Set();
                m_State.m_hStopRequest.Wait(10000);
            }
        };
        SetSize(300, 200);
        m_State.SetRenderThreads(nThreads);
        CDebugCapture capture;
        ASSERT_EQ(m_State.StartProgressiveThread(), 0);
        ASSERT_TRUE(atStep.Wait(10000));
        // A stop times out (and the run goes on) only on a machine too busy to
        // end a run within 100 ms; then there is no bound to check.
        const bool bStoppedInTime = m_State.StopProgressiveThread() == 0;
        m_State.WaitForWorkerEnd();
        m_State.m_OnTitle = nullptr;
        if (!bStoppedInTime) {
            std::printf("the stop timed out with %d threads; no bound to check\n", nThreads);
            continue;
        }
        // Each thread finishes the ray it is casting when it polls the stop.
        const int nAfter = CountComputed(m_State.m_BackImage, 300, 200);
        EXPECT_GE(nAfter - nBefore, 0) << nThreads;
        EXPECT_LE(nAfter - nBefore, nThreads) << nThreads << " threads";
        EXPECT_EQ(capture.Text().find("step #8 ready! "), std::string::npos);
        EXPECT_EQ(m_State.LastPostedTitle(), FINISHED_TITLE);
    }
}

TEST_F(ProgressiveTest, ThousandsOfStartStopCyclesKeepOneWorkerAtATime) {
    UseVolume(MakeRandomVolume(31, 24, 24, 24));
    UseGappyTable(m_Tf, 31);
    CDebugCapture capture;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int nCycles = 0, nStarted = 0, nStopped = 0;
    while (nCycles < 3000 && std::chrono::steady_clock::now() < tEnd) {
        // The thread count (one: no pool threads) changes now and then, the pool
        // being remade at the next run, and so do the skipping and the settings.
        if (nCycles % 50 == 0)
            m_State.SetRenderThreads(1 + (nCycles / 50) % 4);
        m_State.SetEmptySpaceSkipping(nCycles % 3 != 0);
        m_State.m_bInteractive = nCycles % 7 == 0;
        SetSize(nCycles % 5 == 0 ? 160 : 64, 48);
        nStarted += m_State.StartProgressiveThread() == 0 ? 1 : 0;
        switch (nCycles % 4) {
        case 1:
            std::this_thread::yield();
            break;
        case 2:
            std::this_thread::sleep_for(std::chrono::microseconds(400));
            break;
        case 3: // per-pixel settings written while the run goes on
            m_State.m_nVolumeType = (nCycles / 4) % 3;
            m_State.m_nVolumeInterpolation = (nCycles / 8) % 2;
            m_State.m_nLowerThreshold = nCycles % 1000;
            m_State.m_nUpperThreshold = 4095 - nCycles % 1000;
            break;
        default:
            break;
        }
        nStopped += m_State.StopProgressiveThread() == 0 ? 1 : 0;
        ++nCycles;
    }
    m_State.StopProgressiveThread();
    m_State.WaitForWorkerEnd();
    std::printf("%d start/stop cycles, %d runs started, %d stopped in time\n", nCycles, nStarted,
                nStopped);
    EXPECT_GE(nCycles, 300);
    EXPECT_GT(nStarted, nCycles / 2);
    EXPECT_GT(nStopped, nCycles / 2);
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
    m_State.m_nVolumeType = VOLUME_TYPE_LEVOY;
    m_State.m_nVolumeInterpolation = VOLUME_TRILINEAR;
    EXPECT_TRUE(SamePixels(Run(64, 48, 4, true), Run(64, 48, 1, false)));
}

// ------------------------------------------------------------ same pictures

class ParallelRenderTest : public ProgressiveTest {
protected:
    // Every thread count, skipping or not, gives the single-threaded full march's
    // picture, for every compositing type and sampling.
    void ExpectSameAtEveryThreadCount(int w, int h, const std::string& sWhat) {
        for (int nType = 0; nType < 3; ++nType) {
            for (int nInterpolation = 0; nInterpolation < 2; ++nInterpolation) {
                if (nType == VOLUME_TYPE_XRAY && nInterpolation == VOLUME_TRILINEAR)
                    continue; // X-Ray reads the nearest voxel either way
                m_State.m_nVolumeType = nType;
                m_State.m_nVolumeInterpolation = nInterpolation;
                const std::vector<ImagePixel> reference = Run(w, h, 1, false);
                EXPECT_TRUE(AnyLit(reference)) << sWhat << " type " << nType;
                for (int nThreads : {1, 2, 3, 4}) {
                    for (bool bSkip : {false, true}) {
                        if (nThreads == 1 && !bSkip)
                            continue;
                        EXPECT_TRUE(SamePixels(reference, Run(w, h, nThreads, bSkip)))
                            << sWhat << ": type " << nType << ", interpolation " << nInterpolation
                            << ", " << nThreads << " threads, skipping " << bSkip;
                    }
                }
            }
        }
    }
};

TEST_F(ParallelRenderTest, PicturesAreTheSameAtEveryThreadCountAndWithSkipping) {
    // Levoy included: rows are cast at a lag that keeps rays which could share a
    // shading-cache entry in scan order, so every entry is filled by the same ray
    // as with one thread.
    UseVolume(MakeSmallPhantom(96, 96, 42));
    UsePhantomTable(m_Tf);
    m_State.m_fLatitude = Radians(90);
    m_State.m_fLongitude = 0.0f;
    ExpectSameAtEveryThreadCount(173, 112, "phantom");
    m_State.m_fLongitude = 0.61f;
    m_State.m_fLatitude = -0.33f;
    ExpectSameAtEveryThreadCount(120, 150, "phantom turned");
    for (unsigned nSeed : {21u, 22u}) {
        auto pVolume = MakeRandomVolume(nSeed, 50, 37, 29);
        if (nSeed == 22) { // voxels of unequal edges
            pVolume->m_dSpacing[0] = 0.7;
            pVolume->m_dSpacing[2] = 2.6;
        }
        UseVolume(std::move(pVolume));
        UseGappyTable(m_Tf, nSeed);
        m_State.m_nLowerThreshold = 300;
        m_State.m_nUpperThreshold = 3000;
        m_State.m_fLongitude = 0.2f * static_cast<float>(nSeed);
        ExpectSameAtEveryThreadCount(131, 97, "random volume " + std::to_string(nSeed));
    }
}

TEST_F(ParallelRenderTest, CopiesBringOverEveryColumnChangedSinceTheLastCopy) {
    // A wide, low client: the rows are all there after step 3 and every later step
    // adds columns only. Step 7's copy is held up (the image mutex is busy for
    // longer than the worker waits), so step 8's copy must bring step 7's columns
    // over as well.
    UseVolume(MakeSmallPhantom(48, 48, 21));
    UsePhantomTable(m_Tf);
    m_State.m_nVolumeType = VOLUME_TYPE_XRAY;
    m_State.m_OnRepaint = [this](int n) {
        if (n == 6) {
            ASSERT_TRUE(m_State.m_hImageMutex.Lock(1000));
        }
    };
    m_State.m_OnTitle = [this](const std::string& sTitle) {
        if (sTitle == StepTitle(8))
            m_State.m_hImageMutex.Unlock();
    };
    CDebugCapture capture;
    const std::vector<ImagePixel> picture = Run(100, 4, 2, true);
    m_State.m_OnRepaint = nullptr;
    m_State.m_OnTitle = nullptr;
    EXPECT_EQ(m_State.m_nRepaints.load(), 7); // 8 steps, one copy skipped
    EXPECT_NE(capture.Text().find("step #7 ready! "), std::string::npos);
    EXPECT_EQ(CountComputed(m_State.m_Image, 100, 4), 400);
    EXPECT_TRUE(SamePixels(picture, Run(100, 4, 1, false)));
}

// --------------------------------------------------------------- settings

TEST(RenderThreadsTest, CountIsLimitedAndZeroMeansOnePerHardwareThread) {
    CRenderState state(GetViewerApp());
    const int nHardware = static_cast<int>(std::thread::hardware_concurrency());
    EXPECT_EQ(state.GetRenderThreads(), 0);
    EXPECT_EQ(state.RenderThreadsForRun(), std::max(1, nHardware));
    state.SetRenderThreads(3);
    EXPECT_EQ(state.RenderThreadsForRun(), 3);
    state.SetRenderThreads(-5);
    EXPECT_EQ(state.GetRenderThreads(), 0);
    state.SetRenderThreads(100000);
    EXPECT_EQ(state.RenderThreadsForRun(), MAX_RENDER_THREADS);
}
